// SPDX-License-Identifier: MIT
#include "app/power_control.h"

#include <QButtonGroup>
#include <cstdint>

#include "app/layout_kit.h"
#include "framework/data_exchange.h"
#include "framework/radio_button.h"
#include "pages/page_host.h"

namespace krx {

void CPowerControl::build(QWidget* window, const DialogUnits& du) {
    QGroupBox* output = makeGroup("Signal Ouput", window, du.rect(7, 4, 113, 44));
    onRadio_ = new CRadioButton(QStringLiteral("Power On"), output);
    onRadio_->setGeometry(du.rect(8, 12, 60, 11));
    offRadio_ = new CRadioButton(QStringLiteral("Power Off"), output);
    offRadio_->setGeometry(du.rect(8, 27, 60, 11));
    group_ = new QButtonGroup(window);
    group_->addButton(onRadio_, 0);
    group_->addButton(offRadio_, 1);
    picture_ = makePictureButton(du, output, "Power picture", du.rect(78, 14, 24, 22));
    QObject::connect(onRadio_, &QRadioButton::clicked, window,
                     [this] { onRadioClicked(kPowerOnIcon); });
    QObject::connect(offRadio_, &QRadioButton::clicked, window,
                     [this] { onRadioClicked(kPowerOffIcon); });
    QObject::connect(picture_, &QToolButton::clicked, window, [this] { onPictureClicked(); });
    setPicture(kPowerOffIcon);  // the window shows the output off until a state is known
}

void CPowerControl::show(int power) {
    selection_ = power;
    setPicture(power == 0 ? kPowerOnIcon : kPowerOffIcon);
}

void CPowerControl::refresh() {
    DataExchange(services_, picture_->window(), false).radio(group_, selection_);
}

void CPowerControl::read() {
    DataExchange(services_, picture_->window(), true).radio(group_, selection_);
}

void CPowerControl::send() {
    const auto power = static_cast<std::uint8_t>(selection_);
    link_.sendCommandWithData(CMD_SET_POWER, 1, &power);
}

void CPowerControl::onRadioClicked(int iconId) {
    read();
    send();
    setPicture(iconId);
}

void CPowerControl::onPictureClicked() {
    read();
    if (selection_ == 0) {
        setPicture(kPowerOffIcon);
        selection_ = 1;
    } else {
        setPicture(kPowerOnIcon);
        selection_ = 0;
    }
    send();
    refresh();
}

void CPowerControl::setPicture(int id) {
    iconId_ = id;
    picture_->setIcon(iconFor(id));
    const QString state = id == kPowerOnIcon ? QStringLiteral("Power picture: output on")
                                             : QStringLiteral("Power picture: output off");
    picture_->setAccessibleName(state);
    picture_->setToolTip(state);
}

}  // namespace krx
