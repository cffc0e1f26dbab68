// SPDX-License-Identifier: MIT
#include "generator.h"

#include "pages/tables/timing_tables.h"

namespace krx::sim {
namespace {

constexpr std::uint8_t kAutoColorSpace = 3;
constexpr std::uint8_t kYuv420 = 4;
constexpr std::uint8_t kAutoColorDepth = 4;
constexpr std::uint8_t kAutoOutputMode = 2;
constexpr std::uint8_t kAutoSampleRate = 7;
constexpr std::uint8_t kAutoAudioBits = 3;
constexpr std::uint8_t kAutoChannels = 7;
constexpr TimingCode k720p60 = 0x0C;
constexpr TimingCode k1080p60 = 0x14;
// DeviceStatus fields 0..9 are output settings; hot plug and power follow them.
constexpr std::size_t kOutputSettingCount = 10;

struct Setting {
    CommandCode code;
    std::int8_t DeviceStatus::*field;
    std::uint8_t maxValue;
};

// The single-byte set commands, the field each writes and the highest value it takes.
constexpr std::array<Setting, 10> kSettings = {{
    {CMD_SET_TIMING, &DeviceStatus::timingCode, static_cast<std::uint8_t>(kLastUserTiming)},
    {CMD_SET_PATTERN, &DeviceStatus::patternCode, 0x24},
    {CMD_SET_COLOR_SPACE, &DeviceStatus::colorSpace, 4},
    {CMD_SET_COLOR_DEPTH, &DeviceStatus::colorDepth, 4},
    {CMD_SET_HDCP, &DeviceStatus::hdcp, 1},
    {CMD_SET_OUTPUT_MODE, &DeviceStatus::outputMode, 2},
    {CMD_SET_SAMPLE_RATE, &DeviceStatus::sampleRate, 7},
    {CMD_SET_AUDIO_BITS, &DeviceStatus::audioBits, 3},
    {CMD_SET_AUDIO_SOURCE, &DeviceStatus::audioSource, 1},
    {CMD_SET_AUDIO_CHANNELS, &DeviceStatus::channels, 7},
}};

// The single-byte reads, the field each reports.
struct Query {
    CommandCode code;
    std::int8_t DeviceStatus::*field;
};
constexpr std::array<Query, 12> kQueries = {{
    {CMD_GET_TIMING, &DeviceStatus::timingCode},
    {CMD_GET_PATTERN, &DeviceStatus::patternCode},
    {CMD_GET_COLOR_SPACE, &DeviceStatus::colorSpace},
    {CMD_GET_COLOR_DEPTH, &DeviceStatus::colorDepth},
    {CMD_GET_HDCP, &DeviceStatus::hdcp},
    {CMD_GET_OUTPUT_MODE, &DeviceStatus::outputMode},
    {CMD_GET_SAMPLE_RATE, &DeviceStatus::sampleRate},
    {CMD_GET_AUDIO_BITS, &DeviceStatus::audioBits},
    {CMD_GET_AUDIO_SOURCE, &DeviceStatus::audioSource},
    {CMD_GET_AUDIO_CHANNELS, &DeviceStatus::channels},
    {CMD_GET_HOT_PLUG, &DeviceStatus::hotPlug},
    {CMD_GET_POWER, &DeviceStatus::power},
}};

std::uint8_t u8(std::int8_t v) {
    return static_cast<std::uint8_t>(v);
}

std::vector<std::uint8_t> bytesOf(const UserTiming& record) {
    const auto b = record.toBytes();
    return {b.begin(), b.end()};
}

// A copy of `edid` whose serial number (bytes 12..15) is `serial`, so the ten stored EDIDs can be
// told apart. The block checksum moves by the same amount, so a valid block stays valid and a
// broken one stays broken.
EdidBytes withSerialNumber(const EdidBytes& edid, std::uint8_t serial) {
    EdidBytes copy = edid;
    const std::array<std::uint8_t, 4> serialBytes = {serial, 0x00, 0x00, 0x00};
    int delta = 0;
    for (std::size_t i = 0; i < serialBytes.size(); ++i) {
        delta += copy[12 + i] - serialBytes[i];
        copy[12 + i] = serialBytes[i];
    }
    copy[127] = static_cast<std::uint8_t>(copy[127] + delta);
    return copy;
}

}  // namespace

DeviceStatus factoryStatus() {
    DeviceStatus s;
    s.timingCode = 0x14;  // 1080P(60)
    s.patternCode = 0;
    s.colorSpace = 0;  // RGB 4:4:4
    s.colorDepth = 0;  // 24 bit
    s.hdcp = 0;
    s.outputMode = 1;  // HDMI
    s.sampleRate = 2;  // 48K
    s.audioBits = 0;   // 16 bit
    s.audioSource = 0;
    s.channels = 0;  // 2 channels
    s.hotPlug = 1;
    s.power = 0;  // output on
    return s;
}

Generator::Generator(TargetAddress address, const EdidBytes& attachedEdid)
    : address_(address), status_(factoryStatus()), attachedEdid_(attachedEdid) {
    for (std::size_t i = 0; i < kUserTimingSlots; ++i) {
        userTimings_[i] = standardTimingRecord(k720p60);
        userTimings_[i].slot = static_cast<std::uint8_t>(i);
    }
    for (std::size_t slot = 0; slot < storedEdids_.size(); ++slot)
        storedEdids_[slot] = withSerialNumber(attachedEdid, static_cast<std::uint8_t>(slot));
}

void Generator::setDisplayAttached(bool attached) {
    status_.hotPlug = attached ? 1 : 0;
}

Reach Generator::reach(TargetAddress to) const {
    if (to.group == 0x00 && to.device == 0x00)
        return Reach::Answer;
    if (to.group == 0xFF && to.device == 0xFF)
        return Reach::Act;
    if (to.group == 0x00 || to.group == 0xFF)
        return Reach::Ignore;  // (00, dd), (FF, dd), (00, FF), (FF, 00) are invalid
    if (address_.group != to.group)
        return Reach::Ignore;
    if (to.device == 0x00)
        return Reach::Answer;
    if (to.device == 0xFF)
        return Reach::Act;  // the group, silently, as FF/FF is the line silently
    return address_.device == to.device ? Reach::Answer : Reach::Ignore;
}

void Generator::settle(std::int64_t nowUs) {
    if (!restoreAtUs_ || nowUs < *restoreAtUs_)
        return;
    restoreAtUs_.reset();
    const DeviceStatus fresh = factoryStatus();
    // Output settings only: the display side, the power state, slots and address are kept.
    for (std::size_t i = 0; i < kOutputSettingCount; ++i)
        status_.*kStatusFields[i] = fresh.*kStatusFields[i];
}

void Generator::setTiming(std::uint8_t code) {
    const TimingCode timing = code;
    status_.timingCode = static_cast<std::int8_t>(code);
    if (is4k(timing))
        status_.colorDepth = 0;
    if (is4k420(timing))
        status_.colorSpace = static_cast<std::int8_t>(kYuv420);
    else if (status_.colorSpace == kYuv420)
        status_.colorSpace = 0;
}

std::optional<Answer> Generator::setValue(CommandCode code, std::span<const std::uint8_t> payload) {
    for (const Setting& s : kSettings) {
        if (s.code != code)
            continue;
        if (payload.size() != 1 || payload[0] > s.maxValue)
            return std::nullopt;
        if (code == CMD_SET_TIMING)
            setTiming(payload[0]);
        else
            status_.*s.field = static_cast<std::int8_t>(payload[0]);
        return Answer{code, {}};
    }
    return std::nullopt;
}

std::optional<Answer> Generator::handle(CommandCode code, std::span<const std::uint8_t> payload,
                                        std::int64_t nowUs) {
    settle(nowUs);
    for (const Setting& s : kSettings) {
        if (s.code == code)
            return setValue(code, payload);
    }
    for (const Query& q : kQueries) {
        if (q.code == code)
            return payload.empty() ? std::optional<Answer>(Answer{code, {u8(status_.*q.field)}})
                                   : std::nullopt;
    }
    if (auto answer = deviceCommand(code, payload, nowUs))
        return answer;
    return readRecord(code, payload);
}

std::optional<Answer> Generator::deviceCommand(CommandCode code,
                                               std::span<const std::uint8_t> payload,
                                               std::int64_t nowUs) {
    switch (code) {
        case CMD_STORE_USER_TIMING:
            if (payload.size() != kUserTimingSize || payload[0] >= kUserTimingSlots)
                return std::nullopt;
            userTimings_[payload[0]] = UserTiming::fromBytes(
                std::span<const std::uint8_t, kUserTimingSize>(payload.data(), kUserTimingSize));
            return Answer{code, {}};
        case CMD_SET_POWER:
            if (payload.size() != 1)
                return std::nullopt;
            status_.power = static_cast<std::int8_t>(payload[0] == 0 ? 0 : 1);
            return Answer{code, {}};
        case CMD_WRITE_ADDRESS: {
            if (payload.size() != 2)
                return std::nullopt;
            const TargetAddress next{payload[0], payload[1]};
            // 00/00 would "delete" the address; a device must stay reachable, so it is refused
            // like every other pair outside 01..FE.
            if (!isDeviceAddress(next))
                return std::nullopt;
            address_ = next;
            return Answer{code, {}};
        }
        case CMD_RESET_DEFAULTS:
            if (!payload.empty())
                return std::nullopt;
            restoreAtUs_ = nowUs + kRestoreDelayUs;
            return Answer{code, {}};
        case CMD_00A8:
        case CMD_7878:
            return Answer{code, {}};
        case CMD_READ_ADDRESS:
            return Answer{code, {address_.group, address_.device}};
        case CMD_PING:
            return Answer{code, {0x00, 0x00}};
        default:
            return std::nullopt;
    }
}

std::optional<Answer> Generator::readRecord(CommandCode code,
                                            std::span<const std::uint8_t> payload) const {
    switch (code) {
        case CMD_GET_USER_TIMING:
            if (payload.size() != 1 || payload[0] >= kUserTimingSlots)
                return std::nullopt;
            return Answer{code, bytesOf(userTimings_[payload[0]])};
        case CMD_GET_TIMING_DETAILS:
            if (payload.size() > 1)
                return std::nullopt;
            return Answer{code, bytesOf(currentTimingRecord())};
        case CMD_GET_LINK_STATUS: {
            if (!payload.empty())
                return std::nullopt;
            const auto link = linkStatus();
            return Answer{code, {link.begin(), link.end()}};
        }
        case CMD_READ_SAVED_EDID: {
            if (payload.size() != 1 || payload[0] >= storedEdids_.size())
                return std::nullopt;
            Answer a{code, {payload[0]}};
            const EdidBytes& e = storedEdids_[payload[0]];
            a.data.insert(a.data.end(), e.begin(), e.end());
            return a;
        }
        case CMD_READ_TV_EDID:
            if (payload.size() != 1 || payload[0] != 0x01 || status_.hotPlug == 0)
                return std::nullopt;
            return Answer{code, {attachedEdid_.begin(), attachedEdid_.end()}};
        default:
            return std::nullopt;
    }
}

UserTiming Generator::currentTimingRecord() const {
    const TimingCode code = status_.timingCode;
    if (isStandardTiming(code))
        return standardTimingRecord(code);
    if (code == kAutoTiming)
        return status_.hotPlug != 0 ? preferredTimingRecord(attachedEdid_)
                                    : standardTimingRecord(k1080p60);
    if (isUserTiming(code))
        return userTimings_[static_cast<std::size_t>(code - kFirstUserTiming)];
    return UserTiming{};
}

std::array<std::uint8_t, 6> Generator::linkStatus() const {
    const auto resolve = [](std::int8_t value, std::uint8_t autoValue, std::uint8_t concrete) {
        const std::uint8_t v = u8(value);
        return v == autoValue ? concrete : v;
    };
    // Without a display there is no sink to ask for HDMI, so AUTO falls back to DVI.
    const std::uint8_t hdmi = status_.hotPlug != 0 && edidHasHdmiVsdb(attachedEdid_) ? 1 : 0;
    return {
        resolve(status_.colorSpace, kAutoColorSpace, 0),  // RGB 4:4:4
        resolve(status_.colorDepth, kAutoColorDepth, 0),  // 24 bit
        resolve(status_.outputMode, kAutoOutputMode, hdmi),
        resolve(status_.sampleRate, kAutoSampleRate, 2),  // 48K
        resolve(status_.audioBits, kAutoAudioBits, 2),    // 24 bit
        resolve(status_.channels, kAutoChannels, 0),      // 2 channels
    };
}

}  // namespace krx::sim
