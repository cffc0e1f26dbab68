// SPDX-License-Identifier: MIT
#include "sim/generator_line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "sim_test_support.h"

namespace krx::sim {
namespace {

using testing::answerBytes;
using testing::Bytes;
using testing::frameBytes;
using testing::pacedConfig;
using testing::valuesOf;

constexpr std::int64_t kLatencyUs = 2'000;
constexpr TargetAddress kDeviceA{0x01, 0x01};
constexpr TargetAddress kDeviceB{0x01, 0x02};
constexpr TargetAddress kDeviceC{0x02, 0x01};

GeneratorLine makeLine(LineConfig config = pacedConfig(kLatencyUs),
                       const std::vector<TargetAddress>& devices = {kDeviceA}) {
    return GeneratorLine(std::move(config), devices, defaultTvEdid());
}

LineConfig withFaults(const std::function<void(FaultConfig&)>& set) {
    LineConfig config = pacedConfig(kLatencyUs);
    set(config.faults);
    return config;
}

TEST(LineGoldenAnswers, BytesOnTheWire) {
    struct Row {
        const char* name;
        Bytes request;
        Bytes head;  // the whole answer, or its first bytes
        std::size_t size;
    };
    const std::vector<Row> rows = {
        {"timing",
         frameBytes(CMD_GET_TIMING, {}, kDeviceA),
         {0xAB, 0x00, 0x00, 0x06, 0x00, 0x01, 0x01, 0x61, 0x80, 0x14, 0x58},
         11},
        {"set acknowledged without data",
         frameBytes(CMD_SET_HDCP, {0x01}, kDeviceA),
         {0xAB, 0x00, 0x00, 0x05, 0x00, 0x01, 0x01, 0x65, 0x00, 0xE9},
         10},
        {"display EDID",
         frameBytes(CMD_READ_TV_EDID, {0x01}),
         {0xAB, 0x00, 0x00, 0x05, 0x01, 0x01, 0x01, 0x38, 0xB8},
         266},
        {"stored EDID",
         frameBytes(CMD_READ_SAVED_EDID, {0x04}),
         {0xAB, 0x00, 0x00, 0x06, 0x01, 0x01, 0x01, 0xAA, 0x80, 0x04},
         267},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        GeneratorLine line = makeLine();
        const Bytes wire = valuesOf(line.receive(row.request, 0));
        ASSERT_EQ(wire.size(), row.size);
        EXPECT_EQ(Bytes(wire.begin(), wire.begin() + static_cast<std::ptrdiff_t>(row.head.size())),
                  row.head);
        std::uint8_t sum = 0;
        for (std::uint8_t b : wire)
            sum = static_cast<std::uint8_t>(sum + b);
        EXPECT_EQ(sum, 0);
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
        GeneratorLine line = makeLine(pacedConfig(kLatencyUs), {kDeviceC, kDeviceA, kDeviceB});
        const std::vector<TimedByte> out =
            line.receive(frameBytes(CMD_SET_PATTERN, {0x07}, row.to), 1'000);
        Bytes expected;
        for (TargetAddress from : row.answering)
            expected = testing::concat(expected, answerBytes(from, CMD_SET_PATTERN));
        EXPECT_EQ(valuesOf(out), expected);
        for (std::size_t d = 0; d < 3; ++d)
            EXPECT_EQ(line.device(d).status().patternCode == 0x07, row.acting[d]) << "device " << d;
        for (std::size_t i = 1; i < out.size(); ++i)
            EXPECT_GT(out[i].timeUs, out[i - 1].timeUs) << "answers overlap at byte " << i;
    }
}

TEST(LineAddressing, BroadcastAddressChangeMovesEveryDevice) {
    GeneratorLine line = makeLine(pacedConfig(kLatencyUs), {kDeviceA, kDeviceB});
    const TargetAddress moved{0xFE, 0x01};
    const Bytes ack = answerBytes(moved, CMD_WRITE_ADDRESS);
    EXPECT_EQ(valuesOf(line.receive(frameBytes(CMD_WRITE_ADDRESS, {0xFE, 0x01}), 0)),
              testing::concat(ack, ack));
    // Now one address reaches both, and the old ones nobody.
    EXPECT_TRUE(line.receive(frameBytes(CMD_GET_TIMING, {}, kDeviceA), 0).empty());
    const Bytes timing = answerBytes(moved, CMD_GET_TIMING, {0x14});
    EXPECT_EQ(valuesOf(line.receive(frameBytes(CMD_GET_TIMING, {}, moved), 0)),
              testing::concat(timing, timing));
}

TEST(LinePacing, BytesTakeTheirTimeAt115200Baud) {
    GeneratorLine line = makeLine();
    const std::int64_t writeUs = 10'000;
    const std::vector<TimedByte> out = line.receive(frameBytes(CMD_READ_TV_EDID, {0x01}), writeUs);
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
    const std::vector<TimedByte> next = line.receive(frameBytes(CMD_GET_TIMING), writeUs + 1);
    ASSERT_FALSE(next.empty());
    EXPECT_GT(next.front().timeUs, out.back().timeUs);

    LineConfig unpaced = pacedConfig(kLatencyUs);
    unpaced.paced = false;  // every byte after the latency alone
    GeneratorLine fast = makeLine(unpaced);
    const std::vector<TimedByte> all = fast.receive(frameBytes(CMD_GET_LINK_STATUS), 500);
    EXPECT_EQ(std::count_if(all.begin(), all.end(),
                            [](const TimedByte& b) { return b.timeUs == 500 + kLatencyUs; }),
              16);
}

TEST(LineFaults, EachFaultShowsOnTheWire) {
    const Bytes request = frameBytes(CMD_GET_TIMING);
    const Bytes normal = answerBytes(kDeviceA, CMD_GET_TIMING, {0x14});
    {
        SCOPED_TRACE("silent code");
        GeneratorLine line =
            makeLine(withFaults([](FaultConfig& f) { f.silentCodes = {CMD_GET_TIMING}; }));
        EXPECT_TRUE(line.receive(request, 0).empty());
        EXPECT_FALSE(line.receive(frameBytes(CMD_GET_PATTERN), 0).empty());
        // Silence is about answering: the set still acts.
        GeneratorLine mute =
            makeLine(withFaults([](FaultConfig& f) { f.silentCodes = {FaultConfig::kAnyCode}; }));
        EXPECT_TRUE(mute.receive(frameBytes(CMD_SET_PATTERN, {0x03}), 0).empty());
        EXPECT_EQ(mute.device(0).status().patternCode, 0x03);
    }
    {
        SCOPED_TRACE("bad checksum");
        GeneratorLine line = makeLine(
            withFaults([](FaultConfig& f) { f.badChecksumCodes = {FaultConfig::kAnyCode}; }));
        const Bytes wire = valuesOf(line.receive(request, 0));
        ASSERT_EQ(wire.size(), normal.size());
        EXPECT_TRUE(std::equal(wire.begin(), wire.end() - 1, normal.begin()));
        EXPECT_NE(wire.back(), normal.back());
    }
    {
        SCOPED_TRACE("stall after the fifth byte");
        GeneratorLine line =
            makeLine(withFaults([](FaultConfig& f) { f.stallCodes = {CMD_GET_TIMING}; }));
        const std::vector<TimedByte> out = line.receive(request, 0);
        ASSERT_EQ(valuesOf(out), normal);
        EXPECT_LT(out[4].timeUs - out[3].timeUs, 100);
        EXPECT_GE(out[5].timeUs - out[4].timeUs, FaultConfig{}.stallUs);
        EXPECT_LT(out[6].timeUs - out[5].timeUs, 100);
    }
    {
        SCOPED_TRACE("noise");
        GeneratorLine line = makeLine(withFaults([](FaultConfig& f) {
            f.noise = {0x55, 0xAB, 0x00};
        }));
        std::vector<std::string> events;  // the observer reports the noise on its own
        line.setObserver([&events](const LineEvent& e) {
            events.push_back(std::to_string(static_cast<int>(e.direction)) + " " +
                             std::string(commandName(e.code)) + " " + std::string(e.note) + " " +
                             std::to_string(e.bytes.size()) + " " + std::to_string(e.timeUs));
        });
        const std::vector<TimedByte> out = line.receive(request, 0);
        ASSERT_EQ(valuesOf(out), testing::concat({0x55, 0xAB, 0x00}, normal));
        const std::vector<std::string> expected = {
            "0 CMD_GET_TIMING  10 " + std::to_string(lineTimeUs(10)),
            "1 CMD_GET_TIMING noise 3 " + std::to_string(out[0].timeUs),
            "1 CMD_GET_TIMING  11 " + std::to_string(out[3].timeUs)};
        EXPECT_EQ(events, expected);
    }
}

TEST(LineFaults, HangUpAfterTheNthFrameEndsTheLine) {
    GeneratorLine line = makeLine(withFaults([](FaultConfig& f) { f.hangUpAfterFrames = 2; }));
    line.receive(frameBytes(CMD_GET_TIMING), 0);
    EXPECT_FALSE(line.hangUpTimeUs());
    line.receive(Bytes{0xAA, 0x01, 0x02}, 0);  // garbage is not a frame and does not count
    EXPECT_FALSE(line.hangUpTimeUs());
    const std::vector<TimedByte> last = line.receive(frameBytes(CMD_GET_PATTERN), 100'000);
    ASSERT_FALSE(last.empty());
    EXPECT_EQ(line.hangUpTimeUs(), last.back().timeUs);
    EXPECT_TRUE(line.receive(frameBytes(CMD_GET_TIMING), 200'000).empty());
}

// Rejected frames are reported and ignored; a good frame after one, hidden inside one, or arriving
// in pieces is answered once, when its last byte has been recognised.
TEST(LineMalformedFrames, AreRejectedAndTheGoodFrameIsStillFound) {
    const Bytes good = frameBytes(CMD_GET_TIMING);
    const auto corrupt = [](std::vector<std::pair<std::size_t, std::uint8_t>> changes) {
        Bytes bad = frameBytes(CMD_SET_PATTERN, {0x09});
        for (const auto& [at, value] : changes)
            bad[at] = value;
        return bad;
    };
    const auto part = [&good](std::ptrdiff_t from, std::ptrdiff_t to) {
        return Bytes(good.begin() + from, good.begin() + to);
    };
    const Bytes setPattern = corrupt({});
    // A head promising 32 payload bytes swallows a good frame; only later filler ends it.
    const Bytes longHead =
        testing::concat({0xAA, 0x00, 0x00, 0x25, 0x00, 0x01, 0x01, 0x61, 0x80}, good);
    struct Row {
        const char* name;
        std::vector<std::pair<std::int64_t, Bytes>> writes;
        std::vector<std::string> notes;
    };
    const std::vector<Row> rows = {
        {"bad checksum", {{0, corrupt({{10, 0x00}})}, {5'000, good}}, {"bad checksum"}},
        {"byte 1 not zero", {{0, corrupt({{1, 0x01}})}, {5'000, good}}, {"bad header"}},
        {"byte 2 not zero", {{0, corrupt({{2, 0x01}})}, {5'000, good}}, {"bad header"}},
        {"length below 5", {{0, corrupt({{3, 0x04}})}, {5'000, good}}, {"bad length"}},
        {"length beyond 295",
         {{0, corrupt({{3, 0x28}, {4, 0x01}})}, {5'000, good}},
         {"bad length"}},
        {"unknown code", {{0, frameBytes(0x0070, {0x09})}, {5'000, good}}, {"unknown code"}},
        {"answer start byte", {{0, corrupt({{0, 0xAB}})}, {5'000, good}}, {}},
        {"behind a truncated frame", {{0, testing::concat(part(0, 6), good)}}, {"unknown code"}},
        {"in three pieces", {{0, part(0, 4)}, {5'000, part(4, 9)}, {9'000, part(9, 10)}}, {}},
        {"hidden in a rejected frame", {{0, longHead}, {100'000, Bytes(23, 0)}}, {"bad checksum"}},
        {"rest of a frame after 200 ms of silence",
         {{0, Bytes(setPattern.begin(), setPattern.begin() + 9)},
          {250'000, testing::concat(Bytes(setPattern.begin() + 9, setPattern.end()), good)}},
         {"cut short"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        GeneratorLine line = makeLine();
        std::vector<std::string> notes;
        line.setObserver([&notes](const LineEvent& e) {
            if (!e.note.empty())
                notes.emplace_back(e.note);
        });
        std::vector<TimedByte> out;
        for (const auto& [atUs, bytes] : row.writes) {
            EXPECT_TRUE(out.empty()) << "answered before the good frame was complete";
            out = line.receive(bytes, atUs);
        }
        EXPECT_EQ(valuesOf(out), answerBytes(kDeviceA, CMD_GET_TIMING, {0x14}));
        ASSERT_FALSE(out.empty());
        EXPECT_GT(out.front().timeUs, row.writes.back().first + kLatencyUs);
        EXPECT_EQ(notes, row.notes);
        EXPECT_EQ(line.device(0).status().patternCode, 0);
    }
}

}  // namespace
}  // namespace krx::sim
