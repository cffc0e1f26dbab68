// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>

#include "link/command_frame.h"
#include "link/response_receiver.h"

namespace krx {

class CConnection;
class CPowerControl;
class CStatusPanel;
class PageHost;

// What the console does with the generator's answers: the general matcher's handlers, one per
// answer code that needs an action, the end of a status sweep and the EDID read. They write the
// pages, the status panel and the power pair and refresh what they wrote. Window thread only.
class CAnswerHandlers final : public ReceiverActions {
  public:
    // Called with the address a read-address answer (0xF801) reported, after it became the target.
    using AddressRead = std::function<void(TargetAddress)>;

    // Every part is only referred to here: none is used before the first answer.
    CAnswerHandlers(CConnection& link, PageHost& pages, CStatusPanel& panel, CPowerControl& power,
                    AddressRead addressRead);

    // The last CMD_GET_TIMING_DETAILS answer; zero until one came.
    const UserTiming& currentTiming() const { return currentTiming_; }

    // ReceiverActions
    void sendQuery(CommandCode code, std::span<const std::uint8_t> payload) override;
    void startWatchdog(int intervalMs) override;
    void stopWatchdog() override;
    void storeEdidByte(std::size_t index, std::uint8_t value) override;
    void edidReceived() override;
    void sweepFinished() override;
    void runHandler(std::size_t codeIndex, std::span<const std::uint8_t> answer) override;

  private:
    using Answer = std::span<const std::uint8_t>;
    using Handler = std::function<void(Answer)>;

    // Each handler ignores an answer too short for the data it reads.
    void onTimingAnswer(Answer answer);
    void onTimingDetailsAnswer(Answer answer);
    void onLinkStatusAnswer(Answer answer);
    void onPowerAnswer(Answer answer);
    void onHotPlugAnswer(Answer answer);
    void onReadAddressAnswer(Answer answer);
    // A one-byte Setting answer: the page's selection := d0, page refreshed, then the status text
    // (the audio source has none).
    void onSettingAnswer(Answer answer, SettingOption option);
    // The status panel and the power pair to the screen.
    void refreshWindow();

    CConnection& link_;
    PageHost& pages_;
    CStatusPanel& panel_;
    CPowerControl& power_;
    AddressRead addressRead_;
    UserTiming currentTiming_{};
    std::array<Handler, kResponseCodes.size()> handlers_;
};

}  // namespace krx
