// SPDX-License-Identifier: MIT
#include "link/device_status.h"

#include <gtest/gtest.h>

namespace krx {
namespace {

TEST(UserTiming, DecodesLittleEndianFieldsInRecordOrder) {
    const std::array<std::uint8_t, kUserTimingSize> bytes = {
        0x02, 0x01, 0x1D, 0x07, 0x80, 0x07, 0x18, 0x01, 0x58, 0x00,
        0x2C, 0x00, 0x1C, 0x02, 0x16, 0x00, 0x02, 0x00, 0x05, 0x00};
    const auto t = UserTiming::fromBytes(bytes);
    EXPECT_EQ(t.slot, 2);
    EXPECT_EQ(t.clock10kHz, 7425);
    EXPECT_EQ(t.flags,
              UserTiming::kInterlaced | UserTiming::kHSyncPositive | UserTiming::kVSyncPositive);
    EXPECT_EQ(t.hActive, 1920);
    EXPECT_EQ(t.hBlank, 280);
    EXPECT_EQ(t.hSyncOffset, 88);
    EXPECT_EQ(t.hSyncWidth, 44);
    EXPECT_EQ(t.vActive, 540);
    EXPECT_EQ(t.vBlank, 22);
    EXPECT_EQ(t.vSyncOffset, 2);
    EXPECT_EQ(t.vSyncWidth, 5);
    EXPECT_EQ(t.toBytes(), bytes);
}

TEST(DeviceStatus, FieldTableFollowsQueryOrder) {
    DeviceStatus s;
    for (std::size_t i = 0; i < kStatusFieldCount; ++i) {
        s.*kStatusFields[i] = static_cast<std::int8_t>(i + 1);
    }
    EXPECT_EQ(s.timingCode, 1);
    EXPECT_EQ(s.colorSpace, 3);
    EXPECT_EQ(s.channels, 10);
    EXPECT_EQ(s.hotPlug, 11);
    EXPECT_EQ(s.power, 12);
}

}  // namespace
}  // namespace krx
