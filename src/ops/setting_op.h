// SPDX-License-Identifier: MIT
// A choice of a link or audio option: the refusal rules, the set command and the AUTO follow-up.
#pragma once

#include <optional>

#include "link/generator_facts.h"
#include "ops/front_end.h"

namespace krx::ops {

// The wait between a set command and the frame that follows it: the channel keeps frames in
// order, but the generator is asked only once it has taken the set.
inline constexpr int kSetFollowUpWaitMs = 300;
// Audio bits wait this long after every choice, and their AUTO query follows without more.
inline constexpr int kAudioBitsWaitMs = 20;

// What a set command is followed by: the one difference between the front ends.
enum class SetFollowUp {
    // The console: an AUTO choice asks CMD_GET_LINK_STATUS what the generator actually outputs;
    // the receiver shows the answer in the status panel. Nothing is read back, the panel shows
    // the choice at once.
    AutoLinkStatus,
    // krx-vtp-ctl: every set is read back with its get command (a script has no status panel,
    // it reports what the generator took), an AUTO one then asks CMD_GET_LINK_STATUS.
    ReadBackThenAutoLinkStatus,
    // krx-vtp-ctl on the all-silent address: no device answers, so nothing is asked.
    Nothing,
};

// The state the colour rules judge: the timing output and the output mode, -1 when unknown.
struct RuleState {
    TimingCode timing = -1;
    int outputMode = -1;
};

class SettingLine : public FrontEnd {
  public:
    // The rule state for a colour space or depth choice; nothing when the front end could not
    // learn it (no answer).
    virtual std::optional<RuleState> ruleState() = 0;
    // The get command of `option` has been sent after the set of `value`; false ends the
    // operation (no answer, or the generator reports another value).
    virtual bool readBackSent(SettingOption option, int value) = 0;
    // CMD_GET_LINK_STATUS has been sent after an AUTO choice of `option`; false ends the
    // operation.
    virtual bool linkStatusSent(SettingOption option) = 0;

  protected:
    ~SettingLine() = default;
};

enum class SetOutcome {
    Sent,      // the set went out, with its follow-up
    Refused,   // a rule refused the choice: refuse() has its message, nothing was sent
    Stopped,   // the front end could not learn the rule state, or ended the follow-up
    LineLost,  // send() or settle() failed
};

// Chooses `value` of `option`: a refusal that needs no state comes first, then the colour rules
// on the front end's rule state; the set command; for AUTO (and audio bits, always) the wait;
// then the follow-up `followUp` names.
SetOutcome applySetting(SettingLine& line, SettingOption option, int value, SetFollowUp followUp);

}  // namespace krx::ops
