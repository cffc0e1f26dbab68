// SPDX-License-Identifier: MIT
#include "pages/pattern_page.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QRadioButton>

#include "framework/data_exchange.h"
#include "pages/page_host.h"

namespace krx {
namespace {
constexpr int kColumns = 4;
}

CPatternPage::CPatternPage(PageHost& host, QWidget* parent) : QWidget(parent), host_(host) {
    patternGroup = new QButtonGroup(this);
    auto* grid = new QGridLayout(this);
    for (const PatternEntry& entry : kPatternTable) {
        auto* button = new QRadioButton(
            QString::fromLatin1(entry.label.data(), static_cast<qsizetype>(entry.label.size())),
            this);
        patternGroup->addButton(button, entry.position);
        grid->addWidget(button, entry.position / kColumns, entry.position % kColumns);
    }
}

void CPatternPage::showPattern(PatternCode code) {
    selection = patternPositionOf(code).value_or(-1);
    refresh();
}

void CPatternPage::refresh() {
    DataExchange(host_.services(), this, false).radio(patternGroup, selection);
}

}  // namespace krx
