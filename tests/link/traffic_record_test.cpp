// SPDX-License-Identifier: MIT
#include "link/traffic_record.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../support/bytes.h"

namespace krx {
namespace {

using testing::answerFrame;
using testing::Bytes;
using testing::concat;
using testing::hex;

// One line per record, in the fields the simulator's log has too; a name with a quote stays JSON.
TEST(TrafficLine, WritesTheFieldsAndOnlyTheOnesSet) {
    const Bytes query = hex("AA 00 00 05 00 01 01 61 80 6E");
    const Bytes stray = hex("0F");
    const struct {
        TrafficLine line;
        const char* expected;
    } rows[] = {
        {{1200, TrafficDirection::Received, query, "CMD_GET_TIMING", "", std::nullopt},
         R"({"time_us":1200,"dir":"received","bytes":"AA 00 00 05 00 01 01 61 80 6E","command":"CMD_GET_TIMING"})"},
        {{7, TrafficDirection::Sent, stray, "", "noise", false},
         R"({"time_us":7,"dir":"sent","bytes":"0F","command":"","note":"noise","accepted":false})"},
        {{0, TrafficDirection::Received, {}, "a\"b", "", true},
         R"({"time_us":0,"dir":"received","bytes":"","command":"a\"b","accepted":true})"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(formatTrafficLine(row.line), row.expected);
}

// Each record as "command|note|accepted|bytes".
std::vector<std::string> split(const std::vector<std::pair<std::int64_t, Bytes>>& reads,
                               int takenAt) {
    AnswerSplitter splitter;
    std::vector<TrafficRecord> records;
    int index = 0;
    for (const auto& [timeUs, bytes] : reads) {
        for (std::uint8_t byte : bytes) {
            splitter.push(byte, timeUs, records);
            if (index++ == takenAt)
                splitter.taken(records);
        }
    }
    splitter.flush(records);
    std::vector<std::string> texts;
    texts.reserve(records.size());
    for (const TrafficRecord& r : records)
        texts.push_back(std::string(r.command) + '|' + std::string(r.note) + '|' +
                        (r.accepted ? (*r.accepted ? "yes" : "no") : "") + '|' + hexPairs(r.bytes));
    return texts;
}

TEST(AnswerSplitter, CutsReadsIntoAnswersAndStrayBytes) {
    const Bytes answer = answerFrame({0x01, 0x02}, CMD_GET_TIMING, {0x14});
    const std::string ok = "CMD_GET_TIMING||yes|" + hexPairs(answer);
    const std::string notTaken = "CMD_GET_TIMING||no|" + hexPairs(answer);
    Bytes wrongSum = answer;
    wrongSum.back() ^= 0x01;
    const Bytes head(answer.begin(), answer.begin() + 6);
    const Bytes lostSum(answer.begin(), answer.end() - 1);
    const Bytes power = answerFrame({0x01, 0x02}, CMD_GET_POWER, {0x01});
    const Bytes powerLostSum(power.begin(), power.end() - 1);
    const struct {
        const char* name;
        std::vector<std::pair<std::int64_t, Bytes>> reads;
        int takenAt;  // the byte on which the receiver took an answer
        std::vector<std::string> expected;
    } rows[] = {
        {"answer over two reads, taken at its data byte",
         {{0, Bytes(answer.begin(), answer.begin() + 5)},
          {1000, Bytes(answer.begin() + 5, answer.end())}},
         9,
         {ok}},
        {"noise around an answer, a length below 5 and above 500",
         {{0, concat(concat(hex("0F 0F"), answer), hex("55 AB 00 00 04 00 AB 00 00 F5 01"))}},
         -1,
         {"|noise||0F 0F", notTaken, "|noise||55 AB 00 00 04 00 AB 00 00 F5 01"}},
        {"bad checksum",
         {{0, wrongSum}},
         -1,
         {"CMD_GET_TIMING|bad checksum|no|" + hexPairs(wrongSum)}},
        {"silence over 200 ms inside a frame",
         {{0, head}, {200'001, answer}},
         16,
         {"|cut short|no|" + hexPairs(head), ok}},
        {"answer that lost its checksum runs into the next",
         {{0, concat(lostSum, answer)}},
         9,
         {"CMD_GET_TIMING|cut short|yes|" + hexPairs(lostSum), notTaken}},
        // CMD_GET_POWER's low code byte is the start byte: no answer can begin there.
        {"the same with 0xAB inside",
         {{0, concat(powerLostSum, answer)}},
         -1,
         {"CMD_GET_POWER|cut short|no|" + hexPairs(powerLostSum), notTaken}},
        {"a long run of noise",
         {{0, Bytes(100, 0x00)}},
         -1,
         {"|noise||" + hexPairs(Bytes(64, 0x00)), "|noise||" + hexPairs(Bytes(36, 0x00))}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(split(row.reads, row.takenAt), row.expected) << row.name;
}

TEST(TrafficRing, KeepsTheLastCapacityRecordsNumberedInOrder) {
    TrafficRing ring(3);
    for (std::int64_t t = 0; t < 5; ++t)
        ring.push({t, TrafficDirection::Sent, {}, {}, {}, {}});
    EXPECT_EQ(ring.first(), 2u);
    EXPECT_EQ(ring.end(), 5u);
    EXPECT_EQ(ring.at(2).timeUs, 2);
    EXPECT_EQ(ring.at(4).timeUs, 4);
}

}  // namespace
}  // namespace krx
