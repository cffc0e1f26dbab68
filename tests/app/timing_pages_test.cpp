// SPDX-License-Identifier: MIT
// The Timing and Timing Details pages as the operator uses them: radio clicks, the fields a screen
// reader finds by their labels, saving user timings, and what reaches the simulated generator.
#include <QImage>
#include <optional>

#include "console_fixture.h"
#include "model/timing_details.h"
#include "pages/timing_diagram_view.h"

namespace krx::testing {
namespace {

class TimingPagesTest : public ConsoleTest {
  protected:
    CTimingDetailsPage& details() { return window().timingDetailsPage(); }
    // Clicks the radio of `code` once the previous command guard has run out.
    void click(TimingCode code) {
        services_.runFor(60);
        window().timingPage().timingButton(code)->click();
    }
    void save(int slot) {
        services_.runFor(60);
        details().slotList->setCurrentIndex(slot - 1);
        details().saveButton->click();
    }
    // The field a screen reader announces under `label`.
    QLineEdit* field(const QString& label) {
        for (QLabel* candidate : details().findChildren<QLabel*>())
            if (candidate->text() == label)
                return qobject_cast<QLineEdit*>(candidate->buddy());
        ADD_FAILURE() << label.toStdString();
        return nullptr;
    }
};

// A click sends the timing and shows it: the details page with its values (rates with six
// significant digits), its polarity and the lock of a 4K timing, and the Setting page and the
// status panel after the 4K colour rule (pinned with coloursForTiming): 4:2:0 and 24 bit for
// 4K(4:2:0)(60), back to RGB4:4:4 after it.
TEST_F(TimingPagesTest, SelectingATimingSendsItShowsItsDetailsAndFollowsTheColourRule) {
    struct Row {
        std::uint8_t code;
        const char* hFreq;
        const char* vFreq;
        int polarity;  // checked "+" (0) or "-" (1) of both pairs
        bool locked;
        int colorSpace;
        const char* colours;  // the status panel's colour space and depth
    };
    const Row rows[] = {
        {0x22, "135", "60", 0, true, 4, "YUV4:2:0 24bit"},
        {0x00, "31.47", "59.94", 1, false, 0, "RGB4:4:4 24bit"},
    };
    CConsoleDlg& w = freshWindow(true);
    receive(answerFrame(kBroadcast, CMD_GET_COLOR_SPACE, {0x01}));
    receive(answerFrame(kBroadcast, CMD_GET_COLOR_DEPTH, {0x02}));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.code);
        mark(0);
        click(row.code);
        EXPECT_EQ(sent(), std::vector<Bytes>{commandFrame(kBroadcast, CMD_SET_TIMING, {row.code})});
        EXPECT_EQ(panelTiming(), latin1(timingStatusName(row.code)));
        EXPECT_EQ(field("H freq:")->text(), row.hFreq);
        EXPECT_EQ(field("V freq:")->text(), row.vFreq);
        EXPECT_EQ(details().hSyncGroup->checkedId(), row.polarity);
        EXPECT_EQ(details().vSyncGroup->checkedId(), row.polarity);
        EXPECT_EQ(field("Video clk:")->isReadOnly(), row.locked);
        EXPECT_EQ(details().saveButton->isEnabled(), !row.locked);
        EXPECT_EQ(details().scanTypeGroup->button(1)->isEnabled(), !row.locked);
        EXPECT_EQ(w.settingPage().groups[2]->checkedId(), row.colorSpace);
        EXPECT_EQ(w.settingPage().groups[3]->checkedId(), 0);
        EXPECT_EQ(panelText(SettingOption::ColorSpace) + ' ' + panelText(SettingOption::ColorDepth),
                  row.colours);
    }
}

// AUTO asks for the details 400 ms later and shows them only when answered; with the port closed
// each of its two frames shows the message, 400 ms apart. "Update Status" sweeps with the port
// open and shows the message with it closed.
TEST_F(TimingPagesTest, AutoAsksForTheDetails400MsLaterAndUpdateStatusSweeps) {
    CConsoleDlg& w = freshWindow(true);
    click(0x14);
    mark(10);
    const TimingDetails before = details().details;
    click(kAutoTiming);
    EXPECT_EQ(details().details, before);
    EXPECT_EQ(panelTiming(), "AUTO");
    services_.runFor(100);
    EXPECT_EQ(timedSent(),
              (Frames{at(60, CMD_SET_TIMING, {0x36}), at(460, CMD_GET_TIMING_DETAILS, {0x36})}));
    EXPECT_EQ(details().details, recordTimingDetails(w.answers().currentTiming()));
    mark(0);
    details().updateButton->click();
    EXPECT_EQ(watchdog(), 400);
    EXPECT_EQ(sent(), std::vector<Bytes>{commandFrame(kBroadcast, CMD_GET_TIMING)});

    w.connection().togglePort();
    click(kAutoTiming);
    details().updateButton->click();
    const auto& shown = services_.messages();
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[1].atMs - shown[0].atMs, 400);
    EXPECT_EQ(messageTexts(), QStringList(3, kNotOn));
}

