// SPDX-License-Identifier: MIT
// The receiver's matchers byte by byte, driven by a recording console with a virtual-time
// watchdog: no console, port or real time.
#include <gtest/gtest.h>

#include <numeric>
#include <optional>
#include <vector>

#include "../support/bytes.h"
#include "link/response_receiver.h"

namespace krx {
namespace {

using testing::Bytes;
using testing::concat;

struct SentQuery {
    CommandCode code;
    Bytes payload;
    friend bool operator==(const SentQuery&, const SentQuery&) = default;
};

struct HandlerCall {
    std::size_t codeIndex;
    Bytes data;
    friend bool operator==(const HandlerCall&, const HandlerCall&) = default;
};

// State of the receiver as seen from inside sweepFinished().
struct FinishSnapshot {
    bool sweepMode;
    int rxPosition;
    bool detailsPending;
    std::size_t queriesSentBefore;
};

struct RecordingActions : ReceiverActions {
    const ResponseReceiver* receiver = nullptr;
    std::vector<SentQuery> queries;
    std::vector<int> watchdogStarts;  // intervals, in order
    int watchdogStops = 0;
    Bytes edid = Bytes(256);
    int edidStores = 0;
    int edidReceivedCalls = 0;
    std::vector<HandlerCall> handlers;
    std::vector<FinishSnapshot> finishes;
    std::int64_t nowMs = 0;  // virtual clock, and the watchdog's deadline if armed
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

constexpr std::size_t kIndex8065 = 19;
constexpr std::size_t kIndex8061 = 15;
constexpr std::size_t kIndexF801 = 31;
constexpr std::size_t kIndexF802 = 32;
constexpr std::size_t kIndex0061 = 0;

Bytes answer(std::uint8_t group, std::uint8_t device, CommandCode code, const Bytes& data = {}) {
    return testing::answerFrame({group, device}, code, data);
}

// A frame whose checksum is computed over whatever head and data it is given.
Bytes withChecksum(Bytes frame) {
    frame.push_back(frameChecksum(frame));
    return frame;
}

UserTiming sampleRecord(int slot) {
    const auto plus = [slot](int base) { return static_cast<std::uint16_t>(base + slot); };
    const auto low = static_cast<std::uint8_t>(slot);
    return {low, plus(7425), std::uint8_t(low & 7), plus(1280), 370, 110, 40, plus(720), 30, 5, 5};
}

Bytes statusAnswer(std::size_t index, std::uint8_t value) {
    return answer(0x01, 0x02, kStatusQueryCodes[index], {value});
}

Bytes userTimingAnswer(int slot) {
    const auto record = sampleRecord(slot).toBytes();
    return answer(0x01, 0x02, CMD_GET_USER_TIMING, Bytes(record.begin(), record.end()));
}

// One receiver and the recording console it drives.
struct Rig {
    RecordingActions a;
    ResponseReceiver rx{a};
    Rig() { a.receiver = &rx; }

