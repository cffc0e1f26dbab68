// SPDX-License-Identifier: MIT
// The Timing and Timing Details pages as the operator uses them: radio clicks, the fields a screen
// reader finds by their labels, saving user timings, and what reaches the simulated generator.
#include <QButtonGroup>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <optional>

#include "console_fixture.h"
#include "model/timing_details.h"
#include "pages/setting_page.h"
#include "pages/timing_details_page.h"
#include "pages/timing_page.h"

namespace krx::testing {
namespace {

const QString kNotOn = "Com port is not on yet.";

Bytes setTiming(std::uint8_t code) {
    return commandFrame(kBroadcast, CMD_SET_TIMING, {code});
}

class TimingPagesTest : public ConsoleTest {
  protected:
    CTimingDetailsPage& details() { return window().timingDetailsPage(); }
    // Clicks the radio of `code` once the previous command guard has run out.
    void click(TimingCode code) {
        services.runFor(60);
        window().timingPage().timingButton(code)->click();
    }
    void save(int slot) {
        services.runFor(60);
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
    // Frames written since `from` and their times in ms after the first of them.
    std::vector<std::pair<Bytes, std::int64_t>> timedSince(std::size_t from) const {
        std::vector<std::pair<Bytes, std::int64_t>> frames;
        for (std::size_t i = from; i < channel.writes().size(); ++i)
            frames.emplace_back(
                channel.writes()[i].bytes,
                (channel.writes()[i].timeUs - channel.writes()[from].timeUs) / 1000);
        return frames;
    }
};

TEST_F(TimingPagesTest, SelectingATimingSendsItAndShowsItsDetailsAndLock) {
    struct Row {
        const char* name;
        std::uint8_t code;
        std::vector<std::pair<QString, QString>> shown;
        int polarity;  // checked "+" (0) or "-" (1) of both pairs
        bool locked;
    };
    const Row rows[] = {
        {"4K(4:2:0)(60) doubled and locked",
         0x22,
         {{"Video clk:", "297"},
          {"H freq:", "135"},
          {"V freq:", "60"},
          {"Hs offset:", "368"},
          {"V blank:", "90"},
          {"Vs offset:", "8"}},
         0,
         true},
        {"640x480(60) unlocks",
         0x00,
         {{"H freq:", "31.47"}, {"V freq:", "59.94"}, {"Hs offset:", "24"}, {"Vs offset:", "18"}},
         1,
         false},
    };
    attachGenerator(1);
    connect(1);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        click(row.code);
        services.runFor(10);
        EXPECT_EQ(writtenSince(channel.writes().size() - 1).back(), setTiming(row.code));
        EXPECT_EQ(panelTiming(), qs(timingStatusName(row.code)));
        for (const auto& [label, text] : row.shown)
            EXPECT_EQ(field(label)->text(), text) << label.toStdString();
        EXPECT_EQ(details().hSyncGroup->checkedId(), row.polarity);
        EXPECT_EQ(details().vSyncGroup->checkedId(), row.polarity);
        EXPECT_EQ(field("Video clk:")->isReadOnly(), row.locked);
        EXPECT_TRUE(field("H total:")->isReadOnly());
        EXPECT_EQ(details().saveButton->isEnabled(), !row.locked);
        EXPECT_EQ(details().scanTypeGroup->button(1)->isEnabled(), !row.locked);
    }
}

// The Setting page and the status panel follow the 4K colour rule (pinned with coloursForTiming);
// with the port closed the click shows the message and still does all of that.
TEST_F(TimingPagesTest, ColourRuleFollowsTheSelectedTimingEvenWithThePortClosed) {
    CConsoleDlg& w = window();
    receive(answerFrame(kBroadcast, CMD_GET_COLOR_SPACE, {0x01}));
    receive(answerFrame(kBroadcast, CMD_GET_COLOR_DEPTH, {0x02}));
    click(0x22);
    EXPECT_EQ(w.settingPage().groups[2]->checkedId(), 4);
    EXPECT_EQ(w.settingPage().groups[3]->checkedId(), 0);
    EXPECT_EQ(panelText(SettingOption::ColorSpace), "YUV4:2:0");
    EXPECT_EQ(panelText(SettingOption::ColorDepth), "24bit");
    EXPECT_EQ(panelTiming(), "4K(4:2:0)(60)");
    EXPECT_EQ(messageTexts(), QStringList{kNotOn});
}

TEST_F(TimingPagesTest, AutoAsksForTheDetails400MsLaterAndShowsThemOnlyWhenAnswered) {
    attachGenerator(1);
    CConsoleDlg& w = window();
    connect(1);
    click(0x14);
    services.runFor(10);
    const TimingDetails before = details().details;
    const std::size_t from = channel.writes().size();
    click(kAutoTiming);
    EXPECT_EQ(details().details, before);
    EXPECT_EQ(panelTiming(), "AUTO");
    services.runFor(100);
    EXPECT_EQ(timedSince(from),
              (std::vector<std::pair<Bytes, std::int64_t>>{
                  {setTiming(0x36), 0},
                  {commandFrame(kBroadcast, CMD_GET_TIMING_DETAILS, {0x36}), 400}}));
    EXPECT_TRUE(details().details.hasTiming);
    EXPECT_EQ(details().details, recordTimingDetails(w.answers().currentTiming()));

    w.connection().togglePort();
    std::vector<std::int64_t> shownAt;
    services.messageHook = [&](const auto&) { shownAt.push_back(services.nowMs()); };
    click(kAutoTiming);
    ASSERT_EQ(shownAt.size(), 2u);
    EXPECT_EQ(shownAt[1] - shownAt[0], 400);
}

TEST_F(TimingPagesTest, UserSlotShowsItsRecordAndSavingStoresAndSelectsIt) {
    sim::GeneratorLine& line = attachGenerator(1);
    UserTiming slot3 = standardTimingRecord(0x00);
    slot3.slot = 2;
    ASSERT_TRUE(line.device(0).handle(CMD_STORE_USER_TIMING, slot3.toBytes(), 0).has_value());
    CConsoleDlg& w = window();
    connect(1);
    click(0x39);
    services.runFor(10);
    EXPECT_EQ(writtenSince(channel.writes().size() - 1).back(), setTiming(0x39));
    EXPECT_EQ(details().details, recordTimingDetails(slot3));
    EXPECT_EQ(panelTiming(), "640x480(60)");

    // 1080i(60) unedited into slot 1: per-field V values, flags 0x07, and the slot selected.
    click(0x0E);
    save(1);
    services.runFor(10);
    EXPECT_EQ(line.device(0).userTimings()[0],
              (UserTiming{0, 7425, 0x07, 1920, 280, 88, 44, 540, 22, 2, 5}));
    EXPECT_EQ(w.timingPage().timingButton(0x37)->text(), "1920x1080i(60)");
    EXPECT_EQ(w.timingPage().timingGroup->checkedId(), 0x37);
    EXPECT_EQ(panelTiming(), "1920x1080i(60)");

    // Saving slot 3 parks the generator on 1024x768(60) first (the waits are the store
    // operation's); just after a timing click the guard drops the slot's selection, so the
    // parking timing stays checked.
    save(3);
    services.runFor(100);
    w.timingPage().timingButton(0x0C)->click();
    details().saveButton->click();
    EXPECT_EQ(w.timingPage().timingGroup->checkedId(), 0x02);
    EXPECT_EQ(panelTiming(), "1024x768(60)");
}

// What a save stores from what the fields hold, and what it refuses before anything is sent. The
// slot saved last is the one of the previous press, refused or not.
TEST_F(TimingPagesTest, SaveTakesTheClockAsEnteredAndReportsWhatItCannotTake) {
    const char* const noSlot =
        "Should select a valuable UserDefine number from the Pull-down-select-box on the right";
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
        {"no slot chosen", 0, "Video clk:", "74.25", std::nullopt, noSlot},
    };
    attachGenerator(1);
    CConsoleDlg& w = window();
    // As created the page holds zeros, which a save takes without complaint.
    save(10);
    EXPECT_EQ(messageTexts(), QStringList(2, kNotOn));
    connect(1);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        click(0x14);
        services.clearMessages();
        const std::size_t from = channel.writes().size();
        const UserTiming& stored = w.connection().receiver().userTimings[static_cast<std::size_t>(
            row.slot > 0 ? row.slot - 1 : 0)];
        const UserTiming before = stored;
        field(row.label)->setText(row.typed);
        save(row.slot);
        EXPECT_EQ(messageTexts(), row.message ? QStringList{row.message} : QStringList{});
        EXPECT_EQ(stored.clock10kHz, row.clock.value_or(before.clock10kHz));
        EXPECT_EQ(stored.hBlank, row.clock ? 280 : before.hBlank);
        EXPECT_EQ(writtenSince(from).size(), row.clock ? 2u + row.parks : 0u);
    }
}

TEST_F(TimingPagesTest, UpdateStatusSweepsOnlyWithThePortOpen) {
    attachGenerator(1);
    CConsoleDlg& w = window();
    details().updateButton->click();
    EXPECT_EQ(messageTexts(), QStringList{kNotOn});
    EXPECT_TRUE(channel.writes().empty());

    connect(1);
    const std::size_t from = channel.writes().size();
    details().updateButton->click();
    EXPECT_EQ(services.timerInterval(w.connection(), CConnection::kWatchdogTimer), 400);
    services.runFor(1);
    EXPECT_EQ(writtenSince(from), std::vector<Bytes>{commandFrame(kBroadcast, CMD_GET_TIMING)});
}

}  // namespace
}  // namespace krx::testing
