// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <initializer_list>
#include <numeric>
#include <vector>

#include "link/command_frame.h"
#include "link/response_receiver.h"
#include "receiver_fake.h"

namespace krx {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::advance;
using test::frameBytes;
using test::RecordingActions;

constexpr std::size_t kIndex8065 = 19;
constexpr std::size_t kIndex8061 = 15;
constexpr std::size_t kIndexF801 = 31;
constexpr std::size_t kIndexF802 = 32;

Bytes answer(std::uint8_t group, std::uint8_t device, CommandCode code, const Bytes& data = {}) {
    return frameBytes(buildAnswerFrame(group, device, code, data));
}

// A frame whose checksum is computed over whatever head and data it is given.
Bytes withChecksum(Bytes frame) {
    frame.push_back(frameChecksum(frame));
    return frame;
}

UserTiming sampleRecord(int slot) {
    UserTiming r;
    r.slot = static_cast<std::uint8_t>(slot);
    r.clock10kHz = static_cast<std::uint16_t>(7425 + slot);
    r.flags = static_cast<std::uint8_t>(slot & 0x07);
    r.hActive = static_cast<std::uint16_t>(1280 + slot);
    r.hBlank = 370;
    r.hSyncOffset = 110;
    r.hSyncWidth = 40;
    r.vActive = static_cast<std::uint16_t>(720 + slot);
    r.vBlank = 30;
    r.vSyncOffset = 5;
    r.vSyncWidth = 5;
    return r;
}

class ReceiverTest : public ::testing::Test {
  protected:
    RecordingActions actions;
    ResponseReceiver rx{actions};
    TargetAddress target{};

    void SetUp() override { actions.receiver = &rx; }

    void feed(const Bytes& bytes) {
        for (std::uint8_t b : bytes)
            rx.onByte(b, target);
    }
    void feed(std::initializer_list<std::uint8_t> bytes) { feed(Bytes(bytes)); }

    // The answer to status query `index` as the generator sends it, address (0x01, 0x02).
    Bytes statusAnswer(std::size_t index, std::uint8_t value) {
        return answer(0x01, 0x02, kStatusQueryCodes[index], {value});
    }
    Bytes userTimingAnswer(int slot) {
        const auto record = sampleRecord(slot).toBytes();
        return answer(0x01, 0x02, CMD_GET_USER_TIMING, Bytes(record.begin(), record.end()));
    }

    // Answers every query of a sweep already started, the status fields from `values`.
    void answerWholeSweep(const std::array<std::uint8_t, 12>& values) {
        for (std::size_t i = 0; i < values.size(); ++i)
            feed(statusAnswer(i, values[i]));
        for (int slot = 0; slot < 10; ++slot)
            feed(userTimingAnswer(slot));
    }

