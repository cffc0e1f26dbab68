// SPDX-License-Identifier: MIT
// The full status sweep of the console against the paced krx-vtp-sim process over a pty, from the
// first query written to the last answer handled, as a ratio to the line-time minimum; and the
// device search over 99 ports that do not exist; and what waiting for a lost port costs: the
// process's wake-ups and CPU over ten quiet seconds. Run by hand: krx-sweep-bench [repetitions].
#include <QApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/port_return_watch.h"
#include "bench_main.h"
#include "framework/qt_window_services.h"
#include "framework/virtual_window_services.h"
#include "link/posix_serial_channel.h"
#include "support/child_process.h"
#include "support/files.h"
#include "sweep_timing.h"

namespace {

using Clock = std::chrono::steady_clock;

std::vector<double> measureSweeps(const std::filesystem::path& dir, int repetitions) {
    krx::testing::ChildProcess sim(KRX_SIM_BINARY,
                                   {"--link", (dir / "COM3").string(), "--latency-us",
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
        throw std::runtime_error("the search did not end with its message");
    }
    return ms;
}

struct ProcessStats {
    long wakeUps = 0;  // voluntary context switches of every thread
    long cpuTicks = 0;
};

ProcessStats processStats() {
    ProcessStats stats;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream status(task.path() / "status");
        for (std::string line; std::getline(status, line);)
            if (line.starts_with("voluntary_ctxt_switches:"))
                stats.wakeUps += std::stol(line.substr(line.find(':') + 1));
    }
    std::ifstream statFile("/proc/self/stat");
    std::string stat((std::istreambuf_iterator<char>(statFile)), {});
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    for (int i = 3; i <= 15 && fields >> field; ++i)
        if (i >= 14)
            stats.cpuTicks += std::stol(field);
    return stats;
}

void runEventsFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Wake-ups and CPU ticks of the process over ten seconds of the window thread's event loop; the
// loop's own timer that ends them counts too.
ProcessStats quietTenSeconds() {
    const ProcessStats before = processStats();
    runEventsFor(10'000);
    const ProcessStats after = processStats();
    return {after.wakeUps - before.wakeUps, after.cpuTicks - before.cpuTicks};
}

// The console connected to COM3, whose simulator then goes: while the console waits for the port
// on inotify, the process should not wake at all.
void measureIdleWhileWaiting(const std::filesystem::path& dir) {
    const ProcessStats empty = quietTenSeconds();
    std::printf("an empty event loop, 10 s: process wake-ups %ld, CPU ticks %ld\n", empty.wakeUps,
                empty.cpuTicks);
    krx::QtWindowServices services;
    krx::CSerialChannel channel(services, dir);
    krx::CPortReturnWatch watch(krx::PortsDirectories{dir});
    krx::CConsoleDlg window(services, channel, dir);
    window.connection().setReturnWatch(&watch);
    {
        krx::testing::ChildProcess sim(KRX_SIM_BINARY, {"--link", (dir / "COM3").string()});
        sim.firstLine();
        window.connection().changePort(2);
        runEventsFor(1000);
    }
    runEventsFor(1000);
    if (!window.connection().waitingForPort()) {
        throw std::runtime_error("the console is not waiting for COM3");
    }
    const ProcessStats waiting = quietTenSeconds();
    std::printf("waiting for a lost port, 10 s: process wake-ups %ld, CPU ticks %ld\n",
                waiting.wakeUps, waiting.cpuTicks);
}

int run(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int repetitions = krx::bench::repetitionsArgument(argc, argv, 10);

    const krx::testing::ScratchDir scratch;
    const std::filesystem::path& dir = scratch.path();
    std::filesystem::create_directory(dir / "sweep");
    std::filesystem::create_directory(dir / "search");
    std::filesystem::create_directory(dir / "wait");

    const std::vector<double> times = measureSweeps(dir / "sweep", repetitions);
    std::printf("status sweep (22 exchanges, paced, answer latency %d us), %d runs:\n",
                krx::bench::kLatencyUs, repetitions);
    krx::bench::printSweepFigures(times, 1.10);

    const double searchMs = measureSearchOverAbsentPorts(dir / "search");
    std::printf("search over 99 absent ports: %.3f ms\n", searchMs);

    measureIdleWhileWaiting(dir / "wait");

    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    return krx::bench::runReportingFailure(run, argc, argv);
}
