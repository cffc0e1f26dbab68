// SPDX-License-Identifier: MIT
#include "sim/generator_line.h"

#include <gtest/gtest.h>

#include <string>
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

std::vector<TimedByte> send(GeneratorLine& line, const Bytes& bytes, std::int64_t atUs = 0) {
    return line.receive(bytes, atUs);
}

// Cuts a stream of answer bytes into frames by their length fields; fails on a stray byte.
std::vector<Bytes> splitAnswers(const Bytes& stream) {
    std::vector<Bytes> frames;
    std::size_t at = 0;
    while (at + 5 <= stream.size()) {
        EXPECT_EQ(stream[at], kAnswerStart) << "at " << at;
        const std::size_t size = std::size_t{stream[at + 3]} + 256u * stream[at + 4] + 5;
        if (at + size > stream.size())
            break;
        frames.emplace_back(stream.begin() + static_cast<std::ptrdiff_t>(at),
                            stream.begin() + static_cast<std::ptrdiff_t>(at + size));
        at += size;
    }
    EXPECT_EQ(at, stream.size()) << "trailing bytes";
    return frames;
}

TEST(LineGoldenAnswers, BytesOnTheWire) {
    GeneratorLine line(pacedConfig(kLatencyUs), {kDeviceA}, defaultTvEdid());
    EXPECT_EQ(valuesOf(send(line, frameBytes(CMD_GET_TIMING, {}, kDeviceA))),
              (Bytes{0xAB, 0x00, 0x00, 0x06, 0x00, 0x01, 0x01, 0x61, 0x80, 0x14, 0x58}));
    EXPECT_EQ(valuesOf(send(line, frameBytes(CMD_PING))),
              (Bytes{0xAB, 0x00, 0x00, 0x07, 0x00, 0x01, 0x01, 0x02, 0xF8, 0x00, 0x00, 0x52}));
    // A set command is acknowledged by an answer without data.
    EXPECT_EQ(valuesOf(send(line, frameBytes(CMD_SET_HDCP, {0x01}, kDeviceA))),
              (Bytes{0xAB, 0x00, 0x00, 0x05, 0x00, 0x01, 0x01, 0x65, 0x00, 0xE9}));

    const Bytes tvEdid = valuesOf(send(line, frameBytes(CMD_READ_TV_EDID, {0x01})));
    ASSERT_EQ(tvEdid.size(), 266u);
    EXPECT_EQ(Bytes(tvEdid.begin(), tvEdid.begin() + 9),
              (Bytes{0xAB, 0x00, 0x00, 0x05, 0x01, 0x01, 0x01, 0x38, 0xB8}));
    const Bytes saved = valuesOf(send(line, frameBytes(CMD_READ_SAVED_EDID, {0x04})));
    ASSERT_EQ(saved.size(), 267u);
    EXPECT_EQ(Bytes(saved.begin(), saved.begin() + 10),
              (Bytes{0xAB, 0x00, 0x00, 0x06, 0x01, 0x01, 0x01, 0xAA, 0x80, 0x04}));
    for (const Bytes& frame : {tvEdid, saved}) {
        std::uint8_t sum = 0;
        for (std::uint8_t b : frame)
            sum = static_cast<std::uint8_t>(sum + b);
        EXPECT_EQ(sum, 0);
    }
}

