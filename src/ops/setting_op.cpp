// SPDX-License-Identifier: MIT
#include "ops/setting_op.h"

#include "model/setting_table.h"

namespace krx::ops {

SetOutcome applySetting(SettingLine& line, SettingOption option, int value, SetFollowUp followUp) {
    const SettingFacts& facts = settingFacts(option);
    // A refusal that needs no state (the disabled YUV4:2:0) comes without asking.
    RuleState state;
    if (const auto refusal = settingRefusal(option, value, state.timing, state.outputMode)) {
        line.refuse(*refusal);
        return SetOutcome::Refused;
    }
    if (option == SettingOption::ColorSpace || option == SettingOption::ColorDepth) {
        const auto known = line.ruleState();
        if (!known)
            return SetOutcome::Stopped;
        state = *known;
        if (const auto refusal = settingRefusal(option, value, state.timing, state.outputMode)) {
            line.refuse(*refusal);
            return SetOutcome::Refused;
        }
    }
    const auto payload = static_cast<std::uint8_t>(value);
    if (!line.send(facts.setCode, {&payload, 1}))
        return SetOutcome::LineLost;

    const bool isAuto = facts.hasAuto() && value == facts.autoValue;
    const bool readBack = followUp == SetFollowUp::ReadBackThenAutoLinkStatus;
    const bool linkStatus = isAuto && followUp != SetFollowUp::Nothing;
    if (option == SettingOption::AudioBits) {
        if (!line.settle(kAudioBitsWaitMs))
            return SetOutcome::LineLost;
    } else if ((readBack || linkStatus) && !line.settle(kSetFollowUpWaitMs)) {
        return SetOutcome::LineLost;
    }
    if (readBack) {
        if (!line.send(facts.getCode, {}))
            return SetOutcome::LineLost;
        if (!line.readBackSent(option, value))
            return SetOutcome::Stopped;
    }
    if (linkStatus) {
        if (!line.send(CMD_GET_LINK_STATUS, {}))
            return SetOutcome::LineLost;
        if (!line.linkStatusSent(option))
            return SetOutcome::Stopped;
    }
    return SetOutcome::Sent;
}

}  // namespace krx::ops
