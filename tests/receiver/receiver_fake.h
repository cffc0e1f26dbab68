// SPDX-License-Identifier: MIT
// A recording ReceiverActions with a virtual-time watchdog, for driving the receiver without a
// console, a port or real time.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "link/command_frame.h"
#include "link/response_receiver.h"

namespace krx::test {

struct SentQuery {
    CommandCode code;
    std::vector<std::uint8_t> payload;
    friend bool operator==(const SentQuery&, const SentQuery&) = default;
};

struct HandlerCall {
    std::size_t codeIndex;
    std::vector<std::uint8_t> data;
    friend bool operator==(const HandlerCall&, const HandlerCall&) = default;
};

// State of the receiver as seen from inside sweepFinished().
struct FinishSnapshot {
    bool sweepMode;
    int rxPosition;
    bool detailsPending;
    std::size_t queriesSentBefore;
};

class RecordingActions : public ReceiverActions {
  public:
    const ResponseReceiver* receiver = nullptr;  // for snapshots; set by the fixture

    std::vector<SentQuery> queries;
    std::vector<int> watchdogStarts;  // intervals, in order
    int watchdogStops = 0;
    std::vector<std::optional<std::uint8_t>> edid = std::vector<std::optional<std::uint8_t>>(256);
    int edidStores = 0;
    int edidReceivedCalls = 0;
    std::vector<HandlerCall> handlers;
    std::vector<FinishSnapshot> finishes;

    // Virtual clock: the watchdog's deadline in ms, if armed.
    std::int64_t nowMs = 0;
    std::optional<std::int64_t> deadlineMs;

    void sendQuery(CommandCode code, std::span<const std::uint8_t> payload) override {
        queries.push_back({code, {payload.begin(), payload.end()}});
    }
    void startWatchdog(int intervalMs) override {
        watchdogStarts.push_back(intervalMs);
        deadlineMs = nowMs + intervalMs;
    }
    void stopWatchdog() override {
        ++watchdogStops;
        deadlineMs.reset();
    }
    void storeEdidByte(std::size_t index, std::uint8_t value) override {
        edid.at(index) = value;
        ++edidStores;
    }
    void edidReceived() override { ++edidReceivedCalls; }
    void sweepFinished() override {
        finishes.push_back(
            {receiver->sweepMode, receiver->rxPosition, receiver->detailsPending, queries.size()});
    }
    void runHandler(std::size_t codeIndex, std::span<const std::uint8_t> data) override {
        handlers.push_back({codeIndex, {data.begin(), data.end()}});
    }
};

// Advances the virtual clock by `ms`; when the armed deadline is reached the console's timer
// handler runs, which for a receiver outside search mode is watchdogExpired().
inline void advance(RecordingActions& a, ResponseReceiver& rx, std::int64_t ms) {
    const std::int64_t end = a.nowMs + ms;
    while (a.deadlineMs && *a.deadlineMs <= end) {
        a.nowMs = *a.deadlineMs;
        a.deadlineMs.reset();
        rx.watchdogExpired();
    }
    a.nowMs = end;
}

inline std::vector<std::uint8_t> frameBytes(const std::optional<CommandFrame>& f) {
    if (!f)
        return {};
    return {f->bytes.begin(), f->bytes.begin() + static_cast<std::ptrdiff_t>(f->size)};
}

}  // namespace krx::test
