// SPDX-License-Identifier: MIT
// The console's real channel on a pseudo-terminal against the krx-vtp-sim process, in real time:
// what an operator gets on a bench without hardware; and through ser2net, by a URL file in ports/.
// Waits end on the traffic itself; the safety limit only keeps a broken build from hanging the run.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "address/dialogs/address_dlg.h"
#include "app/console_dlg.h"
#include "app/port_return_watch.h"
#include "framework/qt_window_services.h"
#include "link/port_channel.h"
#include "pages/setting_page.h"
#include "pages/timing_details_page.h"
#include "pages/timing_page.h"
#include "ser2net_server.h"
#include "sim/generator.h"
#include "support/bytes.h"
#include "support/child_process.h"
#include "support/files.h"

namespace krx::testing {
namespace {

// A frame as the simulator logs it: its command name, then its bytes.
std::string frameText(CommandCode code, const Bytes& payload = {}) {
    const Bytes frame = commandFrame({0x00, 0x00}, code, payload);
    const QByteArray bytes(reinterpret_cast<const char*>(frame.data()),
                           static_cast<qsizetype>(frame.size()));
    return std::string(commandName(code)) + ' ' + bytes.toHex(' ').toUpper().toStdString();
}

struct LogEntry {
    std::string frame;  // as frameText() gives it
    std::string bytes;
    bool accepted = false;
    std::int64_t timeUs = 0;
};

// The entries in direction `dir` of a JSON Lines traffic log: the simulator's, or the console's,
// which writes the same fields.
std::vector<LogEntry> readLog(const std::filesystem::path& file, const char* dir) {
    std::vector<LogEntry> entries;
    std::ifstream log(file);
    for (std::string line; std::getline(log, line);) {
        const QJsonObject entry = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
        const std::string bytes = entry["bytes"].toString().toStdString();
        if (entry["dir"].toString() == QLatin1String(dir))
            entries.push_back({entry["command"].toString().toStdString() + ' ' + bytes, bytes,
                               entry["accepted"].toBool(), entry["time_us"].toInteger()});
    }
    return entries;
}

std::vector<std::string> framesOf(const std::vector<LogEntry>& entries) {
    std::vector<std::string> frames;
    frames.reserve(entries.size());
    for (const LogEntry& entry : entries)
        frames.push_back(entry.frame);
    return frames;
}

class ConsoleAgainstSimProcess : public ::testing::Test {
  protected:
    ConsoleAgainstSimProcess() { std::filesystem::create_directory(dir_ / "ports"); }
    ~ConsoleAgainstSimProcess() override {
        window_.reset();
        sim_.reset();
    }

