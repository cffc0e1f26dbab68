// SPDX-License-Identifier: MIT
#include "generator_line.h"

#include <algorithm>

namespace krx::sim {

bool faultMatches(const std::set<std::uint32_t>& codes, CommandCode code) {
    return codes.count(code) != 0 || codes.count(FaultConfig::kAnyCode) != 0;
}

GeneratorLine::GeneratorLine(LineConfig config, const std::vector<TargetAddress>& devices,
                             const EdidBytes& attachedEdid)
    : config_(std::move(config)) {
    devices_.reserve(devices.size());
    for (TargetAddress a : devices) {
        devices_.emplace_back(a, attachedEdid);
        devices_.back().setDisplayAttached(config_.displayAttached);
    }
}

void GeneratorLine::notify(LineEvent::Direction direction, std::int64_t timeUs,
                           std::span<const std::uint8_t> bytes, CommandCode code,
                           std::string_view note) {
    if (observer_)
        observer_(LineEvent{direction, timeUs, bytes, code, note});
}

std::vector<TimedByte> GeneratorLine::receive(std::span<const std::uint8_t> bytes,
                                              std::int64_t writeTimeUs) {
    std::vector<TimedByte> out;
    if (hangUpUs_)
        return out;
    // The console's bytes queue behind its previous ones on its own direction of the line.
    const std::int64_t start = config_.paced ? std::max(writeTimeUs, rxFreeUs_) : writeTimeUs;
    std::vector<ParsedFrame> frames;
    for (std::size_t i = 0; i < bytes.size() && !hangUpUs_; ++i) {
        const std::int64_t t =
            config_.paced ? start + lineTimeUs(static_cast<std::int64_t>(i + 1)) : start;
        rxFreeUs_ = t;
        frames.clear();
        parser_.push(bytes[i], t, frames);
        handleFrames(frames, out);
    }
    return out;
}

std::optional<std::int64_t> GeneratorLine::requestDeadlineUs() const {
    if (hangUpUs_)
        return std::nullopt;
    return parser_.deadlineUs();
}

std::vector<TimedByte> GeneratorLine::expire(std::int64_t nowUs) {
    std::vector<TimedByte> out;
    if (hangUpUs_)
        return out;
    std::vector<ParsedFrame> frames;
    parser_.expire(nowUs, frames);
    handleFrames(frames, out);
    return out;
}

void GeneratorLine::handleFrames(const std::vector<ParsedFrame>& frames,
                                 std::vector<TimedByte>& out) {
    for (const ParsedFrame& f : frames) {
        if (hangUpUs_)
            break;
        handleFrame(f, out);
    }
}

void GeneratorLine::handleFrame(const ParsedFrame& frame, std::vector<TimedByte>& out) {
    if (!frame.accepted) {
        const CommandCode code =
            frame.bytes.size() >= kFrameHeadSize ? frameCode(frame.bytes) : CommandCode{0};
        notify(LineEvent::Direction::Received, frame.endUs, frame.bytes, code,
               rejectReasonText(frame.reason));
        return;
    }
    const CommandCode code = frame.code();
    notify(LineEvent::Direction::Received, frame.endUs, frame.bytes, code, {});
    ++framesReceived_;
    for (Generator& g : devices_) {
        g.settle(frame.endUs);
        const Reach reach = g.reach(frame.address());
        if (reach == Reach::Ignore)
            continue;
        std::optional<Answer> answer = g.handle(code, frame.payload(), frame.endUs);
        if (answer && reach == Reach::Answer && !faultMatches(config_.faults.silentCodes, code))
            sendAnswer(g, *answer, frame.endUs, out);
    }
    const auto& hangUp = config_.faults.hangUpAfterFrames;
    if (hangUp && framesReceived_ >= *hangUp)
        hangUpUs_ = std::max(txFreeUs_, frame.endUs);
}

void GeneratorLine::sendAnswer(const Generator& from, const Answer& answer,
                               std::int64_t requestEndUs, std::vector<TimedByte>& out) {
    const FaultConfig& faults = config_.faults;
    std::optional<CommandFrame> frame =
        buildAnswerFrame(from.address().group, from.address().device, answer.code, answer.data);
    if (!frame)
        return;
    if (faultMatches(faults.badChecksumCodes, answer.code))
        frame->bytes[frame->size - 1] =
            static_cast<std::uint8_t>(frame->bytes[frame->size - 1] ^ 0x5A);

    std::vector<std::uint8_t> wire = faults.noise;
    const std::size_t noiseSize = wire.size();
    wire.insert(wire.end(), frame->bytes.begin(),
                frame->bytes.begin() + static_cast<std::ptrdiff_t>(frame->size));
    const bool stall = faultMatches(faults.stallCodes, answer.code);

    const std::int64_t start = std::max(requestEndUs + config_.latencyUs, txFreeUs_);
    std::int64_t firstFrameByteUs = start;
    for (std::size_t k = 0; k < wire.size(); ++k) {
        std::int64_t t =
            config_.paced ? start + lineTimeUs(static_cast<std::int64_t>(k + 1)) : start;
        if (stall && k >= noiseSize + faults.stallAfterBytes)
            t += faults.stallUs;
        if (k == noiseSize)
            firstFrameByteUs = t;
        out.push_back({t, wire[k]});
        txFreeUs_ = t;
    }
    if (noiseSize > 0)
        notify(LineEvent::Direction::Sent, out[out.size() - wire.size()].timeUs,
               std::span<const std::uint8_t>(wire).first(noiseSize), answer.code, "noise");
    notify(LineEvent::Direction::Sent, firstFrameByteUs, frame->view(), answer.code,
           faultMatches(faults.badChecksumCodes, answer.code) ? std::string_view("bad checksum")
                                                              : std::string_view());
}

}  // namespace krx::sim
