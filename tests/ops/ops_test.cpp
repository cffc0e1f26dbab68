// SPDX-License-Identifier: MIT
// The operations on a recording front end: the frames in order ("code payload" in hex), the
// waits between them ("settle N" after a set, "wait N" plain) and what the front end was asked,
// joined by ", ".
#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>

#include "address/hex_text.h"
#include "link/traffic_record.h"
#include "ops/edid_read_op.h"
#include "ops/port_search.h"
#include "ops/setting_op.h"
#include "ops/user_timing_op.h"

namespace krx::ops {
namespace {

struct Log {
    void add(const std::string& event) { text += (text.empty() ? "" : ", ") + event; }
    std::string text;
};

template <class Line>
class Recording : public Line {
  public:
    bool send(CommandCode code, std::span<const std::uint8_t> payload) override {
        log.add(formatHex4(code) + (payload.empty() ? "" : " " + hexPairs(payload)));
        return sendsLeft-- > 0;
    }
    bool settle(int ms) override {
        log.add("settle " + std::to_string(ms));
        return true;
    }
    void waitMs(int ms) override { log.add("wait " + std::to_string(ms)); }
    void refuse(std::string_view message) override { log.add("refuse " + std::string(message)); }

    Log log;
    int sendsLeft = 100;  // send() fails once these are used up

  protected:
    ~Recording() = default;
};

// ---- A setting ------------------------------------------------------------------------------

class SettingFake final : public Recording<SettingLine> {
  public:
    std::optional<RuleState> ruleState() override {
        log.add("state?");
        return state;
    }
    bool readBackSent(SettingOption, int value) override {
        log.add("read back " + std::to_string(value));
        return readBackMatches;
    }
    bool linkStatusSent(SettingOption) override {
        log.add("link status?");
        return true;
    }

    std::optional<RuleState> state;
    bool readBackMatches = true;
};

struct SettingRow {
    const char* name;
    SettingOption option;
    int value;
    SetFollowUp followUp;
    std::optional<RuleState> state;  // the timing output and output mode
    const char* events;
    SetOutcome outcome = SetOutcome::Sent;
    bool readBackMatches = true;
};

using enum SettingOption;
using enum SetOutcome;
constexpr auto kConsole = SetFollowUp::AutoLinkStatus;
constexpr auto kClient = SetFollowUp::ReadBackThenAutoLinkStatus;
constexpr RuleState kHdmi1080p{0x14, 1};
constexpr RuleState kHdmi4k30{0x1C, 1};

TEST(Setting, SendsFollowsUpOrRefuses) {
    const SettingRow rows[] = {
        {"HdcpOn", Hdcp, 1, kConsole, kHdmi1080p, "0065 01"},
        {"AutoColourSpace", ColorSpace, 3, kConsole, kHdmi1080p,
         "state?, 0063 03, settle 300, 80A9, link status?"},
        {"AudioBitsWaitAlways", AudioBits, 2, kConsole, kHdmi1080p, "0068 02, settle 20"},
        {"AutoAudioBitsAskAfterTheirWait", AudioBits, 3, kConsole, kHdmi1080p,
         "0068 03, settle 20, 80A9, link status?"},
        {"FourKDepth30Bit", ColorDepth, 1, kConsole, kHdmi4k30,
         "state?, refuse When in 4K mode, Color Depth is fixed to 24bit !", Refused},
        {"Yuv420WithoutAsking", ColorSpace, 4, kClient, std::nullopt, "refuse Not availabe yet!",
         Refused},
        {"RuleStateUnanswered", ColorDepth, 1, kClient, std::nullopt, "state?", Stopped},
        {"ClientReadsBack", SampleRate, 2, kClient, kHdmi1080p,
         "0067 02, settle 300, 8067, read back 2"},
        {"ClientAutoReadBackThenLinkStatus", ColorSpace, 3, kClient, kHdmi1080p,
         "state?, 0063 03, settle 300, 8063, read back 3, 80A9, link status?"},
        {"ClientReadBackDiffersAsksNoMore", Channels, 7, kClient, kHdmi1080p,
         "006A 07, settle 300, 806A, read back 7", Stopped, false},
        {"AllSilentAsksNothing", ColorSpace, 3, SetFollowUp::Nothing, RuleState{},
         "state?, 0063 03"}};
    for (const SettingRow& row : rows) {
        SCOPED_TRACE(row.name);
        SettingFake line;
        line.state = row.state;
        line.readBackMatches = row.readBackMatches;
        EXPECT_EQ(applySetting(line, row.option, row.value, row.followUp), row.outcome);
        EXPECT_EQ(line.log.text, row.events);
    }
}

// ---- Storing a user timing ------------------------------------------------------------------

class StoreFake final : public Recording<StoreLine> {
  public:
    std::optional<TimingCode> outputTiming() override {
        log.add("timing?");
        return output;
    }
    void storing(const UserTiming& record) override {
        log.add("storing " + std::to_string(record.slot));
    }

