// SPDX-License-Identifier: MIT
// The Pattern and Setting pages as an operator uses them: clicks on real widgets, the frames that
// reach the simulated generator with their times, the status panel, refusals and the guard.
#include <QButtonGroup>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QToolButton>

#include "console_fixture.h"
#include "pages/pattern_page.h"
#include "pages/setting_page.h"
#include "pages/timing_page.h"
#include "pattern_pictures.h"

namespace krx::testing {
namespace {

using O = SettingOption;

// A frame and its time in ms after the mark.
using TimedFrame = std::pair<std::int64_t, Bytes>;
using Frames = std::vector<TimedFrame>;

TimedFrame at(std::int64_t offsetMs, CommandCode code, const Bytes& payload = {}) {
    return {offsetMs, commandFrame(kBroadcast, code, payload)};
}

template <typename Buttons>
QAbstractButton* named(const Buttons& buttons, const char* name) {
    for (QAbstractButton* button : buttons)
        if (button->accessibleName() == name || button->text() == name)
            return button;
    ADD_FAILURE() << "no button " << name;
    return nullptr;
}

class OutputPagesTest : public ConsoleTest {
  protected:
    // Connected to a generator, on 1080P(60) with HDMI output, guard expired.
    CConsoleDlg& connected() {
        attachGenerator(1);
        CConsoleDlg& w = window();
        connect(1);
        w.timingPage().selection = 0x14;
        w.settingPage().outputMode = 1;
        w.settingPage().refresh();
        mark();
        return w;
    }
    // Lets `settleMs` pass (the guard ends after 50), then records frames and messages afresh.
    void mark(int settleMs = 100) {
        services.runFor(settleMs);
        from_ = channel.writes().size();
        startUs_ = services.nowUs();
        services.clearMessages();
    }
    // Frames written since mark(), timed from it; lets 1 ms pass.
    Frames sent() {
        services.runFor(1);
        Frames frames;
        for (std::size_t i = from_; i < channel.writes().size(); ++i)
            frames.push_back(
                {(channel.writes()[i].timeUs - startUs_) / 1000, channel.writes()[i].bytes});
        return frames;
    }

    QButtonGroup* group(O option) {
        return window().settingPage().groups[static_cast<std::size_t>(option)];
    }
    QAbstractButton* setting(O option, const char* caption) {
        return named(group(option)->buttons(), caption);
    }
    QAbstractButton* pattern(const char* caption) {
        return named(window().patternPage().patternGroup->buttons(), caption);
    }
    QAbstractButton* timing(TimingCode code) { return window().timingPage().timingButton(code); }
    QAbstractButton* picture(const char* name) {
        return named(window().patternPage().pictures, name);
    }

