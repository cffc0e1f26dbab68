// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>
#include <QString>
#include <array>
#include <cstdint>
#include <span>

#include "framework/key_filter.h"
#include "framework/window_services.h"
#include "link/command_frame.h"
#include "link/response_receiver.h"
#include "link/serial_channel.h"

class QAction;
class QButtonGroup;
class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QToolButton;

namespace krx {

class CTimingPage;
class CTimingDetailsPage;
class CPatternPage;
class CSettingPage;
class CEdidPage;

// The main window and hub of the console: owns the receiver, the frame senders, the target address
// and the connection logic; pages reach it as their parent. Window thread only.
class CConsoleDlg final : public QDialog,
                          public SerialListener,
                          public ReceiverActions,
                          public TimerTarget {
  public:
    static constexpr int kWatchdogTimer = 4;
    static constexpr int kGuardTimer = 5;
    static constexpr int kGuardMs = 50;

    CConsoleDlg(WindowServices& services, SerialChannel& channel, QWidget* parent = nullptr);
    ~CConsoleDlg() override;

    // Frame senders. A payload above kMaxPayload (or a negative length) shows "Too much
    // parameter." and sends nothing; otherwise the frame is built into frameBuffer and, while the
    // port is closed, "Com port is not on yet." is shown instead of sending.
    void sendCommand(CommandCode code);
    void sendCommandWithData(CommandCode code, int length, const std::uint8_t* payload);

    // SerialListener
    void onSerialBytes(int port, std::span<const std::uint8_t> bytes) override;
    void onSerialTxEmpty(int port) override;
    void onSerialPortLost(int port) override;
    // One received byte; ignored unless port is 1..99.
    void onSerialByte(std::uint8_t byte, int port);

    // ReceiverActions
    void sendQuery(CommandCode code, std::span<const std::uint8_t> payload) override;
    void startWatchdog(int intervalMs) override;
    void stopWatchdog() override;
    void storeEdidByte(std::size_t index, std::uint8_t value) override;
    void edidReceived() override;
    void sweepFinished() override;
    void runHandler(std::size_t codeIndex, std::span<const std::uint8_t> answer) override;

    // Connection operations (also reached through the controls).
    void togglePort();
    void changePort(int index);
    void searchDevice();
    void startStatusSweep(int intervalMs) { receiver.startStatusSweep(intervalMs); }
    // Sets commandGuard and starts timer 5, which clears it after kGuardMs.
    void takeCommandGuard();

    void showAbout();

    bool portOpen() const { return portOpen_; }
    int portNumber() const { return portNumber_; }

    ResponseReceiver receiver{*this};
    TargetAddress targetAddress;
    bool commandGuard = false;
    int powerSelection = -1;
    std::array<std::uint8_t, kMaxFrameSize> frameBuffer{};

    // Controls, for the pages and the tests.
    QRadioButton* powerOnRadio = nullptr;
    QRadioButton* powerOffRadio = nullptr;
    QButtonGroup* powerGroup = nullptr;
    QToolButton* powerIcon = nullptr;
    QToolButton* activityIcon = nullptr;
    QPushButton* portButton = nullptr;
    QComboBox* portSelector = nullptr;
    QLabel* statusLine = nullptr;
    QPushButton* searchButton = nullptr;
    QComboBox* addressSelector = nullptr;
    QPushButton* addressButton = nullptr;
    QLabel* hotPlugText = nullptr;
    QLabel* hdcpText = nullptr;
    QLabel* hdmiDviText = nullptr;
    QLabel* colorSpaceText = nullptr;
    QLabel* colorDepthText = nullptr;
    QLabel* timingText = nullptr;
    QLabel* sampleRateText = nullptr;
    QLabel* audioBitText = nullptr;
    QLabel* channelsText = nullptr;
    QLabel* audioTypeText = nullptr;
    QTabWidget* tabs = nullptr;
    QAction* aboutAction = nullptr;
    CTimingPage* timingPage = nullptr;
    CTimingDetailsPage* timingDetailsPage = nullptr;
    CPatternPage* patternPage = nullptr;
    CSettingPage* settingPage = nullptr;
    CEdidPage* edidPage = nullptr;
    // Which activity icon is shown: 134 open, 133 closed.
    int activityIconId() const { return activityIconId_; }

  private:
    void onTimer(int id) override;
    void buildLayout();
    bool openChannel();
    void showClosed();
    void showOpen();
    void setActivityIcon(int id);
    void queueProbe();
    void searchWatchdogExpired();
    void message(const char* text);

    WindowServices& services_;
    SerialChannel& channel_;
    EnterEscapeFilter keyFilter_;
    bool portOpen_ = false;
    int portNumber_ = 1;
    int rememberedPort_ = 1;
    int activityIconId_ = 133;
};

}  // namespace krx
