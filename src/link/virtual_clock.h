// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <queue>
#include <vector>

#include "link/event_scheduler.h"

namespace krx {

// An EventScheduler on virtual time, for tests: nothing runs by itself. runUntilUs() runs the
// tasks that fall due, in time order (ties in scheduling order), and leaves the clock at the end
// time; advanceUs() moves the clock without running anything, as a window thread blocked in a
// sleep, so that what came due meanwhile runs on the next runUntilUs(). Single-threaded.
class VirtualClock : public EventScheduler {
  public:
    std::int64_t nowUs() const override { return nowUs_; }
    void scheduleAtUs(std::int64_t timeUs, std::function<void()> task) override;

    void runUntilUs(std::int64_t endUs);
    void runForUs(std::int64_t us) { runUntilUs(nowUs_ + us); }
    void advanceUs(std::int64_t us);

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

}  // namespace krx
