// SPDX-License-Identifier: MIT
#include "sim/generator_line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "support/bytes.h"

namespace krx::sim {
namespace {

using krx::testing::answerFrame;
using krx::testing::Bytes;
using krx::testing::commandFrame;
using krx::testing::concat;
using krx::testing::hex;

constexpr std::int64_t kLatencyUs = 2'000;
constexpr TargetAddress kAll{0x00, 0x00};
constexpr TargetAddress kDeviceA{0x01, 0x01};
constexpr TargetAddress kDeviceB{0x01, 0x02};
constexpr TargetAddress kDeviceC{0x02, 0x01};

// A paced line with a latency of kLatencyUs; `set` changes the rest of its configuration.
GeneratorLine makeLine(void (*set)(LineConfig&) = nullptr,
                       const std::vector<TargetAddress>& devices = {kDeviceA}) {
    LineConfig config;
    config.latencyUs = kLatencyUs;
    if (set)
        set(config);
    return GeneratorLine(std::move(config), devices, defaultTvEdid());
}

Bytes valuesOf(const std::vector<TimedByte>& bytes) {
    Bytes values;
    for (const TimedByte& b : bytes)
        values.push_back(b.value);
    return values;
}

const Bytes kTimingRequest = commandFrame(kAll, CMD_GET_TIMING);
const Bytes kTimingAnswer = answerFrame(kDeviceA, CMD_GET_TIMING, {0x14});

TEST(LineGoldenAnswers, BytesOnTheWire) {
    struct Row {
        const char* name;
        Bytes request;
        const char* head;  // the whole answer, or its first bytes
        std::size_t size;
    };
    const std::vector<Row> rows = {
        {"timing", commandFrame(kDeviceA, CMD_GET_TIMING), "AB 00 00 06 00 01 01 61 80 14 58", 11},
        {"set acknowledged without data", commandFrame(kDeviceA, CMD_SET_HDCP, {0x01}),
         "AB 00 00 05 00 01 01 65 00 E9", 10},
        {"display EDID", commandFrame(kAll, CMD_READ_TV_EDID, {0x01}), "AB 00 00 05 01 01 01 38 B8",
         266},
        {"stored EDID", commandFrame(kAll, CMD_READ_SAVED_EDID, {0x04}),
         "AB 00 00 06 01 01 01 AA 80 04", 267},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const Bytes wire = valuesOf(makeLine().receive(row.request, 0));
        const Bytes head = hex(row.head);
        ASSERT_EQ(wire.size(), row.size);
        EXPECT_TRUE(std::equal(head.begin(), head.end(), wire.begin()));
        EXPECT_TRUE(frameSumsToZero(wire));
    }
}

TEST(LineAddressing, WhoActsAndWhoAnswersInDeviceOrder) {
    struct Row {
        const char* name;
        TargetAddress to;
        std::vector<TargetAddress> answering;
        std::vector<bool> acting;  // per device C, A, B (the line's order, not the addresses')
    };
    const std::vector<Row> rows = {
        {"00/00 every device answers", {0x00, 0x00}, {kDeviceC, kDeviceA, kDeviceB}, {1, 1, 1}},
        {"FF/FF every device acts silently", {0xFF, 0xFF}, {}, {1, 1, 1}},
        {"group 01", {0x01, 0x00}, {kDeviceA, kDeviceB}, {0, 1, 1}},
        {"group 01 silently", {0x01, 0xFF}, {}, {0, 1, 1}},
        {"one device", {0x01, 0x02}, {kDeviceB}, {0, 0, 1}},
        {"nobody at 01/03", {0x01, 0x03}, {}, {0, 0, 0}},
        {"invalid 00/01", {0x00, 0x01}, {}, {0, 0, 0}},
        {"invalid 00/FF", {0x00, 0xFF}, {}, {0, 0, 0}},
        {"invalid FF/00", {0xFF, 0x00}, {}, {0, 0, 0}},
        {"invalid FF/01", {0xFF, 0x01}, {}, {0, 0, 0}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        GeneratorLine line = makeLine(nullptr, {kDeviceC, kDeviceA, kDeviceB});
        const auto out = line.receive(commandFrame(row.to, CMD_SET_PATTERN, {0x07}), 1'000);
        Bytes expected;
        for (TargetAddress from : row.answering)
            expected = concat(expected, answerFrame(from, CMD_SET_PATTERN));
        EXPECT_EQ(valuesOf(out), expected);
        for (std::size_t d = 0; d < 3; ++d)
            EXPECT_EQ(line.device(d).status().patternCode == 0x07, row.acting[d]) << "device " << d;
        for (std::size_t i = 1; i < out.size(); ++i)
            EXPECT_GT(out[i].timeUs, out[i - 1].timeUs) << "answers overlap at byte " << i;
    }
}

TEST(LinePacing, BytesTakeTheirTimeAt115200Baud) {
    GeneratorLine line = makeLine();
    const std::int64_t writeUs = 10'000;
    const auto out = line.receive(commandFrame(kAll, CMD_READ_TV_EDID, {0x01}), writeUs);
    ASSERT_EQ(out.size(), 266u);
    // The eleven request bytes arrive first (954 us), then the latency, then one answer byte.
    EXPECT_EQ(out.front().timeUs, writeUs + 954 + kLatencyUs + 86);
    // 265 byte times of 86.8 us without drift.
    EXPECT_EQ(out.back().timeUs - out.front().timeUs, 23'004);
    for (std::size_t i = 1; i < out.size(); ++i) {
        const std::int64_t gap = out[i].timeUs - out[i - 1].timeUs;
        EXPECT_TRUE(gap == 86 || gap == 87) << "byte " << i << " gap " << gap;
    }
    // A request written while the previous answer is still on the wire is answered after it.
    const auto next = line.receive(kTimingRequest, writeUs + 1);
    ASSERT_FALSE(next.empty());
    EXPECT_GT(next.front().timeUs, out.back().timeUs);

    // Unpaced, every byte comes after the latency alone.
    GeneratorLine fast = makeLine([](LineConfig& c) { c.paced = false; });
    const auto all = fast.receive(commandFrame(kAll, CMD_GET_LINK_STATUS), 500);
    EXPECT_EQ(std::count_if(all.begin(), all.end(),
                            [](const TimedByte& b) { return b.timeUs == 500 + kLatencyUs; }),
              16);
}

TEST(LineFaults, EachFaultShowsOnTheWire) {
    {
        SCOPED_TRACE("silent code");
        GeneratorLine line =
            makeLine([](LineConfig& c) { c.faults.silentCodes = {CMD_GET_TIMING}; });
        EXPECT_TRUE(line.receive(kTimingRequest, 0).empty());
        EXPECT_FALSE(line.receive(commandFrame(kAll, CMD_GET_PATTERN), 0).empty());
        // Silence is about answering: the set still acts.
        GeneratorLine mute =
            makeLine([](LineConfig& c) { c.faults.silentCodes = {FaultConfig::kAnyCode}; });
        EXPECT_TRUE(mute.receive(commandFrame(kAll, CMD_SET_PATTERN, {0x03}), 0).empty());
        EXPECT_EQ(mute.device(0).status().patternCode, 0x03);
    }
    {
        SCOPED_TRACE("bad checksum");
        GeneratorLine line =
            makeLine([](LineConfig& c) { c.faults.badChecksumCodes = {FaultConfig::kAnyCode}; });
        const Bytes wire = valuesOf(line.receive(kTimingRequest, 0));
        ASSERT_EQ(wire.size(), kTimingAnswer.size());
        EXPECT_TRUE(std::equal(wire.begin(), wire.end() - 1, kTimingAnswer.begin()));
        EXPECT_NE(wire.back(), kTimingAnswer.back());
    }
    {
        SCOPED_TRACE("stall after the fifth byte");
        GeneratorLine line =
            makeLine([](LineConfig& c) { c.faults.stallCodes = {CMD_GET_TIMING}; });
        const auto out = line.receive(kTimingRequest, 0);
        ASSERT_EQ(valuesOf(out), kTimingAnswer);
        EXPECT_LT(out[4].timeUs - out[3].timeUs, 100);
        EXPECT_GE(out[5].timeUs - out[4].timeUs, FaultConfig{}.stallUs);
        EXPECT_LT(out[6].timeUs - out[5].timeUs, 100);
    }
    {
        SCOPED_TRACE("noise");
        GeneratorLine line = makeLine([](LineConfig& c) { c.faults.noise = {0x55, 0xAB, 0x00}; });
        std::vector<std::string> events;  // the observer reports the noise on its own
        line.setObserver([&events](const LineEvent& e) {
            events.push_back(std::to_string(static_cast<int>(e.direction)) + " " +
                             std::string(commandName(e.code)) + " " + std::string(e.note) + " " +
                             std::to_string(e.bytes.size()) + " " + std::to_string(e.timeUs));
        });
        const auto out = line.receive(kTimingRequest, 0);
        ASSERT_EQ(valuesOf(out), concat({0x55, 0xAB, 0x00}, kTimingAnswer));
        const std::vector<std::string> expected = {
            "0 CMD_GET_TIMING  10 " + std::to_string(lineTimeUs(10)),
            "1 CMD_GET_TIMING noise 3 " + std::to_string(out[0].timeUs),
            "1 CMD_GET_TIMING  11 " + std::to_string(out[3].timeUs)};
        EXPECT_EQ(events, expected);
    }
}

// A rejected frame is reported and ignored; a good frame after one, or hidden inside one, is
// answered once, when its last byte has been recognised.
TEST(LineMalformedFrames, AreRejectedAndTheGoodFrameIsStillFound) {
    const Bytes& good = kTimingRequest;
    struct Row {
        const char* name;
        Bytes first;  // written at 0
        std::int64_t thenUs;
        Bytes then;
        const char* note;
    };
    const std::vector<Row> rows = {
        {"bad checksum", hex("AA 00 00 06 00 00 00 62 00 09 00"), 5'000, good, "bad checksum"},
        {"length below 5", hex("AA 00 00 04 00 00 00 62 00 09 E5"), 5'000, good, "bad length"},
        {"length beyond 295", hex("AA 00 00 28 01 00 00 62 00 09 E5"), 5'000, good, "bad length"},
        // A head promising 32 payload bytes swallows a good frame; only later filler ends it.
        {"hidden in a rejected frame", concat(hex("AA 00 00 25 00 01 01 61 80"), good), 100'000,
         Bytes(23, 0), "bad checksum"},
        {"rest of a frame after 200 ms of silence", hex("AA 00 00 06 00 00 00 62 00"), 250'000,
         concat(hex("09 E5"), good), "cut short"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        GeneratorLine line = makeLine();
        std::vector<std::string> notes;
        line.setObserver([&notes](const LineEvent& e) {
            if (!e.note.empty())
                notes.emplace_back(e.note);
        });
        EXPECT_TRUE(line.receive(row.first, 0).empty()) << "answered before the frame was complete";
        const auto out = line.receive(row.then, row.thenUs);
        ASSERT_EQ(valuesOf(out), kTimingAnswer);
        EXPECT_GT(out.front().timeUs, row.thenUs + kLatencyUs);
        EXPECT_EQ(notes, std::vector<std::string>{row.note});
        EXPECT_EQ(line.device(0).status().patternCode, 0);
    }
}

}  // namespace
}  // namespace krx::sim
