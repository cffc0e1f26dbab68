// SPDX-License-Identifier: MIT
#pragma once

namespace krx {

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
