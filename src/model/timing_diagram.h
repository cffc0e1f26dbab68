// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "model/timing_details.h"

namespace krx {

// The two diagrams of the Timing Details page, as numbers and words: where the edges of one
// frame (vertical) or one line (horizontal) stand, which way the sync pulses go, and the captions
// with the timing's values. The page's view only draws what this says.
//
// Positions are fractions of the drawn period, 0 where active video starts and 1 where the next
// period starts. The four parts (active, sync offset, sync width, the rest of the blank) are
// drawn on a square-root scale, so that a 4-line offset stays visible beside 1080 active lines
// and a longer part still looks longer; each blank part keeps at least kDiagramMinBlankShare and
// the active part kDiagramMinActiveShare of the width.
inline constexpr double kDiagramMinActiveShare = 0.4;
inline constexpr double kDiagramMinBlankShare = 0.08;

enum class DiagramAxis { Vertical, Horizontal };

// Where a caption stands against its span.
enum class CaptionAnchor {
    Centre,  // centred over the span, no wider than it
    // Its right edge at the span's end, or its left edge at its begin; on a line of its own, so
    // moved along that line when it would leave the diagram.
    EndsAtEnd,
    StartsAtBegin,
};

// A bracketed span with its caption. `captions` holds the caption and its shorter forms, longest
// first; the view shows the first one that fits.
struct DiagramMeasure {
    double begin = 0.0;
    double end = 0.0;
    CaptionAnchor anchor = CaptionAnchor::Centre;
    std::vector<std::string> captions;
};

// A trace of the diagram, named at its left.
struct DiagramTrace {
    enum class Shape {
        Enable,       // high over the active part, low over the blank
        EnableLines,  // one pulse per line over the active part, low over the blank
        Pulse,        // one sync pulse from syncBegin to syncEnd
        LinePulses,   // one short sync pulse per line over the whole period
    };
    std::string name;
    Shape shape = Shape::Enable;
    // A positive pulse rises from a low level; a negative one falls from a high level.
    bool positive = true;
};

struct TimingDiagram {
    // The indices of `measures`: the total on top, active and blank below it, the sync offset and
    // width under the traces.
    static constexpr std::size_t kTotal = 0;
    static constexpr std::size_t kActive = 1;
    static constexpr std::size_t kBlank = 2;
    static constexpr std::size_t kSyncOffset = 3;
    static constexpr std::size_t kSyncWidth = 4;
    static constexpr std::size_t kMeasureCount = 5;

    double activeEnd = 0.0;
    double syncBegin = 0.0;
    double syncEnd = 0.0;
    bool interlaced = false;
    std::vector<DiagramTrace> traces;
    std::array<DiagramMeasure, kMeasureCount> measures;
    // The values in words, for a screen reader, e.g. "one frame: 1125 lines, 1080 active,
    // 45 blank, sync offset 4, width 5, positive".
    std::string description;
};

// The diagram of what the page shows. The total is active + blank, as a stored record has it; the
// V values are per field when interlaced. A radio pair with neither button checked counts as "-"
// and no scan type as progressive, as a save takes them. Negative or inconsistent values (an
// offset beyond the blank) are drawn as empty parts and still named as they are.
TimingDiagram timingDiagram(DiagramAxis axis, const TimingDetails& shown);

}  // namespace krx
