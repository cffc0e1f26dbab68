// SPDX-License-Identifier: MIT
#include "pages/timing_page.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QRadioButton>

#include "framework/data_exchange.h"
#include "pages/page_host.h"
#include "pages/tables/timing_details.h"
#include "pages/timing_details_page.h"

namespace krx {
namespace {
constexpr int kColumns = 5;

QString latin1(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

CTimingPage::CTimingPage(PageHost& host, QWidget* parent) : QWidget(parent), host_(host) {
    installEventFilter(&keyFilter_);
    timingGroup = new QButtonGroup(this);
    auto* grid = new QGridLayout(this);
    // Positions equal codes: the button of a code is the group's button with that id.
    for (const TimingEntry& entry : kTimings) {
        auto* button = new QRadioButton(
            latin1(isUserTiming(entry.code) ? kUserTimingPlaceholder : entry.radioLabel), this);
        timingGroup->addButton(button, entry.code);
        grid->addWidget(button, entry.code / kColumns, entry.code % kColumns);
    }
}

QRadioButton* CTimingPage::timingButton(TimingCode code) const {
    return static_cast<QRadioButton*>(timingGroup->button(code));
}

void CTimingPage::refreshFromStatus(const DeviceStatus& status) {
    const auto records = host_.userTimings();
    for (int slot = 1; slot <= static_cast<int>(kUserTimingSlots); ++slot)
        setUserTimingLabel(slot, QString::fromStdString(formatUserTimingLabel(
                                     records[static_cast<std::size_t>(slot - 1)])));
    selection = status.timingCode;
    host_.timingDetailsPage().showTiming(selection);
}

void CTimingPage::setUserTimingLabel(int slot, const QString& text) {
    if (slot < 1 || slot > static_cast<int>(kUserTimingSlots))
        return;
    timingButton(userTimingCode(slot))->setText(text);
}

void CTimingPage::refresh() {
    DataExchange(host_.services(), this, false).radio(timingGroup, selection);
}

void CTimingPage::read() {
    DataExchange(host_.services(), this, true).radio(timingGroup, selection);
}

}  // namespace krx
