// SPDX-License-Identifier: MIT
// Every caption readable: with the desktop font, no visible control of a page or of the main
// window shows a caption wider than itself or lies outside the widget that holds it.
#include <QGroupBox>
#include <QStyle>
#include <QStyleOptionButton>
#include <optional>

#include "console_fixture.h"
#include "model/status_texts.h"
#include "pages/timing_diagram_view.h"

namespace krx::testing {
namespace {

struct Caption {
    QString text;
    int neededWidth;  // to show the text whole
};

// The caption a control shows; nothing for other widgets.
std::optional<Caption> captionOf(QWidget* w) {
    const QFontMetrics fm = w->fontMetrics();
    auto advance = [&fm](QString text) { return fm.horizontalAdvance(text.remove('&')); };
    if (auto* button = qobject_cast<QAbstractButton*>(w); button && !button->text().isEmpty()) {
        // The style draws the text inside the button's contents rectangle.
        QStyleOptionButton option;
        option.initFrom(button);
        const bool radio = qobject_cast<QRadioButton*>(w) != nullptr;
        const QRect contents = w->style()->subElementRect(
            radio ? QStyle::SE_RadioButtonContents : QStyle::SE_PushButtonContents, &option, w);
        return Caption{button->text(), advance(button->text()) + w->width() - contents.width()};
    }
    if (auto* label = qobject_cast<QLabel*>(w); label && !label->text().isEmpty())
        return Caption{label->text(),
                       advance(label->text()) + w->width() - label->contentsRect().width()};
    if (auto* box = qobject_cast<QGroupBox*>(w))
        return Caption{box->title(), advance(box->title()) + 2 * fm.averageCharWidth()};
    if (auto* edit = qobject_cast<QLineEdit*>(w))
        return Caption{edit->text(), advance(edit->text()) + 8};
    if (auto* list = qobject_cast<QComboBox*>(w))
        return Caption{list->currentText(), list->sizeHint().width()};
    return std::nullopt;
}

using LayoutTest = ConsoleTest;

// The main window's own controls, then each tab page's, each page shown in turn.
TEST_F(LayoutTest, NoCaptionIsCutAndNothingLeavesItsFrame) {
    CConsoleDlg& w = window();
    // The longest texts the window can be given: each user slot at its longest label, each
    // status field at the widest text of its rule.
    for (int slot = 1; slot <= 10; ++slot)
        w.timingPage().setUserTimingLabel(slot, QStringLiteral("4096x2160i(120)"));
    auto widest = [&w](auto rule) {
        int longest = -1;
        for (int value = -1; value <= 0x40; ++value) {
            if (w.fontMetrics().horizontalAdvance(latin1(rule(value))) >
                w.fontMetrics().horizontalAdvance(latin1(rule(longest))))
                longest = value;
        }
        return static_cast<std::uint8_t>(longest);
    };
    DeviceStatus status;  // the Setting page writes the options' texts, the answers the others
    for (const SettingFacts& f : kSettingFacts)
        status.*f.field = std::int8_t(widest([&f](int v) { return optionText(f.option, v); }));
    w.settingPage().showStatus(status);
    receive(answerFrame(kBroadcast, CMD_GET_HOT_PLUG, {widest(hotPlugText)}));
    receive(answerFrame(kBroadcast, CMD_GET_TIMING, {widest(timingStatusName)}));
    w.timingDetailsPage().showTiming(0x15);
    w.settingPage().resetNote = QStringLiteral("Wait for a few seconds...");
    w.settingPage().refresh();
    w.show();
    for (int tab = -1; tab < w.tabs()->count(); ++tab) {
        SCOPED_TRACE(tab < 0 ? "main window" : w.tabs()->tabText(tab).toStdString());
        QWidget* area = tab < 0 ? &w : w.tabs()->widget(tab);
        w.tabs()->setCurrentIndex(std::max(tab, 0));
        const auto labels = w.findChildren<QLabel*>();
        int checked = 0;
        for (QWidget* control : area->findChildren<QWidget*>()) {
            const std::optional<Caption> caption = captionOf(control);
            if (!caption || !control->isVisible() || (tab < 0 && w.tabs()->isAncestorOf(control)))
                continue;
            ++checked;
            SCOPED_TRACE((control->metaObject()->className() + (" \"" + caption->text + "\" ") +
                          control->accessibleDescription())
                             .toStdString());
            EXPECT_LE(caption->neededWidth, control->width()) << "caption cut";
            EXPECT_TRUE(control->parentWidget()->rect().contains(control->geometry()))
                << "outside its parent";
            // A screen reader names a list by the label whose buddy it is.
            EXPECT_TRUE(!qobject_cast<QComboBox*>(control) ||
                        std::any_of(labels.begin(), labels.end(),
                                    [control](QLabel* l) { return l->buddy() == control; }))
                << "a list without a label";
        }
        EXPECT_GT(checked, 0);
    }
    // The diagrams get the height that their caption lines need, inside the page.
    const CTimingDetailsPage& details = w.timingDetailsPage();
    for (CTimingDiagramView* diagram : {details.verticalDiagram, details.horizontalDiagram}) {
        EXPECT_GE(diagram->height(), diagram->minimumSizeHint().height());
        EXPECT_TRUE(diagram->parentWidget()->rect().contains(diagram->geometry()));
    }
}

}  // namespace
}  // namespace krx::testing
