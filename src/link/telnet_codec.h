// SPDX-License-Identifier: MIT
#pragma once

#include <bitset>
#include <cstdint>
#include <span>
#include <vector>

namespace krx {

// The Telnet bytes a COM-port control client needs.
namespace telnet {
inline constexpr std::uint8_t kSe = 240;  // end of a subnegotiation
inline constexpr std::uint8_t kSb = 250;  // start of a subnegotiation
inline constexpr std::uint8_t kWill = 251;
inline constexpr std::uint8_t kWont = 252;
inline constexpr std::uint8_t kDo = 253;
inline constexpr std::uint8_t kDont = 254;
inline constexpr std::uint8_t kIac = 255;  // "interpret as command"; doubled as data

inline constexpr std::uint8_t kOptionBinary = 0;
inline constexpr std::uint8_t kOptionSuppressGoAhead = 3;
inline constexpr std::uint8_t kOptionComPort = 44;

// COM-port commands from the client; the server answers each with the same code plus 100.
inline constexpr std::uint8_t kSetBaudRate = 1;
inline constexpr std::uint8_t kSetDataSize = 2;
inline constexpr std::uint8_t kSetParity = 3;
inline constexpr std::uint8_t kSetStopSize = 4;
inline constexpr std::uint8_t kPurgeData = 12;
inline constexpr std::uint8_t kServerAnswerOffset = 100;

// Which of the server's buffers PURGE-DATA empties.
enum class PurgeBuffers : std::uint8_t {
    FromLine = 1,  // received from the serial line, not yet sent to the client
    ToLine = 2,    // received from the client, not yet written to the line
    Both = 3,
};
}  // namespace telnet

// The remote line as open() asks for it; a value the option cannot express is sent as 0, which
// asks for the server's current value and so leaves it unchanged.
struct RemoteLineSettings {
    std::uint32_t baud = 115200;
    int dataBits = 8;
    char parity = 'N';  // as in a settings text: N, O, E, M, S in either case
    int stopBits = 1;
};

// The client side of a Telnet session with COM-port control: bytes to the server and back.
//
// Going out, data has every 0xFF doubled. Coming in, commands and subnegotiations are taken out
// of the data, however the bytes are split between calls. The client asks for binary both ways
// and offers COM-port control; it agrees to binary, suppress-go-ahead and COM-port control,
// refuses every other option and acknowledges a change only once, so that two ends cannot loop.
// Once the server takes COM-port control, the client sends the line settings and a purge of
// both of the server's buffers; the server's answer to the baud rate marks the line configured.
// Pure; one object per connection.
class TelnetCodec {
  public:
    enum class ComPort {
        Offered,     // asked for, no answer yet
        Requested,   // the server agreed; the settings are sent, their answer outstanding
        Configured,  // the server answered the baud rate
        Refused,     // the server does not do COM-port control
    };

    explicit TelnetCodec(RemoteLineSettings settings);

    // What the client sends first.
    std::vector<std::uint8_t> greeting();

    // Bytes from the server: the data among them is appended to `data`, the client's answers to
    // `reply`, which the caller sends before any later data.
    void receive(std::span<const std::uint8_t> bytes, std::vector<std::uint8_t>& data,
                 std::vector<std::uint8_t>& reply);

    ComPort comPort() const { return comPort_; }

    // How many PURGE-DATA answers the server has sent: one more than before a purge means the
    // server has done it.
    std::size_t purgeAnswers() const { return purgeAnswers_; }

    // `bytes` as Telnet data.
    static void appendData(std::span<const std::uint8_t> bytes, std::vector<std::uint8_t>& out);

    // A COM-port command with its value (escaped), framed as a subnegotiation.
    static void appendComPortCommand(std::uint8_t command, std::span<const std::uint8_t> value,
                                     std::vector<std::uint8_t>& out);
    static void appendPurge(telnet::PurgeBuffers buffers, std::vector<std::uint8_t>& out);

    // The longest subnegotiation kept; the rest of a longer one is skipped.
    static constexpr std::size_t kMaxSubnegotiation = 64;

  private:
    enum class State : std::uint8_t { Data, Command, Option, Sub, SubCommand };

    void step(std::uint8_t byte, std::vector<std::uint8_t>& data, std::vector<std::uint8_t>& reply);
    void negotiate(std::uint8_t verb, std::uint8_t option, std::vector<std::uint8_t>& reply);
    void subnegotiation();
    void sendSettings(std::vector<std::uint8_t>& reply) const;

    const RemoteLineSettings settings_;
    State state_ = State::Data;
    std::uint8_t verb_ = 0;
    std::vector<std::uint8_t> sub_;
    ComPort comPort_ = ComPort::Offered;
    std::size_t purgeAnswers_ = 0;
    // Per option: enabled on this side (we send under it) or the server's, and asked for by us
    // with no answer yet.
    std::bitset<256> ours_, theirs_, oursAsked_, theirsAsked_;
};

}  // namespace krx
