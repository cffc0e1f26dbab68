// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "link/command_frame.h"

namespace krx::sim {

// Why a run of bytes that began with 0xAA was not taken as a command frame.
enum class RejectReason {
    BadHeader,    // byte 1 or 2 not 0x00
    BadLength,    // length field outside 5 .. 5 + kMaxPayload
    UnknownCode,  // not a code of the command set
    BadChecksum,  // the frame does not sum to 0
    CutShort,     // kInterByteTimeoutUs of silence inside the frame
};

// A device forgets a request once this much time passes without its next byte, as the console
// gives up on an answer after 200 ms between two bytes.
inline constexpr std::int64_t kInterByteTimeoutUs = 200'000;

std::string_view rejectReasonText(RejectReason reason);

// A complete command frame, or a rejected run of bytes, with the arrival time (us) of its last
// byte.
struct ParsedFrame {
    bool accepted = false;
    RejectReason reason = RejectReason::BadHeader;  // meaningful when !accepted
    std::vector<std::uint8_t> bytes;
    std::int64_t endUs = 0;

    // Valid for accepted frames only.
    TargetAddress address() const { return frameAddress(bytes); }
    CommandCode code() const { return frameCode(bytes); }
    std::span<const std::uint8_t> payload() const { return frameData(bytes); }
};

// Reassembles command frames (0xAA ...) from bytes in arbitrary pieces, as a generator does: bytes
// outside a frame are dropped; a frame with a bad head, length, code or checksum is rejected and
// the search for the next frame starts again at the byte after its 0xAA, so a real frame hidden
// inside a rejected one is still found. A frame whose next byte does not come within
// kInterByteTimeoutUs is cut short and rejected the same way. Never holds more than one maximal
// frame.
class FrameParser {
  public:
    // Takes one byte that arrived at `timeUs`; appends every frame or rejection it completes.
    void push(std::uint8_t byte, std::int64_t timeUs, std::vector<ParsedFrame>& out);

    // When the frame being assembled is cut short unless its next byte comes first; nothing
    // while no frame is under way.
    std::optional<std::int64_t> deadlineUs() const;
    // The clock reached `nowUs`: a frame whose deadline has come is cut short, and the frames
    // and rejections that follows from that are appended.
    void expire(std::int64_t nowUs, std::vector<ParsedFrame>& out);

  private:
    struct Pending {
        std::uint8_t value;
        std::int64_t timeUs;
    };

    void drainReplay(std::vector<ParsedFrame>& out);
    void step(Pending byte, std::vector<ParsedFrame>& out);
    void reject(RejectReason reason, std::int64_t timeUs, std::vector<ParsedFrame>& out);

    // The frame being assembled: its bytes and the arrival time (us) of each.
    std::array<std::uint8_t, kMaxFrameSize> bytes_{};
    std::array<std::int64_t, kMaxFrameSize> timesUs_{};
    std::size_t size_ = 0;
    std::size_t length_ = 0;  // length field of the frame being assembled
    std::deque<Pending> replay_;
};

}  // namespace krx::sim
