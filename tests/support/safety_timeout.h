// SPDX-License-Identifier: MIT
// How long a test waits for what must come: a process to start or end, bytes on a line, a task.
#pragma once

#include <chrono>

namespace krx::testing {

// Generous: a loaded machine with sanitizers may be slow. Never reached when things work; a missed
// wait fails the test, it does not measure speed.
inline constexpr std::chrono::milliseconds kSafetyTimeout = std::chrono::seconds(20);

}  // namespace krx::testing
