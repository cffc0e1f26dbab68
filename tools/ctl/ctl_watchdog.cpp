// SPDX-License-Identifier: MIT
#include "ctl_watchdog.h"

#include <algorithm>

namespace krx::ctl {

void AnswerWatchdog::start(Clock::time_point now, int intervalMs) {
    const std::chrono::milliseconds interval(intervalMs);
    if (requestSent_ || !requestEnd_) {
        requestSent_ = false;
        requestEnd_ = now + interval;
        deadline_ = requestEnd_;
        return;
    }
    deadline_ = std::min(now, *requestEnd_) + interval;
}

}  // namespace krx::ctl
