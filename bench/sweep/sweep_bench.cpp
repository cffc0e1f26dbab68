// SPDX-License-Identifier: MIT
// The full status sweep of the console against the paced krx-vtp-sim process over a pty, from the
// first query written to the last answer handled, as a ratio to the line-time minimum; and the
// device search over 99 ports that do not exist. Run by hand: krx-sweep-bench [repetitions].
#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "app/console_dlg.h"
#include "framework/qt_window_services.h"
#include "framework/virtual_window_services.h"
#include "link/posix_serial_channel.h"
#include "support/channel_tap.h"
#include "support/sim_process.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kLatencyUs = 1000;
constexpr double kByteUs = 1e6 * 10 / 115200;  // 8N1: ten bits a byte

// Every byte of the 22 exchanges at line pace, plus the simulator's answer latency for each.
double lineMinimumMs() {
    const int requestBytes = 12 * 10 + 10 * 11;  // status queries; user-timing reads with a slot
    const int answerBytes = 12 * 11 + 10 * 30;   // one data byte; a 20-byte record
    return ((requestBytes + answerBytes) * kByteUs + 22 * kLatencyUs) / 1000.0;
}

bool sweepComplete(krx::CConsoleDlg& window) {
    const krx::ResponseReceiver& r = window.connection().receiver();
    return !r.sweepMode && r.sweepIndex == 12 && r.sweepSlot == 9;
}

double medianOf(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::vector<double> measureSweeps(const std::filesystem::path& dir, int repetitions) {
    krx::testing::SimProcess sim(KRX_SIM_BINARY, {"--link", (dir / "COM3").string(), "--latency-us",
                                                  std::to_string(kLatencyUs)});
    krx::QtWindowServices services;
    krx::CSerialChannel channel(services, dir);
    krx::testing::ChannelTap tap(channel);
    krx::CConsoleDlg window(services, tap, dir);

    std::optional<Clock::time_point> firstQuery;
    Clock::time_point lastAnswer;
    QEventLoop* running = nullptr;
    tap.written = [&](std::span<const std::uint8_t>) {
        if (!firstQuery)
            firstQuery = Clock::now();
    };
    tap.delivered = [&](std::span<const std::uint8_t>) {
        if (running && sweepComplete(window)) {
            lastAnswer = Clock::now();
            running->quit();
        }
    };
    const auto runSweep = [&](const std::function<void()>& begin) {
        QEventLoop loop;
        running = &loop;
        firstQuery.reset();
        QTimer::singleShot(10'000, &loop, &QEventLoop::quit);
        begin();
        loop.exec();
        running = nullptr;
        if (!sweepComplete(window) || !firstQuery) {
            std::fprintf(stderr, "the sweep did not complete\n");
            std::exit(1);
        }
        return std::chrono::duration<double, std::milli>(lastAnswer - *firstQuery).count();
    };

    runSweep([&] { window.connection().changePort(2); });  // connects; the first sweep warms up
    std::vector<double> times;
    for (int i = 0; i < repetitions; ++i) {
        // Let the link-status query that follows a sweep be answered first.
        QEventLoop settle;
        QTimer::singleShot(50, &settle, &QEventLoop::quit);
        settle.exec();
        times.push_back(runSweep([&] { window.connection().startStatusSweep(400); }));
    }
    return times;
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
    const double median = medianOf(times);
    const double minimum = lineMinimumMs();
    std::printf("status sweep (22 exchanges, paced, answer latency %d us), %d runs:\n", kLatencyUs,
                repetitions);
    std::printf("  median %.2f ms, best %.2f ms, worst %.2f ms\n", median,
                *std::min_element(times.begin(), times.end()),
                *std::max_element(times.begin(), times.end()));
    std::printf("  line-time minimum %.2f ms; ratio %.3f (goal <= 1.10)\n", minimum,
                median / minimum);

    const double searchMs = measureSearchOverAbsentPorts(dir / "search");
    std::printf("search over 99 absent ports: %.3f ms\n", searchMs);

    std::filesystem::remove_all(dir);
    return 0;
}
