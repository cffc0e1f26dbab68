// SPDX-License-Identifier: MIT
#include "link/virtual_clock.h"

#include <algorithm>

namespace krx {

void VirtualClock::scheduleAtUs(std::int64_t timeUs, std::function<void()> task) {
    queue_.push(Event{std::max(timeUs, nowUs_), nextSequence_++, std::move(task)});
}

void VirtualClock::runUntilUs(std::int64_t endUs) {
    while (!queue_.empty() && queue_.top().timeUs <= endUs) {
        Event event = queue_.top();
        queue_.pop();
        // A task may be overdue after a sleep moved the clock past it: time never runs back.
        nowUs_ = std::max(nowUs_, event.timeUs);
        event.task();
    }
    nowUs_ = std::max(nowUs_, endUs);
}

void VirtualClock::advanceUs(std::int64_t us) {
    if (us > 0)
        nowUs_ += us;
}

}  // namespace krx
