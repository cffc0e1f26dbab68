// SPDX-License-Identifier: MIT
// The serial channel on a pseudo-terminal, measured:
//  flood   bytes/s from the pty through the monitor thread to a handler on the "window thread"
//          that takes the bytes one at a time, and its ratio to the line rate of 115200 8N1;
//  echo    one byte at a time, each waited for: the hand-over latency a sparse line sees;
//  idle    the monitor thread's wake-ups (voluntary context switches) over ten quiet seconds.
// Usage: krx-serial-bench [flood-megabytes]
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "link/posix_serial_channel.h"
#include "serial_test_support.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

constexpr double kLineBytesPerSecond = 115200.0 / 10.0;  // 8N1: ten bit times per byte

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
    const pid_t monitor = krx::test::newThread(threadsBefore, krx::test::threadIds());
    if (monitor < 0)
        throw std::runtime_error("monitor thread not found");
    const auto before = krx::test::threadStats(monitor);
    const std::size_t tasks = rig.windowThread.runFor(duration);
    const auto after = krx::test::threadStats(monitor);
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
