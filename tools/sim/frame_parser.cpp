// SPDX-License-Identifier: MIT
#include "frame_parser.h"

namespace krx::sim {

std::string_view rejectReasonText(RejectReason reason) {
    switch (reason) {
        case RejectReason::BadHeader:
            return "bad header";
        case RejectReason::BadLength:
            return "bad length";
        case RejectReason::UnknownCode:
            return "unknown code";
        case RejectReason::BadChecksum:
            return "bad checksum";
        case RejectReason::CutShort:
            return "cut short";
    }
    return "rejected";
}

void FrameParser::push(std::uint8_t byte, std::int64_t timeUs, std::vector<ParsedFrame>& out) {
    replay_.push_back({byte, timeUs});
    drainReplay(out);
}

std::optional<std::int64_t> FrameParser::deadlineUs() const {
    if (size_ == 0)
        return std::nullopt;
    return timesUs_[size_ - 1] + kInterByteTimeoutUs;
}

void FrameParser::expire(std::int64_t nowUs, std::vector<ParsedFrame>& out) {
    const std::optional<std::int64_t> deadline = deadlineUs();
    if (!deadline || nowUs < *deadline)
        return;
    reject(RejectReason::CutShort, *deadline, out);
    drainReplay(out);
}

void FrameParser::drainReplay(std::vector<ParsedFrame>& out) {
    while (!replay_.empty()) {
        const Pending next = replay_.front();
        replay_.pop_front();
        step(next, out);
    }
}

void FrameParser::step(Pending byte, std::vector<ParsedFrame>& out) {
    if (size_ == 0 && byte.value != kCommandStart)
        return;
    if (const std::optional<std::int64_t> deadline = deadlineUs();
        deadline && byte.timeUs >= *deadline) {
        // The device gave up on the frame before this byte came (whether or not its clock was
        // run up to the deadline). As for any rejection, the bytes after the frame's 0xAA are
        // looked at again, then this one.
        replay_.push_front(byte);
        reject(RejectReason::CutShort, *deadline, out);
        return;
    }
    bytes_[size_] = byte.value;
    timesUs_[size_] = byte.timeUs;
    ++size_;
    switch (size_) {
        case 2:
        case 3:
            if (byte.value != 0x00)
                reject(RejectReason::BadHeader, byte.timeUs, out);
            return;
        case 5:
            length_ = frameLength(bytes_);
            if (length_ < kEmptyFrameLength || length_ > kMaxPayload + kEmptyFrameLength)
                reject(RejectReason::BadLength, byte.timeUs, out);
            return;
        case kFrameHeadSize: {
            if (commandName(frameCode(bytes_)).empty()) {
                reject(RejectReason::UnknownCode, byte.timeUs, out);
                return;
            }
            break;
        }
        default:
            break;
    }
    if (size_ < 5 || size_ < length_ + 5)
        return;

    const auto whole = std::span<const std::uint8_t>(bytes_).first(size_);
    if (!frameSumsToZero(whole)) {
        reject(RejectReason::BadChecksum, byte.timeUs, out);
        return;
    }
    ParsedFrame frame;
    frame.bytes.assign(whole.begin(), whole.end());
    frame.accepted = true;
    frame.endUs = byte.timeUs;
    size_ = 0;
    length_ = 0;
    out.push_back(std::move(frame));
}

void FrameParser::reject(RejectReason reason, std::int64_t timeUs, std::vector<ParsedFrame>& out) {
    ParsedFrame rejected;
    rejected.reason = reason;
    rejected.endUs = timeUs;
    rejected.bytes.assign(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(size_));
    out.push_back(std::move(rejected));
    // Everything after the rejected 0xAA is looked at again, ahead of bytes not yet seen. The
    // device gets to them only now, so a frame found among them ends now, not when its last byte
    // first arrived (else its answer could be timed before the request was recognised).
    for (std::size_t i = size_; i > 1; --i)
        replay_.push_front({bytes_[i - 1], timeUs});
    size_ = 0;
    length_ = 0;
}

}  // namespace krx::sim
