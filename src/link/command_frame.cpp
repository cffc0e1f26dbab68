// SPDX-License-Identifier: MIT
#include "command_frame.h"

#include <algorithm>
#include <numeric>
#include <utility>

namespace krx {
namespace {

std::optional<CommandFrame> composeFrame(std::uint8_t start, std::uint8_t group,
                                         std::uint8_t device, CommandCode code,
                                         std::span<const std::uint8_t> payload) {
    if (payload.size() > kMaxPayload) {
        return std::nullopt;
    }
    CommandFrame frame;
    auto& b = frame.bytes;
    const auto length = static_cast<std::uint16_t>(payload.size() + kEmptyFrameLength);
    b[0] = start;
    b[1] = 0x00;
    b[2] = 0x00;
    b[3] = static_cast<std::uint8_t>(length & 0xFF);
    b[4] = static_cast<std::uint8_t>(length >> 8);
    b[5] = group;
    b[6] = device;
    b[7] = static_cast<std::uint8_t>(code & 0xFF);
    b[8] = static_cast<std::uint8_t>(code >> 8);
    std::copy(payload.begin(), payload.end(), b.begin() + kFrameHeadSize);
    const std::size_t body = kFrameHeadSize + payload.size();
    b[body] = frameChecksum({b.data(), body});
    frame.size = body + 1;
    return frame;
}

constexpr std::pair<CommandCode, std::string_view> kCommandNames[] = {
    {CMD_SET_TIMING, "CMD_SET_TIMING"},
    {CMD_SET_PATTERN, "CMD_SET_PATTERN"},
    {CMD_SET_COLOR_SPACE, "CMD_SET_COLOR_SPACE"},
    {CMD_SET_COLOR_DEPTH, "CMD_SET_COLOR_DEPTH"},
    {CMD_SET_HDCP, "CMD_SET_HDCP"},
    {CMD_SET_OUTPUT_MODE, "CMD_SET_OUTPUT_MODE"},
    {CMD_SET_SAMPLE_RATE, "CMD_SET_SAMPLE_RATE"},
    {CMD_SET_AUDIO_BITS, "CMD_SET_AUDIO_BITS"},
    {CMD_SET_AUDIO_SOURCE, "CMD_SET_AUDIO_SOURCE"},
    {CMD_SET_AUDIO_CHANNELS, "CMD_SET_AUDIO_CHANNELS"},
    {CMD_STORE_USER_TIMING, "CMD_STORE_USER_TIMING"},
    {CMD_00A8, "CMD_00A8"},
    {CMD_SET_POWER, "CMD_SET_POWER"},
    {CMD_WRITE_ADDRESS, "CMD_WRITE_ADDRESS"},
    {CMD_RESET_DEFAULTS, "CMD_RESET_DEFAULTS"},
    {CMD_7878, "CMD_7878"},
    {CMD_GET_TIMING, "CMD_GET_TIMING"},
    {CMD_GET_PATTERN, "CMD_GET_PATTERN"},
    {CMD_GET_COLOR_SPACE, "CMD_GET_COLOR_SPACE"},
    {CMD_GET_COLOR_DEPTH, "CMD_GET_COLOR_DEPTH"},
    {CMD_GET_HDCP, "CMD_GET_HDCP"},
    {CMD_GET_OUTPUT_MODE, "CMD_GET_OUTPUT_MODE"},
    {CMD_GET_SAMPLE_RATE, "CMD_GET_SAMPLE_RATE"},
    {CMD_GET_AUDIO_BITS, "CMD_GET_AUDIO_BITS"},
    {CMD_GET_AUDIO_SOURCE, "CMD_GET_AUDIO_SOURCE"},
    {CMD_GET_AUDIO_CHANNELS, "CMD_GET_AUDIO_CHANNELS"},
    {CMD_GET_USER_TIMING, "CMD_GET_USER_TIMING"},
    {CMD_GET_TIMING_DETAILS, "CMD_GET_TIMING_DETAILS"},
    {CMD_GET_LINK_STATUS, "CMD_GET_LINK_STATUS"},
    {CMD_READ_SAVED_EDID, "CMD_READ_SAVED_EDID"},
    {CMD_GET_POWER, "CMD_GET_POWER"},
    {CMD_READ_TV_EDID, "CMD_READ_TV_EDID"},
    {CMD_GET_HOT_PLUG, "CMD_GET_HOT_PLUG"},
    {CMD_READ_ADDRESS, "CMD_READ_ADDRESS"},
    {CMD_PING, "CMD_PING"},
};

}  // namespace

std::uint8_t frameChecksum(std::span<const std::uint8_t> bytes) {
    const unsigned sum = std::accumulate(bytes.begin(), bytes.end(), 0U);
    return static_cast<std::uint8_t>((0x100U - (sum & 0xFFU)) & 0xFFU);
}

std::optional<CommandFrame> buildFrame(std::uint8_t group, std::uint8_t device, CommandCode code,
                                       std::span<const std::uint8_t> payload) {
    return composeFrame(kCommandStart, group, device, code, payload);
}

std::optional<CommandFrame> buildAnswerFrame(std::uint8_t group, std::uint8_t device,
                                             CommandCode code, std::span<const std::uint8_t> data) {
    return composeFrame(kAnswerStart, group, device, code, data);
}

std::uint16_t frameLength(std::span<const std::uint8_t> frame) {
    return static_cast<std::uint16_t>(frame[3] | (frame[4] << 8));
}

TargetAddress frameAddress(std::span<const std::uint8_t> frame) {
    return {frame[5], frame[6]};
}

CommandCode frameCode(std::span<const std::uint8_t> frame) {
    return static_cast<CommandCode>(frame[7] | (frame[8] << 8));
}

std::span<const std::uint8_t> frameData(std::span<const std::uint8_t> frame) {
    if (frame.size() < kFrameHeadSize + 1)
        return {};
    return frame.subspan(kFrameHeadSize, frame.size() - kFrameHeadSize - 1);
}

bool frameSumsToZero(std::span<const std::uint8_t> frame) {
    return frameChecksum(frame) == 0;
}

std::optional<std::size_t> responseCodeIndex(CommandCode code) {
    const auto* it = std::find(kResponseCodes.begin(), kResponseCodes.end(), code);
    if (it == kResponseCodes.end()) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(it - kResponseCodes.begin());
}

std::string_view commandName(CommandCode code) {
    for (const auto& [c, name] : kCommandNames) {
        if (c == code) {
            return name;
        }
    }
    return {};
}

}  // namespace krx
