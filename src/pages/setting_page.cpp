// SPDX-License-Identifier: MIT
#include "pages/setting_page.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "framework/data_exchange.h"
#include "framework/latin1.h"
#include "framework/radio_button.h"
#include "framework/window_services.h"
#include "model/setting_table.h"
#include "model/status_texts.h"
#include "ops/setting_op.h"
#include "pages/caption_fit.h"
#include "pages/page_host.h"
#include "pages/page_ops_line.h"
#include "pages/timing_page.h"

namespace krx {
namespace {

constexpr int kOutputDvi = 0;
constexpr int kOutputHdmi = 1;

// One radio group of the page; positions are the values of its option. Captions and radio
// labels are the option's row of kSettingCaptions.
struct GroupRow {
    SettingOption option;
    int CSettingPage::*selection;
    void (CSettingPage::*onClicked)(int);
};

constexpr std::array<GroupRow, kSettingOptionCount> kGroupRows = {{
    {SettingOption::OutputMode, &CSettingPage::outputMode, &CSettingPage::onOutputModeClicked},
    {SettingOption::Hdcp, &CSettingPage::hdcp, &CSettingPage::setHdcp},
    {SettingOption::ColorSpace, &CSettingPage::colorSpace, &CSettingPage::onColorSpaceClicked},
    {SettingOption::ColorDepth, &CSettingPage::colorDepth, &CSettingPage::setColorDepth},
    {SettingOption::AudioSource, &CSettingPage::audioSource, &CSettingPage::setAudioSource},
    {SettingOption::SampleRate, &CSettingPage::sampleRate, &CSettingPage::setSampleRate},
    {SettingOption::AudioBits, &CSettingPage::audioBits, &CSettingPage::setAudioBits},
    {SettingOption::Channels, &CSettingPage::channels, &CSettingPage::setChannels},
}};

constexpr bool rowsInOptionOrder() {
    for (std::size_t i = 0; i < kGroupRows.size(); ++i)
        if (static_cast<std::size_t>(kGroupRows[i].option) != i)
            return false;
    return true;
}
static_assert(rowsInOptionOrder());

constexpr std::size_t index(SettingOption option) {
    return static_cast<std::size_t>(option);
}

}  // namespace

CSettingPage::CSettingPage(PageHost& host, QWidget* parent) : CLazyPage(parent), host_(host) {
    installEventFilter(&keyFilter_);
    // The screen's copy starts as the members: no radio checked, no note.
    refresh();
}

void CSettingPage::buildWidgets() {
    auto* column = new QVBoxLayout(this);
    // Tight margins: eight sample rates or channel counts must fit one row at the window's width.
    column->setContentsMargins(4, 4, 4, 4);
    for (const GroupRow& row : kGroupRows) {
        auto* frame = new QGroupBox(latin1(settingCaptions(row.option).caption), this);
        auto* buttons = new QHBoxLayout(frame);
        buttons->setContentsMargins(4, 2, 4, 2);
        buttons->setSpacing(2);
        QButtonGroup*& group = groups[index(row.option)];
        group = new QButtonGroup(this);
        for (int position = 0; position < settingFacts(row.option).valueCount; ++position) {
            auto* button = new CRadioButton(latin1(settingLabel(row.option, position)), frame);
            group->addButton(button, position);
            buttons->addWidget(button);
        }
        buttons->addStretch();
        connect(group, &QButtonGroup::idClicked, this,
                [this, onClicked = row.onClicked](int position) { (this->*onClicked)(position); });
        column->addWidget(frame);
        if (row.option == SettingOption::ColorSpace) {
            // Only a reported value or the 4K colour rule may check it.
            group->button(kColorSpaceYuv420)->setEnabled(false);
            column->addWidget(new QLabel(
                QStringLiteral("NOTE: YUV4:2:0 is only available in 4K 50/60Hz mode (HDMI2.0)"),
                this));
        }
    }
    auto* resetRow = new QHBoxLayout;
    resetButton = new QPushButton(QStringLiteral("Reset to Default Setting"), this);
    resetButton->setAutoDefault(false);
    connect(resetButton, &QPushButton::clicked, this, [this] { onResetDefaults(); });
    resetRow->addWidget(resetButton);
    resetNoteLabel = new QLabel(this);
    resetNoteLabel->setAccessibleDescription(QStringLiteral("Reset note"));
    resetRow->addWidget(resetNoteLabel, 1);
    column->addLayout(resetRow);
    column->addStretch();
    writeShown();
}

void CSettingPage::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (!built())
        return;
    QList<QAbstractButton*> buttons;
    for (QButtonGroup* group : groups)
        buttons += group->buttons();
    fitCaptionsToWidth(*this, buttons);
}

void CSettingPage::message(std::string_view text) {
    host_.services().showMessage(this, latin1(text));
}

bool CSettingPage::takeGuard() {
    if (host_.takeCommandGuard())
        return true;
    // The toolkit has checked the clicked radio already: the radios go back to the selections,
    // which are still what the generator was sent.
    refresh();
    return false;
}

ops::SetOutcome CSettingPage::apply(SettingOption option, int value) {
    // The colour rules judge the Timing page's selection and this page's output mode; an AUTO
    // choice is followed by CMD_GET_LINK_STATUS, whose answer the status panel shows.
    class SettingLine final : public PageOpsLine<ops::SettingLine> {
      public:
        SettingLine(PageHost& host, CSettingPage* page) : PageOpsLine(host, page), page_(page) {}
        std::optional<ops::RuleState> ruleState() override {
            return ops::RuleState{host_.timingPage().selection, page_->outputMode};
        }
        bool readBackSent(SettingOption, int) override { return true; }
        bool linkStatusSent(SettingOption) override { return true; }

      private:
        CSettingPage* page_;
    } line(host_, this);
    return ops::applySetting(line, option, value, ops::SetFollowUp::AutoLinkStatus);
}

