// SPDX-License-Identifier: MIT
// Every caption readable: on each page and in the main window, with the desktop font, no visible
// control shows a caption wider than itself or lies outside the widget that holds it.
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTabBar>
#include <QTabWidget>

#include "console_fixture.h"
#include "pages/tables/status_texts.h"
#include "pages/timing_details_page.h"
#include "pages/timing_page.h"

namespace krx::testing {
namespace {

QString plain(QString text) {
    return text.remove(QLatin1Char('&'));
}

struct Caption {
    QString text;
    int neededWidth;  // to show the text whole
};

// The caption a control shows; nothing for other widgets.
std::optional<Caption> captionOf(QWidget* w) {
    const QFontMetrics fm = w->fontMetrics();
    if (auto* button = qobject_cast<QAbstractButton*>(w); button && !button->text().isEmpty()) {
        // The style draws the text inside the button's contents rectangle.
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const bool radio = qobject_cast<QRadioButton*>(w) != nullptr;
        const QRect contents = w->style()->subElementRect(
            radio ? QStyle::SE_RadioButtonContents : QStyle::SE_PushButtonContents, &option, w);
        return Caption{button->text(),
                       fm.horizontalAdvance(plain(button->text())) + w->width() - contents.width()};
    }
    if (auto* label = qobject_cast<QLabel*>(w); label && !label->text().isEmpty())
        return Caption{label->text(), fm.horizontalAdvance(plain(label->text())) + label->width() -
                                          label->contentsRect().width()};
    if (auto* box = qobject_cast<QGroupBox*>(w))
        return Caption{box->title(),
                       fm.horizontalAdvance(plain(box->title())) + fm.averageCharWidth() * 2};
    if (auto* edit = qobject_cast<QLineEdit*>(w))
        return Caption{edit->text(), fm.horizontalAdvance(edit->text()) + 8};
    if (auto* list = qobject_cast<QComboBox*>(w))
        return Caption{list->currentText(), list->sizeHint().width()};
    return std::nullopt;
}

// One row per tab page (its controls, shown), and the main window's own controls around them.
class LayoutTest : public ConsoleTest, public ::testing::WithParamInterface<const char*> {
  protected:
    // Fills every text the window can show with the longest it can get: each user slot at its
    // longest label, each status field at the widest text of its rule.
    void showLongestTexts() {
        CConsoleDlg& w = window();
        for (int slot = 1; slot <= 10; ++slot)
            w.timingPage().setUserTimingLabel(slot, QStringLiteral("4096x2160i(120)"));
        auto widest = [&w](auto rule) {
            QString longest;
            for (int value = -1; value <= 0x40; ++value) {
                const QString text = qs(rule(value));
                if (w.fontMetrics().horizontalAdvance(text) >
                    w.fontMetrics().horizontalAdvance(longest))
                    longest = text;
            }
            return longest;
        };
        auto& t = w.statusTexts;
        t = {widest(hotPlugText),    widest(hdcpText),       widest(outputModeText),
             widest(colorSpaceText), widest(colorDepthText), widest(timingStatusName),
             widest(sampleRateText), widest(audioBitsText),  widest(channelsText),
             qs(audioTypeText())};
        w.refreshMainWindow();
        w.timingDetailsPage().showTiming(0x15);
    }
};

TEST_P(LayoutTest, NoCaptionIsCutAndNothingLeavesItsFrame) {
    CConsoleDlg& w = window();
    showLongestTexts();
    w.show();
    QWidget* area = &w;
    for (int tab = 0; tab < w.tabs->count(); ++tab) {
        if (w.tabs->tabText(tab) == GetParam()) {
            w.tabs->setCurrentIndex(tab);
            area = w.tabs->widget(tab);
            EXPECT_GE(w.tabs->tabBar()->tabRect(tab).width(),
                      w.tabs->tabBar()->fontMetrics().horizontalAdvance(GetParam()));
        }
    }
    int checked = 0;
    for (QWidget* control : area->findChildren<QWidget*>()) {
        const std::optional<Caption> caption = captionOf(control);
        const bool inPages = w.tabs->isAncestorOf(control);
        if (!caption || !control->isVisible() || (area == &w && inPages))
            continue;
        ++checked;
        const std::string name =
            (control->metaObject()->className() + QStringLiteral(" \"") + caption->text +
             QStringLiteral("\" ") + control->accessibleDescription())
                .toStdString();
        EXPECT_LE(caption->neededWidth, control->width()) << name << " caption cut";
        EXPECT_TRUE(control->parentWidget()->rect().contains(control->geometry()))
            << name << " outside its parent";
    }
    EXPECT_GT(checked, 0);
}

INSTANTIATE_TEST_SUITE_P(Pages, LayoutTest,
                         ::testing::Values("main window", "Timing", "Timing Details", "TV EDID"),
                         [](const auto& info) {
                             QString name = QString::fromLatin1(info.param);
                             return name.remove(QLatin1Char(' ')).toStdString();
                         });

}  // namespace
}  // namespace krx::testing
