// SPDX-License-Identifier: MIT
// What only the simulated channel does: its kinds of port, answers paced byte by byte on the
// virtual clock, and the line's own faults reaching the console. What every channel promises is
// pinned by the channel contract suite.
#include "sim/simulated_channel.h"

#include <gtest/gtest.h>

#include <vector>

#include "link/virtual_clock.h"
#include "sim/line_timing.h"
#include "support/bytes.h"

namespace krx::sim {
namespace {

using krx::testing::answerFrame;
using krx::testing::Bytes;
using krx::testing::commandFrame;
using krx::testing::concat;

constexpr TargetAddress kDevice{0x01, 0x01};
constexpr std::int64_t kLatencyUs = 1'000;
constexpr int kLinePort = 3;
constexpr int kSilentPort = 4;
constexpr int kBusyPort = 5;
constexpr int kHangUpPort = 7;

const Bytes kTimingRequest = commandFrame(kDevice, CMD_GET_TIMING);
const Bytes kTimingAnswer = answerFrame(kDevice, CMD_GET_TIMING, {0x14});

LineConfig lineConfig(std::optional<std::size_t> hangUpAfterFrames = {}) {
    LineConfig config;
    config.latencyUs = kLatencyUs;
    config.faults.hangUpAfterFrames = hangUpAfterFrames;
    return config;
}

// Records what the channel hands over, with the virtual time of each byte.
class SimulatedChannelTest : public ::testing::Test, public SerialListener {
  protected:
    SimulatedChannelTest() {
        channel.attachLine(kLinePort, line);
        channel.addSilentPort(kSilentPort);
        channel.addBusyPort(kBusyPort);
    }

    bool open(int port) { return channel.open(*this, port, 115200, 'N', 8, 1, 0, 512); }
    bool openAndStart(int port) { return open(port) && channel.start(); }
    // Queues `frame` and lets the virtual clock run long enough for any answer.
    void send(const Bytes& frame, std::int64_t runUs = 100'000) {
        channel.queueWrite(frame);
        clock.runForUs(runUs);
    }

    void onSerialBytes(int port, std::span<const std::uint8_t> bytes) override {
        ASSERT_EQ(bytes.size(), 1u) << "one byte per call";
        received.push_back(bytes[0]);
        receivedAtUs.push_back(clock.nowUs());
        ports.push_back(port);
    }
    void onSerialTxEmpty(int port) override { txEmpty.push_back(port); }
    void onSerialPortLost(int port) override { lost.push_back(port); }

    VirtualClock clock;
    GeneratorLine line{lineConfig(), {kDevice}, defaultTvEdid()};
    SimulatedChannel channel{clock};

    Bytes received;
    std::vector<std::int64_t> receivedAtUs;
    std::vector<int> ports;
    std::vector<int> txEmpty;
    std::vector<int> lost;
};

TEST_F(SimulatedChannelTest, OpenFollowsThePortKinds) {
    struct Row {
        const char* name;
        int port;
        bool opens;
    };
    for (const Row& row : {Row{"line", kLinePort, true}, Row{"silent", kSilentPort, true},
                           Row{"busy", kBusyPort, false}, Row{"missing", 6, false}}) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(openAndStart(kLinePort));
        EXPECT_EQ(open(row.port), row.opens);
        // Opening always ends the previous port's monitoring.
        EXPECT_FALSE(channel.monitoring());
        EXPECT_EQ(channel.openPort(), row.opens ? row.port : 0);
        EXPECT_EQ(channel.holdsPort(), row.opens);
    }
}

TEST_F(SimulatedChannelTest, AnswerBytesArriveOneByOneAtLineTimes) {
    ASSERT_TRUE(openAndStart(kLinePort));
    clock.runUntilUs(10'000);
    send(kTimingRequest);

    ASSERT_EQ(channel.writes().size(), 1u);
    EXPECT_EQ(channel.writes()[0].port, kLinePort);
    EXPECT_EQ(channel.writes()[0].timeUs, 10'000);
    EXPECT_EQ(channel.writes()[0].bytes, kTimingRequest);
    EXPECT_EQ(txEmpty, std::vector<int>{kLinePort});
    EXPECT_EQ(received, kTimingAnswer);
    EXPECT_EQ(ports, std::vector<int>(kTimingAnswer.size(), kLinePort));
    ASSERT_EQ(receivedAtUs.size(), kTimingAnswer.size());
    // The request takes ten byte times to arrive; the answer starts after the latency.
    const std::int64_t answerStart = 10'000 + lineTimeUs(10) + kLatencyUs;
    for (std::size_t i = 0; i < kTimingAnswer.size(); ++i)
        EXPECT_EQ(receivedAtUs[i], answerStart + lineTimeUs(static_cast<std::int64_t>(i + 1)))
            << "byte " << i;
}

// The line hangs up once it has answered two frames. The session holding the port then, even one
// opened again after the last write, loses it once; a dead line cannot be opened again.
TEST_F(SimulatedChannelTest, HangUpLosesThePortOnceAfterTheLastAnswer) {
    GeneratorLine held{lineConfig(2), {kDevice}, defaultTvEdid()};
    GeneratorLine reopened{lineConfig(2), {kDevice}, defaultTvEdid()};
    for (const bool reopen : {false, true}) {
        SCOPED_TRACE(reopen ? "reopened before the line went dead" : "held");
        GeneratorLine& hangingUp = reopen ? reopened : held;
        channel.attachLine(kHangUpPort, hangingUp);
        received.clear();
        lost.clear();
        ASSERT_TRUE(openAndStart(kHangUpPort));
        send(kTimingRequest);
        EXPECT_TRUE(lost.empty());
        send(commandFrame(kDevice, CMD_GET_PATTERN), reopen ? 1 : 100'000);
        if (reopen) {
            ASSERT_TRUE(hangingUp.hangUpTimeUs());
            channel.stop();
            ASSERT_TRUE(openAndStart(kHangUpPort));
            clock.runForUs(100'000);
        }
        EXPECT_EQ(lost, std::vector<int>{kHangUpPort});
        EXPECT_FALSE(channel.holdsPort());
        EXPECT_FALSE(channel.monitoring());
        // Held, both answers were complete before the line went dead.
        EXPECT_EQ(received,
                  reopen ? kTimingAnswer
                         : concat(kTimingAnswer, answerFrame(kDevice, CMD_GET_PATTERN, {0x00})));
        EXPECT_FALSE(open(kHangUpPort));
    }
}

TEST_F(SimulatedChannelTest, DeviceGivesUpOnACutShortRequestOnItsOwnClock) {
    // A head promising 32 payload bytes holds a whole good frame; nothing follows it. After
    // 200 ms of silence the device drops the head and finds the frame among its bytes.
    const Bytes longHead = concat(krx::testing::hex("AA 00 00 25 00 01 01 61 80"), kTimingRequest);
    ASSERT_TRUE(openAndStart(kLinePort));
    send(longHead, 150'000);
    EXPECT_TRUE(received.empty()) << "answered before 200 ms of silence";
    clock.runForUs(150'000);
    EXPECT_EQ(received, kTimingAnswer);
    ASSERT_FALSE(receivedAtUs.empty());
    const std::int64_t lastRequestByteUs = lineTimeUs(static_cast<std::int64_t>(longHead.size()));
    EXPECT_GE(receivedAtUs.front(), lastRequestByteUs + 200'000 + kLatencyUs);
}

}  // namespace
}  // namespace krx::sim
