// SPDX-License-Identifier: MIT
#include "simulated_channel.h"

#include <algorithm>
#include <utility>

namespace krx::sim {

SimulatedChannel::SimulatedChannel(EventScheduler& scheduler) : scheduler_(scheduler) {}

void SimulatedChannel::attachLine(int port, GeneratorLine& line) {
    ports_[port] = Port{PortKind::Line, &line, {}, 0};
}

void SimulatedChannel::addSilentPort(int port) {
    ports_[port] = Port{PortKind::Silent, nullptr, {}, 0};
}

void SimulatedChannel::addBusyPort(int port) {
    ports_[port] = Port{PortKind::Busy, nullptr, {}, 0};
}

void SimulatedChannel::addBabblingPort(int port, std::vector<std::uint8_t> burst,
                                       std::int64_t periodUs) {
    ports_[port] = Port{PortKind::Babbling, nullptr, std::move(burst), periodUs};
}

void SimulatedChannel::transmit(int port, std::span<const std::uint8_t> bytes) {
    if (port != openPort_ || !monitoring_)
        return;  // a closed port hears nothing; an unmonitored one purges it at start()
    // One wire: they follow whatever is still on its way.
    const std::int64_t timeUs = inbound_.empty()
                                    ? scheduler_.nowUs()
                                    : std::max(scheduler_.nowUs(), inbound_.back().timeUs);
    std::vector<TimedByte> timed;
    for (const std::uint8_t byte : bytes)
        timed.push_back(TimedByte{timeUs, byte});
    queueAnswer(timed);
}

void SimulatedChannel::unplug(int port) {
    ports_[port] = Port{PortKind::Gone, nullptr, {}, 0};
    if (port != openPort_)
        return;
    if (monitoring_) {
        // Noticed by the monitor, so told after the handler running now, like the real channel.
        scheduler_.scheduleAtUs(scheduler_.nowUs(),
                                [this, generation = generation_] { hangUp(generation); });
    } else {
        close();
    }
}

bool SimulatedChannel::open(SerialListener& owner, int port, int /*baud*/, char /*parity*/,
                            int /*dataBits*/, int /*stopBits*/, std::uint32_t /*eventMask*/,
                            std::uint32_t bufferSize) {
    close();
    queued_.clear();
    const auto found = ports_.find(port);
    if (found == ports_.end() || found->second.kind == PortKind::Gone)
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
    if (openPort_ == 0 || stopped_ || monitoring_)
        return false;
    monitoring_ = true;
    const Port& port = ports_[openPort_];
    // A hang-up still to come on this line is noticed even if nothing more is written.
    if (port.line)
        watchHangUp(*port.line);
    if (port.kind == PortKind::Babbling)
        scheduler_.scheduleAtUs(scheduler_.nowUs() + port.periodUs,
                                [this, generation = generation_] { babble(generation); });
    while (monitoring_ && !queued_.empty()) {
        std::vector<std::uint8_t> frame = std::move(queued_.front());
        queued_.pop_front();
        write(std::move(frame));
    }
    return true;
}

void SimulatedChannel::queueWrite(std::span<const std::uint8_t> bytes) {
    // A frame beyond the open's buffer size is refused, as the real channel does.
    if (openPort_ == 0 || stopped_ || bytes.size() > bufferSize_)
        return;
    std::vector<std::uint8_t> frame(bytes.begin(), bytes.end());
    if (monitoring_)
        write(std::move(frame));
    else
        queued_.push_back(std::move(frame));
}

void SimulatedChannel::stop() {
    queued_.clear();
    if (monitoring_)
        close();
    else
        stopped_ = openPort_ != 0;  // held, unmonitored, until the next open
}

void SimulatedChannel::close() {
    ++generation_;
    openPort_ = 0;
    stopped_ = false;
    owner_ = nullptr;
    monitoring_ = false;
    nextSequence_ += inbound_.size();
    inbound_.clear();
    hangUpScheduled_ = false;
}

void SimulatedChannel::write(std::vector<std::uint8_t> bytes) {
    const int port = openPort_;
    const std::int64_t now = scheduler_.nowUs();
    writes_.push_back(Write{port, now, bytes});
    Port& target = ports_[port];
    if (target.line) {
        queueAnswer(target.line->receive(bytes, now));
        watchHangUp(*target.line);
        watchRequest(*target.line);
    }
    // Told by the monitor, so after the handler that queued the frame has returned.
    scheduler_.scheduleAtUs(now, [this, generation = generation_, port] {
        if (generation == generation_)
            owner_->onSerialTxEmpty(port);
    });
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
    if (generation != generation_ || sequence != nextSequence_ || inbound_.empty())
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

void SimulatedChannel::babble(std::uint64_t generation) {
    if (generation != generation_)
        return;
    const Port& port = ports_[openPort_];
    transmit(openPort_, port.burst);
    scheduler_.scheduleAtUs(scheduler_.nowUs() + port.periodUs,
                            [this, generation] { babble(generation); });
}

}  // namespace krx::sim
