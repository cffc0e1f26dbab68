// SPDX-License-Identifier: MIT
// How long a test waits for what must come: a process to start or end, bytes on a line, a task.
#pragma once

#include <poll.h>

#include <chrono>

namespace krx::testing {

// Generous: a loaded machine with sanitizers may be slow. Never reached when things work; a missed
// wait fails the test, it does not measure speed.
inline constexpr std::chrono::milliseconds kSafetyTimeout = std::chrono::seconds(20);

// True when `fd` became readable (or hung up) within `timeout`.
inline bool waitReadable(int fd, std::chrono::milliseconds timeout = kSafetyTimeout) {
    pollfd entry{fd, POLLIN, 0};
    return ::poll(&entry, 1, static_cast<int>(timeout.count())) == 1;
}

}  // namespace krx::testing
