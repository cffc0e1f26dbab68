// SPDX-License-Identifier: MIT
// The traffic window on the main window's tap, against the in-process generator.
#include <QAction>
#include <QTableView>

#include "app/traffic_dlg.h"
#include "console_fixture.h"
#include "support/files.h"

namespace krx::testing {
namespace {

using TrafficViewTest = ConsoleTest;

// The rows listed, each as "direction command accepted".
QStringList rows(CTrafficDlg& view) {
    QCoreApplication::processEvents();
    const QAbstractItemModel* model = view.table()->model();
    QStringList texts;
    for (int r = 0; r < model->rowCount(); ++r) {
        const QStringList cells{model->index(r, 1).data().toString(),
                                model->index(r, 2).data().toString(),
                                model->index(r, 3).data().toString()};
        texts << cells.join(' ').trimmed();
    }
    return texts;
}

TEST_F(TrafficViewTest, ListsWhatWasRecordedFiltersPausesAndSaves) {
    CConsoleDlg& w = freshWindow(true);  // recorded while the traffic window is closed
    w.trafficAction()->trigger();
    CTrafficDlg& view = w.trafficDialog();
    ASSERT_TRUE(view.isVisible());
    const QStringList all = rows(view);
    EXPECT_EQ(all.filter("sent CMD_GET_USER_TIMING").size(), 10);
    EXPECT_EQ(all.filter("received CMD_GET_USER_TIMING yes").size(), 10);

    view.filterField()->setText("user_timing");
    EXPECT_EQ(rows(view).size(), 20);

    view.filterField()->setText("CMD_GET_HOT_PLUG");
    view.pauseButton()->click();
    w.connection().sendCommand(CMD_GET_HOT_PLUG);
    services_.runFor(100);
    EXPECT_EQ(rows(view), QStringList({"sent CMD_GET_HOT_PLUG", "received CMD_GET_HOT_PLUG yes"}));
    view.pauseButton()->click();
    EXPECT_EQ(rows(view).size(), 4) << "resumed, the list catches up";

    const std::filesystem::path file = bookDirectory() / "traffic.jsonl";
    ASSERT_TRUE(view.saveTo(file));
    const QString saved = QString::fromStdString(fileContents(file));
    EXPECT_EQ(saved.count(R"("command":"CMD_GET_HOT_PLUG"})"), 2);
    EXPECT_EQ(saved.count("\n"), 4);
    EXPECT_FALSE(view.saveTo(bookDirectory() / "gone" / "traffic.jsonl"));
    EXPECT_EQ(messageTexts().filter("Cannot save ").size(), 1) << "a folder that is not there";

    view.hide();
    EXPECT_EQ(view.table()->model()->rowCount(), 0) << "nothing held while closed";
    w.connection().sendCommand(CMD_GET_HOT_PLUG);
    services_.runFor(100);
    view.show();
    EXPECT_EQ(rows(view).size(), 6) << "shown again, it lists what came meanwhile";
}

}  // namespace
}  // namespace krx::testing