    std::optional<TimingCode> output;
};

struct StoreRow {
    const char* name;
    int slot;
    float clockMHz;
    ParkWhen parkWhen;
    int slotSavedLast;
    std::optional<TimingCode> output;
    const char* events;
    StoreOutcome::Status status = StoreOutcome::Status::Stored;
    int sendsLeft = 100;
};

// 1080i(60) into slot 1 stores V per field, flags 0x07 and the clock 7425.
#define STORE_1 "storing 0, 00A0 00 01 1D 07 80 07 18 01 58 00 2C 00 1C 02 16 00 02 00 05 00"

constexpr auto kSavedLast = ParkWhen::SavedLast;
constexpr auto kBeingOutput = ParkWhen::BeingOutput;
using Status = StoreOutcome::Status;

TEST(Store, ParksStoresAndWaits) {
    const StoreRow rows[] = {
        {"FirstPress", 1, 74.25f, kSavedLast, -1, -1, STORE_1 ", wait 500"},
        {"SameSlotAgainParks", 1, 74.25f, kSavedLast, 1, -1,
         "0061 02, settle 400, " STORE_1 ", wait 500"},
        {"OtherSlotThanLastTime", 2, 74.25f, kSavedLast, 1, 0x37,
         "storing 1, 00A0 01 01 1D 07 80 07 18 01 58 00 2C 00 1C 02 16 00 02 00 05 00, "
         "wait 500"},
        // Refused before anything is sent, even when the slot (none) is the one of last time.
        {"NoSlotChosen", 0, 74.25f, kSavedLast, 0, -1,
         "refuse Should select a valuable UserDefine number from the "
         "Pull-down-select-box on the right",
         Status::Refused},
        {"ClockAbove300MHz", 1, 300.1f, kBeingOutput, 1, 0x37,
         "refuse pixcel clock can not be higher than 300MHz", Status::Refused},
        {"SlotBeingOutputParks", 1, 74.25f, kBeingOutput, 1, 0x37,
         "timing?, 0061 02, settle 400, " STORE_1 ", wait 500"},
        {"OtherTimingOutput", 1, 74.25f, kBeingOutput, 1, 0x14, "timing?, " STORE_1 ", wait 500"},
        {"OutputTimingUnanswered", 1, 74.25f, kBeingOutput, -1, std::nullopt, "timing?",
         Status::NoAnswer},
        {"LineLostAtTheStore", 1, 74.25f, kBeingOutput, -1, 0x37,
         "timing?, 0061 02, settle 400, " STORE_1, Status::LineLost, 1}};
    for (const StoreRow& row : rows) {
        SCOPED_TRACE(row.name);
        StoreFake line;
        line.output = row.output;
        line.sendsLeft = row.sendsLeft;
        StoreRequest request{row.slot, standardTimingDetails(0x0E), row.parkWhen,
                             row.slotSavedLast};
        request.details.videoClkMHz = row.clockMHz;
        const StoreOutcome outcome = storeUserTiming(line, request);
        EXPECT_EQ(outcome.status, row.status);
        EXPECT_EQ(line.log.text, row.events);
        EXPECT_EQ(outcome.parked, std::string(row.events).find("0061 02") != std::string::npos);
    }
}

// ---- The EDID read --------------------------------------------------------------------------

class EdidFake final : public Recording<EdidLine> {
  public:
    bool awaitEdid(bool fromSavedSlot, int watchdogMs) override {
        log.add(std::string(fromSavedSlot ? "saved" : "tv") + " read " +
                std::to_string(watchdogMs));
        return true;
    }
};

TEST(EdidRead, AsksForTheSourceAndArmsTheRead) {
    // Source 0 is the display, n the saved slot n; -1, no item chosen, asks for 0xFE.
    for (const auto& [source, events] : {std::pair{0, "B838 01, tv read 600"},
                                         {3, "80AA 02, saved read 600"},
                                         {10, "80AA 09, saved read 600"},
                                         {-1, "80AA FE, saved read 600"}}) {
        EdidFake line;
        EXPECT_TRUE(readEdid(line, source));
        EXPECT_EQ(line.log.text, events);
    }
    // A request that could not be sent still arms the read, which then times out.
    EdidFake refused;
    refused.sendsLeft = 0;
    EXPECT_FALSE(readEdid(refused, 0));
    EXPECT_EQ(refused.log.text, "B838 01, tv read 600");
}

// ---- The port search ------------------------------------------------------------------------

class SearchFake final : public SearchLine {
  public:
    bool openPort(int comNumber) override {
        ++attempts;
        if (opening.contains(comNumber))
            log.add("open COM" + std::to_string(comNumber));
        return opening.contains(comNumber);
    }
    void closePort() override { log.add("close"); }
    void waitMs(int ms) override { log.add("wait " + std::to_string(ms)); }
    void sendProbe(int answerWaitMs) override { log.add("probe " + std::to_string(answerWaitMs)); }