// The diagrams describe what the page shows, the chosen timing, then each edit as it is made (an
// entry that does not parse keeps the value shown).
TEST_F(TimingPagesTest, DiagramsDescribeTheValuesShownAndFollowEdits) {
    click(0x0A);  // 480i(59.94)
    EXPECT_EQ(details().verticalDiagram->accessibleDescription(),
              "one field: 262 lines, 240 active, 22 blank, sync offset 4, width 3, negative, "
              "interlaced");
    field("V blank:")->setText("50");
    field("Hs width:")->setText("6x");
    details().hSyncGroup->button(kSyncPlus)->click();
    details().scanTypeGroup->button(kProgressive)->click();
    EXPECT_EQ(details().verticalDiagram->accessibleDescription(),
              "one frame: 290 lines, 240 active, 50 blank, sync offset 4, width 3, negative");
    EXPECT_EQ(details().horizontalDiagram->accessibleDescription(),
              "one line: 858 pixels, 720 active, 138 blank, sync offset 19, width 62, positive");
    // Painted at the page's size, each diagram is ink on mostly white paper.
    for (QWidget* diagram : {details().verticalDiagram, details().horizontalDiagram}) {
        const QImage picture = diagram->grab().toImage();
        int paper = 0;
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                paper += picture.pixel(x, y) == qRgb(255, 255, 255) ? 1 : 0;
        const int all = picture.width() * picture.height();
        EXPECT_GT(paper, all / 2) << qPrintable(diagram->accessibleName());
        EXPECT_GT(all - paper, picture.width()) << qPrintable(diagram->accessibleName());
    }
}

TEST_F(TimingPagesTest, UserSlotShowsItsRecordAndSavingStoresAndSelectsIt) {
    sim::GeneratorLine& line = attachGenerator(1);
    UserTiming slot3 = standardTimingRecord(0x00);
    slot3.slot = 2;
    ASSERT_TRUE(line.device(0).handle(CMD_STORE_USER_TIMING, slot3.toBytes(), 0).has_value());
    CConsoleDlg& w = window();
    connect(1);
    click(0x39);
    EXPECT_EQ(details().details, recordTimingDetails(slot3));
    EXPECT_EQ(panelTiming(), "640x480(60)");

    // 1080i(60) unedited into slot 1 (the record is the store operation's): the slot selected.
    click(0x0E);
    save(1);
    services_.runFor(10);
    EXPECT_EQ(w.timingPage().timingButton(0x37)->text(), "1920x1080i(60)");
    EXPECT_EQ(w.timingPage().timingGroup->checkedId(), 0x37);
    EXPECT_EQ(panelTiming(), "1920x1080i(60)");

    // Saving slot 3 parks the generator on 1024x768(60) first (the waits are the store
    // operation's); just after a timing click the guard drops the slot's selection, so the
    // parking timing stays checked.
    save(3);
    services_.runFor(100);
    w.timingPage().timingButton(0x0C)->click();
    details().saveButton->click();
    EXPECT_EQ(w.timingPage().timingGroup->checkedId(), 0x02);
    EXPECT_EQ(panelTiming(), "1024x768(60)");
}

// What a save stores from what the fields hold, and what it refuses before anything is sent. The
// slot saved last is the one of the previous press, refused or not.
TEST_F(TimingPagesTest, SaveTakesTheClockAsEnteredAndReportsWhatItCannotTake) {
    struct Row {
        const char* name;
        int slot;
        const char* label;
        const char* typed;
        std::optional<std::uint16_t> clock;  // none: nothing stored
        const char* message = nullptr;
        bool parks = false;  // 1024x768(60) sent first, a frame more
    };
    const Row rows[] = {
        {"300.09 just below 30009", 2, "Video clk:", "300.09", 30008},
        {"300.1 refused, not parked", 2, "Video clk:", "300.1", std::nullopt,
         "pixcel clock can not be higher than 300MHz"},
        {"74.25 parks: the refused press counts", 2, "Video clk:", "74.25", 7425, nullptr, true},
        {"integer field keeps its value", 6, "H blank:", "2x0", 14850, "Please enter an integer."},
        {"float field keeps its value", 7, "Video clk:", "fast", 14850, "Please enter a number."},
    };
    // As created the page holds zeros, which a save takes without complaint.
    save(10);
    EXPECT_EQ(messageTexts(), QStringList(2, kNotOn));
    CConsoleDlg& w = freshWindow(true);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        click(0x14);
        mark(0);
        const UserTiming& stored =
            w.connection().receiver().userTimings[static_cast<std::size_t>(row.slot - 1)];
        const UserTiming before = stored;
        field(row.label)->setText(row.typed);
        save(row.slot);
        EXPECT_EQ(messageTexts(), row.message ? QStringList{row.message} : QStringList{});
        EXPECT_EQ(stored.clock10kHz, row.clock.value_or(before.clock10kHz));
        EXPECT_EQ(stored.hBlank, row.clock ? 280 : before.hBlank);
        EXPECT_EQ(sent().size(), row.clock ? 2u + row.parks : 0u);
    }
}

}  // namespace
}  // namespace krx::testing
