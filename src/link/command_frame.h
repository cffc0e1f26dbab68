// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace krx {

// 16-bit command code; the high byte names the family (0x00 set, 0x80 get, 0x78/0xF8 device,
// 0xB8 display side).
using CommandCode = std::uint16_t;

inline constexpr CommandCode CMD_SET_TIMING = 0x0061;
inline constexpr CommandCode CMD_SET_PATTERN = 0x0062;
inline constexpr CommandCode CMD_SET_COLOR_SPACE = 0x0063;
inline constexpr CommandCode CMD_SET_COLOR_DEPTH = 0x0064;
inline constexpr CommandCode CMD_SET_HDCP = 0x0065;
inline constexpr CommandCode CMD_SET_OUTPUT_MODE = 0x0066;
inline constexpr CommandCode CMD_SET_SAMPLE_RATE = 0x0067;
inline constexpr CommandCode CMD_SET_AUDIO_BITS = 0x0068;
inline constexpr CommandCode CMD_SET_AUDIO_SOURCE = 0x0069;
inline constexpr CommandCode CMD_SET_AUDIO_CHANNELS = 0x006A;
inline constexpr CommandCode CMD_STORE_USER_TIMING = 0x00A0;
inline constexpr CommandCode CMD_00A8 = 0x00A8;
inline constexpr CommandCode CMD_SET_POWER = 0x00AB;
inline constexpr CommandCode CMD_WRITE_ADDRESS = 0x7801;
inline constexpr CommandCode CMD_RESET_DEFAULTS = 0x7802;
inline constexpr CommandCode CMD_7878 = 0x7878;
inline constexpr CommandCode CMD_GET_TIMING = 0x8061;
inline constexpr CommandCode CMD_GET_PATTERN = 0x8062;
inline constexpr CommandCode CMD_GET_COLOR_SPACE = 0x8063;
inline constexpr CommandCode CMD_GET_COLOR_DEPTH = 0x8064;
inline constexpr CommandCode CMD_GET_HDCP = 0x8065;
inline constexpr CommandCode CMD_GET_OUTPUT_MODE = 0x8066;
inline constexpr CommandCode CMD_GET_SAMPLE_RATE = 0x8067;
inline constexpr CommandCode CMD_GET_AUDIO_BITS = 0x8068;
inline constexpr CommandCode CMD_GET_AUDIO_SOURCE = 0x8069;
inline constexpr CommandCode CMD_GET_AUDIO_CHANNELS = 0x806A;
inline constexpr CommandCode CMD_GET_USER_TIMING = 0x80A0;
inline constexpr CommandCode CMD_GET_TIMING_DETAILS = 0x80A1;
inline constexpr CommandCode CMD_GET_LINK_STATUS = 0x80A9;
inline constexpr CommandCode CMD_READ_SAVED_EDID = 0x80AA;
inline constexpr CommandCode CMD_GET_POWER = 0x80AB;
inline constexpr CommandCode CMD_READ_TV_EDID = 0xB838;
inline constexpr CommandCode CMD_GET_HOT_PLUG = 0xB839;
inline constexpr CommandCode CMD_READ_ADDRESS = 0xF801;
inline constexpr CommandCode CMD_PING = 0xF802;

// Byte 0 of a frame from the console, and of an answer from the generator.
inline constexpr std::uint8_t kCommandStart = 0xAA;
inline constexpr std::uint8_t kAnswerStart = 0xAB;

inline constexpr std::size_t kFrameHeadSize = 9;  // start, two zero bytes, length, address, code
inline constexpr std::size_t kMaxPayload = 290;
inline constexpr std::size_t kMaxFrameSize = kFrameHeadSize + kMaxPayload + 1;  // 300

// The addressed device; (0x00, 0x00) and (0xFF, 0xFF) reach every device on the line.
struct TargetAddress {
    std::uint8_t group = 0x00;
    std::uint8_t device = 0x00;
    friend bool operator==(const TargetAddress&, const TargetAddress&) = default;
};

// One frame as it goes on the line: head, payload, checksum.
struct CommandFrame {
    std::array<std::uint8_t, kMaxFrameSize> bytes{};
    std::size_t size = 0;

    std::span<const std::uint8_t> view() const { return {bytes.data(), size}; }
};

// Two's complement of the 8-bit sum, so that the whole frame sums to 0.
std::uint8_t frameChecksum(std::span<const std::uint8_t> bytes);

