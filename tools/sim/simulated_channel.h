// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <span>
#include <vector>

#include "generator_line.h"
#include "link/event_scheduler.h"
#include "link/serial_channel.h"

namespace krx::sim {

// A SerialChannel whose ports are simulated lines; bytes travel on an EventScheduler (the tests'
// virtual clock), so the console runs its real code against simulated generators in-process.
// Mirrors the POSIX channel: one pending frame, written by a task standing in for the monitor
// thread; a write first discards answer bytes that were due but not yet handed over; every byte
// is handed to the owner on its own at its line time. Window thread only.
class SimulatedChannel final : public SerialChannel {
  public:
    explicit SimulatedChannel(EventScheduler& scheduler);

    // Port 1..99 carries `line`, which must outlive the channel.
    void attachLine(int port, GeneratorLine& line);
    // Opens, but nothing ever answers.
    void addSilentPort(int port);
    // Exists but is held by another program: open fails.
    void addBusyPort(int port);

    struct Write {
        int port = 0;
        std::int64_t timeUs = 0;
        std::vector<std::uint8_t> bytes;
    };
    // Every frame actually written, in order (a frame replaced before its write is absent).
    const std::vector<Write>& writes() const { return writes_; }

    int openPort() const { return openPort_; }
    bool monitoring() const { return monitoring_; }

    bool open(SerialListener& owner, int port, int baud, char parity, int dataBits, int stopBits,
              std::uint32_t eventMask, std::uint32_t bufferSize) override;
    bool start() override;
    void queueWrite(std::span<const std::uint8_t> bytes) override;
    void stop() override;
    bool holdsPort() const override { return openPort_ != 0; }
    // Simulated ports have no device path.
    std::optional<OpenFailure> lastOpenFailure() const override { return lastOpenFailure_; }

  private:
    enum class PortKind { Line, Silent, Busy };
    struct Port {
        PortKind kind = PortKind::Silent;
        GeneratorLine* line = nullptr;
    };

    bool refuse(OpenError reason, int port);
    void close();
    void scheduleWrite();
    // Writes the pending frame as the monitor thread does, at `timeUs` (not after now).
    void write(std::uint64_t generation, std::int64_t timeUs);
    void queueAnswer(const std::vector<TimedByte>& answer);
    void watchRequest(GeneratorLine& line);
    void expireRequest(GeneratorLine& line);
    void deliver(std::uint64_t generation, std::uint64_t sequence);
    void watchHangUp(const GeneratorLine& line);
    void hangUp(std::uint64_t generation);

    EventScheduler& scheduler_;
    std::map<int, Port> ports_;
    std::vector<Write> writes_;

    SerialListener* owner_ = nullptr;
    int openPort_ = 0;
    std::optional<OpenFailure> lastOpenFailure_;
    std::uint32_t bufferSize_ = 0;
    bool monitoring_ = false;
    // Bumped whenever the port closes or is reopened, so tasks scheduled before do nothing.
    std::uint64_t generation_ = 0;

    std::optional<std::vector<std::uint8_t>> pending_;
    std::int64_t pendingSinceUs_ = 0;
    bool writeScheduled_ = false;

    // Answer bytes not yet handed over; byte number `nextSequence_` is at the front.
    std::deque<TimedByte> inbound_;
    std::uint64_t nextSequence_ = 0;
    bool hangUpScheduled_ = false;
};

}  // namespace krx::sim