    Bytes sentFrame(std::size_t i) const {
        const auto& q = actions.queries.at(i);
        return frameBytes(buildFrame(target.group, target.device, q.code, q.payload));
    }
};

constexpr std::array<std::uint8_t, 12> kSweepValues = {0x14, 0x21, 2, 1, 1, 1, 2, 2, 0, 0, 1, 0};

// ---- Status sweep ---------------------------------------------------------------------------

TEST_F(ReceiverTest, SweepFramesMatchTheLineBytesByteForByte) {
    rx.startStatusSweep(400);
    ASSERT_EQ(actions.queries.size(), 1u);
    EXPECT_EQ(sentFrame(0), (Bytes{0xAA, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0x61, 0x80, 0x70}));

    // The first answer is taken at its data byte: the next query is out before the checksum.
    feed({0xAB, 0x00, 0x00, 0x06, 0x00, 0x01, 0x02, 0x61, 0x80, 0x14});
    EXPECT_EQ(rx.deviceStatus.timingCode, 0x14);
    ASSERT_EQ(actions.queries.size(), 2u);
    EXPECT_EQ(sentFrame(1), (Bytes{0xAA, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0x62, 0x80, 0x6F}));
    feed({0x3C});  // any checksum byte, dropped while idle

    for (std::size_t i = 1; i < 12; ++i)
        feed(statusAnswer(i, kSweepValues[i]));
    ASSERT_EQ(actions.queries.size(), 13u);
    EXPECT_EQ(sentFrame(12),
              (Bytes{0xAA, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00, 0xA0, 0x80, 0x00, 0x30}));

    for (int slot = 0; slot < 10; ++slot)
        feed(userTimingAnswer(slot));
    ASSERT_EQ(actions.queries.size(), 23u);
    EXPECT_EQ(sentFrame(22), (Bytes{0xAA, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0xA9, 0x80, 0x28}));
}

TEST_F(ReceiverTest, SweepAsksTwentyTwoQueriesInOrderAndStoresEverything) {
    rx.startStatusSweep(800);
    answerWholeSweep(kSweepValues);

    std::vector<test::SentQuery> expected;
    for (std::size_t i = 0; i < 12; ++i)
        expected.push_back({kStatusQueryCodes[i], {}});
    for (std::uint8_t slot = 0; slot < 10; ++slot)
        expected.push_back({CMD_GET_USER_TIMING, {slot}});
    expected.push_back({CMD_GET_LINK_STATUS, {}});
    EXPECT_EQ(actions.queries, expected);

    const DeviceStatus& s = rx.deviceStatus;
    for (std::size_t i = 0; i < kStatusFieldCount; ++i)
        EXPECT_EQ(s.*kStatusFields[i], static_cast<std::int8_t>(kSweepValues[i])) << i;
    for (int slot = 0; slot < 10; ++slot)
        EXPECT_EQ(rx.userTimings[static_cast<std::size_t>(slot)], sampleRecord(slot)) << slot;

    ASSERT_EQ(actions.finishes.size(), 1u);
    EXPECT_FALSE(actions.finishes[0].sweepMode);
    EXPECT_EQ(actions.finishes[0].rxPosition, -1);
    EXPECT_EQ(actions.finishes[0].queriesSentBefore, 22u);  // link status goes out after
    EXPECT_EQ(actions.events.back(), "query");
    EXPECT_EQ(actions.events[actions.events.size() - 2], "finished");
    EXPECT_FALSE(rx.sweepMode);
    EXPECT_TRUE(actions.handlers.empty());
}

TEST_F(ReceiverTest, SweepRestartsTheWatchdogInFramesAndAfterEachQuery) {
    rx.startStatusSweep(400);
    answerWholeSweep(kSweepValues);

    // 0xAB opens a frame without a restart; every later byte up to the one that completes the
    // answer restarts 200 ms; a next query arms 400 ms; the checksum of a status answer arrives
    // while idle and restarts nothing.
    std::vector<int> expected = {400};
    for (int i = 0; i < 12; ++i) {
        expected.insert(expected.end(), 9, 200);
        expected.push_back(400);
    }
    for (int slot = 0; slot < 10; ++slot) {
        expected.insert(expected.end(), 29, 200);
        if (slot < 9)
            expected.push_back(400);
    }
    EXPECT_EQ(actions.watchdogStarts, expected);
    EXPECT_EQ(actions.watchdogStops, 0);  // left running after the last answer

    // When it fires with no mode on it only stops itself.
    advance(actions, rx, 200);
    EXPECT_EQ(actions.watchdogStops, 1);
    EXPECT_EQ(actions.finishes.size(), 1u);
}

TEST_F(ReceiverTest, MissingFourthAnswerEndsTheSweepAfter400Ms) {
    rx.startStatusSweep(400);
    for (std::size_t i = 0; i < 3; ++i)
        feed(statusAnswer(i, kSweepValues[i]));
    advance(actions, rx, 399);
    EXPECT_TRUE(rx.sweepMode);
    advance(actions, rx, 1);
    EXPECT_FALSE(rx.sweepMode);
    EXPECT_EQ(actions.watchdogStops, 1);
    EXPECT_TRUE(actions.finishes.empty());
    EXPECT_EQ(actions.queries.size(), 4u);  // nothing sent after the time-out
    EXPECT_EQ(rx.deviceStatus.colorSpace, 2);
    EXPECT_EQ(rx.deviceStatus.colorDepth, 0);  // the fourth field was never stored

    // A later sweep starts again at the first query and completes.
    rx.startStatusSweep(400);
    EXPECT_EQ(actions.queries.back(), (test::SentQuery{CMD_GET_TIMING, {}}));
    EXPECT_EQ(rx.sweepIndex, 0);
    answerWholeSweep(kSweepValues);
    EXPECT_EQ(actions.finishes.size(), 1u);
}

TEST_F(ReceiverTest, StallOf200MsInsideAnAnswerEndsTheSweep) {
    rx.startStatusSweep(400);
    const Bytes a = statusAnswer(0, 0x14);
    feed(Bytes(a.begin(), a.begin() + 5));
    advance(actions, rx, 199);
    EXPECT_TRUE(rx.sweepMode);
    feed({a[5]});  // restarts the 200 ms
    advance(actions, rx, 199);
    EXPECT_TRUE(rx.sweepMode);
    advance(actions, rx, 1);
    EXPECT_FALSE(rx.sweepMode);
    EXPECT_EQ(rx.rxPosition, 5);  // the time-out leaves the position alone
    EXPECT_EQ(actions.queries.size(), 1u);
}

TEST_F(ReceiverTest, SweepSets_detailsPending_OnlyForTiming0x2A) {
    struct Row {
        std::uint8_t timing;
        bool pending;
    };
    for (const Row& r : {Row{0x2A, true}, Row{0x14, false}, Row{0x36, false}}) {
        RecordingActions a;
        ResponseReceiver receiver(a);
        a.receiver = &receiver;
        receiver.startStatusSweep(400);
        std::array<std::uint8_t, 12> values = kSweepValues;
        values[0] = r.timing;
        for (std::size_t i = 0; i < 12; ++i)
            for (std::uint8_t b : answer(1, 2, kStatusQueryCodes[i], {values[i]}))
                receiver.onByte(b, {});
        for (int slot = 0; slot < 10; ++slot) {
            const auto rec = sampleRecord(slot).toBytes();
            for (std::uint8_t b : answer(1, 2, CMD_GET_USER_TIMING, Bytes(rec.begin(), rec.end())))
                receiver.onByte(b, {});
        }
        ASSERT_EQ(a.finishes.size(), 1u) << int(r.timing);
        EXPECT_EQ(a.finishes[0].detailsPending, r.pending) << int(r.timing);
        EXPECT_EQ(receiver.detailsPending, r.pending) << int(r.timing);
    }
}

TEST_F(ReceiverTest, ChecksumByte0xABOpensAFrameAndTheNextAnswerFailsAtByte1) {
    rx.startStatusSweep(400);
    feed({0xAB, 0x00, 0x00, 0x06, 0x00, 0x01, 0x02, 0x61, 0x80, 0x14, 0xAB});
    EXPECT_EQ(rx.rxPosition, 0);
    EXPECT_EQ(rx.sweepIndex, 1);

    feed(statusAnswer(1, 0x05));
    EXPECT_EQ(rx.deviceStatus.patternCode, 0);  // never taken
    EXPECT_EQ(rx.sweepIndex, 1);
    EXPECT_EQ(actions.queries.size(), 2u);
    advance(actions, rx, 200);  // the failed byte 1 was the last restart
    EXPECT_FALSE(rx.sweepMode);
    EXPECT_TRUE(actions.finishes.empty());
}

TEST_F(ReceiverTest, SweepIgnoresAnswersToOtherQueriesAndLengths) {
    struct Row {
        const char* name;
        Bytes bytes;
    };
    const Row rows[] = {
        {"code of the second query", answer(1, 2, CMD_GET_PATTERN, {0x05})},
        {"length of a user timing", withChecksum({0xAB, 0, 0, 25, 0, 1, 2, 0x61, 0x80, 0x05})},
        {"length high byte set", withChecksum({0xAB, 0, 0, 6, 1, 1, 2, 0x61, 0x80, 0x05})},
        {"byte 1 not zero", withChecksum({0xAB, 1, 0, 6, 0, 1, 2, 0x61, 0x80, 0x05})},
    };
    for (const Row& r : rows) {
        RecordingActions a;
        ResponseReceiver receiver(a);
        a.receiver = &receiver;
        receiver.startStatusSweep(400);
        for (std::uint8_t b : r.bytes)
            receiver.onByte(b, {});
        EXPECT_EQ(receiver.sweepIndex, 0) << r.name;
        EXPECT_EQ(receiver.deviceStatus.timingCode, 0) << r.name;
        EXPECT_EQ(a.queries.size(), 1u) << r.name;
    }
}

// A user-timing answer cut short by the watchdog leaves the slot's previous record intact.
TEST_F(ReceiverTest, UserTimingCutShortLeavesTheSlotUnchanged) {
    rx.startStatusSweep(400);
    for (std::size_t i = 0; i < 12; ++i)
        feed(statusAnswer(i, kSweepValues[i]));
    const Bytes a = userTimingAnswer(0);
    feed(Bytes(a.begin(), a.begin() + 20));  // 11 of the 20 record bytes
    advance(actions, rx, 200);
    EXPECT_FALSE(rx.sweepMode);
    EXPECT_EQ(rx.userTimings[0], UserTiming{});
}

TEST_F(ReceiverTest, SweepCountersOutsideTheirRangesDropTheFrame) {
    struct Row {
        const char* name;
        int index, slot;
    };
    for (const Row& r : {Row{"index 13", 13, 0}, Row{"index -1", -1, 0}, Row{"slot 10", 12, 10},
                         Row{"slot -1", 12, -1}}) {
        RecordingActions a;
        ResponseReceiver receiver(a);
        a.receiver = &receiver;
        receiver.sweepMode = true;
        receiver.sweepIndex = r.index;
        receiver.sweepSlot = r.slot;
        const auto rec = sampleRecord(1).toBytes();
        for (std::uint8_t b : answer(1, 2, CMD_GET_USER_TIMING, Bytes(rec.begin(), rec.end())))
            receiver.onByte(b, {});
        EXPECT_EQ(receiver.rxPosition, -1) << r.name;
        EXPECT_TRUE(a.queries.empty()) << r.name;
        EXPECT_EQ(receiver.userTimings, (std::array<UserTiming, kUserTimingSlots>{})) << r.name;
    }
}

// ---- Search matcher -------------------------------------------------------------------------

TEST_F(ReceiverTest, SearchFindsADeviceOnlyOnTheFullProbeAnswer) {
    struct Row {
        const char* name;
        Bytes bytes;
        bool found;
    };
    const Bytes probe = answer(0x01, 0x01, CMD_PING, {0x00, 0x00});
    const Row rows[] = {
        {"full probe answer", probe, true},
        {"literal probe answer",
         {0xAB, 0x00, 0x00, 0x07, 0x00, 0x05, 0x07, 0x02, 0xF8, 0x00, 0x00},
         true},
        {"last data byte 01", answer(1, 1, CMD_PING, {0x00, 0x01}), false},
        {"first data byte 01", answer(1, 1, CMD_PING, {0x01, 0x00}), false},
        {"cut before byte 10", Bytes(probe.begin(), probe.begin() + 10), false},
        {"length 6", answer(1, 1, CMD_PING, {0x00}), false},
        {"other code", answer(1, 1, CMD_READ_ADDRESS, {0x00, 0x00}), false},
        {"noise then probe",
         [&] {
             Bytes b = {0x12, 0x00, 0x55};
             b.insert(b.end(), probe.begin(), probe.end());
             return b;
         }(),
         true},
    };
    for (const Row& r : rows) {
        RecordingActions a;
        ResponseReceiver receiver(a);
        receiver.searchMode = true;
        for (std::uint8_t b : r.bytes)
            receiver.onByte(b, {});
        EXPECT_EQ(receiver.deviceFound, r.found) << r.name;
        EXPECT_TRUE(a.handlers.empty()) << r.name;
    }
}

TEST_F(ReceiverTest, SearchRestarts200MsOnEveryByteInsideAFrame) {
    rx.searchMode = true;
    feed(answer(0x01, 0x01, CMD_PING, {0x00, 0x00}));
    EXPECT_TRUE(rx.deviceFound);
    EXPECT_EQ(rx.rxPosition, -1);
    EXPECT_EQ(actions.watchdogStarts, std::vector<int>(10, 200));  // bytes 1..10
}

// ---- EDID-read matcher ----------------------------------------------------------------------

Bytes edidBytes() {
    Bytes e(256);
    for (std::size_t i = 0; i < e.size(); ++i)
        e[i] = static_cast<std::uint8_t>((i * 7 + 3) & 0x7F);
    return e;  // no 0xAB among them
}

Bytes tvEdidAnswer() {
    Bytes f = {0xAB, 0x00, 0x00, 0x05, 0x01, 0x01, 0x02, 0x38, 0xB8};
    const Bytes e = edidBytes();
    f.insert(f.end(), e.begin(), e.end());
    return withChecksum(f);
}

Bytes savedEdidAnswer(std::uint8_t slot) {
    Bytes f = {0xAB, 0x00, 0x00, 0x06, 0x01, 0x01, 0x02, 0xAA, 0x80, slot};
    const Bytes e = edidBytes();
    f.insert(f.end(), e.begin(), e.end());
    return withChecksum(f);
}

TEST_F(ReceiverTest, EdidFromTheDisplayIsStoredAndFinished) {
    rx.edidReadMode = true;
    feed(tvEdidAnswer());
    const Bytes e = edidBytes();
    ASSERT_EQ(actions.edidStores, 256);
    for (std::size_t i = 0; i < 256; ++i)
        EXPECT_EQ(actions.edid[i], e[i]) << i;
    EXPECT_EQ(actions.edidReceivedCalls, 1);
    EXPECT_FALSE(rx.edidReadMode);
    EXPECT_FALSE(rx.edidFromSavedSlot);
    EXPECT_EQ(rx.rxPosition, -1);
    EXPECT_EQ(actions.watchdogStops, 1);
    EXPECT_TRUE(actions.watchdogStarts.empty());  // no per-byte timer in EDID mode
}

TEST_F(ReceiverTest, EdidFromASavedSlotTestsTheSlotByte) {
    struct Row {
        const char* name;
        std::uint8_t slot;
        bool accepted;
    };
    const Row rows[] = {
        {"slot 0", 0x00, true},
        {"slot 9", 0x09, true},
        {"slot 0x0A dropped", 0x0A, false},
        {"slot 0x7F dropped", 0x7F, false},
        {"slot 0x80 negative passes", 0x80, true},
        {"slot 0xFF negative passes", 0xFF, true},
    };
    for (const Row& r : rows) {
        RecordingActions a;
        ResponseReceiver receiver(a);
        receiver.edidReadMode = true;
        receiver.edidFromSavedSlot = true;
        const Bytes f = savedEdidAnswer(r.slot);
        for (std::size_t i = 0; i < 10; ++i)
            receiver.onByte(f[i], {});
        EXPECT_EQ(receiver.rxPosition, r.accepted ? 9 : -1) << r.name;
        for (std::size_t i = 10; i < f.size(); ++i)
            receiver.onByte(f[i], {});
        EXPECT_EQ(a.edidReceivedCalls, r.accepted ? 1 : 0) << r.name;
        EXPECT_EQ(a.edidStores, r.accepted ? 256 : 0) << r.name;
        EXPECT_EQ(receiver.edidReadMode, !r.accepted) << r.name;
        if (r.accepted) {
            EXPECT_EQ(a.edid[255], edidBytes()[255]) << r.name;
        }
    }
}

TEST_F(ReceiverTest, EdidHeadsAreNotInterchangeable) {
    struct Row {
        const char* name;
        bool saved;
        Bytes bytes;
    };
    const Row rows[] = {
        {"saved answer while reading the display", false, savedEdidAnswer(1)},
        {"display answer while reading a slot", true, tvEdidAnswer()},
    };
    for (const Row& r : rows) {
        RecordingActions a;
        ResponseReceiver receiver(a);
        receiver.edidReadMode = true;
        receiver.edidFromSavedSlot = r.saved;
        for (std::uint8_t b : r.bytes)
            receiver.onByte(b, {});
        EXPECT_EQ(a.edidStores, 0) << r.name;
        EXPECT_EQ(a.edidReceivedCalls, 0) << r.name;
    }
}

// ---- Mode priority and the watchdog ---------------------------------------------------------

TEST_F(ReceiverTest, ModeFlagsChooseOneMatcherInPriorityOrder) {
    enum Matcher { kEdid, kSearch, kSweep, kGeneral };
    struct Row {
        const char* name;
        bool edid, search, sweep;
        Matcher expected;
    };
    const Row rows[] = {
        {"all set", true, true, true, kEdid},
        {"edid and sweep", true, false, true, kEdid},
        {"search and sweep", false, true, true, kSearch},
        {"sweep alone", false, false, true, kSweep},
        {"none", false, false, false, kGeneral},
    };
    const Bytes stimuli[] = {tvEdidAnswer(),
                             answer(1, 1, CMD_PING, {0, 0}),
                             answer(1, 2, CMD_GET_TIMING, {0x14}),
                             {0xAB, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00, 0x65, 0x80, 0x01, 0x69}};
    for (const Row& r : rows) {
        for (int m = kEdid; m <= kGeneral; ++m) {
            RecordingActions a;
            ResponseReceiver receiver(a);
            a.receiver = &receiver;
            receiver.edidReadMode = r.edid;
            receiver.searchMode = r.search;
            receiver.sweepMode = r.sweep;
            for (std::uint8_t b : stimuli[m])
                receiver.onByte(b, {});
            const bool seen[] = {a.edidReceivedCalls == 1, receiver.deviceFound,
                                 receiver.deviceStatus.timingCode == 0x14, a.handlers.size() == 1};
            EXPECT_EQ(seen[m], m == r.expected) << r.name << " stimulus " << m;
        }
    }
}

TEST_F(ReceiverTest, WatchdogEndsTheSweepElseTheEdidReadAndKeepsThePosition) {
    struct Row {
        const char* name;
        bool sweep, edid, saved;
        bool sweepAfter, edidAfter, savedAfter;
    };
    const Row rows[] = {
        {"sweep first", true, true, true, false, true, true},
        {"edid read", false, true, true, false, false, false},
        {"nothing on", false, false, false, false, false, false},
    };
    for (const Row& r : rows) {
        RecordingActions a;
        ResponseReceiver receiver(a);
        receiver.sweepMode = r.sweep;
        receiver.edidReadMode = r.edid;
        receiver.edidFromSavedSlot = r.saved;
        receiver.searchMode = true;  // untouched: the console handles the search's expiry
        receiver.rxPosition = 7;
        receiver.watchdogExpired();
        EXPECT_EQ(receiver.sweepMode, r.sweepAfter) << r.name;
        EXPECT_EQ(receiver.edidReadMode, r.edidAfter) << r.name;
        EXPECT_EQ(receiver.edidFromSavedSlot, r.savedAfter) << r.name;
        EXPECT_TRUE(receiver.searchMode) << r.name;
        EXPECT_EQ(receiver.rxPosition, 7) << r.name;
        EXPECT_EQ(a.watchdogStops, 1) << r.name;
    }
}

// ---- General matcher ------------------------------------------------------------------------

const Bytes kHdcpOn = {0xAB, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00, 0x65, 0x80, 0x01, 0x69};

TEST_F(ReceiverTest, GeneralAppliesTheHdcpAnswer) {
    ASSERT_EQ(kResponseCodes[kIndex8065], 0x8065);
    feed(kHdcpOn);
    ASSERT_EQ(actions.handlers.size(), 1u);
    EXPECT_EQ(actions.handlers[0], (test::HandlerCall{kIndex8065, {0x01}}));
    EXPECT_EQ(rx.rxPosition, -1);
}

TEST_F(ReceiverTest, GeneralDropsAChangedLastByteAndResynchronisesOnTheNextStart) {
    Bytes bad = kHdcpOn;
    bad.back() = 0x6A;
    feed(bad);
    EXPECT_TRUE(actions.handlers.empty());
    EXPECT_EQ(rx.rxPosition, -1);
    feed(kHdcpOn);
    EXPECT_EQ(actions.handlers.size(), 1u);
}

TEST_F(ReceiverTest, GeneralAddressFilter) {
    struct Row {
        const char* name;
        TargetAddress target;
        std::uint8_t group, device;
        CommandCode code;
        bool applied;
    };
    const Row rows[] = {
        {"other device dropped", {0x01, 0x02}, 0x01, 0x03, CMD_GET_HDCP, false},
        {"own device applied", {0x01, 0x02}, 0x01, 0x02, CMD_GET_HDCP, true},
        {"group target FF, device 03", {0x01, 0xFF}, 0x01, 0x03, CMD_GET_HDCP, true},
        {"group target FF, device 02", {0x01, 0xFF}, 0x01, 0x02, CMD_GET_HDCP, true},
        {"group target 00 takes another group", {0x01, 0x00}, 0x07, 0x09, CMD_GET_HDCP, true},
        {"broadcast 0000", {0x00, 0x00}, 0x07, 0x09, CMD_GET_HDCP, true},
        {"broadcast FFFF", {0xFF, 0xFF}, 0x07, 0x09, CMD_GET_HDCP, true},
        {"group 00 is no group target", {0x00, 0x05}, 0x00, 0x06, CMD_GET_HDCP, false},
        {"group FF is no group target", {0xFF, 0x00}, 0x01, 0x02, CMD_GET_HDCP, false},
        {"read address whatever the target", {0x01, 0x02}, 0x05, 0x06, CMD_READ_ADDRESS, true},
    };
    for (const Row& r : rows) {
        RecordingActions a;
        ResponseReceiver receiver(a);
        for (std::uint8_t b : answer(r.group, r.device, r.code, {0x01, 0x02}))
            receiver.onByte(b, r.target);
        EXPECT_EQ(a.handlers.size(), r.applied ? 1u : 0u) << r.name;
    }
}

TEST_F(ReceiverTest, GeneralLengthTests) {
    struct Row {
        const char* name;
        std::uint8_t low, high;
    };
    // Each is dropped at byte 4: the position is idle right after it.
    const Row dropped[] = {
        {"high byte 0x02", 0x06, 0x02},
        {"high byte 0xFF", 0x06, 0xFF},
        {"501", 0xF5, 0x01},
        {"511", 0xFF, 0x01},
        {"length 0", 0x00, 0x00},
        {"length 1", 0x01, 0x00},
        {"length 4", 0x04, 0x00},
    };
    for (const Row& r : dropped) {
        RecordingActions a;
        ResponseReceiver receiver(a);
        for (std::uint8_t b : {std::uint8_t{0xAB}, std::uint8_t{0}, std::uint8_t{0}, r.low, r.high})
            receiver.onByte(b, {});
        EXPECT_EQ(receiver.rxPosition, -1) << r.name;
    }

    // 500 is accepted: 495 data bytes.
    Bytes f = {0xAB, 0x00, 0x00, 0xF4, 0x01, 0x00, 0x00, 0x61, 0x80};
    Bytes data(495);
    std::iota(data.begin(), data.end(), std::uint8_t{1});
    f.insert(f.end(), data.begin(), data.end());
    f = withChecksum(f);
    ASSERT_EQ(f.size(), 505u);
    feed(f);
    ASSERT_EQ(actions.handlers.size(), 1u);
    EXPECT_EQ(actions.handlers[0], (test::HandlerCall{kIndex8061, data}));

    // 5 is the shortest: no data.
    feed(answer(0, 0, CMD_PING));
    ASSERT_EQ(actions.handlers.size(), 2u);
    EXPECT_EQ(actions.handlers[1], (test::HandlerCall{kIndexF802, {}}));
}

TEST_F(ReceiverTest, GeneralCodeShift) {
    struct Row {
        const char* name;
        TargetAddress target;
        Bytes frame;
        std::optional<test::HandlerCall> expected;
    };
    const Row rows[] = {
        {"code from bytes 9-10, data from byte 9",
         {0x00, 0x00},
         withChecksum({0xAB, 0, 0, 7, 0, 0x00, 0xFF, 0xFF, 0x12, 0x65, 0x80}),
         test::HandlerCall{kIndex8065, {0x65, 0x80}}},
        {"address test on bytes 5-6 matches",
         {0x00, 0xFF},
         withChecksum({0xAB, 0, 0, 8, 0, 0x00, 0xFF, 0xFF, 0x12, 0x01, 0xF8, 0x33}),
         test::HandlerCall{kIndexF801, {0x01, 0xF8, 0x33}}},
        {"address test on bytes 5-6 fails",
         {0x03, 0x04},
         withChecksum({0xAB, 0, 0, 7, 0, 0x00, 0xFF, 0xFF, 0x12, 0x65, 0x80}),
         std::nullopt},
        {"shifted code not in the table",
         {0x00, 0x00},
         withChecksum({0xAB, 0, 0, 7, 0, 0x00, 0xFF, 0xFF, 0x65, 0x99, 0x99}),
         std::nullopt},
        {"too short: byte 10 is the checksum, 0x8061 if read",
         {0x00, 0x00},
         Bytes{0xAB, 0, 0, 6, 0, 0x00, 0xFF, 0xFF, 0x70, 0x61, 0x80},
         std::nullopt},
        {"length 5 cannot shift",
         {0x00, 0x00},
         withChecksum({0xAB, 0, 0, 5, 0, 0x00, 0xFF, 0xFF, 0x80}),
         std::nullopt},
        {"only byte 6 FF: no shift",
         {0x00, 0x00},
         withChecksum({0xAB, 0, 0, 6, 0, 0x00, 0xFF, 0x65, 0x80, 0x01}),
         test::HandlerCall{kIndex8065, {0x01}}},
    };
    for (const Row& r : rows) {
        RecordingActions a;
        ResponseReceiver receiver(a);
        for (std::uint8_t b : r.frame)
            receiver.onByte(b, r.target);
        if (r.expected) {
            ASSERT_EQ(a.handlers.size(), 1u) << r.name;
            EXPECT_EQ(a.handlers[0], *r.expected) << r.name;
        } else {
            EXPECT_TRUE(a.handlers.empty()) << r.name;
        }
    }
}

TEST_F(ReceiverTest, GeneralDropsUnknownCodes) {
    feed(answer(0, 0, CMD_READ_SAVED_EDID, {0x01}));  // read only in EDID mode
    feed(answer(0, 0, 0x1234, {0x01}));
    EXPECT_TRUE(actions.handlers.empty());
    feed(answer(0, 0, CMD_SET_TIMING));
    EXPECT_EQ(actions.handlers.size(), 1u);
}

// A special mode may hand any position to the general matcher; it never stores past the frame
// its length describes, and never past rxFrame.
TEST_F(ReceiverTest, GeneralDropsAHandedOverPositionPastTheFrame) {
    feed(kHdcpOn);  // rxLength is now 6
    ASSERT_EQ(actions.handlers.size(), 1u);

    // A user-timing answer interrupted at byte 20 by the sweep's time-out.
    rx.startStatusSweep(400);
    rx.sweepIndex = 12;
    const auto rec = sampleRecord(0).toBytes();
    const Bytes a = answer(1, 2, CMD_GET_USER_TIMING, Bytes(rec.begin(), rec.end()));
    feed(Bytes(a.begin(), a.begin() + 21));
    ASSERT_EQ(rx.rxPosition, 20);
    advance(actions, rx, 200);
    ASSERT_FALSE(rx.sweepMode);

    const auto before = rx.rxFrame;
    feed({0x55});
    EXPECT_EQ(rx.rxPosition, -1);
    EXPECT_EQ(rx.rxFrame, before);
    feed(kHdcpOn);
    EXPECT_EQ(actions.handlers.size(), 2u);

    struct Row {
        const char* name;
        int position;
        unsigned length;
    };
    for (const Row& r :
         {Row{"beyond the buffer", 600, 500}, Row{"last slot", 519, 500},
          Row{"stale length above 500", 10, 70000}, Row{"stale short length", 4, 3}}) {
        rx.rxPosition = r.position;
        rx.rxLength = r.length;
        const auto frame = rx.rxFrame;
        feed({0x01});
        EXPECT_EQ(rx.rxPosition, -1) << r.name;
        EXPECT_EQ(rx.rxFrame, frame) << r.name;
    }
}

TEST_F(ReceiverTest, SpecialMatchersDropPositionsPastTheirAnswers) {
    struct Row {
        const char* name;
        bool edid, saved, search, sweep;
        int sweepIndex;
    };
    const Row rows[] = {
        {"display EDID", true, false, false, false, 0},
        {"saved EDID", true, true, false, false, 0},
        {"search", false, false, true, false, 0},
        {"sweep status", false, false, false, true, 0},
        {"sweep user timing", false, false, false, true, 12},
    };
    for (const Row& r : rows) {
        RecordingActions a;
        ResponseReceiver receiver(a);
        receiver.edidReadMode = r.edid;
        receiver.edidFromSavedSlot = r.saved;
        receiver.searchMode = r.search;
        receiver.sweepMode = r.sweep;
        receiver.sweepIndex = r.sweepIndex;
        receiver.rxPosition = 400;  // as left by a long general frame
        receiver.onByte(0x00, {});
        EXPECT_EQ(receiver.rxPosition, -1) << r.name;
        EXPECT_EQ(a.edidStores, 0) << r.name;
        EXPECT_FALSE(receiver.deviceFound) << r.name;
        EXPECT_TRUE(a.queries.empty()) << r.name;
    }
}

}  // namespace
}  // namespace krx
