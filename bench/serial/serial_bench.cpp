// SPDX-License-Identifier: MIT
// The serial channel on a pseudo-terminal, measured:
//  flood   bytes/s from the pty through the monitor thread to a handler on the "window thread"
//          that takes the bytes one at a time, and its ratio to the line rate of 115200 8N1;
//  echo    one byte at a time, each waited for: the hand-over latency a sparse line sees;
//  idle    the monitor thread's wake-ups (voluntary context switches) over ten quiet seconds.
// Usage: krx-serial-bench [flood-megabytes]
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "link/posix_serial_channel.h"
#include "serial_test_support.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

constexpr double kLineBytesPerSecond = 115200.0 / 10.0;  // 8N1: ten bit times per byte

// The one thread in `after` but not in `before`; -1 unless there is exactly one.
pid_t newThread(const std::set<pid_t>& before, const std::set<pid_t>& after) {
    pid_t found = -1;
    for (pid_t id : after) {
        if (before.count(id) != 0)
            continue;
        if (found != -1)
            return -1;
        found = id;
    }
    return found;
}

struct ThreadStats {
    bool alive = false;
    long cpuTicks = 0;  // user + system, in clock ticks
    long voluntarySwitches = 0;
};

// Reads a /proc file whole with plain read(): a file of a task that is ending fails with ESRCH,
// which must mean "gone", not an exception.
std::optional<std::string> readProcFile(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::string text;
    char chunk[1024];
    ssize_t got = 0;
    while ((got = ::read(fd, chunk, sizeof chunk)) > 0)
        text.append(chunk, static_cast<std::size_t>(got));
    ::close(fd);
    if (got < 0)
        return std::nullopt;
    return text;
}

// Statistics of one thread of this process; `alive` false once it has ended.
ThreadStats threadStats(pid_t tid) {
    const std::filesystem::path task = "/proc/self/task/" + std::to_string(tid);
    ThreadStats stats;
    const auto stat = readProcFile(task / "stat");
    const auto status = readProcFile(task / "status");
    if (!stat || !status)
        return stats;
    const auto nameEnd = stat->rfind(')');
    if (nameEnd == std::string::npos)
        return stats;
    // After the name: state (field 3) ... utime (field 14), stime (field 15).
    std::istringstream fields(stat->substr(nameEnd + 2));
    std::string field;
    long utime = 0;
    long stime = 0;
    for (int number = 3; number <= 15 && fields >> field; ++number) {
        if (number == 14)
            utime = std::stol(field);
        if (number == 15)
            stime = std::stol(field);
    }
    stats.alive = true;
    stats.cpuTicks = utime + stime;
    std::istringstream lines(*status);
    const std::string key = "voluntary_ctxt_switches:";
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(key, 0) == 0)
            stats.voluntarySwitches = std::stol(line.substr(key.size()));
    }
    return stats;
}

// Consumes bytes one at a time, as the console's receiver does.
class CountingListener final : public krx::SerialListener {
  public:
    void onSerialBytes(int /*port*/, std::span<const std::uint8_t> bytes) override {
        for (std::uint8_t byte : bytes)
            consume(byte);
        ++runs;
    }
    void onSerialTxEmpty(int /*port*/) override { ++txEmpty; }
    void onSerialPortLost(int /*port*/) override {}

    std::size_t received = 0;
    std::size_t runs = 0;
    std::size_t txEmpty = 0;
    std::uint32_t checksum = 0;

  private:
    void consume(std::uint8_t byte) {
        checksum = checksum * 31 + byte;
        ++received;
    }
};

struct Rig {
    krx::test::QueueExecutor windowThread;
    krx::test::PortsDir ports;
    krx::test::PtyPair pty;
    CountingListener listener;
    krx::CSerialChannel channel{windowThread, ports.path()};

    Rig() {
        ports.link(1, pty.slavePath());
        if (!channel.open(listener, 1, 115200, 'N', 8, 1, 0x0003, 512))
            throw std::runtime_error("open failed");
    }

    // Starts the monitor and waits until it has passed its start-up purge.
    void start() {
        if (!channel.start())
            throw std::runtime_error("start failed");
        const Bytes probe{0x5A};
        channel.queueWrite(probe);
        if (pty.receive(1) != probe ||
            !windowThread.runUntil([this] { return listener.txEmpty == 1; }))
            throw std::runtime_error("the monitor did not start");
    }
};

void flood(std::size_t megabytes) {
    Rig rig;
    rig.start();
    Bytes data(megabytes * 1024 * 1024);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 13);

    const auto begin = Clock::now();
    std::thread generator([&] { rig.pty.send(data); });
    const bool complete =
        rig.windowThread.runUntil([&] { return rig.listener.received == data.size(); }, 120s);
    const auto elapsed = std::chrono::duration<double>(Clock::now() - begin).count();
    generator.join();
    if (!complete)
        throw std::runtime_error("flood incomplete");

    const double rate = static_cast<double>(data.size()) / elapsed;
    std::printf(
        "flood: %zu bytes in %.3f s = %.0f bytes/s = %.0fx the line rate; %zu runs, "
        "%.0f bytes per run\n",
        data.size(), elapsed, rate, rate / kLineBytesPerSecond, rig.listener.runs,
        static_cast<double>(data.size()) / static_cast<double>(rig.listener.runs));
}

void echo(std::size_t count) {
    Rig rig;
    rig.start();
    const auto begin = Clock::now();
    for (std::size_t i = 0; i < count; ++i) {
        rig.pty.send(Bytes{static_cast<std::uint8_t>(i)});
        if (!rig.windowThread.runUntil([&] { return rig.listener.received == i + 1; }))
            throw std::runtime_error("echo byte lost");
    }
    const auto elapsed = std::chrono::duration<double>(Clock::now() - begin).count();
    std::printf("single bytes: %zu, %.1f us each from pty write to handled (line: %.1f us)\n",
                count, elapsed * 1e6 / static_cast<double>(count), 1e6 / kLineBytesPerSecond);
}

void idle(std::chrono::seconds duration) {
    const auto threadsBefore = krx::test::threadIds();
    Rig rig;
    rig.start();
    const pid_t monitor = newThread(threadsBefore, krx::test::threadIds());
    if (monitor < 0)
        throw std::runtime_error("monitor thread not found");
    const auto before = threadStats(monitor);
    const std::size_t tasks = rig.windowThread.runFor(duration);
    const auto after = threadStats(monitor);
    std::printf("idle: %lld s, monitor wake-ups %ld, CPU ticks %ld, window-thread tasks %zu\n",
                static_cast<long long>(duration.count()),
                after.voluntarySwitches - before.voluntarySwitches,
                after.cpuTicks - before.cpuTicks, tasks);
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 16;
    try {
        flood(megabytes);
        echo(2000);
        idle(10s);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "serial bench: %s\n", failure.what());
        return 1;
    }
    return 0;
}