void CSettingPage::onOutputModeClicked(int value) {
    setOutputMode(value);
    if (value == kOutputDvi) {
        colorSpace = kColorSpaceRgb444;
        // The guard comes after the send: a DVI click inside it is sent, only its texts are not.
        if (!host_.takeCommandGuard())
            return;
        colorDepth = kColorDepth24Bit;
        host_.statusPanel().writeOptionText(SettingOption::OutputMode, kDviChoiceText);
        host_.statusPanel().setOptionText(SettingOption::ColorSpace, kColorSpaceRgb444);
        host_.statusPanel().setOptionText(SettingOption::ColorDepth, kColorDepth24Bit);
        host_.refreshMainWindow();
    } else if (value == kOutputHdmi) {
        host_.statusPanel().setOptionText(SettingOption::OutputMode, kOutputHdmi);
        host_.refreshMainWindow();
    }
}

void CSettingPage::setOutputMode(int value) {
    read();
    apply(SettingOption::OutputMode, value);
    refresh();
}

void CSettingPage::setHdcp(int value) {
    if (!takeGuard())
        return;
    apply(SettingOption::Hdcp, value);
    // Any non-zero choice reads "ON ".
    host_.statusPanel().setOptionText(SettingOption::Hdcp, value != 0 ? 1 : 0);
    host_.refreshMainWindow();
    // Taken into the selection, as the audio source is, so that a later refresh does not put
    // back the HDCP mode the generator no longer uses.
    read();
}

void CSettingPage::onColorSpaceClicked(int value) {
    // The disabled "YUV4:2:0" radio only shows its message, without taking the guard.
    if (value == kColorSpaceYuv420)
        message(settingRefusal(SettingOption::ColorSpace, value, -1, -1).value_or(""));
    else
        setColorSpace(value);
}

void CSettingPage::setColorSpace(int value) {
    if (!takeGuard())
        return;
    if (apply(SettingOption::ColorSpace, value) == ops::SetOutcome::Refused) {
        // A DVI refusal checks RGB4:4:4, the only space DVI carries; a 4K one undoes the click.
        if (!is4k420(host_.timingPage().selection))
            colorSpace = kColorSpaceRgb444;
        refresh();
        return;
    }
    host_.statusPanel().setOptionText(SettingOption::ColorSpace, value);
    read();
    refresh();
    host_.refreshMainWindow();
}

void CSettingPage::setColorDepth(int value) {
    if (!takeGuard())
        return;
    if (apply(SettingOption::ColorDepth, value) == ops::SetOutcome::Refused) {
        refresh();
        return;
    }
    host_.statusPanel().setOptionText(SettingOption::ColorDepth, value);
    host_.refreshMainWindow();
    read();
}

void CSettingPage::setAudioSource(int value) {
    if (!takeGuard())
        return;
    apply(SettingOption::AudioSource, value);
    // Taken into the selection like every other choice, so that a later refresh (a refused
    // colour choice, say) does not put back the source the generator no longer uses.
    read();
}

void CSettingPage::setSampleRate(int value) {
    if (!takeGuard())
        return;
    apply(SettingOption::SampleRate, value);
    host_.statusPanel().setOptionText(SettingOption::SampleRate, value);
    host_.refreshMainWindow();
    read();
}

void CSettingPage::setAudioBits(int value) {
    if (!takeGuard())
        return;
    apply(SettingOption::AudioBits, value);
    host_.statusPanel().setOptionText(SettingOption::AudioBits, value);
    host_.refreshMainWindow();
    read();
}

void CSettingPage::setChannels(int value) {
    if (!takeGuard())
        return;
    apply(SettingOption::Channels, value);
    host_.statusPanel().setOptionText(SettingOption::Channels, value);
    host_.refreshMainWindow();
    read();
}

void CSettingPage::onResetDefaults() {
    host_.sendCommand(CMD_RESET_DEFAULTS);
    // Stays until a colour space answer or the next sweep empties it.
    resetNote = latin1(kResetNote);
    refresh();
}

void CSettingPage::showStatus(const DeviceStatus& status) {
    resetNote.clear();
    for (const GroupRow& row : kGroupRows) {
        this->*row.selection = status.*settingFacts(row.option).field;
        host_.statusPanel().setOptionText(row.option, this->*row.selection);
    }
    refresh();
}

int& CSettingPage::selection(SettingOption option) {
    return this->*kGroupRows[index(option)].selection;
}

void CSettingPage::writeShown() {
    DataExchange dx(host_.services(), this, false);
    for (std::size_t i = 0; i < groups.size(); ++i)
        dx.radio(groups[i], shown_.selections[i]);
    dx.text(resetNoteLabel, shown_.resetNote);
}

void CSettingPage::refresh() {
    for (const GroupRow& row : kGroupRows)
        shown_.selections[index(row.option)] = this->*row.selection;
    shown_.resetNote = resetNote;
    if (built())
        writeShown();
}

void CSettingPage::read() {
    ensureBuilt();
    DataExchange dx(host_.services(), this, true);
    for (const GroupRow& row : kGroupRows)
        dx.radio(groups[index(row.option)], this->*row.selection);
    dx.text(resetNoteLabel, resetNote);
}

}  // namespace krx
