// SPDX-License-Identifier: MIT
#include "sim/simulated_channel.h"

#include <gtest/gtest.h>

#include <vector>

#include "link/command_frame.h"
#include "link/virtual_clock.h"
#include "sim/line_timing.h"
#include "sim_test_support.h"

namespace krx::sim {
namespace {

using krx::VirtualClock;
using testing::answerBytes;
using testing::Bytes;
using testing::frameBytes;
using testing::pacedConfig;

// Records what the channel hands over, with the virtual time of each call.
class RecordingListener final : public SerialListener {
  public:
    explicit RecordingListener(const VirtualClock& clock) : clock_(clock) {}

    void onSerialBytes(int port, std::span<const std::uint8_t> bytes) override {
        ASSERT_EQ(bytes.size(), 1u) << "one byte per call";
        received.push_back(bytes[0]);
        receivedAtUs.push_back(clock_.nowUs());
        ports.push_back(port);
        if (onByte)
            onByte(bytes[0]);
    }
    void onSerialTxEmpty(int port) override { txEmpty.push_back(port); }
    void onSerialPortLost(int port) override { lost.push_back(port); }

    Bytes received;
    std::vector<std::int64_t> receivedAtUs;
    std::vector<int> ports;
    std::vector<int> txEmpty;
    std::vector<int> lost;
    std::function<void(std::uint8_t)> onByte;

  private:
    const VirtualClock& clock_;
};

constexpr TargetAddress kDevice{0x01, 0x01};
constexpr std::int64_t kLatencyUs = 1'000;

class SimulatedChannelTest : public ::testing::Test {
  protected:
    SimulatedChannelTest()
        : line(pacedConfig(kLatencyUs), {kDevice}, defaultTvEdid()),
          channel(clock),
          listener(clock) {
        channel.attachLine(3, line);
        channel.addSilentPort(4);
        channel.addBusyPort(5);
    }

    bool openAndStart(int port) {
        if (!channel.open(listener, port, 115200, 'N', 8, 1, 0, 512))
            return false;
        return channel.start();
    }

