// SPDX-License-Identifier: MIT
// What krx-vtp-ctl is asked to do: its options, its commands and script lines, with every name
// resolved to the generator's codes before anything is sent. Pure.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "edid/edid_forms.h"
#include "link/command_frame.h"
#include "link/generator_facts.h"

namespace krx::ctl {

// The program's exit statuses.
enum class ExitStatus {
    Done = 0,
    NoAnswer = 1,
    Usage = 2,
    Refused = 3,
    PortUnavailable = 4,
    ReadBackDiffers = 5,
    FileNotWritten = 6,
};

enum class CommandKind {
    Search,
    Status,
    Timing,
    Pattern,
    Set,
    Power,
    ResetDefaults,
    Wait,
    EdidRead,
    AddressRead,
    AddressWrite,
    Details,
    StoreUserTiming,
};

// One field of the Timing Details page given on the command line: an index into
// kTimingDetailFields, or kScanTypeEdit / kHSyncEdit / kVSyncEdit with a radio position.
struct TimingEdit {
    std::size_t field = 0;
    double value = 0;
    friend bool operator==(const TimingEdit&, const TimingEdit&) = default;
};
inline constexpr std::size_t kScanTypeEdit = 13;
inline constexpr std::size_t kHSyncEdit = 14;
inline constexpr std::size_t kVSyncEdit = 15;

// One command with its argument resolved: a timing or pattern code, a setting value, 0 for power
// on and 1 for off (the payload of CMD_SET_POWER), the milliseconds of a wait, the saved EDID
// slot 1..10 (0: the attached display's EDID), a new address as group x 256 + device, the
// timing whose details are shown (-1: the generator's current one), or the user slot to store.
struct Command {
    CommandKind kind = CommandKind::Status;
    int value = 0;
    SettingOption option = SettingOption::OutputMode;  // Set only
    std::string saveDir = {};                          // EdidRead: where to save, empty: nowhere
    std::optional<EdidForm> edidForm = {};             // EdidRead: the bytes instead of the report
    TimingCode fromCode = -1;                          // StoreUserTiming: the fields' start
    std::vector<TimingEdit> edits = {};                // StoreUserTiming: then these fields

    // False for what the client knows by itself (a wait, the details of a built-in timing): the
    // port is opened for the first command that needs the generator.
    bool needsGenerator() const;

    friend bool operator==(const Command&, const Command&) = default;
};

// The command as a script names it, without its arguments: "timing", "edid read", ...
std::string_view commandWords(CommandKind kind);

// Where the generator is: COMn through the port map, a device path, a network port's URL, or none
// (search first).
struct PortChoice {
    int comNumber = 0;  // 1..99, 0 when a device path or a URL is given
    std::string devicePath;
    std::string url;  // tcp://HOST:PORT or rfc2217://HOST:PORT, as given

    bool given() const { return comNumber != 0 || !devicePath.empty() || !url.empty(); }
    // COMn, the device path or the URL.
    std::string name() const;
};

struct Options {
    PortChoice port;                // the port this session drives: the first --port
    std::vector<PortChoice> ports;  // every --port, in order: one bench each
    TargetAddress address{};        // the console's start-up target, 0000
    std::optional<int> timeoutMs;
    std::optional<int> reconnectMs;  // how long a lost port is waited for; none: not at all
    bool json = false;
    bool help = false;
    std::string scriptPath;  // "-" standard input; empty when a command is given
    std::string junitPath;   // --junit: where the JUnit report goes; empty: none
    std::optional<Command> command;
    std::string commandText;  // its words, as joinWords gives them

    // FFFF: every device acts and none answers, so nothing can be read from the generator.
    bool silentBroadcast() const { return address == TargetAddress{0xFF, 0xFF}; }
};

struct UsageError {
    std::string message;
};

// The command line without the program name.
std::variant<Options, UsageError> parseOptions(std::span<const std::string> args);

// One command from its words (the command name first).
std::variant<Command, UsageError> parseCommand(std::span<const std::string> words);

struct ScriptLine {
    int lineNumber;  // 1-based; 0 for the command line's command
    Command command;
    std::string text = {};  // its words, double-quoted where they hold a blank (joinWords)
};

struct ScriptError {
    int lineNumber;
    std::string message;
};

// A whole script: one command a line, blank lines and "#" comments skipped, words split at blanks
// with double quotes around a word that holds blanks, a UTF-8 byte-order mark before line 1
// skipped. The first bad line is the error.
std::variant<std::vector<ScriptLine>, ScriptError> parseScript(std::string_view text);

// Words as one script line: separated by a blank, in double quotes when one holds a blank or is
// empty.
std::string joinWords(std::span<const std::string> words);

// A script is read whole before its first line runs; a longer one is refused, whatever it is
// read from.
inline constexpr std::size_t kMaxScriptBytes = 1 << 20;

// Text from the command line or a script as a message shows it: control bytes as \xNN, and
// beyond `limit` bytes cut at a character's start and marked "...".
inline constexpr std::size_t kShownTokenBytes = 64;
std::string shown(std::string_view text, std::size_t limit = kShownTokenBytes);

// Name lookups; each gives the code or says why the name is not one.
std::variant<TimingCode, UsageError> lookupTiming(std::string_view name);
std::variant<PatternCode, UsageError> lookupPattern(std::string_view name);
std::variant<SettingOption, UsageError> lookupSettingKey(std::string_view key);
std::variant<int, UsageError> lookupSettingValue(SettingOption option, std::string_view value);

// The set-command key of an option ("output-mode", ...).
std::string_view settingKey(SettingOption option);

// The --help text.
std::string_view usageText();

}  // namespace krx::ctl