TEST(LineAddressing, WhoActsAndWhoAnswers) {
    struct Row {
        const char* name;
        TargetAddress to;
        std::vector<TargetAddress> answering;
        std::vector<bool> acting;  // per device A, B, C
    };
    const std::vector<Row> rows = {
        {"00/00 every device answers", {0x00, 0x00}, {kDeviceA, kDeviceB, kDeviceC}, {1, 1, 1}},
        {"FF/FF every device acts silently", {0xFF, 0xFF}, {}, {1, 1, 1}},
        {"group 01", {0x01, 0x00}, {kDeviceA, kDeviceB}, {1, 1, 0}},
        {"group 01 silently", {0x01, 0xFF}, {}, {1, 1, 0}},
        {"one device", {0x01, 0x02}, {kDeviceB}, {0, 1, 0}},
        {"nobody at 01/03", {0x01, 0x03}, {}, {0, 0, 0}},
        {"invalid 00/01", {0x00, 0x01}, {}, {0, 0, 0}},
        {"invalid 00/FF", {0x00, 0xFF}, {}, {0, 0, 0}},
        {"invalid FF/00", {0xFF, 0x00}, {}, {0, 0, 0}},
        {"invalid FF/01", {0xFF, 0x01}, {}, {0, 0, 0}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        GeneratorLine line(pacedConfig(kLatencyUs), {kDeviceA, kDeviceB, kDeviceC},
                           defaultTvEdid());
        const std::vector<TimedByte> out =
            send(line, frameBytes(CMD_SET_PATTERN, {0x07}, row.to), 1'000);
        const std::vector<Bytes> answers = splitAnswers(valuesOf(out));
        ASSERT_EQ(answers.size(), row.answering.size());
        for (std::size_t i = 0; i < answers.size(); ++i)
            EXPECT_EQ(answers[i], answerBytes(row.answering[i], CMD_SET_PATTERN));
        for (std::size_t d = 0; d < 3; ++d)
            EXPECT_EQ(line.device(d).status().patternCode == 0x07, row.acting[d]) << "device " << d;
        for (std::size_t i = 1; i < out.size(); ++i)
            EXPECT_GT(out[i].timeUs, out[i - 1].timeUs) << "answers overlap at byte " << i;
    }
}

TEST(LineAddressing, BroadcastAddressChangeMovesEveryDevice) {
    GeneratorLine line(pacedConfig(kLatencyUs), {kDeviceA, kDeviceB}, defaultTvEdid());
    const auto acks =
        splitAnswers(valuesOf(send(line, frameBytes(CMD_WRITE_ADDRESS, {0x05, 0x06}))));
    ASSERT_EQ(acks.size(), 2u);
    EXPECT_EQ(line.device(0).address(), (TargetAddress{0x05, 0x06}));
    EXPECT_EQ(line.device(1).address(), (TargetAddress{0x05, 0x06}));
    // Now one address reaches both, and the old ones nobody.
    EXPECT_TRUE(send(line, frameBytes(CMD_GET_TIMING, {}, kDeviceA)).empty());
    EXPECT_EQ(
        splitAnswers(valuesOf(send(line, frameBytes(CMD_GET_TIMING, {}, {0x05, 0x06})))).size(),
        2u);

    // 00/00 as the new address is no device address: ignored, no acknowledgement.
    EXPECT_TRUE(send(line, frameBytes(CMD_WRITE_ADDRESS, {0x00, 0x00})).empty());
    EXPECT_EQ(line.device(0).address(), (TargetAddress{0x05, 0x06}));
}

TEST(LineAddressing, ReadAddressOnBroadcastReportsEachDeviceInOrder) {
    GeneratorLine line(pacedConfig(kLatencyUs), {kDeviceC, kDeviceA}, defaultTvEdid());
    const auto answers = splitAnswers(valuesOf(send(line, frameBytes(CMD_READ_ADDRESS))));
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_EQ(answers[0], answerBytes(kDeviceC, CMD_READ_ADDRESS, {0x02, 0x01}));
    EXPECT_EQ(answers[1], answerBytes(kDeviceA, CMD_READ_ADDRESS, {0x01, 0x01}));
}

TEST(LinePacing, BytesTakeTheirTimeAt115200Baud) {
    GeneratorLine line(pacedConfig(kLatencyUs), {kDeviceA}, defaultTvEdid());
    const std::int64_t writeUs = 10'000;
    const std::vector<TimedByte> out = send(line, frameBytes(CMD_READ_TV_EDID, {0x01}), writeUs);
    ASSERT_EQ(out.size(), 266u);
    // The eleven request bytes arrive first, then the latency, then the first answer byte.
    const std::int64_t firstExpectedUs = writeUs + lineTimeUs(11) + kLatencyUs + lineTimeUs(1);
    EXPECT_EQ(out.front().timeUs, firstExpectedUs);
    const double perByteUs = static_cast<double>(out.back().timeUs - out.front().timeUs) /
                             static_cast<double>(out.size() - 1);
    constexpr double kNominalUs = 1e6 * 10 / 115200;  // 86.8 us
    EXPECT_NEAR(perByteUs, kNominalUs, kNominalUs * 0.05);
    for (std::size_t i = 1; i < out.size(); ++i) {
        const std::int64_t gap = out[i].timeUs - out[i - 1].timeUs;
        EXPECT_TRUE(gap == 86 || gap == 87) << "byte " << i << " gap " << gap;
    }

    // A request written while the previous answer is still on the wire is answered after it.
    const std::vector<TimedByte> next = send(line, frameBytes(CMD_GET_TIMING), writeUs + 1);
    ASSERT_FALSE(next.empty());
    EXPECT_GT(next.front().timeUs, out.back().timeUs);
}

TEST(LinePacing, UnpacedLineAnswersAfterTheLatencyAlone) {
    LineConfig config = pacedConfig(kLatencyUs);
    config.paced = false;
    GeneratorLine line(config, {kDeviceA}, defaultTvEdid());
    for (const TimedByte& b : send(line, frameBytes(CMD_GET_LINK_STATUS), 500))
        EXPECT_EQ(b.timeUs, 500 + kLatencyUs);
}

TEST(LineFaults, EachFaultShowsOnTheWire) {
    const Bytes request = frameBytes(CMD_GET_TIMING);
    const Bytes normal = answerBytes(kDeviceA, CMD_GET_TIMING, {0x14});

    {
        SCOPED_TRACE("silent code");
        LineConfig config = pacedConfig(kLatencyUs);
        config.faults.silentCodes = {CMD_GET_TIMING};
        GeneratorLine line(config, {kDeviceA}, defaultTvEdid());
        EXPECT_TRUE(send(line, request).empty());
        EXPECT_FALSE(send(line, frameBytes(CMD_GET_PATTERN)).empty());
        // Silence is about answering: the set still acts.
        config.faults.silentCodes = {FaultConfig::kAnyCode};
        GeneratorLine mute(config, {kDeviceA}, defaultTvEdid());
        EXPECT_TRUE(send(mute, frameBytes(CMD_SET_PATTERN, {0x03})).empty());
        EXPECT_EQ(mute.device(0).status().patternCode, 0x03);
    }
    {
        SCOPED_TRACE("bad checksum");
        LineConfig config = pacedConfig(kLatencyUs);
        config.faults.badChecksumCodes = {FaultConfig::kAnyCode};
        GeneratorLine line(config, {kDeviceA}, defaultTvEdid());
        const Bytes wire = valuesOf(send(line, request));
        ASSERT_EQ(wire.size(), normal.size());
        EXPECT_TRUE(std::equal(wire.begin(), wire.end() - 1, normal.begin()));
        EXPECT_NE(wire.back(), normal.back());
    }
    {
        SCOPED_TRACE("stall");
        LineConfig config = pacedConfig(kLatencyUs);
        config.faults.stallCodes = {CMD_GET_TIMING};
        GeneratorLine line(config, {kDeviceA}, defaultTvEdid());
        const std::vector<TimedByte> out = send(line, request);
        EXPECT_EQ(valuesOf(out), normal);
        std::int64_t longestGapUs = 0;
        for (std::size_t i = 1; i < out.size(); ++i)
            longestGapUs = std::max(longestGapUs, out[i].timeUs - out[i - 1].timeUs);
        EXPECT_GT(longestGapUs, 200'000);
        // The pause falls after the fifth byte.
        EXPECT_GE(out[5].timeUs - out[4].timeUs, config.faults.stallUs);
        EXPECT_LT(out[4].timeUs - out[3].timeUs, 100);
    }
    {
        SCOPED_TRACE("noise");
        LineConfig config = pacedConfig(kLatencyUs);
        config.faults.noise = {0x55, 0xAB, 0x00};
        GeneratorLine line(config, {kDeviceA}, defaultTvEdid());
        Bytes expected = config.faults.noise;
        expected.insert(expected.end(), normal.begin(), normal.end());
        EXPECT_EQ(valuesOf(send(line, request)), expected);
    }
}

TEST(LineFaults, HangUpAfterTheNthFrameEndsTheLine) {
    LineConfig config = pacedConfig(kLatencyUs);
    config.faults.hangUpAfterFrames = 2;
    GeneratorLine line(config, {kDeviceA}, defaultTvEdid());
    send(line, frameBytes(CMD_GET_TIMING));
    EXPECT_FALSE(line.hangUpTimeUs());
    // Garbage is not a frame and does not count.
    send(line, Bytes{0xAA, 0x01, 0x02});
    EXPECT_FALSE(line.hangUpTimeUs());
    const std::vector<TimedByte> last = send(line, frameBytes(CMD_GET_PATTERN), 100'000);
    ASSERT_FALSE(last.empty());
    ASSERT_TRUE(line.hangUpTimeUs());
    EXPECT_EQ(*line.hangUpTimeUs(), last.back().timeUs);
    EXPECT_TRUE(send(line, frameBytes(CMD_GET_TIMING), 200'000).empty());
}

TEST(LineMalformedFrames, AreIgnoredAndTheNextFrameIsFound) {
    const Bytes good = frameBytes(CMD_SET_PATTERN, {0x09});
    const auto corrupt = [&good](std::size_t at, std::uint8_t value) {
        Bytes bad = good;
        bad[at] = value;
        return bad;
    };
    struct Row {
        const char* name;
        Bytes bytes;
        std::string_view note;
    };
    const std::vector<Row> rows = {
        {"bad checksum", corrupt(10, 0x00), "bad checksum"},
        {"byte 1 not zero", corrupt(1, 0x01), "bad header"},
        {"length below 5", corrupt(3, 0x04), "bad length"},
        {"length beyond 295",
         [] {
             Bytes b = frameBytes(CMD_SET_PATTERN, {0x09});
             b[3] = 0x28;
             b[4] = 0x01;
             return b;
         }(),
         "bad length"},
        {"unknown code", frameBytes(0x0070, {0x09}), "unknown code"},
        {"answer start byte",
         [] {
             Bytes b = frameBytes(CMD_SET_PATTERN, {0x09});
             b[0] = 0xAB;
             return b;
         }(),
         ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        GeneratorLine line(pacedConfig(kLatencyUs), {kDeviceA}, defaultTvEdid());
        std::vector<std::string> notes;
        line.setObserver([&notes](const LineEvent& e) {
            if (e.direction == LineEvent::Direction::Received)
                notes.emplace_back(e.note);
        });
        EXPECT_TRUE(send(line, row.bytes).empty());
        EXPECT_EQ(line.device(0).status().patternCode, 0);
        if (!row.note.empty()) {
            EXPECT_NE(std::find(notes.begin(), notes.end(), row.note), notes.end());
        }
        // The device is still listening.
        EXPECT_EQ(valuesOf(send(line, frameBytes(CMD_GET_HDCP), 1'000'000)),
                  answerBytes(kDeviceA, CMD_GET_HDCP, {0x00}));
    }
}

TEST(LineMalformedFrames, FrameHiddenBehindATruncatedOneIsAnswered) {
    GeneratorLine line(pacedConfig(kLatencyUs), {kDeviceA}, defaultTvEdid());
    const Bytes good = frameBytes(CMD_GET_TIMING);
    Bytes stream(good.begin(), good.begin() + 6);  // cut short
    stream.insert(stream.end(), good.begin(), good.end());
    EXPECT_EQ(valuesOf(send(line, stream)), answerBytes(kDeviceA, CMD_GET_TIMING, {0x14}));
}

TEST(LineMalformedFrames, HiddenFrameIsAnsweredWhenItIsRecognised) {
    GeneratorLine line(pacedConfig(kLatencyUs), {kDeviceA}, defaultTvEdid());
    // A head promising 32 payload bytes swallows a good frame; only the later filler ends it.
    Bytes first = {0xAA, 0x00, 0x00, 0x25, 0x00, 0x01, 0x01, 0x61, 0x80};
    const Bytes good = frameBytes(CMD_GET_TIMING);
    first.insert(first.end(), good.begin(), good.end());
    EXPECT_TRUE(send(line, first, 0).empty());
    const std::int64_t laterUs = 1'000'000;
    const std::vector<TimedByte> out = send(line, Bytes(23, 0x00), laterUs);
    EXPECT_EQ(valuesOf(out), answerBytes(kDeviceA, CMD_GET_TIMING, {0x14}));
    ASSERT_FALSE(out.empty());
    EXPECT_GT(out.front().timeUs, laterUs + kLatencyUs);
}

TEST(LineMalformedFrames, FrameArrivingInPiecesIsAnsweredOnce) {
    GeneratorLine line(pacedConfig(kLatencyUs), {kDeviceA}, defaultTvEdid());
    const Bytes good = frameBytes(CMD_GET_POWER);
    EXPECT_TRUE(send(line, Bytes(good.begin(), good.begin() + 4), 0).empty());
    EXPECT_TRUE(send(line, Bytes(good.begin() + 4, good.end() - 1), 5'000).empty());
    EXPECT_EQ(valuesOf(send(line, Bytes(good.end() - 1, good.end()), 9'000)),
              answerBytes(kDeviceA, CMD_GET_POWER, {0x00}));
}

TEST(LineObserver, ReportsEveryFrameBothWays) {
    LineConfig config = pacedConfig(kLatencyUs);
    config.faults.noise = {0x00};
    GeneratorLine line(config, {kDeviceA}, defaultTvEdid());
    std::vector<std::pair<LineEvent::Direction, std::string>> seen;
    line.setObserver([&seen](const LineEvent& e) {
        seen.emplace_back(e.direction, std::string(commandName(e.code)) + "/" +
                                           std::string(e.note) + "/" +
                                           std::to_string(e.bytes.size()));
    });
    send(line, frameBytes(CMD_GET_TIMING));
    using D = LineEvent::Direction;
    const std::vector<std::pair<D, std::string>> expected = {
        {D::Received, "CMD_GET_TIMING//10"},
        {D::Sent, "CMD_GET_TIMING/noise/1"},
        {D::Sent, "CMD_GET_TIMING//11"},
    };
    EXPECT_EQ(seen, expected);
}

}  // namespace
}  // namespace krx::sim
