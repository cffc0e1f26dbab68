// SPDX-License-Identifier: MIT
// The console's real channel on a pseudo-terminal against the krx-vtp-sim process, in real time:
// what an operator gets on a bench without hardware. Waits end on the traffic itself; the safety
// limits only keep a broken build from hanging the run.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/console_dlg.h"
#include "framework/qt_window_services.h"
#include "link/posix_serial_channel.h"
#include "sim/generator.h"
#include "support/channel_tap.h"
#include "support/sim_process.h"

namespace krx::testing {
namespace {

constexpr int kSimPort = 3;
constexpr int kSafetyMs = 10'000;

// A fresh directory with an empty ports/ folder in it.
std::filesystem::path makeScratchDir() {
    char pattern[] = "/tmp/krx-system-XXXXXX";
    const std::filesystem::path dir = ::mkdtemp(pattern);
    std::filesystem::create_directory(dir / "ports");
    return dir;
}

std::int64_t processCpuUs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto us = [](const timeval& t) { return std::int64_t{t.tv_sec} * 1'000'000 + t.tv_usec; };
    return us(usage.ru_utime) + us(usage.ru_stime);
}

class ConsoleAgainstSimProcess : public ::testing::Test {
  protected:
    ConsoleAgainstSimProcess() = default;

    ~ConsoleAgainstSimProcess() override {
        window_.reset();
        sim_.reset();
        std::filesystem::remove_all(dir_);
    }

    void startSimulator(std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {"--link", (dir_ / "ports" / "COM3").string(), "--log",
                                         logPath().string()};
        args.insert(args.end(), extra.begin(), extra.end());
        sim_ = std::make_unique<SimProcess>(KRX_SIM_BINARY, args);
        ASSERT_TRUE(sim_->firstLine()) << "the simulator did not get ready";
    }

    std::filesystem::path logPath() const { return dir_ / "traffic.jsonl"; }

    CConsoleDlg& window() {
        if (!window_)
            window_ = std::make_unique<CConsoleDlg>(services_, tap_, dir_);
        return *window_;
    }

    // Runs the window thread's event loop until `done` holds, re-testing it whenever bytes arrive
    // or the port is lost, and every 20 ms for what the window's own timers end.
    bool runUntil(const std::function<bool()>& done) {
        QEventLoop loop;
        const auto check = [&] {
            if (done())
                loop.quit();
        };
        tap_.delivered = [&](std::span<const std::uint8_t>) { check(); };
        tap_.lost = check;
        QTimer recheck;
        QObject::connect(&recheck, &QTimer::timeout, &loop, check);
        recheck.start(20);
        QTimer::singleShot(kSafetyMs, &loop, &QEventLoop::quit);
        if (!done())
            loop.exec();
        tap_.delivered = nullptr;
        tap_.lost = nullptr;
        return done();
    }

    bool sweepComplete() {
        const ResponseReceiver& r = window().receiver;
        return !r.sweepMode && r.sweepIndex == 12 && r.sweepSlot == 9;
    }

    // Sends a set command and waits for the acknowledgement of the generator at `device`: the
    // code repeated with no data.
    void setAndWait(CommandCode code, std::uint8_t value, TargetAddress device = {0x01, 0x01}) {
        const auto ack = buildAnswerFrame(device.group, device.device, code);
        const std::span<const std::uint8_t> expected = ack->view();
        std::vector<std::uint8_t> received;
        const auto acknowledged = [&] {
            return std::search(received.begin(), received.end(), expected.begin(),
                               expected.end()) != received.end();
        };
        QEventLoop loop;
        tap_.delivered = [&](std::span<const std::uint8_t> bytes) {
            received.insert(received.end(), bytes.begin(), bytes.end());
            if (acknowledged())
                loop.quit();
        };
        QTimer::singleShot(kSafetyMs, &loop, &QEventLoop::quit);
        window().sendCommandWithData(code, 1, &value);
        loop.exec();
        tap_.delivered = nullptr;
        ASSERT_TRUE(acknowledged()) << "no acknowledgement of " << commandName(code);
    }

