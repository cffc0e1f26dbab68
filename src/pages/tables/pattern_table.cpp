// SPDX-License-Identifier: MIT
#include "pages/tables/pattern_table.h"

namespace krx {

const std::array<PatternEntry, kPatternCount> kPatternTable = {{
    {0x00, 0, "100%ColorBar", 137},   {0x01, 1, "75%ColorBar", 138},
    {0x02, 2, "8 StepGrayBar", 139},  {0x03, 3, "RedScreen", 140},
    {0x04, 4, "GreenScreen", 145},    {0x05, 5, "BlueScreen", 146},
    {0x06, 6, "YellowScreen", 149},   {0x07, 7, "CyanScreen", 147},
    {0x08, 8, "MagentaScreen", 148},  {0x09, 9, "16 StepGrayBar", 144},
    {0x0A, 10, "WhiteScreen", 150},   {0x0B, 11, "RGB Ramp", 180},
    {0x0C, 12, "Cross Black", 152},   {0x0D, 13, "Cross Red", 153},
    {0x0E, 14, "Cross Green", 154},   {0x0F, 15, "Cross Blue", 155},
    {0x10, 16, "Square", 156},        {0x11, 17, "White dots", 157},
    {0x12, 18, "AlternateWB", 158},   {0x13, 19, "White HScrool", 159},
    {0x14, 20, "White VScrool", 160}, {0x15, 21, "Multiburst", 163},
    {0x16, 22, "Ver-split", 162},     {0x17, 23, "Hor-split", 161},
    {0x18, 24, "Red Ramp", 168},      {0x19, 25, "Green Ramp", 169},
    {0x1A, 26, "Blue Ramp", 170},     {0x1B, 27, "W/B Bounce", 171},
    {0x1C, 28, "Border lines", 164},  {0x1D, 29, " Window", 165},
    {0x1E, 30, "Target Circle", 166}, {0x1F, 31, "Moving Ball", 167},
    {0x20, 36, "3D boxes", 172},      {0x21, 32, "SMPTE ColorBar", 181},
    {0x22, 33, "GRAY RAMP", 183},     {0x23, 34, "QUARTER BLOCK", 185},
    {0x24, 35, "ColorBar Gray", 182},
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

std::optional<PatternCode> patternCodeAt(int position) {
    for (const PatternEntry& e : kPatternTable)
        if (e.position == position)
            return e.code;
    return std::nullopt;
}

}  // namespace krx