    void feed(const Bytes& bytes, TargetAddress target = {}) {
        for (std::uint8_t b : bytes)
            rx.onByte(b, target);
    }
    // Answers every query of a sweep already started, from status entry `from` on.
    void answerSweep(const std::array<std::uint8_t, 12>& values, std::size_t from = 0) {
        for (std::size_t i = from; i < values.size(); ++i)
            feed(statusAnswer(i, values[i]));
        for (int slot = 0; slot < 10; ++slot)
            feed(userTimingAnswer(slot));
    }
    // Advances the virtual clock; at the armed deadline the console's timer handler runs,
    // which outside search mode is watchdogExpired().
    void advance(std::int64_t ms) {
        const std::int64_t end = a.nowMs + ms;
        while (a.deadlineMs && *a.deadlineMs <= end) {
            a.nowMs = *a.deadlineMs;
            a.deadlineMs.reset();
            rx.watchdogExpired();
        }
        a.nowMs = end;
    }
};

// Distinct values, so that a field stored in the wrong place shows; the last arrives negative.
// The timing 0x2A is the one whose details a finished sweep asks for.
constexpr std::array<std::uint8_t, 12> kSweepValues = {0x2A, 0x21, 2, 3, 1, 4, 6, 8, 5, 7, 9, 0x80};

// ---- Status sweep ---------------------------------------------------------------------------

TEST(ReceiverSweep, AsksEveryQueryInOrderStoresEverythingAndRestartsTheWatchdog) {
    Rig r;
    r.rx.startStatusSweep(800);
    // The first answer is taken at its data byte: the next query is out before the checksum.
    const Bytes first = statusAnswer(0, kSweepValues[0]);
    r.feed(Bytes(first.begin(), first.end() - 1));
    EXPECT_EQ(r.a.queries.size(), 2u);
    r.feed({first.back()});
    r.answerSweep(kSweepValues, 1);

    // Timing, pattern, the eight options, hot plug, power; then the ten user slots.
    std::vector<SentQuery> expected;
    for (CommandCode code :
         std::array<CommandCode, 12>{0x8061, 0x8062, 0x8063, 0x8064, 0x8065, 0x8066, 0x8067, 0x8068,
                                     0x8069, 0x806A, 0xB839, 0x80AB})
        expected.push_back({code, {}});
    for (std::uint8_t slot = 0; slot < 10; ++slot)
        expected.push_back({0x80A0, {slot}});
    expected.push_back({CMD_GET_LINK_STATUS, {}});
    EXPECT_EQ(r.a.queries, expected);

    EXPECT_EQ(r.rx.deviceStatus, (DeviceStatus{0x2A, 0x21, 2, 3, 1, 4, 6, 8, 5, 7, 9, -128}));
    for (int slot = 0; slot < 10; ++slot)
        EXPECT_EQ(r.rx.userTimings[static_cast<std::size_t>(slot)], sampleRecord(slot)) << slot;

    ASSERT_EQ(r.a.finishes.size(), 1u);
    EXPECT_FALSE(r.a.finishes[0].sweepMode);
    EXPECT_EQ(r.a.finishes[0].rxPosition, -1);
    EXPECT_EQ(r.a.finishes[0].queriesSentBefore, 22u);  // link status goes out after
    EXPECT_TRUE(r.a.finishes[0].detailsPending);
    EXPECT_TRUE(r.a.handlers.empty());

    // 0xAB opens a frame without a restart; every later byte up to the one that completes the
    // answer restarts 200 ms; a next query arms 400 ms; the checksum of a status answer arrives
    // while idle and restarts nothing.
    std::vector<int> restarts = {800};
    for (int i = 0; i < 12; ++i) {
        restarts.insert(restarts.end(), 9, 200);
        restarts.push_back(400);
    }
    for (int slot = 0; slot < 10; ++slot) {
        restarts.insert(restarts.end(), 29, 200);
        if (slot < 9)
            restarts.push_back(400);
    }
    EXPECT_EQ(r.a.watchdogStarts, restarts);
    EXPECT_EQ(r.a.watchdogStops, 0);  // left running after the last answer
}

// The watchdog ends the sweep before an EDID read, and leaves the position and a search alone
// (the console handles the search's expiry).
TEST(ReceiverSweep, MissingFourthAnswerEndsTheSweepAfter400MsBeforeAnEdidRead) {
    Rig r;
    r.rx.startStatusSweep(400);
    for (std::size_t i = 0; i < 3; ++i)
        r.feed(statusAnswer(i, kSweepValues[i]));
    r.rx.edidReadMode = r.rx.edidFromSavedSlot = r.rx.searchMode = true;
    r.rx.rxPosition = 7;
    r.advance(399);
    EXPECT_TRUE(r.rx.sweepMode);
    r.advance(1);
    EXPECT_FALSE(r.rx.sweepMode);
    EXPECT_TRUE(r.rx.edidReadMode && r.rx.edidFromSavedSlot && r.rx.searchMode);
    EXPECT_EQ(r.rx.rxPosition, 7);
    EXPECT_EQ(r.a.watchdogStops, 1);
    r.rx.watchdogExpired();  // the next expiry ends the EDID read
    EXPECT_FALSE(r.rx.edidReadMode || r.rx.edidFromSavedSlot);
    EXPECT_TRUE(r.rx.searchMode);
    EXPECT_TRUE(r.a.finishes.empty());
    EXPECT_EQ(r.a.queries.size(), 4u);  // nothing sent after the time-out
    EXPECT_EQ(r.rx.deviceStatus.colorSpace, 2);
    EXPECT_EQ(r.rx.deviceStatus.colorDepth, 0);  // the fourth field was never stored
}

TEST(ReceiverSweep, ChecksumByte0xABOpensAFrameAndTheNextAnswerFailsAtByte1) {
    Rig r;
    r.rx.startStatusSweep(400);
    r.feed({0xAB, 0x00, 0x00, 0x06, 0x00, 0x01, 0x02, 0x61, 0x80, 0x14, 0xAB});
    EXPECT_EQ(r.rx.rxPosition, 0);
    EXPECT_EQ(r.rx.sweepIndex, 1);

    r.feed(statusAnswer(1, 0x05));
    EXPECT_EQ(r.rx.deviceStatus.patternCode, 0);  // never taken
    EXPECT_EQ(r.rx.sweepIndex, 1);
    EXPECT_EQ(r.a.queries.size(), 2u);
    r.advance(200);  // the failed byte 1 was the last restart
    EXPECT_FALSE(r.rx.sweepMode);
    EXPECT_TRUE(r.a.finishes.empty());
}

// ---- Search and EDID matchers ---------------------------------------------------------------

TEST(ReceiverSearch, FindsADeviceOnlyOnTheFullProbeAnswer) {
    struct Row {
        const char* name;
        Bytes bytes;
        bool found;
        int leftPosition = -1;  // where the previous port's bytes left the frame
    };
    const Bytes probe = {0xAB, 0x00, 0x00, 0x07, 0x00, 0x05, 0x07, 0x02, 0xF8, 0x00, 0x00};
    const Row rows[] = {
        {"probe answer", probe, true},
        {"last data byte 01", answer(1, 1, CMD_PING, {0x00, 0x01}), false},
        {"first data byte 01", answer(1, 1, CMD_PING, {0x01, 0x00}), false},
        {"length 6", answer(1, 1, CMD_PING, {0x00}), false},
        {"other code", answer(1, 1, CMD_READ_ADDRESS, {0x00, 0x00}), false},
        {"noise then probe", concat({0x12, 0x00, 0x55}, probe), true},
        {"a new probe after a half frame AB 00", probe, true, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Rig r;
        r.rx.rxPosition = row.leftPosition;
        r.rx.startProbe();
        r.feed(row.bytes);
        EXPECT_EQ(r.rx.deviceFound, row.found);
        EXPECT_TRUE(r.a.handlers.empty());
        if (row.found) {  // bytes 1..10 of the answer each restart 200 ms
            EXPECT_EQ(r.a.watchdogStarts, std::vector<int>(10, 200));
            EXPECT_EQ(r.rx.rxPosition, -1);
        }
    }
}

Bytes edidBytes() {
    Bytes e(256);
    for (std::size_t i = 0; i < e.size(); ++i)
        e[i] = static_cast<std::uint8_t>((i * 7 + 3) & 0x7F);
    return e;  // no 0xAB among them
}

Bytes tvEdidAnswer() {
    return withChecksum(
        concat({0xAB, 0x00, 0x00, 0x05, 0x01, 0x01, 0x02, 0x38, 0xB8}, edidBytes()));
}

Bytes savedEdidAnswer(std::uint8_t slot) {
    return withChecksum(
        concat({0xAB, 0x00, 0x00, 0x06, 0x01, 0x01, 0x02, 0xAA, 0x80, slot}, edidBytes()));
}

TEST(ReceiverEdid, StoresTheAnswerThatMatchesTheReadAndItsSlot) {
    struct Row {
        const char* name;
        bool saved;
        Bytes bytes;
        bool accepted;
    };
    const Row rows[] = {
        {"from the display", false, tvEdidAnswer(), true},
        {"slot 0", true, savedEdidAnswer(0x00), true},
        {"slot 9", true, savedEdidAnswer(0x09), true},
        {"slot 0x0A dropped", true, savedEdidAnswer(0x0A), false},
        {"slot 0x80 negative passes", true, savedEdidAnswer(0x80), true},
        {"saved answer while reading the display", false, savedEdidAnswer(1), false},
        {"display answer while reading a slot", true, tvEdidAnswer(), false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Rig r;
        r.rx.edidReadMode = true;
        r.rx.edidFromSavedSlot = row.saved;
        r.feed(row.bytes);
        EXPECT_EQ(r.a.edidReceivedCalls, row.accepted ? 1 : 0);
        EXPECT_EQ(r.a.edidStores, row.accepted ? 256 : 0);
        EXPECT_EQ(r.rx.edidReadMode, !row.accepted);
        EXPECT_EQ(r.rx.edidFromSavedSlot, row.saved && !row.accepted);
        EXPECT_EQ(r.a.watchdogStops, row.accepted ? 1 : 0);
        EXPECT_TRUE(r.a.watchdogStarts.empty());  // no per-byte timer in EDID mode
        EXPECT_EQ(r.a.edid, row.accepted ? edidBytes() : Bytes(256));
        if (row.accepted) {
            EXPECT_EQ(r.rx.rxPosition, -1);
        }
    }
}

// ---- Mode priority and the watchdog ---------------------------------------------------------

TEST(ReceiverModes, FlagsChooseOneMatcherInPriorityOrder) {
    enum Matcher { Edid, Search, Sweep, General };
    struct Row {
        const char* name;
        bool edid, search, sweep;
        Matcher expected;
    };
    const Row rows[] = {
        {"all set", true, true, true, Edid},
        {"search and sweep", false, true, true, Search},
        {"sweep alone", false, false, true, Sweep},
        {"none", false, false, false, General},
    };
    const Bytes stimuli[] = {tvEdidAnswer(), answer(1, 1, CMD_PING, {0, 0}),
                             answer(1, 2, CMD_GET_TIMING, {0x14}),
                             answer(0, 0, CMD_GET_HDCP, {0x01})};
    for (const Row& row : rows) {
        for (int m = Edid; m <= General; ++m) {
            SCOPED_TRACE(std::string(row.name) + ", stimulus " + std::to_string(m));
            Rig r;
            r.rx.edidReadMode = row.edid;
            r.rx.searchMode = row.search;
            r.rx.sweepMode = row.sweep;
            r.feed(stimuli[m]);
            const bool seen[] = {r.a.edidReceivedCalls == 1, r.rx.deviceFound,
                                 r.rx.deviceStatus.timingCode == 0x14, r.a.handlers.size() == 1};
            EXPECT_EQ(seen[m], m == row.expected);
        }
    }
}

// ---- General matcher ------------------------------------------------------------------------

const Bytes kHdcpOn = {0xAB, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00, 0x65, 0x80, 0x01, 0x69};

// 500 is the longest length: 495 data bytes.
Bytes longestData() {
    Bytes data(495);
    std::iota(data.begin(), data.end(), std::uint8_t{1});
    return data;
}

// A head whose length bytes are dropped at byte 4, then a good frame that must still be found.
Bytes badLengthThenHdcp(std::uint8_t low, std::uint8_t high) {
    return concat({0xAB, 0x00, 0x00, low, high}, kHdcpOn);
}

TEST(ReceiverGeneral, RunsTheHandlerOnlyForValidAcceptedFrames) {
    struct Row {
        const char* name;
        Bytes bytes;
        std::vector<HandlerCall> expected;
        TargetAddress target{};
    };
    const HandlerCall hdcpOn{kIndex8065, {0x01}};
    const HandlerCall hdcp12{kIndex8065, {0x01, 0x02}};
    Bytes badChecksum = kHdcpOn;
    badChecksum.back() = 0x6A;
    const Bytes shifted = withChecksum({0xAB, 0, 0, 7, 0, 0x00, 0xFF, 0xFF, 0x12, 0x65, 0x80});
    const Row rows[] = {
        {"HDCP answer", kHdcpOn, {hdcpOn}},
        {"bad checksum dropped, resynchronised", concat(badChecksum, kHdcpOn), {hdcpOn}},
        // Address filter.
        {"other device", answer(1, 3, CMD_GET_HDCP, {1, 2}), {}, {0x01, 0x02}},
        {"own device", answer(1, 2, CMD_GET_HDCP, {1, 2}), {hdcp12}, {0x01, 0x02}},
        {"group target FF, device 03", answer(1, 3, CMD_GET_HDCP, {1, 2}), {hdcp12}, {1, 0xFF}},
        {"group target 00, other group", answer(7, 9, CMD_GET_HDCP, {1, 2}), {hdcp12}, {1, 0}},
        {"broadcast 0000", answer(7, 9, CMD_GET_HDCP, {1, 2}), {hdcp12}, {0x00, 0x00}},
        {"broadcast FFFF", answer(7, 9, CMD_GET_HDCP, {1, 2}), {hdcp12}, {0xFF, 0xFF}},
        {"group 00 is no group target", answer(0, 6, CMD_GET_HDCP, {1, 2}), {}, {0x00, 0x05}},
        {"group FF is no group target", answer(1, 2, CMD_GET_HDCP, {1, 2}), {}, {0xFF, 0x00}},
        {"read address, any target", answer(5, 6, CMD_READ_ADDRESS), {{kIndexF801, {}}}, {1, 2}},
        // Length bytes.
        {"length high byte 0x02", badLengthThenHdcp(0x06, 0x02), {hdcpOn}},
        {"length 501", badLengthThenHdcp(0xF5, 0x01), {hdcpOn}},
        {"length 4", badLengthThenHdcp(0x04, 0x00), {hdcpOn}},
        {"length 500",
         withChecksum(concat({0xAB, 0, 0, 0xF4, 0x01, 0, 0, 0x61, 0x80}, longestData())),
         {{kIndex8061, longestData()}}},
        {"length 5 has no data", answer(0, 0, CMD_PING), {{kIndexF802, {}}}},
        // Codes.
        {"saved EDID is read only in EDID mode", answer(0, 0, CMD_READ_SAVED_EDID, {1}), {}},
        {"code outside the table", answer(0, 0, 0x1234, {1}), {}},
        {"first code of the table", answer(0, 0, CMD_SET_TIMING), {{kIndex0061, {}}}},
        // Bytes 6-7 both 0xFF move the code to bytes 9-10 and the address test to bytes 5-6.
        {"shifted code, data from byte 9", shifted, {{kIndex8065, {0x65, 0x80}}}, {0x00, 0xFF}},
        {"shifted, address test fails", shifted, {}, {0x03, 0x04}},
        {"shifted code not in the table",
         withChecksum({0xAB, 0, 0, 7, 0, 0x00, 0xFF, 0xFF, 0x65, 0x99, 0x99}),
         {}},
        {"too short to shift: byte 10 is the checksum, 0x8061 if read",
         Bytes{0xAB, 0, 0, 6, 0, 0x00, 0xFF, 0xFF, 0x70, 0x61, 0x80},
         {}},
        {"length 5 cannot shift", withChecksum({0xAB, 0, 0, 5, 0, 0x00, 0xFF, 0xFF, 0x80}), {}},
        {"only byte 6 FF: no shift",
         withChecksum({0xAB, 0, 0, 6, 0, 0, 0xFF, 0x65, 0x80, 1}),
         {hdcpOn}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Rig r;
        r.feed(row.bytes, row.target);
        EXPECT_EQ(r.a.handlers, row.expected);
        EXPECT_EQ(r.rx.rxPosition, -1);
    }
}

// What no matcher can hold is dropped without a trace: in sweep mode every answer but the one the
// sweep waits for, and anything while its counters (public, so anyone may set them) are outside
// their ranges. A mode change may hand any position to another matcher: each drops a position
// past the answer it can hold, and the general matcher one past the frame its length describes
// (possibly a stale length), instead of storing the byte anywhere.
TEST(ReceiverModes, EveryMatcherDropsWhatItCannotHold) {
    enum Mode { EdidTv, EdidSaved, Search, Sweep, General };
    struct Row {
        const char* name;
        Mode mode;
        Bytes bytes;
        int index = 0;  // sweepIndex
        int slot = 0;   // sweepSlot
        int position = -1;
        unsigned length = 6;
    };
    const Row rows[] = {
        {"sweep: code of the second query", Sweep, answer(1, 2, CMD_GET_PATTERN, {0x05})},
        {"sweep: length of a user timing", Sweep,
         withChecksum({0xAB, 0, 0, 25, 0, 1, 2, 0x61, 0x80, 5})},
        {"sweep: length high byte set", Sweep,
         withChecksum({0xAB, 0, 0, 6, 1, 1, 2, 0x61, 0x80, 5})},
        {"sweep: byte 1 not zero", Sweep, withChecksum({0xAB, 1, 0, 6, 0, 1, 2, 0x61, 0x80, 5})},
        {"sweep: index 13", Sweep, userTimingAnswer(1), 13},
        {"sweep: index -1", Sweep, userTimingAnswer(1), -1},
        {"sweep: slot 10", Sweep, userTimingAnswer(1), 12, 10},
        {"sweep: slot -1", Sweep, userTimingAnswer(1), 12, -1},
        {"display EDID past its end", EdidTv, {0x01}, 0, 0, 400},
        {"saved EDID past its end", EdidSaved, {0x01}, 0, 0, 400},
        {"search past its end", Search, {0x01}, 0, 0, 400},
        {"sweep status past its end", Sweep, {0x01}, 0, 0, 400},
        {"sweep user timing past its end", Sweep, {0x01}, 12, 0, 400},
        {"general: a user-timing answer cut at byte 20", General, {0x01}, 0, 0, 20},
        {"general: beyond the buffer", General, {0x01}, 0, 0, 600, 500},
        {"general: last slot", General, {0x01}, 0, 0, 519, 500},
        {"general: stale length above 500", General, {0x01}, 0, 0, 10, 70000},
        {"general: stale short length", General, {0x01}, 0, 0, 4, 3},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Rig r;
        r.rx.edidReadMode = row.mode == EdidTv || row.mode == EdidSaved;
        r.rx.edidFromSavedSlot = row.mode == EdidSaved;
        r.rx.searchMode = row.mode == Search;
        r.rx.sweepMode = row.mode == Sweep;
        r.rx.sweepIndex = row.index;
        r.rx.sweepSlot = row.slot;
        r.rx.rxPosition = row.position;
        r.rx.rxLength = row.length;
        const auto frame = r.rx.rxFrame;
        r.feed(row.bytes);
        EXPECT_EQ(r.rx.rxPosition, -1);
        EXPECT_EQ(r.rx.rxFrame, frame);
        EXPECT_EQ(r.a.edidStores, 0);
        EXPECT_FALSE(r.rx.deviceFound);
        EXPECT_TRUE(r.a.queries.empty());
        EXPECT_TRUE(r.a.handlers.empty());
        EXPECT_EQ(r.rx.deviceStatus, DeviceStatus{});
        EXPECT_EQ(r.rx.userTimings, (std::array<UserTiming, kUserTimingSlots>{}));
    }
}

}  // namespace
}  // namespace krx
