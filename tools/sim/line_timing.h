// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

namespace krx::sim {

// The serial line runs at 115200 baud with 10 bits a byte (start, 8 data, stop): 86.8 us a byte.
inline constexpr std::int64_t kBaud = 115200;
inline constexpr std::int64_t kBitsPerByte = 10;

// Time in microseconds that `bytes` bytes take on the line, rounded down. Computed from the byte
// count each time rather than summed per byte, so that long runs do not drift.
constexpr std::int64_t lineTimeUs(std::int64_t bytes) {
    return bytes * kBitsPerByte * 1'000'000 / kBaud;
}

// One byte on the line and the time (us) at which it has been completely transmitted.
struct TimedByte {
    std::int64_t timeUs = 0;
    std::uint8_t value = 0;
    friend bool operator==(const TimedByte&, const TimedByte&) = default;
};

}  // namespace krx::sim
