// SPDX-License-Identifier: MIT
#include "model/pattern_table.h"

namespace krx {

const std::array<PatternEntry, kPatternCount> kPatternTable = {{
    {0x00, 0, "100%ColorBar"},    {0x01, 1, "75%ColorBar"},    {0x02, 2, "8 StepGrayBar"},
    {0x03, 3, "RedScreen"},       {0x04, 4, "GreenScreen"},    {0x05, 5, "BlueScreen"},
    {0x06, 6, "YellowScreen"},    {0x07, 7, "CyanScreen"},     {0x08, 8, "MagentaScreen"},
    {0x09, 9, "16 StepGrayBar"},  {0x0A, 10, "WhiteScreen"},   {0x0B, 11, "RGB Ramp"},
    {0x0C, 12, "Cross Black"},    {0x0D, 13, "Cross Red"},     {0x0E, 14, "Cross Green"},
    {0x0F, 15, "Cross Blue"},     {0x10, 16, "Square"},        {0x11, 17, "White dots"},
    {0x12, 18, "AlternateWB"},    {0x13, 19, "White HScrool"}, {0x14, 20, "White VScrool"},
    {0x15, 21, "Multiburst"},     {0x16, 22, "Ver-split"},     {0x17, 23, "Hor-split"},
    {0x18, 24, "Red Ramp"},       {0x19, 25, "Green Ramp"},    {0x1A, 26, "Blue Ramp"},
    {0x1B, 27, "W/B Bounce"},     {0x1C, 28, "Border lines"},  {0x1D, 29, " Window"},
    {0x1E, 30, "Target Circle"},  {0x1F, 31, "Moving Ball"},   {0x20, 36, "3D boxes"},
    {0x21, 32, "SMPTE ColorBar"}, {0x22, 33, "GRAY RAMP"},     {0x23, 34, "QUARTER BLOCK"},
    {0x24, 35, "ColorBar Gray"},
}};

const PatternEntry* patternEntry(PatternCode code) {
    for (const PatternEntry& e : kPatternTable)
        if (e.code == code)
            return &e;
    return nullptr;
}

std::optional<int> patternPositionOf(PatternCode code) {
    if (const PatternEntry* e = patternEntry(code))
        return e->position;
    return std::nullopt;
}

}  // namespace krx
