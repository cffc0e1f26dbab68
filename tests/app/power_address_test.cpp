// SPDX-License-Identifier: MIT
// Power control and the choice of the addressed device, through the real window.
#include <QTest>
#include <fstream>

#include "console_fixture.h"

namespace krx::testing {
namespace {

using PowerAddressTest = ConsoleTest;

TEST_F(PowerAddressTest, ChoosingAnItemSetsTheTargetAndRestartsTheSweepWhenOpen) {
    struct Row {
        const char* name;
        int item;
        bool open;
        TargetAddress target;
        const char* firstFrame;  // "": nothing sent
    };
    const Row rows[] = {
        {"all without answers", 1, true, {0xFF, 0xFF}, "AA 00 00 05 00 FF FF 61 80 72"},
        {"entry 1", 2, true, {0x12, 0x34}, "AA 00 00 05 00 12 34 61 80 2A"},
        {"all with answers", 0, true, {0x00, 0x00}, "AA 00 00 05 00 00 00 61 80 70"},
        {"entry 1, port closed", 2, false, {0x12, 0x34}, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        // Entry 1 = 12 34 "bench" and entry 2 = 01 02, before the window loads the book.
        std::ofstream(bookDirectory() / "SG.ini", std::ios::binary)
            << "1234 0102\r\n*bench\r\n*dut\r\n";
        CConsoleDlg& w = freshWindow(row.open);
        w.addressSelector()->setCurrentIndex(row.item);
        emit w.addressSelector()->activated(row.item);
        EXPECT_EQ(w.connection().targetAddress(), row.target);
        EXPECT_EQ(watchdog(), row.open ? std::optional(800) : std::nullopt);
        services_.runFor(10);
        auto frames = sent();
        frames.resize(std::min<std::size_t>(frames.size(), 1));  // the sweep's first query
        EXPECT_EQ(frames, hexFrames(row.firstFrame));
        EXPECT_TRUE(services_.messages().empty());
    }
    // Rebuilt with no item selected, the list falls back to the first one.
    window().addressSelector()->setCurrentIndex(-1);
    window().rebuildAddressList();
    EXPECT_EQ(window().addressSelector()->currentIndex(), 0);
    EXPECT_EQ(window().connection().targetAddress(), kBroadcast);
}

TEST_F(PowerAddressTest, PowerControlsSendTheChoiceAndShowIt) {
    struct Row {
        const char* name;
        bool open;
        int before;  // powerSelection shown before the click
        QAbstractButton* (*control)(CConsoleDlg&);
        const char* frame;  // "": "Com port is not on yet." instead
        int icon;
        bool doubleClick = false;      // press, release, double-click press, release
        const char* action = nullptr;  // a screen reader's action instead of the mouse
    };
    const char* const on = "AA 00 00 06 00 00 00 AB 00 00 A5";
    const char* const off = "AA 00 00 06 00 00 00 AB 00 01 A4";
    const auto picture = [](CConsoleDlg& w) -> QAbstractButton* { return w.power().picture(); };
    const auto onRadio = [](CConsoleDlg& w) -> QAbstractButton* { return w.power().onRadio(); };
    const auto offRadio = [](CConsoleDlg& w) -> QAbstractButton* { return w.power().offRadio(); };
    const Row rows[] = {
        {"picture before any status", true, -1, picture, on, 189},
        {"picture while on", true, 0, picture, off, 190},
        {"Power Off", true, -1, offRadio, off, 190},
        {"Power Off, port closed", false, -1, offRadio, "", 190},
        {"picture double-clicked toggles once", true, -1, picture, on, 189, true},
        {"Power On checked already, by Toggle", true, 0, onRadio, on, 189, false, "Toggle"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CConsoleDlg& w = freshWindow(row.open);
        receive(answerFrame(kBroadcast, CMD_GET_POWER, {static_cast<std::uint8_t>(row.before)}));
        if (row.doubleClick) {
            QTest::mouseClick(row.control(w), Qt::LeftButton);
            QTest::mouseDClick(row.control(w), Qt::LeftButton);
            QTest::mouseRelease(row.control(w), Qt::LeftButton);
        } else {
            activate(row.control(w), row.action);
        }
        services_.runFor(10);
        EXPECT_EQ(sent(), hexFrames(row.frame));
        EXPECT_EQ(messageTexts(), row.open ? QStringList{} : QStringList{kNotOn});
        EXPECT_EQ(w.power().iconId(), row.icon);
        EXPECT_TRUE(w.power().picture()->accessibleName().endsWith(row.icon == 189 ? "output on"
                                                                                   : "output off"));
        EXPECT_EQ(w.power().onRadio()->group()->checkedId(), row.icon == 189 ? 0 : 1);
    }
}

}  // namespace
}  // namespace krx::testing