  private:
    std::size_t from_ = 0;
    std::int64_t startUs_ = 0;
};

TEST_F(OutputPagesTest, PatternClicksSendTheCodeAndCheckItsPositionStatusChecksByCode) {
    CConsoleDlg& w = connected();
    CPatternPage& page = w.patternPage();
    struct Row {
        const char* name;
        QAbstractButton* clicked;
        std::uint8_t code;
        int position;
    };
    const Row rows[] = {
        {"3D boxes picture", picture("3D boxes"), 0x20, 36},
        {"SMPTE ColorBar radio", pattern("SMPTE ColorBar"), 0x21, 32},
        {"Window picture", picture(" Window"), 0x1D, 29},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        mark();
        row.clicked->click();
        EXPECT_EQ(sent(), Frames{at(0, CMD_SET_PATTERN, {row.code})});
        EXPECT_EQ(page.patternGroup->checkedId(), row.position);
    }

    // A status read is checked by code (the lookup is pinned with the pattern table).
    page.showPattern(0x24);
    EXPECT_EQ(page.patternGroup->checkedId(), 35);
}

TEST_F(OutputPagesTest, PatternPicturesStandAboveTheirRadiosInRowsOfFive) {
    CConsoleDlg& w = window();
    w.show();
    w.tabs()->setCurrentWidget(&w.patternPage());
    QApplication::processEvents();
    CPatternPage& page = w.patternPage();
    std::vector<QImage> seen;
    for (const PatternEntry& entry : kPatternTable) {
        SCOPED_TRACE(entry.label);
        const QRect above = page.pictures[static_cast<std::size_t>(entry.position)]->geometry();
        const QRect radio = page.patternGroup->button(entry.position)->geometry();
        EXPECT_LE(above.bottom(), radio.top());
        EXPECT_LT(radio.left(), above.center().x());
        if (entry.position % 5 != 0) {
            const QRect left = page.patternGroup->button(entry.position - 1)->geometry();
            EXPECT_EQ(radio.y(), left.y()) << "same row as its left neighbour";
            EXPECT_GT(radio.x(), left.right());
        } else if (entry.position > 0) {
            EXPECT_GT(above.y(), page.patternGroup->button(entry.position - 5)->y());
        }
        // Each picture button shows its own pattern's drawing, and no two drawings are alike.
        const QImage image = krx::patternPicture(entry.code);
        EXPECT_EQ(image.size(), QSize(45, 31));
        EXPECT_EQ(page.pictures[static_cast<std::size_t>(entry.position)]
                      ->icon()
                      .pixmap(image.size())
                      .toImage()
                      .convertToFormat(image.format()),
                  image);
        EXPECT_EQ(std::count(seen.begin(), seen.end(), image), 0) << "two pictures alike";
        seen.push_back(image);
    }
}

// A refusal (the table is pinned with settingRefusal): the message, nothing sent, the status panel
// unchanged, and after the DVI colour-space message the group checks RGB4:4:4.
TEST_F(OutputPagesTest, RefusedChoicesShowTheirMessageSendNothingAndUndoTheClick) {
    CConsoleDlg& w = connected();
    CSettingPage& page = w.settingPage();
    page.outputMode = 0;
    page.colorSpace = 1;
    page.colorDepth = 0;
    page.refresh();
    const QString panel = panelText(O::ColorSpace) + panelText(O::ColorDepth);
    mark();
    setting(O::ColorSpace, "YUV4:2:2")->click();
    EXPECT_EQ(messageTexts(),
              QStringList{"When in DVI mode, the colorspace is fixed to RGB4:4:4 !"});
    EXPECT_EQ(group(O::ColorSpace)->checkedId(), 0);
    EXPECT_EQ(panelText(O::ColorSpace) + panelText(O::ColorDepth), panel);
    EXPECT_EQ(sent(), Frames{});

    mark();
    page.onColorSpaceClicked(4);  // the disabled YUV4:2:0, were it ever clicked
    EXPECT_EQ(messageTexts(), QStringList{"Not availabe yet!"});
    EXPECT_EQ(sent(), Frames{});
    EXPECT_FALSE(group(O::ColorSpace)->button(4)->isEnabled());
}

// Accepted choices, one per handler: the frames with their waits (the setting operation's), and
// the status panel before any answer.
TEST_F(OutputPagesTest, ChoicesSendTheirValueShowTheirTextAndFollowAutoWithLinkStatus) {
    CConsoleDlg& w = connected();
    constexpr int kNoFollowUp = -1;
    struct Row {
        const char* name;
        int timing;
        O option;
        const char* clicked;
        CommandCode setCode;
        std::uint8_t value;
        int linkStatusAfterMs;
        const char* text;  // "": not checked
    };
    const Row rows[] = {
        {"HDCP ON", 0x14, O::Hdcp, "HDCP ON", CMD_SET_HDCP, 1, kNoFollowUp, "ON "},
        {"4K(30) AUTO depth", 0x1C, O::ColorDepth, "AUTO", CMD_SET_COLOR_DEPTH, 4, 300, "AUTO"},
        {"colour space AUTO", 0x14, O::ColorSpace, "AUTO", CMD_SET_COLOR_SPACE, 3, 300, "AUTO"},
        {"audio bits AUTO: 20 ms", 0x14, O::AudioBits, "AUTO", CMD_SET_AUDIO_BITS, 3, 20, "AUTO"},
        {"sample rate 48K", 0x14, O::SampleRate, "48K", CMD_SET_SAMPLE_RATE, 2, kNoFollowUp, "48K"},
        {"8 channels", 0x14, O::Channels, "8CH", CMD_SET_AUDIO_CHANNELS, 6, kNoFollowUp, "8ch"},
        {"external source: no text", 0x14, O::AudioSource, "External Stereo Input",
         CMD_SET_AUDIO_SOURCE, 1, kNoFollowUp, ""},
        {"HDMI", 0x14, O::OutputMode, "HDMI", CMD_SET_OUTPUT_MODE, 1, kNoFollowUp, "HDMI"},
        {"DVI with its blank", 0x14, O::OutputMode, "DVI", CMD_SET_OUTPUT_MODE, 0, kNoFollowUp,
         "DVI "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        w.timingPage().selection = row.timing;
        mark();
        QAbstractButton* radio = setting(row.option, row.clicked);
        radio->click();
        EXPECT_TRUE(*row.text == '\0' || panelText(row.option) == row.text) << row.text;
        Frames expected{at(0, row.setCode, {row.value})};
        if (row.linkStatusAfterMs != kNoFollowUp)
            expected.push_back(at(row.linkStatusAfterMs, CMD_GET_LINK_STATUS));
        EXPECT_EQ(sent(), expected);
        EXPECT_TRUE(services.messages().empty());
        EXPECT_TRUE(radio->isChecked());
    }
    EXPECT_EQ(panelText(O::ColorSpace) + panelText(O::ColorDepth), "RGB4:4:424bit") << "DVI";
    EXPECT_EQ(w.settingPage().colorSpace + w.settingPage().colorDepth, 0);
}

// Of two selections on the Timing, Pattern and Setting pages less than 50 ms apart the second is
// dropped, the drop ends the guard and the page shows the choices sent again (an HDCP mode or an
// audio source too, which have no status text). The DVI button sends before it asks the guard.
TEST_F(OutputPagesTest, CommandGuardDropsOneSelectionWithinFiftyMilliseconds) {
    connected();
    struct Step {
        const char* name;
        int afterMs;
        QAbstractButton* clicked;
        CommandCode code;
        std::uint8_t value;
        bool sent;
        QAbstractButton* checked;  // afterwards, on the clicked radio's page
        const char* action = nullptr;
    };
    QAbstractButton* const red = pattern("RedScreen");
    QAbstractButton* const hdcpOn = setting(O::Hdcp, "HDCP ON");
    QAbstractButton* const hdcpOff = setting(O::Hdcp, "HDCP OFF");
    QAbstractButton* const external = setting(O::AudioSource, "External Stereo Input");
    const Step steps[] = {
        {"pattern sent", 0, red, CMD_SET_PATTERN, 0x03, true, red},
        {"timing 30 ms later dropped", 30, timing(0x0C), CMD_SET_TIMING, 0x0C, false, timing(0x14)},
        {"guard over, Toggle", 0, timing(0x0E), CMD_SET_TIMING, 0x0E, true, timing(0x0E), "Toggle"},
        {"pattern 30 ms later by its Toggle action dropped", 30, pattern("BlueScreen"),
         CMD_SET_PATTERN, 0x05, false, red, "Toggle"},
        {"the next one sent", 10, picture("GreenScreen"), CMD_SET_PATTERN, 0x04, true,
         pattern("GreenScreen")},
        {"after 50 ms sent", 100, hdcpOn, CMD_SET_HDCP, 1, true, hdcpOn},
        {"setting 45 ms later dropped", 45, external, CMD_SET_AUDIO_SOURCE, 1, false, hdcpOn},
        {"source sent by Press", 0, external, CMD_SET_AUDIO_SOURCE, 1, true, external, "Press"},
        {"HDCP dropped", 45, hdcpOff, CMD_SET_HDCP, 0, false, external},
        {"HDCP sent", 0, hdcpOff, CMD_SET_HDCP, 0, true, hdcpOff},
        {"DVI inside the guard still sent", 20, setting(O::OutputMode, "DVI"), CMD_SET_OUTPUT_MODE,
         0, true, setting(O::OutputMode, "DVI")},
    };
    const QString outputModeText = panelText(O::OutputMode);
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        mark(step.afterMs);
        activate(step.clicked, step.action);
        EXPECT_EQ(sent(), step.sent ? Frames{at(0, step.code, {step.value})} : Frames{});
        EXPECT_TRUE(step.checked->isChecked());
        EXPECT_EQ(step.clicked->isChecked(), step.sent && step.clicked->isCheckable());
    }
    EXPECT_EQ(panelText(O::OutputMode), outputModeText) << "the guarded DVI click skips its texts";
    EXPECT_TRUE(services.messages().empty());
}

TEST_F(OutputPagesTest, ResetSendsOnClickNotOnEnterAndItsNoteStaysUntilColourSpaceOrSweep) {
    CConsoleDlg& w = connected();
    CSettingPage& page = w.settingPage();
    w.show();
    w.tabs()->setCurrentWidget(&page);
    page.resetButton->setFocus();
    for (const bool bySweep : {false, true}) {
        mark();
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(page.resetButton, &enter);
        EXPECT_EQ(sent(), Frames{}) << "Enter is discarded, even on the focused button";
        mark(0);
        page.resetButton->click();
        EXPECT_EQ(sent(), Frames{at(0, CMD_RESET_DEFAULTS)});
        receive(answerFrame(kBroadcast, CMD_GET_HDCP, {0x01}));
        services.runFor(500);
        EXPECT_EQ(page.resetNoteLabel->text(), "Wait for a few seconds...") << bySweep;
        if (bySweep)
            w.connection().startStatusSweep(400);
        else
            receive(answerFrame(kBroadcast, CMD_GET_COLOR_SPACE, {0x01}));
        services.runFor(1000);
        EXPECT_EQ(page.resetNoteLabel->text(), "") << bySweep;
    }
    EXPECT_EQ(page.resetNoteLabel->accessibleDescription(), "Reset note");
}

TEST_F(OutputPagesTest, ClosedPortShowsTheMessagePerFrameAndTheHandlerGoesOn) {
    CConsoleDlg& w = window();
    for (QButtonGroup* settingGroup : w.settingPage().groups)
        EXPECT_EQ(settingGroup->checkedId(), -1) << "nothing checked before the first sweep";
    EXPECT_EQ(w.patternPage().patternGroup->checkedId(), -1);

    picture("3D boxes")->click();
    EXPECT_EQ(w.patternPage().patternGroup->checkedId(), 36);
    services.runFor(100);
    setting(O::SampleRate, "AUTO")->click();
    EXPECT_EQ(panelText(O::SampleRate), "AUTO");
    EXPECT_EQ(messageTexts(), QStringList(3, "Com port is not on yet."));
    EXPECT_TRUE(channel.writes().empty());
}

}  // namespace
}  // namespace krx::testing
