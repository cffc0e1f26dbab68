// SPDX-License-Identifier: MIT
// Opening, closing and switching the port, the device search and the command guard, on the
// virtual clock against simulated ports.
#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>

#include "app/serial_log.h"
#include "console_fixture.h"

namespace krx::testing {
namespace {

// The warnings the console logs, as "category: message" lines, while `capture` is installed.
QStringList warnings;
void capture(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtWarningMsg)
        warnings.append(QString::fromLatin1(context.category) + ": " + text);
}

const QString kNotOn = "Com port is not on yet.";
const QString kNoPort = "Can not find this port or used by other application";
const QString kNoDevice = "Can not find available device for this console!";

class ConnectionTest : public ConsoleTest {
  protected:
    std::optional<int> watchdog() {
        return services.timerInterval(window().connection(), CConnection::kWatchdogTimer);
    }
};

// The search passes over a port that keeps sending and connects to the first one that answers
// its probe; the decision is taken only when the probe's wait ends. AB 00 every 10 ms on COM1
// restarts the watchdog for ever: its probe ends at its deadline, 300 ms plus ten in-frame waits
// of 200 ms, with half a frame left behind.
TEST_F(ConnectionTest, SearchPassesABabblingPortAndConnectsToTheOneThatAnswers) {
    channel.addBabblingPort(1, {0xAB, 0x00}, 10'000);
    sim::LineConfig config;
    config.faults.silentCodes = {CMD_GET_TIMING};  // holds the sweep at its first query
    attachGenerator(2, {0x01, 0x02}, config);
    CConsoleDlg& w = window();
    w.connection().searchButton()->click();
    EXPECT_EQ(w.connection().statusLine()->text(), "Please wait.....");
    EXPECT_EQ(watchdog(), 300);
    expectClosed();
    services.runFor(2299);
    ASSERT_EQ(channel.writes().size(), 1u);
    EXPECT_EQ(channel.writes()[0].port, 1);

    services.runFor(2);
    EXPECT_EQ(watchdog(), 400);
    ASSERT_EQ(channel.writes().size(), 2u);
    EXPECT_EQ(channel.writes()[1].port, 2);
    EXPECT_EQ(channel.writes()[1].timeUs, 2350'000) << "the next port is probed 50 ms later";
    expectClosed();

    services.runFor(400);
    expectOpen();
    EXPECT_FALSE(w.connection().receiver().searchMode);
    EXPECT_EQ(w.connection().portSelector()->currentText(), "COM2");
    EXPECT_EQ(w.connection().portNumber(), 2);
    EXPECT_EQ(w.connection().statusLine()->text(), " ");
    EXPECT_TRUE(w.connection().receiver().sweepMode);
    EXPECT_EQ(watchdog(), 800);
    ASSERT_EQ(channel.writes().size(), 3u);
    EXPECT_EQ(channel.writes()[2].bytes, commandFrame(kBroadcast, CMD_GET_TIMING));
    EXPECT_TRUE(services.messages().empty());

    const std::int64_t foundMs = channel.writes()[2].timeUs / 1000;
    // The answer's bytes restarted the watchdog with 200 ms; the decision comes 200 ms after them.
    EXPECT_GE(foundMs, 2350 + 200);
    EXPECT_LT(foundMs, 2350 + 210);
    services.runFor(foundMs + 799 - services.nowMs());
    EXPECT_TRUE(w.connection().receiver().sweepMode);
    services.runFor(2);
    EXPECT_FALSE(w.connection().receiver().sweepMode) << "the unanswered sweep ends after 800 ms";
    expectOpen();
}

TEST_F(ConnectionTest, SearchOverSilentPortsWalksToCom99AndRestoresThePort) {
    for (int port = 1; port <= 99; ++port)
        channel.addSilentPort(port);
    CConsoleDlg& w = window();
    w.connection().changePort(6);  // COM7 opens; its sweep goes unanswered
    services.runFor(1000);
    const std::size_t before = channel.writes().size();

    w.connection().searchDevice();
    services.runFor(300 + 98 * 450 - 10);
    EXPECT_TRUE(w.connection().receiver().searchMode);
    EXPECT_TRUE(services.messages().empty());
    services.runFor(20);
    EXPECT_FALSE(w.connection().receiver().searchMode);
    EXPECT_EQ(messageTexts(), QStringList{kNoDevice});
    EXPECT_EQ(w.connection().portNumber(), 7);
    EXPECT_EQ(w.connection().statusLine()->text(), " ");
    EXPECT_EQ(watchdog(), std::nullopt);
    expectClosed();
    ASSERT_EQ(writtenSince(before).size(), 99u);
    EXPECT_EQ(channel.writes().back().port, 99);
}

// The port button and the activity icon both toggle: open and sweep, then close and send nothing.
// Closing the window releases a port left open.
TEST_F(ConnectionTest, PortButtonAndActivityIconOpenThenClose) {
    attachGenerator(1);
    CConsoleDlg& w = window();
    for (QAbstractButton* control :
         {static_cast<QAbstractButton*>(w.connection().portButton()),
          static_cast<QAbstractButton*>(w.connection().activityIcon())}) {
        SCOPED_TRACE(control->metaObject()->className());
        const std::size_t before = channel.writes().size();
        const std::int64_t openedUs = services.nowMs() * 1000;
        control->click();
        expectOpen();
        EXPECT_EQ(channel.openPort(), 1);
        EXPECT_TRUE(channel.monitoring());
        services.runFor(2000);
        const std::size_t afterOpen = channel.writes().size();
        ASSERT_GT(afterOpen, before);
        EXPECT_EQ(channel.writes()[before].timeUs - openedUs, 200'000)
            << "the sweep starts 200 ms after opening";

        control->click();
        services.runFor(2000);
        expectClosed();
        EXPECT_FALSE(channel.holdsPort());
        EXPECT_EQ(channel.writes().size(), afterOpen);
        EXPECT_TRUE(services.messages().empty());
    }
    w.connection().portButton()->click();
    ASSERT_TRUE(channel.holdsPort());
    destroyWindow();
    EXPECT_FALSE(channel.holdsPort()) << "closing the window releases the open port";
    EXPECT_FALSE(channel.monitoring());
}

// Each refused open also leaves one warning line saying why; a search only for ports that exist.
TEST_F(ConnectionTest, OpenFailuresShowTheMessageAndStayClosed) {
    warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(capture);
    channel.addBusyPort(2);
    CConsoleDlg& w = window();
    w.connection().portButton()->click();  // COM1 does not exist
    EXPECT_EQ(messageTexts(), QStringList{kNoPort});
    expectClosed();
    services.clearMessages();
    w.connection().changePort(1);  // COM2 is held by another program
    EXPECT_EQ(messageTexts(), QStringList{kNoPort});
    expectClosed();
    services.clearMessages();
    w.connection().searchButton()->click();  // no port opens: fails at once on COM1
    EXPECT_EQ(messageTexts(), QStringList{kNoDevice});
    EXPECT_EQ(w.connection().portNumber(), 1);
    expectClosed();
    EXPECT_TRUE(channel.writes().empty());
    qInstallMessageHandler(previous);
    EXPECT_EQ(warnings, (QStringList{"krx.serial: COM1: no such device",
                                     "krx.serial: COM2: in use by another program",
                                     "krx.serial: COM2: in use by another program"}));
    EXPECT_FALSE(serialLog().isDebugEnabled()) << "system-call failures stay hidden by default";
}

// From the list: while closed the chosen port is opened and connected; while open the new port
// is opened but left unmonitored, and the next press connects it.
TEST_F(ConnectionTest, ChoosingAPortConnectsOnlyWhileClosed) {
    attachGenerator(2);
    attachGenerator(3);
    CConsoleDlg& w = window();
    emit w.connection().portSelector()->activated(1);
    expectOpen();
    EXPECT_EQ(w.connection().portNumber(), 2);
    EXPECT_TRUE(channel.monitoring());
    services.runFor(2000);
    const std::size_t before = channel.writes().size();
    ASSERT_GT(before, 0u);
    EXPECT_EQ(channel.writes()[0].port, 2);

    w.connection().changePort(2);
    services.runFor(2000);
    expectClosed();
    EXPECT_EQ(channel.openPort(), 3) << "the new port stays opened";
    EXPECT_FALSE(channel.monitoring()) << "but is not monitored";
    EXPECT_EQ(channel.writes().size(), before);

    w.connection().togglePort();
    expectOpen();
    services.runFor(2000);
    EXPECT_GT(channel.writes().size(), before);
    EXPECT_EQ(channel.writes().back().port, 3);
}

TEST_F(ConnectionTest, CommandsWhileSearchingAreRefused) {
    channel.addSilentPort(1);
    CConsoleDlg& w = window();
    w.connection().searchDevice();
    services.runFor(10);
    const std::uint8_t pattern = 0x03;
    w.connection().sendCommandWithData(CMD_SET_PATTERN, 1, &pattern);
    EXPECT_EQ(messageTexts(), QStringList{kNotOn});
    services.runFor(10);
    ASSERT_EQ(channel.writes().size(), 1u) << "only the probe";
    EXPECT_EQ(channel.writes()[0].bytes, commandFrame({0x00, 0x00}, CMD_PING));
}

TEST_F(ConnectionTest, HangUpLandsInClosedAndTheNextCommandIsRefused) {
    sim::LineConfig config;
    config.faults.hangUpAfterFrames = 3;
    attachGenerator(1, {0x01, 0x02}, config);
    CConsoleDlg& w = window();
    connect(1);
    expectClosed();
    EXPECT_FALSE(channel.holdsPort());
    EXPECT_TRUE(services.messages().empty()) << "a lost port is not reported by itself";

    w.connection().sendCommand(CMD_GET_PATTERN);
    EXPECT_EQ(messageTexts(), QStringList{kNotOn});
}

// Frames as the senders build them.
TEST_F(ConnectionTest, SendersBuildFramesForTheTarget) {
    attachGenerator(1);
    CConsoleDlg& w = window();
    connect(1);
    const std::size_t before = channel.writes().size();
    w.connection().setTargetAddress({0x01, 0x02});
    w.connection().sendCommand(CMD_GET_TIMING);
    services.runFor(1);
    const std::uint8_t on = 0;
    w.connection().setTargetAddress({0x00, 0x00});
    w.connection().sendCommandWithData(CMD_SET_POWER, 1, &on);
    services.runFor(1);
    std::vector<std::uint8_t> tooMuch(291, 0);
    w.connection().sendCommandWithData(CMD_STORE_USER_TIMING, 291, tooMuch.data());
    services.runFor(1);
    EXPECT_EQ(
        writtenSince(before),
        (std::vector<Bytes>{{0xAA, 0x00, 0x00, 0x05, 0x00, 0x01, 0x02, 0x61, 0x80, 0x6D},
                            {0xAA, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00, 0xAB, 0x00, 0x00, 0xA5}}));
    EXPECT_EQ(messageTexts(), QStringList{"Too much parameter."});
}

}  // namespace
}  // namespace krx::testing
