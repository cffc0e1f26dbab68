// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "link/device_status.h"
#include "model/timing_tables.h"

namespace krx {

// Radio positions of the Timing Details page; kNoChoice leaves both buttons of a pair clear.
inline constexpr int kNoChoice = -1;
inline constexpr int kProgressive = 0;
inline constexpr int kInterlace = 1;
inline constexpr int kSyncPlus = 0;
inline constexpr int kSyncMinus = 1;

// What the Timing Details page shows for one timing: clock in MHz, line rate in kHz, field rate
// in Hz, the rest in pixels or lines (V per field when interlaced).
struct TimingDetails {
    float videoClkMHz = 0.0f;
    float hFreqKHz = 0.0f;
    float vFreqHz = 0.0f;
    int hActive = 0;
    int hTotal = 0;
    int hBlank = 0;
    int hSyncOffset = 0;
    int hSyncWidth = 0;
    int vActive = 0;
    int vTotal = 0;
    int vBlank = 0;
    int vSyncOffset = 0;
    int vSyncWidth = 0;
    int scanType = kNoChoice;
    int hSyncPolarity = kNoChoice;
    int vSyncPolarity = kNoChoice;
    bool locked = false;  // 4K: editable fields read-only, radios and save disabled
    bool hasTiming = false;

    friend bool operator==(const TimingDetails&, const TimingDetails&) = default;
};

// The built-in row of a code 0x00..0x35, including the doubled rates of the 4:2:0 rows. A zero
// H total or V total gives rate 0 instead of a division. Other codes give noTimingDetails().
TimingDetails standardTimingDetails(TimingCode code);

// A generator record (the current timing or a user slot): totals are sums, V is not halved.
TimingDetails recordTimingDetails(const UserTiming& record);

// Any code: built-in rows, 0x36 from `current`, 0x37..0x40 from `userTimings`. A code outside
// 0x00..0x40 has no timing: all numbers 0, no radio checked, fields unlocked, hasTiming false.
TimingDetails timingDetailsFor(TimingCode code, const UserTiming& current,
                               std::span<const UserTiming, kUserTimingSlots> userTimings);

TimingDetails noTimingDetails();

// The page's thirteen fields in reading order: label, unit, member and whether the operator may
// edit it (totals and rates never).
struct TimingDetailField {
    std::string_view label;
    std::string_view unit;
    std::variant<int TimingDetails::*, float TimingDetails::*> member;
    bool editable;
};

inline constexpr std::size_t kTimingDetailFieldCount = 13;
extern const std::array<TimingDetailField, kTimingDetailFieldCount> kTimingDetailFields;

// The captions of the radio pairs, by position.
inline constexpr std::array<std::string_view, 2> kScanTypeLabels = {"Progressive", "Interlace"};
inline constexpr std::array<std::string_view, 2> kSyncPolarityLabels = {"+", "-"};

// A user slot's record from what the page shows: byte 0 slot - 1, the clock in 10 kHz (the
// single-precision MHz times 100 in double precision, cut toward zero: 25.175 gives 2517), flags
// from the radios (neither button counts as "-", no scan type as progressive), and the low 16
// bits of each field. Totals and rates are not stored.
UserTiming userTimingRecord(const TimingDetails& shown, int slot);

// Stored clocks stop at 300 MHz: the single-precision entry against the double limit 300.1, so
// that 300.1 itself is refused and 300.09 passes.
inline constexpr double kMaxUserClockMHz = 300.1;
inline constexpr std::string_view kUserClockTooHighMessage =
    "pixcel clock can not be higher than 300MHz";
constexpr bool userClockTooHigh(float clockMHz) {
    return static_cast<double>(clockMHz) > kMaxUserClockMHz;
}

// Caption of a user slot on the Timing page, e.g. "1920x1080i(60)". The rate uses the clock cut
// to whole MHz; a record whose H or V total is 0 labels with rate 0.
std::string formatUserTimingLabel(const UserTiming& record);

}  // namespace krx
