// SPDX-License-Identifier: MIT
#include "link/traffic_tap.h"

namespace krx {

bool TrafficTap::open(SerialListener& owner, int port, int baud, char parity, int dataBits,
                      int stopBits, std::uint32_t eventMask, std::uint32_t bufferSize) {
    owner_ = &owner;
    return channel_.open(*this, port, baud, parity, dataBits, stopBits, eventMask, bufferSize);
}

void TrafficTap::queueWrite(std::span<const std::uint8_t> bytes) {
    channel_.queueWrite(bytes);
    // A closed channel drops the frame: nothing went over the line.
    if (!channel_.holdsPort())
        return;
    TrafficRecord record;
    record.timeUs = nowUs_();
    record.direction = TrafficDirection::Sent;
    record.bytes.assign(bytes.begin(), bytes.end());
    if (bytes.size() >= kFrameHeadSize)
        record.command = commandName(frameCode(bytes));
    else
        record.note = kNoiseNote;
    pending_.push_back(std::move(record));
    keep();
}

// The owner gets the bytes one at a time, so that an answer the receiver accepts is told apart
// from the bytes around it in the same read.
void TrafficTap::onSerialBytes(int port, std::span<const std::uint8_t> bytes) {
    const std::int64_t timeUs = nowUs_();
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const std::uint64_t before = answersAccepted_ ? answersAccepted_() : 0;
        if (owner_ != nullptr)
            owner_->onSerialBytes(port, bytes.subspan(i, 1));
        const bool accepted = answersAccepted_ && answersAccepted_() != before;
        splitter_.push(bytes[i], timeUs, accepted, pending_);
    }
    splitter_.flush(pending_);
    keep();
}

void TrafficTap::onSerialTxEmpty(int port) {
    if (owner_ != nullptr)
        owner_->onSerialTxEmpty(port);
}

void TrafficTap::onSerialPortLost(int port) {
    if (owner_ != nullptr)
        owner_->onSerialPortLost(port);
}

void TrafficTap::keep() {
    if (pending_.empty())
        return;
    for (TrafficRecord& record : pending_) {
        if (sink_)
            sink_(record);
        ring_.push(std::move(record));
    }
    pending_.clear();
    if (changed_)
        changed_();
}

}  // namespace krx