    VirtualClock clock;
    GeneratorLine line;
    SimulatedChannel channel;
    RecordingListener listener;
};

TEST_F(SimulatedChannelTest, OpenFollowsThePortKinds) {
    struct Row {
        const char* name;
        int port;
        bool opens;
    };
    for (const Row& row : {Row{"line", 3, true}, Row{"silent", 4, true}, Row{"busy", 5, false},
                           Row{"missing", 6, false}}) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(openAndStart(3));
        EXPECT_EQ(channel.open(listener, row.port, 115200, 'N', 8, 1, 0, 512), row.opens);
        // Opening always ends the previous port's monitoring.
        EXPECT_FALSE(channel.monitoring());
        EXPECT_EQ(channel.openPort(), row.opens ? row.port : 0);
        EXPECT_EQ(channel.holdsPort(), row.opens);
    }
}

TEST_F(SimulatedChannelTest, AnswerBytesArriveOneByOneAtLineTimes) {
    ASSERT_TRUE(openAndStart(3));
    clock.runUntilUs(10'000);
    const Bytes request = frameBytes(CMD_GET_TIMING);
    channel.queueWrite(request);
    clock.runForUs(100'000);

    ASSERT_EQ(channel.writes().size(), 1u);
    EXPECT_EQ(channel.writes()[0].port, 3);
    EXPECT_EQ(channel.writes()[0].timeUs, 10'000);
    EXPECT_EQ(channel.writes()[0].bytes, request);
    EXPECT_EQ(listener.txEmpty, std::vector<int>{3});

    const Bytes expected = answerBytes(kDevice, CMD_GET_TIMING, {0x14});
    EXPECT_EQ(listener.received, expected);
    ASSERT_EQ(listener.receivedAtUs.size(), expected.size());
    // The request takes ten byte times to arrive; the answer starts after the latency.
    const std::int64_t answerStart = 10'000 + lineTimeUs(10) + kLatencyUs;
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(listener.receivedAtUs[i],
                  answerStart + lineTimeUs(static_cast<std::int64_t>(i + 1)))
            << "byte " << i;
    EXPECT_EQ(listener.ports, std::vector<int>(expected.size(), 3));
}

TEST_F(SimulatedChannelTest, SecondQueuedFrameReplacesTheFirst) {
    ASSERT_TRUE(openAndStart(3));
    channel.queueWrite(frameBytes(CMD_GET_PATTERN));
    channel.queueWrite(frameBytes(CMD_GET_TIMING));
    clock.runForUs(100'000);
    ASSERT_EQ(channel.writes().size(), 1u);
    EXPECT_EQ(channel.writes()[0].bytes, frameBytes(CMD_GET_TIMING));
    EXPECT_EQ(listener.received, answerBytes(kDevice, CMD_GET_TIMING, {0x14}));
    EXPECT_EQ(listener.txEmpty.size(), 1u);
}

TEST_F(SimulatedChannelTest, FrameBeyondTheBufferSizeIsRefusedAndThePendingOneKept) {
    ASSERT_TRUE(channel.open(listener, 3, 115200, 'N', 8, 1, 0, 12));
    ASSERT_TRUE(channel.start());
    channel.queueWrite(frameBytes(CMD_GET_TIMING));
    channel.queueWrite(frameBytes(CMD_STORE_USER_TIMING, Bytes(20, 0)));  // 30 bytes
    clock.runForUs(100'000);
    ASSERT_EQ(channel.writes().size(), 1u);
    EXPECT_EQ(channel.writes()[0].bytes, frameBytes(CMD_GET_TIMING));
}

TEST_F(SimulatedChannelTest, FrameQueuedBeforeStartIsWrittenOnStart) {
    ASSERT_TRUE(channel.open(listener, 3, 115200, 'N', 8, 1, 0, 512));
    channel.queueWrite(frameBytes(CMD_GET_TIMING));
    clock.runForUs(50'000);
    EXPECT_TRUE(channel.writes().empty());
    ASSERT_TRUE(channel.start());
    clock.runForUs(50'000);
    EXPECT_EQ(channel.writes().size(), 1u);
    EXPECT_FALSE(listener.received.empty());
}

TEST_F(SimulatedChannelTest, WriteDiscardsAnswerBytesThatWereDueButUnread) {
    ASSERT_TRUE(openAndStart(3));
    channel.queueWrite(frameBytes(CMD_GET_TIMING));
    clock.runForUs(1);  // written now; the answer comes within the next 3 ms
    // The window thread sleeps through the whole answer, then sends the next query.
    clock.advanceUs(50'000);
    channel.queueWrite(frameBytes(CMD_GET_PATTERN));
    clock.runForUs(100'000);
    EXPECT_EQ(listener.received, answerBytes(kDevice, CMD_GET_PATTERN, {0x00}));
}

TEST_F(SimulatedChannelTest, WriteFromAByteHandlerKeepsTheBytesNotYetArrived) {
    ASSERT_TRUE(openAndStart(3));
    // Like the status sweep: the next query goes out on the data byte, before the checksum.
    bool sent = false;
    listener.onByte = [&](std::uint8_t) {
        if (!sent && listener.received.size() == 10) {
            sent = true;
            channel.queueWrite(frameBytes(CMD_GET_PATTERN));
        }
    };
    channel.queueWrite(frameBytes(CMD_GET_TIMING));
    clock.runForUs(100'000);
    Bytes expected = answerBytes(kDevice, CMD_GET_TIMING, {0x14});
    const Bytes second = answerBytes(kDevice, CMD_GET_PATTERN, {0x00});
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(listener.received, expected);
}

TEST_F(SimulatedChannelTest, StopDropsUndeliveredBytesAndPendingFrame) {
    ASSERT_TRUE(openAndStart(3));
    channel.queueWrite(frameBytes(CMD_GET_TIMING));
    clock.runForUs(1);
    channel.stop();
    channel.queueWrite(frameBytes(CMD_GET_PATTERN));  // closed: nothing to write to
    clock.runForUs(100'000);
    EXPECT_TRUE(listener.received.empty());
    EXPECT_EQ(channel.writes().size(), 1u);
    EXPECT_FALSE(channel.holdsPort());

    // Reopening the same port starts clean: stale deliveries from before do nothing.
    ASSERT_TRUE(openAndStart(3));
    channel.queueWrite(frameBytes(CMD_GET_HDCP));
    clock.runForUs(100'000);
    EXPECT_EQ(listener.received, answerBytes(kDevice, CMD_GET_HDCP, {0x00}));
}

TEST_F(SimulatedChannelTest, SilentPortTakesWritesAndNeverAnswers) {
    ASSERT_TRUE(openAndStart(4));
    channel.queueWrite(frameBytes(CMD_PING));
    clock.runForUs(1'000'000);
    EXPECT_EQ(channel.writes().size(), 1u);
    EXPECT_EQ(listener.txEmpty, std::vector<int>{4});
    EXPECT_TRUE(listener.received.empty());
}

TEST(SimulatedChannelHangUp, PortIsLostOnceAfterTheLastAnswer) {
    VirtualClock clock;
    LineConfig config = pacedConfig(kLatencyUs);
    config.faults.hangUpAfterFrames = 2;
    GeneratorLine line(config, {kDevice}, defaultTvEdid());
    SimulatedChannel channel(clock);
    channel.attachLine(7, line);
    RecordingListener listener(clock);
    ASSERT_TRUE(channel.open(listener, 7, 115200, 'N', 8, 1, 0, 512));
    ASSERT_TRUE(channel.start());

    channel.queueWrite(frameBytes(CMD_GET_TIMING));
    clock.runForUs(100'000);
    EXPECT_TRUE(listener.lost.empty());
    channel.queueWrite(frameBytes(CMD_GET_PATTERN));
    clock.runForUs(100'000);

    EXPECT_EQ(listener.lost, std::vector<int>{7});
    EXPECT_FALSE(channel.holdsPort());
    EXPECT_FALSE(channel.monitoring());
    // Both answers were complete before the line went dead.
    EXPECT_EQ(listener.received.size(), 22u);
    // A line that has hung up cannot be opened again.
    EXPECT_FALSE(channel.open(listener, 7, 115200, 'N', 8, 1, 0, 512));
}

TEST(SimulatedChannelHangUp, IsReportedAfterAReopenWithoutFurtherWrites) {
    VirtualClock clock;
    LineConfig config = pacedConfig(kLatencyUs);
    config.faults.hangUpAfterFrames = 1;
    GeneratorLine line(config, {kDevice}, defaultTvEdid());
    SimulatedChannel channel(clock);
    channel.attachLine(7, line);
    RecordingListener listener(clock);
    ASSERT_TRUE(channel.open(listener, 7, 115200, 'N', 8, 1, 0, 512));
    ASSERT_TRUE(channel.start());
    channel.queueWrite(frameBytes(CMD_GET_TIMING));
    clock.runForUs(1);
    ASSERT_TRUE(line.hangUpTimeUs());

    // Closed and opened again before the line goes dead: the new session learns of it.
    channel.stop();
    ASSERT_TRUE(channel.open(listener, 7, 115200, 'N', 8, 1, 0, 512));
    ASSERT_TRUE(channel.start());
    clock.runForUs(100'000);
    EXPECT_EQ(listener.lost, std::vector<int>{7});
    EXPECT_FALSE(channel.holdsPort());
}

}  // namespace
}  // namespace krx::sim
