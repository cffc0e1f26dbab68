// SPDX-License-Identifier: MIT
// The console's real channel on a pseudo-terminal against the krx-vtp-sim process, in real time:
// what an operator gets on a bench without hardware. Waits end on the traffic itself; the safety
// limits only keep a broken build from hanging the run.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QButtonGroup>
#include <QComboBox>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "address/dialogs/address_dlg.h"
#include "app/console_dlg.h"
#include "framework/qt_window_services.h"
#include "link/posix_serial_channel.h"
#include "pages/setting_page.h"
#include "pages/timing_details_page.h"
#include "pages/timing_page.h"
#include "sim/generator.h"
#include "sim/line_timing.h"
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
    ConsoleAgainstSimProcess() {
        tap_.delivered = [this](std::span<const std::uint8_t> bytes) {
            received_.insert(received_.end(), bytes.begin(), bytes.end());
            if (recheck_)
                recheck_();
        };
        tap_.lost = [this] {
            if (recheck_)
                recheck_();
        };
    }

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
        recheck_ = [&] {
            if (done())
                loop.quit();
        };
        QTimer recheck;
        QObject::connect(&recheck, &QTimer::timeout, &loop, recheck_);
        recheck.start(20);
        QTimer::singleShot(kSafetyMs, &loop, &QEventLoop::quit);
        if (!done())
            loop.exec();
        recheck_ = nullptr;
        return done();
    }

    bool sweepComplete() {
        const ResponseReceiver& r = window().connection().receiver();
        return !r.sweepMode && r.sweepIndex == 12 && r.sweepSlot == 9;
    }

    // Sends a set command and waits for the acknowledgement of the generator at `device`: the
    // code repeated with no data.
    void setAndWait(CommandCode code, std::uint8_t value, TargetAddress device = {0x01, 0x01}) {
        const auto ack = buildAnswerFrame(device.group, device.device, code);
        const std::span<const std::uint8_t> expected = ack->view();
        const auto from = static_cast<std::ptrdiff_t>(received_.size());
        window().connection().sendCommandWithData(code, 1, &value);
        ASSERT_TRUE(runUntil([&] {
            return std::search(received_.begin() + from, received_.end(), expected.begin(),
                               expected.end()) != received_.end();
        })) << "no acknowledgement of "
            << commandName(code);
    }

    // The simulator's log: the frames it received, each as its command name and bytes and the time
    // the console began to write it (the log stamps a frame's last byte on the line), and the last
    // answer it sent.
    struct LoggedFrame {
        std::string text;
        std::int64_t startUs = 0;
    };
    struct Traffic {
        std::vector<LoggedFrame> received;
        std::vector<std::uint8_t> lastAnswer;
    };
    Traffic traffic() const {
        Traffic traffic;
        std::ifstream log(logPath());
        for (std::string line; std::getline(log, line);) {
            const QJsonObject entry =
                QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
            const QString bytes = entry["bytes"].toString();
            if (entry["dir"] == QStringLiteral("sent")) {
                const QByteArray answer = QByteArray::fromHex(bytes.toLatin1());
                traffic.lastAnswer.assign(answer.begin(), answer.end());
            } else if (entry["dir"] == QStringLiteral("received")) {
                traffic.received.push_back(
                    {(entry["command"].toString() + ' ' + bytes).toStdString(),
                     entry["time_us"].toInteger() - sim::lineTimeUs((bytes.size() + 1) / 3)});
            }
        }
        return traffic;
    }

    // The console has been handed the simulator's last answer.
    bool quiet(const Traffic& t) const {
        return received_.size() >= t.lastAnswer.size() &&
               std::equal(t.lastAnswer.rbegin(), t.lastAnswer.rend(), received_.rbegin());
    }

    const std::filesystem::path dir_ = makeScratchDir();
    QtWindowServices services_;
    CSerialChannel channel_{services_, dir_ / "ports"};
    ChannelTap tap_{channel_};
    std::unique_ptr<SimProcess> sim_;
    std::unique_ptr<CConsoleDlg> window_;
    // Every byte the console has been handed, and what runUntil re-tests when more arrive.
    std::vector<std::uint8_t> received_;
    std::function<void()> recheck_;
};

