// SPDX-License-Identifier: MIT
// Arbitrary server bytes into the client's Telnet codec. Byte 0 picks the piece size (1..64) the
// rest arrives in. Whatever comes in: the pieces give what the whole gives; no more data comes
// out than went in; the answers are whole commands and subnegotiations; and the data, escaped
// again, decodes to itself without an answer. Violated invariants abort.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "link/telnet_codec.h"

namespace {

using krx::TelnetCodec;
using Bytes = std::vector<std::uint8_t>;
namespace telnet = krx::telnet;

void require(bool condition) {
    if (!condition)
        std::abort();
}

struct Decoded {
    Bytes data;
    Bytes reply;
    TelnetCodec::ComPort comPort;
    std::size_t purgeAnswers;
};

Decoded decode(std::span<const std::uint8_t> input, std::size_t pieceSize) {
    TelnetCodec codec(krx::RemoteLineSettings{});
    codec.greeting();
    Decoded out{};
    for (std::size_t at = 0; at < input.size(); at += pieceSize)
        codec.receive(input.subspan(at, std::min(pieceSize, input.size() - at)), out.data,
                      out.reply);
    out.comPort = codec.comPort();
    out.purgeAnswers = codec.purgeAnswers();
    return out;
}

// The client answers with option commands and COM-port subnegotiations only.
void requireWellFormedReply(const Bytes& reply) {
    std::size_t at = 0;
    while (at < reply.size()) {
        require(at + 3 <= reply.size() && reply[at] == telnet::kIac);
        const std::uint8_t verb = reply[at + 1];
        if (verb >= telnet::kWill && verb <= telnet::kDont) {
            at += 3;
            continue;
        }
        require(verb == telnet::kSb && reply[at + 2] == telnet::kOptionComPort);
        at += 3;
        // Up to IAC SE; a doubled IAC is a value byte, any other IAC a fault.
        for (;;) {
            require(at + 1 < reply.size());
            if (reply[at] != telnet::kIac) {
                ++at;
                continue;
            }
            if (reply[at + 1] == telnet::kSe)
                break;
            require(reply[at + 1] == telnet::kIac);
            at += 2;
        }
        at += 2;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    if (size == 0)
        return 0;
    const std::size_t pieceSize = bytes[0] % 64 + 1;
    const std::span<const std::uint8_t> input(bytes + 1, size - 1);

    const Decoded whole = decode(input, input.size() + 1);
    const Decoded pieces = decode(input, pieceSize);
    require(pieces.data == whole.data && pieces.reply == whole.reply &&
            pieces.comPort == whole.comPort && pieces.purgeAnswers == whole.purgeAnswers);
    require(whole.data.size() <= input.size());
    requireWellFormedReply(whole.reply);

    Bytes escaped;
    TelnetCodec::appendData(whole.data, escaped);
    const Decoded again = decode(escaped, pieceSize);
    require(again.data == whole.data && again.reply.empty());
    return 0;
}
