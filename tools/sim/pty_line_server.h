// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "generator_line.h"

namespace krx::sim {

// Serves one GeneratorLine on a pseudo-terminal. A reader thread blocks in poll() on the pty
// master and hands what the console wrote to the line; a writer thread sleeps to each answer
// byte's absolute deadline (clock_nanosleep, TIMER_ABSTIME) and writes it then, so answers leave
// at the line's pace. The line is touched by the reader thread only. Times are microseconds of
// CLOCK_MONOTONIC since open().
class PtyLineServer {
  public:
    // `onEnd` runs on a worker thread when the line goes away: the hang-up fault struck (after
    // its last answer byte has been written) or the pty failed. It must not join the server.
    PtyLineServer(GeneratorLine& line, std::function<void()> onEnd);
    ~PtyLineServer();
    PtyLineServer(const PtyLineServer&) = delete;
    PtyLineServer& operator=(const PtyLineServer&) = delete;

    // Creates the pty in raw mode at 115200 8N1. Returns an error text, empty on success.
    std::string open();
    // The slave device the console opens, e.g. /dev/pts/4.
    const std::string& slavePath() const { return slavePath_; }

    // Starts the two threads. `onEvent` gets every line event, on the reader thread.
    void start(std::function<void(const LineEvent&)> onEvent);
    // Ends both threads and closes the pty; the console then sees the line hang up.
    void stop();

    // Microseconds since open().
    std::int64_t nowUs() const;

  private:
    struct Outgoing {
        std::int64_t timeUs;
        std::uint8_t value;
        bool hangUp;  // closes the line instead of writing a byte
    };

    void readLoop();
    void writeLoop();
    void sleepUntilUs(std::int64_t timeUs) const;
    void closeFds();

    GeneratorLine& line_;
    std::function<void()> onEnd_;
    std::string slavePath_;
    int masterFd_ = -1;
    // Held open so the master never sees the console's close as a hang-up (which would make
    // poll() return at once, again and again, while no console is attached).
    int slaveFd_ = -1;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    std::int64_t originNs_ = 0;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Outgoing> outgoing_;
    bool hangUpQueued_ = false;
    std::atomic<bool> stopping_{false};
    std::thread reader_;
    std::thread writer_;
};

}  // namespace krx::sim
