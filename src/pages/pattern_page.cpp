// SPDX-License-Identifier: MIT
#include "pages/pattern_page.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QPixmap>
#include <QToolButton>
#include <utility>

#include "framework/data_exchange.h"
#include "framework/radio_button.h"
#include "pages/caption_fit.h"
#include "pages/page_host.h"
#include "pattern_pictures.h"

namespace krx {
namespace {
constexpr int kColumns = 5;
}

CPatternPage::CPatternPage(PageHost& host, QWidget* parent) : CLazyPage(parent), host_(host) {
    installEventFilter(&keyFilter_);
}

void CPatternPage::buildWidgets() {
    patternGroup = new QButtonGroup(this);
    auto* grid = new QGridLayout(this);
    grid->setHorizontalSpacing(2);
    grid->setContentsMargins(4, 4, 4, 4);
    for (const PatternEntry& entry : kPatternTable) {
        const QString caption =
            QString::fromLatin1(entry.label.data(), static_cast<qsizetype>(entry.label.size()));
        const int row = entry.position / kColumns * 2;
        const int column = entry.position % kColumns;

        auto* picture = new QToolButton(this);
        picture->setAutoRaise(true);
        picture->setIconSize(kPatternPictureSize);
        // The radio buttons carry the keyboard; the picture is a second target for the mouse and
        // for assistive tools, which find it by the pattern's name.
        picture->setFocusPolicy(Qt::NoFocus);
        picture->setAccessibleName(caption);
        picture->setAccessibleDescription(QStringLiteral("Pattern picture"));
        pictures[static_cast<std::size_t>(entry.position)] = picture;

        auto* radio = new CRadioButton(caption, this);
        patternGroup->addButton(radio, entry.position);

        for (QAbstractButton* button :
             {static_cast<QAbstractButton*>(picture), static_cast<QAbstractButton*>(radio)}) {
            connect(button, &QAbstractButton::clicked, this,
                    [this, position = entry.position, code = entry.code] {
                        onPatternClicked(position, code);
                    });
        }
        grid->addWidget(picture, row, column, Qt::AlignLeft | Qt::AlignBottom);
        grid->addWidget(radio, row + 1, column, Qt::AlignLeft | Qt::AlignTop);
    }
    DataExchange(host_.services(), this, false).radio(patternGroup, shownSelection_);
}

void CPatternPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (picturesPainted_)
        return;
    // Painted once, when the page is first shown, for the screen it is shown on.
    const qreal scale = devicePixelRatioF();
    for (const PatternEntry& entry : kPatternTable)
        pictures[static_cast<std::size_t>(entry.position)]->setIcon(
            QPixmap::fromImage(patternPicture(entry.code, scale)));
    picturesPainted_ = true;
}

void CPatternPage::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (!built())
        return;
    fitCaptionsToWidth(*this, patternGroup->buttons());
}

void CPatternPage::onPatternClicked(int position, PatternCode code) {
    const int sent = std::exchange(selection, position);
    if (!sendPattern(code)) {
        // The toolkit has checked the clicked radio already: back to the pattern the generator
        // was sent.
        selection = sent;
        refresh();
    }
}

bool CPatternPage::sendPattern(PatternCode code) {
    if (!host_.takeCommandGuard())
        return false;
    const auto payload = static_cast<std::uint8_t>(code);
    host_.sendCommandWithData(CMD_SET_PATTERN, 1, &payload);
    refresh();
    return true;
}

void CPatternPage::showPattern(PatternCode code) {
    selection = patternPositionOf(code).value_or(-1);
    refresh();
}

void CPatternPage::refresh() {
    shownSelection_ = selection;
    if (built())
        DataExchange(host_.services(), this, false).radio(patternGroup, shownSelection_);
}

}  // namespace krx
