// SPDX-License-Identifier: MIT
#include "ctl_junit.h"

#include <algorithm>
#include <cstdio>

namespace krx::ctl {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// The length of the UTF-8 sequence at `text[i]` that XML 1.0 allows, or 0: overlong forms,
// surrogates, U+FFFE, U+FFFF and control characters other than tab, LF and CR are not.
std::size_t xmlCharLength(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80)
        return lead >= 0x20 || lead == '\t' || lead == '\n' || lead == '\r' ? 1 : 0;
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || i + length > text.size())
        return 0;
    char32_t code = lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(k) & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (byte(k) & 0x3F);
    }
    const char32_t smallest = length == 3 ? 0x800 : length == 4 ? 0x10000 : 0x80;
    if (code < smallest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF) ||
        code == 0xFFFE || code == 0xFFFF)
        return 0;
    return length;
}

// `text` escaped for an attribute value or element content.
std::string xml(std::string_view text, bool attribute = true) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = xmlCharLength(text, i);
        if (length == 0) {
            out += kReplacement;
            ++i;
            continue;
        }
        const char c = text[i];
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else if (c == '"' && attribute)
            out += "&quot;";
        else if (attribute && (c == '\n' || c == '\r' || c == '\t'))
            out += "&#" + std::to_string(static_cast<int>(c)) + ";";
        else
            out.append(text.substr(i, length));
        i += length;
    }
    return out;
}

std::string seconds(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

}  // namespace

ExitStatus BenchOutcome::status() const {
    for (const LineOutcome& line : lines) {
        if (line.ran && line.status != ExitStatus::Done)
            return line.status;
    }
    return ExitStatus::Done;
}

ExitStatus worstStatus(std::span<const BenchOutcome> benches) {
    ExitStatus worst = ExitStatus::Done;
    for (const BenchOutcome& bench : benches)
        worst = std::max(worst, bench.status());
    return worst;
}

std::string junitReport(std::span<const BenchOutcome> benches, std::string_view scriptName) {
    const auto count = [](const BenchOutcome& bench, auto predicate) {
        return std::to_string(std::count_if(bench.lines.begin(), bench.lines.end(), predicate));
    };
    const auto failed = [](const LineOutcome& line) {
        return line.ran && line.status != ExitStatus::Done;
    };
    const auto skipped = [](const LineOutcome& line) { return !line.ran; };
    std::size_t tests = 0;
    std::size_t failures = 0;
    std::size_t notRun = 0;
    for (const BenchOutcome& bench : benches) {
        tests += bench.lines.size();
        failures +=
            static_cast<std::size_t>(std::count_if(bench.lines.begin(), bench.lines.end(), failed));
        notRun += static_cast<std::size_t>(
            std::count_if(bench.lines.begin(), bench.lines.end(), skipped));
    }
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"" +
                      xml(scriptName) + "\" tests=\"" + std::to_string(tests) + "\" failures=\"" +
                      std::to_string(failures) + "\" errors=\"0\" skipped=\"" +
                      std::to_string(notRun) + "\">\n";
    for (const BenchOutcome& bench : benches) {
        double total = 0;
        for (const LineOutcome& line : bench.lines)
            total += line.seconds;
        out += "  <testsuite name=\"" + xml(bench.port) + "\" tests=\"" +
               std::to_string(bench.lines.size()) + "\" failures=\"" + count(bench, failed) +
               "\" errors=\"0\" skipped=\"" + count(bench, skipped) + "\" time=\"" +
               seconds(total) + "\">\n";
        for (const LineOutcome& line : bench.lines) {
            out += "    <testcase classname=\"" + xml(bench.port) + "\" name=\"" +
                   xml(line.lineNumber > 0 ? std::to_string(line.lineNumber) + ": " + line.text
                                           : line.text) +
                   "\" time=\"" + seconds(line.seconds) + "\"";
            if (!line.ran) {
                out +=
                    ">\n      <skipped message=\"not run: an earlier line failed\"/>\n"
                    "    </testcase>\n";
            } else if (line.status != ExitStatus::Done) {
                const std::string type =
                    "exit status " + std::to_string(static_cast<int>(line.status));
                const std::string_view firstLine =
                    std::string_view(line.message).substr(0, line.message.find('\n'));
                out += ">\n      <failure message=\"" + xml(firstLine) + "\" type=\"" + type +
                       "\">" + xml(type + "\n" + line.message, false) +
                       "</failure>\n    </testcase>\n";
            } else {
                out += "/>\n";
            }
        }
        out += "  </testsuite>\n";
    }
    return out + "</testsuites>\n";
}

}  // namespace krx::ctl