// Composes a command frame (byte 0 0xAA). A payload above kMaxPayload has no frame.
std::optional<CommandFrame> buildFrame(std::uint8_t group, std::uint8_t device, CommandCode code,
                                       std::span<const std::uint8_t> payload = {});

// The same layout with 0xAB as byte 0 and the answering device's address.
std::optional<CommandFrame> buildAnswerFrame(std::uint8_t group, std::uint8_t device,
                                             CommandCode code,
                                             std::span<const std::uint8_t> data = {});

// Reading a frame (either start byte). The head accessors need the span to reach the field they
// read (frameLength 5 bytes, frameAddress 7, frameCode kFrameHeadSize); frameData and
// frameSumsToZero take a span holding exactly one whole frame, head to checksum, whose size the
// caller has taken from the length field.
std::uint16_t frameLength(std::span<const std::uint8_t> frame);   // bytes 3-4, low byte first
TargetAddress frameAddress(std::span<const std::uint8_t> frame);  // bytes 5-6
CommandCode frameCode(std::span<const std::uint8_t> frame);       // bytes 7-8, low byte first
// The bytes between the head and the checksum: a command's payload, an answer's data. Empty for
// a span too short to hold a head and a checksum.
std::span<const std::uint8_t> frameData(std::span<const std::uint8_t> frame);
// Whether the frame's 8-bit sum is 0, i.e. its checksum byte is right.
bool frameSumsToZero(std::span<const std::uint8_t> frame);

// Length field of a frame without payload or data; a frame is its length field + 5 bytes long.
inline constexpr std::size_t kEmptyFrameLength = 5;

// Codes the general receiver accepts, in table order; handlers are kept parallel to it.
inline constexpr std::array<CommandCode, 33> kResponseCodes = {
    CMD_SET_TIMING,         CMD_SET_PATTERN,       CMD_SET_COLOR_SPACE,
    CMD_SET_COLOR_DEPTH,    CMD_SET_HDCP,          CMD_SET_OUTPUT_MODE,
    CMD_SET_SAMPLE_RATE,    CMD_SET_AUDIO_BITS,    CMD_SET_AUDIO_SOURCE,
    CMD_SET_AUDIO_CHANNELS, CMD_STORE_USER_TIMING, CMD_00A8,
    CMD_WRITE_ADDRESS,      CMD_RESET_DEFAULTS,    CMD_7878,
    CMD_GET_TIMING,         CMD_GET_PATTERN,       CMD_GET_COLOR_SPACE,
    CMD_GET_COLOR_DEPTH,    CMD_GET_HDCP,          CMD_GET_OUTPUT_MODE,
    CMD_GET_SAMPLE_RATE,    CMD_GET_AUDIO_BITS,    CMD_GET_AUDIO_SOURCE,
    CMD_GET_AUDIO_CHANNELS, CMD_GET_USER_TIMING,   CMD_GET_TIMING_DETAILS,
    CMD_GET_LINK_STATUS,    CMD_GET_POWER,         CMD_READ_TV_EDID,
    CMD_GET_HOT_PLUG,       CMD_READ_ADDRESS,      CMD_PING,
};

// The status sweep: entries 0..11 once each without payload, entry 12 ten times (slots 0..9).
inline constexpr std::array<CommandCode, 13> kStatusQueryCodes = {
    CMD_GET_TIMING,       CMD_GET_PATTERN,        CMD_GET_COLOR_SPACE, CMD_GET_COLOR_DEPTH,
    CMD_GET_HDCP,         CMD_GET_OUTPUT_MODE,    CMD_GET_SAMPLE_RATE, CMD_GET_AUDIO_BITS,
    CMD_GET_AUDIO_SOURCE, CMD_GET_AUDIO_CHANNELS, CMD_GET_HOT_PLUG,    CMD_GET_POWER,
    CMD_GET_USER_TIMING,
};

// What a frame sender shows instead of sending while the port is closed.
inline constexpr std::string_view kPortNotOnMessage = "Com port is not on yet.";

// Index of `code` in kResponseCodes (first match), if any.
std::optional<std::size_t> responseCodeIndex(CommandCode code);

// "CMD_SET_TIMING" and so on; empty for a code outside the command set.
std::string_view commandName(CommandCode code);

}  // namespace krx
