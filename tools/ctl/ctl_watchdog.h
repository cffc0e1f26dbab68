// SPDX-License-Identifier: MIT
// krx-vtp-ctl's response watchdog, on the caller's clock. Pure.
#pragma once

#include <chrono>
#include <optional>

namespace krx::ctl {

// The watchdog of the exchange in progress. A request arms it with the interval its answer has to
// begin in; a restart while an answer is being assembled (the receiver's interval between two
// bytes) counts from now, but never from later than the end of the request's interval. So an
// answer begun in time gets one restart interval more to finish (a whole answer takes a few
// milliseconds at 115200 baud), and a line that keeps sending bytes that make no answer (a wrong
// device, a loop-back) holds an exchange open no longer than that.
class AnswerWatchdog {
  public:
    using Clock = std::chrono::steady_clock;

    // The next start() is the request's own.
    void requestSent() { requestSent_ = true; }

    void start(Clock::time_point now, int intervalMs);
    void stop() { deadline_.reset(); }

    // When the watchdog fires; nothing while it is stopped.
    std::optional<Clock::time_point> deadline() const { return deadline_; }

  private:
    bool requestSent_ = false;
    std::optional<Clock::time_point> requestEnd_;
    std::optional<Clock::time_point> deadline_;
};

}  // namespace krx::ctl
