// SPDX-License-Identifier: MIT
#include "app/answer_handlers.h"

#include "app/connection.h"
#include "app/power_control.h"
#include "app/status_panel.h"
#include "link/generator_facts.h"
#include "pages/edid_page.h"
#include "pages/pattern_page.h"
#include "pages/setting_page.h"
#include "pages/timing_details_page.h"
#include "pages/timing_page.h"

namespace krx {
namespace {

// Answer bytes are read as signed: a reported 0x80..0xFF is a negative value.
int signedByte(std::uint8_t byte) {
    return static_cast<std::int8_t>(byte);
}

}  // namespace

CAnswerHandlers::CAnswerHandlers(CConnection& link, PageHost& pages, CStatusPanel& panel,
                                 CPowerControl& power, AddressRead addressRead)
    : link_(link),
      pages_(pages),
      panel_(panel),
      power_(power),
      addressRead_(std::move(addressRead)) {
    // Every other known code: accepted, no action.
    auto set = [this](CommandCode code, Handler handler) {
        handlers_[*responseCodeIndex(code)] = std::move(handler);
    };
    for (const SettingFacts& facts : kSettingFacts)
        set(facts.getCode, [this, option = facts.option](Answer a) { onSettingAnswer(a, option); });
    set(CMD_GET_TIMING, [this](Answer answer) { onTimingAnswer(answer); });
    set(CMD_GET_PATTERN, [this](Answer answer) {
        if (!answer.empty())
            pages_.patternPage().showPattern(signedByte(answer[0]));
    });
    set(CMD_GET_TIMING_DETAILS, [this](Answer answer) { onTimingDetailsAnswer(answer); });
    set(CMD_GET_LINK_STATUS, [this](Answer answer) { onLinkStatusAnswer(answer); });
    set(CMD_GET_POWER, [this](Answer answer) { onPowerAnswer(answer); });
    set(CMD_GET_HOT_PLUG, [this](Answer answer) { onHotPlugAnswer(answer); });
    set(CMD_READ_ADDRESS, [this](Answer answer) { onReadAddressAnswer(answer); });
}

void CAnswerHandlers::sendQuery(CommandCode code, std::span<const std::uint8_t> payload) {
    link_.sendCommandWithData(code, static_cast<int>(payload.size()), payload.data());
}

void CAnswerHandlers::startWatchdog(int intervalMs) {
    link_.startWatchdog(intervalMs);
}

void CAnswerHandlers::stopWatchdog() {
    link_.stopWatchdog();
}

void CAnswerHandlers::storeEdidByte(std::size_t index, std::uint8_t value) {
    EdidImage& image = pages_.edidPage().edidImage;
    if (index < image.size())
        image[index] = value;
}

void CAnswerHandlers::edidReceived() {
    pages_.edidPage().onEdidReceived();
}

void CAnswerHandlers::sweepFinished() {
    const DeviceStatus& status = link_.receiver().deviceStatus;
    power_.show(status.power);
    pages_.patternPage().showPattern(status.patternCode);
    pages_.timingPage().refreshFromStatus(status);
    pages_.settingPage().showStatus(status);
    pages_.timingPage().refresh();
    // The sweep's own HDCP rule (any non-zero value is on) replaces the Setting page's text.
    panel_.writeOptionText(SettingOption::Hdcp, hdcpSweepText(status.hdcp));
    panel_.setHotPlugText(status.hotPlug);
    panel_.setTimingText(status.timingCode, pages_.timingDetailsPage().details);
    refreshWindow();
}

void CAnswerHandlers::runHandler(std::size_t codeIndex, std::span<const std::uint8_t> answer) {
    if (codeIndex < handlers_.size() && handlers_[codeIndex])
        handlers_[codeIndex](answer);
}

void CAnswerHandlers::refreshWindow() {
    panel_.refresh();
    power_.refresh();
}

void CAnswerHandlers::onSettingAnswer(Answer answer, SettingOption option) {
    if (answer.empty())
        return;
    CSettingPage& page = pages_.settingPage();
    if (option == SettingOption::ColorSpace)
        page.resetNote.clear();  // the generator is back from its reset
    const int value = signedByte(answer[0]);
    page.selection(option) = value;
    page.refresh();
    if (option == SettingOption::AudioSource)
        return;
    panel_.setOptionText(option, value);
    refreshWindow();
}

void CAnswerHandlers::onTimingAnswer(Answer answer) {
    if (answer.empty())
        return;
    const int code = signedByte(answer[0]);
    CTimingPage& timing = pages_.timingPage();
    timing.selection = code;
    CSettingPage& setting = pages_.settingPage();
    setting.read();
    // The generator switches colour by itself for 4K timings; only the selections follow here.
    const ColourChoice colours = coloursForTiming(code, {setting.colorSpace, setting.colorDepth});
    setting.colorSpace = colours.colorSpace;
    setting.colorDepth = colours.colorDepth;
    pages_.timingDetailsPage().showTiming(timing.selection);
    timing.refresh();
    setting.refresh();
    panel_.setTimingText(code, pages_.timingDetailsPage().details);
    refreshWindow();
    if (code == kAutoTiming)
        link_.sendCommand(CMD_GET_TIMING_DETAILS);
}

void CAnswerHandlers::onTimingDetailsAnswer(Answer answer) {
    if (answer.size() < kUserTimingSize)
        return;
    currentTiming_ = UserTiming::fromBytes(answer.first<kUserTimingSize>());
    pages_.timingDetailsPage().showTiming(pages_.timingPage().selection);
    pages_.timingPage().refresh();
    refreshWindow();
}

void CAnswerHandlers::onLinkStatusAnswer(Answer answer) {
    if (answer.size() < kLinkStatusSize)
        return;
    for (std::size_t i = 0; i < kLinkStatusSize; ++i)
        panel_.setOptionText(kLinkStatusOptions[i], signedByte(answer[i]));
    refreshWindow();
    ResponseReceiver& receiver = link_.receiver();
    if (receiver.detailsPending)
        link_.sendCommand(CMD_GET_TIMING_DETAILS);
    receiver.detailsPending = false;
}

void CAnswerHandlers::onPowerAnswer(Answer answer) {
    if (answer.empty())
        return;
    power_.show(signedByte(answer[0]));
    refreshWindow();
}

void CAnswerHandlers::onHotPlugAnswer(Answer answer) {
    if (answer.empty())
        return;
    panel_.setHotPlugText(signedByte(answer[0]));
    refreshWindow();
}

void CAnswerHandlers::onReadAddressAnswer(Answer answer) {
    if (answer.size() < kAddressAnswerSize)
        return;
    const TargetAddress read{answer[0], answer[1]};
    link_.setTargetAddress(read);
    addressRead_(read);
}

}  // namespace krx
