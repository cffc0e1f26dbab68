// SPDX-License-Identifier: MIT
// The pty server in-process, on a real pseudo-terminal: what the console writes reaches the line
// and the answer comes back; the hang-up fault ends the line. Waits are bounded by a generous
// safety time-out and nothing about speed is asserted.
#include "sim/pty_line_server.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <condition_variable>
#include <future>
#include <mutex>

#include "sim_test_support.h"

namespace krx::sim {
namespace {

using testing::answerBytes;
using testing::Bytes;
using testing::frameBytes;

constexpr int kSafetyTimeoutMs = 20'000;

class PtyLineServerTest : public ::testing::Test {
  protected:
    void start(LineConfig config) {
        line.emplace(config, std::vector<TargetAddress>{{0x01, 0x01}, {0x01, 0x02}},
                     defaultTvEdid());
        server.emplace(*line, [this] {
            std::lock_guard lock(mutex);
            ended = true;
            endedChanged.notify_all();
        });
        ASSERT_EQ(server->open(), "");
        server->start([this](const LineEvent& event) {
            std::lock_guard lock(mutex);
            events.emplace_back(event.direction, event.code);
        });
        port = ::open(server->slavePath().c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(port, 0);
        termios settings{};
        ASSERT_EQ(tcgetattr(port, &settings), 0);
        cfmakeraw(&settings);
        ASSERT_EQ(tcsetattr(port, TCSANOW, &settings), 0);
    }
    void TearDown() override {
        if (server)
            server->stop();
        if (port >= 0)
            ::close(port);
    }

    Bytes exchange(const Bytes& request, std::size_t answerSize) {
        EXPECT_EQ(::write(port, request.data(), request.size()),
                  static_cast<ssize_t>(request.size()));
        Bytes answer;
        std::array<std::uint8_t, 512> buffer{};
        pollfd entry{port, POLLIN, 0};
        while (answer.size() < answerSize && poll(&entry, 1, kSafetyTimeoutMs) == 1) {
            const ssize_t n = ::read(port, buffer.data(), buffer.size());
            if (n <= 0)
                break;
            answer.insert(answer.end(), buffer.begin(), buffer.begin() + n);
        }
        return answer;
    }

    std::optional<GeneratorLine> line;
    std::optional<PtyLineServer> server;
    int port = -1;
    std::mutex mutex;
    std::condition_variable endedChanged;
    bool ended = false;
    std::vector<std::pair<LineEvent::Direction, CommandCode>> events;
};

TEST_F(PtyLineServerTest, TwoDevicesAnswerInTurnThroughThePty) {
    start(LineConfig{});
    Bytes expected = answerBytes({0x01, 0x01}, CMD_READ_ADDRESS, {0x01, 0x01});
    const Bytes second = answerBytes({0x01, 0x02}, CMD_READ_ADDRESS, {0x01, 0x02});
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(exchange(frameBytes(CMD_READ_ADDRESS), expected.size()), expected);

    // A whole EDID, paced byte by byte, arrives complete and in order.
    const EdidBytes edid = defaultTvEdid();
    const Bytes edidAnswer =
        answerBytes({0x01, 0x02}, CMD_READ_TV_EDID, Bytes(edid.begin(), edid.end()));
    EXPECT_EQ(exchange(frameBytes(CMD_READ_TV_EDID, {0x01}, {0x01, 0x02}), edidAnswer.size()),
              edidAnswer);

    server->stop();
    using D = LineEvent::Direction;
    const std::vector<std::pair<D, CommandCode>> expectedEvents = {
        {D::Received, CMD_READ_ADDRESS}, {D::Sent, CMD_READ_ADDRESS}, {D::Sent, CMD_READ_ADDRESS},
        {D::Received, CMD_READ_TV_EDID}, {D::Sent, CMD_READ_TV_EDID},
    };
    EXPECT_EQ(events, expectedEvents);
}

TEST_F(PtyLineServerTest, HangUpFaultEndsTheLineAfterTheLastAnswer) {
    LineConfig config;
    config.paced = false;
    config.faults.hangUpAfterFrames = 1;
    start(config);
    const Bytes expected = answerBytes({0x01, 0x02}, CMD_GET_POWER, {0x00});
    EXPECT_EQ(exchange(frameBytes(CMD_GET_POWER, {}, {0x01, 0x02}), expected.size()), expected);
    std::unique_lock lock(mutex);
    EXPECT_TRUE(endedChanged.wait_for(lock, std::chrono::milliseconds(kSafetyTimeoutMs),
                                      [this] { return ended; }));
}

TEST_F(PtyLineServerTest, StopInterruptsAStalledAnswer) {
    LineConfig config;
    config.faults.stallCodes = {FaultConfig::kAnyCode};
    // Far beyond the safety time-out: only the interruption ends the writer's sleep in time.
    config.faults.stallUs = 3LL * kSafetyTimeoutMs * 1000;
    start(config);
    const Bytes request = frameBytes(CMD_GET_TIMING, {}, {0x01, 0x01});
    ASSERT_EQ(::write(port, request.data(), request.size()), static_cast<ssize_t>(request.size()));
    // The first five bytes come; then the writer sleeps towards the stalled byte.
    Bytes head;
    std::array<std::uint8_t, 16> buffer{};
    pollfd entry{port, POLLIN, 0};
    while (head.size() < 5 && poll(&entry, 1, kSafetyTimeoutMs) == 1) {
        const ssize_t n = ::read(port, buffer.data(), buffer.size());
        if (n <= 0)
            break;
        head.insert(head.end(), buffer.begin(), buffer.begin() + n);
    }
    EXPECT_EQ(head.size(), 5u);
    auto stopped = std::async(std::launch::async, [this] { server->stop(); });
    EXPECT_EQ(stopped.wait_for(std::chrono::milliseconds(kSafetyTimeoutMs)),
              std::future_status::ready);
}

}  // namespace
}  // namespace krx::sim
