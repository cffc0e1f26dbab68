// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <queue>
#include <vector>

#include "link/event_scheduler.h"

namespace krx::sim::testing {

// A minimal EventScheduler for the simulator's own tests: nothing runs until runUntilUs(), which
// runs due tasks in time order (ties in scheduling order) and leaves the clock at the end time.
class VirtualClock final : public EventScheduler {
  public:
    std::int64_t nowUs() const override { return nowUs_; }

    void scheduleAtUs(std::int64_t timeUs, std::function<void()> task) override {
        queue_.push(Event{timeUs < nowUs_ ? nowUs_ : timeUs, nextSequence_++, std::move(task)});
    }

    void runUntilUs(std::int64_t endUs) {
        while (!queue_.empty() && queue_.top().timeUs <= endUs) {
            Event next = queue_.top();
            queue_.pop();
            nowUs_ = next.timeUs;
            next.task();
        }
        if (endUs > nowUs_)
            nowUs_ = endUs;
    }
    void runForUs(std::int64_t us) { runUntilUs(nowUs_ + us); }

    // Moves the clock without running anything, as a window thread blocked in a sleep.
    void sleepUs(std::int64_t us) { nowUs_ += us; }

  private:
    struct Event {
        std::int64_t timeUs;
        std::uint64_t sequence;
        std::function<void()> task;
    };
    struct Later {
        bool operator()(const Event& a, const Event& b) const {
            return a.timeUs != b.timeUs ? a.timeUs > b.timeUs : a.sequence > b.sequence;
        }
    };

    std::int64_t nowUs_ = 0;
    std::uint64_t nextSequence_ = 0;
    std::priority_queue<Event, std::vector<Event>, Later> queue_;
};

}  // namespace krx::sim::testing
