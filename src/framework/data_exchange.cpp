// SPDX-License-Identifier: MIT
#include "framework/data_exchange.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <cmath>
#include <cstdio>

#include "framework/window_services.h"

namespace krx {

QString formatFloat6(float value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*g", 6, static_cast<double>(value));
    return QString::fromLatin1(buffer);
}

void DataExchange::fail(QLineEdit* control, const char* message) {
    ok_ = false;
    services_.showMessage(owner_, QString::fromLatin1(message));
    control->setFocus();
    control->selectAll();
}

void DataExchange::text(QLabel* control, QString& value) {
    if (!ok_)
        return;
    if (save_)
        value = control->text();
    else
        control->setText(value);
}

void DataExchange::text(QLineEdit* control, QString& value) {
    if (!ok_)
        return;
    if (save_)
        value = control->text();
    else
        control->setText(value);
}

void DataExchange::radio(QButtonGroup* group, int& position) {
    if (!ok_)
        return;
    if (save_) {
        position = group->checkedId();
        if (position < -1)
            position = -1;
        return;
    }
    QAbstractButton* wanted = group->button(position);
    const bool exclusive = group->exclusive();
    group->setExclusive(false);  // lets every button go unchecked for position -1
    for (QAbstractButton* button : group->buttons())
        button->setChecked(button == wanted);
    group->setExclusive(exclusive);
}

void DataExchange::comboIndex(QComboBox* control, int& index) {
    if (!ok_)
        return;
    if (save_)
        index = control->currentIndex();
    else
        control->setCurrentIndex(index);
}

void DataExchange::intField(QLineEdit* control, int& value) {
    if (!ok_)
        return;
    if (!save_) {
        control->setText(QString::number(value));
        return;
    }
    bool parsed = false;
    const int read = control->text().trimmed().toInt(&parsed);
    if (!parsed)
        return fail(control, "Please enter an integer.");
    value = read;
}

void DataExchange::floatField(QLineEdit* control, float& value) {
    if (!ok_)
        return;
    if (!save_) {
        control->setText(formatFloat6(value));
        return;
    }
    bool parsed = false;
    const double read = control->text().trimmed().toDouble(&parsed);
    if (!parsed || !std::isfinite(read) || std::fabs(read) > 3.4e38)
        return fail(control, "Please enter a number.");
    value = static_cast<float>(read);
}

}  // namespace krx
