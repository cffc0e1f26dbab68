// SPDX-License-Identifier: MIT
#include "app/connection.h"

#include <QComboBox>

#include "app/layout_kit.h"
#include "app/serial_log.h"
#include "link/generator_facts.h"
#include "model/status_texts.h"

namespace krx {
namespace {

constexpr int kSweepAfterSearchMs = 800;
constexpr int kWaitAfterOpenMs = 200;
constexpr int kPortClosedIcon = 133;
constexpr int kPortOpenIcon = 134;
constexpr int kPortWaitingIcon = 137;
// The activity icon's description, unless it shows a wait.
constexpr std::string_view kActivityDescription = "Port activity";

}  // namespace

CConnection::~CConnection() {
    endWait();
    services_.killAllTimers(*this);
    channel_.stop();
}

void CConnection::build(QWidget* window, const DialogUnits& du) {
    window_ = window;
    QGroupBox* comm = makeGroup("Comm Port", window, du.rect(7, 50, 113, 104));
    QGroupBox* activity = makeGroup("Activity", comm, du.rect(6, 10, 42, 36));
    activityIcon_ = makePictureButton(du, activity, kActivityDescription, du.rect(9, 11, 24, 22));
    QObject::connect(activityIcon_, &QToolButton::clicked, window, [this] { togglePort(); });
    portButton_ = makeButton(comm, "Turn on Port", du.rect(52, 12, 55, 14));
    QObject::connect(portButton_, &QPushButton::clicked, window, [this] { togglePort(); });
    QLabel* portLabel = makeLabel(du, comm, QStringLiteral("&Port:"), 52, 29, 55);
    portSelector_ = new QComboBox(comm);
    portSelector_->setGeometry(du.rect(52, 39, 55, 14));
    portLabel->setBuddy(portSelector_);
    // One insertion of the 99 names rather than 99 of one each.
    QStringList ports;
    ports.reserve(kLastPort);
    for (int port = 1; port <= kLastPort; ++port)
        ports.append(QStringLiteral("COM%1").arg(port));
    portSelector_->addItems(ports);
    portSelector_->setAccessibleDescription(QStringLiteral("Port selector"));
    QObject::connect(portSelector_, &QComboBox::activated, window,
                     [this](int index) { changePort(index); });
    statusLine_ = makeLabel(du, comm, QString(), 6, 56, 100);
    statusLine_->setAccessibleDescription(QStringLiteral("Status line"));
    searchButton_ = makeButton(comm, "Search Device", du.rect(6, 70, 101, 14));
    QObject::connect(searchButton_, &QPushButton::clicked, window, [this] { searchDevice(); });

    setActivityIcon(kPortClosedIcon);
    portSelector_->setCurrentIndex(portNumber_ - 1);
    statusLine_->setText(QStringLiteral(" "));
}

// --- frame senders -------------------------------------------------------------------------

void CConnection::message(std::string_view text) {
    services_.showMessage(window_, latin1(text));
}

void CConnection::sendCommand(CommandCode code) {
    sendCommandWithData(code, 0, nullptr);
}

void CConnection::sendCommandWithData(CommandCode code, int length, const std::uint8_t* payload) {
    // A negative count would be read as a huge span; it is refused like an oversized one.
    if (length > static_cast<int>(kMaxPayload) || length < 0 ||
        (length > 0 && payload == nullptr)) {
        message("Too much parameter.");
        return;
    }
    const auto frame = buildFrame(target_.group, target_.device, code,
                                  std::span(payload, static_cast<std::size_t>(length)));
    if (!frame) {
        message("Too much parameter.");
        return;
    }
    if (!portOpen_) {
        message(kPortNotOnMessage);
        return;
    }
    channel_.queueWrite(frame->view());
}

void CConnection::startEdidRead(bool fromSavedSlot, int watchdogMs) {
    receiver_.edidFromSavedSlot = fromSavedSlot;
    receiver_.edidReadMode = true;
    startWatchdog(watchdogMs);
}

void CConnection::startWatchdog(int intervalMs) {
    services_.setTimer(*this, kWatchdogTimer, intervalMs);
}

void CConnection::stopWatchdog() {
    services_.killTimer(*this, kWatchdogTimer);
}

bool CConnection::takeCommandGuard() {
    if (commandGuard_) {
        commandGuard_ = false;
        return false;
    }
    commandGuard_ = true;
    services_.setTimer(*this, kGuardTimer, kGuardMs);
    return true;
}

// --- serial notifications --------------------------------------------------------------------

void CConnection::onSerialBytes(int port, std::span<const std::uint8_t> bytes) {
    for (std::uint8_t byte : bytes)
        onSerialByte(byte, port);
}

void CConnection::onSerialByte(std::uint8_t byte, int port) {
    if (port < 1 || port > kLastPort)
        return;
    receiver_.onByte(byte, target_);
}

void CConnection::onSerialTxEmpty(int /*port*/) {}

void CConnection::onSerialPortLost(int /*port*/) {
    // The channel has closed the port: show Closed so that the next command is refused with a
    // message rather than written to nothing. A running search carries on at its watchdog.
    const bool wasOpen = portOpen_;
    showClosed();
    if (!wasOpen || receiver_.searchMode)
        return;
    if (returnWatch_ == nullptr || !returnWatch_->awaitReturn([this] { portReturned(); })) {
        qCInfo(serialLog, "COM%d: the port was lost", portNumber_);
        return;
    }
    qCInfo(serialLog, "COM%d: the port was lost; waiting for it to come back", portNumber_);
    showWaiting();
}

// A change in the folders watched left the port there. It may not open yet (udev gives a new node
// its group a moment after making it, which is a change of its own): the wait goes on until it
// does.
void CConnection::portReturned() {
    if (!openChannel() || !channel_.start()) {
        channel_.stop();
        return;
    }
    endWait();
    qCInfo(serialLog, "COM%d: the port is back; reopened", portNumber_);
    connected();
}

void CConnection::endWait() {
    if (!waitingForPort_)
        return;
    waitingForPort_ = false;
    returnWatch_->cancel();
}

// --- open, close, search ---------------------------------------------------------------------

void CConnection::setActivityIcon(int id) {
    activityIconId_ = id;
    activityIcon_->setIcon(iconFor(id));
    const QString waiting =
        id == kPortWaitingIcon ? QStringLiteral("waiting for COM%1").arg(portNumber_) : QString();
    activityIcon_->setToolTip(waiting);
    activityIcon_->setAccessibleDescription(waiting.isEmpty() ? latin1(kActivityDescription)
                                                              : waiting);
}

void CConnection::showWaiting() {
    waitingForPort_ = true;
    portButton_->setText(QStringLiteral("Close Port"));
    setActivityIcon(kPortWaitingIcon);
}

void CConnection::showClosed() {
    endWait();
    portOpen_ = false;
    portButton_->setText(QStringLiteral("Turn on Port"));
    setActivityIcon(kPortClosedIcon);
}

void CConnection::showOpen() {
    endWait();
    if (returnWatch_ != nullptr)
        returnWatch_->portOpened(portNumber_);
    portOpen_ = true;
    portButton_->setText(QStringLiteral("Close Port"));
    setActivityIcon(kPortOpenIcon);
}

void CConnection::connected() {
    showOpen();
    services_.sleepMs(kWaitAfterOpenMs);
    startStatusSweep(kAnswerWaitMs);
}

// A refused open leaves one line on standard error saying why. A search leaves out the numbers
// with no device behind them, which are most of the 99 it tries. A port coming back may refuse
// the first open (udev has not yet given its node the group): while it is waited for, a refusal
// is a debug message only.
bool CConnection::openChannel(bool searching) {
    if (channel_.open(*this, portNumber_, kGeneratorLine.baud, kGeneratorLine.parity,
                      kGeneratorLine.dataBits, kGeneratorLine.stopBits, kGeneratorLine.eventMask,
                      kGeneratorLine.bufferSize))
        return true;
    const auto failure = channel_.lastOpenFailure();
    const bool absent = failure && (failure->reason == OpenError::NoSuchDevice ||
                                    failure->reason == OpenError::NoSuchPort);
    if (failure && waitingForPort_)
        qCDebug(serialLog, "%s", describeOpenFailure(*failure).c_str());
    else if (failure && !(searching && absent))
        qCWarning(serialLog, "%s", describeOpenFailure(*failure).c_str());
    return false;
}

void CConnection::togglePort() {
    if (portOpen_ || waitingForPort_) {
        showClosed();
        channel_.stop();
        return;
    }
    // A monitor that cannot start leaves the port useless: treated as a failed open.
    if (openChannel() && channel_.start()) {
        connected();
        return;
    }
    channel_.stop();
    showClosed();
    message(kPortUnavailableMessage);
}

void CConnection::changePort(int index) {
    if (index < 0 || index >= kLastPort)
        return;
    if (channel_.holdsPort())
        channel_.stop();
    portNumber_ = index + 1;
    if (!openChannel()) {
        showClosed();
        message(kPortUnavailableMessage);
        return;
    }
    if (portOpen_) {
        // The new port stays opened but unmonitored; the next toggle reopens it and connects.
        showClosed();
        return;
    }
    if (!channel_.start()) {
        channel_.stop();
        showClosed();
        message(kPortUnavailableMessage);
        return;
    }
    connected();
}

bool CConnection::openPort(int comNumber) {
    portNumber_ = comNumber;
    return openChannel(true) && channel_.start();
}

void CConnection::closePort() {
    channel_.stop();
}

void CConnection::waitMs(int ms) {
    services_.sleepMs(ms);
}

void CConnection::sendProbe(int answerWaitMs) {
    receiver_.startProbe();
    // Queued directly: the port-open flag is clear during a search, so the senders would refuse.
    const auto frame = buildFrame(target_.group, target_.device, CMD_PING);
    if (frame)
        channel_.queueWrite(frame->view());
    startWatchdog(answerWaitMs);
    services_.setTimer(*this, kProbeDeadlineTimer, ResponseReceiver::probeDeadlineMs(answerWaitMs));
}

void CConnection::searchDevice() {
    showClosed();
    channel_.stop();
    rememberedPort_ = portNumber_;
    if (!search_.start()) {
        channel_.stop();
        portNumber_ = 1;
        statusLine_->setText(QStringLiteral(" "));
        message(kNoDeviceMessage);
        return;
    }
    statusLine_->setText(QStringLiteral("Please wait....."));
}

// The watchdog or the probe's deadline fired, whichever came first; the next probe arms both anew.
void CConnection::searchWatchdogExpired() {
    services_.killTimer(*this, kProbeDeadlineTimer);
    switch (search_.probeEnded(receiver_.deviceFound)) {
        case ops::PortSearch::Step::Found:
            showOpen();
            portSelector_->setCurrentIndex(portNumber_ - 1);
            statusLine_->setText(QStringLiteral(" "));
            receiver_.searchMode = false;
            startStatusSweep(kSweepAfterSearchMs);
            return;
        case ops::PortSearch::Step::Probing:
            return;
        case ops::PortSearch::Step::Exhausted:
            channel_.stop();
            receiver_.searchMode = false;
            stopWatchdog();
            portNumber_ = rememberedPort_;
            statusLine_->setText(QStringLiteral(" "));
            message(kNoDeviceMessage);
            return;
    }
}

void CConnection::onTimer(int id) {
    if (id == kWatchdogTimer || id == kProbeDeadlineTimer) {
        if (receiver_.searchMode)
            searchWatchdogExpired();
        else if (id == kWatchdogTimer)
            receiver_.watchdogExpired();
        else
            services_.killTimer(*this, kProbeDeadlineTimer);  // outlived its search
    } else if (id == kGuardTimer) {
        commandGuard_ = false;
        services_.killTimer(*this, kGuardTimer);
    }
}

}  // namespace krx
