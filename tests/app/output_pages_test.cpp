// SPDX-License-Identifier: MIT
// The Pattern and Setting pages as an operator uses them, with the Timing page's radios for the
// command guard they share: clicks on real widgets, the frames that reach the simulated generator
// with their times, the status panel, refusals and the guard.
#include <QTest>

#include "console_fixture.h"

namespace krx::testing {
namespace {

using O = SettingOption;

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
        CConsoleDlg& w = freshWindow(true);
        w.timingPage().selection = 0x14;
        w.settingPage().outputMode = 1;
        w.settingPage().refresh();
        mark();
        return w;
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
};

// A refusal (the table is pinned with settingRefusal): the message, nothing sent, the status panel
// unchanged, and after the DVI colour-space message the group checks RGB4:4:4.
TEST_F(OutputPagesTest, RefusedChoicesShowTheirMessageSendNothingAndUndoTheClick) {
    CSettingPage& page = connected().settingPage();
    page.outputMode = 0;
    page.colorSpace = 1;
    page.refresh();
    const QString panel = panelText(O::ColorSpace) + panelText(O::ColorDepth);
    mark();
    setting(O::ColorSpace, "YUV4:2:2")->click();
    EXPECT_EQ(messageTexts(),
              QStringList{"When in DVI mode, the colorspace is fixed to RGB4:4:4 !"});
    EXPECT_EQ(group(O::ColorSpace)->checkedId(), 0);
    EXPECT_EQ(panelText(O::ColorSpace) + panelText(O::ColorDepth), panel);
    EXPECT_EQ(timedSent(), Frames{});

    mark();
    page.onColorSpaceClicked(4);  // the disabled YUV4:2:0, were it ever clicked
    EXPECT_EQ(messageTexts(), QStringList{"Not availabe yet!"});
    EXPECT_EQ(timedSent(), Frames{});
    EXPECT_FALSE(group(O::ColorSpace)->button(4)->isEnabled());
}

// Selections on the Timing, Pattern and Setting pages in turn, one at least per handler: the frames
// with their waits (the setting operation's, pinned with applySetting), the radios checked
// afterwards and the status text of the option before any answer. Of two selections less than 50 ms
// apart the second is dropped, the drop ends the guard and the page shows the choices sent again
// (an HDCP mode or an audio source too, which have no status text). The DVI button sends before it
// asks the guard.
TEST_F(OutputPagesTest, SelectionsSendTheirFramesAndTheGuardDropsOneWithinFiftyMilliseconds) {
    CConsoleDlg& w = connected();
    struct Step {
        const char* name;
        int afterMs;
        QAbstractButton* clicked;
        Frames frames;
        QAbstractButton* checked = nullptr;  // afterwards on the clicked radio's page; null: it
        const char* text = nullptr;          // the status text of the clicked setting
        const char* action = nullptr;        // a screen reader's action instead of the mouse
    };
    // The frames of a selection: its set command, and the link status `linkStatusMs` later.
    const auto set = [](CommandCode code, std::uint8_t value, int linkStatusMs = -1) {
        Frames frames{at(0, code, {value})};
        if (linkStatusMs >= 0)
            frames.push_back(at(linkStatusMs, CMD_GET_LINK_STATUS));
        return frames;
    };
    const Frames none;
    // Pattern codes from 0x20 on stand at other positions than their codes.
    QAbstractButton* const smpte = pattern("SMPTE ColorBar");
    QAbstractButton* const external = setting(O::AudioSource, "External Stereo Input");
    QAbstractButton* const hdcpOn = setting(O::Hdcp, "HDCP ON");
    QAbstractButton* const hdcpOff = setting(O::Hdcp, "HDCP OFF");
    QAbstractButton* const dvi = setting(O::OutputMode, "DVI");
    const Step steps[] = {
        {"pattern sent", 0, smpte, set(CMD_SET_PATTERN, 0x21)},
        {"timing 30 ms later dropped", 30, timing(0x0C), none, timing(0x14)},
        {"guard over, Toggle", 0, timing(0x0E), set(CMD_SET_TIMING, 0x0E), nullptr, nullptr,
         "Toggle"},
        {"pattern 30 ms later by Toggle dropped", 30, pattern("BlueScreen"), none, smpte, nullptr,
         "Toggle"},
        {"next sent, by its picture", 10, named(w.patternPage().pictures, "3D boxes"),
         set(CMD_SET_PATTERN, 0x20), pattern("3D boxes")},
        {"colour space AUTO", 100, setting(O::ColorSpace, "AUTO"), set(CMD_SET_COLOR_SPACE, 3, 300),
         nullptr, "AUTO"},
        {"audio bits AUTO: 20 ms", 100, setting(O::AudioBits, "AUTO"),
         set(CMD_SET_AUDIO_BITS, 3, 20), nullptr, "AUTO"},
        {"48K", 100, setting(O::SampleRate, "48K"), set(CMD_SET_SAMPLE_RATE, 2), nullptr, "48K"},
        {"8 channels", 100, setting(O::Channels, "8CH"), set(CMD_SET_AUDIO_CHANNELS, 6), nullptr,
         "8ch"},
        {"4K(30)", 100, timing(0x1C), set(CMD_SET_TIMING, 0x1C)},
        {"AUTO depth at 4K", 100, setting(O::ColorDepth, "AUTO"), set(CMD_SET_COLOR_DEPTH, 4, 300),
         nullptr, "AUTO"},
        {"HDMI, no guard", 100, setting(O::OutputMode, "HDMI"), set(CMD_SET_OUTPUT_MODE, 1),
         nullptr, "HDMI"},
        {"after 50 ms sent", 100, hdcpOn, set(CMD_SET_HDCP, 1), nullptr, "ON "},
        {"setting 45 ms later dropped", 45, external, none, hdcpOn},
        {"source sent by Press", 0, external, set(CMD_SET_AUDIO_SOURCE, 1), nullptr, nullptr,
         "Press"},
        {"HDCP dropped", 45, hdcpOff, none, external},
        {"HDCP sent", 0, hdcpOff, set(CMD_SET_HDCP, 0), nullptr, "OFF"},
        {"DVI inside the guard sent, no texts", 20, dvi, set(CMD_SET_OUTPUT_MODE, 0), nullptr,
         "HDMI"},
        {"DVI with its blank", 100, dvi, set(CMD_SET_OUTPUT_MODE, 0), nullptr, "DVI "},
    };
    const auto& groups = w.settingPage().groups;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        mark(step.afterMs);
        activate(step.clicked, step.action);
        EXPECT_EQ(timedSent(), step.frames);
        EXPECT_TRUE((step.checked ? step.checked : step.clicked)->isChecked());
        EXPECT_EQ(step.clicked->isChecked(), !step.frames.empty() && step.clicked->isCheckable());
        const auto group = std::find(groups.begin(), groups.end(), step.clicked->group());
        EXPECT_TRUE(!step.text || panelText(O(group - groups.begin())) == step.text) << step.text;
    }
    EXPECT_EQ(panelText(O::ColorSpace) + panelText(O::ColorDepth), "RGB4:4:424bit") << "DVI";
    EXPECT_EQ(w.settingPage().colorSpace + w.settingPage().colorDepth, 0);
    EXPECT_TRUE(services_.messages().empty());
}

// Reset is sent on a click, never on Enter; its note stays until a colour-space answer or the
// next sweep.
TEST_F(OutputPagesTest, ResetSendsOnClickNotOnEnterAndItsNoteStaysUntilColourSpaceOrSweep) {
    CConsoleDlg& w = connected();
    CSettingPage& page = w.settingPage();
    w.show();
    w.tabs()->setCurrentWidget(&page);
    page.resetButton->setFocus();
    for (const bool bySweep : {false, true}) {
        mark();
        QTest::keyPress(page.resetButton, Qt::Key_Return);
        page.resetButton->click();
        EXPECT_EQ(timedSent(), Frames{at(0, CMD_RESET_DEFAULTS)});
        receive(answerFrame(kBroadcast, CMD_GET_HDCP, {0x01}));
        services_.runFor(500);
        EXPECT_EQ(page.resetNoteLabel->text(), "Wait for a few seconds...") << bySweep;
        bySweep ? w.connection().startStatusSweep(400)
                : receive(answerFrame(kBroadcast, CMD_GET_COLOR_SPACE, {0x01}));
        services_.runFor(1000);
        EXPECT_EQ(page.resetNoteLabel->text(), "") << bySweep;
    }
}

}  // namespace
}  // namespace krx::testing
