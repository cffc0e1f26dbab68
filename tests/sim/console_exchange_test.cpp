// SPDX-License-Identifier: MIT
// The console's own response receiver against simulated generators over the in-process channel:
// what the simulator answers must be what the console's matchers accept.
#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "link/response_receiver.h"
#include "link/virtual_clock.h"
#include "sim/simulated_channel.h"
#include "sim_test_support.h"

namespace krx::sim {
namespace {

using krx::VirtualClock;
using testing::Bytes;

constexpr int kPort = 3;

// The console's side in miniature: the channel's listener, the receiver's actions and a watchdog
// on the virtual clock; every query goes to 00/00.
class ConsoleExchangeTest : public ::testing::Test, public SerialListener, public ReceiverActions {
  protected:
    void connect(LineConfig config) {
        line.emplace(config, std::vector<TargetAddress>{{0x01, 0x01}}, defaultTvEdid());
        channel.attachLine(kPort, *line);
        ASSERT_TRUE(channel.open(*this, kPort, 115200, 'N', 8, 1, 0, 4096) && channel.start());
    }

    void onSerialBytes(int, std::span<const std::uint8_t> bytes) override {
        for (std::uint8_t b : bytes)
            receiver.onByte(b, TargetAddress{});
    }
    void onSerialTxEmpty(int) override {}
    void onSerialPortLost(int) override {}

    void sendQuery(CommandCode code, std::span<const std::uint8_t> payload) override {
        channel.queueWrite(buildFrame(0x00, 0x00, code, payload)->view());
    }
    void startWatchdog(int intervalMs) override {
        clock.scheduleAtUs(clock.nowUs() + std::int64_t{intervalMs} * 1000,
                           [this, generation = ++watchdogGeneration] {
                               if (generation != watchdogGeneration)
                                   return;
                               ++watchdogExpiries;
                               receiver.watchdogExpired();
                           });
    }
    void stopWatchdog() override { ++watchdogGeneration; }
    void storeEdidByte(std::size_t index, std::uint8_t value) override { edid.at(index) = value; }
    void edidReceived() override { ++edidsReceived; }
    void sweepFinished() override { ++sweepsFinished; }
    void runHandler(std::size_t codeIndex, std::span<const std::uint8_t> data) override {
        handled.emplace_back(kResponseCodes[codeIndex], Bytes(data.begin(), data.end()));
    }

    VirtualClock clock;
    SimulatedChannel channel{clock};
    std::optional<GeneratorLine> line;
    ResponseReceiver receiver{*this};
    std::uint64_t watchdogGeneration = 0;
    EdidBytes edid{};
    int edidsReceived = 0;
    int sweepsFinished = 0;
    int watchdogExpiries = 0;
    std::vector<std::pair<CommandCode, Bytes>> handled;
};

TEST_F(ConsoleExchangeTest, StatusSweepReadsTheWholeGenerator) {
    connect(testing::pacedConfig(2'000));
    Generator& device = line->device(0);
    for (const auto& [code, value] : {std::pair{CMD_SET_TIMING, 0x22},
                                      {CMD_SET_PATTERN, 0x0B},
                                      {CMD_SET_HDCP, 1},
                                      {CMD_SET_SAMPLE_RATE, 4},
                                      {CMD_SET_POWER, 1}})
        ASSERT_TRUE(device.handle(code, Bytes{static_cast<std::uint8_t>(value)}, 0));

    receiver.startStatusSweep(400);
    clock.runForUs(1'000'000);
    // Finished, not cut short (the watchdog left running by the last byte fires harmlessly).
    EXPECT_EQ(sweepsFinished, 1);
    EXPECT_EQ(receiver.deviceStatus, device.status());
    EXPECT_EQ(receiver.deviceStatus.colorSpace, 4) << "4K 4:2:0 rule";
    EXPECT_EQ(receiver.userTimings, device.userTimings());
    // After the sweep the console asks for the link status; the general matcher takes it.
    const auto link = device.linkStatus();
    EXPECT_EQ(handled, (std::vector<std::pair<CommandCode, Bytes>>{
                           {CMD_GET_LINK_STATUS, Bytes(link.begin(), link.end())}}));
    // 22 queries and the link status request, each written once.
    EXPECT_EQ(channel.writes().size(), 23u);
}

TEST_F(ConsoleExchangeTest, EdidReadsAndTheSearchProbeAreAccepted) {
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
        edid.fill(0xEE);
        const int before = edidsReceived;
        receiver.edidReadMode = true;
        receiver.edidFromSavedSlot = row.savedSlot;
        sendQuery(row.code, std::vector<std::uint8_t>{row.payload});
        startWatchdog(600);
        clock.runForUs(1'000'000);
        EXPECT_EQ(edidsReceived, before + 1);
        EXPECT_EQ(edid,
                  row.savedSlot ? line->device(0).storedEdid(7) : line->device(0).attachedEdid());
    }
    EXPECT_EQ(watchdogExpiries, 0);

    receiver.searchMode = true;
    sendQuery(CMD_PING, {});
    clock.runForUs(500'000);
    EXPECT_TRUE(receiver.deviceFound);
}

TEST_F(ConsoleExchangeTest, StallFaultRunsTheSweepIntoItsWatchdog) {
    LineConfig config = testing::pacedConfig(2'000);
    config.faults.stallCodes = {CMD_GET_HDCP};
    connect(config);
    receiver.startStatusSweep(400);
    clock.runForUs(2'000'000);
    EXPECT_EQ(sweepsFinished, 0);
    EXPECT_EQ(watchdogExpiries, 1);
    EXPECT_FALSE(receiver.sweepMode);
    // The four answers before the stalled one were taken.
    EXPECT_EQ(receiver.deviceStatus.colorDepth, line->device(0).status().colorDepth);
    EXPECT_EQ(receiver.sweepIndex, 4);
}

}  // namespace
}  // namespace krx::sim
