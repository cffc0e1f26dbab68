// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "link/serial_channel.h"
#include "link/traffic_record.h"

namespace krx {

// A SerialChannel in front of another that keeps a record of every frame written and of what
// the bytes read made: answers (with whether the receiver accepted each) and stray bytes, in the
// order they were complete on the line. Records are kept once the owner has handled the whole
// read, and nothing here runs on the monitor thread. Window thread only.
class TrafficTap final : public SerialChannel, public SerialListener {
  public:
    using Clock = std::function<std::int64_t()>;     // microseconds, never going back
    using Counter = std::function<std::uint64_t()>;  // answers the receiver has accepted so far

    TrafficTap(SerialChannel& channel, std::size_t capacity, Clock nowUs)
        : channel_(channel), ring_(capacity), nowUs_(std::move(nowUs)) {}

    // Without a counter every answer is recorded as not accepted.
    void countAnswersWith(Counter answersAccepted) {
        answersAccepted_ = std::move(answersAccepted);
    }
    // Called with each record as it is kept (the log file).
    void setRecordSink(std::function<void(const TrafficRecord&)> sink) { sink_ = std::move(sink); }
    // Called after each read or write that kept records; set only while someone shows them.
    void setChangedNotice(std::function<void()> changed) { changed_ = std::move(changed); }
    const TrafficRing& ring() const { return ring_; }

    // SerialChannel
    bool open(SerialListener& owner, int port, int baud, char parity, int dataBits, int stopBits,
              std::uint32_t eventMask, std::uint32_t bufferSize) override;
    bool start() override { return channel_.start(); }
    void queueWrite(std::span<const std::uint8_t> bytes) override;
    void stop() override;
    bool holdsPort() const override { return channel_.holdsPort(); }
    std::optional<OpenFailure> lastOpenFailure() const override {
        return channel_.lastOpenFailure();
    }

    // SerialListener
    void onSerialBytes(int port, std::span<const std::uint8_t> bytes) override;
    void onSerialTxEmpty(int port) override;
    void onSerialPortLost(int port) override;

  private:
    void keep();
    void lineDone();

    int reading_ = 0;          // a read is being handled (nested when the owner runs a modal loop)
    std::int64_t readUs_ = 0;  // when it was handed over
    SerialChannel& channel_;
    SerialListener* owner_ = nullptr;
    TrafficRing ring_;
    Clock nowUs_;
    Counter answersAccepted_;
    std::function<void(const TrafficRecord&)> sink_;
    std::function<void()> changed_;
    AnswerSplitter splitter_;
    std::vector<TrafficRecord> pending_;
};

}  // namespace krx
