// SPDX-License-Identifier: MIT
// What only the simulated channel does with a simulated line: the line's hang-up and the device's
// own clock reaching the console. What every channel promises is pinned by the channel contract
// suite, the line's pacing and faults by the generator-line tests.
#include "sim/simulated_channel.h"

#include <gtest/gtest.h>

#include <list>
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
constexpr int kPort = 3;

const Bytes kTimingRequest = commandFrame(kDevice, CMD_GET_TIMING);
const Bytes kTimingAnswer = answerFrame(kDevice, CMD_GET_TIMING, {0x14});

// Records what the channel hands over, with the virtual time of each byte.
class SimulatedChannelTest : public ::testing::Test, public SerialListener {
  protected:
    // A fresh line on kPort, hanging up after `hangUpAfterFrames` frames if given.
    GeneratorLine& attachLine(std::optional<std::size_t> hangUpAfterFrames = {}) {
        LineConfig config;
        config.latencyUs = kLatencyUs;
        config.faults.hangUpAfterFrames = hangUpAfterFrames;
        GeneratorLine& line = lines_.emplace_back(config, std::vector{kDevice}, defaultTvEdid());
        channel_.attachLine(kPort, line);
        return line;
    }
    bool openAndStart() {
        return channel_.open(*this, kPort, 115200, 'N', 8, 1, 0, 512) && channel_.start();
    }
    // Queues `frame` and lets the virtual clock run for `runUs`.
    void send(const Bytes& frame, std::int64_t runUs = 100'000) {
        channel_.queueWrite(frame);
        clock_.runForUs(runUs);
    }

    void onSerialBytes(int, std::span<const std::uint8_t> bytes) override {
        received_.insert(received_.end(), bytes.begin(), bytes.end());
        receivedAtUs_.insert(receivedAtUs_.end(), bytes.size(), clock_.nowUs());
    }
    void onSerialTxEmpty(int) override {}
    void onSerialPortLost(int port) override { lost_.push_back(port); }

    VirtualClock clock_;
    std::list<GeneratorLine> lines_;
    SimulatedChannel channel_{clock_};
    Bytes received_;
    std::vector<std::int64_t> receivedAtUs_;
    std::vector<int> lost_;
};

// The line hangs up once it has answered two frames (stray bytes are none), while the port is
// opened again after the last write: the new session loses the port once; a dead line cannot be
// opened again. (A session that holds the port throughout is the console's connection test.)
TEST_F(SimulatedChannelTest, HangUpLosesAPortOpenedAgainOnceAndTheLineStaysDead) {
    GeneratorLine& line = attachLine(2);
    ASSERT_TRUE(openAndStart());
    send(kTimingRequest);
    send({0xAA, 0x01, 0x02});  // not a frame: it does not count
    EXPECT_TRUE(lost_.empty());
    send(commandFrame(kDevice, CMD_GET_PATTERN), 1);
    ASSERT_TRUE(line.hangUpTimeUs());
    channel_.stop();
    ASSERT_TRUE(openAndStart());
    clock_.runForUs(100'000);
    EXPECT_EQ(lost_, std::vector<int>{kPort});
    EXPECT_FALSE(channel_.holdsPort());
    EXPECT_EQ(received_, kTimingAnswer);
    EXPECT_FALSE(channel_.open(*this, kPort, 115200, 'N', 8, 1, 0, 512));
}

TEST_F(SimulatedChannelTest, DeviceGivesUpOnACutShortRequestOnItsOwnClock) {
    // A head promising 32 payload bytes holds a whole good frame; nothing follows it. After
    // 200 ms of silence the device drops the head and finds the frame among its bytes.
    const Bytes longHead = concat(krx::testing::hex("AA 00 00 25 00 01 01 61 80"), kTimingRequest);
    attachLine();
    ASSERT_TRUE(openAndStart());
    send(longHead, 150'000);
    EXPECT_TRUE(received_.empty()) << "answered before 200 ms of silence";
    clock_.runForUs(150'000);
    ASSERT_EQ(received_, kTimingAnswer);
    const std::int64_t lastRequestByteUs = lineTimeUs(static_cast<std::int64_t>(longHead.size()));
    EXPECT_GE(receivedAtUs_.front(), lastRequestByteUs + 200'000 + kLatencyUs);
}

}  // namespace
}  // namespace krx::sim
