// SPDX-License-Identifier: MIT
#include "pages/timing_page.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <cstdint>

#include "framework/data_exchange.h"
#include "framework/latin1.h"
#include "framework/radio_button.h"
#include "framework/window_services.h"
#include "model/timing_details.h"
#include "pages/page_host.h"
#include "pages/setting_page.h"
#include "pages/timing_details_page.h"

namespace krx {
namespace {

constexpr int kAutoDetailsWaitMs = 400;

// Columns of each frame's grid, indexed like kTimingFrameCaptions. Desktop fonts are wide, so
// the widest captions decide: two to four to a row.
constexpr std::array<int, kTimingFrameCaptions.size()> kFrameColumns = {3, 4, 3, 3, 3, 3, 3, 2};

// The longest caption a user slot can get from its record: four-digit width and height,
// interlaced, a three-digit rate. Its buttons are kept wide enough for it.
constexpr const char* kLongestUserLabel = "4096x2160i(120)";

constexpr int kFrameMargin = 4;
constexpr int kColumnSpacing = 6;

QGridLayout* compactGrid(QWidget* owner) {
    auto* grid = new QGridLayout(owner);
    grid->setContentsMargins(kFrameMargin, 0, kFrameMargin, 2);
    grid->setHorizontalSpacing(kColumnSpacing);
    grid->setVerticalSpacing(0);
    return grid;
}

}  // namespace

CTimingPage::CTimingPage(PageHost& host, QWidget* parent) : QWidget(parent), host_(host) {
    installEventFilter(&keyFilter_);
    timingGroup = new QButtonGroup(this);
    buildLayout();
    connect(timingGroup, &QButtonGroup::idClicked, this, [this](int code) { selectTiming(code); });
}

void CTimingPage::buildLayout() {
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 0);
    // The first frame surrounds the whole page and holds the VESA rows itself.
    auto* outer = new QGroupBox(latin1(kTimingFrameCaptions[0]), this);
    page->addWidget(outer);
    auto* column = new QVBoxLayout(outer);
    column->setContentsMargins(kFrameMargin, 0, kFrameMargin, 2);
    column->setSpacing(0);

    // Rows as tight as the text and the indicator allow: the page has 65 buttons to show.
    const int rowHeight = std::max(fontMetrics().height(),
                                   style()->pixelMetric(QStyle::PM_ExclusiveIndicatorHeight)) +
                          2;
    std::array<QGridLayout*, kTimingFrameCaptions.size()> grids{};
    std::array<int, kTimingFrameCaptions.size()> placed{};
    int longestUserWidth = 0;
    for (const TimingEntry& entry : kTimings) {
        const bool user = isUserTiming(entry.code);
        auto* button = new CRadioButton(outer);
        button->setMaximumHeight(rowHeight);
        timingGroup->addButton(button, entry.code);
        if (entry.frameIndex == kNoTimingFrame) {
            button->setText(latin1(entry.radioLabel));
            column->addWidget(button);
            continue;
        }
        const auto frame = static_cast<std::size_t>(entry.frameIndex);
        if (grids[frame] == nullptr) {
            if (frame == 0) {
                grids[frame] = compactGrid(nullptr);
                column->addLayout(grids[frame]);
            } else {
                auto* box = new QGroupBox(latin1(kTimingFrameCaptions[frame]), outer);
                grids[frame] = compactGrid(box);
                column->addWidget(box);
            }
        }
        const int index = placed[frame]++;
        const int columns = kFrameColumns[frame];
        const int gridRow = index / columns;
        const int gridColumn = index % columns;
        if (user) {
            // Number label "1." .. "10." before each slot; the slot keeps room for its longest
            // caption so that relabelling never cuts it.
            if (longestUserWidth == 0) {
                button->setText(QString::fromLatin1(kLongestUserLabel));
                longestUserWidth = button->sizeHint().width();
            }
            button->setMinimumWidth(longestUserWidth);
            button->setText(latin1(kUserTimingPlaceholder));
            grids[frame]->addWidget(new QLabel(QStringLiteral("%1.").arg(userSlotOf(entry.code))),
                                    gridRow, 2 * gridColumn, Qt::AlignRight);
            grids[frame]->addWidget(button, gridRow, 2 * gridColumn + 1);
        } else {
            button->setText(latin1(entry.radioLabel));
            grids[frame]->addWidget(button, gridRow, gridColumn);
        }
    }
    page->addStretch(1);
}

QRadioButton* CTimingPage::timingButton(TimingCode code) const {
    return static_cast<QRadioButton*>(timingGroup->button(code));
}

bool CTimingPage::selectTiming(TimingCode code) {
    if (!host_.takeCommandGuard()) {
        // A second selection within the guard's 50 ms (a duplicate click) is not sent. The
        // toolkit has checked the clicked button already: the radios go back to the selection,
        // which is still the timing the generator was sent.
        refresh();
        return false;
    }
    read();
    const auto payload = static_cast<std::uint8_t>(code);
    host_.sendCommandWithData(CMD_SET_TIMING, 1, &payload);
    if (code == kAutoTiming) {
        // The generator picks the timing from the display's EDID: its parameters arrive with the
        // answer to the details request, which the receiver shows.
        host_.services().sleepMs(kAutoDetailsWaitMs);
        const std::uint8_t automatic = kAutoTiming;
        host_.sendCommandWithData(CMD_GET_TIMING_DETAILS, 1, &automatic);
    } else {
        host_.timingDetailsPage().showTiming(selection);
    }
    refresh();
    applyTimingColourRule(selection);
    host_.settingPage().refresh();
    // For a user slot the text is composed from the details shown above.
    host_.statusPanel().setTimingText(code, host_.timingDetailsPage().details);
    host_.refreshMainWindow();
    return true;
}

void CTimingPage::applyTimingColourRule(TimingCode code) {
    CSettingPage& setting = host_.settingPage();
    const ColourChoice before{setting.colorSpace, setting.colorDepth};
    const ColourChoice after = coloursForTiming(code, before);
    setting.colorSpace = after.colorSpace;
    setting.colorDepth = after.colorDepth;
    // The panel shows both colours a 4K timing forces; elsewhere only a colour space it changed.
    if (is4k(code)) {
        host_.statusPanel().setOptionText(SettingOption::ColorDepth, after.colorDepth);
        host_.statusPanel().setOptionText(SettingOption::ColorSpace, after.colorSpace);
    } else if (after.colorSpace != before.colorSpace) {
        host_.statusPanel().setOptionText(SettingOption::ColorSpace, after.colorSpace);
    }
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
