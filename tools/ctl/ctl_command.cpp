// SPDX-License-Identifier: MIT
#include "ctl_command.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>

#include "address/hex_text.h"
#include "link/port_url.h"
#include "model/pattern_table.h"
#include "model/setting_table.h"
#include "model/timing_details.h"
#include "model/timing_tables.h"

namespace krx::ctl {
namespace {

constexpr int kMaxTimeoutMs = 600'000;
constexpr int kMaxWaitMs = 600'000;
constexpr TargetAddress kAllAnswering{0x00, 0x00};
constexpr TargetAddress kAllSilent{0xFF, 0xFF};

constexpr std::array<std::string_view, kSettingOptionCount> kSettingKeys = {
    "output-mode",  "hdcp",        "color-space", "color-depth",
    "audio-source", "sample-rate", "audio-bits",  "channels",
};

// By CommandKind.
constexpr std::array<std::string_view, 13> kCommandWords = {
    "search",           "status", "timing",    "pattern",      "set",           "power",
    "reset-defaults",   "wait",   "edid read", "address read", "address write", "details",
    "user-timing store"};

constexpr std::string_view kUsage =
    R"usage(Usage: krx-vtp-ctl [--port COMn|DEVICE|URL]... [--address GGDD|all|all-silent]
                   [--timeout-ms N] [--reconnect-ms N] [--json] [--junit FILE]
                   COMMAND [ARGS...]
  or:  krx-vtp-ctl [options] --script FILE|-
Drives a KRX-VTP HDMI 2.0 test-signal generator on a serial line (115200 8N1), or several at
once.

Options:
  --port COMn|DEVICE|URL
                       COM1..COM99 through ports/ beside this program, then
                       ~/.config/krx-vtp-sg/ports/, then /dev/ttyS0-31, ttyUSB0-31,
                       ttyACM0-31 (an entry there may be a file holding a URL); a device
                       path; or a URL, tcp://HOST:PORT (raw TCP) or rfc2217://HOST:PORT, of
                       a serial device server such as ser2net. Without it the ports are
                       searched, as "Search Device" does. The port is held exclusively, and
                       opened only for a command that needs the generator. Given more than
                       once, the same commands run on every port at once, each output line
                       prefixed by its port ("port" in JSON), and the exit status is the
                       highest of theirs
  --address GGDD       the addressed device (hexadecimal group and device); "all" is 0000
                       (every device acts and answers, the default), "all-silent" FFFF
                       (every device acts, none answers: nothing is read back)
  --timeout-ms N       wait N ms for each answer instead of the console's intervals; bytes
                       that make no answer keep an exchange open for one more wait at most
  --reconnect-ms N     when the port is lost (adapter unplugged), wait up to N ms for the
                       same device to come back, reopen it and run the command again from
                       its start, then carry on with the script; not back in time: the
                       command fails as without this option. A URL is not waited for
  --json               print each command's result as one JSON object a line: numbers as
                       numbers, the console's texts as texts
  --junit FILE         write a JUnit XML report to FILE: a test case per port and command
                       line, with the failure's message and exit status
  --script FILE        run FILE, a regular file or a FIFO ("-": standard input), one
                       command a line, "#" comments; read whole (at most 1 MiB) and checked
                       before the port is opened once; stops at the first failing line
  --help               show this text

Commands:
  search               probe COM1..COM99 and print the port and the answering address
  status               read the whole state: the status panel, power and the user slots
  timing NAME|CODE     a timing by status name or radio caption, "auto", "user:N" (1..10)
                       or a code 0x00..0x40
  pattern NAME|CODE    a pattern by caption or code 0x00..0x24
  set KEY VALUE        KEY output-mode, hdcp, color-space, color-depth, audio-source,
                       sample-rate, audio-bits, channels; VALUE a Setting page caption or
                       the value's number
  power on|off         switch the output on or off
  reset-defaults       restore the generator's output settings (it takes a few seconds)
  wait MS              pause MS milliseconds (scripts)
  edid read [tv|saved N] [--format hex|c|base64|bin] [--save DIR]
                       the EDID of the attached display or of stored slot N (1..10), as
                       krx-vtp-edid reports it; --format prints its 256 bytes instead, in
                       the form krx-vtp-edid --format writes (with --json a text form goes
                       in "edid"); --save writes the two files of "Save EDID"
                       (RedIvo_EDIDnn.txt and .bin) into DIR
  address read         the address of the one device on the line
  address write GGDD   give the one device on the line a new address (01..FE each, or 0000
                       to delete it)
  details [NAME|CODE]  the Timing Details page's values for a timing: a built-in one from
                       the console's table (no port needed); the current (the default), the
                       automatic and the user timings from the generator's records
  user-timing store SLOT [--from NAME|CODE] [FIELD=VALUE...]
                       store user slot SLOT (1..10) from a timing's details, changed by
                       fields video-clk, h-active, h-blank, hs-offset, hs-width, v-active,
                       v-blank, vs-offset, vs-width, scan-type=progressive|interlace,
                       hsync=+|-, vsync=+|-; then output it

Every setting and address is read back. Exit status: 0 done, 1 no answer (or the port was
closed), 2 usage, 3 refused (the console's message on stderr, nothing sent), 4 port cannot be
opened, 5 read-back differs, 6 a file cannot be written (edid read --save; the report is printed;
or the --junit report).

Examples:
  krx-vtp-ctl --port COM3 status

  krx-vtp-ctl --port /dev/ttyUSB0 --address 0101 timing "1080P(60)"

  krx-vtp-ctl --port rfc2217://rack3:4001 set color-depth 30bit

  krx-vtp-ctl --port COM3 pattern "Cross Black"

  krx-vtp-ctl --port COM3 edid read --save results/unit-17

  krx-vtp-ctl --port COM3 user-timing store 3 --from "1080P(60)" video-clk=148.35

  krx-vtp-ctl --port COM3 --port COM4 --port tcp://rack3:4001 --script unit.txt \
              --junit report.xml
)usage";

std::string lowered(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

bool sameIgnoringCase(std::string_view a, std::string_view b) {
    return lowered(a) == lowered(b);
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return text;
}

// A non-negative number, "0x" hexadecimal or decimal; nothing for any other text.
std::optional<int> parseNumber(std::string_view text) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < 0)
        return std::nullopt;
    return value;
}

std::string quoted(std::string_view text) {
    return "\"" + shown(text) + "\"";
}

// The first row whose name equals `name` exactly, else the only one equal ignoring case; a name
// that several rows share is an error that lists them by `describe`.
template <typename Rows, typename NameOf, typename Describe>
std::variant<int, UsageError> findByName(const Rows& rows, std::string_view name, NameOf nameOf,
                                         Describe describe, std::string_view what) {
    for (const bool exact : {true, false}) {
        std::vector<int> found;
        for (const auto& row : rows) {
            const std::string_view candidate = nameOf(row);
            if (exact ? candidate == name : sameIgnoringCase(candidate, name))
                found.push_back(row.code);
        }
        if (found.size() == 1)
            return found.front();
        if (found.size() > 1) {
            std::string list;
            for (int code : found)
                list += (list.empty() ? "" : ", ") + describe(code);
            return UsageError{std::string(what) + " " + quoted(name) + " is ambiguous: " + list};
        }
    }
    return UsageError{"unknown " + std::string(what) + " " + quoted(name)};
}

std::string hexCode(int code) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return std::string("0x") + kDigits[(code >> 4) & 0xF] + kDigits[code & 0xF];
}

