// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

#include "link/generator_facts.h"

namespace krx {

struct PatternEntry {
    PatternCode code;
    int position;            // place of the radio button in screen order
    std::string_view label;  // radio caption, also the picture's accessible name
};

inline constexpr std::size_t kPatternCount = 37;
static_assert(kPatternCount == kLastPatternCode + 1);

// In code order; positions differ from codes for the last five rows.
extern const std::array<PatternEntry, kPatternCount> kPatternTable;

// Position of a code's radio button, nothing for a code outside the table.
std::optional<int> patternPositionOf(PatternCode code);
// Row of a code, nullptr outside the table.
const PatternEntry* patternEntry(PatternCode code);

}  // namespace krx
