// SPDX-License-Identifier: MIT
// "Device Address Management" and "Notes" on real widgets, opened from the real window.
#include <QTest>
#include <fstream>

#include "address/dialogs/address_dlg.h"
#include "address/dialogs/address_notes_dlg.h"
#include "console_fixture.h"
#include "support/files.h"

namespace krx::testing {
namespace {

class AddressDialogTest : public ConsoleTest {
  protected:
    CAddressDlg& dialog() { return window().addressDialog(); }

    // "Address Setting" with `whileOpen` run on the modal dialog.
    void openAddressSetting(const std::function<void(CAddressDlg&)>& whileOpen) {
        services_.modalHook = [&](QDialog& shown) {
            whileOpen(dynamic_cast<CAddressDlg&>(shown));
            return 0;
        };
        window().addressButton()->click();
        services_.modalHook = nullptr;
    }

    std::string bookFile() const { return fileContents(bookDirectory() / "SG.ini"); }
};

// The boxes' input limits, no OK or Cancel button, only Escape closing the dialog, and "Help"
// showing the notes.
TEST_F(AddressDialogTest, BoxesAreLimitedOnlyEscapeClosesAndHelpShowsTheNotes) {
    CAddressDlg& d = dialog();
    for (std::size_t n = 0; n < kAddressEntryCount; ++n) {
        EXPECT_EQ(d.groupBoxes[n]->maxLength(), 2);
        EXPECT_EQ(d.deviceBoxes[n]->maxLength(), 2);
        EXPECT_EQ(d.descriptionBoxes[n]->maxLength(), 10);
    }
    for (QPushButton* button : d.findChildren<QPushButton*>())
        EXPECT_TRUE(button->window() != &d ||
                    (button->text() != "OK" && button->text() != "Cancel"));

    d.show();
    for (QWidget* target :
         std::initializer_list<QWidget*>{d.newGroupBox, d.descriptionBoxes[31], d.saveButton, &d})
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter})
            QTest::keyPress(target, key);
    EXPECT_TRUE(d.isVisible());
    EXPECT_TRUE(services_.messages().empty()) << "Enter pressed no button";
    QTest::keyPress(d.descriptionBoxes[0], Qt::Key_Escape);
    EXPECT_FALSE(d.isVisible());

    services_.modalHook = [](QDialog& shown) {
        static_cast<CAddressNotesDlg&>(shown).okButton->click();
        return shown.result();
    };
    d.helpButton->click();
    ASSERT_EQ(services_.modalDialogs(), std::vector<QDialog*>{d.notes});
    EXPECT_EQ(d.notes->result(), QDialog::Accepted) << "closed by its OK button";
}

TEST_F(AddressDialogTest, WriteAddressChecksBothBoxesAndThePair) {
    const char* const range =
        "Group address and device address must be from 0x01 to 0xFE, or both group address and "
        "device address are 00 to delete the address";
    const char* const notHex = "It is not hex digi !";
    struct Row {
        const char* group;
        const char* device;
        bool open;
        const char* message;  // null: none
        const char* frame;    // "": nothing sent
        const char* boxesAfter;
    };
    const Row rows[] = {
        {"01", "02", true, nullptr, "AA 00 00 07 00 00 00 01 78 01 02 D3", "01 02"},
        {"5", "06", true, nullptr, "AA 00 00 07 00 00 00 01 78 05 06 CB", "5 06"},
        {"", "", true, nullptr, "AA 00 00 07 00 00 00 01 78 00 00 D6", "00 00"},
        {"01", "5", true, notHex, "", "01 00"},
        {"G1", "02", true, notHex, "", "00 02"},
        {"00", "05", true, range, "", "00 05"},
        {"01", "02", false, "Com port is not on yet.", "", "01 02"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.group) + " / " + row.device);
        freshWindow(row.open);
        CAddressDlg& d = dialog();
        d.newGroupBox->setText(row.group);
        d.newDeviceBox->setText(row.device);
        d.writeButton->click();
        services_.runFor(10);
        EXPECT_EQ(messageTexts(), row.message ? QStringList{row.message} : QStringList{});
        EXPECT_EQ(sent(), hexFrames(row.frame));
        EXPECT_EQ(d.newGroupBox->text() + ' ' + d.newDeviceBox->text(), row.boxesAfter);
    }
}