std::variant<TargetAddress, UsageError> parseAddress(std::string_view text) {
    if (text == "all")
        return kAllAnswering;
    if (text == "all-silent")
        return kAllSilent;
    const auto value =
        text.size() == 4 &&
                std::all_of(
                    text.begin(), text.end(),
                    [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; })
            ? parseNumber("0x" + std::string(text))
            : std::nullopt;
    if (!value)
        return UsageError{"--address " + shown(text) + ": not GGDD, all or all-silent"};
    const TargetAddress address{static_cast<std::uint8_t>(*value >> 8),
                                static_cast<std::uint8_t>(*value & 0xFF)};
    // A broadcast group byte with a single device, or a mixed broadcast pair, reaches nobody.
    const bool broadcastGroup = address.group == 0x00 || address.group == 0xFF;
    if (broadcastGroup && address != kAllAnswering && address != kAllSilent)
        return UsageError{"--address " + shown(text) + ": no device answers to this address"};
    return address;
}

std::variant<PortChoice, UsageError> parsePort(std::string_view text) {
    PortChoice port;
    if (text.find("://") != std::string_view::npos) {
        const auto url = parsePortUrl(text);
        if (const auto* reason = std::get_if<std::string>(&url))
            return UsageError{"--port " + shown(text) + ": " + *reason};
        port.url = trimmed(text);
        return port;
    }
    if (text.size() > 3 && sameIgnoringCase(text.substr(0, 3), "COM")) {
        const auto number = parseNumber(text.substr(3));
        if (!number || *number < 1 || *number > 99)
            return UsageError{"--port " + shown(text) + ": COM1 to COM99"};
        port.comNumber = *number;
        return port;
    }
    if (text.find('/') == std::string_view::npos)
        return UsageError{"--port " + shown(text) + ": not COMn, a device path or a URL"};
    port.devicePath = text;
    return port;
}

