// SPDX-License-Identifier: MIT
#include "pages/timing_details_page.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <variant>

#include "framework/data_exchange.h"
#include "pages/page_host.h"

namespace krx {
namespace {

struct FieldRow {
    const char* label;
    const char* unit;
    std::variant<int TimingDetails::*, float TimingDetails::*> member;
    bool editable;
};

// Reading order of the fields; the computed ones (totals and rates) are never editable.
const std::array<FieldRow, CTimingDetailsPage::kFieldCount> kFieldRows = {{
    {"H active:", "", &TimingDetails::hActive, true},
    {"H blank:", "", &TimingDetails::hBlank, true},
    {"Hs offset:", "", &TimingDetails::hSyncOffset, true},
    {"Hs width:", "", &TimingDetails::hSyncWidth, true},
    {"H total:", "", &TimingDetails::hTotal, false},
    {"V active:", "", &TimingDetails::vActive, true},
    {"V blank:", "", &TimingDetails::vBlank, true},
    {"Vs offset:", "", &TimingDetails::vSyncOffset, true},
    {"Vs width:", "", &TimingDetails::vSyncWidth, true},
    {"V total:", "", &TimingDetails::vTotal, false},
    {"Video clk:", "MHz", &TimingDetails::videoClkMHz, true},
    {"H freq:", "KHz", &TimingDetails::hFreqKHz, false},
    {"V freq:", "Hz", &TimingDetails::vFreqHz, false},
}};

QButtonGroup* radioPair(QWidget* page, QGridLayout* grid, int row, const char* title,
                        const char* first, const char* second) {
    auto* group = new QButtonGroup(page);
    grid->addWidget(new QLabel(QString::fromLatin1(title), page), row, 0);
    for (int position = 0; position < 2; ++position) {
        auto* button = new QRadioButton(QString::fromLatin1(position == 0 ? first : second), page);
        group->addButton(button, position);
        grid->addWidget(button, row, 1 + position);
    }
    return group;
}

}  // namespace

CTimingDetailsPage::CTimingDetailsPage(PageHost& host, QWidget* parent)
    : QWidget(parent), host_(host) {
    installEventFilter(&keyFilter_);
    auto* grid = new QGridLayout(this);
    for (std::size_t i = 0; i < kFieldRows.size(); ++i) {
        const FieldRow& row = kFieldRows[i];
        const int line = static_cast<int>(i);
        auto* label = new QLabel(QString::fromLatin1(row.label), this);
        fields[i] = new QLineEdit(this);
        fields[i]->setReadOnly(!row.editable);
        label->setBuddy(fields[i]);
        grid->addWidget(label, line, 0);
        grid->addWidget(fields[i], line, 1);
        grid->addWidget(new QLabel(QString::fromLatin1(row.unit), this), line, 2);
    }
    const int next = static_cast<int>(kFieldRows.size());
    scanTypeGroup = radioPair(this, grid, next, "Scan type", "Progressive", "Interlace");
    hSyncGroup = radioPair(this, grid, next + 1, "Hsync:", "+", "-");
    vSyncGroup = radioPair(this, grid, next + 2, "Vsync:", "+", "-");
}

void CTimingDetailsPage::showTiming(TimingCode code) {
    details = timingDetailsFor(code, host_.currentTiming(), host_.userTimings());
    applyLock();
    refresh();
}

void CTimingDetailsPage::applyLock() {
    for (std::size_t i = 0; i < kFieldRows.size(); ++i)
        fields[i]->setReadOnly(!kFieldRows[i].editable || details.locked);
    for (QButtonGroup* group : {scanTypeGroup, hSyncGroup, vSyncGroup})
        for (QAbstractButton* button : group->buttons())
            button->setEnabled(!details.locked);
}

void CTimingDetailsPage::exchange(bool save) {
    DataExchange dx(host_.services(), this, save);
    // Integer fields first, then the radios, then the floats: the order a reading stops in.
    for (std::size_t i = 0; i < kFieldRows.size(); ++i)
        if (const auto* member = std::get_if<int TimingDetails::*>(&kFieldRows[i].member))
            dx.intField(fields[i], details.*(*member));
    dx.radio(hSyncGroup, details.hSyncPolarity);
    dx.radio(scanTypeGroup, details.scanType);
    dx.radio(vSyncGroup, details.vSyncPolarity);
    for (std::size_t i = 0; i < kFieldRows.size(); ++i)
        if (const auto* member = std::get_if<float TimingDetails::*>(&kFieldRows[i].member))
            dx.floatField(fields[i], details.*(*member));
}

void CTimingDetailsPage::refresh() {
    exchange(false);
}

void CTimingDetailsPage::read() {
    exchange(true);
}

}  // namespace krx
