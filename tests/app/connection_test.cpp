// SPDX-License-Identifier: MIT
// Opening, closing and switching the port, the device search and a lost port, on the virtual
// clock against simulated ports.

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

const QString kNoPort = "Can not find this port or used by other application";
const QString kNoDevice = "Can not find available device for this console!";

class ConnectionTest : public ConsoleTest {
  protected:
    // Open or Closed: the flag, the activity icon and the button's label together.
    void expectOpen(bool open) {
        const CConnection& c = window().connection();
        EXPECT_EQ(c.portOpen(), open);
        EXPECT_EQ(c.activityIconId(), open ? 134 : 133);
        EXPECT_EQ(c.portButton()->text(), open ? "Close Port" : "Turn on Port");
    }
};

// The search passes over a port that keeps sending and connects to the first one that answers
// its probe; the decision is taken only when the probe's wait ends. AB 00 every 10 ms on COM1
// restarts the watchdog for ever: its probe ends at its deadline, 300 ms plus ten in-frame waits
// of 200 ms, with half a frame left behind. Commands are refused while the search runs.
TEST_F(ConnectionTest, SearchPassesABabblingPortAndConnectsToTheOneThatAnswers) {
    channel_.addBabblingPort(1, {0xAB, 0x00}, 10'000);
    sim::LineConfig config;
    config.faults.silentCodes = {CMD_GET_TIMING};  // holds the sweep at its first query
    attachGenerator(2, {0x01, 0x02}, config);
    CConsoleDlg& w = window();
    w.connection().searchButton()->click();
    EXPECT_EQ(w.connection().statusLine()->text(), "Please wait.....");
    EXPECT_EQ(watchdog(), 300);
    w.connection().sendCommand(CMD_GET_PATTERN);
    EXPECT_EQ(messageTexts(), QStringList{kNotOn});
    services_.runFor(2298);
    EXPECT_EQ(timedSent(), Frames{at(0, CMD_PING)}) << "only the probe, 1 ms before its deadline";

    services_.runFor(2);
    EXPECT_EQ(watchdog(), 400);
    EXPECT_EQ(timedSent(), (Frames{at(0, CMD_PING), at(2350, CMD_PING)})) << "50 ms later";
    EXPECT_EQ(channel_.writes()[1].port, 2);
    expectOpen(false);

    services_.runFor(400);
    expectOpen(true);
    EXPECT_FALSE(w.connection().receiver().searchMode);
    EXPECT_EQ(w.connection().portSelector()->currentText(), "COM2");
    EXPECT_EQ(w.connection().statusLine()->text(), " ");
    EXPECT_EQ(watchdog(), 800);
    ASSERT_EQ(channel_.writes().size(), 3u);
    EXPECT_EQ(channel_.writes()[2].bytes, commandFrame(kBroadcast, CMD_GET_TIMING));
    EXPECT_EQ(messageTexts(), QStringList{kNotOn});
}

// The walk is pinned with PortSearch, its waits with the babbling port; here a failed search.
TEST_F(ConnectionTest, SearchOverSilentPortsWalksToCom99AndRestoresThePort) {
    for (int port = 1; port <= 99; ++port)
        channel_.addSilentPort(port);
    CConsoleDlg& w = window();
    w.connection().changePort(6);  // COM7 opens; its sweep goes unanswered
    mark(1000);

    w.connection().searchDevice();
    services_.runFor(60'000);
    EXPECT_FALSE(w.connection().receiver().searchMode);
    EXPECT_EQ(messageTexts(), QStringList{kNoDevice});
    EXPECT_EQ(w.connection().portNumber(), 7);
    EXPECT_EQ(w.connection().statusLine()->text(), " ");
    EXPECT_EQ(watchdog(), std::nullopt);
    expectOpen(false);
    EXPECT_EQ(channel_.writes().back().port, 99);
}

// The port button and the activity icon both toggle: open and sweep, then close and send nothing.
// From the list while closed the chosen port is opened and connected; while open the new port is
// opened but left unmonitored, and the next press connects it. Closing the window releases it.
TEST_F(ConnectionTest, PortButtonIconAndListOpenCloseAndSwitchThePort) {
    for (int port : {1, 2, 3})
        attachGenerator(port);
    CConsoleDlg& w = window();
    for (QAbstractButton* control : std::initializer_list<QAbstractButton*>{
             w.connection().portButton(), w.connection().activityIcon()}) {
        SCOPED_TRACE(control->metaObject()->className());
        mark(0);
        control->click();
        expectOpen(true);
        services_.runFor(2000);
        const Frames opened = timedSent();
        ASSERT_FALSE(opened.empty());
        EXPECT_EQ(opened[0].first, 200) << "the sweep starts 200 ms after opening";

        control->click();
        services_.runFor(2000);
        expectOpen(false);
        EXPECT_FALSE(channel_.holdsPort());
        EXPECT_EQ(timedSent(), opened);
    }
    emit w.connection().portSelector()->activated(1);
    expectOpen(true);
    EXPECT_EQ(w.connection().portNumber(), 2);
    mark(2000);
    EXPECT_EQ(channel_.writes().back().port, 2);

    w.connection().changePort(2);
    services_.runFor(2000);
    expectOpen(false);
    EXPECT_EQ(channel_.openPort(), 3) << "the new port stays opened";
    EXPECT_FALSE(channel_.monitoring()) << "but is not monitored, so nothing is written";

    w.connection().togglePort();
    expectOpen(true);
    services_.runFor(2000);
    EXPECT_EQ(channel_.writes().back().port, 3);
    EXPECT_TRUE(services_.messages().empty());
    destroyWindow();
    EXPECT_FALSE(channel_.holdsPort()) << "closing the window releases the open port";
}

// Each refused open also leaves one warning line saying why; a search only for ports that exist.
TEST_F(ConnectionTest, OpenFailuresShowTheMessageAndStayClosed) {
    warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(capture);
    channel_.addBusyPort(2);
    CConsoleDlg& w = window();
    w.connection().portButton()->click();  // COM1 does not exist
    w.connection().changePort(1);          // COM2 is held by another program
    w.connection().changePort(99);         // past COM99: not tried
    expectOpen(false);
    w.connection().searchButton()->click();  // no port opens: fails at once on COM1
    EXPECT_EQ(messageTexts(), (QStringList{kNoPort, kNoPort, kNoDevice}));
    EXPECT_EQ(w.connection().portNumber(), 1);
    qInstallMessageHandler(previous);
    EXPECT_EQ(warnings, (QStringList{"krx.serial: COM1: no such device",
                                     "krx.serial: COM2: in use by another program",
                                     "krx.serial: COM2: in use by another program"}));
    EXPECT_FALSE(serialLog().isDebugEnabled()) << "system-call failures stay hidden by default";
}

// A lost port lands in Closed without a message; the next command is refused. A payload too long
// for a frame is refused before the port is looked at (frame bytes are pinned with buildFrame).
TEST_F(ConnectionTest, HangUpLandsInClosedAndTheNextCommandIsRefused) {
    sim::LineConfig config;
    config.faults.hangUpAfterFrames = 3;
    attachGenerator(1, {0x01, 0x02}, config);
    CConsoleDlg& w = window();
    connect(1);
    expectOpen(false);
    EXPECT_FALSE(channel_.holdsPort());
    EXPECT_TRUE(services_.messages().empty()) << "a lost port is not reported by itself";

    w.connection().sendCommand(CMD_GET_PATTERN);
    const std::vector<std::uint8_t> tooMuch(291, 0);
    w.connection().sendCommandWithData(CMD_STORE_USER_TIMING, 291, tooMuch.data());
    EXPECT_EQ(messageTexts(), (QStringList{kNotOn, "Too much parameter."}));
}

}  // namespace
}  // namespace krx::testing
