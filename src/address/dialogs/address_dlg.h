// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>

#include "address/address_book.h"

class QLineEdit;
class QPushButton;

namespace krx {

class AddressBook;
class CAddressNotesDlg;
class SerialChannel;
class WindowServices;

// "Device Address Management": reads the address of the one device on the line, gives it a new
// one, and edits and saves the 32 entries of the book. The main window builds it at its first use,
// keeps it for the rest of its life and runs it modally; the Original and New Address texts
// therefore keep their values from one opening to the next, while the table is refilled from the
// book at every opening. Enter never
// closes it (no button is a default one); Escape does. Window thread only.
class CAddressDlg final : public QDialog {
  public:
    // `portOpen` tells whether the main window's port is open; the two device requests go straight
    // to `channel`, addressed to every device (00/00).
    CAddressDlg(WindowServices& services, AddressBook& book, SerialChannel& channel,
                std::function<bool()> portOpen, QWidget* parent = nullptr);

    // The table from the book, then every member to the controls. Called at each opening.
    void fillFromBook();
    void onReadAddress();
    void onWriteAddress();
    void onSave();
    void onHelp();
    // A read-address answer: the Original Address boxes show the two bytes in lower-case hex.
    // Only those two boxes are written, so table edits not yet saved stay on the screen.
    void showOriginalAddress(std::uint8_t group, std::uint8_t device);

    // Members -> controls, and back.
    void refresh();
    void read();

    QString originalGroup;
    QString originalDevice;
    QString newGroup;
    QString newDevice;
    struct Row {
        QString group;
        QString device;
        QString description;
    };
    std::array<Row, kAddressEntryCount> rows;

    // Controls, for the tests.
    QLineEdit* originalGroupBox = nullptr;
    QLineEdit* originalDeviceBox = nullptr;
    QLineEdit* newGroupBox = nullptr;
    QLineEdit* newDeviceBox = nullptr;
    QPushButton* readButton = nullptr;
    QPushButton* writeButton = nullptr;
    QPushButton* saveButton = nullptr;
    QPushButton* helpButton = nullptr;
    std::array<QLineEdit*, kAddressEntryCount> groupBoxes{};
    std::array<QLineEdit*, kAddressEntryCount> deviceBoxes{};
    std::array<QLineEdit*, kAddressEntryCount> descriptionBoxes{};
    CAddressNotesDlg* notes = nullptr;

  private:
    void buildLayout();
    void exchange(bool save);
    void message(const QString& text);
    // A new-address box that does not parse: "00", the message, the refresh.
    void refuseNewAddress(QString& box);

    WindowServices& services_;
    AddressBook& book_;
    SerialChannel& channel_;
    std::function<bool()> portOpen_;
};

}  // namespace krx