    std::set<int> opening;
    int attempts = 0;
    Log log;
};

struct SearchRow {
    const char* name;
    std::set<int> opening;
    std::set<int> answering;
    int pauseMs;
    const char* events;
    std::optional<PortSearch::Step> last;  // nothing: no port opened
    int port;
};

using enum PortSearch::Step;

TEST(Search, WalksThePortsUntilOneAnswers) {
    const SearchRow rows[] = {
        {"NoPortOpens", {}, {}, 50, "", std::nullopt, 99},
        {"GeneratorOnCom3",
         {2, 3},
         {3},
         50,
         "open COM2, probe 300, close, open COM3, wait 50, probe 400",
         Found,
         3},
        {"GeneratorOnCom1", {1, 2}, {1}, 50, "open COM1, probe 300", Found, 1},
        {"NoneAnswersWithoutPause",
         {5, 99},
         {},
         0,
         "open COM5, probe 300, close, open COM99, probe 400, close",
         Exhausted,
         99}};
    for (const SearchRow& row : rows) {
        SCOPED_TRACE(row.name);
        SearchFake line;
        line.opening = row.opening;
        PortSearch search(line, row.pauseMs);
        std::optional<PortSearch::Step> step;
        if (search.start()) {
            do
                step = search.probeEnded(row.answering.contains(search.port()));
            while (step == PortSearch::Step::Probing);
        }
        EXPECT_EQ(step, row.last);
        EXPECT_EQ(line.log.text, row.events);
        EXPECT_EQ(search.port(), row.port);
        // Every number from COM1 to the port is tried once, and no further.
        EXPECT_EQ(line.attempts, row.port);
    }
}

}  // namespace
}  // namespace krx::ops