TEST_F(AddressDialogTest, ReadAddressFillsTheOriginalBoxesAndKeepsUnsavedEdits) {
    attachGenerator(1, {0x0A, 0xB5});
    dialog().readButton->click();
    EXPECT_EQ(messageTexts(), QStringList{kNotOn});

    connect(1);
    mark(0);
    openAddressSetting([&](CAddressDlg& shown) {
        shown.descriptionBoxes[0]->setText("typed");
        shown.readButton->click();
        services_.runFor(100);
        EXPECT_EQ(sent(), hexFrames("AA 00 00 05 00 00 00 01 F8 58"));
        EXPECT_EQ(shown.originalGroupBox->text() + shown.originalDeviceBox->text(), "0ab5");
        EXPECT_EQ(shown.descriptionBoxes[0]->text(), "typed");
    });
    EXPECT_EQ(window().connection().targetAddress(), kBroadcast) << "rebuilt from item 0";

    // Another device answers while the dialog is closed: the next opening shows it.
    receive(answerFrame({0x07, 0x07}, CMD_READ_ADDRESS, {0x07, 0x08}));
    EXPECT_EQ(window().connection().targetAddress(), (TargetAddress{0x07, 0x08}));
    openAddressSetting([](CAddressDlg& shown) {
        EXPECT_EQ(shown.originalGroupBox->text() + shown.originalDeviceBox->text(), "0708");
        EXPECT_EQ(shown.descriptionBoxes[0]->text(), " ") << "the table comes from the book";
    });
    EXPECT_TRUE(services_.messages().empty());

    // An answer that comes before the dialog was ever opened is shown at its first opening.
    destroyWindow();
    receive(answerFrame({0x07, 0x07}, CMD_READ_ADDRESS, {0x0C, 0xE0}));
    openAddressSetting([](CAddressDlg& shown) {
        EXPECT_EQ(shown.originalGroupBox->text() + shown.originalDeviceBox->text(), "0ce0");
    });
}

TEST_F(AddressDialogTest, SaveRewritesTheBookAndTheListFollowsOnClose) {
    std::ofstream(bookDirectory() / "SG.ini", std::ios::binary) << "0000 0102\r\n*\r\n*dut\r\n";
    CConsoleDlg& w = window();
    w.addressSelector()->setCurrentIndex(3);
    emit w.addressSelector()->activated(3);
    ASSERT_EQ(w.connection().targetAddress(), (TargetAddress{0x01, 0x02}));

    openAddressSetting([](CAddressDlg& shown) {
        EXPECT_EQ(shown.groupBoxes[1]->text(), "01");
        EXPECT_EQ(shown.descriptionBoxes[1]->text(), "dut");
        shown.groupBoxes[0]->setText("12");
        shown.deviceBoxes[0]->setText("34");
        shown.descriptionBoxes[0]->setText("abc");
        shown.descriptionBoxes[1]->clear();
        shown.saveButton->click();
    });
    const std::string file = bookFile();
    EXPECT_EQ(file.substr(0, 15), "1234 0102 0000 ");
    EXPECT_EQ(w.addressSelector()->itemText(2), "No. 1:1234: abc");
    EXPECT_EQ(w.addressSelector()->itemText(3), "No. 2:0102:  ")
        << "a cleared description is \" \"";
    EXPECT_EQ(w.addressSelector()->currentIndex(), 3);
    EXPECT_EQ(w.connection().targetAddress(), (TargetAddress{0x01, 0x02}));

    openAddressSetting([](CAddressDlg& shown) { shown.groupBoxes[0]->setText("77"); });
    EXPECT_EQ(bookFile(), file) << "an edit without Save never reaches the file";
    EXPECT_TRUE(services_.messages().empty());
}

}  // namespace
}  // namespace krx::testing
