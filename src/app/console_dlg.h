// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>
#include <QString>
#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>

#include "address/address_book.h"
#include "framework/key_filter.h"
#include "framework/window_services.h"
#include "link/command_frame.h"
#include "link/response_receiver.h"
#include "link/serial_channel.h"
#include "pages/page_host.h"

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
class CAddressDlg;

// The main window and hub of the console: owns the receiver, the frame senders, the target address
// and the connection logic; pages reach it as their parent. Window thread only.
class CConsoleDlg final : public QDialog,
                          public SerialListener,
                          public ReceiverActions,
                          public TimerTarget,
                          public PageHost {
  public:
    static constexpr int kWatchdogTimer = 4;
    static constexpr int kGuardTimer = 5;
    static constexpr int kGuardMs = 50;
    // A search probe's overall deadline, which received bytes do not restart (the watchdog they
    // do restart would otherwise hold a probe of a port that keeps sending for ever).
    static constexpr int kProbeDeadlineTimer = 6;

    // The address book is kept as SG.ini in `bookDirectory` (the executable's directory).
    CConsoleDlg(WindowServices& services, SerialChannel& channel,
                const std::filesystem::path& bookDirectory, QWidget* parent = nullptr);
    ~CConsoleDlg() override;

    // Frame senders. A payload above kMaxPayload (or a negative length) shows "Too much
    // parameter." and sends nothing; otherwise the frame is built into frameBuffer and, while the
    // port is closed, "Com port is not on yet." is shown instead of sending.
    void sendCommand(CommandCode code) override;
    void sendCommandWithData(CommandCode code, int length, const std::uint8_t* payload) override;

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

    // PageHost
    WindowServices& services() override { return services_; }
    const UserTiming& currentTiming() const override { return currentTiming_; }
    std::span<const UserTiming, kUserTimingSlots> userTimings() const override {
        return receiver.userTimings;
    }
    void setUserTiming(std::size_t index, const UserTiming& record) override {
        if (index < receiver.userTimings.size())
            receiver.userTimings[index] = record;
    }
    void setHdcpText(int value) override;
    void setOutputModeText(int value) override;
    void setColorSpaceText(int value) override;
    void setColorDepthText(int value) override;
    void setSampleRateText(int value) override;
    void setAudioBitsText(int value) override;
    void setChannelsText(int value) override;
    void setAudioTypeText() override;
    void setTimingText(int code) override;
    void writeOutputModeText(const QString& text) override { statusTexts.outputMode = text; }
    void refreshMainWindow() override;
    void startEdidRead(bool fromSavedSlot, int watchdogMs) override;
    CTimingPage& timingPage() override { return *timingPage_; }
    CTimingDetailsPage& timingDetailsPage() override { return *timingDetailsPage_; }
    CPatternPage& patternPage() override { return *patternPage_; }
    CSettingPage& settingPage() override { return *settingPage_; }
    CEdidPage& edidPage() override { return *edidPage_; }

    // Connection operations (also reached through the controls).
    void togglePort();
    void changePort(int index);
    void searchDevice();
    void startStatusSweep(int intervalMs) override { receiver.startStatusSweep(intervalMs); }
    // PageHost: a set commandGuard is cleared and refused; otherwise it is set and timer 5 clears
    // it after kGuardMs.
    bool takeCommandGuard() override;

    void showAbout();

    // Target address and power.
    // Items 2..33 of the address selector from the book, the selection kept (an index out of
    // range becomes item 0), and the target from the selection.
    void rebuildAddressList();
    void onAddressSelected();
    void onAddressSetting();
    void onPowerOn();
    void onPowerOff();
    void onPowerPictureClicked();

    bool portOpen() const override { return portOpen_; }
    int portNumber() const { return portNumber_; }

    ResponseReceiver receiver{*this};
    TargetAddress targetAddress;
    bool commandGuard = false;
    // Checked power radio: 0 "Power On", 1 "Power Off", -1 none.
    int powerSelection = -1;
    std::array<std::uint8_t, kMaxFrameSize> frameBuffer{};

    // The status panel's texts; the value fields show them at the next refreshMainWindow().
    struct StatusTexts {
        QString hotPlug;
        QString hdcp;
        QString outputMode;
        QString colorSpace;
        QString colorDepth;
        QString timing;
        QString sampleRate;
        QString audioBits;
        QString channels;
        QString audioType;
    } statusTexts;

    AddressBook addressBook;
    // The last read-address answer (0xF801) while the address dialog may not exist yet; the
    // dialog shows it from its first opening on.
    std::optional<TargetAddress> originalAddress;
    // The address management dialog, built at its first use: it is hidden until "Address
    // Setting", and building its 100-odd boxes would lengthen every start-up.
    CAddressDlg& addressDialog();

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
    QLabel* hotPlugField = nullptr;
    QLabel* hdcpField = nullptr;
    QLabel* outputModeField = nullptr;
    QLabel* colorSpaceField = nullptr;
    QLabel* colorDepthField = nullptr;
    QLabel* timingField = nullptr;
    QLabel* sampleRateField = nullptr;
    QLabel* audioBitsField = nullptr;
    QLabel* channelsField = nullptr;
    QLabel* audioTypeField = nullptr;
    QTabWidget* tabs = nullptr;
    QAction* aboutAction = nullptr;
    // Which activity icon is shown: 134 open, 133 closed.
    int activityIconId() const { return activityIconId_; }
    // Which power picture is shown: 189 output on, 190 output off.
    int powerIconId() const { return powerIconId_; }

  private:
    using ResponseHandler = std::function<void(std::span<const std::uint8_t>)>;

    void onTimer(int id) override;
    void buildLayout();
    void fillResponseHandlers();
    // Handlers of the general-mode answers; each ignores an answer too short for the data it reads.
    void onTimingAnswer(std::span<const std::uint8_t> answer);
    void onTimingDetailsAnswer(std::span<const std::uint8_t> answer);
    void onLinkStatusAnswer(std::span<const std::uint8_t> answer);
    void onPowerAnswer(std::span<const std::uint8_t> answer);
    void onHotPlugAnswer(std::span<const std::uint8_t> answer);
    void onReadAddressAnswer(std::span<const std::uint8_t> answer);
    // A one-byte Setting answer: selection := d0, page refreshed, then the status text (if any).
    void onSettingAnswer(std::span<const std::uint8_t> answer, int CSettingPage::*selection,
                         void (CConsoleDlg::*setText)(int));
    void showPower(int power);
    void setPowerPicture(int id);
    void sendPower();
    // Reads the power radio back into powerSelection.
    void readMainWindow();
    bool openChannel(bool searching = false);
    void showClosed();
    void showOpen();
    void setActivityIcon(int id);
    // Probes the port just opened: a fresh search matcher, the watchdog at `answerWaitMs` and the
    // probe's deadline.
    void queueProbe(int answerWaitMs);
    void searchWatchdogExpired();
    void message(std::string_view text);
    // TargetAddress from selector item `index`: 0 every device with answers, 1 every device
    // without, 2..33 book entries 1..32.
    void setTargetFromItem(int index);

    WindowServices& services_;
    SerialChannel& channel_;
    EnterEscapeFilter keyFilter_;
    bool portOpen_ = false;
    int portNumber_ = 1;
    int rememberedPort_ = 1;
    int activityIconId_ = 133;
    int powerIconId_ = 190;
    UserTiming currentTiming_{};
    std::array<ResponseHandler, kResponseCodes.size()> responseHandlers_;
    CTimingPage* timingPage_ = nullptr;
    CTimingDetailsPage* timingDetailsPage_ = nullptr;
    CPatternPage* patternPage_ = nullptr;
    CSettingPage* settingPage_ = nullptr;
    CEdidPage* edidPage_ = nullptr;
    CAddressDlg* addressDlg_ = nullptr;
};

}  // namespace krx
