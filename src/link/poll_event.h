// SPDX-License-Identifier: MIT
#pragma once

#include <poll.h>

#include <span>

namespace krx {

// Blocks in poll() until one of `waits` is ready or `timeoutMs` (-1: none) has passed, resuming
// after a signal; the number ready, or -1 with errno set when poll() fails otherwise.
int pollFor(std::span<pollfd> waits, int timeoutMs);

// A manual-reset event that poll() can wait on (an eventfd): signalled until reset, however often
// it was signalled. Any thread may signal or reset it. Throws std::system_error when the system
// has no descriptor to give.
class PollEvent {
  public:
    PollEvent();
    ~PollEvent();
    PollEvent(const PollEvent&) = delete;
    PollEvent& operator=(const PollEvent&) = delete;

    int fd() const { return fd_; }
    void signal() const;
    void reset() const;

  private:
    int fd_;
};

}  // namespace krx
