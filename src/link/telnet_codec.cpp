// SPDX-License-Identifier: MIT
#include "link/telnet_codec.h"

#include <array>
#include <cctype>
#include <initializer_list>

namespace krx {

using namespace telnet;

namespace {

// Values of SET-PARITY.
constexpr std::uint8_t kParityNone = 1;
constexpr std::uint8_t kParityOdd = 2;
constexpr std::uint8_t kParityEven = 3;
constexpr std::uint8_t kParityMark = 4;
constexpr std::uint8_t kParitySpace = 5;

// Asks for the server's current value instead of setting one.
constexpr std::uint8_t kCurrentValue = 0;

std::uint8_t parityValue(char letter) {
    switch (std::toupper(static_cast<unsigned char>(letter))) {
        case 'N':
            return kParityNone;
        case 'O':
            return kParityOdd;
        case 'E':
            return kParityEven;
        case 'M':
            return kParityMark;
        case 'S':
            return kParitySpace;
        default:
            return kCurrentValue;
    }
}

std::uint8_t dataSizeValue(int dataBits) {
    return dataBits >= 5 && dataBits <= 8 ? static_cast<std::uint8_t>(dataBits) : kCurrentValue;
}

// SET-STOPSIZE: 1 and 2 stand for themselves (3 would be one and a half).
std::uint8_t stopSizeValue(int stopBits) {
    return stopBits == 1 || stopBits == 2 ? static_cast<std::uint8_t>(stopBits) : kCurrentValue;
}

bool weMayEnable(std::uint8_t option) {
    return option == kOptionBinary || option == kOptionSuppressGoAhead || option == kOptionComPort;
}

bool theyMayEnable(std::uint8_t option) {
    return option == kOptionBinary || option == kOptionSuppressGoAhead;
}

// Byte by byte: gcc 12 optimising misreads an initializer-list insert into an empty vector as an
// overflow.
void appendBytes(std::initializer_list<std::uint8_t> bytes, std::vector<std::uint8_t>& out) {
    for (const std::uint8_t byte : bytes)
        out.push_back(byte);
}

void appendCommand(std::uint8_t verb, std::uint8_t option, std::vector<std::uint8_t>& out) {
    appendBytes({kIac, verb, option}, out);
}

}  // namespace

TelnetCodec::TelnetCodec(RemoteLineSettings settings) : settings_(settings) {}

std::vector<std::uint8_t> TelnetCodec::greeting() {
    std::vector<std::uint8_t> out;
    appendCommand(kWill, kOptionBinary, out);
    appendCommand(kDo, kOptionBinary, out);
    appendCommand(kWill, kOptionComPort, out);
    oursAsked_.set(kOptionBinary);
    theirsAsked_.set(kOptionBinary);
    oursAsked_.set(kOptionComPort);
    return out;
}

void TelnetCodec::receive(std::span<const std::uint8_t> bytes, std::vector<std::uint8_t>& data,
                          std::vector<std::uint8_t>& reply) {
    for (std::uint8_t byte : bytes)
        step(byte, data, reply);
}

void TelnetCodec::step(std::uint8_t byte, std::vector<std::uint8_t>& data,
                       std::vector<std::uint8_t>& reply) {
    switch (state_) {
        case State::Data:
            if (byte == kIac)
                state_ = State::Command;
            else
                data.push_back(byte);
            return;
        case State::Command:
            state_ = State::Data;
            if (byte == kIac) {
                data.push_back(kIac);
            } else if (byte >= kWill && byte <= kDont) {
                verb_ = byte;
                state_ = State::Option;
            } else if (byte == kSb) {
                sub_.clear();
                state_ = State::Sub;
            }
            // Every other command (no-op, go-ahead, data mark, break, are-you-there, ...) means
            // nothing to a byte stream.
            return;
        case State::Option:
            state_ = State::Data;
            negotiate(verb_, byte, reply);
            return;
        case State::Sub:
            if (byte == kIac)
                state_ = State::SubCommand;
            else if (sub_.size() < kMaxSubnegotiation)
                sub_.push_back(byte);
            return;
        case State::SubCommand:
            if (byte == kIac) {
                state_ = State::Sub;
                if (sub_.size() < kMaxSubnegotiation)
                    sub_.push_back(kIac);
            } else if (byte == kSe) {
                state_ = State::Data;
                subnegotiation();
            } else {
                // A command inside a subnegotiation cuts it short and counts as a command.
                state_ = State::Command;
                step(byte, data, reply);
            }
            return;
    }
}

// A change is answered only when it changes something, and a request of ours is not answered
// again when the server agrees to it.
void TelnetCodec::negotiate(std::uint8_t verb, std::uint8_t option,
                            std::vector<std::uint8_t>& reply) {
    switch (verb) {
        case kWill:
            if (!theirs_.test(option)) {
                if (!theyMayEnable(option)) {
                    appendCommand(kDont, option, reply);
                } else {
                    theirs_.set(option);
                    if (!theirsAsked_.test(option))
                        appendCommand(kDo, option, reply);
                }
            }
            theirsAsked_.reset(option);
            return;
        case kWont:
            if (theirs_.test(option)) {
                theirs_.reset(option);
                appendCommand(kDont, option, reply);
            }
            theirsAsked_.reset(option);
            return;
        case kDo:
            if (!ours_.test(option)) {
                if (!weMayEnable(option)) {
                    appendCommand(kWont, option, reply);
                } else {
                    ours_.set(option);
                    if (!oursAsked_.test(option))
                        appendCommand(kWill, option, reply);
                    if (option == kOptionComPort) {
                        comPort_ = ComPort::Requested;
                        sendSettings(reply);
                    }
                }
            }
            oursAsked_.reset(option);
            return;
        default:  // kDont
            if (ours_.test(option)) {
                ours_.reset(option);
                appendCommand(kWont, option, reply);
            }
            oursAsked_.reset(option);
            if (option == kOptionComPort)
                comPort_ = ComPort::Refused;
            return;
    }
}

void TelnetCodec::subnegotiation() {
    if (sub_.size() < 2 || sub_[0] != kOptionComPort)
        return;
    if (sub_[1] == kServerAnswerOffset + kSetBaudRate && comPort_ == ComPort::Requested)
        comPort_ = ComPort::Configured;
    else if (sub_[1] == kServerAnswerOffset + kPurgeData)
        ++purgeAnswers_;
    // The server's other answers and notices (modem and line state, flow control) are not used.
}

void TelnetCodec::sendSettings(std::vector<std::uint8_t>& reply) const {
    const std::uint32_t baud = settings_.baud;
    const std::array<std::uint8_t, 4> baudValue{
        static_cast<std::uint8_t>(baud >> 24), static_cast<std::uint8_t>(baud >> 16),
        static_cast<std::uint8_t>(baud >> 8), static_cast<std::uint8_t>(baud)};
    appendComPortCommand(kSetBaudRate, baudValue, reply);
    const std::uint8_t dataSize = dataSizeValue(settings_.dataBits);
    appendComPortCommand(kSetDataSize, {&dataSize, 1}, reply);
    const std::uint8_t parity = parityValue(settings_.parity);
    appendComPortCommand(kSetParity, {&parity, 1}, reply);
    const std::uint8_t stopSize = stopSizeValue(settings_.stopBits);
    appendComPortCommand(kSetStopSize, {&stopSize, 1}, reply);
    appendPurge(PurgeBuffers::Both, reply);
}

void TelnetCodec::appendData(std::span<const std::uint8_t> bytes, std::vector<std::uint8_t>& out) {
    for (std::uint8_t byte : bytes) {
        out.push_back(byte);
        if (byte == kIac)
            out.push_back(kIac);
    }
}

void TelnetCodec::appendComPortCommand(std::uint8_t command, std::span<const std::uint8_t> value,
                                       std::vector<std::uint8_t>& out) {
    appendBytes({kIac, kSb, kOptionComPort, command}, out);
    appendData(value, out);
    appendBytes({kIac, kSe}, out);
}

void TelnetCodec::appendPurge(PurgeBuffers buffers, std::vector<std::uint8_t>& out) {
    const auto value = static_cast<std::uint8_t>(buffers);
    appendComPortCommand(kPurgeData, {&value, 1}, out);
}

}  // namespace krx
