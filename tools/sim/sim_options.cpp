// SPDX-License-Identifier: MIT
#include "sim_options.h"

#include <algorithm>
#include <charconv>
#include <optional>

#include "generator.h"

namespace krx::sim {
namespace {

constexpr TargetAddress kDefaultDevice{0x01, 0x01};
// Latencies and stalls beyond this are typing errors rather than useful faults.
constexpr std::int64_t kMaxDelayUs = 60'000'000;

constexpr std::string_view kUsage =
    R"(Usage: krx-vtp-sim [options]
Simulates KRX-VTP HDMI 2.0 test-signal generators on one serial line, served on a
pseudo-terminal at 115200 8N1. Runs until SIGINT, SIGTERM or SIGHUP.

  --link PATH          make PATH a symbolic link to the pty (parent folders are created;
                       removed on exit if it still points there), e.g.
                       build/bin/ports/COM3; only a link to a vanished pty is replaced.
                       A bare name (COM3) goes in ports/ beside this program, or in
                       ~/.config/krx-vtp-sg/ports/ when that cannot be written
  --device GGDD        add a generator with group GG and device DD (hexadecimal, each
                       01..FE); repeatable, answers go out in this order (default 0101)
  --edid FILE          EDID of the attached display, .bin or .txt (default: a built-in
                       4K HDMI 2.0 television)
  --no-display         no display attached: hot plug reads 0 and its EDID cannot be read
  --latency-us N       microseconds from the end of a request to its answer (default 1000)
  --no-pace            send every byte at once instead of at 86.8 us a byte
  --log FILE           write every frame received and sent to FILE as JSON lines
Faults (CODE is a hexadecimal command code such as 8061, or "all"; repeatable):
  --silent CODE        never answer CODE
  --bad-checksum CODE  answer CODE with a wrong checksum
  --stall CODE         pause inside the answer to CODE, after its fifth byte
  --stall-ms N         length of that pause in milliseconds (default 250)
  --noise HEX          send these bytes before every answer, e.g. 55FF00
  --hang-up-after N    close the line (and end) once the N-th command frame has been answered
  --help               show this text
)";

std::optional<unsigned> parseHex(std::string_view text, std::size_t digits) {
    if (text.size() != digits)
        return std::nullopt;
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::optional<std::int64_t> parseCount(std::string_view text, std::int64_t max) {
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < 0 ||
        value > max)
        return std::nullopt;
    return value;
}

std::optional<std::uint32_t> parseFaultCode(std::string_view text) {
    if (text == "all")
        return FaultConfig::kAnyCode;
    const auto code = parseHex(text, 4);
    if (!code || commandName(static_cast<CommandCode>(*code)).empty())
        return std::nullopt;
    return *code;
}

std::optional<std::vector<std::uint8_t>> parseHexBytes(std::string_view text) {
    if (text.empty() || text.size() % 2 != 0)
        return std::nullopt;
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const auto byte = parseHex(text.substr(i, 2), 2);
        if (!byte)
            return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(*byte));
    }
    return bytes;
}

std::string invalid(std::string_view option, std::string_view value, std::string_view why) {
    return std::string(option) + " " + std::string(value) + ": " + std::string(why);
}

}  // namespace

std::string_view simUsage() {
    return kUsage;
}

std::variant<SimOptions, std::string> parseSimOptions(std::span<const std::string_view> args) {
    SimOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view option = args[i];
        if (option == "--help" || option == "-h") {
            options.help = true;
            continue;
        }
        if (option == "--no-pace") {
            options.line.paced = false;
            continue;
        }
        if (option == "--no-display") {
            options.line.displayAttached = false;
            continue;
        }
        const bool takesValue = option == "--link" || option == "--device" || option == "--edid" ||
                                option == "--log" || option == "--latency-us" ||
                                option == "--silent" || option == "--bad-checksum" ||
                                option == "--stall" || option == "--stall-ms" ||
                                option == "--noise" || option == "--hang-up-after";
        if (!takesValue)
            return "unknown option " + std::string(option) + " (see --help)";
        if (i + 1 == args.size())
            return std::string(option) + " needs a value";
        const std::string_view value = args[++i];
        FaultConfig& faults = options.line.faults;

        if (option == "--link") {
            options.linkPath = value;
        } else if (option == "--edid") {
            options.edidPath = value;
        } else if (option == "--log") {
            options.logPath = value;
        } else if (option == "--device") {
            const auto address = parseHex(value, 4);
            const TargetAddress device{static_cast<std::uint8_t>(address.value_or(0) >> 8),
                                       static_cast<std::uint8_t>(address.value_or(0) & 0xFF)};
            if (!address || !isDeviceAddress(device))
                return invalid(option, value,
                               "expected GGDD, four hexadecimal digits, each byte 01..FE");
            if (std::find(options.devices.begin(), options.devices.end(), device) !=
                options.devices.end())
                return invalid(option, value, "given twice");
            options.devices.push_back(device);
        } else if (option == "--latency-us") {
            const auto us = parseCount(value, kMaxDelayUs);
            if (!us)
                return invalid(option, value, "expected microseconds, 0..60000000");
            options.line.latencyUs = *us;
        } else if (option == "--stall-ms") {
            const auto ms = parseCount(value, kMaxDelayUs / 1000);
            if (!ms || *ms == 0)
                return invalid(option, value, "expected milliseconds, 1..60000");
            faults.stallUs = *ms * 1000;
        } else if (option == "--hang-up-after") {
            const auto frames = parseCount(value, 1'000'000'000);
            if (!frames || *frames == 0)
                return invalid(option, value, "expected a number of frames, at least 1");
            faults.hangUpAfterFrames = static_cast<std::size_t>(*frames);
        } else if (option == "--noise") {
            const auto bytes = parseHexBytes(value);
            if (!bytes)
                return invalid(option, value, "expected pairs of hexadecimal digits");
            faults.noise = *bytes;
        } else {
            const auto code = parseFaultCode(value);
            if (!code)
                return invalid(option, value, "expected a command code such as 8061, or all");
            auto& codes = option == "--silent"         ? faults.silentCodes
                          : option == "--bad-checksum" ? faults.badChecksumCodes
                                                       : faults.stallCodes;
            codes.insert(*code);
        }
    }
    if (options.devices.empty())
        options.devices.push_back(kDefaultDevice);
    return options;
}

}  // namespace krx::sim
