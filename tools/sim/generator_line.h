// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <span>
#include <string_view>
#include <vector>

#include "frame_parser.h"
#include "generator.h"
#include "line_timing.h"

namespace krx::sim {

// Faults the line produces on demand. A code set holding kAnyCode matches every code.
struct FaultConfig {
    static constexpr std::uint32_t kAnyCode = 0x10000;

    std::set<std::uint32_t> silentCodes;       // these requests get no answer
    std::set<std::uint32_t> badChecksumCodes;  // answers to these carry a wrong checksum
    std::set<std::uint32_t> stallCodes;        // answers to these pause after stallAfterBytes
    std::size_t stallAfterBytes = 5;
    std::int64_t stallUs = 250'000;   // longer than the console's 200 ms between two bytes
    std::vector<std::uint8_t> noise;  // sent before every answer
    // The line hangs up once this many command frames have been received and answered.
    std::optional<std::size_t> hangUpAfterFrames;
};

struct LineConfig {
    std::int64_t latencyUs = 1'000;  // from the end of a request to the start of its answer
    bool paced = true;  // false: every byte of a write and of its answers has the same time
    bool displayAttached = true;
    FaultConfig faults;
};

// One entry of the line's traffic record.
struct LineEvent {
    enum class Direction { Received, Sent };
    Direction direction = Direction::Received;
    std::int64_t timeUs = 0;  // received: the last byte's arrival; sent: the first byte's time
    std::span<const std::uint8_t> bytes;
    CommandCode code = 0;
    std::string_view note;  // empty for a command or answer frame; else why it is special
};

// One serial line with one or more generators on it. Takes the bytes the console wrote, with
// their write time, and returns the answer bytes, each with the time it is complete on the wire.
// Answers go out one after another in device order and never overlap. Not thread-safe; time only
// moves forward through the times passed in.
class GeneratorLine {
  public:
    GeneratorLine(LineConfig config, const std::vector<TargetAddress>& devices,
                  const EdidBytes& attachedEdid);

    std::vector<TimedByte> receive(std::span<const std::uint8_t> bytes, std::int64_t writeTimeUs);

    // While a request is under way: the time (us) the devices give up on it unless its next byte
    // has come. Whoever runs the line's clock calls expire() then.
    std::optional<std::int64_t> requestDeadlineUs() const;
    // The clock reached `nowUs`: a request cut short by then is dropped; returns the answers to
    // any frame found among its bytes.
    std::vector<TimedByte> expire(std::int64_t nowUs);

    // Set once the hang-up fault has struck: the time (us) the line goes dead, after the last
    // answer byte. Later input is ignored.
    std::optional<std::int64_t> hangUpTimeUs() const { return hangUpUs_; }

    Generator& device(std::size_t i) { return devices_.at(i); }
    const Generator& device(std::size_t i) const { return devices_.at(i); }

    // Called for every frame received (also rejected ones) and every frame sent.
    void setObserver(std::function<void(const LineEvent&)> observer) {
        observer_ = std::move(observer);
    }

  private:
    void handleFrames(const std::vector<ParsedFrame>& frames, std::vector<TimedByte>& out);
    void handleFrame(const ParsedFrame& frame, std::vector<TimedByte>& out);
    void sendAnswer(const Generator& from, const Answer& answer, std::int64_t requestEndUs,
                    std::vector<TimedByte>& out);
    void notify(LineEvent::Direction direction, std::int64_t timeUs,
                std::span<const std::uint8_t> bytes, CommandCode code, std::string_view note);

    LineConfig config_;
    std::vector<Generator> devices_;
    FrameParser parser_;
    std::int64_t rxFreeUs_ = 0;  // when the console's last byte has arrived
    std::int64_t txFreeUs_ = 0;  // when the last answer byte is complete
    std::size_t framesReceived_ = 0;
    std::optional<std::int64_t> hangUpUs_;
    std::function<void(const LineEvent&)> observer_;
};

// Whether `codes` selects `code` (directly or through FaultConfig::kAnyCode).
bool faultMatches(const std::set<std::uint32_t>& codes, CommandCode code);

}  // namespace krx::sim
