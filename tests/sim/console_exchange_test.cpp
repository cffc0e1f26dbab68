// SPDX-License-Identifier: MIT
// The console's own response receiver against simulated generators over the in-process channel:
// what the simulator answers must be what the console's matchers accept.
#include <gtest/gtest.h>

#include <vector>

#include "link/response_receiver.h"
#include "link/virtual_clock.h"
#include "sim/simulated_channel.h"
#include "sim_test_support.h"

namespace krx::sim {
namespace {

using krx::VirtualClock;

constexpr int kPort = 3;

// The console's side in miniature: the channel's listener, the receiver's actions, a watchdog on
// the virtual clock, and the target address every query goes to.
class MiniConsole final : public SerialListener, public ReceiverActions {
  public:
    MiniConsole(VirtualClock& clock, SimulatedChannel& channel, TargetAddress target)
        : clock_(clock), channel_(channel), target_(target), receiver(*this) {}

    bool connect() {
        return channel_.open(*this, kPort, 115200, 'N', 8, 1, 0, 4096) && channel_.start();
    }
    void send(CommandCode code, std::span<const std::uint8_t> payload = {}) {
        sendQuery(code, payload);
    }

    // SerialListener
    void onSerialBytes(int, std::span<const std::uint8_t> bytes) override {
        for (std::uint8_t b : bytes)
            receiver.onByte(b, target_);
    }
    void onSerialTxEmpty(int) override {}
    void onSerialPortLost(int) override {}

    // ReceiverActions
    void sendQuery(CommandCode code, std::span<const std::uint8_t> payload) override {
        const auto frame = buildFrame(target_.group, target_.device, code, payload);
        channel_.queueWrite(frame->view());
    }
    void startWatchdog(int intervalMs) override {
        const std::uint64_t generation = ++watchdogGeneration_;
        clock_.scheduleAtUs(clock_.nowUs() + std::int64_t{intervalMs} * 1000, [this, generation] {
            if (generation != watchdogGeneration_)
                return;
            ++watchdogExpiries;
            receiver.watchdogExpired();
        });
    }
    void stopWatchdog() override { ++watchdogGeneration_; }
    void storeEdidByte(std::size_t index, std::uint8_t value) override { edid.at(index) = value; }
    void edidReceived() override { ++edidsReceived; }
    void sweepFinished() override { ++sweepsFinished; }
    void runHandler(std::size_t codeIndex, std::span<const std::uint8_t> data) override {
        handled.push_back({kResponseCodes[codeIndex], {data.begin(), data.end()}});
    }

    struct Handled {
        CommandCode code;
        std::vector<std::uint8_t> data;
    };

  private:
    VirtualClock& clock_;
    SimulatedChannel& channel_;
    TargetAddress target_;
    std::uint64_t watchdogGeneration_ = 0;

  public:
    ResponseReceiver receiver;
    EdidBytes edid{};
    int edidsReceived = 0;
    int sweepsFinished = 0;
    int watchdogExpiries = 0;
    std::vector<Handled> handled;
};

class ConsoleExchangeTest : public ::testing::Test {
  protected:
    void connect(LineConfig config, TargetAddress target = {0x00, 0x00}) {
        line.emplace(config, std::vector<TargetAddress>{{0x01, 0x01}}, defaultTvEdid());
        channel.attachLine(kPort, *line);
        console.emplace(clock, channel, target);
        ASSERT_TRUE(console->connect());
    }

    VirtualClock clock;
    SimulatedChannel channel{clock};
    std::optional<GeneratorLine> line;
    std::optional<MiniConsole> console;
};

TEST_F(ConsoleExchangeTest, StatusSweepReadsTheWholeGenerator) {
    connect(testing::pacedConfig(2'000));
    Generator& device = line->device(0);
    for (const auto& [code, value] : {std::pair{CMD_SET_TIMING, 0x22},
                                      {CMD_SET_PATTERN, 0x0B},
                                      {CMD_SET_HDCP, 1},
                                      {CMD_SET_SAMPLE_RATE, 4},
                                      {CMD_SET_POWER, 1}}) {
        const std::vector<std::uint8_t> payload = {static_cast<std::uint8_t>(value)};
        ASSERT_TRUE(device.handle(code, payload, 0));
    }

    console->receiver.startStatusSweep(400);
    clock.runForUs(1'000'000);

    // Finished, not cut short (the watchdog left running by the last byte fires harmlessly).
    EXPECT_EQ(console->sweepsFinished, 1);
    EXPECT_EQ(console->receiver.deviceStatus, device.status());
    EXPECT_EQ(console->receiver.deviceStatus.colorSpace, 4) << "4K 4:2:0 rule";
    EXPECT_EQ(console->receiver.userTimings, device.userTimings());
    // After the sweep the console asks for the link status; the general matcher takes it.
    ASSERT_FALSE(console->handled.empty());
    EXPECT_EQ(console->handled.back().code, CMD_GET_LINK_STATUS);
    const auto link = device.linkStatus();
    EXPECT_EQ(console->handled.back().data, std::vector<std::uint8_t>(link.begin(), link.end()));
    // 22 queries and the link status request, each written once.
    EXPECT_EQ(channel.writes().size(), 23u);
}

TEST_F(ConsoleExchangeTest, EdidReadsFillTheImage) {
    connect(testing::pacedConfig(2'000));
    struct Row {
        const char* name;
        bool savedSlot;
        CommandCode code;
        std::uint8_t payload;
    };
    for (const Row& row : {Row{"display", false, CMD_READ_TV_EDID, 0x01},
                           Row{"stored slot 7", true, CMD_READ_SAVED_EDID, 7}}) {
        SCOPED_TRACE(row.name);
        console->edid.fill(0xEE);
        const int before = console->edidsReceived;
        console->receiver.edidReadMode = true;
        console->receiver.edidFromSavedSlot = row.savedSlot;
        const std::uint8_t payload[] = {row.payload};
        console->send(row.code, payload);
        console->startWatchdog(600);
        clock.runForUs(1'000'000);
        EXPECT_EQ(console->edidsReceived, before + 1);
        const EdidBytes expected =
            row.savedSlot ? line->device(0).storedEdid(7) : line->device(0).attachedEdid();
        EXPECT_EQ(console->edid, expected);
    }
    EXPECT_EQ(console->watchdogExpiries, 0);
}

TEST_F(ConsoleExchangeTest, SearchProbeFindsTheDevice) {
    connect(testing::pacedConfig(2'000));
    console->receiver.searchMode = true;
    console->send(CMD_PING);
    console->startWatchdog(300);
    clock.runForUs(500'000);
    EXPECT_TRUE(console->receiver.deviceFound);
}

TEST_F(ConsoleExchangeTest, StallFaultRunsTheSweepIntoItsWatchdog) {
    LineConfig config = testing::pacedConfig(2'000);
    config.faults.stallCodes = {CMD_GET_HDCP};
    connect(config);
    console->receiver.startStatusSweep(400);
    clock.runForUs(2'000'000);
    EXPECT_EQ(console->sweepsFinished, 0);
    EXPECT_EQ(console->watchdogExpiries, 1);
    EXPECT_FALSE(console->receiver.sweepMode);
    // The four answers before the stalled one were taken.
    EXPECT_EQ(console->receiver.deviceStatus.colorDepth, line->device(0).status().colorDepth);
    EXPECT_EQ(console->receiver.sweepIndex, 4);
}

}  // namespace
}  // namespace krx::sim
