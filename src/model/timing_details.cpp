// SPDX-License-Identifier: MIT
#include "model/timing_details.h"

#include <cmath>
#include <cstdint>

#include "model/status_texts.h"

namespace krx {
namespace {

// Rounding of the rates: add 0.5 and drop the fraction.
double roundBelow(double value) {
    return std::trunc(value + 0.5);
}

// Line rate in units of 10 Hz; 0 when there is no total to divide by.
double lineRate10Hz(float clockMHz, int hTotal) {
    if (hTotal == 0)
        return 0.0;
    return static_cast<double>(clockMHz) * 100000.0 / hTotal;
}

float hFreqKHz(double lineRate) {
    return static_cast<float>(roundBelow(lineRate) / 100.0);
}

// Field rate in Hz; an interlaced field counts half a line more.
float vFreqHz(double lineRate, int vTotal, bool interlaced) {
    const double lines = vTotal + (interlaced ? 0.5 : 0.0);
    if (lines == 0.0)
        return 0.0f;
    return static_cast<float>(roundBelow((lineRate / 100.0) * 100000.0 / lines) / 100.0);
}

}  // namespace

TimingDetails noTimingDetails() {
    return TimingDetails{};
}

TimingDetails standardTimingDetails(TimingCode code) {
    if (!isStandardTiming(code))
        return noTimingDetails();
    const StandardTiming& e = kStandardTimings[static_cast<std::size_t>(code)];
    const bool interlaced = (e.flags & kStdInterlaced) != 0;
    TimingDetails d;
    d.hasTiming = true;
    d.videoClkMHz = e.clockMHz;
    d.hActive = e.hActive;
    d.hSyncWidth = e.hSyncWidth;
    d.hTotal = e.hTotal;
    d.hBlank = d.hTotal - d.hActive;
    d.hSyncOffset = d.hBlank - e.hSyncToActive;
    const double lineRate = lineRate10Hz(d.videoClkMHz, d.hTotal);
    d.hFreqKHz = hFreqKHz(lineRate);
    d.vActive = interlaced ? e.vActive / 2 : e.vActive;
    d.vTotal = interlaced ? e.vTotal / 2 : e.vTotal;
    d.vBlank = d.vTotal - d.vActive;
    d.vSyncWidth = e.vSyncWidth;
    d.vSyncOffset = d.vBlank - e.vSyncToActive;
    d.scanType = interlaced ? kInterlace : kProgressive;
    d.vFreqHz = vFreqHz(lineRate, d.vTotal, interlaced);
    if (is4k420(code)) {  // the table holds these at half rate
        d.hFreqKHz *= 2.0f;
        d.vFreqHz *= 2.0f;
    }
    d.hSyncPolarity = (e.flags & kStdHSyncPositive) ? kSyncPlus : kSyncMinus;
    d.vSyncPolarity = (e.flags & kStdVSyncPositive) ? kSyncPlus : kSyncMinus;
    d.locked = is4k(code);
    return d;
}

TimingDetails recordTimingDetails(const UserTiming& r) {
    const bool interlaced = (r.flags & UserTiming::kInterlaced) != 0;
    TimingDetails d;
    d.hasTiming = true;
    d.videoClkMHz = static_cast<float>(r.clock10kHz) / 100.0f;
    d.hActive = r.hActive;
    d.hBlank = r.hBlank;
    d.hSyncOffset = r.hSyncOffset;
    d.hSyncWidth = r.hSyncWidth;
    d.hTotal = d.hBlank + d.hActive;
    const double lineRate = lineRate10Hz(d.videoClkMHz, d.hTotal);
    d.hFreqKHz = hFreqKHz(lineRate);
    d.vActive = r.vActive;
    d.vBlank = r.vBlank;
    d.vSyncOffset = r.vSyncOffset;
    d.vSyncWidth = r.vSyncWidth;
    d.vTotal = d.vBlank + d.vActive;
    d.scanType = interlaced ? kInterlace : kProgressive;
    d.vFreqHz = vFreqHz(lineRate, d.vTotal, interlaced);
    d.hSyncPolarity = (r.flags & UserTiming::kHSyncPositive) ? kSyncPlus : kSyncMinus;
    d.vSyncPolarity = (r.flags & UserTiming::kVSyncPositive) ? kSyncPlus : kSyncMinus;
    d.locked = false;
    return d;
}

TimingDetails timingDetailsFor(TimingCode code, const UserTiming& current,
                               std::span<const UserTiming, kUserTimingSlots> userTimings) {
    if (isStandardTiming(code))
        return standardTimingDetails(code);
    if (code == kAutoTiming)
        return recordTimingDetails(current);
    if (isUserTiming(code))
        return recordTimingDetails(userTimings[static_cast<std::size_t>(code - kFirstUserTiming)]);
    return noTimingDetails();
}

std::string formatUserTimingLabel(const UserTiming& r) {
    const bool interlaced = (r.flags & UserTiming::kInterlaced) != 0;
    const unsigned width = r.hActive;
    const unsigned height =
        interlaced ? static_cast<std::uint16_t>(r.vActive * 2u) : static_cast<unsigned>(r.vActive);
    const long long mhz = r.clock10kHz / 100;
    const long long hTotal = static_cast<long long>(r.hActive) + r.hBlank;
    const long long vTotal = static_cast<long long>(r.vActive) + r.vBlank;
    unsigned long long rate = 0;
    if (hTotal != 0 && vTotal != 0) {
        const long long hRate = mhz * 100000 / hTotal;
        rate = static_cast<unsigned long long>(
            roundBelow(static_cast<double>(hRate) / 100.0 * 1000.0 / static_cast<double>(vTotal)));
    }
    return composeTimingLabel(width, height, interlaced, rate);
}

const std::array<TimingDetailField, kTimingDetailFieldCount> kTimingDetailFields = {{
    {"H active:", "", &TimingDetails::hActive, true},
    {"H blank:", "", &TimingDetails::hBlank, true},
    {"Hs offset:", "", &TimingDetails::hSyncOffset, true},
    {"Hs width:", "", &TimingDetails::hSyncWidth, true},
    {"H total:", "", &TimingDetails::hTotal, false},
    {"V active:", "", &TimingDetails::vActive, true},
    {"V blank:", "", &TimingDetails::vBlank, true},
    {"Vs offset:", "", &TimingDetails::vSyncOffset, true},
    {"Vs width:", "", &TimingDetails::vSyncWidth, true},
    {"V total:", "", &TimingDetails::vTotal, false},
    {"Video clk:", "MHz", &TimingDetails::videoClkMHz, true},
    {"H freq:", "KHz", &TimingDetails::hFreqKHz, false},
    {"V freq:", "Hz", &TimingDetails::vFreqHz, false},
}};

namespace {

std::uint16_t low16(long long value) {
    return static_cast<std::uint16_t>(static_cast<unsigned long long>(value) & 0xFFFFu);
}

// fmod keeps a huge negative entry defined.
std::uint16_t clock10kHz(float clockMHz) {
    const double scaled = std::trunc(static_cast<double>(clockMHz) * 100.0);
    return low16(static_cast<long long>(std::fmod(scaled, 65536.0)));
}

}  // namespace

UserTiming userTimingRecord(const TimingDetails& shown, int slot) {
    UserTiming record;
    record.slot = static_cast<std::uint8_t>(slot - 1);
    record.clock10kHz = clock10kHz(shown.videoClkMHz);
    record.flags = static_cast<std::uint8_t>(
        (shown.scanType == kInterlace ? UserTiming::kInterlaced : 0) |
        (shown.hSyncPolarity == kSyncPlus ? UserTiming::kHSyncPositive : 0) |
        (shown.vSyncPolarity == kSyncPlus ? UserTiming::kVSyncPositive : 0));
    record.hActive = low16(shown.hActive);
    record.hBlank = low16(shown.hBlank);
    record.hSyncOffset = low16(shown.hSyncOffset);
    record.hSyncWidth = low16(shown.hSyncWidth);
    record.vActive = low16(shown.vActive);
    record.vBlank = low16(shown.vBlank);
    record.vSyncOffset = low16(shown.vSyncOffset);
    record.vSyncWidth = low16(shown.vSyncWidth);
    return record;
}

}  // namespace krx