UsageError wrongArgumentCount(std::string_view command, std::string_view arguments) {
    return UsageError{std::string(command) + " takes " + std::string(arguments)};
}

// Splits a script line into words; double quotes keep blanks inside a word, and a word that
// starts with "#" outside quotes ends the line.
std::variant<std::vector<std::string>, std::string> splitWords(std::string_view line) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < line.size()) {
        const char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
        } else if (c == '#') {
            break;
        } else if (c == '"') {
            const std::size_t close = line.find('"', i + 1);
            if (close == std::string_view::npos)
                return std::string("unclosed quote");
            words.emplace_back(line.substr(i + 1, close - i - 1));
            i = close + 1;
        } else {
            std::size_t end = i;
            while (end < line.size() && line[end] != ' ' && line[end] != '\t' && line[end] != '\r')
                ++end;
            words.emplace_back(line.substr(i, end - i));
            i = end;
        }
    }
    return words;
}

// edid read [tv|saved N] [--format hex|c|base64|bin] [--save DIR], the options in either order
std::variant<Command, UsageError> parseEdidRead(std::span<const std::string> args) {
    const UsageError usage{"edid takes read [tv|saved N] [--format FORM] [--save DIR]"};
    if (args.empty() || args[0] != "read")
        return usage;
    Command command{CommandKind::EdidRead};
    std::size_t i = 1;
    if (i < args.size() && args[i] == "tv") {
        ++i;
    } else if (i < args.size() && args[i] == "saved") {
        const auto slot = i + 1 < args.size() ? parseNumber(args[i + 1]) : std::nullopt;
        if (!slot || *slot < 1 || *slot > 10)
            return UsageError{"edid read saved: slots are 1 to 10"};
        command.value = *slot;
        i += 2;
    }
    for (; i + 1 < args.size(); i += 2) {
        if (args[i] == "--save" && command.saveDir.empty() && !args[i + 1].empty()) {
            command.saveDir = args[i + 1];
        } else if (args[i] == "--format" && !command.edidForm) {
            command.edidForm = edidFormByName(args[i + 1]);
            if (!command.edidForm)
                return UsageError{"edid read --format: " + quoted(args[i + 1]) +
                                  " is not hex, c, base64 or bin"};
        } else {
            return usage;
        }
    }
    if (i != args.size())
        return usage;
    return command;
}

