// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "link/device_status.h"

namespace krx {

// A timing code as reported or chosen: 0x00..0x40 are real timings. Held signed, because the
// generator's status byte arrives as a signed value and may be negative.
using TimingCode = int;

inline constexpr TimingCode kFirstTimingCode = 0x00;
inline constexpr TimingCode kLastStandardTiming = 0x35;  // last row of kStandardTimings
inline constexpr TimingCode kAutoTiming = 0x36;
inline constexpr TimingCode kFirstUserTiming = 0x37;  // user slot 1
inline constexpr TimingCode kLastUserTiming = 0x40;   // user slot 10
inline constexpr std::size_t kTimingCount = 65;

constexpr bool isTimingCode(TimingCode code) {
    return code >= kFirstTimingCode && code <= kLastUserTiming;
}
constexpr bool isStandardTiming(TimingCode code) {
    return code >= kFirstTimingCode && code <= kLastStandardTiming;
}
constexpr bool is4k(TimingCode code) {
    return code >= 0x1C && code <= 0x24;
}
constexpr bool is4k420(TimingCode code) {
    return code >= 0x22 && code <= 0x24;
}
constexpr bool isUserTiming(TimingCode code) {
    return code >= kFirstUserTiming && code <= kLastUserTiming;
}
// Slot number 1..10 of a user code, 0 for any other code.
constexpr int userSlotOf(TimingCode code) {
    return isUserTiming(code) ? code - 0x36 : 0;
}
constexpr TimingCode userTimingCode(int slot) {
    return 0x36 + slot;
}

// The frames of the Timing page. Index 0 is the outer frame that surrounds the whole page and
// directly holds the VESA rows; kNoTimingFrame marks the automatic timing's own line.
inline constexpr std::array<std::string_view, 8> kTimingFrameCaptions = {
    "VESA  (PC)Timing",
    "Video Standards with 60(59.94), 30(29.97), 24(23.98) fps",
    "Video Standards with 50, 25 fps",
    "4K Timing",
    "3D Video (Fame Packing)",
    "3D Video (Side by Side)",
    "3D Video (Top-bottom)",
    "User defined Timing",
};
inline constexpr int kNoTimingFrame = -1;
inline constexpr int kUserTimingFrame = 7;

// Caption of a user slot's radio button until the generator's record relabels it.
inline constexpr std::string_view kUserTimingPlaceholder = "1280X720(60)";

struct TimingEntry {
    TimingCode code;
    std::string_view radioLabel;
    int frameIndex;  // into kTimingFrameCaptions, or kNoTimingFrame
};

// All 65 timings in code order; the position of an entry equals its code and the radio id.
extern const std::array<TimingEntry, kTimingCount> kTimings;

// Status-panel names of codes 0x00..0x36.
extern const std::array<std::string_view, 55> kTimingStatusNames;

// Status name of a code, empty outside 0x00..0x36 (never indexes outside the table).
std::string_view timingStatusName(TimingCode code);

// One built-in timing: V values are frame values, halved by the consumer for interlaced rows.
struct StandardTiming {
    float clockMHz;
    std::uint8_t flags;  // kStdInterlaced | kStdHSyncPositive | kStdVSyncPositive
    std::uint16_t hActive;
    std::uint16_t hTotal;
    std::uint16_t hSyncWidth;
    std::uint16_t hSyncToActive;  // sync width plus back porch
    std::uint16_t vActive;
    std::uint16_t vTotal;
    std::uint16_t vSyncWidth;
    std::uint16_t vSyncToActive;
};

// Bit layout of StandardTiming::flags (differs from UserTiming's).
inline constexpr std::uint8_t kStdInterlaced = 0x01;
inline constexpr std::uint8_t kStdHSyncPositive = 0x04;
inline constexpr std::uint8_t kStdVSyncPositive = 0x08;

// Codes 0x00..0x35, indexed by code.
extern const std::array<StandardTiming, 54> kStandardTimings;

// The built-in row of `code` as the 20-byte record a generator reports for it: clock10kHz =
// MHz x 100 rounded, hBlank = total - active, hSyncOffset = hBlank - syncToActive, V values per
// field for interlaced rows, flags in the record's layout, slot byte 0. A code without a built-in
// row gives an all-zero record.
UserTiming standardTimingRecord(TimingCode code);

}  // namespace krx