    // Runs the window thread's event loop until `done` holds, re-testing it every 20 ms.
    bool runUntil(const std::function<bool()>& done) {
        QEventLoop loop;
        QTimer recheck;
        QObject::connect(&recheck, &QTimer::timeout, &loop, [&] {
            if (done())
                loop.quit();
        });
        recheck.start(20);
        QTimer::singleShot(10'000, &loop, &QEventLoop::quit);
        if (!done())
            loop.exec();
        return done();
    }

    // The frames the simulator logged as received, each as frameText().
    std::vector<std::string> logged() const { return framesOf(readLog(dir_ / "log", "received")); }

    // Whether the last answer the console's traffic record keeps is the last one the simulator
    // logged as sent: the console has handled it.
    bool quiet() const {
        const std::vector<LogEntry> sent = readLog(dir_ / "log", "sent");
        const TrafficRing& ring = window_->traffic().ring();
        for (std::uint64_t number = ring.end(); number > ring.first(); --number) {
            const TrafficRecord& record = ring.at(number - 1);
            if (record.direction == TrafficDirection::Received)
                return sent.empty() || hexPairs(record.bytes) == sent.back().bytes;
        }
        return sent.empty();
    }

    // The simulator has received the connection's whole sweep, the link status last, and the
    // console has been handed its last answer.
    bool swept() const {
        const std::vector<std::string> frames = logged();  // before the answers: none is missed
        return frames.size() == 23 && frames.back() == frameText(CMD_GET_LINK_STATUS) && quiet();
    }

    const ScratchDir scratch_;
    const std::filesystem::path& dir_ = scratch_.path();
    QtWindowServices services_;
    CPortChannel channel_{services_, PortsDirectories{dir_ / "ports"}};
    std::optional<ChildProcess> sim_;
    std::unique_ptr<CConsoleDlg> window_;
};

// COM12 is a URL file naming ser2net, in raw TCP and RFC 2217 mode, in front of the simulator's
// pty: choosing it connects and sweeps the generator's whole state, the link status last.
TEST_F(ConsoleAgainstSimProcess, SweepsAGeneratorBehindSer2netThroughAUrlFile) {
    window_ = std::make_unique<CConsoleDlg>(services_, channel_, dir_);
    for (const auto mode : {test::Ser2netMode::RawTcp, test::Ser2netMode::Rfc2217}) {
        sim_.emplace(KRX_SIM_BINARY, std::vector<std::string>{"--log", dir_ / "log"});
        const auto pty = sim_->firstLine();
        ASSERT_TRUE(pty) << "the simulator did not get ready";
        test::Ser2netServer server(mode, *pty);
        std::ofstream(dir_ / "ports" / "COM12") << server.url() << "\n";
        window_->connection().changePort(11);
        ASSERT_TRUE(runUntil([this] { return swept(); }));
        EXPECT_TRUE(window_->connection().portOpen());
        EXPECT_EQ(window_->connection().receiver().deviceStatus, sim::factoryStatus());
        window_->connection().togglePort();
        std::filesystem::remove(dir_ / "log");
    }
}

// Each action that sends more than one frame with waits between them, operated on the real
// controls: the simulator must receive every frame, in order, and the console must have handed
// each to the line at least the wait after the one before it (the waits are pinned on the virtual
// clock, here they are real sleeps of the window thread). The rows run in this order on one
// connection: the second save finds the slot of the first and parks the generator first.
TEST_F(ConsoleAgainstSimProcess, MultiFrameActionsReachTheGeneratorWholeInOrderAndAfterTheirWaits) {
    sim_.emplace(KRX_SIM_BINARY, std::vector<std::string>{"--link", dir_ / "ports" / "COM3",
                                                          "--log", dir_ / "log"});
    ASSERT_TRUE(sim_->firstLine()) << "the simulator did not get ready";
    window_ = std::make_unique<CConsoleDlg>(services_, channel_, dir_);
    TrafficLogFile consoleLog;  // what krx-vtp-sg --log writes
    ASSERT_EQ(consoleLog.open(dir_ / "console.log"), "");
    window_->logTrafficTo(consoleLog);
    auto& connection = window_->connection();
    connection.changePort(2);  // COM3
    ASSERT_TRUE(runUntil([this] { return swept(); }));
    EXPECT_EQ(connection.receiver().deviceStatus, sim::factoryStatus());
    // The console's log tells the frames of the sweep each way, byte for byte as the simulator's,
    // but for the checksum of an answer still arriving when the next query's write purges the
    // input; each answer accepted.
    std::vector<LogEntry> sent = readLog(dir_ / "console.log", "sent");
    EXPECT_EQ(framesOf(sent), logged());
    const std::vector<LogEntry> answers = readLog(dir_ / "console.log", "received");
    const std::vector<LogEntry> simAnswers = readLog(dir_ / "log", "sent");
    for (std::size_t i = 0; i < answers.size(); ++i) {
        const std::string whole = simAnswers.at(i).frame;  // none beyond the simulator's
        const std::size_t withoutChecksum = whole.size() - 3;
        EXPECT_EQ(answers[i].frame.substr(0, withoutChecksum), whole.substr(0, withoutChecksum));
    }
    EXPECT_EQ(std::count_if(answers.begin(), answers.end(),
                            [](const LogEntry& answer) { return answer.accepted; }),
              23);

    const auto saveToSlot3 = [this] {
        window_->timingDetailsPage().slotList->setCurrentIndex(2);
        window_->timingDetailsPage().saveButton->click();
    };
    // New address 01/02, then at once a read-back, in the modal dialog of "Address Setting".
    const auto writeAddress = [this] {
        CAddressDlg& dialog = window_->addressDialog();
        QTimer::singleShot(0, &dialog, [this, &dialog] {
            dialog.newGroupBox->setText(QStringLiteral("01"));
            dialog.newDeviceBox->setText(QStringLiteral("02"));
            dialog.writeButton->click();
            dialog.readButton->click();
            runUntil([&] { return dialog.originalDeviceBox->text() == QStringLiteral("02"); });
            dialog.reject();
        });
        window_->addressButton()->click();
    };
    struct Frame {
        CommandCode code;
        Bytes payload;
        std::int64_t afterMs;  // at least this long after the frame before it
    };
    struct Row {
        const char* name;
        std::function<void()> operate;
        std::vector<Frame> frames;
    };
    // The sweep left 1080P(60) on the Timing Details page; in slot 3 it is this record.
    const Bytes record = hex("02 02 3A 06 80 07 18 01 58 00 2C 00 38 04 2D 00 04 00 05 00");
    const Row rows[] = {
        {"save into a new slot",
         saveToSlot3,
         {{CMD_STORE_USER_TIMING, record, 0}, {CMD_SET_TIMING, {0x39}, 500}}},
        {"save into the same slot again",
         saveToSlot3,
         {{CMD_SET_TIMING, {0x02}, 0},
          {CMD_STORE_USER_TIMING, record, 400},
          {CMD_SET_TIMING, {0x39}, 500}}},
        {"Auto timing",
         [this] { window_->timingPage().timingButton(0x36)->click(); },
         {{CMD_SET_TIMING, {0x36}, 0}, {CMD_GET_TIMING_DETAILS, {0x36}, 400}}},
        {"AUTO sample rate",
         [this] {
             const auto sampleRate = static_cast<std::size_t>(SettingOption::SampleRate);
             window_->settingPage().groups[sampleRate]->button(7)->click();
         },
         {{CMD_SET_SAMPLE_RATE, {0x07}, 0}, {CMD_GET_LINK_STATUS, {}, 300}}},
        {"address write and read-back",
         writeAddress,
         {{CMD_WRITE_ADDRESS, {0x01, 0x02}, 0}, {CMD_READ_ADDRESS, {}, 0}}},
    };
    // The gaps are taken from the console's own log, which stamps a frame when it is queued, just
    // before the sleep that follows it: the simulator's stamps come late by however long its reader
    // and the console's monitor thread took to wake, which a loaded machine makes any length.
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::size_t mark = logged().size();
        const std::size_t consoleMark = sent.size();
        row.operate();
        // The next row starts on a quiet line, once the command guard of this one has ended.
        runUntil([&] {
            return logged().size() >= mark + row.frames.size() && quiet() &&
                   !connection.commandGuard();
        });
        const std::vector<std::string> after = logged();
        const std::vector<std::string> got(after.begin() + static_cast<std::ptrdiff_t>(mark),
                                           after.end());
        std::vector<std::string> expected;
        for (const Frame& frame : row.frames)
            expected.push_back(frameText(frame.code, frame.payload));
        ASSERT_EQ(got, expected);
        sent = readLog(dir_ / "console.log", "sent");
        ASSERT_EQ(sent.size(), consoleMark + row.frames.size());
        for (std::size_t i = 1; i < row.frames.size(); ++i) {
            EXPECT_GE(sent[consoleMark + i].timeUs - sent[consoleMark + i - 1].timeUs,
                      row.frames[i].afterMs * 1000)
                << "before " << expected[i];
        }
    }
    // The real framework runs a dialog modally until it closes.
    QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
    window_->aboutAction()->trigger();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

// The simulator goes and a new one links COM3 to a new pty: the console waits for COM3 and, with
// no click, reopens and sweeps it. A device linked as COM4 meanwhile is not opened. The operator's
// press ends a wait, and the port coming back after it is not opened.
TEST_F(ConsoleAgainstSimProcess, ReopensAndSweepsTheLostPortWhenItComesBack) {
    CPortReturnWatch watch(PortsDirectories{dir_ / "ports"});
    const std::vector<std::string> com3{"--link", dir_ / "ports" / "COM3", "--log", dir_ / "log"};
    sim_.emplace(KRX_SIM_BINARY, com3);
    ASSERT_TRUE(sim_->firstLine());
    window_ = std::make_unique<CConsoleDlg>(services_, channel_, dir_);
    auto& connection = window_->connection();
    connection.setReturnWatch(&watch);
    const auto lose = [&] {
        sim_.reset();
        std::filesystem::remove(dir_ / "log");
        return runUntil([&] { return connection.waitingForPort(); });
    };
    connection.changePort(2);
    ASSERT_TRUE(runUntil([this] { return swept(); }));
    ASSERT_TRUE(lose());
    EXPECT_EQ(connection.activityIcon()->accessibleDescription(), "waiting for COM3");
    ChildProcess other(KRX_SIM_BINARY, {"--link", dir_ / "ports" / "COM4", "--log", dir_ / "log4"});
    ASSERT_TRUE(other.firstLine());
    sim_.emplace(KRX_SIM_BINARY, com3);
    ASSERT_TRUE(runUntil([this] { return swept(); }));
    EXPECT_EQ(std::filesystem::file_size(dir_ / "log4"), 0U) << "COM4 was written to";

    ASSERT_TRUE(lose());
    connection.portButton()->click();
    sim_.emplace(KRX_SIM_BINARY, com3);
    ASSERT_TRUE(sim_->firstLine());
    QCoreApplication::processEvents();
    EXPECT_EQ(connection.portButton()->text(), "Turn on Port");
    EXPECT_TRUE(logged().empty()) << "the closed port was opened";
}

}  // namespace
}  // namespace krx::testing
