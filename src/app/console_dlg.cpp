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
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QToolButton>

#include "app/about_dlg.h"
#include "icons.h"
#include "pages/edid_page.h"
#include "pages/pattern_page.h"
#include "pages/setting_page.h"
#include "pages/timing_details_page.h"
#include "pages/timing_page.h"

namespace krx {
namespace {

constexpr int kBaud = 115200;
constexpr char kParity = 'N';
constexpr int kDataBits = 8;
constexpr int kStopBits = 1;
constexpr std::uint32_t kEventMask = 0x0003;
constexpr std::uint32_t kBufferSize = 512;
constexpr int kFirstProbeMs = 300;
constexpr int kLaterProbeMs = 400;
constexpr int kSweepAfterOpenMs = 400;
constexpr int kSweepAfterSearchMs = 800;
constexpr int kWaitAfterOpenMs = 200;
constexpr int kWaitBeforeProbeMs = 50;
constexpr int kLastPort = 99;

QIcon iconFor(int id) {
    return QIcon(iconResource(id));
}

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

CConsoleDlg::CConsoleDlg(WindowServices& services, SerialChannel& channel, QWidget* parent)
    : QDialog(parent), services_(services), channel_(channel) {
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
    tabs->setCurrentIndex(0);
}

CConsoleDlg::~CConsoleDlg() {
    services_.killAllTimers(*this);
    channel_.stop();
}

void CConsoleDlg::buildLayout() {
    const DialogUnits du(fontMetrics());
    setFixedSize(du.px(443), du.py(378));

    auto group = [this, &du](const char* title, QWidget* parent, QRect r) {
        auto* box = new QGroupBox(QString::fromLatin1(title), parent ? parent : this);
        box->setGeometry(r);
        return box;
    };
    auto label = [&du](QWidget* parent, const QString& text, int x, int y, int w) {
        auto* l = new QLabel(text, parent);
        l->setGeometry(du.rect(x, y, w, 10));
        return l;
    };
    auto button = [&du](QWidget* parent, const char* text, QRect r) {
        auto* b = new QPushButton(QString::fromLatin1(text), parent);
        b->setGeometry(r);
        b->setAutoDefault(false);
        b->setDefault(false);
        return b;
    };
    auto iconButton = [&du](QWidget* parent, int icon, const char* description, QRect r) {
        auto* b = new QToolButton(parent);
        b->setAutoRaise(true);
        b->setIcon(iconFor(icon));
        b->setIconSize(QSize(du.px(14), du.px(14)));
        b->setGeometry(r);
        b->setAccessibleDescription(QString::fromLatin1(description));
        return b;
    };

    // Signal output.
    QGroupBox* output = group("Signal Ouput", nullptr, du.rect(7, 4, 113, 44));
    powerOnRadio = new QRadioButton(QStringLiteral("Power On"), output);
    powerOnRadio->setGeometry(du.rect(8, 12, 60, 11));
    powerOffRadio = new QRadioButton(QStringLiteral("Power Off"), output);
    powerOffRadio->setGeometry(du.rect(8, 27, 60, 11));
    powerGroup = new QButtonGroup(this);
    powerGroup->addButton(powerOnRadio, 0);
    powerGroup->addButton(powerOffRadio, 1);
    powerIcon = iconButton(output, 189, "Power", du.rect(78, 14, 24, 22));

    // Comm port.
    QGroupBox* comm = group("Comm Port", nullptr, du.rect(7, 50, 113, 104));
    QGroupBox* activity = group("Activity", comm, du.rect(6, 10, 42, 36));
    activityIcon = iconButton(activity, 133, "Port activity", du.rect(9, 11, 24, 22));
    connect(activityIcon, &QToolButton::clicked, this, [this] { togglePort(); });
    portButton = button(comm, "Turn on Port", du.rect(52, 12, 55, 14));
    connect(portButton, &QPushButton::clicked, this, [this] { togglePort(); });
    portSelector = new QComboBox(comm);
    portSelector->setGeometry(du.rect(52, 30, 55, 14));
    for (int port = 1; port <= kLastPort; ++port)
        portSelector->addItem(QStringLiteral("COM%1").arg(port));
    portSelector->setAccessibleDescription(QStringLiteral("Port selector"));
    connect(portSelector, &QComboBox::activated, this, [this](int index) { changePort(index); });
    statusLine = label(comm, QString(), 6, 52, 100);
    statusLine->setAccessibleDescription(QStringLiteral("Status line"));
    searchButton = button(comm, "Search Device", du.rect(6, 68, 101, 14));
    connect(searchButton, &QPushButton::clicked, this, [this] { searchDevice(); });

    // Address management.
    QGroupBox* address = group("Address Management", nullptr, du.rect(7, 156, 113, 50));
    addressSelector = new QComboBox(address);
    addressSelector->setGeometry(du.rect(6, 12, 101, 14));
    addressSelector->addItem(QStringLiteral("All: 0000(with ACT)"));
    addressSelector->addItem(QStringLiteral("All: FFFF(no ACT)"));
    for (int entry = 1; entry <= 32; ++entry)
        addressSelector->addItem(
            QString::asprintf("No.%2d:", entry).replace(QLatin1Char(' '), QString()));
    addressSelector->setAccessibleDescription(QStringLiteral("Address selector"));
    addressButton = button(address, "Address Setting", du.rect(6, 31, 101, 14));

    // Hot plug and the status panel.
    label(this, QStringLiteral("Hot Plug:"), 14, 210, 45);
    hotPlugText = label(this, QString(), 62, 210, 50);
    hotPlugText->setAccessibleDescription(QStringLiteral("Hot Plug"));
    auto field = [&](QWidget* parent, const char* name, int row) {
        const QString text = QString::fromLatin1(name);
        label(parent, text, 6, 11 + row * 12, 50);
        QLabel* value = label(parent, QString(), 58, 11 + row * 12, 50);
        value->setAccessibleDescription(text.chopped(1));
        return value;
    };
    QGroupBox* video = group("Video Output", nullptr, du.rect(7, 222, 113, 76));
    hdcpText = field(video, "HDCP:", 0);
    hdmiDviText = field(video, "HDMI/DVI:", 1);
    colorSpaceText = field(video, "Color Space:", 2);
    colorDepthText = field(video, "Color Depth:", 3);
    timingText = field(video, "Timing:", 4);
    QGroupBox* audio = group("Audio Output", nullptr, du.rect(7, 300, 113, 64));
    sampleRateText = field(audio, "Sample rate:", 0);
    audioBitText = field(audio, "Audio bit:", 1);
    channelsText = field(audio, "Channels:", 2);
    audioTypeText = field(audio, "Audio Type:", 3);

    // Pages, in tab order.
    tabs = new QTabWidget(this);
    tabs->setGeometry(du.rect(125, 7, 311, 364));
    timingPage = new CTimingPage;
    timingDetailsPage = new CTimingDetailsPage;
    patternPage = new CPatternPage;
    settingPage = new CSettingPage;
    edidPage = new CEdidPage;
    tabs->addTab(timingPage, QStringLiteral("Timing"));
    tabs->addTab(timingDetailsPage, QStringLiteral("Timing Details"));
    tabs->addTab(patternPage, QStringLiteral("Pattern"));
    tabs->addTab(settingPage, QStringLiteral("Setting"));
    tabs->addTab(edidPage, QStringLiteral("TV EDID"));
}

// --- frame senders -------------------------------------------------------------------------

void CConsoleDlg::message(const char* text) {
    services_.showMessage(this, QString::fromLatin1(text));
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

// Filled by the page work: EDID storage, the sweep's display and the answer handlers.
void CConsoleDlg::storeEdidByte(std::size_t /*index*/, std::uint8_t /*value*/) {}
void CConsoleDlg::edidReceived() {}
void CConsoleDlg::sweepFinished() {}
void CConsoleDlg::runHandler(std::size_t /*codeIndex*/, std::span<const std::uint8_t> /*data*/) {}

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

bool CConsoleDlg::openChannel() {
    return channel_.open(*this, portNumber_, kBaud, kParity, kDataBits, kStopBits, kEventMask,
                         kBufferSize);
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
        startStatusSweep(kSweepAfterOpenMs);
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
    startStatusSweep(kSweepAfterOpenMs);
}

void CConsoleDlg::queueProbe() {
    // Queued directly: the port-open flag is clear during a search, so the senders would refuse.
    const auto frame = buildFrame(targetAddress.group, targetAddress.device, CMD_PING);
    if (frame)
        channel_.queueWrite(frame->view());
}

void CConsoleDlg::searchDevice() {
    showClosed();
    channel_.stop();
    receiver.deviceFound = false;
    rememberedPort_ = portNumber_;
    portNumber_ = 1;
    bool opened = openChannel() && channel_.start();
    while (!opened && portNumber_ < kLastPort) {
        ++portNumber_;
        opened = openChannel() && channel_.start();
    }
    if (!opened) {
        channel_.stop();
        portNumber_ = 1;
        statusLine->setText(QStringLiteral(" "));
        message("Can not find available device for this console!");
        return;
    }
    queueProbe();
    receiver.searchMode = true;
    statusLine->setText(QStringLiteral("Please wait....."));
    startWatchdog(kFirstProbeMs);
}

void CConsoleDlg::searchWatchdogExpired() {
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
        if (openChannel() && channel_.start()) {
            services_.sleepMs(kWaitBeforeProbeMs);
            queueProbe();
            startWatchdog(kLaterProbeMs);
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
    if (id == kWatchdogTimer) {
        if (receiver.searchMode)
            searchWatchdogExpired();
        else
            receiver.watchdogExpired();
    } else if (id == kGuardTimer) {
        commandGuard = false;
        services_.killTimer(*this, kGuardTimer);
    }
}

void CConsoleDlg::takeCommandGuard() {
    commandGuard = true;
    services_.setTimer(*this, kGuardTimer, kGuardMs);
}

// --- About -----------------------------------------------------------------------------------

void CConsoleDlg::showAbout() {
    CAboutDlg about(this);
    services_.runModal(about);
}

}  // namespace krx
