// SPDX-License-Identifier: MIT
// What the generator is: its timing codes and the parameters of its built-in timings, the colour
// rule it applies on its own, its link and audio options with their values and commands, and the
// data length of each answer. Console and simulator both read these facts from here; captions and
// status texts belong to the pages.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "link/command_frame.h"
#include "link/device_status.h"

namespace krx {

// ---- Timing codes ---------------------------------------------------------------------------

// A timing code as reported or chosen: 0x00..0x40 are real timings. Held signed, because the
// generator's status byte arrives as a signed value and may be negative.
using TimingCode = int;

inline constexpr TimingCode kFirstTimingCode = 0x00;
inline constexpr TimingCode kLastStandardTiming = 0x35;  // last row of kStandardTimings
inline constexpr TimingCode kAutoTiming = 0x36;          // follows the display's EDID
inline constexpr TimingCode kFirstUserTiming = 0x37;     // user slot 1
inline constexpr TimingCode kLastUserTiming = 0x40;      // user slot 10
inline constexpr std::size_t kTimingCount = 65;

constexpr bool isTimingCode(TimingCode code) {
    return code >= kFirstTimingCode && code <= kLastUserTiming;
}
constexpr bool isStandardTiming(TimingCode code) {
    return code >= kFirstTimingCode && code <= kLastStandardTiming;
}
constexpr bool is4k(TimingCode code) {
    return code >= 0x1C && code <= 0x24;
}
// The 4K timings the generator sends with YCbCr 4:2:0 sampling, a subset of is4k.
constexpr bool is4k420(TimingCode code) {
    return code >= 0x22 && code <= 0x24;
}
constexpr bool isUserTiming(TimingCode code) {
    return code >= kFirstUserTiming && code <= kLastUserTiming;
}
// Slot number 1..10 of a user code, 0 for any other code.
constexpr int userSlotOf(TimingCode code) {
    return isUserTiming(code) ? code - kAutoTiming : 0;
}
constexpr TimingCode userTimingCode(int slot) {
    return kAutoTiming + slot;
}

// A pattern code as reported or chosen: 0x00..0x24 are real patterns. Signed like TimingCode.
using PatternCode = int;
inline constexpr PatternCode kLastPatternCode = 0x24;

// ---- Built-in timings -----------------------------------------------------------------------

// One built-in timing: V values are frame values, halved by the consumer for interlaced rows.
struct StandardTiming {
    float clockMHz;
    std::uint8_t flags;  // kStdInterlaced | kStdHSyncPositive | kStdVSyncPositive
    std::uint16_t hActive;
    std::uint16_t hTotal;
    std::uint16_t hSyncWidth;
    std::uint16_t hSyncToActive;  // sync width plus back porch
    std::uint16_t vActive;
    std::uint16_t vTotal;
    std::uint16_t vSyncWidth;
    std::uint16_t vSyncToActive;
};

// Bit layout of StandardTiming::flags (differs from UserTiming's).
inline constexpr std::uint8_t kStdInterlaced = 0x01;
inline constexpr std::uint8_t kStdHSyncPositive = 0x04;
inline constexpr std::uint8_t kStdVSyncPositive = 0x08;

// Codes 0x00..0x35, indexed by code.
extern const std::array<StandardTiming, 54> kStandardTimings;

// The built-in row of `code` as the 20-byte record a generator reports for it: clock10kHz =
// MHz x 100 rounded, hBlank = total - active, hSyncOffset = hBlank - syncToActive, V values per
// field for interlaced rows, flags in the record's layout, slot byte 0. A code without a built-in
// row gives an all-zero record.
UserTiming standardTimingRecord(TimingCode code);

// ---- The colour rule of the 4K timings ------------------------------------------------------

// Colour space values (DeviceStatus::colorSpace, CMD_SET_COLOR_SPACE) the rule uses.
inline constexpr int kColorSpaceRgb444 = 0;
inline constexpr int kColorSpaceYuv420 = 4;
// Colour depth value of 24 bit.
inline constexpr int kColorDepth24Bit = 0;

struct ColourChoice {
    int colorSpace = 0;
    int colorDepth = 0;
    friend bool operator==(const ColourChoice&, const ColourChoice&) = default;
};

// What the generator does by itself on switching to `timing`: a 4K timing forces 24 bit, a 4K
// 4:2:0 timing forces YUV4:2:0, and any other timing turns YUV4:2:0 back into RGB4:4:4. Every
// other choice is kept (nothing is restored on leaving 4K).
constexpr ColourChoice coloursForTiming(TimingCode timing, ColourChoice current) {
    ColourChoice next = current;
    if (is4k(timing))
        next.colorDepth = kColorDepth24Bit;
    if (is4k420(timing))
        next.colorSpace = kColorSpaceYuv420;
    else if (next.colorSpace == kColorSpaceYuv420)
        next.colorSpace = kColorSpaceRgb444;
    return next;
}

// ---- Link and audio options -----------------------------------------------------------------

// The eight one-byte options of the Setting page, in its screen order.
enum class SettingOption {
    OutputMode,
    Hdcp,
    ColorSpace,
    ColorDepth,
    AudioSource,
    SampleRate,
    AudioBits,
    Channels,
};

inline constexpr int kNoAutoValue = -1;

// One option: the values 0..valueCount-1 the generator takes (the payload of setCode, the answer
// of getCode and the matching DeviceStatus field), which of them is AUTO, and the field.
struct SettingFacts {
    SettingOption option;
    int valueCount;
    int autoValue;  // kNoAutoValue when the option has none
    CommandCode setCode;
    CommandCode getCode;
    std::int8_t DeviceStatus::*field;

