// SPDX-License-Identifier: MIT
#include "app/console_dlg.h"

#include <QAction>
#include <QComboBox>
#include <QKeySequence>
#include <QLayout>
#include <QStackedWidget>
#include <QStyle>
#include <QStyleOptionTabWidgetFrame>
#include <QTabWidget>
#include <chrono>

#include "address/dialogs/address_dlg.h"
#include "app/about_dlg.h"
#include "app/layout_kit.h"
#include "app/traffic_dlg.h"
#include "pages/edid_page.h"
#include "pages/pattern_page.h"
#include "pages/setting_page.h"
#include "pages/timing_details_page.h"
#include "pages/timing_page.h"

namespace krx {
namespace {

constexpr int kSweepAfterTargetMs = 800;
constexpr int kApplicationIcon = 128;
// The traffic record keeps the last 10,000 frames, some 200 status sweeps: 1.2 MB of short
// answers and their queries, 3.7 MB of EDID-sized answers (twice that while the traffic window
// shows them).
constexpr std::size_t kTrafficFrames = 10'000;

// Microseconds since the first call.
TrafficTap::Clock sinceStart() {
    return [start = std::chrono::steady_clock::now()] {
        return std::chrono::duration_cast<std::chrono::microseconds>(
                   std::chrono::steady_clock::now() - start)
            .count();
    };
}

// The pages' tab widget, which tells where its page stack goes before it is first shown.
class PageTabs final : public QTabWidget {
  public:
    using QTabWidget::QTabWidget;
    // The rectangle the tab widget gives its page stack when it is shown with its tabs as they
    // are now.
    QRect pageArea() const {
        QStyleOptionTabWidgetFrame option;
        initStyleOption(&option);
        return style()->subElementRect(QStyle::SE_TabWidgetTabContents, &option, this);
    }
};

}  // namespace

CConsoleDlg::CConsoleDlg(WindowServices& services, SerialChannel& channel,
                         const SgIniLocation& book, QWidget* parent)
    : QDialog(parent),
      services_(services),
      traffic_(channel, kTrafficFrames, sinceStart()),
      addressBook_(book),
      panel_(services),
      answers_(connection_, pageHost_, panel_, power_,
               [this](TargetAddress address) { onAddressRead(address); }),
      connection_(services, traffic_, answers_),
      power_(services, connection_),
      pageHost_(services, connection_, panel_, answers_.currentTiming(),
                connection_.receiver().userTimings) {
    setWindowTitle(QStringLiteral("KRX-VTP-SG V1.0"));
    setWindowIcon(iconFor(kApplicationIcon));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    buildLayout();
    installEventFilter(&keyFilter_);

    // Window managers own the system menu: the About item lives in the context menu and on F1.
    aboutAction_ = new QAction(QStringLiteral("&About KRX-VTP-SG..."), this);
    aboutAction_->setShortcut(QKeySequence(Qt::Key_F1));
    aboutAction_->setShortcutContext(Qt::WindowShortcut);
    connect(aboutAction_, &QAction::triggered, this, [this] { showAbout(); });
    addAction(aboutAction_);
    trafficAction_ = new QAction(QStringLiteral("&Traffic..."), this);
    trafficAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    trafficAction_->setShortcutContext(Qt::WindowShortcut);
    connect(trafficAction_, &QAction::triggered, this, [this] { showTraffic(); });
    addAction(trafficAction_);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    traffic_.countAnswersWith([this] { return connection_.receiver().answersAccepted; });

    // Closed on COM1 (the connection's group), broadcast target, empty status texts, the EDID
    // source at item 0 (where its list starts), Timing page shown; then the book, which may report
    // why it could not be read or created.
    // The book's messages may name its file, whose path is in the system's encoding.
    for (const std::string& text : addressBook_.load())
        services_.showMessage(this, QString::fromLocal8Bit(text));
    rebuildAddressList();
    CEdidPage& edid = pageHost_.edidPage();
    edid.statusText.clear();
    edid.refresh();
    panel_.refresh();
    power_.refresh();
    tabs_->setCurrentIndex(0);
}

CConsoleDlg::CConsoleDlg(WindowServices& services, SerialChannel& channel,
                         const std::filesystem::path& bookDirectory, QWidget* parent)
    : CConsoleDlg(services, channel, SgIniLocation::in(bookDirectory), parent) {}

// The traffic window goes first: it lets go of the tap, a member, before the members go.
CConsoleDlg::~CConsoleDlg() {
    delete trafficDlg_;
}

namespace {

template <class Page>
Page& built(Page& page) {
    page.ensureBuilt();
    return page;
}

}  // namespace

CTimingDetailsPage& CConsoleDlg::timingDetailsPage() {
    return built(pageHost_.timingDetailsPage());
}

CPatternPage& CConsoleDlg::patternPage() {
    return built(pageHost_.patternPage());
}

CSettingPage& CConsoleDlg::settingPage() {
    return built(pageHost_.settingPage());
}

CEdidPage& CConsoleDlg::edidPage() {
    return built(pageHost_.edidPage());
}

void CConsoleDlg::buildLayout() {
    const DialogUnits du(fontMetrics());
    setFixedSize(du.px(443), du.py(378));
    power_.build(this, du);
    connection_.build(this, du);
    buildAddressGroup(du);
    panel_.build(this, du);
    buildPages(du);
}

void CConsoleDlg::buildAddressGroup(const DialogUnits& du) {
    QGroupBox* address = makeGroup("Address Management", this, du.rect(7, 156, 113, 62));
    QLabel* addressLabel = makeLabel(du, address, QStringLiteral("&Address:"), 6, 11, 101);
    addressSelector_ = new QComboBox(address);
    addressSelector_->setGeometry(du.rect(6, 22, 101, 14));
    QStringList items{QStringLiteral("All: 0000(with ACT)"), QStringLiteral("All: FFFF(no ACT)")};
    for (std::string_view entryLabel : kAddressLabels)
        items.append(latin1(entryLabel));
    addressSelector_->addItems(items);
    addressSelector_->setAccessibleDescription(QStringLiteral("Address selector"));
    addressLabel->setBuddy(addressSelector_);
    connect(addressSelector_, &QComboBox::activated, this, [this] { onAddressSelected(); });
    addressButton_ = makeButton(address, "Address Setting", du.rect(6, 41, 101, 14));
    connect(addressButton_, &QPushButton::clicked, this, [this] { onAddressSetting(); });
}

void CConsoleDlg::buildPages(const DialogUnits& du) {
    auto* tabs = new PageTabs(this);
    tabs_ = tabs;
    tabs_->setGeometry(du.rect(125, 7, 311, 364));
    PageHost::Pages pages;
    pages.timing = new CTimingPage(pageHost_);
    pages.timingDetails = new CTimingDetailsPage(pageHost_);
    pages.pattern = new CPatternPage(pageHost_);
    pages.setting = new CSettingPage(pageHost_);
    pages.edid = new CEdidPage(pageHost_);
    pageHost_.handPages(pages);
    // The first page added is shown at once, and showing a page lays it out at the size it has
    // then; the tab widget sizes its page stack only when it is itself first shown, so the
    // Timing page's 65 buttons would be laid out at two provisional sizes before the final one.
    // Its layout waits until the stack has the place the tab widget will give it.
    QLayout* timingLayout = pages.timing->layout();
    timingLayout->setEnabled(false);
    tabs_->addTab(pages.timing, QStringLiteral("Timing"));
    tabs_->addTab(pages.timingDetails, QStringLiteral("Timing Details"));
    tabs_->addTab(pages.pattern, QStringLiteral("Pattern"));
    tabs_->addTab(pages.setting, QStringLiteral("Setting"));
    tabs_->addTab(pages.edid, QStringLiteral("TV EDID"));
    if (auto* stack = tabs_->findChild<QStackedWidget*>())
        stack->setGeometry(tabs->pageArea());
    timingLayout->setEnabled(true);
}

// --- target address --------------------------------------------------------------------------

void CConsoleDlg::rebuildAddressList() {
    int selected = addressSelector_->currentIndex();
    if (selected < 0 || selected >= addressSelector_->count())
        selected = 0;
    for (std::size_t n = 0; n < kAddressEntryCount; ++n)
        addressSelector_->setItemText(static_cast<int>(n) + 2,
                                      latin1(addressItemText(n, addressBook_.entries[n])));
    addressSelector_->setCurrentIndex(selected);
    setTargetFromItem(selected);
}

void CConsoleDlg::setTargetFromItem(int index) {
    if (index == 0) {
        connection_.setTargetAddress({0x00, 0x00});
    } else if (index == 1) {
        connection_.setTargetAddress({0xFF, 0xFF});
    } else if (index >= 2 && index < 2 + static_cast<int>(kAddressEntryCount)) {
        const AddressEntry& entry = addressBook_.entries[static_cast<std::size_t>(index - 2)];
        connection_.setTargetAddress({entry.group(), entry.device()});
    }
}

void CConsoleDlg::onAddressSelected() {
    setTargetFromItem(addressSelector_->currentIndex());
    if (connection_.portOpen())
        connection_.startStatusSweep(kSweepAfterTargetMs);
}

void CConsoleDlg::onAddressRead(TargetAddress address) {
    originalAddress_ = address;
    if (addressDlg_ != nullptr)
        addressDlg_->showOriginalAddress(address.group, address.device);
}

CAddressDlg& CConsoleDlg::addressDialog() {
    if (addressDlg_ == nullptr) {
        addressDlg_ = new CAddressDlg(
            services_, addressBook_, traffic_, [this] { return connection_.portOpen(); }, this);
        if (originalAddress_)
            addressDlg_->showOriginalAddress(originalAddress_->group, originalAddress_->device);
    }
    return *addressDlg_;
}

void CConsoleDlg::onAddressSetting() {
    CAddressDlg& dialog = addressDialog();
    dialog.fillFromBook();
    services_.runModal(dialog);
    rebuildAddressList();
}

CTrafficDlg& CConsoleDlg::trafficDialog() {
    if (trafficDlg_ == nullptr)
        trafficDlg_ = new CTrafficDlg(services_, traffic_, this);
    return *trafficDlg_;
}

void CConsoleDlg::showTraffic() {
    CTrafficDlg& dialog = trafficDialog();
    dialog.show();
    dialog.raise();
    dialog.activateWindow();
}

void CConsoleDlg::logTrafficTo(const TrafficLogFile& file) {
    traffic_.setRecordSink(
        [&file](const TrafficRecord& record) { file.append(formatTrafficLine(record.line())); });
}

void CConsoleDlg::showAbout() {
    CAboutDlg about(this);
    services_.runModal(about);
}

}  // namespace krx
