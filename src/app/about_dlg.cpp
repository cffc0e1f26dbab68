// SPDX-License-Identifier: MIT
#include "app/about_dlg.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "icons.h"

namespace krx {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About KRX-VTP-SG"));
    auto* icon = new QLabel(this);
    icon->setPixmap(QIcon(iconResource(128)).pixmap(32, 32));
    icon->setAccessibleDescription(QStringLiteral("Application icon"));
    auto* text = new QLabel(QStringLiteral("HDMI2.0 signal generator V1.0"), this);
    okButton = new QPushButton(QStringLiteral("OK"), this);
    okButton->setDefault(true);
    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);
    auto* row = new QHBoxLayout;
    row->addWidget(icon);
    row->addWidget(text, 1);
    row->addWidget(okButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    setFixedSize(sizeHint());
}

}  // namespace krx
