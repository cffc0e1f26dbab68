// SPDX-License-Identifier: MIT
// The console's full status sweep through ser2net on loopback, in front of the paced krx-vtp-sim
// on a pty, in raw TCP and RFC 2217 mode, with ser2net's character delay on (its default) and
// off: each as a ratio to the line-time minimum, the local sweep's measure. And the time an
// open() takes in each mode (connection and handshake; over raw TCP mostly the refusal grace).
// Run by hand: krx-net-bench [repetitions].
#include <QApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <vector>

#include "bench_main.h"
#include "framework/qt_window_services.h"
#include "link/network_channel.h"
#include "ser2net_server.h"
#include "support/child_process.h"
#include "support/files.h"
#include "sweep_timing.h"

namespace {

using krx::test::Ser2netMode;

// The COM number the console opens, by its index in the port list.
constexpr int kPortIndex = 2;
constexpr int kPortNumber = kPortIndex + 1;

class NullListener final : public krx::SerialListener {
  public:
    void onSerialBytes(int, std::span<const std::uint8_t>) override {}
    void onSerialTxEmpty(int) override {}
    void onSerialPortLost(int) override {}
};

krx::PortUrlLookup lookupFor(const std::string& url) {
    return [url](int port) {
        return port == kPortNumber ? std::optional<std::string>(url) : std::nullopt;
    };
}

double medianOpenMs(krx::QtWindowServices& services, const std::string& url) {
    krx::CNetworkChannel channel(services, lookupFor(url));
    NullListener listener;
    std::vector<double> times;
    for (int i = 0; i < 20; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const bool opened =
            channel.open(listener, kPortNumber, 115200, 'N', 8, 1, 0x0003, 512) && channel.start();
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
        channel.stop();
        if (!opened) {
            const auto failure = channel.lastOpenFailure();
            throw std::runtime_error(failure ? krx::describeOpenFailure(*failure) : "no monitor");
        }
    }
    return krx::bench::medianOf(times);
}

void measure(const std::filesystem::path& dir, Ser2netMode mode, bool charDelay, int repetitions) {
    std::filesystem::remove_all(dir);
    std::filesystem::create_directory(dir);
    krx::testing::ChildProcess sim(
        KRX_SIM_BINARY, {"--link", (dir / ("COM" + std::to_string(kPortNumber))).string(),
                         "--latency-us", std::to_string(krx::bench::kLatencyUs)});
    const auto pty = sim.firstLine();
    if (!pty)
        throw std::runtime_error("the simulator did not start");
    krx::test::Ser2netServer server(mode, *pty, charDelay);
    krx::QtWindowServices services;
    const double openMs = medianOpenMs(services, server.url());
    krx::CNetworkChannel channel(services, lookupFor(server.url()));
    const std::vector<double> times =
        krx::bench::timeSweeps(services, channel, dir, kPortIndex, repetitions);
    std::printf("%s, ser2net character delay %s: open %.2f ms (median of 20)\n",
                mode == Ser2netMode::RawTcp ? "raw TCP" : "RFC 2217", charDelay ? "on" : "off",
                openMs);
    krx::bench::printSweepFigures(times, 1.15);
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int repetitions = krx::bench::repetitionsArgument(argc, argv, 10);

    std::printf(
        "status sweep through ser2net (22 exchanges, paced, answer latency %d us), %d "
        "runs each:\n",
        krx::bench::kLatencyUs, repetitions);
    int status = 0;
    try {
        const krx::testing::ScratchDir scratch;
        for (const Ser2netMode mode : {Ser2netMode::RawTcp, Ser2netMode::Rfc2217}) {
            for (const bool charDelay : {true, false})
                measure(scratch.path() / "sweep", mode, charDelay, repetitions);
        }
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "net bench: %s\n", failure.what());
        status = 1;
    }
    return status;
}
