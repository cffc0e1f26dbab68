// SPDX-License-Identifier: MIT
// The full status sweep of the console against the paced krx-vtp-sim process over a pty, from the
// first query written to the last answer handled, as a ratio to the line-time minimum; and the
// device search over 99 ports that do not exist. Run by hand: krx-sweep-bench [repetitions].
#include <QApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "framework/qt_window_services.h"
#include "framework/virtual_window_services.h"
#include "link/posix_serial_channel.h"
#include "support/sim_process.h"
#include "sweep_timing.h"

namespace {

using Clock = std::chrono::steady_clock;

std::vector<double> measureSweeps(const std::filesystem::path& dir, int repetitions) {
    krx::testing::SimProcess sim(KRX_SIM_BINARY, {"--link", (dir / "COM3").string(), "--latency-us",
                                                  std::to_string(krx::bench::kLatencyUs)});
    krx::QtWindowServices services;
    krx::CSerialChannel channel(services, dir);
    return krx::bench::timeSweeps(services, channel, dir, 2, repetitions);
}

// Every COMn names a device that does not exist, so the search finds nothing to open.
double measureSearchOverAbsentPorts(const std::filesystem::path& dir) {
    for (int port = 1; port <= 99; ++port)
        std::filesystem::create_symlink(dir / "absent", dir / ("COM" + std::to_string(port)));
    krx::VirtualWindowServices services;
    krx::CSerialChannel channel(services, dir);
    krx::CConsoleDlg window(services, channel, dir);
    const auto start = Clock::now();
    window.connection().searchDevice();
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (services.messages().size() != 1) {
        std::fprintf(stderr, "the search did not end with its message\n");
        std::exit(1);
    }
    return ms;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;

    char pattern[] = "/tmp/krx-sweep-bench-XXXXXX";
    const std::filesystem::path dir = ::mkdtemp(pattern);
    std::filesystem::create_directory(dir / "sweep");
    std::filesystem::create_directory(dir / "search");

    const std::vector<double> times = measureSweeps(dir / "sweep", repetitions);
    std::printf("status sweep (22 exchanges, paced, answer latency %d us), %d runs:\n",
                krx::bench::kLatencyUs, repetitions);
    krx::bench::printSweepFigures(times, 1.10);

    const double searchMs = measureSearchOverAbsentPorts(dir / "search");
    std::printf("search over 99 absent ports: %.3f ms\n", searchMs);

    std::filesystem::remove_all(dir);
    return 0;
}
