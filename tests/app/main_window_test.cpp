// SPDX-License-Identifier: MIT
// The main window itself: its size, keys and the About box.
#include <QAction>
#include <QTest>

#include "app/about_dlg.h"
#include "console_fixture.h"

namespace krx::testing {
namespace {

using MainWindowTest = ConsoleTest;

TEST_F(MainWindowTest, EnterAndEscapeNeverCloseTheWindowOrThePages) {
    CConsoleDlg& w = window();
    w.show();
    for (QWidget* target : std::initializer_list<QWidget*>{
             &w, w.connection().portSelector(), w.connection().searchButton(), &w.timingPage(),
             w.timingDetailsPage().fields[0], w.edidPage().sourceSelector}) {
        for (int tab = 0; tab < w.tabs()->count(); ++tab) {
            w.tabs()->setCurrentIndex(tab);
            for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
                QTest::keyClick(target, key);
        }
        // Closing by accept or reject hides the window first.
        EXPECT_TRUE(w.isVisible()) << target->metaObject()->className();
    }
    EXPECT_FALSE(w.connection().portOpen()) << "Enter must not press the port button";
    EXPECT_TRUE(services_.messages().empty()) << "nor the search button";
}

// Its start-up state is pinned where each control is used: the port, the address list, the power
// pair and the status panel.
TEST_F(MainWindowTest, IsFixedInSizeAndAboutOpensFromActionAndF1AndReturnsUnchanged) {
    CConsoleDlg& w = window();
    EXPECT_EQ(w.minimumSize(), w.maximumSize());
    EXPECT_TRUE(w.actions().contains(w.aboutAction())) << "reachable from the context menu";
    EXPECT_EQ(w.aboutAction()->shortcut(), QKeySequence(Qt::Key_F1));
    QString shown;
    services_.modalHook = [&shown](QDialog& dialog) {
        shown = dialog.windowTitle();
        dynamic_cast<CAboutDlg&>(dialog).okButton->click();
        return dialog.result();
    };
    w.aboutAction()->trigger();
    EXPECT_EQ(shown, "About KRX-VTP-SG");
    EXPECT_EQ(w.tabs()->currentIndex(), 0);
}

}  // namespace
}  // namespace krx::testing
