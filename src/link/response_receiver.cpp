// SPDX-License-Identifier: MIT
// Byte matchers of the generator's answers. Window thread only; constant work per byte except at
// frame completion, no allocation.
//
// Every matcher shares rxPosition: -1 is idle, otherwise frame byte rxPosition + 1 comes next. A
// mode change can hand any position to another matcher, so each matcher checks that the byte it
// is about to take belongs to a frame it can hold, and drops the frame (rxPosition -1) otherwise.
#include "link/response_receiver.h"

#include "link/generator_facts.h"

namespace krx {
namespace {

constexpr std::uint8_t kCodeShiftMarker = 0xFF;
constexpr std::size_t kUserTimingQueryIndex = 12;  // kStatusQueryCodes entry read ten times
constexpr int kNextAnswerTimeoutMs = 400;

constexpr int kSweepDataByte = 9;
constexpr int kSweepRecordLastByte = kSweepDataByte + static_cast<int>(kUserTimingSize) - 1;  // 28
constexpr int kSweepRecordChecksumByte = kSweepRecordLastByte + 1;                            // 29

// EDID answers: the head, an optional slot byte, 256 EDID bytes and the checksum.
constexpr int kEdidSize = static_cast<int>(kEdidAnswerSize);
constexpr int kEdidFirstByteTv = 9;
constexpr int kEdidFirstByteSaved = 10;
constexpr int kSavedSlotByte = 9;

// Length bytes 3 and 4 of a general frame; 5 is the least that still holds the code.
constexpr unsigned kMinLength = kEmptyFrameLength;
constexpr unsigned kShiftedCodeMinLength = 7;  // bytes 9 and 10 must be data bytes

// The fixed test of byte `frameByte` in a special mode: true if it matches. Bytes without a test
// ("any") match every value.
struct ExpectedByte {
    int frameByte;
    int value;  // -1: any
};

bool matches(std::span<const ExpectedByte> table, int frameByte, std::uint8_t byte) {
    for (const ExpectedByte& e : table)
        if (e.frameByte == frameByte)
            return e.value < 0 || e.value == byte;
    return false;
}

// The head of the one answer a special mode waits for: bytes 1-2 zero, the length field of
// `dataSize` data bytes, any address, `code`.
constexpr std::array<ExpectedByte, 8> answerHead(CommandCode code, std::size_t dataSize) {
    const std::uint16_t length = answerLengthField(dataSize);
    return {{{1, 0x00},
             {2, 0x00},
             {3, length & 0xFF},
             {4, length >> 8},
             {5, -1},
             {6, -1},
             {7, code & 0xFF},
             {8, code >> 8}}};
}

constexpr auto kSearchHead = answerHead(CMD_PING, kPingAnswerSize);
constexpr auto kEdidTvHead = answerHead(CMD_READ_TV_EDID, kEdidAnswerSize);
constexpr auto kEdidSavedHead = answerHead(CMD_READ_SAVED_EDID, kSavedEdidAnswerSize);

bool addressAccepted(CommandCode code, TargetAddress from, TargetAddress target) {
    if (code == CMD_READ_ADDRESS)
        return true;
    const std::uint8_t g = target.group;
    const std::uint8_t d = target.device;
    if ((g == 0x00 && d == 0x00) || (g == 0xFF && d == 0xFF))
        return true;
    if (g != 0x00 && g != 0xFF && (d == 0x00 || d == 0xFF))
        return true;
    return from == target;
}

}  // namespace

void ResponseReceiver::onByte(std::uint8_t byte, TargetAddress target) {
    if (edidReadMode)
        receiveEdidByte(byte);
    else if (searchMode)
        receiveSearchByte(byte);
    else if (sweepMode)
        receiveSweepByte(byte);
    else
        receiveGeneralByte(byte, target);
}

void ResponseReceiver::startStatusSweep(int timeoutMs) {
    actions_.sendQuery(kStatusQueryCodes[0], {});
    sweepIndex = 0;
    sweepMode = true;
    actions_.startWatchdog(timeoutMs);
}

void ResponseReceiver::startProbe() {
    rxPosition = -1;
    deviceFound = false;
    searchMode = true;
}

void ResponseReceiver::watchdogExpired() {
    if (sweepMode) {
        sweepMode = false;
    } else if (edidReadMode) {
        edidReadMode = false;
        edidFromSavedSlot = false;
    }
    actions_.stopWatchdog();
}

void ResponseReceiver::receiveEdidByte(std::uint8_t byte) {
    if (rxPosition < 0) {
        if (byte == kAnswerStart)
            rxPosition = 0;
        return;
    }
    const int frameByte = rxPosition + 1;
    const bool saved = edidFromSavedSlot;
    const int firstEdidByte = saved ? kEdidFirstByteSaved : kEdidFirstByteTv;
    const int checksumByte = firstEdidByte + kEdidSize;

    if (frameByte < kEdidFirstByteTv) {
        rxPosition = matches(saved ? std::span<const ExpectedByte>(kEdidSavedHead)
                                   : std::span<const ExpectedByte>(kEdidTvHead),
                             frameByte, byte)
                         ? frameByte
                         : -1;
        return;
    }
    if (saved && frameByte == kSavedSlotByte) {
        // Slots 0..9; bytes 0x80..0xFF are below 10 as signed values and pass too.
        rxPosition = static_cast<std::int8_t>(byte) < 10 ? frameByte : -1;
        return;
    }
    if (frameByte < checksumByte) {
        actions_.storeEdidByte(static_cast<std::size_t>(frameByte - firstEdidByte), byte);
        rxPosition = frameByte;
        return;
    }
    if (frameByte == checksumByte) {
        edidReadMode = false;
        edidFromSavedSlot = false;
        rxPosition = -1;
        ++answersAccepted;
        actions_.stopWatchdog();
        actions_.edidReceived();
        return;
    }
    // A position handed over from another mode, already past this answer's end.
    rxPosition = -1;
}

void ResponseReceiver::receiveSearchByte(std::uint8_t byte) {
    if (rxPosition != -1)
        actions_.startWatchdog(kInFrameWaitMs);
    if (rxPosition < 0) {
        if (byte == kAnswerStart)
            rxPosition = 0;
        return;
    }
    const int frameByte = rxPosition + 1;
    if (frameByte <= 8) {
        rxPosition = matches(kSearchHead, frameByte, byte) ? frameByte : -1;
    } else if (frameByte == 9) {
        rxPosition = byte == 0x00 ? frameByte : -1;
    } else if (frameByte == 10) {
        if (byte == 0x00) {
            deviceFound = true;
            ++answersAccepted;
        }
        rxPosition = -1;
    } else {
        rxPosition = -1;  // past the probe answer's end
    }
}

void ResponseReceiver::receiveSweepByte(std::uint8_t byte) {
    if (rxPosition != -1)
        actions_.startWatchdog(kInFrameWaitMs);
    if (rxPosition < 0) {
        if (byte == kAnswerStart)
            rxPosition = 0;
        return;
    }
    // sweepIndex and sweepSlot are public; values outside their ranges end the frame instead of
    // indexing the tables.
    if (sweepIndex < 0 || static_cast<std::size_t>(sweepIndex) > kUserTimingQueryIndex ||
        sweepSlot < 0 || static_cast<std::size_t>(sweepSlot) >= kUserTimingSlots) {
        rxPosition = -1;
        return;
    }
    const auto index = static_cast<std::size_t>(sweepIndex);
    const bool userTiming = index == kUserTimingQueryIndex;
    const CommandCode code = kStatusQueryCodes[index];
    const int frameByte = rxPosition + 1;

    if (frameByte < kSweepDataByte) {
        const auto head = answerHead(code, userTiming ? kUserTimingSize : kStatusAnswerSize);
        rxPosition = matches(head, frameByte, byte) ? frameByte : -1;
        return;
    }

    if (!userTiming) {
        if (frameByte != kSweepDataByte) {
            rxPosition = -1;  // handed over past this answer's data byte
            return;
        }
        // The answer is taken at its data byte; its checksum then arrives while idle.
        deviceStatus.*kStatusFields[index] = static_cast<std::int8_t>(byte);
        rxPosition = -1;
        ++answersAccepted;
        ++sweepIndex;
        if (static_cast<std::size_t>(sweepIndex) < kUserTimingQueryIndex) {
            actions_.sendQuery(kStatusQueryCodes[static_cast<std::size_t>(sweepIndex)], {});
        } else {
            sweepSlot = 0;
            const std::array<std::uint8_t, 1> slot = {0x00};
            actions_.sendQuery(CMD_GET_USER_TIMING, slot);
        }
        actions_.startWatchdog(kNextAnswerTimeoutMs);
        return;
    }

    if (frameByte <= kSweepRecordLastByte) {
        sweepRecord_[static_cast<std::size_t>(frameByte - kSweepDataByte)] = byte;
        // The slot takes the record only once all 20 bytes are in, so an answer cut short
        // never leaves a half-written record behind.
        if (frameByte == kSweepRecordLastByte)
            userTimings[static_cast<std::size_t>(sweepSlot)] = UserTiming::fromBytes(sweepRecord_);
        rxPosition = frameByte;
        return;
    }
    if (frameByte != kSweepRecordChecksumByte) {
        rxPosition = -1;
        return;
    }
    rxPosition = -1;
    ++answersAccepted;
    if (static_cast<std::size_t>(sweepSlot) + 1 < kUserTimingSlots) {
        ++sweepSlot;
        const std::array<std::uint8_t, 1> slot = {static_cast<std::uint8_t>(sweepSlot)};
        actions_.sendQuery(CMD_GET_USER_TIMING, slot);
        actions_.startWatchdog(kNextAnswerTimeoutMs);
        return;
    }
    // Last answer: the watchdog keeps running from the 200 ms restart above and, with no mode
    // left on, only stops itself when it fires.
    sweepMode = false;
    if (deviceStatus.timingCode == kDetailsAfterSweepTiming)
        detailsPending = true;
    actions_.sweepFinished();
    actions_.sendQuery(CMD_GET_LINK_STATUS, {});
}

void ResponseReceiver::receiveGeneralByte(std::uint8_t byte, TargetAddress target) {
    if (rxPosition < 0) {
        if (byte == kAnswerStart) {
            rxFrame[0] = byte;
            rxPosition = 0;
        }
        return;
    }
    const auto p = static_cast<unsigned>(rxPosition);
    if (p <= 2) {
        rxFrame[p + 1] = byte;
        if (p == 2)
            rxLength = byte;
        rxPosition = rxPosition + 1;
        return;
    }
    if (p == 3) {
        rxFrame[4] = byte;
        if (byte > 0x01) {
            rxPosition = -1;
            return;
        }
        rxLength += static_cast<unsigned>(byte) * 256u;
        // Above 500 is out of range; below 5 the frame would end before its code bytes.
        rxPosition = (rxLength > kMaxLength || rxLength < kMinLength) ? -1 : 4;
        return;
    }
    // p >= 4. A position handed over by a special mode may lie past the end of the frame
    // rxLength describes (or rxLength may be stale): drop rather than store past the frame.
    const unsigned last = rxLength + 3;
    if (rxLength > kMaxLength || rxLength < kMinLength || p > last || p + 1 >= kFrameCapacity) {
        rxPosition = -1;
        return;
    }
    rxFrame[p + 1] = byte;
    if (p < last) {
        rxPosition = rxPosition + 1;
        return;
    }
    rxPosition = -1;

    // The frame as rxLength describes it (after a hand-over bytes 3-4 may be a stale frame's).
    const auto frame = std::span<const std::uint8_t>(rxFrame).first(rxLength + 5);
    if (!frameSumsToZero(frame))
        return;

    CommandCode code = frameCode(frame);
    const std::span<const std::uint8_t> data = frameData(frame);
    const TargetAddress from = frameAddress(frame);
    if (from.device == kCodeShiftMarker && (code & 0xFF) == kCodeShiftMarker) {
        // The code moves to the first two data bytes; a frame whose data cannot hold them has
        // no code.
        if (rxLength < kShiftedCodeMinLength)
            return;
        code = static_cast<CommandCode>(data[0] | (data[1] << 8));
    }
    const std::optional<std::size_t> index = responseCodeIndex(code);
    if (!index)
        return;
    if (!addressAccepted(code, from, target))
        return;
    ++answersAccepted;
    actions_.runHandler(*index, data);
}

}  // namespace krx
