// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "link/command_frame.h"
#include "link/device_status.h"
#include "link/generator_facts.h"

namespace krx {

// What the receiver needs of the console. All calls happen on the window thread, from inside
// ResponseReceiver::onByte, startStatusSweep or watchdogExpired.
class ReceiverActions {
  public:
    virtual ~ReceiverActions() = default;

    // Sends a query through the console's frame sender, to the current target address.
    virtual void sendQuery(CommandCode code, std::span<const std::uint8_t> payload) = 0;

    // Starts (or restarts) the response watchdog with the given interval; stops it.
    virtual void startWatchdog(int intervalMs) = 0;
    virtual void stopWatchdog() = 0;

    // EDID-read mode: byte `index` (0..255) of the EDID answer; then, once the whole answer is
    // in, edidReceived() (modes already cleared, watchdog already stopped).
    virtual void storeEdidByte(std::size_t index, std::uint8_t value) = 0;
    virtual void edidReceived() = 0;

    // The sweep's last answer is in: deviceStatus and userTimings hold the generator's state,
    // sweepMode is off and detailsPending is set when the timing is kDetailsAfterSweepTiming. The
    // console shows the state; the receiver then asks for the link status.
    virtual void sweepFinished() = 0;

    // A general-mode answer that passed every test: the index of its code in kResponseCodes and
    // exactly its data bytes (frame bytes 9 .. length+3; empty for a length of 5).
    virtual void runHandler(std::size_t codeIndex, std::span<const std::uint8_t> data) = 0;
};

// Turns the generator's byte stream back into answers. Four matchers share one position counter;
// the mode flags choose which one sees a byte (EDID read, search, sweep, general, in that order).
// Never stores outside rxFrame, whatever state a mode change hands over.
class ResponseReceiver {
  public:
    explicit ResponseReceiver(ReceiverActions& actions) : actions_(actions) {}

    // One received byte; `target` is the console's current TargetAddress for the address filter.
    void onByte(std::uint8_t byte, TargetAddress target);

    // Sends CMD_GET_TIMING, arms the sweep at its first query and starts the watchdog.
    void startStatusSweep(int timeoutMs);

    // Arms the search matcher for one presence probe: deviceFound cleared, searchMode set, and a
    // fresh frame position, so that a half frame the previous port left behind (a line that keeps
    // sending) cannot swallow the answer on this one.
    void startProbe();

    // The watchdog fired while no search was running: ends the sweep, else the EDID read; then
    // stops the watchdog. Leaves rxPosition alone.
    void watchdogExpired();

    // Search and sweep modes restart the watchdog with this at every byte of a frame being
    // assembled.
    static constexpr int kInFrameWaitMs = 200;

    // The overall deadline of a presence probe whose answer must start within firstAnswerMs. The
    // bytes of a line that keeps sending restart the watchdog for ever; this deadline is not
    // restarted. It is the latest the watchdog alone can decide on an answer the search matcher
    // accepts: byte 1 just inside firstAnswerMs, bytes 2 to 10 (the last data byte) each up to
    // kInFrameWaitMs after the one before, the decision kInFrameWaitMs after byte 10. So it never
    // cuts short an answer the watchdog would have waited for.
    static constexpr int probeDeadlineMs(int firstAnswerMs) {
        constexpr int bytesRestarting = static_cast<int>(kFrameHeadSize - 1 + kPingAnswerSize);
        return firstAnswerMs + bytesRestarting * kInFrameWaitMs;
    }

    // The timing whose details a sweep asks for after the link status: 720P_3D(59.94)SbS. (A single
    // CMD_GET_TIMING answer asks for them on kAutoTiming instead.)
    static constexpr TimingCode kDetailsAfterSweepTiming = 0x2A;

    static constexpr std::size_t kFrameCapacity = 520;
    static constexpr unsigned kMaxLength = 500;

    // Receiver state, window thread only.
    int rxPosition = -1;  // -1 idle; else the frame byte rxPosition + 1 is expected next
    std::array<std::uint8_t, kFrameCapacity> rxFrame{};
    unsigned rxLength = 0;
    bool edidReadMode = false;
    bool edidFromSavedSlot = false;
    bool searchMode = false;
    bool deviceFound = false;
    bool sweepMode = false;
    int sweepIndex = 0;
    int sweepSlot = 0;
    bool detailsPending = false;
    // Answers a matcher has taken (handled, stored or counted as found), for the traffic record.
    std::uint64_t answersAccepted = 0;

    DeviceStatus deviceStatus;
    std::array<UserTiming, kUserTimingSlots> userTimings{};

  private:
    void receiveEdidByte(std::uint8_t byte);
    void receiveSearchByte(std::uint8_t byte);
    void receiveSweepByte(std::uint8_t byte);
    void receiveGeneralByte(std::uint8_t byte, TargetAddress target);

    ReceiverActions& actions_;
    std::array<std::uint8_t, kUserTimingSize> sweepRecord_{};
};

}  // namespace krx
