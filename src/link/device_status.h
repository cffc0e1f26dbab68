// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace krx {

// The generator's twelve status bytes as the last status sweep read them, one per entry 0..11 of
// kStatusQueryCodes. Values are signed: a reported 0x80..0xFF arrives negative and is passed on.
struct DeviceStatus {
    std::int8_t timingCode = 0;
    std::int8_t patternCode = 0;
    std::int8_t colorSpace = 0;   // 0 RGB4:4:4, 1 YUV4:4:4, 2 YUV4:2:2, 3 AUTO, 4 YUV4:2:0
    std::int8_t colorDepth = 0;   // 0 24bit, 1 30bit, 2 36bit, 3 48bit, 4 AUTO
    std::int8_t hdcp = 0;         // 0 off, 1 on
    std::int8_t outputMode = 0;   // 0 DVI, 1 HDMI, 2 AUTO
    std::int8_t sampleRate = 0;   // 0 32K .. 6 192K, 7 AUTO
    std::int8_t audioBits = 0;    // 0 16bit, 1 20bit, 2 24bit, 3 AUTO
    std::int8_t audioSource = 0;  // 0 internal generated, 1 external stereo input
    std::int8_t channels = 0;     // 0..6 = 2..8 channels, 7 AUTO
    std::int8_t hotPlug = 0;      // non-zero: a display is attached
    std::int8_t power = 0;        // 0 output on, otherwise off

    friend bool operator==(const DeviceStatus&, const DeviceStatus&) = default;
};

inline constexpr std::size_t kStatusFieldCount = 12;

// The fields in the order of kStatusQueryCodes, for the sweep to store answer i into field i.
inline constexpr std::array<std::int8_t DeviceStatus::*, kStatusFieldCount> kStatusFields = {
    &DeviceStatus::timingCode, &DeviceStatus::patternCode, &DeviceStatus::colorSpace,
    &DeviceStatus::colorDepth, &DeviceStatus::hdcp,        &DeviceStatus::outputMode,
    &DeviceStatus::sampleRate, &DeviceStatus::audioBits,   &DeviceStatus::audioSource,
    &DeviceStatus::channels,   &DeviceStatus::hotPlug,     &DeviceStatus::power,
};

inline constexpr std::size_t kUserTimingSize = 20;
inline constexpr std::size_t kUserTimingSlots = 10;

// The 20-byte timing record of the user-defined slots and of the current-timing answer.
// 16-bit fields are little-endian on the wire.
struct UserTiming {
    std::uint8_t slot = 0;         // 0..9 when the console stores a record
    std::uint16_t clock10kHz = 0;  // pixel clock, MHz x 100
    std::uint8_t flags = 0;        // kInterlaced | kHSyncPositive | kVSyncPositive
    std::uint16_t hActive = 0;
    std::uint16_t hBlank = 0;
    std::uint16_t hSyncOffset = 0;  // end of active video to start of sync
    std::uint16_t hSyncWidth = 0;
    std::uint16_t vActive = 0;  // per field when interlaced
    std::uint16_t vBlank = 0;
    std::uint16_t vSyncOffset = 0;
    std::uint16_t vSyncWidth = 0;

    static constexpr std::uint8_t kInterlaced = 0x01;
    static constexpr std::uint8_t kHSyncPositive = 0x02;
    static constexpr std::uint8_t kVSyncPositive = 0x04;

    static UserTiming fromBytes(std::span<const std::uint8_t, kUserTimingSize> bytes);
    std::array<std::uint8_t, kUserTimingSize> toBytes() const;

    friend bool operator==(const UserTiming&, const UserTiming&) = default;
};

}  // namespace krx
