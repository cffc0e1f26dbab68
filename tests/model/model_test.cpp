// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>

#include "model/pattern_table.h"
#include "model/setting_table.h"
#include "model/status_texts.h"
#include "model/timing_details.h"
#include "model/timing_diagram.h"
#include "model/timing_tables.h"

namespace krx {

namespace {

// ---- Timing table and names -----------------------------------------------------------------

// Spellings the generator's operators know, kept as they are.
TEST(TimingTable, QuotedCaptionsKeepTheirSpelling) {
    EXPECT_EQ(kTimingFrameCaptions[0], "VESA  (PC)Timing");
    EXPECT_EQ(kTimingFrameCaptions[4], "3D Video (Fame Packing)");
}

// The 4K ranges are pinned with coloursForTiming.
TEST(TimingTable, CodeRanges) {
    struct Row {
        TimingCode code;
        bool timing, standard, user;
        int slot;
    };
    const Row rows[] = {
        {-1, false, false, false, 0},   {0x00, true, true, false, 0}, {0x35, true, true, false, 0},
        {0x36, true, false, false, 0},  {0x37, true, false, true, 1}, {0x40, true, false, true, 10},
        {0x41, false, false, false, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.code);
        EXPECT_EQ(isTimingCode(r.code), r.timing);
        EXPECT_EQ(isStandardTiming(r.code), r.standard);
        EXPECT_EQ(isUserTiming(r.code), r.user);
        EXPECT_EQ(userSlotOf(r.code), r.slot);
        if (r.user) {
            EXPECT_EQ(userTimingCode(r.slot), r.code);
        }
    }
}

// ---- Standard rows as generator records -----------------------------------------------------

TEST(StandardTimingRecord, RowsAsTheGeneratorReportsThem) {
    struct Row {
        const char* name;
        TimingCode code;
        UserTiming expected;
    };
    const Row rows[] = {
        {"1080i(60) halves V, flags 0x07", 0x0E, {0, 7425, 0x07, 1920, 280, 88, 44, 540, 22, 2, 5}},
        {"640x480 negative syncs, clock rounds up",
         0x00,
         {0, 2518, 0x00, 640, 160, 24, 96, 480, 45, 18, 2}},
        {"1280x768 h+ v-", 0x03, {0, 6825, 0x02, 1280, 160, 48, 32, 768, 22, 3, 7}},
        {"720P(59.94) 1000/1001 clock", 0x0D, {0, 7418, 0x06, 1280, 370, 110, 40, 720, 30, 5, 5}},
        {"480i odd V total truncated", 0x0A, {0, 1350, 0x01, 720, 138, 19, 62, 240, 22, 4, 3}},
        {"4K 4:2:0 at half rate", 0x22, {0, 29700, 0x06, 3840, 560, 368, 44, 2160, 90, 8, 10}},
    };
    for (const Row& r : rows)
        EXPECT_EQ(standardTimingRecord(r.code), r.expected) << r.name;
}

// ---- Timing details -------------------------------------------------------------------------

TEST(TimingDetails, RecordsForAutoAndUserCodes) {
    UserTiming current = standardTimingRecord(0x0E);  // 1080i(60) as a record
    std::array<UserTiming, kUserTimingSlots> slots{};
    slots[2] = standardTimingRecord(0x00);
    slots[9] = UserTiming{9, 14835, 0x06, 1920, 280, 88, 44, 1080, 45, 4, 5};

    const TimingDetails autoShown = timingDetailsFor(0x36, current, slots);
    EXPECT_FLOAT_EQ(autoShown.videoClkMHz, 74.25f);
    EXPECT_EQ(autoShown.vActive, 540);  // already per field: not halved again
    EXPECT_EQ(autoShown.vTotal, 562);
    EXPECT_EQ(autoShown.scanType, kInterlace);
    EXPECT_FLOAT_EQ(autoShown.hFreqKHz, 33.75f);
    EXPECT_FLOAT_EQ(autoShown.vFreqHz, 60.0f);
    EXPECT_FALSE(autoShown.locked);

    const TimingDetails slot3 = timingDetailsFor(0x39, current, slots);
    EXPECT_EQ(slot3.hActive, 640);
    EXPECT_EQ(slot3.hSyncPolarity, kSyncMinus);
    EXPECT_FLOAT_EQ(slot3.videoClkMHz, 25.18f);

    const TimingDetails slot10 = timingDetailsFor(0x40, current, slots);
    EXPECT_FLOAT_EQ(slot10.videoClkMHz, 148.35f);
    EXPECT_FLOAT_EQ(slot10.hFreqKHz, 67.43f);
    EXPECT_FLOAT_EQ(slot10.vFreqHz, 59.94f);
}

TEST(TimingDetails, ZeroTotalsGiveZeroRatesWithoutDividing) {
    struct Row {
        const char* name;
        UserTiming record;
        float hFreq, vFreq;
    };
    const Row rows[] = {
        {"empty slot", UserTiming{}, 0.0f, 0.0f},
        {"zero H total", UserTiming{0, 14850, 0, 0, 0, 0, 0, 1080, 45, 4, 5}, 0.0f, 0.0f},
        {"zero V total, progressive", UserTiming{0, 14850, 0, 1920, 280, 88, 44, 0, 0, 0, 0}, 67.5f,
         0.0f},
        {"zero V total, interlaced counts the half line",
         UserTiming{0, 100, 1, 100, 0, 0, 0, 0, 0, 0, 0}, 10.0f, 20000.0f},
    };
    for (const Row& r : rows) {
        const TimingDetails d = recordTimingDetails(r.record);
        EXPECT_FLOAT_EQ(d.hFreqKHz, r.hFreq) << r.name;
        EXPECT_FLOAT_EQ(d.vFreqHz, r.vFreq) << r.name;
    }
}

TEST(UserTimingLabel, Formats) {
    struct Row {
        const char* name;
        UserTiming record;
        std::string expected;
    };
    const Row rows[] = {
        {"1080i at 74.25 MHz", standardTimingRecord(0x0E), "1920x1080i(60)"},
        {"1080p at 148.35 MHz is coarse",
         UserTiming{0, 14835, 0x06, 1920, 280, 88, 44, 1080, 45, 4, 5}, "1920x1080(60)"},
        {"640x480 at 59.94 via whole MHz", standardTimingRecord(0x00), "640x480(60)"},
        {"empty slot", UserTiming{}, "0x0(0)"},
        {"zero V total", UserTiming{0, 100, 0, 100, 0, 0, 0, 0, 0, 0, 0}, "100x0(0)"},
        {"five-digit width and height cut to four",
         UserTiming{0, 30000, 0, 12345, 0, 0, 0, 23456, 0, 0, 0}, "1234x2345(1)"},
        {"interlaced doubling wraps in 16 bits", UserTiming{0, 100, 1, 10, 0, 0, 0, 40000, 0, 0, 0},
         "10x1446i(3)"},
        {"rate cut to three digits", UserTiming{0, 65535, 0, 1, 0, 0, 0, 1, 0, 0, 0}, "1x1(655)"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(formatUserTimingLabel(r.record), r.expected) << r.name;
}

// ---- Timing diagrams ------------------------------------------------------------------------

// The parts of a frame or line follow each other, none below its minimum; of two parts of the
// blank the longer is drawn wider; the pulse goes the way of its polarity; the captions carry the
// values as entered, even an offset beyond the blank, and an interlaced total is per field.
TEST(TimingDiagram, PartsInOrderPulseDirectionAndCaptions) {
    TimingDetails odd = standardTimingDetails(0x14);
    odd.hActive = 100;
    odd.hBlank = 10;
    odd.hSyncOffset = 50;
    odd.hSyncPolarity = kNoChoice;  // counts as "-"
    struct Row {
        const char* name;
        DiagramAxis axis;
        TimingDetails shown;
        const char* total;
        const char* offset;
        int offsetVsWidth, restVsOffset;  // sign of the difference of the drawn widths
        bool positive;
    };
    const Row rows[] = {
        {"1080p lines", DiagramAxis::Vertical, standardTimingDetails(0x14), "one frame: 1125 lines",
         "Vs offset: 4", 0, 1, true},
        {"1080p pixels", DiagramAxis::Horizontal, standardTimingDetails(0x14),
         "Htotal: 2200 pixels", "Hs offset: 88", 1, 1, true},
        {"480i lines", DiagramAxis::Vertical, standardTimingDetails(0x0A),
         "one field: 262 lines (interlaced)", "Vs offset: 4", 1, 1, false},
        {"480i pixels", DiagramAxis::Horizontal, standardTimingDetails(0x0A), "Htotal: 858 pixels",
         "Hs offset: 19", -1, 1, false},
        {"offset beyond the blank", DiagramAxis::Horizontal, odd, "Htotal: 110 pixels",
         "Hs offset: 50", 1, -1, false},
    };
    const auto sign = [](double difference) { return (difference > 1e-9) - (difference < -1e-9); };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const TimingDiagram d = timingDiagram(row.axis, row.shown);
        const double offset = d.syncBegin - d.activeEnd;
        const double width = d.syncEnd - d.syncBegin;
        const double rest = 1.0 - d.syncEnd;
        EXPECT_GE(d.activeEnd, kDiagramMinActiveShare);
        for (double part : {offset, width, rest})
            EXPECT_GE(part, kDiagramMinBlankShare - 1e-9);
        EXPECT_EQ(sign(offset - width), row.offsetVsWidth);
        EXPECT_EQ(sign(rest - offset), row.restVsOffset);
        EXPECT_EQ(d.measures[TimingDiagram::kTotal].captions.front(), row.total);
        EXPECT_EQ(d.measures[TimingDiagram::kSyncOffset].captions.front(), row.offset);
        // Its shortest form is the value alone, after "Hs offset: ".
        EXPECT_EQ(d.measures[TimingDiagram::kSyncOffset].captions.back(), row.offset + 11);
        EXPECT_EQ(d.traces.back().positive, row.positive);
    }
}

// ---- Status texts ---------------------------------------------------------------------------

TEST(StatusTexts, ValueToText) {
    using O = SettingOption;
    using Fn = std::function<std::string_view(int)>;
    const auto option = [](O o) { return [o](int v) { return optionText(o, v); }; };
    struct Row {
        const char* name;
        Fn fn;
        int value;
        std::string_view expected;
    };
    const Row rows[] = {
        {"hdcp 1", option(O::Hdcp), 1, "ON "},
        {"hdcp 2 is off for the setter", option(O::Hdcp), 2, "OFF"},
        {"sweep hdcp 2 is on", hdcpSweepText, 2, "ON "},
        {"sweep hdcp -1 is on", hdcpSweepText, -1, "ON "},
        {"hot plug 5", hotPlugText, 5, "ON "},
        {"mode 0 without the DVI button's blank", option(O::OutputMode), 0, "DVI"},
        {"space 2", option(O::ColorSpace), 2, "YUV4:2:2"},
        {"space 4", option(O::ColorSpace), 4, "YUV4:2:0"},
        {"space -1", option(O::ColorSpace), -1, "YUV4:2:0"},
        {"depth 1", option(O::ColorDepth), 1, "30bit"},
        {"rate 7", option(O::SampleRate), 7, "AUTO"},
        {"bits 0", option(O::AudioBits), 0, "16bit"},
        {"channels 6 in lower case", option(O::Channels), 6, "8ch"},
        {"channels 7", option(O::Channels), 7, "AUTO"},
        {"audio source shows its type", option(O::AudioSource), 1, "PCM"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(r.fn(r.value), r.expected) << r.name;
}

TEST(StatusTexts, TimingText) {
    const TimingDetails progressive100{
        .vFreqHz = 100.0f, .hActive = 1000, .vActive = 1000, .scanType = kProgressive};
    const TimingDetails interlaced{
        .vFreqHz = 59.94f, .hActive = 1920, .vActive = 540, .scanType = kInterlace};
    // A rate of 65536 as 16 bits is 0.
    const TimingDetails wrapRate{
        .vFreqHz = 65535.6f, .hActive = 1000, .vActive = 1000, .scanType = kProgressive};
    struct Row {
        const char* name;
        TimingCode code;
        TimingDetails shown;
        std::string expected;
    };
    const Row rows[] = {
        {"auto", 0x36, progressive100, "AUTO"},
        {"SMPTE uses status name", 0x21, progressive100, "4096x2160(24)"},
        {"user slot composed, full digits", 0x37, progressive100, "1000x1000(100)"},
        {"interlace doubles V", 0x38, interlaced, "1920x1080i(60)"},
        {"beyond the slots composes too", 0x41, interlaced, "1920x1080i(60)"},
        {"rate wraps in 16 bits", 0x40, wrapRate, "1000x1000(0)"},
        {"negative code has no text", -1, interlaced, ""},
    };
    for (const Row& r : rows)
        EXPECT_EQ(timingText(r.code, r.shown), r.expected) << r.name;
}

// ---- Pattern table --------------------------------------------------------------------------

// Codes from 0x20 on sit elsewhere in the list than their number says.
TEST(PatternTable, RowsAndPositions) {
    struct Row {
        PatternCode code;
        int position;
        std::string_view label;
    };
    const Row rows[] = {
        {0x13, 19, "White HScrool"},  {0x1D, 29, " Window"},       {0x20, 36, "3D boxes"},
        {0x21, 32, "SMPTE ColorBar"}, {0x24, 35, "ColorBar Gray"},
    };
    for (const Row& r : rows) {
        const PatternEntry* e = patternEntry(r.code);
        ASSERT_NE(e, nullptr) << r.code;
        EXPECT_EQ(e->position, r.position);
        EXPECT_EQ(e->label, r.label);
        EXPECT_EQ(patternPositionOf(r.code), r.position);
    }
}

// No timing, status name or pattern: nothing found; a timing without a standard row (AUTO, the
// user slots): a zero record.
TEST(Tables, LookupsOutsideTheirRows) {
    const UserTiming current = standardTimingRecord(0x14);
    std::array<UserTiming, kUserTimingSlots> slots{};
    slots.fill(current);
    for (TimingCode code : {-1, -128, 0x41, 127}) {
        SCOPED_TRACE(code);
        EXPECT_EQ(timingStatusName(code), "");
        EXPECT_EQ(timingDetailsFor(code, current, slots), TimingDetails{});
        EXPECT_EQ(standardTimingRecord(code), UserTiming{});
        EXPECT_EQ(patternEntry(code), nullptr);
        EXPECT_EQ(patternPositionOf(code), std::nullopt);
    }
    EXPECT_EQ(timingStatusName(0x36), "AUTO");
    EXPECT_EQ(timingStatusName(0x37), "");
    for (TimingCode code : {0x36, 0x37, 0x40})
        EXPECT_EQ(standardTimingRecord(code), UserTiming{}) << code;
    EXPECT_EQ(patternEntry(0x25), nullptr);
}

// ---- Setting refusals ------------------------------------------------------------------------

constexpr int kDvi = 0;
constexpr int kHdmi = 1;

TEST(SettingRefusal, RefusesWhatTheSettingPageRefuses) {
    using enum SettingOption;
    struct Row {
        SettingOption option;
        int value;
        TimingCode timing;
        int outputMode;
        const char* message;  // nullptr: allowed
    };
    const Row rows[] = {
        {ColorDepth, 1, 0x1C, kHdmi, "When in 4K mode, Color Depth is fixed to 24bit !"},
        {ColorDepth, 4, 0x1C, kHdmi, nullptr},
        {ColorDepth, 0, 0x24, kHdmi, nullptr},
        {ColorDepth, 0, 0x14, kDvi, "When in DVI mode, the color depth is fixed to 24bit !"},
        // For the depth DVI is looked at before 4K.
        {ColorDepth, 1, 0x1C, kDvi, "When in DVI mode, the color depth is fixed to 24bit !"},
        // The 4:2:0 timings are looked at before DVI.
        {ColorSpace, 1, 0x23, kDvi,
         "When in 4K(60Hz/50Hz) mode, the colorspace is fixed to YUV4:2:0 !"},
        {ColorSpace, 2, 0x14, kDvi, "When in DVI mode, the colorspace is fixed to RGB4:4:4 !"},
        {ColorSpace, 4, 0x14, kHdmi, "Not availabe yet!"},
        {ColorSpace, 1, 0x1C, kHdmi, nullptr},
        {SampleRate, 3, 0x23, kDvi, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(&row - rows);
        const auto refusal = settingRefusal(row.option, row.value, row.timing, row.outputMode);
        EXPECT_EQ(refusal.value_or("allowed"), row.message ? row.message : "allowed");
    }
}

}  // namespace
}  // namespace krx
