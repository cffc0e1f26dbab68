// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <span>

#include "framework/window_services.h"
#include "link/command_frame.h"
#include "link/port_return.h"
#include "link/response_receiver.h"
#include "link/serial_channel.h"
#include "ops/port_search.h"
#include "pages/page_host.h"

class QComboBox;
class QLabel;
class QPushButton;
class QToolButton;
class QWidget;

namespace krx {

class DialogUnits;

// The main window's link to the generator: the "Comm Port" group and what is behind it. Opens
// and closes the port (button, activity icon, port selector), searches the ports for a generator,
// owns the receiver's state and the target address, sends the frames, and runs the window's
// timers: the response watchdog (4), the command guard (5) and a search probe's deadline (6).
// A port the operator had open that is lost (adapter unplugged) is waited for, when it is given a
// PortReturnWatch, and reopened and swept once it is back; pressing the port button, choosing a
// port or searching ends the wait. Window thread only.
class CConnection final : public PageLink,
                          public SerialListener,
                          public TimerTarget,
                          private ops::SearchLine {
  public:
    static constexpr int kWatchdogTimer = 4;
    static constexpr int kGuardTimer = 5;
    static constexpr int kGuardMs = 50;
    // A search probe's overall deadline, which received bytes do not restart (the watchdog they
    // do restart would otherwise hold a probe of a port that keeps sending for ever).
    static constexpr int kProbeDeadlineTimer = 6;
    static constexpr int kLastPort = 99;

    // `answers` handles what the receiver makes of the bytes; it outlives the connection.
    CConnection(WindowServices& services, SerialChannel& channel, ReceiverActions& answers)
        : services_(services), channel_(channel), receiver_(answers) {}
    // Stops the timers and the channel, which releases the port.
    ~CConnection() override;
    CConnection(const CConnection&) = delete;
    CConnection& operator=(const CConnection&) = delete;

    // Builds the "Comm Port" group into `window`: closed on COM1.
    void build(QWidget* window, const DialogUnits& du);
    // Where a lost port's return is watched for; none: a lost port stays closed. It outlives the
    // connection.
    void setReturnWatch(PortReturnWatch* watch) { returnWatch_ = watch; }
    bool waitingForPort() const { return waitingForPort_; }

    // Frame senders. A payload above kMaxPayload (or a negative length) shows "Too much
    // parameter." and sends nothing; while the port is closed kPortNotOnMessage is shown instead.
    void sendCommand(CommandCode code) override;
    void sendCommandWithData(CommandCode code, int length, const std::uint8_t* payload) override;
    void startEdidRead(bool fromSavedSlot, int watchdogMs) override;
    bool portOpen() const override { return portOpen_; }
    void startStatusSweep(int intervalMs) override { receiver_.startStatusSweep(intervalMs); }
    bool takeCommandGuard() override;

    void startWatchdog(int intervalMs);
    void stopWatchdog();

    // The operator's actions on the port.
    void togglePort();
    // Port selector item `index` (COM index + 1).
    void changePort(int index);
    void searchDevice();

    // SerialListener
    void onSerialBytes(int port, std::span<const std::uint8_t> bytes) override;
    void onSerialTxEmpty(int port) override;
    void onSerialPortLost(int port) override;
    // One received byte; ignored unless port is 1..99.
    void onSerialByte(std::uint8_t byte, int port);

    // Shared state: the receiver (its modes, the status and user-timing records) and the address
    // every frame carries.
    ResponseReceiver& receiver() { return receiver_; }
    const ResponseReceiver& receiver() const { return receiver_; }
    TargetAddress targetAddress() const { return target_; }
    void setTargetAddress(TargetAddress target) { target_ = target; }
    bool commandGuard() const { return commandGuard_; }

    int portNumber() const { return portNumber_; }
    // Which activity icon is shown: 134 open, 133 closed, 137 waiting for the lost port.
    int activityIconId() const { return activityIconId_; }
    QToolButton* activityIcon() const { return activityIcon_; }
    QPushButton* portButton() const { return portButton_; }
    QComboBox* portSelector() const { return portSelector_; }
    QLabel* statusLine() const { return statusLine_; }
    QPushButton* searchButton() const { return searchButton_; }

  private:
    void onTimer(int id) override;
    void message(std::string_view text);
    bool openChannel(bool searching = false);
    // The port just opened is monitored: Open, and the status sweep once the line has settled.
    void connected();
    void showClosed();
    void showOpen();
    void setActivityIcon(int id);
    // Waiting: the port is closed (the senders refuse), the button offers to end the wait.
    void showWaiting();
    void portReturned();
    void endWait();
    // ops::SearchLine: the search sets the port number and opens and monitors the port, closes
    // it, sleeps the window thread, and probes the port just opened: a fresh search matcher,
    // the watchdog at `answerWaitMs` and the probe's deadline.
    bool openPort(int comNumber) override;
    void closePort() override;
    void waitMs(int ms) override;
    void sendProbe(int answerWaitMs) override;
    void searchWatchdogExpired();

    WindowServices& services_;
    SerialChannel& channel_;
    ResponseReceiver receiver_;
    TargetAddress target_{0x00, 0x00};
    bool commandGuard_ = false;
    bool portOpen_ = false;
    bool waitingForPort_ = false;
    PortReturnWatch* returnWatch_ = nullptr;
    int portNumber_ = 1;
    int rememberedPort_ = 1;
    int activityIconId_ = 133;
    QWidget* window_ = nullptr;
    QToolButton* activityIcon_ = nullptr;
    QPushButton* portButton_ = nullptr;
    QComboBox* portSelector_ = nullptr;
    QLabel* statusLine_ = nullptr;
    QPushButton* searchButton_ = nullptr;
    // The console sleeps 50 ms after opening each later port before it probes.
    ops::PortSearch search_{*this, 50};
};

}  // namespace krx