// "Video clk:" -> "video-clk".
std::string fieldKey(std::string_view label) {
    std::string key;
    for (const char c : label) {
        if (c == ' ')
            key += '-';
        else if (c != ':')
            key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return key;
}

std::optional<std::size_t> radioPosition(const std::array<std::string_view, 2>& labels,
                                         std::string_view value) {
    for (std::size_t i = 0; i < labels.size(); ++i)
        if (sameIgnoringCase(labels[i], value))
            return i;
    return std::nullopt;
}

// KEY=VALUE for one editable field or radio pair of the Timing Details page; a value that does
// not parse gets the page's own message.
std::variant<TimingEdit, UsageError> parseTimingEdit(std::string_view word) {
    const std::size_t equals = word.find('=');
    const std::string_view key = word.substr(0, equals);
    const std::string_view value =
        equals == std::string_view::npos ? std::string_view() : word.substr(equals + 1);
    const auto invalid = [&](std::string_view why) {
        return UsageError{shown(word) + ": " + std::string(why)};
    };
    if (key == "scan-type" || key == "hsync" || key == "vsync") {
        const auto& labels = key == "scan-type" ? kScanTypeLabels : kSyncPolarityLabels;
        const auto position = radioPosition(labels, value);
        if (!position)
            return invalid(key == "scan-type" ? "Progressive or Interlace" : "+ or -");
        const std::size_t field = key == "scan-type" ? kScanTypeEdit
                                  : key == "hsync"   ? kHSyncEdit
                                                     : kVSyncEdit;
        return TimingEdit{field, static_cast<double>(*position)};
    }
    for (std::size_t i = 0; i < kTimingDetailFields.size(); ++i) {
        const TimingDetailField& field = kTimingDetailFields[i];
        if (!field.editable || fieldKey(field.label) != key)
            continue;
        const bool whole = std::holds_alternative<int TimingDetails::*>(field.member);
        if (whole) {
            int number = 0;
            const auto [end, error] =
                std::from_chars(value.data(), value.data() + value.size(), number);
            if (value.empty() || error != std::errc() || end != value.data() + value.size())
                return invalid("Please enter an integer.");
            return TimingEdit{i, static_cast<double>(number)};
        }
        double number = 0;
        const auto [end, error] =
            std::from_chars(value.data(), value.data() + value.size(), number);
        if (value.empty() || error != std::errc() || end != value.data() + value.size())
            return invalid("Please enter a number.");
        return TimingEdit{i, number};
    }
    return invalid("not an editable field (see --help)");
}

// user-timing store SLOT [--from NAME|CODE] [FIELD=VALUE...]
std::variant<Command, UsageError> parseStoreUserTiming(std::span<const std::string> args) {
    if (args.size() < 2 || args[0] != "store")
        return UsageError{"user-timing takes store SLOT [--from NAME|CODE] [FIELD=VALUE...]"};
    const auto slot = parseNumber(args[1]);
    if (!slot || *slot < 1 || *slot > static_cast<int>(kUserTimingSlots))
        return UsageError{"user-timing store: slots are 1 to 10"};
    Command command{CommandKind::StoreUserTiming, *slot};
    std::size_t i = 2;
    if (i < args.size() && args[i] == "--from") {
        if (i + 1 >= args.size())
            return UsageError{"--from needs a timing"};
        const auto from = lookupTiming(args[i + 1]);
        if (const auto* error = std::get_if<UsageError>(&from))
            return *error;
        command.fromCode = std::get<TimingCode>(from);
        i += 2;
    }
    for (; i < args.size(); ++i) {
        auto edit = parseTimingEdit(args[i]);
        if (const auto* error = std::get_if<UsageError>(&edit))
            return *error;
        command.edits.push_back(std::get<TimingEdit>(edit));
    }
    return command;
}

}  // namespace

