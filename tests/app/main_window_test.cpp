// SPDX-License-Identifier: MIT
// The main window itself: start-up state, layout, keys, tabs and the About box.
#include <QAction>
#include <QButtonGroup>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QToolButton>

#include "app/about_dlg.h"
#include "console_fixture.h"
#include "pages/edid_page.h"
#include "pages/pattern_page.h"
#include "pages/setting_page.h"
#include "pages/timing_details_page.h"
#include "pages/timing_page.h"

namespace krx::testing {
namespace {

using MainWindowTest = ConsoleTest;

TEST_F(MainWindowTest, StartsClosedOnCom1WithBlankPanelAndNothingSent) {
    attachGenerator(1);
    CConsoleDlg& w = window();
    services.runFor(1000);

    expectClosed();
    EXPECT_EQ(w.connection().portSelector()->currentText(), "COM1");
    EXPECT_EQ(w.connection().portSelector()->count(), 99);
    EXPECT_EQ(w.addressSelector()->currentText(), "All: 0000(with ACT)");
    EXPECT_EQ(w.addressSelector()->itemText(1), "All: FFFF(no ACT)");
    // A fresh SG.ini: every entry 0000 with a one-blank description.
    ASSERT_EQ(w.addressSelector()->count(), 34);
    EXPECT_EQ(w.addressSelector()->itemText(2), "No. 1:0000:  ");
    EXPECT_EQ(w.addressSelector()->itemText(10), "No. 9:0000:  ");
    EXPECT_EQ(w.addressSelector()->itemText(11), "No.10:0000:  ");
    EXPECT_EQ(w.addressSelector()->itemText(33), "No.32:0000:  ");
    EXPECT_EQ(std::filesystem::file_size(bookDirectory() / "SG.ini"), 290u);
    EXPECT_EQ(w.power().iconId(), 190) << "the power-off picture while nothing is selected";
    EXPECT_EQ(w.connection().statusLine()->text(), " ");
    for (const QLabel* field : statusFields())
        EXPECT_TRUE(field->text().isEmpty()) << field->accessibleDescription().toStdString();
    EXPECT_FALSE(w.power().onRadio()->isChecked());
    EXPECT_FALSE(w.power().offRadio()->isChecked());
    EXPECT_EQ(w.connection().targetAddress(), kBroadcast);
    EXPECT_EQ(w.timingPage().timingGroup->checkedId(), -1);
    EXPECT_EQ(w.timingPage().timingButton(0x37)->text(), "1280X720(60)");
    EXPECT_EQ(w.edidPage().sourceSelector->currentText(), "TV EDID");
    EXPECT_TRUE(channel.writes().empty());
    EXPECT_TRUE(services.messages().empty());
}

TEST_F(MainWindowTest, KeepsDialogUnitProportionsAndTitle) {
    CConsoleDlg& w = window();
    EXPECT_EQ(w.windowTitle(), "KRX-VTP-SG V1.0");
    const double ratio = static_cast<double>(w.width()) / w.height();
    const double unitRatio =
        (443.0 * w.fontMetrics().averageCharWidth() / 4) / (378.0 * w.fontMetrics().height() / 8);
    EXPECT_NEAR(ratio, unitRatio, 0.02);
    EXPECT_EQ(w.minimumSize(), w.maximumSize()) << "the window cannot be resized";
    // Every control sits inside the window.
    for (QWidget* child : w.findChildren<QWidget*>()) {
        if (child->parentWidget() == &w) {
            EXPECT_TRUE(w.rect().contains(child->geometry())) << child->metaObject()->className();
        }
    }
}

TEST_F(MainWindowTest, ListsHaveBuddies) {
    CConsoleDlg& w = window();
    for (QComboBox* list : w.findChildren<QComboBox*>()) {
        const auto labels = w.findChildren<QLabel*>();
        const bool hasBuddy = std::any_of(labels.begin(), labels.end(),
                                          [list](QLabel* l) { return l->buddy() == list; });
        EXPECT_TRUE(hasBuddy) << list->accessibleDescription().toStdString();
    }
}

// Sends a key press to `target` as the focused control would receive it.
void pressKey(QWidget* target, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(target, &release);
}

TEST_F(MainWindowTest, EnterAndEscapeNeverCloseTheWindowOrThePages) {
    CConsoleDlg& w = window();
    w.show();
    int finished = 0;
    QObject::connect(&w, &QDialog::finished, [&finished] { ++finished; });

    const std::vector<std::pair<const char*, QWidget*>> targets = {
        {"main window", &w},
        {"port selector", w.connection().portSelector()},
        {"search button", w.connection().searchButton()},
        {"timing page", &w.timingPage()},
        {"timing details field", w.timingDetailsPage().fields[0]},
        {"edid source selector", w.edidPage().sourceSelector},
    };
    for (const auto& [name, target] : targets) {
        for (int tab = 0; tab < w.tabs()->count(); ++tab) {
            w.tabs()->setCurrentIndex(tab);
            for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
                pressKey(target, key);
        }
        EXPECT_TRUE(w.isVisible()) << name;
        EXPECT_EQ(finished, 0) << name;
    }
    EXPECT_FALSE(w.connection().portOpen()) << "Enter must not press the port button";
    EXPECT_TRUE(services.messages().empty()) << "nor the search button";
}

TEST_F(MainWindowTest, AboutOpensFromActionAndF1AndReturnsUnchanged) {
    CConsoleDlg& w = window();
    EXPECT_EQ(w.aboutAction()->text(), "&About KRX-VTP-SG...");
    EXPECT_TRUE(w.actions().contains(w.aboutAction())) << "reachable from the context menu";
    EXPECT_EQ(w.aboutAction()->shortcut(), QKeySequence(Qt::Key_F1));

    QStringList seen;
    services.modalHook = [&seen](QDialog& dialog) {
        auto* about = dynamic_cast<CAboutDlg*>(&dialog);
        if (about == nullptr)
            return 0;
        seen << dialog.windowTitle();
        for (QLabel* label : dialog.findChildren<QLabel*>())
            if (!label->text().isEmpty())
                seen << label->text();
        about->okButton->click();
        return dialog.result();
    };
    w.aboutAction()->trigger();
    EXPECT_EQ(seen, (QStringList{"About KRX-VTP-SG", "HDMI2.0 signal generator V1.0"}));
    EXPECT_EQ(w.tabs()->currentIndex(), 0);
    EXPECT_FALSE(w.connection().portOpen());
    EXPECT_TRUE(channel.writes().empty());
}

}  // namespace
}  // namespace krx::testing
