// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>

namespace krx {

// A clock with a queue of timed tasks on the window thread. The tests' virtual clock implements
// it, so that a simulated line delivers its bytes at their line times without real waiting.
class EventScheduler {
  public:
    virtual ~EventScheduler() = default;

    // Current time in microseconds since an arbitrary start.
    virtual std::int64_t nowUs() const = 0;

    // Runs `task` on the window thread at `timeUs` (at once if that has passed), after the handler
    // running now has returned; tasks due at the same time run in the order they were scheduled.
    virtual void scheduleAtUs(std::int64_t timeUs, std::function<void()> task) = 0;
};

}  // namespace krx
