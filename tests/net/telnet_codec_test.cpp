// SPDX-License-Identifier: MIT
#include "link/telnet_codec.h"

#include <gtest/gtest.h>

#include <sstream>

#include "support/bytes.h"

namespace krx {
namespace {

using testing::Bytes;
using testing::hex;
using ComPort = TelnetCodec::ComPort;

// IAC SB COM-PORT-OPTION (44) <command> <value> IAC SE: SET-BAUDRATE 115200, SET-DATASIZE 8,
// SET-PARITY none, SET-STOPSIZE 1, PURGE-DATA both buffers.
const std::string kSettings8N1 =
    " FF FA 2C 01 00 01 C2 00 FF F0  FF FA 2C 02 08 FF F0  FF FA 2C 03 01 FF F0"
    " FF FA 2C 04 01 FF F0  FF FA 2C 0C 03 FF F0";

// Each row's server bytes arrive in the pieces its '|' marks.
TEST(TelnetCodec, TakesCommandsOutOfTheServersBytesAndAnswersThem) {
    struct Row {
        const char* name;
        std::string reads;
        std::string data;
        std::string reply;
        ComPort comPort = ComPort::Offered;
    };
    std::string overlong = "FF FA 2C";
    for (std::size_t i = 0; i < 2 * TelnetCodec::kMaxSubnegotiation; ++i)
        overlong += " 41";
    const Row rows[] = {
        {"PlainData", "41 42 0D 00", "41 42 0D 00", ""},
        {"DoubledIacIsOneDataByte", "FF FF 01", "FF 01", ""},
        {"IacSplitFromItsPair", "41 FF | FF 42", "41 FF 42", ""},
        // WILL and DO suppress-go-ahead, WILL and DONT echo, DO and WILL binary, DO COM-port.
        {"Ser2netOpening", "FF FB 03 FF FD 03 FF FB 01 FF FE 01 FF FD 00 FF FB 00 FF FD 2C", "",
         "FF FD 03 FF FB 03 FF FE 01" + kSettings8N1, ComPort::Requested},
        {"BaudRateAnswerSplitAnywhereConfigures",
         "FF FD 2C | FF FA 2C | 65 00 01 C2 | 00 FF | F0 41", "41", kSettings8N1,
         ComPort::Configured},
        {"ModemStateNoticeDoesNotConfigure", "FF FD 2C FF FA 2C 6B 00 FF F0", "", kSettings8N1,
         ComPort::Requested},
        {"ComPortRefused", "FF FE 2C", "", "", ComPort::Refused},
        {"UnknownOptionsRefused", "FF FB 18 FF FD 1F", "", "FF FE 18 FF FC 1F"},
        {"ChangesAnsweredOnlyOnce", "FF FB 03 FF FB 03 FF FC 03 FF FC 03", "", "FF FD 03 FF FE 03"},
        {"SubnegotiationWithDoubledIacSkipped", "FF FA 2C 6B FF FF FF F0 41", "41", ""},
        {"CommandCutsSubnegotiationShort", "FF FA 2C 6B FF FB 03 41", "41", "FF FD 03"},
        {"OverlongSubnegotiationSkipped", overlong + " FF F0 42", "42", ""},
        {"OtherCommandsMeanNothing", "FF F1 41 FF F9 42 FF F3", "41 42", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TelnetCodec codec(RemoteLineSettings{});
        EXPECT_EQ(codec.greeting(), hex("FF FB 00 FF FD 00 FF FB 2C"));
        Bytes data;
        Bytes reply;
        std::istringstream reads(row.reads);
        for (std::string read; std::getline(reads, read, '|');)
            codec.receive(hex(read), data, reply);
        EXPECT_EQ(data, hex(row.data));
        EXPECT_EQ(reply, hex(row.reply));
        EXPECT_EQ(codec.comPort(), row.comPort);
    }
}

TEST(TelnetCodec, EscapesDataAndValuesAndAsksForWhatItCannotExpress) {
    Bytes out;
    TelnetCodec::appendData(hex("01 FF 02 FF"), out);
    TelnetCodec::appendPurge(telnet::PurgeBuffers::FromLine, out);
    EXPECT_EQ(out, hex("01 FF FF 02 FF FF  FF FA 2C 0C 01 FF F0"));

    // 255 baud (IAC doubled), nine data bits (asks for the current size), even, two stop bits.
    TelnetCodec codec(RemoteLineSettings{255, 9, 'e', 2});
    codec.greeting();
    Bytes data;
    Bytes reply;
    codec.receive(hex("FF FD 2C"), data, reply);
    EXPECT_EQ(reply, hex("FF FA 2C 01 00 00 00 FF FF FF F0  FF FA 2C 02 00 FF F0"
                         " FF FA 2C 03 03 FF F0  FF FA 2C 04 02 FF F0  FF FA 2C 0C 03 FF F0"));
}

}  // namespace
}  // namespace krx
