// SPDX-License-Identifier: MIT
// Helpers for exercising the serial channel on real pseudo-terminals: a pty pair, a ports
// directory of COMn links, a window-thread executor the test thread drains, a recording listener
// and views of the process's threads and descriptors from /proc.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <set>
#include <span>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "link/serial_channel.h"
#include "support/files.h"
#include "support/waits.h"

namespace krx::test {

using krx::testing::kSafetyTimeout;

// A pseudo-terminal; the test plays the generator on the master side.
class PtyPair {
  public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& slavePath() const { return slavePath_; }

    // Writes every byte to the channel's side, waiting for room as needed.
    void send(std::span<const std::uint8_t> bytes) const;

    // Writes `bytes` while the channel's side takes them; stops once it has taken nothing for
    // `stall`, and returns how many went.
    std::size_t sendWhileTaken(std::span<const std::uint8_t> bytes,
                               std::chrono::milliseconds stall) const;

    // Reads what the channel wrote until `count` bytes arrived, the channel's side closed or
    // nothing came for the safety timeout.
    std::vector<std::uint8_t> receive(std::size_t count) const;

    // Closes the master: the channel's side sees a hang-up.
    void hangUp();

  private:
    int master_ = -1;
    std::string slavePath_;
};

// A private directory of COMn links, removed with everything in it.
class PortsDir : public testing::ScratchDir {
  public:
    std::filesystem::path entry(int port) const;
    void link(int port, const std::filesystem::path& target) const;
};

// The window thread of a test: post() queues from any thread, the test thread runs the tasks.
class QueueExecutor final : public WindowThreadExecutor {
  public:
    void post(std::function<void()> task) override;

    // Runs tasks as they come until `done` holds; false if it still does not after `timeout`.
    bool runUntil(const std::function<bool()>& done,
                  std::chrono::milliseconds timeout = kSafetyTimeout);

    // Runs tasks as they come for `duration`; returns how many ran.
    std::size_t runFor(std::chrono::milliseconds duration);

    // Runs the tasks queued now, and any that come while they run; returns how many ran.
    std::size_t runQueued() { return runFor(std::chrono::milliseconds(0)); }

    // Blocks, running nothing, until at least `count` tasks are queued; false on timeout.
    bool waitUntilQueued(std::size_t count, std::chrono::milliseconds timeout = kSafetyTimeout);

    std::size_t queued();

  private:
    // Runs one task if one arrives before `deadline`.
    bool runOne(std::chrono::steady_clock::time_point deadline);

    std::mutex mutex_;
    std::condition_variable queued_;
    std::deque<std::function<void()>> tasks_;
};

// Records every notification.
class RecordingListener final : public SerialListener {
  public:
    void onSerialBytes(int port, std::span<const std::uint8_t> bytes) override;
    void onSerialTxEmpty(int port) override;
    void onSerialPortLost(int port) override;

    std::vector<std::uint8_t> bytes;
    std::vector<int> ports;  // the port number of every notification
    std::size_t runs = 0;
    std::size_t txEmpty = 0;
    std::size_t portLost = 0;
    // Runs inside every onSerialBytes call, after the run was recorded: a handler's own work.
    std::function<void()> onBytes;
};

// What reached the device at the far end of a line, and when the device had it.
struct Arrival {
    std::vector<std::uint8_t> bytes;
    std::int64_t timeUs = 0;
};

// A channel under test whose far end the test plays on the pseudo-terminal `Line::pty()`, with the
// window thread the test runs; the channel contract suite drives the real channels through it.
template <class Line>
class PtyDeviceLine {
  public:
    // The device sends; returns once the channel has read them.
    void deviceSends(const std::vector<std::uint8_t>& bytes) {
        const std::size_t before = windowThread_.queued();
        static_cast<Line*>(this)->pty().send(bytes);
        if (!windowThread_.waitUntilQueued(before + 1))
            throw std::runtime_error("the channel did not read");
    }

    Arrival deviceReceives(std::size_t count) {
        auto bytes = static_cast<Line*>(this)->pty().receive(count);
        return {std::move(bytes), std::chrono::duration_cast<std::chrono::microseconds>(
                                      std::chrono::steady_clock::now().time_since_epoch())
                                      .count()};
    }

    bool runUntil(const std::function<bool()>& done) { return windowThread_.runUntil(done); }
    void runQueued() { windowThread_.runQueued(); }
    void sleepWindowThread(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

  protected:
    QueueExecutor windowThread_;
};

// Thread ids of this process (/proc/self/task).
std::set<pid_t> threadIds();

// Open descriptors of this process (/proc/self/fd).
std::size_t openDescriptorCount();

}  // namespace krx::test