std::string shown(std::string_view text, std::size_t limit) {
    std::size_t end = std::min(text.size(), limit);
    // Not inside a UTF-8 sequence: continuation bytes are 10xxxxxx.
    while (end > 0 && end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    std::string out;
    for (const char c : text.substr(0, end)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return end < text.size() ? out + "..." : out;
}

std::string PortChoice::name() const {
    if (!url.empty())
        return url;
    return devicePath.empty() ? "COM" + std::to_string(comNumber) : devicePath;
}

std::string joinWords(std::span<const std::string> words) {
    std::string line;
    for (const std::string& word : words) {
        line += line.empty() ? "" : " ";
        const bool blank = word.empty() || word.find_first_of(" \t") != std::string::npos;
        line += blank ? "\"" + word + "\"" : word;
    }
    return line;
}

bool Command::needsGenerator() const {
    if (kind == CommandKind::Wait)
        return false;
    // The built-in rows come from the console's own table; -1 is the generator's current timing.
    return kind != CommandKind::Details || value < 0 || value == kAutoTiming || isUserTiming(value);
}

std::string_view commandWords(CommandKind kind) {
    return kCommandWords[static_cast<std::size_t>(kind)];
}

std::string_view settingKey(SettingOption option) {
    return kSettingKeys[static_cast<std::size_t>(option)];
}

std::string_view usageText() {
    return kUsage;
}

std::variant<TimingCode, UsageError> lookupTiming(std::string_view name) {
    if (sameIgnoringCase(name, "auto"))
        return kAutoTiming;
    if (name.size() > 5 && sameIgnoringCase(name.substr(0, 5), "user:")) {
        const auto slot = parseNumber(name.substr(5));
        if (!slot || *slot < 1 || *slot > static_cast<int>(kUserTimingSlots))
            return UsageError{"timing " + quoted(name) + ": user slots are user:1 to user:10"};
        return userTimingCode(*slot);
    }
    if (const auto code = parseNumber(name)) {
        if (!isTimingCode(*code))
            return UsageError{"timing code " + shown(name) + " is outside 0x00..0x40"};
        return *code;
    }
    // Status names first: they tell apart the 3D rows that share a radio caption.
    const auto statusRows = std::span(kTimings).first(kTimingStatusNames.size());
    const auto describe = [](int code) {
        return quoted(timingStatusName(code)) + " (" + hexCode(code) + ")";
    };
    auto byStatus = findByName(
        statusRows, name, [](const TimingEntry& row) { return timingStatusName(row.code); },
        describe, "timing");
    if (std::holds_alternative<int>(byStatus))
        return byStatus;
    return findByName(
        statusRows, name, [](const TimingEntry& row) { return row.radioLabel; }, describe,
        "timing");
}

std::variant<PatternCode, UsageError> lookupPattern(std::string_view name) {
    if (const auto code = parseNumber(name)) {
        if (*code > kLastPatternCode)
            return UsageError{"pattern code " + shown(name) + " is outside 0x00..0x24"};
        return *code;
    }
    return findByName(
        kPatternTable, trimmed(name), [](const PatternEntry& row) { return trimmed(row.label); },
        [](int code) { return hexCode(code); }, "pattern");
}

std::variant<SettingOption, UsageError> lookupSettingKey(std::string_view key) {
    for (const SettingFacts& facts : kSettingFacts)
        if (settingKey(facts.option) == key)
            return facts.option;
    return UsageError{"unknown setting " + quoted(key) +
                      " (output-mode, hdcp, color-space, color-depth, audio-source, "
                      "sample-rate, audio-bits, channels)"};
}

std::variant<int, UsageError> lookupSettingValue(SettingOption option, std::string_view value) {
    const SettingFacts& facts = settingFacts(option);
    if (const auto number = parseNumber(value)) {
        if (!facts.isValue(*number))
            return UsageError{std::string(settingKey(option)) + " " + shown(value) +
                              " is outside 0.." + std::to_string(facts.valueCount - 1)};
        return *number;
    }
    std::string captions;
    for (int v = 0; v < facts.valueCount; ++v) {
        if (sameIgnoringCase(settingLabel(option, v), value))
            return v;
        captions += (v == 0 ? "" : ", ") + quoted(settingLabel(option, v));
    }
    return UsageError{"unknown " + std::string(settingKey(option)) + " " + quoted(value) + " (" +
                      captions + ")"};
}

std::variant<Command, UsageError> parseCommand(std::span<const std::string> words) {
    if (words.empty())
        return UsageError{"no command (see --help)"};
    const std::string_view name = words[0];
    const auto args = words.subspan(1);
    const auto withValue = [](CommandKind kind,
                              const auto& looked) -> std::variant<Command, UsageError> {
        if (const auto* error = std::get_if<UsageError>(&looked))
            return *error;
        return Command{kind, std::get<0>(looked)};
    };
    if (name == "search" || name == "status" || name == "reset-defaults") {
        if (!args.empty())
            return wrongArgumentCount(name, "no arguments");
        return Command{name == "search"   ? CommandKind::Search
                       : name == "status" ? CommandKind::Status
                                          : CommandKind::ResetDefaults};
    }
    if (name == "timing" || name == "pattern") {
        if (args.size() != 1)
            return wrongArgumentCount(name, "one name or code");
        return name == "timing" ? withValue(CommandKind::Timing, lookupTiming(args[0]))
                                : withValue(CommandKind::Pattern, lookupPattern(args[0]));
    }
    if (name == "set") {
        if (args.size() != 2)
            return wrongArgumentCount(name, "KEY VALUE");
        const auto option = lookupSettingKey(args[0]);
        if (const auto* error = std::get_if<UsageError>(&option))
            return *error;
        const auto value = lookupSettingValue(std::get<SettingOption>(option), args[1]);
        if (const auto* error = std::get_if<UsageError>(&value))
            return *error;
        return Command{CommandKind::Set, std::get<int>(value), std::get<SettingOption>(option)};
    }
    if (name == "power") {
        if (args.size() != 1 || (args[0] != "on" && args[0] != "off"))
            return wrongArgumentCount(name, "on or off");
        return Command{CommandKind::Power, args[0] == "on" ? 0 : 1};
    }
    if (name == "wait") {
        const auto ms = args.size() == 1 ? parseNumber(args[0]) : std::nullopt;
        if (!ms || *ms > kMaxWaitMs)
            return wrongArgumentCount(name, "milliseconds, 0 to 600000");
        return Command{CommandKind::Wait, *ms};
    }
    if (name == "edid")
        return parseEdidRead(args);
    if (name == "details") {
        if (args.size() > 1)
            return wrongArgumentCount(name, "at most one timing");
        if (args.empty())
            return Command{CommandKind::Details, -1};
        return withValue(CommandKind::Details, lookupTiming(args[0]));
    }
    if (name == "user-timing")
        return parseStoreUserTiming(args);
    if (name == "address") {
        if (args.size() == 1 && args[0] == "read")
            return Command{CommandKind::AddressRead};
        if (args.size() != 2 || args[0] != "write")
            return wrongArgumentCount(name, "read, or write GGDD");
        const std::vector<std::uint8_t> pair = parseHexBytes(args[1]);
        if (args[1].size() != 4 || pair.size() != 2)
            return UsageError{"address write " + shown(args[1]) + ": It is not hex digi !"};
        return Command{CommandKind::AddressWrite, pair[0] * 256 + pair[1]};
    }
    return UsageError{"unknown command " + quoted(name) + " (see --help)"};
}

std::variant<Options, UsageError> parseOptions(std::span<const std::string> args) {
    Options options;
    std::size_t i = 0;
    for (; i < args.size() && args[i].starts_with("--"); ++i) {
        const std::string_view option = args[i];
        if (option == "--help") {
            options.help = true;
            return options;
        }
        if (option == "--json") {
            options.json = true;
            continue;
        }
        if (option != "--port" && option != "--address" && option != "--timeout-ms" &&
            option != "--reconnect-ms" && option != "--script" && option != "--junit")
            return UsageError{"unknown option " + shown(option) + " (see --help)"};
        if (i + 1 >= args.size())
            return UsageError{std::string(option) + " needs a value"};
        const std::string& value = args[++i];
        if (option == "--port") {
            auto port = parsePort(value);
            if (const auto* error = std::get_if<UsageError>(&port))
                return *error;
            options.ports.push_back(std::get<PortChoice>(port));
            options.port = options.ports.front();
        } else if (option == "--junit") {
            options.junitPath = value;
        } else if (option == "--address") {
            auto address = parseAddress(value);
            if (const auto* error = std::get_if<UsageError>(&address))
                return *error;
            options.address = std::get<TargetAddress>(address);
        } else if (option == "--timeout-ms") {
            const auto ms = parseNumber(value);
            if (!ms || *ms < 1 || *ms > kMaxTimeoutMs)
                return UsageError{"--timeout-ms " + shown(value) + ": 1 to 600000"};
            options.timeoutMs = *ms;
        } else if (option == "--reconnect-ms") {
            const auto ms = parseNumber(value);
            if (!ms || *ms < 1 || *ms > kMaxTimeoutMs)
                return UsageError{"--reconnect-ms " + shown(value) + ": 1 to 600000"};
            options.reconnectMs = *ms;
        } else {
            options.scriptPath = value;
        }
    }
    const auto words = args.subspan(i);
    if (!options.scriptPath.empty()) {
        if (!words.empty())
            return UsageError{"--script takes no command besides the file"};
        return options;
    }
    auto command = parseCommand(words);
    if (const auto* error = std::get_if<UsageError>(&command))
        return *error;
    options.command = std::get<Command>(command);
    options.commandText = joinWords(words);
    return options;
}

std::variant<std::vector<ScriptLine>, ScriptError> parseScript(std::string_view text) {
    // Editors that save "UTF-8 with BOM" put one before line 1.
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (text.starts_with(kByteOrderMark))
        text.remove_prefix(kByteOrderMark.size());
    std::vector<ScriptLine> lines;
    int lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        auto words = splitWords(line);
        if (const auto* error = std::get_if<std::string>(&words))
            return ScriptError{lineNumber, *error};
        const auto& list = std::get<std::vector<std::string>>(words);
        if (list.empty())
            continue;
        auto command = parseCommand(list);
        if (const auto* error = std::get_if<UsageError>(&command))
            return ScriptError{lineNumber, error->message};
        if (std::get<Command>(command).kind == CommandKind::Search)
            return ScriptError{lineNumber, "search runs before a script, not inside it"};
        lines.push_back({lineNumber, std::get<Command>(command), joinWords(list)});
    }
    return lines;
}

}  // namespace krx::ctl
