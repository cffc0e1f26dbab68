// SPDX-License-Identifier: MIT
// Arbitrary read bytes into the traffic record's AnswerSplitter. Input layout: byte 0 is the
// escape value; every other byte is a line byte, except that the escape value followed by an
// operation byte (mod 4) ends the read (1), lets 250 ms pass (2) or marks the next line byte as
// the one the receiver took an answer on (3); operation 0 is the escape value as a line byte.
// Every byte must come out once, in order, in records no longer than a frame can be.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "link/traffic_record.h"

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    krx::AnswerSplitter splitter;
    std::vector<krx::TrafficRecord> records;
    std::vector<std::uint8_t> pushed;
    std::int64_t timeUs = 0;
    bool taken = false;
    for (std::size_t i = 1; i < size; ++i) {
        const std::uint8_t byte = data[i];
        if (byte == data[0] && i + 1 < size) {
            const int op = data[++i] % 4;
            if (op == 1)
                splitter.flush(records);
            else if (op == 2)
                timeUs += 250'000;
            else if (op == 3)
                taken = true;
            if (op != 0)
                continue;
        }
        pushed.push_back(byte);
        splitter.push(byte, timeUs++, records);
        if (taken)
            splitter.taken(records);
        taken = false;
    }
    splitter.flush(records);

    std::vector<std::uint8_t> out;
    for (const krx::TrafficRecord& record : records) {
        check(!record.bytes.empty() && record.bytes.size() <= krx::AnswerSplitter::kMaxLength + 5);
        if (record.note == krx::kNoiseNote) {
            // A run, or a run and the head of a frame that was none.
            check(record.command.empty() && !record.accepted);
            check(record.bytes.size() < krx::AnswerSplitter::kMaxNoiseRun + 5);
        } else if (record.note == krx::kCutShortNote) {
            check(record.bytes.front() == krx::kAnswerStart && record.accepted.has_value());
        } else {
            // An answer: exactly as long as its length field says.
            check(record.accepted.has_value() && record.bytes.size() >= 5);
            check(record.bytes.size() == krx::frameLength(record.bytes) + 5u);
        }
        out.insert(out.end(), record.bytes.begin(), record.bytes.end());
    }
    // Once flushed, every byte is out, once and in order.
    check(out == pushed);
    return 0;
}
