// SPDX-License-Identifier: MIT
#include "link/traffic_tap.h"

namespace krx {

bool TrafficTap::open(SerialListener& owner, int port, int baud, char parity, int dataBits,
                      int stopBits, std::uint32_t eventMask, std::uint32_t bufferSize) {
    owner_ = &owner;
    lineDone();
    return channel_.open(*this, port, baud, parity, dataBits, stopBits, eventMask, bufferSize);
}

void TrafficTap::queueWrite(std::span<const std::uint8_t> bytes) {
    channel_.queueWrite(bytes);
    // A closed channel drops the frame: nothing went over the line.
    if (!channel_.holdsPort())
        return;
    TrafficRecord record;
    // Sent while a read is handled: stamped with the read's time, so that times never go back.
    record.timeUs = reading_ > 0 ? readUs_ : nowUs_();
    record.direction = TrafficDirection::Sent;
    record.bytes.assign(bytes.begin(), bytes.end());
    if (bytes.size() >= kFrameHeadSize)
        record.command = commandName(frameCode(bytes));
    else
        record.note = kNoiseNote;
    pending_.push_back(std::move(record));
    // A frame sent while a read is handled is kept with that read, after the answer that led to
    // it, once the answer is known to be accepted.
    if (reading_ == 0)
        keep();
}

// The owner gets the bytes one at a time, so that an answer the receiver accepts is told apart
// from the bytes around it in the same read.
void TrafficTap::onSerialBytes(int port, std::span<const std::uint8_t> bytes) {
    readUs_ = nowUs_();
    ++reading_;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const std::uint64_t before = answersAccepted_ ? answersAccepted_() : 0;
        splitter_.push(bytes[i], readUs_, pending_);
        if (owner_ != nullptr)
            owner_->onSerialBytes(port, bytes.subspan(i, 1));
        if (answersAccepted_ && answersAccepted_() != before)
            splitter_.taken(pending_);
    }
    --reading_;
    if (reading_ == 0)
        keep();
}

void TrafficTap::onSerialTxEmpty(int port) {
    if (owner_ != nullptr)
        owner_->onSerialTxEmpty(port);
}

void TrafficTap::onSerialPortLost(int port) {
    lineDone();
    if (owner_ != nullptr)
        owner_->onSerialPortLost(port);
}

void TrafficTap::stop() {
    channel_.stop();
    lineDone();
}

// Stray bytes and an answer under way are kept as they are when the port closes.
void TrafficTap::lineDone() {
    splitter_.flush(pending_);
    if (reading_ == 0)
        keep();
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