TEST_F(ConsoleAgainstSimProcess, ConnectingSweepsTheWholeStateTheGeneratorHolds) {
    ASSERT_NO_FATAL_FAILURE(startSimulator());
    ASSERT_TRUE(std::filesystem::exists(dir_ / "ports" / "COM3"));
    window().connection().changePort(kSimPort - 1);
    ASSERT_TRUE(window().connection().portOpen());
    ASSERT_TRUE(runUntil([&] { return sweepComplete(); }));

    // Change the generator's state through the console, then read it all back.
    ASSERT_NO_FATAL_FAILURE(setAndWait(CMD_SET_PATTERN, 7));
    ASSERT_NO_FATAL_FAILURE(setAndWait(CMD_SET_HDCP, 1));
    ASSERT_NO_FATAL_FAILURE(setAndWait(CMD_SET_SAMPLE_RATE, 4));
    window().connection().startStatusSweep(400);
    ASSERT_TRUE(runUntil([&] { return sweepComplete(); }));

    DeviceStatus expected = sim::factoryStatus();
    expected.patternCode = 7;
    expected.hdcp = 1;
    expected.sampleRate = 4;
    EXPECT_EQ(window().connection().receiver().deviceStatus, expected);
    const sim::Generator fresh({0x01, 0x01}, sim::defaultTvEdid());
    EXPECT_EQ(window().connection().receiver().userTimings, fresh.userTimings());
}

// Each action that sends more than one frame, operated on the real controls: the simulator must
// receive every frame, in order, each at least the action's wait after the one before it. The rows
// run in this order on one connection (the second save finds the slot of the first).
TEST_F(ConsoleAgainstSimProcess, MultiFrameActionsReachTheGeneratorWholeInOrderAndAfterTheirWaits) {
    ASSERT_NO_FATAL_FAILURE(startSimulator());
    window().connection().changePort(kSimPort - 1);
    const auto frameText = [](CommandCode code, const std::vector<std::uint8_t>& payload) {
        const auto frame = buildFrame(0x00, 0x00, code, payload);
        const QByteArray bytes(reinterpret_cast<const char*>(frame->view().data()),
                               static_cast<qsizetype>(frame->size));
        return std::string(commandName(code)) + ' ' + bytes.toHex(' ').toUpper().toStdString();
    };
    ASSERT_TRUE(runUntil([&] {
        const Traffic t = traffic();
        return sweepComplete() && quiet(t) &&
               t.received.back().text == frameText(CMD_GET_LINK_STATUS, {});
    }));

    // The sweep left 1080P(60) on the Timing Details page; in slot 3 it is this record.
    const std::vector<std::uint8_t> record = {0x02, 0x02, 0x3A, 0x06, 0x80, 0x07, 0x18,
                                              0x01, 0x58, 0x00, 0x2C, 0x00, 0x38, 0x04,
                                              0x2D, 0x00, 0x04, 0x00, 0x05, 0x00};
    CTimingDetailsPage& details = window().timingDetailsPage();
    const auto saveToSlot3 = [&] {
        details.slotList->setCurrentIndex(2);
        details.saveButton->click();
    };
    const auto autoSampleRate = [&] {
        const auto group = static_cast<std::size_t>(SettingOption::SampleRate);
        window().settingPage().groups[group]->button(7)->click();
    };
    // New address 01/02, then at once a read-back, in the modal dialog of "Address Setting".
    const auto writeAddress = [&] {
        CAddressDlg& dialog = window().addressDialog();
        QTimer::singleShot(0, &dialog, [&] {
            dialog.newGroupBox->setText(QStringLiteral("01"));
            dialog.newDeviceBox->setText(QStringLiteral("02"));
            dialog.writeButton->click();
            dialog.readButton->click();
            runUntil([&] { return dialog.originalDeviceBox->text() == QStringLiteral("02"); });
            dialog.reject();
        });
        window().addressButton()->click();
    };
    struct Frame {
        CommandCode code;
        std::vector<std::uint8_t> payload;
        std::int64_t afterMs;  // at least this long after the frame before it
    };
    struct Row {
        const char* name;
        std::function<void()> operate;
        std::vector<Frame> frames;
    };
    const std::vector<Row> rows = {
        {"save into a new slot",
         saveToSlot3,
         {{CMD_STORE_USER_TIMING, record, 0}, {CMD_SET_TIMING, {0x39}, 500}}},
        {"save into the same slot again",
         saveToSlot3,
         {{CMD_SET_TIMING, {0x02}, 0},
          {CMD_STORE_USER_TIMING, record, 400},
          {CMD_SET_TIMING, {0x39}, 500}}},
        {"Auto timing",
         [&] { window().timingPage().timingButton(0x36)->click(); },
         {{CMD_SET_TIMING, {0x36}, 0}, {CMD_GET_TIMING_DETAILS, {0x36}, 400}}},
        {"AUTO sample rate",
         autoSampleRate,
         {{CMD_SET_SAMPLE_RATE, {0x07}, 0}, {CMD_GET_LINK_STATUS, {}, 300}}},
        {"address write and read-back",
         writeAddress,
         {{CMD_WRITE_ADDRESS, {0x01, 0x02}, 0}, {CMD_READ_ADDRESS, {}, 0}}},
    };
    // A late wake-up (the console's monitor, the simulator's reader) for the earlier frame shortens
    // the gap the simulator stamps; the bounds allow this much, far less than any of the waits.
    constexpr std::int64_t kWakeUpSlackUs = 10'000;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::size_t mark = traffic().received.size();
        row.operate();
        // The next row starts on a quiet line, once the command guard of this one has ended.
        runUntil([&] {
            const Traffic t = traffic();
            return t.received.size() >= mark + row.frames.size() && quiet(t) &&
                   !window().connection().commandGuard();
        });
        const std::vector<LoggedFrame> logged = traffic().received;
        std::vector<std::string> got;
        std::vector<std::string> expected;
        for (std::size_t i = mark; i < logged.size(); ++i)
            got.push_back(logged[i].text);
        for (const Frame& frame : row.frames)
            expected.push_back(frameText(frame.code, frame.payload));
        EXPECT_EQ(got, expected);
        for (std::size_t i = 1; got == expected && i < row.frames.size(); ++i) {
            if (row.frames[i].afterMs > 0) {
                EXPECT_GE(logged[mark + i].startUs - logged[mark + i - 1].startUs,
                          row.frames[i].afterMs * 1000 - kWakeUpSlackUs)
                    << "before " << expected[i];
            }
        }
    }
}

