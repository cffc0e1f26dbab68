// SPDX-License-Identifier: MIT
#include "link/command_frame.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <numeric>
#include <vector>

namespace krx {
namespace {

using ::testing::ElementsAreArray;

std::vector<std::uint8_t> bytesOf(const std::optional<CommandFrame>& frame) {
    EXPECT_TRUE(frame.has_value());
    if (!frame) {
        return {};
    }
    const auto v = frame->view();
    return {v.begin(), v.end()};
}

struct FrameCase {
    const char* name;
    TargetAddress target;
    CommandCode code;
    std::vector<std::uint8_t> payload;
    std::vector<std::uint8_t> expected;
};

class BuildFrame : public ::testing::TestWithParam<FrameCase> {};

TEST_P(BuildFrame, ComposesHeadPayloadAndChecksum) {
    const auto& c = GetParam();
    EXPECT_THAT(bytesOf(buildFrame(c.target.group, c.target.device, c.code, c.payload)),
                ElementsAreArray(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    KnownFrames, BuildFrame,
    ::testing::Values(FrameCase{"GetTimingBroadcast",
                                {0x00, 0x00},
                                CMD_GET_TIMING,
                                {},
                                {0xAA, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0x61, 0x80, 0x70}},
                      FrameCase{"GetTimingOneDevice",
                                {0x01, 0x02},
                                CMD_GET_TIMING,
                                {},
                                {0xAA, 0x00, 0x00, 0x05, 0x00, 0x01, 0x02, 0x61, 0x80, 0x6D}},
                      FrameCase{"PowerOn",
                                {0x00, 0x00},
                                CMD_SET_POWER,
                                {0x00},
                                {0xAA, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00, 0xAB, 0x00, 0x00, 0xA5}},
                      FrameCase{"GetTimingNoAck",
                                {0xFF, 0xFF},
                                CMD_GET_TIMING,
                                {},
                                {0xAA, 0x00, 0x00, 0x05, 0x00, 0xFF, 0xFF, 0x61, 0x80, 0x72}},
                      FrameCase{"ReadAddress",
                                {0x00, 0x00},
                                CMD_READ_ADDRESS,
                                {},
                                {0xAA, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0x01, 0xF8, 0x58}},
                      FrameCase{
                          "WriteAddress",
                          {0x00, 0x00},
                          CMD_WRITE_ADDRESS,
                          {0x01, 0x02},
                          {0xAA, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00, 0x01, 0x78, 0x01, 0x02, 0xD3}},
                      FrameCase{"FirstUserTimingRead",
                                {0x00, 0x00},
                                CMD_GET_USER_TIMING,
                                {0x00},
                                {0xAA, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00, 0xA0, 0x80, 0x00, 0x30}},
                      FrameCase{"LinkStatus",
                                {0x00, 0x00},
                                CMD_GET_LINK_STATUS,
                                {},
                                {0xAA, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0xA9, 0x80, 0x28}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BuildFrame, LongestPayloadGivesThreeHundredBytes) {
    const std::vector<std::uint8_t> payload(kMaxPayload, 0x5A);
    const auto frame = buildFrame(0x12, 0x34, CMD_STORE_USER_TIMING, payload);
    ASSERT_TRUE(frame.has_value());
    ASSERT_EQ(frame->size, 300U);
    EXPECT_EQ(frame->bytes[3], 0x27);
    EXPECT_EQ(frame->bytes[4], 0x01);
    const auto v = frame->view();
    EXPECT_EQ(std::accumulate(v.begin(), v.end(), 0U) & 0xFFU, 0U);
}

TEST(BuildFrame, PayloadAboveLimitHasNoFrame) {
    const std::vector<std::uint8_t> payload(kMaxPayload + 1, 0x00);
    EXPECT_FALSE(buildFrame(0, 0, CMD_STORE_USER_TIMING, payload).has_value());
}

TEST(BuildFrame, EmptyPayloadEqualsNoPayload) {
    const std::vector<std::uint8_t> none;
    EXPECT_EQ(bytesOf(buildFrame(3, 4, CMD_GET_PATTERN, none)),
              bytesOf(buildFrame(3, 4, CMD_GET_PATTERN)));
}

TEST(BuildAnswerFrame, StartsWithAnswerByteAndSumsToZero) {
    const std::vector<std::uint8_t> data{0x14};
    const auto bytes = bytesOf(buildAnswerFrame(0x01, 0x02, CMD_GET_TIMING, data));
    EXPECT_THAT(bytes, ElementsAreArray(
                           {0xAB, 0x00, 0x00, 0x06, 0x00, 0x01, 0x02, 0x61, 0x80, 0x14, 0x57}));
}

TEST(CommandTables, ResponseCodesAreDistinctAndIndexed) {
    for (std::size_t i = 0; i < kResponseCodes.size(); ++i) {
        EXPECT_EQ(responseCodeIndex(kResponseCodes[i]), i) << std::hex << kResponseCodes[i];
        EXPECT_FALSE(commandName(kResponseCodes[i]).empty()) << std::hex << kResponseCodes[i];
    }
    EXPECT_FALSE(responseCodeIndex(CMD_SET_POWER).has_value());
    EXPECT_FALSE(responseCodeIndex(CMD_READ_SAVED_EDID).has_value());
    EXPECT_FALSE(responseCodeIndex(0x1234).has_value());
}

TEST(CommandTables, NamesFollowTheCodes) {
    EXPECT_EQ(commandName(CMD_GET_TIMING), "CMD_GET_TIMING");
    EXPECT_EQ(commandName(CMD_PING), "CMD_PING");
    EXPECT_EQ(commandName(CMD_READ_SAVED_EDID), "CMD_READ_SAVED_EDID");
    EXPECT_TRUE(commandName(0x1234).empty());
}

}  // namespace
}  // namespace krx
