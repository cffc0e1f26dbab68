// SPDX-License-Identifier: MIT
#include "model/timing_diagram.h"

#include <algorithm>
#include <cmath>

namespace krx {
namespace {

// The parts of a period in their order; the last is the rest of the blank.
constexpr std::size_t kActivePart = 0;
constexpr std::size_t kOffsetPart = 1;
constexpr std::size_t kWidthPart = 2;
constexpr std::size_t kPartCount = 4;

// Shares of the width, square-root scaled, with each part kept at its minimum: the parts below
// it are pinned there and the others share what is left, until none is below.
std::array<double, kPartCount> partShares(const std::array<long long, kPartCount>& lengths) {
    constexpr std::array<double, kPartCount> minimum = {
        kDiagramMinActiveShare, kDiagramMinBlankShare, kDiagramMinBlankShare,
        kDiagramMinBlankShare};
    std::array<double, kPartCount> weight{};
    for (std::size_t i = 0; i < kPartCount; ++i)
        weight[i] = std::sqrt(static_cast<double>(std::max(0LL, lengths[i])));
    std::array<bool, kPartCount> pinned{};
    std::array<double, kPartCount> share = minimum;
    // The minimums add up to well below 1, so the last free part always gets at least its own
    // and each round pins one part more or ends.
    for (bool pinnedMore = true; pinnedMore;) {
        pinnedMore = false;
        double rest = 1.0;
        double freeWeight = 0.0;
        int freeCount = 0;
        for (std::size_t i = 0; i < kPartCount; ++i) {
            if (pinned[i]) {
                rest -= minimum[i];
            } else {
                freeWeight += weight[i];
                ++freeCount;
            }
        }
        for (std::size_t i = 0; i < kPartCount; ++i) {
            if (pinned[i])
                continue;
            share[i] = freeWeight > 0.0 ? rest * weight[i] / freeWeight : rest / freeCount;
            if (share[i] < minimum[i]) {
                pinned[i] = true;
                share[i] = minimum[i];
                pinnedMore = true;
            }
        }
    }
    return share;
}

// The caption and its value alone, for when the caption does not fit.
std::vector<std::string> named(const std::string& name, long long value) {
    return {name + ": " + std::to_string(value), std::to_string(value)};
}

}  // namespace

TimingDiagram timingDiagram(DiagramAxis axis, const TimingDetails& shown) {
    const bool vertical = axis == DiagramAxis::Vertical;
    const long long active = vertical ? shown.vActive : shown.hActive;
    const long long blank = vertical ? shown.vBlank : shown.hBlank;
    const long long offset = vertical ? shown.vSyncOffset : shown.hSyncOffset;
    const long long width = vertical ? shown.vSyncWidth : shown.hSyncWidth;
    const long long total = active + blank;
    const bool hPositive = shown.hSyncPolarity == kSyncPlus;
    const bool vPositive = shown.vSyncPolarity == kSyncPlus;
    const bool positive = vertical ? vPositive : hPositive;

    TimingDiagram d;
    d.interlaced = shown.scanType == kInterlace;
    // The parts in the order they follow each other; the offset and width clamp to the blank so
    // that what is left of it is never drawn negative.
    const long long clampedOffset = std::clamp(offset, 0LL, std::max(blank, 0LL));
    const long long clampedWidth = std::clamp(width, 0LL, std::max(blank - clampedOffset, 0LL));
    const std::array<double, kPartCount> share =
        partShares({active, clampedOffset, clampedWidth, blank - clampedOffset - clampedWidth});
    d.activeEnd = share[kActivePart];
    d.syncBegin = d.activeEnd + share[kOffsetPart];
    d.syncEnd = d.syncBegin + share[kWidthPart];

    const std::string totalText = std::to_string(total);
    const std::string axisLetter = vertical ? "V" : "H";
    std::vector<std::string> totalCaptions;
    std::string description;
    if (vertical) {
        const std::string period = d.interlaced ? "one field: " : "one frame: ";
        const std::string lines = totalText + " lines";
        if (d.interlaced)
            totalCaptions.push_back(period + lines + " (interlaced)");
        totalCaptions.insert(totalCaptions.end(), {period + lines, lines, totalText});
        description = period + lines;
        d.traces = {{"Data Enable", DiagramTrace::Shape::EnableLines, true},
                    {"HS", DiagramTrace::Shape::LinePulses, hPositive},
                    {"VS", DiagramTrace::Shape::Pulse, vPositive}};
    } else {
        totalCaptions = {"Htotal: " + totalText + " pixels", "Htotal: " + totalText, totalText};
        description = "one line: " + totalText + " pixels";
        d.traces = {{"Data Enable", DiagramTrace::Shape::Enable, true},
                    {"Hs", DiagramTrace::Shape::Pulse, hPositive}};
    }
    d.measures[TimingDiagram::kTotal] = {0.0, 1.0, CaptionAnchor::Centre, totalCaptions};
    d.measures[TimingDiagram::kActive] = {0.0, d.activeEnd, CaptionAnchor::Centre,
                                          named(axisLetter + " active", active)};
    d.measures[TimingDiagram::kBlank] = {d.activeEnd, 1.0, CaptionAnchor::Centre,
                                         named(axisLetter + " blank", blank)};
    d.measures[TimingDiagram::kSyncOffset] = {d.activeEnd, d.syncBegin, CaptionAnchor::EndsAtEnd,
                                              named(axisLetter + "s offset", offset)};
    d.measures[TimingDiagram::kSyncWidth] = {d.syncBegin, d.syncEnd, CaptionAnchor::StartsAtBegin,
                                             named(axisLetter + "s width", width)};

    description += ", " + std::to_string(active) + " active, " + std::to_string(blank) +
                   " blank, sync offset " + std::to_string(offset) + ", width " +
                   std::to_string(width) + (positive ? ", positive" : ", negative");
    if (vertical && d.interlaced)
        description += ", interlaced";
    d.description = description;
    return d;
}

}  // namespace krx
