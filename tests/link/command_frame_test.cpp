// SPDX-License-Identifier: MIT
#include "link/command_frame.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "../support/bytes.h"
#include "link/device_status.h"
#include "link/generator_facts.h"

namespace krx {
namespace {

using testing::Bytes;
using testing::hex;

TEST(BuildFrame, ComposesHeadPayloadAndChecksum) {
    struct Row {
        const char* name;
        CommandCode code;
        Bytes payload;
        const char* expected;
        TargetAddress target{};
        bool answer = false;
    };
    const Row rows[] = {
        {"broadcast", CMD_GET_TIMING, {}, "AA 00 00 05 00 00 00 61 80 70"},
        {"one device", CMD_GET_TIMING, {}, "AA 00 00 05 00 01 02 61 80 6D", {1, 2}},
        {"FFFF", CMD_GET_TIMING, {}, "AA 00 00 05 00 FF FF 61 80 72", {0xFF, 0xFF}},
        {"power on", CMD_SET_POWER, {0x00}, "AA 00 00 06 00 00 00 AB 00 00 A5"},
        {"read address", CMD_READ_ADDRESS, {}, "AA 00 00 05 00 00 00 01 F8 58"},
        {"write address", CMD_WRITE_ADDRESS, {1, 2}, "AA 00 00 07 00 00 00 01 78 01 02 D3"},
        {"answer", CMD_GET_TIMING, {0x14}, "AB 00 00 06 00 01 02 61 80 14 57", {1, 2}, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const Bytes expected = hex(row.expected);
        EXPECT_EQ(row.answer ? testing::answerFrame(row.target, row.code, row.payload)
                             : testing::commandFrame(row.target, row.code, row.payload),
                  expected);
        // The head accessors read the same frame back.
        EXPECT_EQ(frameLength(expected), row.payload.size() + 5);
        EXPECT_EQ(frameAddress(expected), row.target);
        EXPECT_EQ(frameCode(expected), row.code);
        const auto data = frameData(expected);
        EXPECT_EQ(Bytes(data.begin(), data.end()), row.payload);
        EXPECT_TRUE(frameSumsToZero(expected));
        Bytes broken = expected;
        broken.back() = static_cast<std::uint8_t>(broken.back() + 1);
        EXPECT_FALSE(frameSumsToZero(broken));
    }
}

TEST(GeneratorFacts, FourKTimingsSetTheColourAsTheGeneratorDoes) {
    struct Row {
        const char* name;
        TimingCode timing;
        ColourChoice before;
        ColourChoice after;
    };
    // Colour space 0 RGB4:4:4, 1 YUV4:4:4, 3 AUTO, 4 YUV4:2:0; depth 0 24bit, 2 36bit, 4 AUTO.
    const Row rows[] = {
        {"4:2:0 timing forces YUV4:2:0 and 24bit", 0x22, {1, 2}, {4, 0}},
        {"last 4:2:0 timing", 0x24, {3, 4}, {4, 0}},
        {"leaving 4:2:0 gives RGB, depth kept", 0x14, {4, 0}, {0, 0}},
        {"other 4K timing: 24bit, 4:2:0 undone", 0x1C, {4, 2}, {0, 0}},
        {"other 4K timing keeps YUV4:4:4", 0x21, {1, 2}, {1, 0}},
        {"just below 4K changes nothing", 0x1B, {1, 2}, {1, 2}},
        {"just above 4K changes nothing", 0x25, {3, 4}, {3, 4}},
        {"user timing undoes 4:2:0 only", 0x37, {4, 2}, {0, 2}},
    };
    for (const Row& row : rows)
        EXPECT_EQ(coloursForTiming(row.timing, row.before), row.after) << row.name;
}

TEST(BuildFrame, LongestPayloadGivesThreeHundredBytesAndOneMoreNone) {
    const Bytes longest(kMaxPayload, 0x5A);
    const auto frame = buildFrame(0x12, 0x34, CMD_STORE_USER_TIMING, longest);
    ASSERT_TRUE(frame.has_value());
    ASSERT_EQ(frame->size, 300U);
    EXPECT_EQ(frameLength(frame->view()), 295U);
    const auto v = frame->view();
    EXPECT_EQ(std::accumulate(v.begin(), v.end(), 0U) & 0xFFU, 0U);

    const Bytes tooLong(kMaxPayload + 1, 0x00);
    EXPECT_FALSE(buildFrame(0, 0, CMD_STORE_USER_TIMING, tooLong).has_value());
    EXPECT_FALSE(buildAnswerFrame(0, 0, CMD_STORE_USER_TIMING, tooLong).has_value());
}

TEST(UserTiming, DecodesLittleEndianFieldsInRecordOrderAndEncodesBack) {
    const std::array<std::uint8_t, kUserTimingSize> bytes = {
        0x02, 0x01, 0x1D, 0x07, 0x80, 0x07, 0x18, 0x01, 0x58, 0x00,
        0x2C, 0x00, 0x1C, 0x02, 0x16, 0x00, 0x02, 0x00, 0x05, 0x00};
    const UserTiming expected{2, 7425, 0x07, 1920, 280, 88, 44, 540, 22, 2, 5};
    EXPECT_EQ(UserTiming::fromBytes(bytes), expected);
    EXPECT_EQ(expected.toBytes(), bytes);
}

}  // namespace
}  // namespace krx
