// SPDX-License-Identifier: MIT
#include "address/dialogs/address_notes_dlg.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace krx {
namespace {

// Cells of a table drawn with boxed labels.
QLabel* cell(const char* text, QWidget* parent) {
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->setFrameStyle(QFrame::Box | QFrame::Plain);
    label->setMargin(3);
    return label;
}

void fillTable(QGridLayout* grid, QWidget* parent, const char* const* texts, int rowCount,
               int columnCount) {
    grid->setSpacing(0);
    for (int row = 0; row < rowCount; ++row)
        for (int column = 0; column < columnCount; ++column)
            grid->addWidget(cell(texts[row * columnCount + column], parent), row, column);
}

}  // namespace

CAddressNotesDlg::CAddressNotesDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Notes"));
    auto* layout = new QVBoxLayout(this);

    static const char* const kModes[] = {
        "Group Address",
        "Machine Address",
        "Description",
        "00H",
        "00H",
        "Broadcast to all devices ( with feedback from device)",
        "FFH",
        "FFH",
        "Broadcast to all devices (without feedbavck from device)",
        "XXH",
        "00H",
        "Broadcast to the devices with the groupaddress XX (with feedback from device)",
        "XXH",
        "YYH",
        "Broadcast to the devices with the address XXYY (with feedback from device)",
    };
    auto* modes = new QGridLayout;
    fillTable(modes, this, kModes, 5, 3);
    modes->setColumnStretch(2, 1);
    layout->addLayout(modes);

    layout->addWidget(new QLabel(QStringLiteral("Invalid address mode:"), this));
    static const char* const kInvalid[] = {
        "Group Address", "Machine Address", "00H", "FFH", "FFH", "00H", "00H", "XXH", "FFH", "XXH",
    };
    auto* invalid = new QGridLayout;
    fillTable(invalid, this, kInvalid, 5, 2);
    auto* invalidRow = new QHBoxLayout;
    invalidRow->addLayout(invalid);
    invalidRow->addStretch();
    layout->addLayout(invalidRow);

    layout->addWidget(
        new QLabel(QStringLiteral("Note: X,Y stands for any hexadecimal character."), this));

    okButton = new QPushButton(QStringLiteral("OK"), this);
    okButton->setAutoDefault(false);
    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(okButton);
    buttons->addStretch();
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace krx
