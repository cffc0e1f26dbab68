// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "link/generator_facts.h"

namespace krx {

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

}  // namespace krx
