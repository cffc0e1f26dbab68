// SPDX-License-Identifier: MIT
#include "pages/timing_details_page.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <numeric>
#include <utility>
#include <variant>

#include "framework/data_exchange.h"
#include "framework/latin1.h"
#include "framework/radio_button.h"
#include "framework/window_services.h"
#include "icons.h"
#include "ops/user_timing_op.h"
#include "pages/page_host.h"
#include "pages/page_ops_line.h"
#include "pages/picture_view.h"
#include "pages/timing_diagram_view.h"
#include "pages/timing_page.h"

namespace krx {
namespace {

constexpr int kSlotCount = static_cast<int>(kUserTimingSlots);

// Where each of kTimingDetailFields stands: column 0 the clock and rates, 1 the horizontal,
// 2 the vertical values.
struct FieldPlace {
    int column;
    int row;
};

const std::array<FieldPlace, kTimingDetailFieldCount> kFieldPlaces = {{
    {1, 0},  // H active
    {1, 2},  // H blank
    {1, 3},  // Hs offset
    {1, 4},  // Hs width
    {1, 1},  // H total
    {2, 0},  // V active
    {2, 2},  // V blank
    {2, 3},  // Vs offset
    {2, 4},  // Vs width
    {2, 1},  // V total
    {0, 0},  // Video clk
    {0, 1},  // H freq
    {0, 2},  // V freq
}};

// Two radio buttons at (row, column) and the next cell across, or down when `stacked`.
QButtonGroup* radioPair(QWidget* page, QGridLayout* grid, int row, int column,
                        const std::array<std::string_view, 2>& labels, bool stacked = false) {
    auto* group = new QButtonGroup(page);
    for (int position = 0; position < 2; ++position) {
        auto* button = new CRadioButton(latin1(labels[static_cast<std::size_t>(position)]), page);
        group->addButton(button, position);
        grid->addWidget(button, stacked ? row + position : row,
                        stacked ? column : column + position);
    }
    return group;
}

}  // namespace

CTimingDetailsPage::CTimingDetailsPage(PageHost& host, QWidget* parent)
    : CLazyPage(parent), host_(host) {
    installEventFilter(&keyFilter_);
    // The fields show their zeros from the start, so a save before any timing was shown reads
    // them without a parse complaint.
    refresh();
}

void CTimingDetailsPage::buildWidgets() {
    buildLayout();
    exchange(shown_, false);
    writeLock();
    connect(saveButton, &QPushButton::clicked, this, [this] { onSaveUserTiming(); });
    connect(updateButton, &QPushButton::clicked, this, [this] { onUpdateStatus(); });
    for (QLineEdit* field : fields)
        connect(field, &QLineEdit::textChanged, this, [this] { updateDiagrams(); });
    for (QButtonGroup* group : {scanTypeGroup, hSyncGroup, vSyncGroup})
        connect(group, &QButtonGroup::idToggled, this, [this] { updateDiagrams(); });
    updateDiagrams();
}

void CTimingDetailsPage::buildLayout() {
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(4, 4, 4, 4);
    page->setSpacing(4);

    // The thirteen fields in three columns of label, field and unit.
    auto* fieldGrid = new QGridLayout;
    fieldGrid->setHorizontalSpacing(4);
    fieldGrid->setVerticalSpacing(2);
    page->addLayout(fieldGrid);
    for (std::size_t i = 0; i < kTimingDetailFields.size(); ++i) {
        const TimingDetailField& field = kTimingDetailFields[i];
        const FieldPlace place = kFieldPlaces[i];
        auto* label = new QLabel(latin1(field.label), this);
        fields[i] = new QLineEdit(this);
        fields[i]->setReadOnly(!field.editable);
        label->setBuddy(fields[i]);
        fieldGrid->addWidget(label, place.row, 3 * place.column);
        fieldGrid->addWidget(fields[i], place.row, 3 * place.column + 1);
        if (!field.unit.empty())
            fieldGrid->addWidget(new QLabel(latin1(field.unit), this), place.row,
                                 3 * place.column + 2);
    }
    for (int column = 0; column < 3; ++column)
        fieldGrid->setColumnStretch(3 * column + 1, 1);
    // Tab goes down each column of fields in turn, as they stand on screen.
    std::array<std::size_t, kFieldCount> screenOrder{};
    std::iota(screenOrder.begin(), screenOrder.end(), std::size_t{0});
    std::ranges::sort(screenOrder, {}, [](std::size_t i) {
        return std::pair(kFieldPlaces[i].column, kFieldPlaces[i].row);
    });
    for (std::size_t i = 1; i < screenOrder.size(); ++i)
        setTabOrder(fields[screenOrder[i - 1]], fields[screenOrder[i]]);

    auto* controls = new QHBoxLayout;
    page->addLayout(controls);
    auto* scan = new QGroupBox(QStringLiteral("Scan type"), this);
    auto* scanGrid = new QGridLayout(scan);
    scanTypeGroup = radioPair(this, scanGrid, 0, 0, kScanTypeLabels, true);
    controls->addWidget(scan, 0, Qt::AlignTop);

    // The two pictures head the "+" and the "-" column.
    auto* polarity = new QGroupBox(QStringLiteral("Sync polarity"), this);
    auto* polarityGrid = new QGridLayout(polarity);
    polarityGrid->setVerticalSpacing(0);
    const QSize iconSize(fontMetrics().height() + 4, fontMetrics().height() + 4);
    const std::pair<int, const char*> pictures[] = {{135, "Positive sync pulse (+)"},
                                                    {136, "Negative sync pulse (-)"}};
    for (int column = 1; const auto& [id, description] : pictures) {
        auto* picture =
            new CPictureView(iconResource(id), QString::fromLatin1(description), iconSize, this);
        picture->setFixedSize(iconSize);
        polarityGrid->addWidget(picture, 0, column++, Qt::AlignLeft);
    }
    polarityGrid->addWidget(new QLabel(QStringLiteral("Hsync:"), this), 1, 0);
    hSyncGroup = radioPair(this, polarityGrid, 1, 1, kSyncPolarityLabels);
    polarityGrid->addWidget(new QLabel(QStringLiteral("Vsync:"), this), 2, 0);
    vSyncGroup = radioPair(this, polarityGrid, 2, 1, kSyncPolarityLabels);
    controls->addWidget(polarity, 0, Qt::AlignTop);

    auto* actions = new QGridLayout;
    controls->addLayout(actions, 1);
    saveButton = new QPushButton(QStringLiteral("Save to Userdefine Timing"), this);
    saveButton->setAutoDefault(false);
    actions->addWidget(saveButton, 0, 0, 1, 2);
    auto* slotLabel = new QLabel(QStringLiteral("No."), this);
    slotList = new QComboBox(this);
    for (int slot = 1; slot <= kSlotCount; ++slot)
        slotList->addItem(QStringLiteral("User Define %1").arg(slot));
    slotList->setCurrentIndex(-1);
    slotLabel->setBuddy(slotList);
    actions->addWidget(slotLabel, 1, 0, Qt::AlignRight);
    actions->addWidget(slotList, 1, 1);
    updateButton = new QPushButton(QStringLiteral("Update Status"), this);
    updateButton->setAutoDefault(false);
    actions->addWidget(updateButton, 2, 0, 1, 2);
    actions->setColumnStretch(1, 1);

    // The two diagrams that define the field names, vertical above horizontal.
    verticalDiagram = new CTimingDiagramView(
        DiagramAxis::Vertical,
        QStringLiteral("Vertical timing: Data Enable, HS and VS over a 750-line frame, marking "
                       "V active, V blank, Vs offset and Vs width"),
        this);
    horizontalDiagram = new CTimingDiagramView(
        DiagramAxis::Horizontal,
        QStringLiteral("Horizontal timing: Data Enable and Hs over one line, marking Htotal, "
                       "H active, H blank, Hs offset and Hs width"),
        this);
    page->addWidget(verticalDiagram, 1);
    page->addWidget(horizontalDiagram, 1);
}

void CTimingDetailsPage::showTiming(TimingCode code) {
    details = timingDetailsFor(code, host_.currentTiming(), host_.userTimings());
    applyLock();
    refresh();
}

void CTimingDetailsPage::applyLock() {
    shownLocked_ = details.locked;
    if (built())
        writeLock();
}

void CTimingDetailsPage::writeLock() {
    for (std::size_t i = 0; i < kTimingDetailFields.size(); ++i)
        fields[i]->setReadOnly(!kTimingDetailFields[i].editable || shownLocked_);
    for (QButtonGroup* group : {scanTypeGroup, hSyncGroup, vSyncGroup})
        for (QAbstractButton* button : group->buttons())
            button->setEnabled(!shownLocked_);
    saveButton->setEnabled(!shownLocked_);
}

void CTimingDetailsPage::updateDiagrams() {
    TimingDetails onScreen = shown_;
    for (std::size_t i = 0; i < kTimingDetailFields.size(); ++i) {
        const auto* member = std::get_if<int TimingDetails::*>(&kTimingDetailFields[i].member);
        bool parsed = false;
        const int value = fields[i]->text().trimmed().toInt(&parsed);
        if (member && parsed)
            onScreen.*(*member) = value;
    }
    onScreen.scanType = scanTypeGroup->checkedId();
    onScreen.hSyncPolarity = hSyncGroup->checkedId();
    onScreen.vSyncPolarity = vSyncGroup->checkedId();
    verticalDiagram->showTiming(onScreen);
    horizontalDiagram->showTiming(onScreen);
}

void CTimingDetailsPage::onSaveUserTiming() {
    // A field that does not parse has shown its message; the save goes on with what stands.
    read();
    const int slot = slotList->currentIndex() + 1;
    CTimingPage& timingPage = host_.timingPage();
    const TimingCode shownBefore = timingPage.selection;
    // The record goes into the console's copy and the slot's caption before it is sent, and the
    // slot becomes the Timing page's selection.
    class StoreLine final : public PageOpsLine<ops::StoreLine> {
      public:
        StoreLine(PageHost& host, CTimingDetailsPage* page, int slot)
            : PageOpsLine(host, page), page_(page), slot_(slot) {}
        std::optional<TimingCode> outputTiming() override { return std::nullopt; }
        void storing(const UserTiming& record) override {
            host_.setUserTiming(static_cast<std::size_t>(slot_ - 1), record);
            page_->refresh();
            host_.timingPage().setUserTimingLabel(
                slot_, QString::fromStdString(formatUserTimingLabel(record)));
            host_.timingPage().selection = userTimingCode(slot_);
        }

      private:
        CTimingDetailsPage* page_;
        int slot_;
    } line(host_, this, slot);
    // The previous press counts whether it was refused or not.
    const ops::StoreOutcome outcome = ops::storeUserTiming(
        line, {slot, details, ops::ParkWhen::SavedLast, std::exchange(lastSavedSlot, slot)});
    if (outcome.status != ops::StoreOutcome::Status::Stored)
        return;
    refresh();
    timingPage.refresh();
    if (timingPage.selectTiming(userTimingCode(slot)))
        return;
    // The command guard dropped the slot's selection (a page choice just before the press): the
    // Timing page goes back to the timing the generator was last sent, and so does the status
    // panel when that is the parking timing.
    timingPage.selection = outcome.parked ? ops::kParkingTiming : shownBefore;
    timingPage.refresh();
    if (outcome.parked) {
        host_.statusPanel().setTimingText(ops::kParkingTiming, details);
        host_.refreshMainWindow();
    }
}

void CTimingDetailsPage::onUpdateStatus() {
    constexpr int kSweepWatchdogMs = 400;
    if (host_.portOpen())
        host_.startStatusSweep(kSweepWatchdogMs);
    else
        host_.services().showMessage(this, latin1(kPortNotOnMessage));
}

void CTimingDetailsPage::exchange(TimingDetails& values, bool save) {
    DataExchange dx(host_.services(), this, save);
    // Integer fields first, then the radios, then the floats: the order a reading stops in.
    for (std::size_t i = 0; i < kTimingDetailFields.size(); ++i)
        if (const auto* member = std::get_if<int TimingDetails::*>(&kTimingDetailFields[i].member))
            dx.intField(fields[i], values.*(*member));
    dx.radio(hSyncGroup, values.hSyncPolarity);
    dx.radio(scanTypeGroup, values.scanType);
    dx.radio(vSyncGroup, values.vSyncPolarity);
    for (std::size_t i = 0; i < kTimingDetailFields.size(); ++i) {
        if (const auto* member =
                std::get_if<float TimingDetails::*>(&kTimingDetailFields[i].member))
            dx.floatField(fields[i], values.*(*member));
    }
}

void CTimingDetailsPage::refresh() {
    shown_ = details;
    if (built())
        exchange(shown_, false);
}

void CTimingDetailsPage::read() {
    ensureBuilt();
    exchange(details, true);
}

}  // namespace krx
