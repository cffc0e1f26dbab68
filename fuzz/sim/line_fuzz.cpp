// SPDX-License-Identifier: MIT
// Arbitrary console bytes into a line of three generators. Byte 0 picks the line's options and the
// gap between pieces, byte 1 the size of the pieces the rest arrives in. Whatever comes in, what
// goes out must be a run of well-formed answer frames at non-decreasing times, none earlier than
// the write it answers.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>

#include "sim/generator_line.h"

namespace {

using namespace krx;
using namespace krx::sim;

void require(bool condition) {
    if (!condition)
        std::abort();
}

// Checks that `bytes` holds whole answer frames only, each summing to 0.
void requireAnswerFrames(const std::vector<TimedByte>& bytes) {
    std::size_t at = 0;
    while (at < bytes.size()) {
        require(at + 5 <= bytes.size() && bytes[at].value == kAnswerStart);
        const std::size_t size = bytes[at + 3].value + 256u * bytes[at + 4].value + 5u;
        require(size >= 10 && at + size <= bytes.size());
        std::uint8_t sum = 0;
        for (std::size_t i = at; i < at + size; ++i)
            sum = static_cast<std::uint8_t>(sum + bytes[i].value);
        require(sum == 0);
        at += size;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    LineConfig config;
    config.paced = (data[0] & 0x01) != 0;
    config.displayAttached = (data[0] & 0x02) != 0;
    if ((data[0] & 0x04) != 0)
        config.faults.hangUpAfterFrames = 3;
    const std::size_t piece = data[1] % 32u + 1u;
    GeneratorLine line(config, {{0x01, 0x01}, {0x01, 0x02}, {0x02, 0x01}}, defaultTvEdid());
    line.setObserver([](const LineEvent& event) { require(event.bytes.size() <= kMaxFrameSize); });

    const std::span<const std::uint8_t> input(data + 2, size - 2);
    // Pieces 250 ms apart cut every unfinished request short.
    const std::int64_t gapUs = (data[0] & 0x08) != 0 ? 250'000 : 500;
    std::int64_t writeUs = 0;
    std::int64_t lastUs = 0;
    const auto check = [&lastUs](const std::vector<TimedByte>& out, std::int64_t notBeforeUs) {
        requireAnswerFrames(out);
        for (const TimedByte& b : out) {
            require(b.timeUs >= notBeforeUs && b.timeUs >= lastUs);
            lastUs = b.timeUs;
        }
    };
    for (std::size_t at = 0; at < input.size(); at += piece) {
        const auto chunk = input.subspan(at, std::min(piece, input.size() - at));
        check(line.receive(chunk, writeUs), writeUs);
        writeUs += gapUs;
        // The line's clock runs to the next write: a request cut short meanwhile is dropped.
        const std::optional<std::int64_t> deadline = line.requestDeadlineUs();
        if (deadline && *deadline <= writeUs)
            check(line.expire(*deadline), *deadline);
    }
    return 0;
}
