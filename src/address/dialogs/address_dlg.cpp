// SPDX-License-Identifier: MIT
#include "address/dialogs/address_dlg.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "address/dialogs/address_notes_dlg.h"
#include "address/hex_text.h"
#include "framework/data_exchange.h"
#include "framework/latin1.h"
#include "framework/window_services.h"
#include "link/command_frame.h"
#include "link/serial_channel.h"

namespace krx {
namespace {

constexpr int kHexBoxLength = 2;
constexpr int kHalfRows = 16;
constexpr TargetAddress kEveryDevice{0x00, 0x00};

// The book holds one byte per character, as SG.ini does.
std::string latin1(const QString& text) {
    return text.toLatin1().toStdString();
}

// "%2x" with its leading blank turned into "0": two lower-case digits.
QString lowerHexByte(std::uint8_t byte) {
    return QString::asprintf("%2x", static_cast<unsigned>(byte))
        .replace(QLatin1Char(' '), QLatin1Char('0'));
}

QPushButton* button(const char* text, QWidget* parent) {
    auto* b = new QPushButton(QString::fromLatin1(text), parent);
    b->setAutoDefault(false);
    b->setDefault(false);
    return b;
}

QLineEdit* hexBox(QWidget* parent, const QString& accessibleName) {
    auto* box = new QLineEdit(parent);
    box->setAccessibleName(accessibleName);
    box->setFixedWidth(box->fontMetrics().horizontalAdvance(QStringLiteral("WWWW")));
    return box;
}

}  // namespace

CAddressDlg::CAddressDlg(WindowServices& services, AddressBook& book, SerialChannel& channel,
                         std::function<bool()> portOpen, QWidget* parent)
    : QDialog(parent),
      services_(services),
      book_(book),
      channel_(channel),
      portOpen_(std::move(portOpen)) {
    setWindowTitle(QStringLiteral("Device Address Management"));
    notes = new CAddressNotesDlg(this);
    buildLayout();
}

void CAddressDlg::buildLayout() {
    auto* layout = new QVBoxLayout(this);

    // One frame per address pair: two labelled boxes over a button.
    auto addressFrame = [this](const char* title, const char* groupName, const char* deviceName,
                               QLineEdit*& groupBox, QLineEdit*& deviceBox, const char* action) {
        auto* frame = new QGroupBox(QString::fromLatin1(title), this);
        auto* grid = new QGridLayout(frame);
        auto* groupLabel = new QLabel(QStringLiteral("Group Address:"), frame);
        auto* deviceLabel = new QLabel(QStringLiteral("Device Address:"), frame);
        groupBox = hexBox(frame, QString::fromLatin1(groupName));
        deviceBox = hexBox(frame, QString::fromLatin1(deviceName));
        groupLabel->setBuddy(groupBox);
        deviceLabel->setBuddy(deviceBox);
        grid->addWidget(groupLabel, 0, 0);
        grid->addWidget(groupBox, 0, 1);
        grid->addWidget(deviceLabel, 1, 0);
        grid->addWidget(deviceBox, 1, 1);
        QPushButton* actionButton = button(action, frame);
        grid->addWidget(actionButton, 2, 0, 1, 2);
        return std::pair{frame, actionButton};
    };
    auto [original, read] =
        addressFrame("Original Address", "Original group address", "Original device address",
                     originalGroupBox, originalDeviceBox, "Read Address from device");
    auto [fresh, write] = addressFrame("New Address", "New group address", "New device address",
                                       newGroupBox, newDeviceBox, "Write Address to device");
    readButton = read;
    writeButton = write;
    // What was read is shown, not typed.
    originalGroupBox->setReadOnly(true);
    originalDeviceBox->setReadOnly(true);
    connect(readButton, &QPushButton::clicked, this, [this] { onReadAddress(); });
    connect(writeButton, &QPushButton::clicked, this, [this] { onWriteAddress(); });
    auto* frames = new QHBoxLayout;
    frames->addWidget(original);
    frames->addWidget(fresh);
    layout->addLayout(frames);
    layout->addWidget(new QLabel(
        QStringLiteral(
            "Note: When read or write address, there should be only one device is connected."),
        this));

    saveButton = button("Save", this);
    helpButton = button("Help", this);
    connect(saveButton, &QPushButton::clicked, this, [this] { onSave(); });
    connect(helpButton, &QPushButton::clicked, this, [this] { onHelp(); });
    auto* saveNote = new QLabel(QStringLiteral("Note: Please save the setting before you close the "
                                               "address mangerment dialog. Otherwise the data will "
                                               "be ignored."),
                                this);
    saveNote->setWordWrap(true);
    auto* commands = new QHBoxLayout;
    commands->addWidget(saveButton);
    commands->addWidget(helpButton);
    commands->addWidget(saveNote, 1);
    layout->addLayout(commands);

    // The table in two halves side by side, rows 1..16 and 17..32.
    auto* table = new QGroupBox(QStringLiteral("Address Table ( Every edit box is 2 hex digital "
                                               "mode,max number of char in Description is 10)"),
                                this);
    auto* halves = new QHBoxLayout(table);
    // One byte per character, and nothing that would end the description's line in SG.ini.
    const QRegularExpression descriptionText(
        QStringLiteral("[\\x{01}-\\x{09}\\x{0B}\\x{0C}\\x{0E}-\\x{FF}]*"));
    for (int half = 0; half < 2; ++half) {
        auto* grid = new QGridLayout;
        int column = 0;
        for (const char* head : {"Index", "Group\nAddress", "Device\nAddress", "Description"})
            grid->addWidget(new QLabel(QString::fromLatin1(head), table), 0, column++,
                            Qt::AlignHCenter | Qt::AlignBottom);
        for (int i = 0; i < kHalfRows; ++i) {
            const int n = half * kHalfRows + i;
            const QString number = QString::number(n + 1);
            auto* rowLabel = new QLabel(number + QLatin1Char(':'), table);
            QLineEdit* group = hexBox(table, QStringLiteral("Group address ") + number);
            QLineEdit* device = hexBox(table, QStringLiteral("Device address ") + number);
            auto* description = new QLineEdit(table);
            group->setMaxLength(kHexBoxLength);
            device->setMaxLength(kHexBoxLength);
            description->setMaxLength(static_cast<int>(kDescriptionLength));
            description->setValidator(
                new QRegularExpressionValidator(descriptionText, description));
            description->setAccessibleName(QStringLiteral("Description ") + number);
            rowLabel->setBuddy(group);
            grid->addWidget(rowLabel, i + 1, 0, Qt::AlignRight);
            grid->addWidget(group, i + 1, 1);
            grid->addWidget(device, i + 1, 2);
            grid->addWidget(description, i + 1, 3);
            groupBoxes[static_cast<std::size_t>(n)] = group;
            deviceBoxes[static_cast<std::size_t>(n)] = device;
            descriptionBoxes[static_cast<std::size_t>(n)] = description;
        }
        halves->addLayout(grid);
    }
    layout->addWidget(table);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CAddressDlg::exchange(bool save) {
    DataExchange dx(services_, this, save);
    dx.text(originalGroupBox, originalGroup);
    dx.text(originalDeviceBox, originalDevice);
    dx.text(newGroupBox, newGroup);
    dx.text(newDeviceBox, newDevice);
    for (std::size_t n = 0; n < kAddressEntryCount; ++n) {
        dx.text(groupBoxes[n], rows[n].group);
        dx.text(deviceBoxes[n], rows[n].device);
        dx.text(descriptionBoxes[n], rows[n].description);
    }
}

void CAddressDlg::refresh() {
    exchange(false);
}

void CAddressDlg::read() {
    exchange(true);
}

void CAddressDlg::message(const QString& text) {
    services_.showMessage(this, text);
}

void CAddressDlg::fillFromBook() {
    for (std::size_t n = 0; n < kAddressEntryCount; ++n) {
        const AddressEntry& entry = book_.entries[n];
        rows[n].group = latin1(formatHex2(entry.group()));
        rows[n].device = latin1(formatHex2(entry.device()));
        rows[n].description = latin1(entry.description);
    }
    refresh();
}

void CAddressDlg::showOriginalAddress(std::uint8_t group, std::uint8_t device) {
    originalGroup = lowerHexByte(group);
    originalDevice = lowerHexByte(device);
    DataExchange dx(services_, this, false);
    dx.text(originalGroupBox, originalGroup);
    dx.text(originalDeviceBox, originalDevice);
}

void CAddressDlg::onReadAddress() {
    if (!portOpen_()) {
        message(latin1(kPortNotOnMessage));
        return;
    }
    if (const auto frame = buildFrame(kEveryDevice.group, kEveryDevice.device, CMD_READ_ADDRESS))
        channel_.queueWrite(frame->view());
}

void CAddressDlg::refuseNewAddress(QString& box) {
    box = QStringLiteral("00");
    message(QStringLiteral("It is not hex digi !"));
    refresh();
}

void CAddressDlg::onWriteAddress() {
    read();
    if (newGroup.isEmpty())
        newGroup = QStringLiteral("00");
    std::uint8_t group = 0;
    if (!parseHexByte(latin1(newGroup), group))
        return refuseNewAddress(newGroup);
    if (newDevice.isEmpty())
        newDevice = QStringLiteral("00");
    // The device box takes digit pairs only: a lone digit is refused here, unlike the group box.
    const std::vector<std::uint8_t> device = parseHexBytes(latin1(newDevice));
    if (device.size() != 1)
        return refuseNewAddress(newDevice);
    if (!isWritableAddressPair(group, device[0])) {
        message(latin1(kAddressPairMessage));
        return;
    }
    if (!portOpen_()) {
        message(latin1(kPortNotOnMessage));
        return;
    }
    const std::uint8_t payload[] = {group, device[0]};
    if (const auto frame =
            buildFrame(kEveryDevice.group, kEveryDevice.device, CMD_WRITE_ADDRESS, payload))
        channel_.queueWrite(frame->view());
    refresh();
}

void CAddressDlg::onSave() {
    read();
    std::array<AddressTableRow, kAddressEntryCount> table;
    for (std::size_t n = 0; n < kAddressEntryCount; ++n)
        table[n] = {latin1(rows[n].group), latin1(rows[n].device), latin1(rows[n].description)};
    if (const auto tooLong = storeAddressTable(book_.entries, table)) {
        message(QString::fromStdString(tooLongRowMessage(*tooLong)));
        return;
    }
    for (std::size_t n = 0; n < kAddressEntryCount; ++n)
        rows[n].description = latin1(table[n].description);
    // A failed save names the file, whose path is in the system's encoding.
    for (const std::string& text : book_.save())
        message(QString::fromLocal8Bit(text));
}

void CAddressDlg::onHelp() {
    services_.runModal(*notes);
}

}  // namespace krx