    constexpr bool hasAuto() const { return autoValue != kNoAutoValue; }
    constexpr bool isValue(int value) const { return value >= 0 && value < valueCount; }
};

inline constexpr std::size_t kSettingOptionCount = 8;

inline constexpr std::array<SettingFacts, kSettingOptionCount> kSettingFacts = {{
    // 0 DVI, 1 HDMI, 2 AUTO
    {SettingOption::OutputMode, 3, 2, CMD_SET_OUTPUT_MODE, CMD_GET_OUTPUT_MODE,
     &DeviceStatus::outputMode},
    // 0 off, 1 on
    {SettingOption::Hdcp, 2, kNoAutoValue, CMD_SET_HDCP, CMD_GET_HDCP, &DeviceStatus::hdcp},
    // 0 RGB4:4:4, 1 YUV4:4:4, 2 YUV4:2:2, 3 AUTO, 4 YUV4:2:0
    {SettingOption::ColorSpace, 5, 3, CMD_SET_COLOR_SPACE, CMD_GET_COLOR_SPACE,
     &DeviceStatus::colorSpace},
    // 0 24bit, 1 30bit, 2 36bit, 3 48bit, 4 AUTO
    {SettingOption::ColorDepth, 5, 4, CMD_SET_COLOR_DEPTH, CMD_GET_COLOR_DEPTH,
     &DeviceStatus::colorDepth},
    // 0 internal generated, 1 external stereo input
    {SettingOption::AudioSource, 2, kNoAutoValue, CMD_SET_AUDIO_SOURCE, CMD_GET_AUDIO_SOURCE,
     &DeviceStatus::audioSource},
    // 0 32K, 1 44K, 2 48K, 3 88K, 4 96K, 5 176K, 6 192K, 7 AUTO
    {SettingOption::SampleRate, 8, 7, CMD_SET_SAMPLE_RATE, CMD_GET_SAMPLE_RATE,
     &DeviceStatus::sampleRate},
    // 0 16bit, 1 20bit, 2 24bit, 3 AUTO
    {SettingOption::AudioBits, 4, 3, CMD_SET_AUDIO_BITS, CMD_GET_AUDIO_BITS,
     &DeviceStatus::audioBits},
    // 0..6 = 2..8 channels, 7 AUTO
    {SettingOption::Channels, 8, 7, CMD_SET_AUDIO_CHANNELS, CMD_GET_AUDIO_CHANNELS,
     &DeviceStatus::channels},
}};

constexpr const SettingFacts& settingFacts(SettingOption option) {
    return kSettingFacts[static_cast<std::size_t>(option)];
}

// The option a set or get command carries, if any.
const SettingFacts* settingFactsForCode(CommandCode code);

// ---- Answers --------------------------------------------------------------------------------

// The six bytes of the link-status answer, in order: colour space, colour depth, output mode,
// sample rate, audio bits, channels, as actually output (AUTO resolved).
inline constexpr std::array<SettingOption, 6> kLinkStatusOptions = {
    SettingOption::ColorSpace, SettingOption::ColorDepth, SettingOption::OutputMode,
    SettingOption::SampleRate, SettingOption::AudioBits,  SettingOption::Channels,
};

inline constexpr std::size_t kStatusAnswerSize = 1;  // each query of the status sweep
inline constexpr std::size_t kLinkStatusSize = kLinkStatusOptions.size();
inline constexpr std::size_t kEdidAnswerSize = 256;  // the display's EDID
inline constexpr std::size_t kSavedEdidAnswerSize =
    1 + kEdidAnswerSize;  // slot byte, then the EDID
inline constexpr std::size_t kAddressAnswerSize = 2;
inline constexpr std::size_t kPingAnswerSize = 2;

// How a client opens the generator's line: 115200 baud, 8 data bits, no parity, 1 stop bit,
// the channel's event mask, and room for the longest frame in the pending-frame buffer.
struct LineSettings {
    int baud;
    char parity;
    int dataBits;
    int stopBits;
    std::uint32_t eventMask;
    std::uint32_t bufferSize;
};
inline constexpr LineSettings kGeneratorLine{115200, 'N', 8, 1, 0x0003, 512};

// How long a client waits for an answer before it abandons the exchange.
inline constexpr int kFirstProbeWaitMs = 300;  // the first presence probe of a search
inline constexpr int kLaterProbeWaitMs = 400;  // every later probe
inline constexpr int kAnswerWaitMs = 400;      // a status query, the first one included

// Data bytes of the generator's answer to `request`: 0 for an acknowledged set command, nothing
// for a code outside the command set.
std::optional<std::size_t> answerDataSize(CommandCode request);

// The length field (data bytes + 5) of an answer with `dataSize` data bytes.
constexpr std::uint16_t answerLengthField(std::size_t dataSize) {
    return static_cast<std::uint16_t>(dataSize + 5);
}

}  // namespace krx
