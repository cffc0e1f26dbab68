// SPDX-License-Identifier: MIT
// "Device Address Management" and "Notes" on real widgets, opened from the real window.
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <fstream>
#include <iterator>

#include "address/dialogs/address_dlg.h"
#include "address/dialogs/address_notes_dlg.h"
#include "console_fixture.h"

namespace krx::testing {
namespace {

using namespace std::string_literals;

class AddressDialogTest : public ConsoleTest {
  protected:
    CAddressDlg& dialog() { return window().addressDialog(); }

    // "Address Setting" with `whileOpen` run on the modal dialog.
    void openAddressSetting(const std::function<void(CAddressDlg&)>& whileOpen) {
        services.modalHook = [&](QDialog& shown) {
            if (auto* address = dynamic_cast<CAddressDlg*>(&shown))
                whileOpen(*address);
            return 0;
        };
        window().addressButton()->click();
        services.modalHook = nullptr;
    }

    std::string bookFile() const {
        std::ifstream in(bookDirectory() / "SG.ini", std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
};

void pressKey(QWidget* target, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
}

TEST_F(AddressDialogTest, BoxesAreNamedAndLimitedAndOnlyEscapeCloses) {
    CAddressDlg& d = dialog();
    EXPECT_EQ(d.windowTitle(), "Device Address Management");
    const std::vector<std::pair<QLineEdit*, QString>> named = {
        {d.originalGroupBox, "Original group address"},
        {d.originalDeviceBox, "Original device address"},
        {d.newGroupBox, "New group address"},
        {d.newDeviceBox, "New device address"}};
    for (const auto& [box, name] : named)
        EXPECT_EQ(box->accessibleName(), name);
    for (std::size_t n = 0; n < kAddressEntryCount; ++n) {
        const QString number = QString::number(n + 1);
        EXPECT_EQ(d.groupBoxes[n]->accessibleName(), "Group address " + number);
        EXPECT_EQ(d.deviceBoxes[n]->accessibleName(), "Device address " + number);
        EXPECT_EQ(d.descriptionBoxes[n]->accessibleName(), "Description " + number);
        EXPECT_EQ(d.groupBoxes[n]->maxLength(), 2);
        EXPECT_EQ(d.deviceBoxes[n]->maxLength(), 2);
        EXPECT_EQ(d.descriptionBoxes[n]->maxLength(), 10);
    }
    for (QPushButton* button : d.findChildren<QPushButton*>()) {
        if (button->window() == &d) {
            EXPECT_FALSE(button->text() == "OK" || button->text() == "Cancel");
        }
    }

    d.show();
    for (QWidget* target :
         std::initializer_list<QWidget*>{d.newGroupBox, d.descriptionBoxes[31], d.saveButton, &d})
        for (int key : {Qt::Key_Return, Qt::Key_Enter})
            pressKey(target, key);
    EXPECT_TRUE(d.isVisible());
    EXPECT_TRUE(services.messages().empty()) << "Enter pressed no button";
    pressKey(d.descriptionBoxes[0], Qt::Key_Escape);
    EXPECT_FALSE(d.isVisible());
}

TEST_F(AddressDialogTest, WriteAddressChecksBothBoxesAndThePair) {
    const QString range =
        "Group address and device address must be from 0x01 to 0xFE, or both group address and "
        "device address are 00 to delete the address";
    struct Row {
        const char* name;
        const char* group;
        const char* device;
        bool open;
        QString message;
        const char* frame;
        QStringList boxesAfter;
    };
    const char* const notHex = "It is not hex digi !";
    const Row rows[] = {
        {"01 / 02", "01", "02", true, {}, "AA 00 00 07 00 00 00 01 78 01 02 D3", {"01", "02"}},
        {"group 5", "5", "06", true, {}, "AA 00 00 07 00 00 00 01 78 05 06 CB", {"5", "06"}},
        {"both empty", "", "", true, {}, "AA 00 00 07 00 00 00 01 78 00 00 D6", {"00", "00"}},
        {"device 5 refused", "01", "5", true, notHex, "", {"01", "00"}},
        {"group G1 refused", "G1", "02", true, notHex, "", {"00", "02"}},
        {"00 / 05", "00", "05", true, range, "", {"00", "05"}},
        {"05 / 00", "05", "00", true, range, "", {"05", "00"}},
        {"FF / 01", "FF", "01", true, range, "", {"FF", "01"}},
        {"01 / FF", "01", "FF", true, range, "", {"01", "FF"}},
        {"port closed", "01", "02", false, "Com port is not on yet.", "", {"01", "02"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        destroyWindow();
        services.clearMessages();
        attachGenerator(1);
        if (row.open)
            connect(1);
        const std::size_t before = channel.writes().size();
        CAddressDlg& d = dialog();
        d.newGroupBox->setText(row.group);
        d.newDeviceBox->setText(row.device);
        d.writeButton->click();
        services.runFor(10);
        EXPECT_EQ(messageTexts(), row.message.isEmpty() ? QStringList{} : QStringList{row.message});
        EXPECT_EQ(writtenSince(before), hexFrames(row.frame));
        EXPECT_EQ((QStringList{d.newGroupBox->text(), d.newDeviceBox->text()}), row.boxesAfter);
    }
}

TEST_F(AddressDialogTest, ReadAddressFillsTheOriginalBoxesAndKeepsUnsavedEdits) {
    attachGenerator(1, {0x0A, 0xB5});
    CAddressDlg& d = dialog();
    d.readButton->click();
    EXPECT_EQ(messageTexts(), QStringList{"Com port is not on yet."});
    EXPECT_TRUE(channel.writes().empty());

    connect(1);
    services.clearMessages();
    openAddressSetting([&](CAddressDlg& shown) {
        shown.descriptionBoxes[0]->setText("typed");
        const std::size_t before = channel.writes().size();
        shown.readButton->click();
        services.runFor(100);
        EXPECT_EQ(writtenSince(before), hexFrames("AA 00 00 05 00 00 00 01 F8 58"));
        EXPECT_EQ(shown.originalGroupBox->text(), "0a");
        EXPECT_EQ(shown.originalDeviceBox->text(), "b5");
        EXPECT_EQ(shown.descriptionBoxes[0]->text(), "typed");
    });
    EXPECT_EQ(window().connection().targetAddress(), (TargetAddress{0x00, 0x00}))
        << "rebuilt from item 0";

    // Another device answers while the dialog is closed: the next opening shows it.
    receive(answerFrame({0x07, 0x07}, CMD_READ_ADDRESS, {0x07, 0x08}));
    EXPECT_EQ(window().connection().targetAddress(), (TargetAddress{0x07, 0x08}));
    openAddressSetting([](CAddressDlg& shown) {
        EXPECT_EQ(shown.originalGroupBox->text(), "07");
        EXPECT_EQ(shown.originalDeviceBox->text(), "08");
        EXPECT_EQ(shown.descriptionBoxes[0]->text(), " ") << "the table comes from the book";
    });
    EXPECT_TRUE(services.messages().empty());

    // An answer that comes before the dialog was ever opened is shown at its first opening.
    destroyWindow();
    receive(answerFrame({0x07, 0x07}, CMD_READ_ADDRESS, {0x0C, 0xE0}));
    openAddressSetting([](CAddressDlg& shown) {
        EXPECT_EQ(shown.originalGroupBox->text(), "0c");
        EXPECT_EQ(shown.originalDeviceBox->text(), "e0");
    });
}

TEST_F(AddressDialogTest, SaveRewritesTheBookAndTheListFollowsOnClose) {
    {
        std::ofstream out(bookDirectory() / "SG.ini", std::ios::binary);
        out << "0000 0102\r\n*\r\n*dut\r\n";
    }
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
    EXPECT_EQ(file.substr(160, 15), "\r\n*abc\0\r\n* \0\r\n*"s);
    EXPECT_EQ(w.addressSelector()->itemText(2), "No. 1:1234: abc");
    EXPECT_EQ(w.addressSelector()->itemText(3), "No. 2:0102:  ");
    EXPECT_EQ(w.addressSelector()->currentIndex(), 3);
    EXPECT_EQ(w.connection().targetAddress(), (TargetAddress{0x01, 0x02}));

    openAddressSetting([](CAddressDlg& shown) { shown.groupBoxes[0]->setText("77"); });
    EXPECT_EQ(bookFile(), file) << "an edit without Save never reaches the file";
    EXPECT_TRUE(services.messages().empty());
}

TEST_F(AddressDialogTest, HelpShowsTheNotesClosedByOk) {
    services.modalHook = [](QDialog& shown) {
        static_cast<CAddressNotesDlg&>(shown).okButton->click();
        return shown.result();
    };
    dialog().helpButton->click();
    ASSERT_EQ(services.modalDialogs(), std::vector<QDialog*>{dialog().notes});
    EXPECT_EQ(dialog().notes->windowTitle(), "Notes");
    EXPECT_EQ(dialog().notes->result(), QDialog::Accepted);
    QStringList texts;
    for (QLabel* label : dialog().notes->findChildren<QLabel*>())
        texts << label->text();
    EXPECT_TRUE(texts.contains("Broadcast to all devices (without feedbavck from device)"));
    EXPECT_TRUE(texts.contains("Note: X,Y stands for any hexadecimal character."));
}

}  // namespace
}  // namespace krx::testing
