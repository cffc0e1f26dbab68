// SPDX-License-Identifier: MIT
#include "sim/generator.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "link/generator_facts.h"
#include "support/bytes.h"

namespace krx::sim {
namespace {

using krx::testing::Bytes;

constexpr TargetAddress kAddress{0x01, 0x01};

std::optional<Bytes> ask(Generator& g, CommandCode code, Bytes payload = {},
                         std::int64_t nowUs = 0) {
    const auto answer = g.handle(code, payload, nowUs);
    if (!answer)
        return std::nullopt;
    EXPECT_EQ(answer->code, code) << "an answer repeats the request's code";
    return answer->data;
}

Bytes bytesOf(const UserTiming& record) {
    const auto b = record.toBytes();
    return {b.begin(), b.end()};
}

// The answers every console sweep and read asks for run in the console's tests all the time; these
// rows are the rest, and the requests the generator ignores.
TEST(GeneratorAnswers, EachRequestGetsItsAnswerOrIsIgnored) {
    UserTiming slot3 = standardTimingRecord(0x0C);  // every slot starts as 720P(60)
    slot3.slot = 3;
    const Bytes factoryDetails = bytesOf(standardTimingRecord(0x14));
    Bytes slot10(20, 0);
    slot10[0] = 10;
    struct Row {
        const char* name;
        CommandCode code;
        Bytes payload;
        std::optional<Bytes> data;   // nullopt: ignored, nothing changes
        std::uint8_t timing = 0x14;  // set before the request
    };
    const std::vector<Row> rows = {
        {"timing details with a byte", CMD_GET_TIMING_DETAILS, {0x36}, factoryDetails},
        {"timing details of user slot 4", CMD_GET_TIMING_DETAILS, {}, bytesOf(slot3), 0x3A},
        {"00A8", CMD_00A8, {}, Bytes{}},
        {"7878", CMD_7878, {}, Bytes{}},
        {"set without value", CMD_SET_PATTERN, {}, std::nullopt},
        {"query with a payload", CMD_GET_TIMING, {0}, std::nullopt},
        {"timing details with two bytes", CMD_GET_TIMING_DETAILS, {0, 0}, std::nullopt},
        {"link status with a byte", CMD_GET_LINK_STATUS, {0}, std::nullopt},
        {"restore defaults with a byte", CMD_RESET_DEFAULTS, {0}, std::nullopt},
        {"user timing slot 10", CMD_GET_USER_TIMING, {10}, std::nullopt},
        {"user timing without slot", CMD_GET_USER_TIMING, {}, std::nullopt},
        {"store into slot 10", CMD_STORE_USER_TIMING, slot10, std::nullopt},
        {"store a short record", CMD_STORE_USER_TIMING, Bytes(19, 0), std::nullopt},
        {"stored EDID slot 10", CMD_READ_SAVED_EDID, {10}, std::nullopt},
        {"display EDID without the 01", CMD_READ_TV_EDID, {0x00}, std::nullopt},
        // The address rule itself is pinned with --device; these show it is applied.
        {"new address 00/00", CMD_WRITE_ADDRESS, {0x00, 0x00}, std::nullopt},
        {"new address of one byte", CMD_WRITE_ADDRESS, {0x01}, std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Generator g(kAddress, defaultTvEdid());
        ASSERT_TRUE(ask(g, CMD_SET_TIMING, {row.timing}));
        EXPECT_EQ(ask(g, row.code, row.payload), row.data);
        if (!row.data) {
            EXPECT_EQ(g.status(), factoryStatus());
            EXPECT_EQ(g.address(), kAddress);
        }
    }
}

TEST(GeneratorDisplay, HotPlugEdidAndAutoOutputFollowTheDisplay) {
    Generator g(kAddress, defaultTvEdid());
    for (const auto& [code, value] : {std::pair{CMD_SET_COLOR_SPACE, 3},
                                      {CMD_SET_COLOR_DEPTH, 4},
                                      {CMD_SET_OUTPUT_MODE, 2},
                                      {CMD_SET_SAMPLE_RATE, 7},
                                      {CMD_SET_AUDIO_BITS, 3},
                                      {CMD_SET_AUDIO_CHANNELS, 7}})
        ASSERT_TRUE(ask(g, code, {static_cast<std::uint8_t>(value)}));
    // AUTO resolves to RGB, 24 bit, HDMI (the television has the HDMI block), 48K, 24 bit, 2 ch.
    EXPECT_EQ(ask(g, CMD_GET_LINK_STATUS), (Bytes{0, 0, 1, 2, 2, 0}));
    EXPECT_EQ(ask(g, CMD_GET_HOT_PLUG), Bytes{0x01});

    g.setDisplayAttached(false);
    EXPECT_EQ(ask(g, CMD_GET_LINK_STATUS), (Bytes{0, 0, 0, 2, 2, 0})) << "DVI without a display";
    EXPECT_EQ(ask(g, CMD_GET_HOT_PLUG), Bytes{0x00});
    EXPECT_EQ(ask(g, CMD_READ_TV_EDID, {0x01}), std::nullopt);
    ASSERT_TRUE(ask(g, CMD_SET_TIMING, {0x36}));
    EXPECT_EQ(ask(g, CMD_GET_TIMING_DETAILS), bytesOf(standardTimingRecord(0x14)))
        << "AUTO without a display reports 1080P(60)";
    EXPECT_TRUE(ask(g, CMD_READ_SAVED_EDID, {0})) << "stored EDIDs live in the generator";

    EdidBytes dviOnly = defaultTvEdid();
    dviOnly[128] = 0x00;  // no extension block, so no HDMI block
    Generator dvi(kAddress, dviOnly);
    ASSERT_TRUE(ask(dvi, CMD_SET_OUTPUT_MODE, {2}));
    EXPECT_EQ(ask(dvi, CMD_GET_LINK_STATUS), (Bytes{0, 0, 0, 2, 0, 0}));
}

}  // namespace
}  // namespace krx::sim
