// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>
#include <filesystem>
#include <optional>

#include "address/address_book.h"
#include "app/answer_handlers.h"
#include "app/connection.h"
#include "app/power_control.h"
#include "app/status_panel.h"
#include "framework/key_filter.h"
#include "link/traffic_tap.h"
#include "pages/page_host.h"

class QAction;
class QComboBox;
class QPushButton;
class QTabWidget;

namespace krx {

class CAddressDlg;
class CTrafficDlg;

// The main window: lays out the power pair, the connection's "Comm Port" group, the address
// selector, the status panel and the five pages, and wires them to each other; it owns them all
// and the address book. Window thread only.
class CConsoleDlg final : public QDialog {
  public:
    // The address book is read from and saved to `book` (see locateSgIni).
    CConsoleDlg(WindowServices& services, SerialChannel& channel, const SgIniLocation& book,
                QWidget* parent = nullptr);
    // The address book in `bookDirectory`, read and saved there.
    CConsoleDlg(WindowServices& services, SerialChannel& channel,
                const std::filesystem::path& bookDirectory, QWidget* parent = nullptr);
    ~CConsoleDlg() override;

    // Items 2..33 of the address selector from the book, the selection kept (an index out of
    // range becomes item 0), and the target from the selection.
    void rebuildAddressList();
    // The address management dialog, built at its first use: it is hidden until "Address
    // Setting", and building its 100-odd boxes would lengthen every start-up.
    CAddressDlg& addressDialog();
    void showAbout();
    // The traffic window, built at its first use, shown beside this one.
    CTrafficDlg& trafficDialog();
    void showTraffic();
    // Every frame kept from now on is also appended to `file` as a JSON line (krx-vtp-sg --log);
    // the file outlives the window.
    void logTrafficTo(const TrafficLogFile& file);

    CConnection& connection() { return connection_; }
    const CStatusPanel& statusPanel() const { return panel_; }
    const CPowerControl& power() const { return power_; }
    const CAnswerHandlers& answers() const { return answers_; }
    // The pages for callers outside the window, who may reach their controls: a page whose
    // widgets are built at its first show is built here if it was not shown yet. The window and
    // the pages themselves go through the page host, which builds nothing.
    CTimingPage& timingPage() { return pageHost_.timingPage(); }
    CTimingDetailsPage& timingDetailsPage();
    CPatternPage& patternPage();
    CSettingPage& settingPage();
    CEdidPage& edidPage();
    QComboBox* addressSelector() const { return addressSelector_; }
    QPushButton* addressButton() const { return addressButton_; }
    QTabWidget* tabs() const { return tabs_; }
    QAction* aboutAction() const { return aboutAction_; }
    QAction* trafficAction() const { return trafficAction_; }
    TrafficTap& traffic() { return traffic_; }

  private:
    void buildLayout();
    void buildAddressGroup(const DialogUnits& du);
    void buildPages(const DialogUnits& du);
    void onAddressSelected();
    void onAddressSetting();
    // A read-address answer: kept for the address dialog, which shows it from its first
    // opening on.
    void onAddressRead(TargetAddress address);
    // TargetAddress from selector item `index`: 0 every device with answers, 1 every device
    // without, 2..33 book entries 1..32.
    void setTargetFromItem(int index);

    WindowServices& services_;
    // Every part reaches the channel through the tap, which records what goes over the line.
    TrafficTap traffic_;
    EnterEscapeFilter keyFilter_;
    AddressBook addressBook_;
    CStatusPanel panel_;
    CAnswerHandlers answers_;
    CConnection connection_;
    CPowerControl power_;
    PageHost pageHost_;
    std::optional<TargetAddress> originalAddress_;
    CAddressDlg* addressDlg_ = nullptr;
    CTrafficDlg* trafficDlg_ = nullptr;
    QComboBox* addressSelector_ = nullptr;
    QPushButton* addressButton_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    QAction* aboutAction_ = nullptr;
    QAction* trafficAction_ = nullptr;
};

}  // namespace krx
