// SPDX-License-Identifier: MIT
#include "link/telnet_codec.h"

#include <gtest/gtest.h>

#include <vector>

namespace krx {
namespace {

using Bytes = std::vector<std::uint8_t>;
using ComPort = TelnetCodec::ComPort;

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

// IAC SB COM-PORT-OPTION <command> <value> IAC SE, for the console's line and the open's purge.
const Bytes kSettings8N1 = {
    0xFF, 0xFA, 44, 1,  0x00, 0x01, 0xC2, 0x00, 0xFF, 0xF0,  // SET-BAUDRATE 115200
    0xFF, 0xFA, 44, 2,  8,    0xFF, 0xF0,                    // SET-DATASIZE 8
    0xFF, 0xFA, 44, 3,  1,    0xFF, 0xF0,                    // SET-PARITY none
    0xFF, 0xFA, 44, 4,  1,    0xFF, 0xF0,                    // SET-STOPSIZE 1
    0xFF, 0xFA, 44, 12, 3,    0xFF, 0xF0,                    // PURGE-DATA both buffers
};

TEST(TelnetCodec, TakesCommandsOutOfTheServersBytesAndAnswersThem) {
    struct Row {
        const char* name;
        std::vector<Bytes> reads;
        Bytes data;
        Bytes reply;
        ComPort comPort;
    };
    const Bytes overlong = concat({{0xFF, 0xFA, 44}, Bytes(200, 0x41), {0xFF, 0xF0, 0x42}});
    const Row rows[] = {
        {"PlainData", {{'A', 'B', 0x0D, 0x00}}, {'A', 'B', 0x0D, 0x00}, {}, ComPort::Offered},
        {"DoubledIacIsOneDataByte", {{0xFF, 0xFF, 0x01}}, {0xFF, 0x01}, {}, ComPort::Offered},
        {"IacSplitFromItsPair",
         {{0x41, 0xFF}, {0xFF, 0x42}},
         {0x41, 0xFF, 0x42},
         {},
         ComPort::Offered},
        // ser2net's opening: WILL and DO suppress-go-ahead, WILL and DONT echo, DO and WILL
        // binary, DO COM-port.
        {"Ser2netOpening",
         {{0xFF, 0xFB, 3,    0xFF, 0xFD, 3,    0xFF, 0xFB, 1,    0xFF, 0xFE,
           1,    0xFF, 0xFD, 0,    0xFF, 0xFB, 0,    0xFF, 0xFD, 44}},
         {},
         concat({{0xFF, 0xFD, 3, 0xFF, 0xFB, 3, 0xFF, 0xFE, 1}, kSettings8N1}),
         ComPort::Requested},
        {"BaudRateAnswerSplitAnywhereConfigures",
         {{0xFF, 0xFD, 44}, {0xFF, 0xFA, 44}, {101, 0, 1, 0xC2}, {0, 0xFF}, {0xF0, 0x41}},
         {0x41},
         kSettings8N1,
         ComPort::Configured},
        {"ModemStateNoticeDoesNotConfigure",
         {{0xFF, 0xFD, 44, 0xFF, 0xFA, 44, 107, 0x00, 0xFF, 0xF0}},
         {},
         kSettings8N1,
         ComPort::Requested},
        {"ComPortRefused", {{0xFF, 0xFE, 44}}, {}, {}, ComPort::Refused},
        {"UnknownOptionsRefused",
         {{0xFF, 0xFB, 24, 0xFF, 0xFD, 31}},
         {},
         {0xFF, 0xFE, 24, 0xFF, 0xFC, 31},
         ComPort::Offered},
        {"ChangesAnsweredOnlyOnce",
         {{0xFF, 0xFB, 3, 0xFF, 0xFB, 3, 0xFF, 0xFC, 3, 0xFF, 0xFC, 3}},
         {},
         {0xFF, 0xFD, 3, 0xFF, 0xFE, 3},
         ComPort::Offered},
        {"SubnegotiationWithDoubledIacSkipped",
         {{0xFF, 0xFA, 44, 107, 0xFF, 0xFF, 0xFF, 0xF0, 0x41}},
         {0x41},
         {},
         ComPort::Offered},
        {"CommandCutsSubnegotiationShort",
         {{0xFF, 0xFA, 44, 107, 0xFF, 0xFB, 3, 0x41}},
         {0x41},
         {0xFF, 0xFD, 3},
         ComPort::Offered},
        {"OverlongSubnegotiationSkipped", {overlong}, {0x42}, {}, ComPort::Offered},
        {"OtherCommandsMeanNothing",
         {{0xFF, 0xF1, 0x41, 0xFF, 0xF9, 0x42, 0xFF, 0xF3}},
         {0x41, 0x42},
         {},
         ComPort::Offered},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TelnetCodec codec(RemoteLineSettings{});
        EXPECT_EQ(codec.greeting(), (Bytes{0xFF, 0xFB, 0, 0xFF, 0xFD, 0, 0xFF, 0xFB, 44}));
        Bytes data;
        Bytes reply;
        for (const Bytes& read : row.reads)
            codec.receive(read, data, reply);
        EXPECT_EQ(data, row.data);
        EXPECT_EQ(reply, row.reply);
        EXPECT_EQ(codec.comPort(), row.comPort);
    }
}

TEST(TelnetCodec, EscapesDataAndValuesAndAsksForWhatItCannotExpress) {
    Bytes out;
    TelnetCodec::appendData(Bytes{0x01, 0xFF, 0x02, 0xFF}, out);
    TelnetCodec::appendPurge(telnet::PurgeBuffers::FromLine, out);
    EXPECT_EQ(out, (Bytes{0x01, 0xFF, 0xFF, 0x02, 0xFF, 0xFF, 0xFF, 0xFA, 44, 12, 1, 0xFF, 0xF0}));

    // 255 baud, nine data bits (not expressible: asks for the current size), even, two stop bits.
    TelnetCodec codec(RemoteLineSettings{255, 9, 'e', 2});
    codec.greeting();
    Bytes data;
    Bytes reply;
    codec.receive(Bytes{0xFF, 0xFD, 44}, data, reply);
    EXPECT_EQ(reply, (Bytes{
                         0xFF, 0xFA, 44, 1,  0, 0,    0,    0xFF, 0xFF, 0xFF, 0xF0,  // IAC doubled
                         0xFF, 0xFA, 44, 2,  0, 0xFF, 0xF0,                          // current size
                         0xFF, 0xFA, 44, 3,  3, 0xFF, 0xF0,                          // even
                         0xFF, 0xFA, 44, 4,  2, 0xFF, 0xF0,  // two stop bits
                         0xFF, 0xFA, 44, 12, 3, 0xFF, 0xF0,
                     }));
}

}  // namespace
}  // namespace krx
