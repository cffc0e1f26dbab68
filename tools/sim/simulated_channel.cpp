// SPDX-License-Identifier: MIT
#include "simulated_channel.h"

namespace krx::sim {

SimulatedChannel::SimulatedChannel(EventScheduler& scheduler) : scheduler_(scheduler) {}

void SimulatedChannel::attachLine(int port, GeneratorLine& line) {
    ports_[port] = Port{PortKind::Line, &line};
}

void SimulatedChannel::addSilentPort(int port) {
    ports_[port] = Port{PortKind::Silent, nullptr};
}

void SimulatedChannel::addBusyPort(int port) {
    ports_[port] = Port{PortKind::Busy, nullptr};
}

bool SimulatedChannel::open(SerialListener& owner, int port, int /*baud*/, char /*parity*/,
                            int /*dataBits*/, int /*stopBits*/, std::uint32_t /*eventMask*/,
                            std::uint32_t bufferSize) {
    close();
    const auto found = ports_.find(port);
    if (found == ports_.end())
        return refuse(OpenError::NoSuchDevice, port);
    if (found->second.kind == PortKind::Busy)
        return refuse(OpenError::InUse, port);
    const GeneratorLine* line = found->second.line;
    // A line that has hung up is gone, like a pty whose master was closed.
    if (line && line->hangUpTimeUs() && *line->hangUpTimeUs() <= scheduler_.nowUs())
        return refuse(OpenError::NoSuchDevice, port);
    lastOpenFailure_.reset();
    owner_ = &owner;
    openPort_ = port;
    bufferSize_ = bufferSize;
    return true;
}

bool SimulatedChannel::refuse(OpenError reason, int port) {
    lastOpenFailure_ = OpenFailure{reason, port, {}, 0, {}};
    return false;
}

bool SimulatedChannel::start() {
    if (openPort_ == 0)
        return false;
    monitoring_ = true;
    // A hang-up still to come on this line is noticed even if nothing more is written.
    if (const GeneratorLine* line = ports_[openPort_].line)
        watchHangUp(*line);
    if (pending_) {
        pendingSinceUs_ = scheduler_.nowUs();
        scheduleWrite();
    }
    return true;
}

void SimulatedChannel::queueWrite(std::span<const std::uint8_t> bytes) {
    // A frame beyond the open's buffer size is refused and the pending one kept, as the real
    // channel does.
    if (openPort_ == 0 || bytes.size() > bufferSize_)
        return;
    // The monitor thread writes a frame as soon as it is queued, so only a frame queued in the
    // same instant replaces it. When the clock moved since (the window thread slept between two
    // frames), the earlier frame went out meanwhile.
    if (pending_ && monitoring_ && pendingSinceUs_ < scheduler_.nowUs())
        write(generation_, pendingSinceUs_);
    pending_.emplace(bytes.begin(), bytes.end());
    pendingSinceUs_ = scheduler_.nowUs();
    if (monitoring_)
        scheduleWrite();
}

void SimulatedChannel::stop() {
    close();
}

void SimulatedChannel::close() {
    ++generation_;
    openPort_ = 0;
    owner_ = nullptr;
    monitoring_ = false;
    pending_.reset();
    writeScheduled_ = false;
    nextSequence_ += inbound_.size();
    inbound_.clear();
    hangUpScheduled_ = false;
}

void SimulatedChannel::scheduleWrite() {
    if (writeScheduled_)
        return;
    writeScheduled_ = true;
    scheduler_.scheduleAtUs(scheduler_.nowUs(), [this, generation = generation_] {
        write(generation, scheduler_.nowUs());
    });
}

void SimulatedChannel::write(std::uint64_t generation, std::int64_t now) {
    if (generation != generation_ || !pending_)
        return;
    writeScheduled_ = false;
    const std::vector<std::uint8_t> bytes = std::move(*pending_);
    pending_.reset();
    const int port = openPort_;

    // Bytes that arrived while the window thread was not reading are thrown away by the purge.
    while (!inbound_.empty() && inbound_.front().timeUs <= now) {
        inbound_.pop_front();
        ++nextSequence_;
    }
    writes_.push_back(Write{port, now, bytes});

    Port& target = ports_[port];
    if (target.line) {
        queueAnswer(target.line->receive(bytes, now));
        watchHangUp(*target.line);
        watchRequest(*target.line);
    }
    owner_->onSerialTxEmpty(port);
}

void SimulatedChannel::queueAnswer(const std::vector<TimedByte>& answer) {
    const std::uint64_t firstSequence = nextSequence_ + inbound_.size();
    for (std::size_t i = 0; i < answer.size(); ++i) {
        inbound_.push_back(answer[i]);
        scheduler_.scheduleAtUs(answer[i].timeUs,
                                [this, generation = generation_, sequence = firstSequence + i] {
                                    deliver(generation, sequence);
                                });
    }
}

void SimulatedChannel::watchRequest(GeneratorLine& line) {
    if (const std::optional<std::int64_t> deadline = line.requestDeadlineUs())
        scheduler_.scheduleAtUs(*deadline, [this, &line] { expireRequest(line); });
}

void SimulatedChannel::expireRequest(GeneratorLine& line) {
    // The devices' clock runs whether or not the console holds the port; what they answer
    // reaches the console only while it has this line open.
    const std::int64_t now = scheduler_.nowUs();
    const std::optional<std::int64_t> deadline = line.requestDeadlineUs();
    if (!deadline || *deadline > now)
        return;  // a later byte moved the deadline; the write that brought it watches it
    const std::vector<TimedByte> answer = line.expire(now);
    const auto open = ports_.find(openPort_);
    if (monitoring_ && open != ports_.end() && open->second.line == &line) {
        queueAnswer(answer);
        watchHangUp(line);
    }
    watchRequest(line);  // a frame found again among the dropped bytes may be cut short too
}

void SimulatedChannel::deliver(std::uint64_t generation, std::uint64_t sequence) {
    // A waiting write goes first, as the monitor thread serves a write request before reading;
    // the byte stays unread and the write's purge removes it.
    if (generation != generation_ || writeScheduled_ || sequence != nextSequence_ ||
        inbound_.empty())
        return;
    const std::uint8_t byte = inbound_.front().value;
    inbound_.pop_front();
    ++nextSequence_;
    owner_->onSerialBytes(openPort_, std::span<const std::uint8_t>(&byte, 1));
}

void SimulatedChannel::watchHangUp(const GeneratorLine& line) {
    if (hangUpScheduled_ || !line.hangUpTimeUs())
        return;
    hangUpScheduled_ = true;
    scheduler_.scheduleAtUs(*line.hangUpTimeUs(),
                            [this, generation = generation_] { hangUp(generation); });
}

void SimulatedChannel::hangUp(std::uint64_t generation) {
    if (generation != generation_)
        return;
    SerialListener* owner = owner_;
    const int port = openPort_;
    close();
    owner->onSerialPortLost(port);
}

}  // namespace krx::sim
