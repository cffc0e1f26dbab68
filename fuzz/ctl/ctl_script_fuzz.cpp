// SPDX-License-Identifier: MIT
// Arbitrary bytes as a krx-vtp-ctl script. A script parses into commands whose values the
// generator takes, with line numbers that rise and stay inside the text, or into an error that
// names a line of the text in a short message without control bytes. Violated invariants abort, so
// that libFuzzer and the corpus replay report them.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "ctl_command.h"

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

bool valueTaken(const krx::ctl::Command& command) {
    using krx::ctl::CommandKind;
    switch (command.kind) {
        case CommandKind::Timing:
            return krx::isTimingCode(command.value);
        case CommandKind::Pattern:
            return command.value >= 0 && command.value <= krx::kLastPatternCode;
        case CommandKind::Set:
            return krx::settingFacts(command.option).isValue(command.value);
        case CommandKind::Power:
            return command.value == 0 || command.value == 1;
        case CommandKind::Wait:
            return command.value >= 0;
        case CommandKind::EdidRead:
            return command.value >= 0 && command.value <= 10;
        case CommandKind::AddressWrite:
            return command.value >= 0 && command.value <= 0xFFFF;
        case CommandKind::Details:
            return command.value == -1 || krx::isTimingCode(command.value);
        case CommandKind::StoreUserTiming:
            return command.value >= 1 && command.value <= 10 &&
                   (command.fromCode == -1 || krx::isTimingCode(command.fromCode)) &&
                   std::all_of(command.edits.begin(), command.edits.end(),
                               [](const krx::ctl::TimingEdit& edit) {
                                   return edit.field <= krx::ctl::kVSyncEdit;
                               });
        case CommandKind::Search:
            return false;  // never inside a script
        case CommandKind::Status:
        case CommandKind::ResetDefaults:
        case CommandKind::AddressRead:
            return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto lineCount = static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;
    const auto parsed = krx::ctl::parseScript(text);
    if (const auto* error = std::get_if<krx::ctl::ScriptError>(&parsed)) {
        check(error->lineNumber >= 1 && error->lineNumber <= lineCount);
        check(!error->message.empty() && error->message.size() <= 1000);
        check(std::none_of(error->message.begin(), error->message.end(), [](char c) {
            return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
        }));
        return 0;
    }
    int previous = 0;
    for (const krx::ctl::ScriptLine& line : std::get<std::vector<krx::ctl::ScriptLine>>(parsed)) {
        check(line.lineNumber > previous && line.lineNumber <= lineCount);
        check(valueTaken(line.command));
        previous = line.lineNumber;
    }
    return 0;
}