    const std::filesystem::path dir_ = makeScratchDir();
    QtWindowServices services_;
    CSerialChannel channel_{services_, dir_ / "ports"};
    ChannelTap tap_{channel_};
    std::unique_ptr<SimProcess> sim_;
    std::unique_ptr<CConsoleDlg> window_;
};

TEST_F(ConsoleAgainstSimProcess, ConnectingSweepsTheWholeStateTheGeneratorHolds) {
    ASSERT_NO_FATAL_FAILURE(startSimulator());
    ASSERT_TRUE(std::filesystem::exists(dir_ / "ports" / "COM3"));
    window().changePort(kSimPort - 1);
    ASSERT_TRUE(window().portOpen());
    ASSERT_TRUE(runUntil([&] { return sweepComplete(); }));

    // Change the generator's state through the console, then read it all back.
    ASSERT_NO_FATAL_FAILURE(setAndWait(CMD_SET_PATTERN, 7));
    ASSERT_NO_FATAL_FAILURE(setAndWait(CMD_SET_HDCP, 1));
    ASSERT_NO_FATAL_FAILURE(setAndWait(CMD_SET_SAMPLE_RATE, 4));
    window().startStatusSweep(400);
    ASSERT_TRUE(runUntil([&] { return sweepComplete(); }));

    DeviceStatus expected = sim::factoryStatus();
    expected.patternCode = 7;
    expected.hdcp = 1;
    expected.sampleRate = 4;
    EXPECT_EQ(window().receiver.deviceStatus, expected);
    const sim::Generator fresh({0x01, 0x01}, sim::defaultTvEdid());
    EXPECT_EQ(window().receiver.userTimings, fresh.userTimings());

    // The traffic log saw the console's frames by name.
    std::ifstream log(logPath());
    const std::string text{std::istreambuf_iterator<char>(log), {}};
    EXPECT_NE(text.find("CMD_GET_USER_TIMING"), std::string::npos);
    EXPECT_NE(text.find("CMD_SET_HDCP"), std::string::npos);
}

// Answers of device 60/62 with the value 0x01 to the timing query, or 0x00 to the pattern query,
// end in the checksum 0xAB, which arrives while the next query is being queued. It is handed over
// before that query's purge and opens a frame, so the next answer fails at its byte 1: the sweep
// runs into its time-out, every time (a later sweep may fail sooner, on the position the time-out
// left behind).
TEST_F(ConsoleAgainstSimProcess, ChecksumByteABAfterAnAnswerStopsTheSweepEveryTime) {
    ASSERT_NO_FATAL_FAILURE(startSimulator({"--device", "6062"}));
    window().changePort(kSimPort - 1);
    ASSERT_TRUE(runUntil([&] { return !window().receiver.sweepMode; }));
    EXPECT_EQ(window().receiver.sweepIndex, 2) << "stopped after the pattern answer";
    ASSERT_NO_FATAL_FAILURE(setAndWait(CMD_SET_TIMING, 0x01, {0x60, 0x62}));
    constexpr int kSweeps = 5;
    for (int sweep = 0; sweep < kSweeps; ++sweep) {
        SCOPED_TRACE(sweep);
        window().startStatusSweep(400);
        ASSERT_TRUE(runUntil([&] { return !window().receiver.sweepMode; }));
        if (sweep == 0)
            EXPECT_EQ(window().receiver.sweepIndex, 1);
        else
            EXPECT_LE(window().receiver.sweepIndex, 1);
    }
    EXPECT_EQ(window().receiver.deviceStatus.timingCode, 0x01);
}

TEST_F(ConsoleAgainstSimProcess, HangUpMidSweepLandsInClosedWithoutSpinning) {
    ASSERT_NO_FATAL_FAILURE(startSimulator({"--hang-up-after", "5"}));
    window().changePort(kSimPort - 1);
    ASSERT_TRUE(window().portOpen());
    ASSERT_TRUE(runUntil([&] { return !window().portOpen(); }));

    EXPECT_EQ(window().portButton->text(), QStringLiteral("Turn on Port"));
    EXPECT_EQ(window().activityIconId(), 133);
    EXPECT_FALSE(channel_.holdsPort());

    // Half a second of an idle console after the hang-up costs next to no CPU.
    const std::int64_t before = processCpuUs();
    QEventLoop idle;
    QTimer::singleShot(500, &idle, &QEventLoop::quit);
    idle.exec();
    EXPECT_LT(processCpuUs() - before, 100'000);
}

}  // namespace
}  // namespace krx::testing
