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
// Keeps the POSIX channel's contract: every queued frame is written, in order, at the time it is
// queued once the port is monitored (also from inside a handler that then sleeps); frames queued
// before start() go out when monitoring starts; bytes a device sends reach the owner in order, one
// per call at its line time, and nothing that arrived is dropped by a later write; bytes sent while
// the port is not monitored are purged; a port stopped before start() stays held until the next
// open. Window thread only.
class SimulatedChannel final : public SerialChannel {
  public:
    explicit SimulatedChannel(EventScheduler& scheduler);

    // Port 1..99 carries `line`, which must outlive the channel.
    void attachLine(int port, GeneratorLine& line);
    // Opens, but nothing answers unless the test transmits.
    void addSilentPort(int port);
    // Exists but is held by another program: open fails.
    void addBusyPort(int port);
    // Opens; while it is open and monitored it sends `burst` every periodUs, starting periodUs
    // after start(): a wrong device, a loop-back or a generator in a bad state.
    void addBabblingPort(int port, std::vector<std::uint8_t> burst, std::int64_t periodUs);

    // The device on `port` sends `bytes` now, all in the same instant. They reach the owner only
    // while that port is open and monitored.
    void transmit(int port, std::span<const std::uint8_t> bytes);
    // The device on `port` goes away now (adapter unplugged): an open port is lost, once, and
    // the port can no longer be opened.
    void unplug(int port);

    struct Write {
        int port = 0;
        std::int64_t timeUs = 0;
        std::vector<std::uint8_t> bytes;
    };
    // Every frame written, in order.
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
    enum class PortKind { Line, Silent, Busy, Babbling, Gone };
    struct Port {
        PortKind kind = PortKind::Silent;
        GeneratorLine* line = nullptr;
        std::vector<std::uint8_t> burst;
        std::int64_t periodUs = 0;
    };

    bool refuse(OpenError reason, int port);
    void close();
    // Writes one frame as the monitor thread does, at the present time.
    void write(std::vector<std::uint8_t> bytes);
    void queueAnswer(const std::vector<TimedByte>& answer);
    void watchRequest(GeneratorLine& line);
    void expireRequest(GeneratorLine& line);
    void deliver(std::uint64_t generation, std::uint64_t sequence);
    void watchHangUp(const GeneratorLine& line);
    void hangUp(std::uint64_t generation);
    void babble(std::uint64_t generation);

    EventScheduler& scheduler_;
    std::map<int, Port> ports_;
    std::vector<Write> writes_;

    SerialListener* owner_ = nullptr;
    int openPort_ = 0;
    bool stopped_ = false;  // stopped before start(): held, and never started
    std::optional<OpenFailure> lastOpenFailure_;
    std::uint32_t bufferSize_ = 0;
    bool monitoring_ = false;
    // Bumped whenever the port closes or is reopened, so tasks scheduled before do nothing.
    std::uint64_t generation_ = 0;

    // Frames queued before monitoring started, written by start().
    std::deque<std::vector<std::uint8_t>> queued_;

    // Bytes sent but not yet handed over; byte number `nextSequence_` is at the front.
    std::deque<TimedByte> inbound_;
    std::uint64_t nextSequence_ = 0;
    bool hangUpScheduled_ = false;
};

}  // namespace krx::sim