// Answers of device 60/62 with the value 0x01 to the timing query, or 0x00 to the pattern query,
// end in the checksum 0xAB, which arrives while the next query is being queued. It is handed over
// before that query's purge and opens a frame, so the next answer fails at its byte 1: the sweep
// runs into its time-out, every time (a later sweep may fail sooner, on the position the time-out
// left behind).
TEST_F(ConsoleAgainstSimProcess, ChecksumByteABAfterAnAnswerStopsTheSweepEveryTime) {
    ASSERT_NO_FATAL_FAILURE(startSimulator({"--device", "6062"}));
    window().connection().changePort(kSimPort - 1);
    ASSERT_TRUE(runUntil([&] { return !window().connection().receiver().sweepMode; }));
    EXPECT_EQ(window().connection().receiver().sweepIndex, 2) << "stopped after the pattern answer";
    ASSERT_NO_FATAL_FAILURE(setAndWait(CMD_SET_TIMING, 0x01, {0x60, 0x62}));
    constexpr int kSweeps = 5;
    for (int sweep = 0; sweep < kSweeps; ++sweep) {
        SCOPED_TRACE(sweep);
        window().connection().startStatusSweep(400);
        ASSERT_TRUE(runUntil([&] { return !window().connection().receiver().sweepMode; }));
        if (sweep == 0)
            EXPECT_EQ(window().connection().receiver().sweepIndex, 1);
        else
            EXPECT_LE(window().connection().receiver().sweepIndex, 1);
    }
    EXPECT_EQ(window().connection().receiver().deviceStatus.timingCode, 0x01);
}

TEST_F(ConsoleAgainstSimProcess, HangUpMidSweepLandsInClosedWithoutSpinning) {
    ASSERT_NO_FATAL_FAILURE(startSimulator({"--hang-up-after", "5"}));
    window().connection().changePort(kSimPort - 1);
    ASSERT_TRUE(window().connection().portOpen());
    ASSERT_TRUE(runUntil([&] { return !window().connection().portOpen(); }));

    EXPECT_EQ(window().connection().portButton()->text(), QStringLiteral("Turn on Port"));
    EXPECT_EQ(window().connection().activityIconId(), 133);
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
