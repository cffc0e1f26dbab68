// SPDX-License-Identifier: MIT
#include "sim/generator.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "pages/tables/timing_tables.h"
#include "sim_test_support.h"

namespace krx::sim {
namespace {

using testing::Bytes;

constexpr TargetAddress kAddress{0x01, 0x01};

std::optional<Answer> ask(Generator& g, CommandCode code, Bytes payload = {},
                          std::int64_t nowUs = 0) {
    return g.handle(code, payload, nowUs);
}

TEST(GeneratorAnswers, EveryRequestHasTheDataLengthTheConsoleReads) {
    struct Row {
        const char* name;
        CommandCode code;
        Bytes payload;
        std::size_t dataSize;
    };
    const std::vector<Row> rows = {
        {"timing", CMD_GET_TIMING, {}, 1},
        {"pattern", CMD_GET_PATTERN, {}, 1},
        {"colour space", CMD_GET_COLOR_SPACE, {}, 1},
        {"colour depth", CMD_GET_COLOR_DEPTH, {}, 1},
        {"hdcp", CMD_GET_HDCP, {}, 1},
        {"output mode", CMD_GET_OUTPUT_MODE, {}, 1},
        {"sample rate", CMD_GET_SAMPLE_RATE, {}, 1},
        {"audio bits", CMD_GET_AUDIO_BITS, {}, 1},
        {"audio source", CMD_GET_AUDIO_SOURCE, {}, 1},
        {"channels", CMD_GET_AUDIO_CHANNELS, {}, 1},
        {"hot plug", CMD_GET_HOT_PLUG, {}, 1},
        {"power", CMD_GET_POWER, {}, 1},
        {"user timing slot 0", CMD_GET_USER_TIMING, {0}, 20},
        {"user timing slot 9", CMD_GET_USER_TIMING, {9}, 20},
        {"timing details", CMD_GET_TIMING_DETAILS, {}, 20},
        {"timing details for auto", CMD_GET_TIMING_DETAILS, {0x36}, 20},
        {"link status", CMD_GET_LINK_STATUS, {}, 6},
        {"display EDID", CMD_READ_TV_EDID, {0x01}, 256},
        {"stored EDID", CMD_READ_SAVED_EDID, {9}, 257},
        {"read address", CMD_READ_ADDRESS, {}, 2},
        {"ping", CMD_PING, {}, 2},
        {"set timing", CMD_SET_TIMING, {0x0C}, 0},
        {"set pattern", CMD_SET_PATTERN, {0x24}, 0},
        {"set colour space", CMD_SET_COLOR_SPACE, {3}, 0},
        {"set colour depth", CMD_SET_COLOR_DEPTH, {4}, 0},
        {"set hdcp", CMD_SET_HDCP, {1}, 0},
        {"set output mode", CMD_SET_OUTPUT_MODE, {2}, 0},
        {"set sample rate", CMD_SET_SAMPLE_RATE, {7}, 0},
        {"set audio bits", CMD_SET_AUDIO_BITS, {3}, 0},
        {"set audio source", CMD_SET_AUDIO_SOURCE, {1}, 0},
        {"set channels", CMD_SET_AUDIO_CHANNELS, {7}, 0},
        {"store user timing", CMD_STORE_USER_TIMING, Bytes(20, 0x00), 0},
        {"power", CMD_SET_POWER, {1}, 0},
        {"restore defaults", CMD_RESET_DEFAULTS, {}, 0},
        {"write address", CMD_WRITE_ADDRESS, {0x02, 0x03}, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Generator g(kAddress, defaultTvEdid());
        const auto answer = ask(g, row.code, row.payload);
        ASSERT_TRUE(answer.has_value());
        EXPECT_EQ(answer->code, row.code);
        EXPECT_EQ(answer->data.size(), row.dataSize);
    }
}

TEST(GeneratorAnswers, RequestsThatMakeNoSenseAreIgnored) {
    struct Row {
        const char* name;
        CommandCode code;
        Bytes payload;
    };
    const std::vector<Row> rows = {
        {"set without value", CMD_SET_PATTERN, {}},
        {"set with two values", CMD_SET_HDCP, {1, 1}},
        {"timing beyond the last user slot", CMD_SET_TIMING, {0x41}},
        {"pattern beyond the table", CMD_SET_PATTERN, {0x25}},
        {"colour space beyond 4:2:0", CMD_SET_COLOR_SPACE, {5}},
        {"query with a payload", CMD_GET_TIMING, {0}},
        {"user timing slot 10", CMD_GET_USER_TIMING, {10}},
        {"user timing without slot", CMD_GET_USER_TIMING, {}},
        {"store into slot 10", CMD_STORE_USER_TIMING,
         [] {
             Bytes record(20, 0);
             record[0] = 10;
             return record;
         }()},
        {"store a short record", CMD_STORE_USER_TIMING, Bytes(19, 0)},
        {"stored EDID slot 10", CMD_READ_SAVED_EDID, {10}},
        {"display EDID without the 01", CMD_READ_TV_EDID, {0x00}},
        {"new address 00/00", CMD_WRITE_ADDRESS, {0x00, 0x00}},
        {"new address 00/05", CMD_WRITE_ADDRESS, {0x00, 0x05}},
        {"new address 05/00", CMD_WRITE_ADDRESS, {0x05, 0x00}},
        {"new address FF/01", CMD_WRITE_ADDRESS, {0xFF, 0x01}},
        {"new address 01/FF", CMD_WRITE_ADDRESS, {0x01, 0xFF}},
        {"new address of one byte", CMD_WRITE_ADDRESS, {0x01}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Generator g(kAddress, defaultTvEdid());
        const DeviceStatus before = g.status();
        EXPECT_FALSE(ask(g, row.code, row.payload).has_value());
        EXPECT_EQ(g.status(), before);
        EXPECT_EQ(g.address(), kAddress);
    }
}

TEST(GeneratorState, SetCommandsAreReadBack) {
    struct Row {
        CommandCode set;
        CommandCode get;
        std::uint8_t value;
    };
    const std::vector<Row> rows = {
        {CMD_SET_TIMING, CMD_GET_TIMING, 0x0C},
        {CMD_SET_PATTERN, CMD_GET_PATTERN, 0x11},
        {CMD_SET_COLOR_SPACE, CMD_GET_COLOR_SPACE, 2},
        {CMD_SET_COLOR_DEPTH, CMD_GET_COLOR_DEPTH, 3},
        {CMD_SET_HDCP, CMD_GET_HDCP, 1},
        {CMD_SET_OUTPUT_MODE, CMD_GET_OUTPUT_MODE, 0},
        {CMD_SET_SAMPLE_RATE, CMD_GET_SAMPLE_RATE, 6},
        {CMD_SET_AUDIO_BITS, CMD_GET_AUDIO_BITS, 2},
        {CMD_SET_AUDIO_SOURCE, CMD_GET_AUDIO_SOURCE, 1},
        {CMD_SET_AUDIO_CHANNELS, CMD_GET_AUDIO_CHANNELS, 6},
        {CMD_SET_POWER, CMD_GET_POWER, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(commandName(row.set));
        Generator g(kAddress, defaultTvEdid());
        ASSERT_TRUE(ask(g, row.set, {row.value}));
        const auto answer = ask(g, row.get);
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->data, Bytes{row.value});
    }
}

TEST(GeneratorState, FourKTimingsFollowTheColourRule) {
    struct Row {
        const char* name;
        std::uint8_t spaceBefore;
        std::uint8_t depthBefore;
        std::uint8_t timing;
        std::uint8_t spaceAfter;
        std::uint8_t depthAfter;
    };
    const std::vector<Row> rows = {
        {"4K(30) forces 24 bit, keeps YUV4:4:4", 1, 2, 0x1C, 1, 0},
        {"4096x2160(24) forces 24 bit", 0, 4, 0x21, 0, 0},
        {"4K 4:2:0 (60) sets YUV4:2:0", 0, 1, 0x22, 4, 0},
        {"4K 4:2:0 (50) sets YUV4:2:0", 2, 3, 0x24, 4, 0},
        {"leaving 4:2:0 for 4K(30) gives RGB", 4, 0, 0x1C, 0, 0},
        {"leaving 4:2:0 for 1080P(60) gives RGB, depth kept", 4, 2, 0x14, 0, 2},
        {"below 4K nothing changes", 2, 3, 0x1B, 2, 3},
        {"after 4K nothing changes", 1, 3, 0x25, 1, 3},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Generator g(kAddress, defaultTvEdid());
        ASSERT_TRUE(ask(g, CMD_SET_COLOR_SPACE, {row.spaceBefore}));
        ASSERT_TRUE(ask(g, CMD_SET_COLOR_DEPTH, {row.depthBefore}));
        ASSERT_TRUE(ask(g, CMD_SET_TIMING, {row.timing}));
        EXPECT_EQ(g.status().colorSpace, row.spaceAfter);
        EXPECT_EQ(g.status().colorDepth, row.depthAfter);
    }
}

TEST(GeneratorState, RestoreDefaultsTakesEffectAfterItsDelay) {
    Generator g(kAddress, defaultTvEdid());
    ASSERT_TRUE(ask(g, CMD_SET_PATTERN, {0x05}, 0));
    ASSERT_TRUE(ask(g, CMD_SET_HDCP, {1}, 0));
    ASSERT_TRUE(ask(g, CMD_SET_POWER, {1}, 0));
    ASSERT_TRUE(ask(g, CMD_WRITE_ADDRESS, {0x03, 0x04}, 0));
    Bytes record(20, 0x11);
    record[0] = 2;
    ASSERT_TRUE(ask(g, CMD_STORE_USER_TIMING, record, 0));

    const std::int64_t requestUs = 5'000;
    ASSERT_TRUE(ask(g, CMD_RESET_DEFAULTS, {}, requestUs));
    EXPECT_EQ(ask(g, CMD_GET_PATTERN, {}, requestUs + kRestoreDelayUs - 1)->data, Bytes{0x05});
    EXPECT_EQ(ask(g, CMD_GET_PATTERN, {}, requestUs + kRestoreDelayUs)->data, Bytes{0x00});

    DeviceStatus expected = factoryStatus();
    expected.power = 1;  // the output switch is not a setting
    EXPECT_EQ(g.status(), expected);
    EXPECT_EQ(g.address(), (TargetAddress{0x03, 0x04}));
    EXPECT_EQ(ask(g, CMD_GET_USER_TIMING, {2})->data, record);
}

TEST(GeneratorState, WriteAddressAdoptsOnlyDeviceAddresses) {
    Generator g(kAddress, defaultTvEdid());
    ASSERT_TRUE(ask(g, CMD_WRITE_ADDRESS, {0xFE, 0x01}));
    EXPECT_EQ(ask(g, CMD_READ_ADDRESS)->data, (Bytes{0xFE, 0x01}));
    EXPECT_FALSE(ask(g, CMD_WRITE_ADDRESS, {0x00, 0x00}));
    EXPECT_EQ(g.address(), (TargetAddress{0xFE, 0x01}));
}

TEST(GeneratorTimingDetails, FollowTheCurrentTiming) {
    Generator g(kAddress, defaultTvEdid());
    const auto details = [&g] {
        const Bytes data = ask(g, CMD_GET_TIMING_DETAILS)->data;
        return UserTiming::fromBytes(
            std::span<const std::uint8_t, kUserTimingSize>(data.data(), 20));
    };

    ASSERT_TRUE(ask(g, CMD_SET_TIMING, {0x0E}));
    EXPECT_EQ(details(), standardTimingRecord(0x0E));

    // Automatic: the built-in television prefers 1920x1080p at 148.5 MHz.
    ASSERT_TRUE(ask(g, CMD_SET_TIMING, {0x36}));
    const UserTiming automatic = details();
    EXPECT_EQ(automatic.clock10kHz, 14850);
    EXPECT_EQ(automatic.hActive, 1920);
    EXPECT_EQ(automatic.hBlank, 280);
    EXPECT_EQ(automatic.hSyncOffset, 88);
    EXPECT_EQ(automatic.hSyncWidth, 44);
    EXPECT_EQ(automatic.vActive, 1080);
    EXPECT_EQ(automatic.vBlank, 45);
    EXPECT_EQ(automatic.vSyncOffset, 4);
    EXPECT_EQ(automatic.vSyncWidth, 5);
    EXPECT_EQ(automatic.flags, UserTiming::kHSyncPositive | UserTiming::kVSyncPositive);

    // User slot 4 (code 0x3A) reports what was stored in record slot 3.
    UserTiming stored = standardTimingRecord(0x00);
    stored.slot = 3;
    const auto storedBytes = stored.toBytes();
    ASSERT_TRUE(ask(g, CMD_STORE_USER_TIMING, Bytes(storedBytes.begin(), storedBytes.end())));
    ASSERT_TRUE(ask(g, CMD_SET_TIMING, {0x3A}));
    EXPECT_EQ(details(), stored);
}

TEST(GeneratorDisplay, WithoutADisplayHotPlugIsOffAndItsEdidUnreadable) {
    Generator g(kAddress, defaultTvEdid());
    g.setDisplayAttached(false);
    EXPECT_EQ(ask(g, CMD_GET_HOT_PLUG)->data, Bytes{0x00});
    EXPECT_FALSE(ask(g, CMD_READ_TV_EDID, {0x01}));
    ASSERT_TRUE(ask(g, CMD_SET_TIMING, {0x36}));
    const Bytes data = ask(g, CMD_GET_TIMING_DETAILS)->data;
    const auto record = standardTimingRecord(0x14).toBytes();
    EXPECT_EQ(data, Bytes(record.begin(), record.end()));
    // The stored EDIDs live in the generator and stay readable.
    EXPECT_TRUE(ask(g, CMD_READ_SAVED_EDID, {0}));
}

TEST(GeneratorDisplay, StoredEdidsDifferBySerialAndKeepValidChecksums) {
    Generator g(kAddress, defaultTvEdid());
    std::vector<Bytes> seen;
    for (std::uint8_t slot = 0; slot < 10; ++slot) {
        const Bytes data = ask(g, CMD_READ_SAVED_EDID, {slot})->data;
        ASSERT_EQ(data[0], slot);
        const Bytes edid(data.begin() + 1, data.end());
        EdidBytes image{};
        std::copy(edid.begin(), edid.end(), image.begin());
        EXPECT_TRUE(edidBlockChecksumOk(image, 0)) << "slot " << int{slot};
        EXPECT_TRUE(edidBlockChecksumOk(image, 128)) << "slot " << int{slot};
        EXPECT_EQ(std::find(seen.begin(), seen.end(), edid), seen.end());
        seen.push_back(edid);
    }
    const Bytes tv = ask(g, CMD_READ_TV_EDID, {0x01})->data;
    EXPECT_TRUE(std::equal(tv.begin(), tv.end(), defaultTvEdid().begin()));
}

TEST(GeneratorLinkStatus, AutoSettingsReportWhatIsOutput) {
    Generator g(kAddress, defaultTvEdid());
    EXPECT_EQ(ask(g, CMD_GET_LINK_STATUS)->data, (Bytes{0, 0, 1, 2, 0, 0}));
    for (const auto& [code, value] : {std::pair{CMD_SET_COLOR_SPACE, 3},
                                      {CMD_SET_COLOR_DEPTH, 4},
                                      {CMD_SET_OUTPUT_MODE, 2},
                                      {CMD_SET_SAMPLE_RATE, 7},
                                      {CMD_SET_AUDIO_BITS, 3},
                                      {CMD_SET_AUDIO_CHANNELS, 7}})
        ASSERT_TRUE(ask(g, code, {static_cast<std::uint8_t>(value)}));
    // AUTO resolves to RGB, 24 bit, HDMI (the television has the HDMI block), 48K, 24 bit, 2 ch.
    EXPECT_EQ(ask(g, CMD_GET_LINK_STATUS)->data, (Bytes{0, 0, 1, 2, 2, 0}));
    g.setDisplayAttached(false);
    EXPECT_EQ(ask(g, CMD_GET_LINK_STATUS)->data[2], 0) << "DVI without a display";
}

TEST(GeneratorEdid, BuiltInTelevisionIsAValidHdmiEdid) {
    const EdidBytes edid = defaultTvEdid();
    EXPECT_TRUE(edidBlockChecksumOk(edid, 0));
    EXPECT_TRUE(edidBlockChecksumOk(edid, 128));
    EXPECT_TRUE(edidHasHdmiVsdb(edid));
    EXPECT_EQ(edid[126], 1) << "one extension block";
    EdidBytes noExtension = edid;
    noExtension[128] = 0x00;
    EXPECT_FALSE(edidHasHdmiVsdb(noExtension));
}

}  // namespace
}  // namespace krx::sim
