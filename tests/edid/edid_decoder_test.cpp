// SPDX-License-Identifier: MIT
// What only built images can show: descriptor offsets at the ends of the extension, blocks and
// maps running past the image, and the rate's rounding. Whole displays and the single-field edge
// cases are data: data/ and data/edge/, compared byte for byte by edid_tool_test.
#include <gtest/gtest.h>

#include <string>

#include "edid/edid_decoder.h"
#include "edid_builder.h"

namespace krx {
namespace {

using test::EdidBuilder;
using test::TimingFields;

constexpr TimingFields k720p60{7425, 1280, 370, 720, 30, false};

// A builder already holding an empty CEA extension: byte 126 = 1, tag 02, revision 3, d = 4.
EdidBuilder cea() {
    return EdidBuilder().set(126, 1).set(128, {0x02, 0x03, 0x04});
}

// The header check gates the texts; a bad checksum does not.
TEST(EdidDecoder, DecodeReceivedAddsTheTextsOnlyForAGoodHeader) {
    EdidImage image = cea().timing(54, {14850, 1920, 280, 1080, 45, false}).finish();
    image[200] ^= 1;
    auto expected = EdidDecoder::decodeAll(image);
    EXPECT_TRUE(expected.status.empty());
    expected.status = "HDMI EDID\rBank1 check sum error !";
    EXPECT_EQ(EdidDecoder::decodeReceived(image), expected);
    image[0] = 0x01;
    EXPECT_EQ(EdidDecoder::decodeReceived(image),
              (EdidReport{"EDID data header error !", "", "", "", ""}));
}

TEST(EdidDecoder, TimingRateIsTheRoundedFieldRate) {
    struct Row {
        const char* name;
        TimingFields timing;
        int rateHz;
    };
    const Row rows[] = {
        {"HalfRoundsUp", {1, 1, 0, 4000, 0, false}, 3},         // 2.5
        {"BelowHalfRoundsDown", {1, 1, 0, 4001, 0, false}, 2},  // 2.4994
        {"LargestClockTinyTotals", {65535, 1, 0, 1, 0, false}, 655350000},
        {"ZeroHorizontalTotal", {14850, 0, 0, 1080, 45, false}, 0},
        {"ZeroVerticalTotal", {14850, 1920, 280, 0, 0, false}, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(EdidDecoder::timingRate(EdidBuilder().timing(72, row.timing).finish(), 72),
                  row.rateHz);
    }
}

TEST(EdidDecoder, OffsetsAndBlocksAtTheEndsOfTheExtension) {
    const std::string noPreferred = "Preferred Timing:0x0@0Hz\r\n";
    const std::string svd = "\r\nShort Video Descripter\r\n";
    // Seven slots at 132 + 18k; the seventh runs two bytes past the image (its flags read as 0).
    EdidBuilder sevenSlots = cea();
    EdidBuilder walkToTheEnd = cea();
    for (std::size_t offset = 132; offset < 256; ++offset) {
        sevenSlots.set(offset, test::timingBytes(k720p60)[(offset - 132) % 18]);
        walkToTheEnd.set(offset, 0x40);  // zero-length video blocks, one per byte
    }
    std::string sevenLines;
    for (int n = 1; n <= 7; ++n)
        sevenLines += "Extension Detailed Timing" + std::to_string(n) + ":1280x720@60Hz\r\n";
    const std::string silentAudio =
        "Audio Format:Refer to Stream Header.\r\nAudio Channel(s):1\r\nSample Frequency:\r\n\r\n";
    std::string tenSilent;
    for (int n = 0; n < 10; ++n)
        tenSilent += silentAudio;
    struct Row {
        const char* name;
        std::string (*decode)(const EdidImage&);
        EdidImage image;
        std::string text;
    };
    const auto video = EdidDecoder::decodeVideo;
    const auto audio = EdidDecoder::decodeAudio;
    const Row rows[] = {
        // Slot 1 starts at 128: clock 0x0302, HA = d(0) + 256 * (byte 132 >> 4), and so on.
        {"DescriptorOffset0DecodesTheExtensionHeaderAsASlot", video,
         cea().descriptorOffset(0).finish(false),
         noPreferred + "Extension Detailed Timing1:0x0@0Hz\r\n" + svd},
        // Slot 1 doubles as a video list: length 1, VIC 29.
        {"DescriptorOffset4ExaminesSevenSlots", video, sevenSlots.finish(false),
         noPreferred + sevenLines + svd + "1440x576p@50Hz  4:3\r\n"},
        {"DescriptorOffset127HasNoSlots", video,
         cea().timing(132, k720p60).descriptorOffset(127).finish(),
         noPreferred + svd + "1440x576p@50Hz  4:3\r\n"},
        // The slot at 254 keeps its clock bytes; the rest lies past the image and reads as 0.
        {"DescriptorOffset126OneSlotAtTheEnd", video,
         cea().set(254, {0x01, 0x01}).descriptorOffset(126).finish(false),
         noPreferred + "Extension Detailed Timing1:0x0@0Hz\r\n" + svd},
        // A video block of two bytes, then an audio block at 135, where d = 7 ends the blocks.
        {"AudioBlockAtOrAfterDIsNotFound", audio,
         cea().set(132, {0x42, 1, 2, 0x23, 9, 7, 7}).descriptorOffset(7).finish(), "\r\n"},
        // d = 255 would walk past the image; the walk stops at the last byte instead.
        {"AudioWalkStopsAtTheEndOfTheImage", audio,
         walkToTheEnd.descriptorOffset(255).finish(false), "\r\n"},
        // Length 31 with its header on byte 255: every payload byte reads as 0.
        {"AudioBlockRunningPastTheEndReadsZeros", audio,
         cea().set(132, 0x5E).set(255, 0x3F).descriptorOffset(200).finish(false),
         tenSilent + "\r\n"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.decode(row.image), row.text) << row.name;
}

TEST(EdidDecoder, CapabilityMapBitsPastTheImageNameNothing) {
    // Video list 133..163 and the tail 196..255 hold VIC 16; a 30-entry capability map at 164
    // with every bit set names the descriptors at 133..372, of which 256..372 lie past the image.
    EdidBuilder builder = cea();
    builder.descriptorOffset(100);
    for (std::size_t offset = 132; offset < 256; ++offset)
        builder.set(offset, offset >= 166 && offset < 196 ? 0xFF : 0x10);  // 0xFF: VIC 127, unnamed
    builder.set(132, 0x5F);                                                // video, length 31
    builder.set(164, {0xFF, 0x0F});  // extended tag, length 31, capability map
    const std::string general = EdidDecoder::decodeGeneral(builder.finish(false));
    const std::string line = "1920x1080p@60Hz  16:9\r\n";
    std::size_t named = 0;
    for (auto at = general.find(line); at != std::string::npos; at = general.find(line, at + 1))
        ++named;
    EXPECT_EQ(named, 31U + 60U);
    // Byte 165, the map's own code 0x0F, is descriptor 32 and names VIC 15.
    EXPECT_NE(general.find("1440x480p@60Hz  16:9\r\n"), std::string::npos);
}

}  // namespace
}  // namespace krx
