// SPDX-License-Identifier: MIT
// The network channel's own behaviour against a real ser2net on loopback: refused opens and a
// server that goes away. What it shares with every channel runs in the contract suite
// (tests/serial/channel_contract_test.cpp).
#include "link/network_channel.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <ctime>
#include <memory>
#include <numeric>
#include <thread>

#include "network_line.h"
#include "ser2net_server.h"
#include "serial_test_support.h"

namespace krx {
namespace {

using namespace std::chrono_literals;
using test::Ser2netMode;
using Bytes = std::vector<std::uint8_t>;

constexpr int kPort = 12;

class NetworkChannelTest : public ::testing::Test {
  protected:
    std::unique_ptr<CNetworkChannel> channelTo(const std::optional<std::string>& url,
                                               NetworkTimeouts timeouts = {}) {
        return std::make_unique<CNetworkChannel>(
            windowThread_, [url](int) { return url; }, timeouts);
    }
    bool open(SerialChannel& channel) {
        return channel.open(listener_, kPort, 115200, 'N', 8, 1, 0x0003, 512);
    }

    test::QueueExecutor windowThread_;
    test::RecordingListener listener_;
};

TEST_F(NetworkChannelTest, RefusedOpenSaysWhyAndLeavesNothingBehind) {
    const test::NetworkLine<Ser2netMode::RawTcp> rawLine;
    const test::Ser2netServer& raw = rawLine.server();
    const test::NetworkLine<Ser2netMode::Rfc2217> rfc2217Line;
    const test::Ser2netServer& rfc2217 = rfc2217Line.server();
    // A port bound and never listened on: connections are refused, and no one else takes it.
    const int bound = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t size = sizeof address;
    ASSERT_EQ(::bind(bound, reinterpret_cast<sockaddr*>(&address), size), 0);
    ::getsockname(bound, reinterpret_cast<sockaddr*>(&address), &size);
    const std::string refusingUrl = "tcp://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    // RFC 2217 to a raw port: the server takes the connection and never answers the settings.
    const std::string silentUrl = "rfc2217://127.0.0.1:" + std::to_string(raw.port());
    struct Row {
        const char* name;
        std::optional<std::string> url;
        bool holdFirst;  // another client holds the server
        OpenError reason;
        int systemError;
        std::string text;  // the operator's line
    };
    const Row rows[] = {
        {"NoUrlForTheNumber", std::nullopt, false, OpenError::NoSuchPort, 0, "COM12: no such port"},
        {"UrlDoesNotParse", "tcp://rack3", false, OpenError::BadAddress, 0,
         "COM12 (tcp://rack3): not a port address: no ':PORT' after the host"},
        {"NothingListening", refusingUrl, false, OpenError::SystemError, ECONNREFUSED,
         "COM12 (" + refusingUrl + "): connection refused"},
        {"SecondClientOverRawTcp", raw.url(), true, OpenError::InUse, 0,
         "COM12 (" + raw.url() + "): in use by another program (server: Port already in use)"},
        {"SecondClientOverRfc2217", rfc2217.url(), true, OpenError::InUse, 0,
         "COM12 (" + rfc2217.url() + "): in use by another program (server: Port already in use)"},
        {"ServerThatNeverAnswersTheSettings", silentUrl, false, OpenError::SystemError, ETIMEDOUT,
         "COM12 (" + silentUrl + "): connection timed out"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        // Limits a loaded machine keeps, except where the limit is what the row is about.
        const NetworkTimeouts timeouts{row.systemError == ETIMEDOUT ? 300ms : 5s, 1s};
        auto first = channelTo(row.url, timeouts);
        if (row.holdFirst) {
            ASSERT_TRUE(open(*first));
        }
        const auto threadsBefore = test::threadIds();
        const std::size_t descriptorsBefore = test::openDescriptorCount();
        const auto began = std::chrono::steady_clock::now();
        auto second = channelTo(row.url, timeouts);
        EXPECT_FALSE(open(*second));
        if (row.systemError == ETIMEDOUT) {
            EXPECT_GE(std::chrono::steady_clock::now() - began, timeouts.connect);
        }
        const auto failure = second->lastOpenFailure();
        ASSERT_TRUE(failure.has_value());
        EXPECT_EQ(failure->reason, row.reason);
        EXPECT_EQ(failure->systemError, row.systemError);
        EXPECT_EQ(describeOpenFailure(*failure), row.text);
        EXPECT_FALSE(second->start());
        EXPECT_FALSE(second->holdsPort());
        second.reset();
        EXPECT_EQ(test::threadIds(), threadsBefore);
        EXPECT_EQ(test::openDescriptorCount(), descriptorsBefore);
    }
    ::close(bound);
}

// ser2net killed while the device's bytes stream through it: the bytes read before arrive in
// order, the loss is told once and nothing spins afterwards (the contract suite pins the rest of
// a hang-up).
TEST_F(NetworkChannelTest, ServerKilledMidStreamIsOneLostPortAndNoSpin) {
    const auto killMidStream = [this](auto&& line) {
        SCOPED_TRACE(line.kName);
        listener_ = {};
        ASSERT_TRUE(open(line.channel()));
        ASSERT_TRUE(line.channel().start());
        Bytes stream(2000);
        std::iota(stream.begin(), stream.end(), std::uint8_t{0});
        line.deviceSends(stream);
        line.unplug();
        ASSERT_TRUE(line.runUntil([&] { return listener_.portLost == 1; }));

        const std::clock_t cpuBefore = std::clock();
        std::this_thread::sleep_for(1s);
        line.runQueued();
        EXPECT_EQ(listener_.portLost, 1u);
        EXPECT_LT(std::clock() - cpuBefore, CLOCKS_PER_SEC / 5);
        ASSERT_LE(listener_.bytes.size(), stream.size());
        EXPECT_TRUE(std::equal(listener_.bytes.begin(), listener_.bytes.end(), stream.begin()));
    };
    killMidStream(test::NetworkLine<Ser2netMode::RawTcp>());
    killMidStream(test::NetworkLine<Ser2netMode::Rfc2217>());
}

}  // namespace
}  // namespace krx
