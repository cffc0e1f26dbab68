// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "link/command_frame.h"
#include "link/device_status.h"
#include "link/generator_facts.h"
#include "model/status_texts.h"

namespace krx {

class WindowServices;
class CTimingPage;
class CTimingDetailsPage;
class CPatternPage;
class CSettingPage;
class CEdidPage;

// The link as the pages use it: the frame senders, the port-open flag, the status sweep, the EDID
// read and the command guard. Implemented by the main window's connection. Window thread only.
class PageLink {
  public:
    virtual void sendCommand(CommandCode code) = 0;
    virtual void sendCommandWithData(CommandCode code, int length, const std::uint8_t* payload) = 0;
    // Puts the receiver into EDID-read mode for the answer to CMD_READ_SAVED_EDID (fromSavedSlot)
    // or CMD_READ_TV_EDID and (re)starts the response watchdog with `watchdogMs`.
    virtual void startEdidRead(bool fromSavedSlot, int watchdogMs) = 0;
    virtual bool portOpen() const = 0;
    // The status sweep that starts with CMD_GET_TIMING and arms the watchdog with `intervalMs`.
    virtual void startStatusSweep(int intervalMs) = 0;
    // The command guard shared by the Timing, Pattern and Setting pages against a second
    // selection arriving too soon (a duplicate click). Returns false when the guard was set: it
    // is cleared and the caller sends nothing. Otherwise sets it, starts timer 5 (which clears it
    // after 50 ms) and returns true.
    virtual bool takeCommandGuard() = 0;

  protected:
    ~PageLink() = default;
};

// The main window's status panel as the pages write it. A setter changes only the text; the
// panel shows it at the next refresh(). Every value, in range or not, maps to a text.
class StatusPanel {
  public:
    virtual void setOptionText(SettingOption option, int value) = 0;
    // Writes an option's text as given, without the value table (the DVI button's "DVI ").
    virtual void writeOptionText(SettingOption option, std::string_view text) = 0;
    // The timing's name; a user timing's text is composed from `shown`, what the Timing Details
    // page holds for it.
    virtual void setTimingText(TimingCode code, const TimingDetails& shown) = 0;
    virtual void refresh() = 0;

  protected:
    ~StatusPanel() = default;
};

// What a page is handed by the main window, its parent: the framework, the link, the status
// panel, the generator's timing records and its sibling pages. The pages never see the window
// class itself, so this library stays below the application layer. Window thread only.
class PageHost final {
  public:
    struct Pages {
        CTimingPage* timing = nullptr;
        CTimingDetailsPage* timingDetails = nullptr;
        CPatternPage* pattern = nullptr;
        CSettingPage* setting = nullptr;
        CEdidPage* edid = nullptr;
    };

    // `currentTiming` is the last CMD_GET_TIMING_DETAILS answer, `userTimings` the ten user slots
    // (index 0 for slot 1); both outlive the host.
    PageHost(WindowServices& services, PageLink& link, StatusPanel& panel,
             const UserTiming& currentTiming, std::array<UserTiming, kUserTimingSlots>& userTimings)
        : services_(services),
          link_(link),
          panel_(panel),
          currentTiming_(currentTiming),
          userTimings_(userTimings) {}

    // The pages once they exist; each page is built with the host before its siblings are.
    void handPages(const Pages& pages) { pages_ = pages; }

    WindowServices& services() { return services_; }

    void sendCommand(CommandCode code) { link_.sendCommand(code); }
    void sendCommandWithData(CommandCode code, int length, const std::uint8_t* payload) {
        link_.sendCommandWithData(code, length, payload);
    }
    void startEdidRead(bool fromSavedSlot, int watchdogMs) {
        link_.startEdidRead(fromSavedSlot, watchdogMs);
    }
    bool portOpen() const { return link_.portOpen(); }
    void startStatusSweep(int intervalMs) { link_.startStatusSweep(intervalMs); }
    bool takeCommandGuard() { return link_.takeCommandGuard(); }

    const UserTiming& currentTiming() const { return currentTiming_; }
    std::span<const UserTiming, kUserTimingSlots> userTimings() const { return userTimings_; }
    // The console's copy of user slot `index` + 1 (index 0..9), written when a slot is stored.
    void setUserTiming(std::size_t index, const UserTiming& record) {
        if (index < userTimings_.size())
            userTimings_[index] = record;
    }

    StatusPanel& statusPanel() { return panel_; }
    // Shows the status panel's texts, the only part of the main window the pages write.
    void refreshMainWindow() { panel_.refresh(); }

    CTimingPage& timingPage() { return *pages_.timing; }
    CTimingDetailsPage& timingDetailsPage() { return *pages_.timingDetails; }
    CPatternPage& patternPage() { return *pages_.pattern; }
    CSettingPage& settingPage() { return *pages_.setting; }
    CEdidPage& edidPage() { return *pages_.edid; }

  private:
    WindowServices& services_;
    PageLink& link_;
    StatusPanel& panel_;
    const UserTiming& currentTiming_;
    std::array<UserTiming, kUserTimingSlots>& userTimings_;
    Pages pages_;
};

}  // namespace krx
