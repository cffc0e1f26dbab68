// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <span>

#include <QString>

#include "link/command_frame.h"
#include "link/device_status.h"

namespace krx {

class WindowServices;
class CTimingPage;
class CTimingDetailsPage;
class CPatternPage;
class CSettingPage;
class CEdidPage;

// What the pages need of the main window, their parent: the frame senders, the timing records,
// the status-panel setters and the sibling pages. Implemented by CConsoleDlg; the pages never see
// the window class itself, so this library stays below the application layer. Window thread only.
class PageHost {
  public:
    virtual WindowServices& services() = 0;

    virtual void sendCommand(CommandCode code) = 0;
    virtual void sendCommandWithData(CommandCode code, int length, const std::uint8_t* payload) = 0;
    // Puts the receiver into EDID-read mode for the answer to CMD_READ_SAVED_EDID (fromSavedSlot)
    // or CMD_READ_TV_EDID and (re)starts the response watchdog with `watchdogMs`.
    virtual void startEdidRead(bool fromSavedSlot, int watchdogMs) = 0;

    // The generator's records: the current timing (last CMD_GET_TIMING_DETAILS answer) and the
    // ten user slots (index 0 for slot 1).
    virtual const UserTiming& currentTiming() const = 0;
    virtual std::span<const UserTiming, kUserTimingSlots> userTimings() const = 0;
    // The console's copy of user slot `index` + 1 (index 0..9), written when a slot is stored.
    virtual void setUserTiming(std::size_t index, const UserTiming& record) = 0;

    // The port-open flag, and the status sweep that starts with CMD_GET_TIMING and arms the
    // response watchdog with `intervalMs`.
    virtual bool portOpen() const = 0;
    virtual void startStatusSweep(int intervalMs) = 0;

    // Status-panel setters: each changes only the text member; the caller refreshes the main
    // window afterwards. Every value, in range or not, maps to a text.
    virtual void setHdcpText(int value) = 0;
    virtual void setOutputModeText(int value) = 0;
    virtual void setColorSpaceText(int value) = 0;
    virtual void setColorDepthText(int value) = 0;
    virtual void setSampleRateText(int value) = 0;
    virtual void setAudioBitsText(int value) = 0;
    virtual void setChannelsText(int value) = 0;
    virtual void setAudioTypeText() = 0;
    virtual void setTimingText(int code) = 0;
    // Writes the output mode text as given, without the value table: the Setting page's DVI
    // button shows "DVI " with a trailing blank, which no reported value maps to.
    virtual void writeOutputModeText(const QString& text) = 0;
    // Writes the main window's members to its controls.
    virtual void refreshMainWindow() = 0;

    // The command guard shared by the Timing, Pattern and Setting pages against a second
    // selection arriving too soon (a duplicate click). Returns false when the guard was set: it is
    // cleared and the caller sends nothing. Otherwise sets it, starts timer 5 (which clears it
    // after 50 ms) and returns true.
    virtual bool takeCommandGuard() = 0;

    virtual CTimingPage& timingPage() = 0;
    virtual CTimingDetailsPage& timingDetailsPage() = 0;
    virtual CPatternPage& patternPage() = 0;
    virtual CSettingPage& settingPage() = 0;
    virtual CEdidPage& edidPage() = 0;

  protected:
    ~PageHost() = default;
};

}  // namespace krx
