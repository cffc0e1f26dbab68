// SPDX-License-Identifier: MIT
#include "app/console_dlg.h"

#include <QAction>
#include <QButtonGroup>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QIcon>
#include <QKeySequence>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QToolButton>

#include "address/dialogs/address_dlg.h"
#include "app/about_dlg.h"
#include "app/serial_log.h"
#include "framework/data_exchange.h"
#include "framework/radio_button.h"
#include "icons.h"
#include "link/generator_facts.h"
#include "model/status_texts.h"
#include "pages/edid_page.h"
#include "pages/pattern_page.h"
#include "pages/setting_page.h"
#include "pages/timing_details_page.h"
#include "pages/timing_page.h"

namespace krx {
namespace {

constexpr int kSweepAfterSearchMs = 800;
constexpr int kSweepAfterTargetMs = 800;
constexpr int kWaitAfterOpenMs = 200;
constexpr int kWaitBeforeProbeMs = 50;
constexpr int kLastPort = 99;
constexpr int kPowerOnIcon = 189;
constexpr int kPowerOffIcon = 190;

QIcon iconFor(int id) {
    return QIcon(iconResource(id));
}

QString fromLatin1View(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// Answer bytes are read as signed: a reported 0x80..0xFF is a negative value.
int signedByte(std::uint8_t byte) {
    return static_cast<std::int8_t>(byte);
}

// A clickable picture reacts to a single click: the second press of a double click is not a
// click of its own, so a double click toggles the power or the port once, not twice.
class PictureButton final : public QToolButton {
  public:
    using QToolButton::QToolButton;

  protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override { event->accept(); }
};

// Dialog units to pixels: a quarter of the average character width across, an eighth of the
// font height down.
class DialogUnits {
  public:
    explicit DialogUnits(const QFontMetrics& metrics)
        : baseX_(metrics.averageCharWidth()), baseY_(metrics.height()) {}
    QRect rect(int x, int y, int w, int h) const { return {px(x), py(y), px(w), py(h)}; }
    int px(int x) const { return (x * baseX_ + 2) / 4; }
    int py(int y) const { return (y * baseY_ + 4) / 8; }

  private:
    int baseX_;
    int baseY_;
};

}  // namespace

CConsoleDlg::CConsoleDlg(WindowServices& services, SerialChannel& channel,
                         const std::filesystem::path& bookDirectory, QWidget* parent)
    : QDialog(parent), addressBook(bookDirectory), services_(services), channel_(channel) {
    setWindowTitle(QStringLiteral("KRX-VTP-SG V1.0"));
    setWindowIcon(iconFor(128));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    buildLayout();
    installEventFilter(&keyFilter_);

    // Window managers own the system menu: the About item lives in the context menu and on F1.
    aboutAction = new QAction(QStringLiteral("&About KRX-VTP-SG..."), this);
    aboutAction->setShortcut(QKeySequence(Qt::Key_F1));
    aboutAction->setShortcutContext(Qt::WindowShortcut);
    connect(aboutAction, &QAction::triggered, this, [this] { showAbout(); });
    addAction(aboutAction);
    setContextMenuPolicy(Qt::ActionsContextMenu);

    // Initial state: closed on COM1, broadcast target, empty status texts, Timing page shown.
    targetAddress = TargetAddress{0x00, 0x00};
    receiver.detailsPending = false;
    receiver.rxPosition = -1;
    receiver.edidReadMode = false;
    receiver.edidFromSavedSlot = false;
    receiver.searchMode = false;
    receiver.sweepMode = false;
    commandGuard = false;
    portOpen_ = false;
    portNumber_ = 1;
    setActivityIcon(133);
    portSelector->setCurrentIndex(portNumber_ - 1);
    statusLine->setText(QStringLiteral(" "));
    addressSelector->setCurrentIndex(0);
    setPowerPicture(kPowerOffIcon);
    for (std::string_view text : addressBook.load())
        message(text);
    rebuildAddressList();
    edidPage_->statusText.clear();
    edidPage_->refresh();
    edidPage_->sourceSelector->setCurrentIndex(0);
    currentTiming_ = UserTiming{};
    receiver.userTimings = {};
    fillResponseHandlers();
    refreshMainWindow();
    tabs->setCurrentIndex(0);
}

CConsoleDlg::~CConsoleDlg() {
    services_.killAllTimers(*this);
    channel_.stop();
}

void CConsoleDlg::buildLayout() {
    const DialogUnits du(fontMetrics());
    setFixedSize(du.px(443), du.py(378));

    auto group = [this](const char* title, QWidget* parent, QRect r) {
        auto* box = new QGroupBox(QString::fromLatin1(title), parent ? parent : this);
        box->setGeometry(r);
        return box;
    };
    auto label = [&du](QWidget* parent, const QString& text, int x, int y, int w) {
        auto* l = new QLabel(text, parent);
        l->setGeometry(du.rect(x, y, w, 10));
        return l;
    };
    auto button = [](QWidget* parent, const char* text, QRect r) {
        auto* b = new QPushButton(QString::fromLatin1(text), parent);
        b->setGeometry(r);
        b->setAutoDefault(false);
        b->setDefault(false);
        return b;
    };
    // The picture itself is set by the initialisation that follows (setActivityIcon,
    // setPowerPicture), so that each icon file is read once.
    auto iconButton = [&du](QWidget* parent, const char* description, QRect r) {
        auto* b = new PictureButton(parent);
        b->setAutoRaise(true);
        b->setIconSize(QSize(du.px(14), du.px(14)));
        b->setGeometry(r);
        b->setAccessibleDescription(QString::fromLatin1(description));
        return b;
    };

    // Signal output.
    QGroupBox* output = group("Signal Ouput", nullptr, du.rect(7, 4, 113, 44));
    powerOnRadio = new CRadioButton(QStringLiteral("Power On"), output);
    powerOnRadio->setGeometry(du.rect(8, 12, 60, 11));
    powerOffRadio = new CRadioButton(QStringLiteral("Power Off"), output);
    powerOffRadio->setGeometry(du.rect(8, 27, 60, 11));
    powerGroup = new QButtonGroup(this);
    powerGroup->addButton(powerOnRadio, 0);
    powerGroup->addButton(powerOffRadio, 1);
    powerIcon = iconButton(output, "Power picture", du.rect(78, 14, 24, 22));
    connect(powerOnRadio, &QRadioButton::clicked, this, [this] { onPowerOn(); });
    connect(powerOffRadio, &QRadioButton::clicked, this, [this] { onPowerOff(); });
    connect(powerIcon, &QToolButton::clicked, this, [this] { onPowerPictureClicked(); });

    // Comm port.
    QGroupBox* comm = group("Comm Port", nullptr, du.rect(7, 50, 113, 104));
    QGroupBox* activity = group("Activity", comm, du.rect(6, 10, 42, 36));
    activityIcon = iconButton(activity, "Port activity", du.rect(9, 11, 24, 22));
    connect(activityIcon, &QToolButton::clicked, this, [this] { togglePort(); });
    portButton = button(comm, "Turn on Port", du.rect(52, 12, 55, 14));
    connect(portButton, &QPushButton::clicked, this, [this] { togglePort(); });
    QLabel* portLabel = label(comm, QStringLiteral("&Port:"), 52, 29, 55);
    portSelector = new QComboBox(comm);
    portSelector->setGeometry(du.rect(52, 39, 55, 14));
    portLabel->setBuddy(portSelector);
    for (int port = 1; port <= kLastPort; ++port)
        portSelector->addItem(QStringLiteral("COM%1").arg(port));
    portSelector->setAccessibleDescription(QStringLiteral("Port selector"));
    connect(portSelector, &QComboBox::activated, this, [this](int index) { changePort(index); });
    statusLine = label(comm, QString(), 6, 56, 100);
    statusLine->setAccessibleDescription(QStringLiteral("Status line"));
    searchButton = button(comm, "Search Device", du.rect(6, 70, 101, 14));
    connect(searchButton, &QPushButton::clicked, this, [this] { searchDevice(); });

    // Address management.
    QGroupBox* address = group("Address Management", nullptr, du.rect(7, 156, 113, 62));
    QLabel* addressLabel = label(address, QStringLiteral("&Address:"), 6, 11, 101);
    addressSelector = new QComboBox(address);
    addressSelector->setGeometry(du.rect(6, 22, 101, 14));
    addressSelector->addItem(QStringLiteral("All: 0000(with ACT)"));
    addressSelector->addItem(QStringLiteral("All: FFFF(no ACT)"));
    for (std::string_view entryLabel : kAddressLabels)
        addressSelector->addItem(fromLatin1View(entryLabel));
    addressSelector->setAccessibleDescription(QStringLiteral("Address selector"));
    addressLabel->setBuddy(addressSelector);
    connect(addressSelector, &QComboBox::activated, this, [this] { onAddressSelected(); });
    addressButton = button(address, "Address Setting", du.rect(6, 41, 101, 14));
    connect(addressButton, &QPushButton::clicked, this, [this] { onAddressSetting(); });

    // Hot plug and the status panel: borderless labels, bordered value fields (rows 11 units
    // apart). The timing text gets a centred field of its own across the group box, wide enough
    // for the longest timing name.
    auto valueField = [&](QWidget* parent, const QString& name, QRect r) {
        auto* value = new QLabel(parent);
        value->setGeometry(r);
        value->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        value->setAccessibleDescription(name);
        return value;
    };
    auto field = [&](QWidget* parent, const char* name, int row) {
        const QString text = QString::fromLatin1(name);
        label(parent, text, 6, 10 + row * 11, 52);
        return valueField(parent, text.chopped(1), du.rect(60, 10 + row * 11, 47, 10));
    };
    label(this, QStringLiteral("Hot Plug:"), 13, 221, 52);
    hotPlugField = valueField(this, QStringLiteral("Hot Plug"), du.rect(67, 221, 47, 10));
    QGroupBox* video = group("Video Output", nullptr, du.rect(7, 232, 113, 81));
    hdcpField = field(video, "HDCP:", 0);
    outputModeField = field(video, "HDMI/DVI:", 1);
    colorSpaceField = field(video, "Color Space:", 2);
    colorDepthField = field(video, "Color Depth:", 3);
    label(video, QStringLiteral("Timing:"), 6, 54, 52);
    timingField = valueField(video, QStringLiteral("Timing"), du.rect(6, 65, 101, 10));
    timingField->setAlignment(Qt::AlignCenter);
    QGroupBox* audio = group("Audio Output", nullptr, du.rect(7, 315, 113, 61));
    sampleRateField = field(audio, "Sample rate:", 0);
    audioBitsField = field(audio, "Audio bit:", 1);
    channelsField = field(audio, "Channels:", 2);
    audioTypeField = field(audio, "Audio Type:", 3);

    // Pages, in tab order.
    tabs = new QTabWidget(this);
    tabs->setGeometry(du.rect(125, 7, 311, 364));
    timingPage_ = new CTimingPage(*this);
    timingDetailsPage_ = new CTimingDetailsPage(*this);
    patternPage_ = new CPatternPage(*this);
    settingPage_ = new CSettingPage(*this);
    edidPage_ = new CEdidPage(*this);
    tabs->addTab(timingPage_, QStringLiteral("Timing"));
    tabs->addTab(timingDetailsPage_, QStringLiteral("Timing Details"));
    tabs->addTab(patternPage_, QStringLiteral("Pattern"));
    tabs->addTab(settingPage_, QStringLiteral("Setting"));
    tabs->addTab(edidPage_, QStringLiteral("TV EDID"));
    // The tab widget places its page stack when it is first shown. A stack not yet sized then
    // first fits itself to the largest page's size hint, a layout pass over every hidden page;
    // sized here, it skips that pass and is placed all the same.
    if (auto* stack = tabs->findChild<QStackedWidget*>())
        stack->resize(tabs->size());
}

// --- frame senders -------------------------------------------------------------------------

void CConsoleDlg::message(std::string_view text) {
    services_.showMessage(this, fromLatin1View(text));
}

void CConsoleDlg::sendCommand(CommandCode code) {
    sendCommandWithData(code, 0, nullptr);
}

void CConsoleDlg::sendCommandWithData(CommandCode code, int length, const std::uint8_t* payload) {
    // A negative count would be read as a huge span; it is refused like an oversized one.
    if (length > static_cast<int>(kMaxPayload) || length < 0 ||
        (length > 0 && payload == nullptr)) {
        message("Too much parameter.");
        return;
    }
    const auto frame = buildFrame(targetAddress.group, targetAddress.device, code,
                                  std::span(payload, static_cast<std::size_t>(length)));
    if (!frame) {
        message("Too much parameter.");
        return;
    }
    std::copy(frame->bytes.begin(), frame->bytes.begin() + static_cast<std::ptrdiff_t>(frame->size),
              frameBuffer.begin());
    if (!portOpen_) {
        message("Com port is not on yet.");
        return;
    }
    channel_.queueWrite(std::span<const std::uint8_t>(frameBuffer.data(), frame->size));
}

// --- serial notifications --------------------------------------------------------------------

void CConsoleDlg::onSerialBytes(int port, std::span<const std::uint8_t> bytes) {
    for (std::uint8_t byte : bytes)
        onSerialByte(byte, port);
}

void CConsoleDlg::onSerialByte(std::uint8_t byte, int port) {
    if (port < 1 || port > kLastPort)
        return;
    receiver.onByte(byte, targetAddress);
}

void CConsoleDlg::onSerialTxEmpty(int /*port*/) {}

void CConsoleDlg::onSerialPortLost(int /*port*/) {
    // The channel has closed the port: show Closed so that the next command is refused with a
    // message rather than written to nothing. A running search carries on at its watchdog.
    showClosed();
}

// --- receiver actions ------------------------------------------------------------------------

void CConsoleDlg::sendQuery(CommandCode code, std::span<const std::uint8_t> payload) {
    sendCommandWithData(code, static_cast<int>(payload.size()), payload.data());
}

void CConsoleDlg::startWatchdog(int intervalMs) {
    services_.setTimer(*this, kWatchdogTimer, intervalMs);
}

void CConsoleDlg::stopWatchdog() {
    services_.killTimer(*this, kWatchdogTimer);
}

void CConsoleDlg::storeEdidByte(std::size_t index, std::uint8_t value) {
    if (index < edidPage_->edidImage.size())
        edidPage_->edidImage[index] = value;
}

void CConsoleDlg::edidReceived() {
    edidPage_->onEdidReceived();
}

void CConsoleDlg::startEdidRead(bool fromSavedSlot, int watchdogMs) {
    receiver.edidFromSavedSlot = fromSavedSlot;
    receiver.edidReadMode = true;
    startWatchdog(watchdogMs);
}

void CConsoleDlg::sweepFinished() {
    const DeviceStatus& status = receiver.deviceStatus;
    showPower(status.power);
    patternPage_->showPattern(status.patternCode);
    timingPage_->refreshFromStatus(status);
    settingPage_->showStatus(status);
    timingPage_->refresh();
    // The sweep's own HDCP rule (any non-zero value is on) replaces the Setting page's text.
    statusTexts.hdcp = fromLatin1View(hdcpSweepText(status.hdcp));
    statusTexts.hotPlug = fromLatin1View(krx::hotPlugText(status.hotPlug));
    setTimingText(status.timingCode);
    refreshMainWindow();
}

void CConsoleDlg::runHandler(std::size_t codeIndex, std::span<const std::uint8_t> answer) {
    if (codeIndex < responseHandlers_.size() && responseHandlers_[codeIndex])
        responseHandlers_[codeIndex](answer);
}

void CConsoleDlg::fillResponseHandlers() {
    responseHandlers_.fill(nullptr);  // every other known code: accepted, no action
    auto set = [this](CommandCode code, ResponseHandler handler) {
        responseHandlers_[*responseCodeIndex(code)] = std::move(handler);
    };
    auto setting = [this](int CSettingPage::*selection, void (CConsoleDlg::*setText)(int)) {
        return [this, selection, setText](std::span<const std::uint8_t> answer) {
            onSettingAnswer(answer, selection, setText);
        };
    };
    set(CMD_GET_TIMING, [this](auto answer) { onTimingAnswer(answer); });
    set(CMD_GET_PATTERN, [this](auto answer) {
        if (!answer.empty())
            patternPage_->showPattern(signedByte(answer[0]));
    });
    set(CMD_GET_COLOR_SPACE, [this](auto answer) {
        if (answer.empty())
            return;
        settingPage_->resetNote.clear();
        onSettingAnswer(answer, &CSettingPage::colorSpace, &CConsoleDlg::setColorSpaceText);
    });
    set(CMD_GET_COLOR_DEPTH, setting(&CSettingPage::colorDepth, &CConsoleDlg::setColorDepthText));
    set(CMD_GET_HDCP, setting(&CSettingPage::hdcp, &CConsoleDlg::setHdcpText));
    set(CMD_GET_OUTPUT_MODE, setting(&CSettingPage::outputMode, &CConsoleDlg::setOutputModeText));
    set(CMD_GET_SAMPLE_RATE, setting(&CSettingPage::sampleRate, &CConsoleDlg::setSampleRateText));
    set(CMD_GET_AUDIO_BITS, setting(&CSettingPage::audioBits, &CConsoleDlg::setAudioBitsText));
    set(CMD_GET_AUDIO_SOURCE, setting(&CSettingPage::audioSource, nullptr));
    set(CMD_GET_AUDIO_CHANNELS, setting(&CSettingPage::channels, &CConsoleDlg::setChannelsText));
    set(CMD_GET_TIMING_DETAILS, [this](auto answer) { onTimingDetailsAnswer(answer); });
    set(CMD_GET_LINK_STATUS, [this](auto answer) { onLinkStatusAnswer(answer); });
    set(CMD_GET_POWER, [this](auto answer) { onPowerAnswer(answer); });
    set(CMD_GET_HOT_PLUG, [this](auto answer) { onHotPlugAnswer(answer); });
    set(CMD_READ_ADDRESS, [this](auto answer) { onReadAddressAnswer(answer); });
}

void CConsoleDlg::onSettingAnswer(std::span<const std::uint8_t> answer,
                                  int CSettingPage::*selection, void (CConsoleDlg::*setText)(int)) {
    if (answer.empty())
        return;
    const int value = signedByte(answer[0]);
    settingPage_->*selection = value;
    settingPage_->refresh();
    if (setText == nullptr)
        return;  // the audio source has no status text
    (this->*setText)(value);
    refreshMainWindow();
}

void CConsoleDlg::onTimingAnswer(std::span<const std::uint8_t> answer) {
    if (answer.empty())
        return;
    const int code = signedByte(answer[0]);
    timingPage_->selection = code;
    CSettingPage& setting = *settingPage_;
    setting.read();
    // The generator switches colour by itself for 4K timings; only the selections follow here.
    const ColourChoice colours = coloursForTiming(code, {setting.colorSpace, setting.colorDepth});
    setting.colorSpace = colours.colorSpace;
    setting.colorDepth = colours.colorDepth;
    timingDetailsPage_->showTiming(timingPage_->selection);
    timingPage_->refresh();
    setting.refresh();
    setTimingText(code);
    refreshMainWindow();
    if (code == kAutoTiming)
        sendCommand(CMD_GET_TIMING_DETAILS);
}

void CConsoleDlg::onTimingDetailsAnswer(std::span<const std::uint8_t> answer) {
    if (answer.size() < kUserTimingSize)
        return;
    currentTiming_ = UserTiming::fromBytes(answer.first<kUserTimingSize>());
    timingDetailsPage_->showTiming(timingPage_->selection);
    timingPage_->refresh();
    refreshMainWindow();
}

void CConsoleDlg::onLinkStatusAnswer(std::span<const std::uint8_t> answer) {
    if (answer.size() < kLinkStatusSize)
        return;
    setColorSpaceText(signedByte(answer[0]));
    setColorDepthText(signedByte(answer[1]));
    setOutputModeText(signedByte(answer[2]));
    setSampleRateText(signedByte(answer[3]));
    setAudioBitsText(signedByte(answer[4]));
    setChannelsText(signedByte(answer[5]));
    refreshMainWindow();
    if (receiver.detailsPending)
        sendCommand(CMD_GET_TIMING_DETAILS);
    receiver.detailsPending = false;
}

void CConsoleDlg::onPowerAnswer(std::span<const std::uint8_t> answer) {
    if (answer.empty())
        return;
    showPower(signedByte(answer[0]));
    refreshMainWindow();
}

void CConsoleDlg::onHotPlugAnswer(std::span<const std::uint8_t> answer) {
    if (answer.empty())
        return;
    statusTexts.hotPlug = fromLatin1View(krx::hotPlugText(signedByte(answer[0])));
    refreshMainWindow();
}

void CConsoleDlg::onReadAddressAnswer(std::span<const std::uint8_t> answer) {
    if (answer.size() < 2)
        return;
    targetAddress = TargetAddress{answer[0], answer[1]};
    originalAddress = targetAddress;
    if (addressDlg_ != nullptr)
        addressDlg_->showOriginalAddress(answer[0], answer[1]);
}

// --- status panel ----------------------------------------------------------------------------

void CConsoleDlg::showPower(int power) {
    powerSelection = power;
    setPowerPicture(power == 0 ? kPowerOnIcon : kPowerOffIcon);
}

void CConsoleDlg::setPowerPicture(int id) {
    powerIconId_ = id;
    powerIcon->setIcon(iconFor(id));
    const QString state = id == kPowerOnIcon ? QStringLiteral("Power picture: output on")
                                             : QStringLiteral("Power picture: output off");
    powerIcon->setAccessibleName(state);
    powerIcon->setToolTip(state);
}

// --- power and target address ----------------------------------------------------------------

void CConsoleDlg::readMainWindow() {
    DataExchange dx(services_, this, true);
    dx.radio(powerGroup, powerSelection);
}

void CConsoleDlg::sendPower() {
    const auto power = static_cast<std::uint8_t>(powerSelection);
    sendCommandWithData(CMD_SET_POWER, 1, &power);
}

void CConsoleDlg::onPowerOn() {
    readMainWindow();
    sendPower();
    setPowerPicture(kPowerOnIcon);
}

void CConsoleDlg::onPowerOff() {
    readMainWindow();
    sendPower();
    setPowerPicture(kPowerOffIcon);
}

void CConsoleDlg::onPowerPictureClicked() {
    readMainWindow();
    if (powerSelection == 0) {
        setPowerPicture(kPowerOffIcon);
        powerSelection = 1;
    } else {
        setPowerPicture(kPowerOnIcon);
        powerSelection = 0;
    }
    sendPower();
    refreshMainWindow();
}

void CConsoleDlg::rebuildAddressList() {
    int selected = addressSelector->currentIndex();
    if (selected < 0 || selected >= addressSelector->count())
        selected = 0;
    for (std::size_t n = 0; n < kAddressEntryCount; ++n)
        addressSelector->setItemText(static_cast<int>(n) + 2,
                                     fromLatin1View(addressItemText(n, addressBook.entries[n])));
    addressSelector->setCurrentIndex(selected);
    setTargetFromItem(selected);
}

void CConsoleDlg::setTargetFromItem(int index) {
    if (index == 0)
        targetAddress = TargetAddress{0x00, 0x00};
    else if (index == 1)
        targetAddress = TargetAddress{0xFF, 0xFF};
    else if (index >= 2 && index < 2 + static_cast<int>(kAddressEntryCount)) {
        const AddressEntry& entry = addressBook.entries[static_cast<std::size_t>(index - 2)];
        targetAddress = TargetAddress{entry.group(), entry.device()};
    }
}

void CConsoleDlg::onAddressSelected() {
    setTargetFromItem(addressSelector->currentIndex());
    if (portOpen_)
        startStatusSweep(kSweepAfterTargetMs);
}

CAddressDlg& CConsoleDlg::addressDialog() {
    if (addressDlg_ == nullptr) {
        addressDlg_ = new CAddressDlg(
            services_, addressBook, channel_, [this] { return portOpen_; }, this);
        if (originalAddress)
            addressDlg_->showOriginalAddress(originalAddress->group, originalAddress->device);
    }
    return *addressDlg_;
}

void CConsoleDlg::onAddressSetting() {
    CAddressDlg& dialog = addressDialog();
    dialog.fillFromBook();
    services_.runModal(dialog);
    rebuildAddressList();
}

void CConsoleDlg::setHdcpText(int value) {
    statusTexts.hdcp = fromLatin1View(krx::hdcpText(value));
}
void CConsoleDlg::setOutputModeText(int value) {
    statusTexts.outputMode = fromLatin1View(outputModeText(value));
}
void CConsoleDlg::setColorSpaceText(int value) {
    statusTexts.colorSpace = fromLatin1View(colorSpaceText(value));
}
void CConsoleDlg::setColorDepthText(int value) {
    statusTexts.colorDepth = fromLatin1View(colorDepthText(value));
}
void CConsoleDlg::setSampleRateText(int value) {
    statusTexts.sampleRate = fromLatin1View(sampleRateText(value));
}
void CConsoleDlg::setAudioBitsText(int value) {
    statusTexts.audioBits = fromLatin1View(audioBitsText(value));
}
void CConsoleDlg::setChannelsText(int value) {
    statusTexts.channels = fromLatin1View(channelsText(value));
}
void CConsoleDlg::setAudioTypeText() {
    statusTexts.audioType = fromLatin1View(audioTypeText());
}

void CConsoleDlg::setTimingText(int code) {
    // User timings are composed from what the Timing Details page holds for the selection.
    statusTexts.timing = QString::fromStdString(timingText(code, timingDetailsPage_->details));
}

void CConsoleDlg::refreshMainWindow() {
    DataExchange dx(services_, this, false);
    dx.text(hotPlugField, statusTexts.hotPlug);
    dx.text(hdcpField, statusTexts.hdcp);
    dx.text(outputModeField, statusTexts.outputMode);
    dx.text(colorSpaceField, statusTexts.colorSpace);
    dx.text(colorDepthField, statusTexts.colorDepth);
    dx.text(timingField, statusTexts.timing);
    dx.text(sampleRateField, statusTexts.sampleRate);
    dx.text(audioBitsField, statusTexts.audioBits);
    dx.text(channelsField, statusTexts.channels);
    dx.text(audioTypeField, statusTexts.audioType);
    dx.radio(powerGroup, powerSelection);
}

// --- connection ------------------------------------------------------------------------------

void CConsoleDlg::setActivityIcon(int id) {
    activityIconId_ = id;
    activityIcon->setIcon(iconFor(id));
}

void CConsoleDlg::showClosed() {
    portOpen_ = false;
    portButton->setText(QStringLiteral("Turn on Port"));
    setActivityIcon(133);
}

void CConsoleDlg::showOpen() {
    portOpen_ = true;
    portButton->setText(QStringLiteral("Close Port"));
    setActivityIcon(134);
}

// A refused open leaves one line on standard error saying why. A search leaves out the numbers
// with no device behind them, which are most of the 99 it tries.
bool CConsoleDlg::openChannel(bool searching) {
    if (channel_.open(*this, portNumber_, kGeneratorLine.baud, kGeneratorLine.parity,
                      kGeneratorLine.dataBits, kGeneratorLine.stopBits, kGeneratorLine.eventMask,
                      kGeneratorLine.bufferSize))
        return true;
    const auto failure = channel_.lastOpenFailure();
    const bool absent = failure && (failure->reason == OpenError::NoSuchDevice ||
                                    failure->reason == OpenError::NoSuchPort);
    if (failure && !(searching && absent))
        qCWarning(serialLog, "%s", describeOpenFailure(*failure).c_str());
    return false;
}

void CConsoleDlg::togglePort() {
    if (portOpen_) {
        showClosed();
        channel_.stop();
        return;
    }
    // A monitor that cannot start leaves the port useless: treated as a failed open.
    if (openChannel() && channel_.start()) {
        showOpen();
        services_.sleepMs(kWaitAfterOpenMs);
        startStatusSweep(kAnswerWaitMs);
        return;
    }
    channel_.stop();
    showClosed();
    message("Can not find this port or used by other application");
}

void CConsoleDlg::changePort(int index) {
    if (index < 0 || index >= kLastPort)
        return;
    if (channel_.holdsPort())
        channel_.stop();
    portNumber_ = index + 1;
    if (!openChannel()) {
        showClosed();
        message("Can not find this port or used by other application");
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
        message("Can not find this port or used by other application");
        return;
    }
    showOpen();
    services_.sleepMs(kWaitAfterOpenMs);
    startStatusSweep(kAnswerWaitMs);
}

void CConsoleDlg::queueProbe(int answerWaitMs) {
    receiver.startProbe();
    // Queued directly: the port-open flag is clear during a search, so the senders would refuse.
    const auto frame = buildFrame(targetAddress.group, targetAddress.device, CMD_PING);
    if (frame)
        channel_.queueWrite(frame->view());
    startWatchdog(answerWaitMs);
    services_.setTimer(*this, kProbeDeadlineTimer, ResponseReceiver::probeDeadlineMs(answerWaitMs));
}

void CConsoleDlg::searchDevice() {
    showClosed();
    channel_.stop();
    rememberedPort_ = portNumber_;
    portNumber_ = 1;
    bool opened = openChannel(true) && channel_.start();
    while (!opened && portNumber_ < kLastPort) {
        ++portNumber_;
        opened = openChannel(true) && channel_.start();
    }
    if (!opened) {
        channel_.stop();
        portNumber_ = 1;
        statusLine->setText(QStringLiteral(" "));
        message("Can not find available device for this console!");
        return;
    }
    queueProbe(kFirstProbeWaitMs);
    statusLine->setText(QStringLiteral("Please wait....."));
}

// The watchdog or the probe's deadline fired, whichever came first; the next probe arms both anew.
void CConsoleDlg::searchWatchdogExpired() {
    services_.killTimer(*this, kProbeDeadlineTimer);
    if (receiver.deviceFound) {
        showOpen();
        portSelector->setCurrentIndex(portNumber_ - 1);
        statusLine->setText(QStringLiteral(" "));
        receiver.searchMode = false;
        startStatusSweep(kSweepAfterSearchMs);
        return;
    }
    channel_.stop();
    for (++portNumber_; portNumber_ <= kLastPort; ++portNumber_) {
        if (openChannel(true) && channel_.start()) {
            services_.sleepMs(kWaitBeforeProbeMs);
            queueProbe(kLaterProbeWaitMs);
            return;
        }
    }
    channel_.stop();
    receiver.searchMode = false;
    stopWatchdog();
    portNumber_ = rememberedPort_;
    statusLine->setText(QStringLiteral(" "));
    message("Can not find available device for this console!");
}

void CConsoleDlg::onTimer(int id) {
    if (id == kWatchdogTimer || id == kProbeDeadlineTimer) {
        if (receiver.searchMode)
            searchWatchdogExpired();
        else if (id == kWatchdogTimer)
            receiver.watchdogExpired();
        else
            services_.killTimer(*this, kProbeDeadlineTimer);  // outlived its search
    } else if (id == kGuardTimer) {
        commandGuard = false;
        services_.killTimer(*this, kGuardTimer);
    }
}

bool CConsoleDlg::takeCommandGuard() {
    if (commandGuard) {
        commandGuard = false;
        return false;
    }
    commandGuard = true;
    services_.setTimer(*this, kGuardTimer, kGuardMs);
    return true;
}

// --- About -----------------------------------------------------------------------------------

void CConsoleDlg::showAbout() {
    CAboutDlg about(this);
    services_.runModal(about);
}

}  // namespace krx
