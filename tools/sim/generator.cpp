// SPDX-License-Identifier: MIT
#include "generator.h"

#include <algorithm>

#include "link/generator_facts.h"

namespace krx::sim {
namespace {

constexpr TimingCode k720p60 = 0x0C;
constexpr TimingCode k1080p60 = 0x14;
// DeviceStatus fields 0..9 are output settings; hot plug and power follow them.
constexpr std::size_t kOutputSettingCount = 10;
constexpr std::size_t kStatusQueryCount = kStatusFieldCount;  // entries 0..11 of the sweep

std::uint8_t u8(std::int8_t v) {
    return static_cast<std::uint8_t>(v);
}

// The one-byte set commands: timing, pattern and the eight link and audio options.
bool isSetValueCode(CommandCode code) {
    if (code == CMD_SET_TIMING || code == CMD_SET_PATTERN)
        return true;
    const SettingFacts* facts = settingFactsForCode(code);
    return facts != nullptr && facts->setCode == code;
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
    status_.timingCode = static_cast<std::int8_t>(code);
    const ColourChoice colours = coloursForTiming(code, {status_.colorSpace, status_.colorDepth});
    status_.colorSpace = static_cast<std::int8_t>(colours.colorSpace);
    status_.colorDepth = static_cast<std::int8_t>(colours.colorDepth);
}

std::optional<Answer> Generator::setValue(CommandCode code, std::span<const std::uint8_t> payload) {
    if (payload.size() != 1)
        return std::nullopt;
    const int value = payload[0];
    if (code == CMD_SET_TIMING) {
        if (!isTimingCode(value))
            return std::nullopt;
        setTiming(payload[0]);
    } else if (code == CMD_SET_PATTERN) {
        if (value > kLastPatternCode)
            return std::nullopt;
        status_.patternCode = static_cast<std::int8_t>(value);
    } else {
        const SettingFacts* facts = settingFactsForCode(code);
        if (!facts->isValue(value))
            return std::nullopt;
        status_.*facts->field = static_cast<std::int8_t>(value);
    }
    return Answer{code, {}};
}

std::optional<Answer> Generator::handle(CommandCode code, std::span<const std::uint8_t> payload,
                                        std::int64_t nowUs) {
    settle(nowUs);
    if (isSetValueCode(code))
        return setValue(code, payload);
    // The single-byte reads are the sweep's queries 0..11, each reporting its status field.
    const auto* query =
        std::find(kStatusQueryCodes.begin(), kStatusQueryCodes.begin() + kStatusQueryCount, code);
    if (query != kStatusQueryCodes.begin() + kStatusQueryCount) {
        if (!payload.empty())
            return std::nullopt;
        const auto field =
            kStatusFields[static_cast<std::size_t>(query - kStatusQueryCodes.begin())];
        return Answer{code, {u8(status_.*field)}};
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
    // The device keeps the code as the byte it was sent (0x00..0x40), never negative.
    const TimingCode code = u8(status_.timingCode);
    if (isStandardTiming(code))
        return standardTimingRecord(code);
    if (code == kAutoTiming)
        return status_.hotPlug != 0 ? preferredTimingRecord(attachedEdid_)
                                    : standardTimingRecord(k1080p60);
    if (isUserTiming(code))
        return userTimings_[static_cast<std::size_t>(code - kFirstUserTiming)];
    return UserTiming{};
}

std::array<std::uint8_t, kLinkStatusSize> Generator::linkStatus() const {
    // Without a display there is no sink to ask for HDMI, so AUTO falls back to DVI.
    const std::uint8_t hdmi = status_.hotPlug != 0 && edidHasHdmiVsdb(attachedEdid_) ? 1 : 0;
    // What AUTO resolves to, per entry of kLinkStatusOptions: RGB 4:4:4, 24 bit, HDMI or DVI,
    // 48K, 24 bit, 2 channels.
    const std::array<std::uint8_t, kLinkStatusSize> autoResolved = {0, 0, hdmi, 2, 2, 0};
    std::array<std::uint8_t, kLinkStatusSize> link{};
    for (std::size_t i = 0; i < kLinkStatusSize; ++i) {
        const SettingFacts& facts = settingFacts(kLinkStatusOptions[i]);
        const std::uint8_t value = u8(status_.*facts.field);
        link[i] = value == facts.autoValue ? autoResolved[i] : value;
    }
    return link;
}

}  // namespace krx::sim
