// SPDX-License-Identifier: MIT
// Arbitrary line bytes and mode changes into the response receiver. Input layout: byte 0 is the
// escape value; every other byte is a line byte, except that the escape value followed by an
// operation byte performs that operation (operation 0 sends the escape value itself as a line
// byte). Violated invariants abort, so that libFuzzer and the corpus replay report them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "link/command_frame.h"
#include "link/response_receiver.h"

namespace {

using krx::CommandCode;
using krx::ResponseReceiver;

void check(bool condition) {
    if (!condition)
        std::abort();
}

class CheckingActions : public krx::ReceiverActions {
  public:
    int queriesThisByte = 0;

    void sendQuery(CommandCode code, std::span<const std::uint8_t> payload) override {
        ++queriesThisByte;
        bool known = code == krx::CMD_GET_LINK_STATUS;
        for (CommandCode c : krx::kStatusQueryCodes)
            known = known || c == code;
        check(known);
        check(payload.size() <= 1);
        if (code == krx::CMD_GET_USER_TIMING)
            check(payload.size() == 1 && payload[0] <= 9);
    }
    void startWatchdog(int intervalMs) override { check(intervalMs > 0); }
    void stopWatchdog() override {}
    void storeEdidByte(std::size_t index, std::uint8_t) override { check(index < 256); }
    void edidReceived() override {}
    void sweepFinished() override {}
    void runHandler(std::size_t codeIndex, std::span<const std::uint8_t> data) override {
        check(codeIndex < krx::kResponseCodes.size());
        check(data.size() <= ResponseReceiver::kMaxLength - 5);
        volatile std::uint8_t sink = 0;
        for (std::uint8_t b : data)
            sink = static_cast<std::uint8_t>(sink + b);  // touch every byte
    }
};

void checkInvariants(const ResponseReceiver& rx) {
    check(rx.rxPosition >= -1 &&
          rx.rxPosition < static_cast<int>(ResponseReceiver::kFrameCapacity));
    check(rx.sweepIndex >= 0 && rx.sweepIndex <= 12);
    check(rx.sweepSlot >= 0 && rx.sweepSlot <= 9);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    CheckingActions actions;
    ResponseReceiver rx(actions);
    krx::TargetAddress target{};
    const std::uint8_t escape = data[0];

    for (std::size_t i = 1; i < size; ++i) {
        std::uint8_t byte = data[i];
        if (byte == escape && i + 1 < size) {
            const std::uint8_t op = data[++i];
            switch (op % 10) {
                case 0:
                    break;  // the escape value as a line byte
                case 1:
                    rx.edidReadMode = !rx.edidReadMode;
                    continue;
                case 2:
                    rx.edidFromSavedSlot = !rx.edidFromSavedSlot;
                    continue;
                case 3:
                    rx.searchMode = !rx.searchMode;
                    continue;
                case 4:
                    rx.sweepMode = !rx.sweepMode;
                    continue;
                case 5:
                    rx.startStatusSweep(400);
                    continue;
                case 6:
                    rx.watchdogExpired();
                    continue;
                case 7:
                    if (i + 2 < size) {
                        target = {data[i + 1], data[i + 2]};
                        i += 2;
                    }
                    continue;
                case 8:
                    rx.deviceFound = false;
                    continue;
                default:
                    rx.edidReadMode = true;
                    rx.edidFromSavedSlot = (op & 0x10) != 0;
                    continue;
            }
        }
        actions.queriesThisByte = 0;
        rx.onByte(byte, target);
        // The receiver answers one byte with at most one frame: the channel keeps only one.
        check(actions.queriesThisByte <= 1);
        checkInvariants(rx);
    }
    checkInvariants(rx);
    return 0;
}
