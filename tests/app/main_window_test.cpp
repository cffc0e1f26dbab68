// SPDX-License-Identifier: MIT
// The main window itself: start-up state, keys and the About box.
#include <QAction>
#include <QKeyEvent>

#include "app/about_dlg.h"
#include "console_fixture.h"

namespace krx::testing {
namespace {

using MainWindowTest = ConsoleTest;

// The status panel starts blank (pinned with the answers that lack their data).
TEST_F(MainWindowTest, StartsClosedOnCom1AndSendsNothing) {
    attachGenerator(1);
    CConsoleDlg& w = window();
    services_.runFor(1000);
    EXPECT_EQ(w.minimumSize(), w.maximumSize()) << "the window cannot be resized";
    EXPECT_EQ(w.tabs()->currentWidget(), &w.timingPage());
    EXPECT_EQ(w.connection().portButton()->text(), "Turn on Port");
    EXPECT_EQ(w.connection().portSelector()->currentText(), "COM1");
    EXPECT_EQ(w.addressSelector()->currentIndex(), 0) << "All: 0000(with ACT)";
    EXPECT_EQ(w.power().iconId(), 190) << "the power-off picture while nothing is selected";
    EXPECT_EQ(w.power().onRadio()->group()->checkedId(), -1);
    EXPECT_TRUE(channel_.writes().empty());
    EXPECT_TRUE(services_.messages().empty());
}

TEST_F(MainWindowTest, EnterAndEscapeNeverCloseTheWindowOrThePages) {
    CConsoleDlg& w = window();
    w.show();
    int finished = 0;
    QObject::connect(&w, &QDialog::finished, [&finished] { ++finished; });
    for (QWidget* target : std::initializer_list<QWidget*>{
             &w, w.connection().portSelector(), w.connection().searchButton(), &w.timingPage(),
             w.timingDetailsPage().fields[0], w.edidPage().sourceSelector}) {
        for (int tab = 0; tab < w.tabs()->count(); ++tab) {
            w.tabs()->setCurrentIndex(tab);
            for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
                for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
                    QKeyEvent event(type, key, Qt::NoModifier);
                    QApplication::sendEvent(target, &event);
                }
            }
        }
        EXPECT_TRUE(w.isVisible()) << target->metaObject()->className();
        EXPECT_EQ(finished, 0) << target->metaObject()->className();
    }
    EXPECT_FALSE(w.connection().portOpen()) << "Enter must not press the port button";
    EXPECT_TRUE(services_.messages().empty()) << "nor the search button";
}

TEST_F(MainWindowTest, AboutOpensFromActionAndF1AndReturnsUnchanged) {
    CConsoleDlg& w = window();
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
    EXPECT_TRUE(channel_.writes().empty());
}

}  // namespace
}  // namespace krx::testing
