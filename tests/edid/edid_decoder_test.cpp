// SPDX-License-Identifier: MIT
// The decoder's edge cases, one built image per row. Whole displays (block 0 fields, names and
// limits in the usual slots, full audio and HDMI blocks, latencies, the YCbCr 4:2:0 blocks, the
// common checksum verdicts) are checked byte for byte by edid_tool_test.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "edid/edid_decoder.h"
#include "edid_builder.h"

namespace krx {
namespace {

using test::EdidBuilder;
using test::hdmiPayload;
using test::TimingFields;

constexpr TimingFields k1080p60{14850, 1920, 280, 1080, 45, false};
constexpr TimingFields k1080i60{7425, 1920, 280, 540, 22, true};
constexpr TimingFields k720p60{7425, 1280, 370, 720, 30, false};
constexpr TimingFields k2160p60{59400, 3840, 560, 2160, 90, false};

EdidImage withByte(EdidImage image, std::size_t offset, std::uint8_t value) {
    image[offset] = value;
    return image;
}

// A builder already holding an empty CEA extension (d = 4).
EdidBuilder cea(std::uint8_t deviceSupport = 0) {
    EdidBuilder builder;
    builder.ceaExtension(deviceSupport);
    return builder;
}

std::string repeat(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) {
        out += text;
    }
    return out;
}

// A row: an image and the exact text one decoder function gives for it.
struct TextCase {
    const char* name;
    EdidImage image;
    std::string text;
};

void expectTexts(std::string (*decode)(const EdidImage&), const std::vector<TextCase>& rows,
                 const std::string& head = "", const std::string& tail = "") {
    for (const TextCase& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(decode(row.image), head + row.text + tail);
    }
}

TEST(EdidDecoder, CheckImageGivesStatusAndHeaderVerdict) {
    const EdidImage dvi = EdidBuilder().finish();
    const EdidImage hdmi = cea().finish();
    struct Row {
        const char* name;
        EdidImage image;
        const char* status;
        bool headerGood;
    };
    const Row rows[] = {
        {"FirstHeaderByteWrong", withByte(dvi, 0, 0x01), "EDID data header error !", false},
        {"LastHeaderByteWrong", withByte(hdmi, 7, 0xFF), "EDID data header error !", false},
        {"DviBadBlock0", withByte(dvi, 20, 0x80), "DVI EDID\rCheck sum error !", true},
        {"HdmiBadBlock1", withByte(hdmi, 200, 0x01), "HDMI EDID\rBank1 check sum error !", true},
        {"HdmiBothBad", withByte(withByte(hdmi, 20, 0x80), 200, 0x01),
         "HDMI EDID\rBank0 check sum error !\rBank1 check sum error !", true},
        // The status looks at byte 126 alone, not at the extension tag.
        {"HdmiFlagWithoutCeaTag", EdidBuilder().set(126, 3).finish(), "HDMI EDID\rcheck sum Ok !",
         true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto check = EdidDecoder::checkImage(row.image);
        EXPECT_EQ(check.status, row.status);
        EXPECT_EQ(check.headerGood, row.headerGood);
    }
}

TEST(EdidDecoder, DecodeReceivedAddsTheTextsOnlyForAGoodHeader) {
    const EdidImage good = cea().timing(54, k1080p60).finish();
    EXPECT_EQ(EdidDecoder::decodeReceived(withByte(good, 0, 0x01)),
              (EdidReport{"EDID data header error !", "", "", "", ""}));
    auto expected = EdidDecoder::decodeAll(good);
    EXPECT_TRUE(expected.status.empty());
    expected.status = "HDMI EDID\rcheck sum Ok !";
    EXPECT_EQ(EdidDecoder::decodeReceived(good), expected);
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

TEST(EdidDecoder, VideoInformation) {
    const std::string noPreferred = "Preferred Timing:0x0@0Hz\r\n";
    const std::string p1080 = "Preferred Timing:1920x1080@60Hz\r\n";
    // Seven slots at 132 + 18k; the seventh runs two bytes past the image (its flags read as 0).
    EdidBuilder sevenSlots = cea();
    for (std::size_t offset = 132; offset < 256; ++offset) {
        sevenSlots.set(offset, test::timingBytes(k720p60)[(offset - 132) % 18]);
    }
    std::string sevenLines;
    for (int n = 1; n <= 7; ++n) {
        sevenLines += "Extension Detailed Timing" + std::to_string(n) + ":1280x720@60Hz\r\n";
    }
    expectTexts(
        EdidDecoder::decodeVideo,
        {
            // A display descriptor in the preferred slot is still printed as a timing.
            {"PreferredFromDisplayDescriptor", EdidBuilder().displayName(54, "X").finish(),
             "Preferred Timing:0x600@0Hz\r\n"},
            {"DetailedSlotsInOrder",
             EdidBuilder()
                 .timing(54, k1080p60)
                 .timing(72, k1080i60)
                 .timing(90, k720p60)
                 .timing(108, k2160p60)
                 .finish(),
             p1080 + "Detailed Timing:1920x1080i@60Hz\r\nDetailed Timing:1280x720@60Hz\r\n" +
                 "Detailed Timing:3840x2160@60Hz\r\n"},
            {"DetailedSlotNeedsBothClockBytes",
             EdidBuilder()
                 .timing(54, k1080p60)
                 .timing(72, {0x0100, 1280, 370, 720, 30, false})  // low clock byte 0
                 .timing(90, {0x0001, 1280, 370, 720, 30, false})  // high clock byte 0
                 .finish(),
             p1080},
            {"LeftoverExtensionBytesIgnoredWithoutFlag",
             EdidBuilder().set(128, {0x02, 0x03, 0x04, 0x70, 0x41, 0x90}).finish(), noPreferred},
            {"FlagWithoutCeaTagIsNoExtension",
             EdidBuilder().set(126, 1).set(128, {0x70, 0x03, 0x04, 0x70, 0x41, 0x90}).finish(),
             noPreferred},
            // VIC 0 and 108 have no name, bit 7 marks a native one.
            {"ShortVideoDescriptors",
             cea().dataBlock(2, {0x90, 0x00, 0x6C, 0x80, 0x01, 0x6B}).finish(),
             noPreferred + "\r\nShort Video Descripter\r\n1920x1080p@60Hz  16:9  Native\r\n" +
                 "640x480p@60Hz  4:3\r\n3840x2160p@60Hz  64:27\r\n"},
            // The block at 132 is read as the video list whatever its tag says.
            {"FirstBlockTakenAsVideoWhateverItsTag", cea().dataBlock(1, {0x09, 0x04}).finish(),
             noPreferred + "\r\nShort Video Descripter\r\n720(1440)x240p@60Hz  16:9\r\n" +
                 "1280x720p@60Hz  16:9\r\n"},
            {"ExtensionSlotsNumberedSkippingEmptyOnes",
             cea().dataBlock(2, {0x10}).timing(134, k720p60).timing(170, k1080i60).finish(),
             noPreferred + "Extension Detailed Timing1:1280x720@60Hz\r\n" +
                 "Extension Detailed Timing2:1920x1080i@60Hz\r\n" +
                 "\r\nShort Video Descripter\r\n1920x1080p@60Hz  16:9\r\n"},
            // Slot 1 starts at 128: clock 0x0302, HA = d(0) + 256 * (byte 132 >> 4), and so on.
            {"DescriptorOffset0DecodesTheExtensionHeaderAsASlot",
             cea().descriptorOffset(0).finish(false),
             noPreferred + "Extension Detailed Timing1:0x0@0Hz\r\n\r\nShort Video Descripter\r\n"},
            // Slot 1 doubles as a video list: length 1, VIC 29.
            {"DescriptorOffset4ExaminesSevenSlots", sevenSlots.finish(false),
             noPreferred + sevenLines + "\r\nShort Video Descripter\r\n1440x576p@50Hz  4:3\r\n"},
            {"DescriptorOffset127HasNoSlots",
             cea().timing(132, k720p60).descriptorOffset(127).finish(),
             noPreferred + "\r\nShort Video Descripter\r\n1440x576p@50Hz  4:3\r\n"},
            // The slot at 254 keeps its clock bytes; the rest lies past the image and reads as 0.
            {"DescriptorOffset126OneSlotAtTheEnd",
             cea().set(254, {0x01, 0x01}).descriptorOffset(126).finish(false),
             noPreferred + "Extension Detailed Timing1:0x0@0Hz\r\n\r\nShort Video Descripter\r\n"},
        });
}

TEST(EdidDecoder, AudioInformation) {
    const std::string silentDescriptor =
        "Audio Format:Refer to Stream Header.\r\nAudio Channel(s):1\r\nSample Frequency:\r\n\r\n";
    EdidBuilder walkToTheEnd = cea();
    for (std::size_t offset = 132; offset < 256; ++offset) {
        walkToTheEnd.set(offset, 0x40);  // zero-length video blocks, one per byte
    }
    expectTexts(
        EdidDecoder::decodeAudio,
        {
            {"NoAudioBlock", cea().dataBlock(2, {0x10}).finish(), ""},
            {"AudioBlockShorterThanTwo", cea().dataBlock(1, {0x09}).finish(), ""},
            {"BlockAtOrAfterDIsNotFound",
             cea().dataBlock(2, {1, 2}).dataBlock(1, {9, 7, 7}).descriptorOffset(7).finish(), ""},
            // d = 255 would walk past the image; the walk stops at the last byte instead.
            {"WalkStopsAtTheEndOfTheImage", walkToTheEnd.descriptorOffset(255).finish(false), ""},
            {"AllRatesNoSizeBitsReservedFormat", cea().dataBlock(1, {0x7F, 0x7F, 0xF8}).finish(),
             "Audio Format:Reserved.\r\nAudio Channel(s):8\r\nSample Frequency:\r\n192KHz\r\n"
             "176KHz\r\n96KHz\r\n88KHz\r\n48KHz\r\n44.1KHz\r\n32KHz\r\n\r\n"},
            // Length 5: descriptors at 1 and 4; the second one's third byte is the next header.
            {"DescriptorRunsIntoNextBlock",
             cea()
                 .dataBlock(1, {0x09, 0x04, 0x00, 0x00, 0x01})
                 .dataBlock(3, {0x03, 0x0C, 0x00})
                 .finish(),
             "Audio Format:LPCM.\r\nAudio Channel(s):2\r\nSample Frequency:\r\n48KHz\r\n\r\n"
             "Audio Format:Refer to Stream Header.\r\nAudio Channel(s):1\r\nSample Frequency:\r\n"
             "32KHz\r\nSample Bit:\r\n20Bit \r\n16Bit \r\n\r\n\r\n"},
            // Length 31 with its header on byte 255: every payload byte reads as 0.
            {"BlockRunningPastTheEndReadsZeros",
             cea().set(132, 0x5E).set(255, 0x3F).descriptorOffset(200).finish(false),
             repeat(silentDescriptor, 10)},
        },
        "", "\r\n");
}

TEST(EdidDecoder, GeneralInformation) {
    const std::string head =
        "\r\nManufacture's Name:@@@\r\nProduct Code:0\r\nVideo Signal Interface:Analog\r\n"
        "Color Bit Depth:Reserved\r\n";
    // What an extension with no blocks at all adds.
    const std::string bare =
        "Native Timings:0\r\nYCbCr444 DeepColor:not support\r\n3D video:not support\r\n\r\n";
    const std::string name = "Display Product Name:";
    expectTexts(
        EdidDecoder::decodeGeneral,
        {
            {"FullThirteenCharacterName", EdidBuilder().displayName(108, "ABCDEFGHIJKLM").finish(),
             name + "ABCDEFGHIJKLM\r\n"},
            // Every byte offset is searched, not only descriptor starts.
            {"NameAtUnalignedOffset", EdidBuilder().displayName(61, "ODD").finish(),
             name + "ODD" + std::string(10, ' ') + "\r\n"},
            // The second match writes over the first without the field being refilled.
            {"SecondNameOverwritesFirstInPlace",
             EdidBuilder().displayName(72, "LONGERNAME").displayName(90, "AB").finish(),
             name + "ABNGERNAME" + std::string(3, ' ') + "\r\n"},
            // The name is printed with %s, so an embedded zero byte ends it.
            {"ZeroByteEndsName", EdidBuilder().displayName(72, "AB").set(79, 0x00).finish(),
             name + "AB\r\n"},
            {"RangeLimitsLargestValues",
             EdidBuilder().set(54, {0, 0, 0, 0xFD, 0, 255, 255, 255, 255, 255}).finish(),
             "Vertical Rate:255Hz--255Hz\r\nHorizontal Rate:255KHz--255KHz\r\n"
             "Maximum Pixel Clock:2550MHz\r\n"},
            {"BareExtension", cea().finish(), bare},
            // The underscan bit and the native count in the low nibble are not looked at.
            {"DeviceSupportOnlyUnderscanAndNativeNibble", cea(0x8F).finish(), bare},
            // The video block is found by its tag, here after the audio block.
            {"NativeTimingsCountsBit7OfTheVideoBlock",
             cea().dataBlock(1, {0x09, 0x07, 0x07}).dataBlock(2, {0x90, 0x04, 0x81, 0x80}).finish(),
             "Native Timings:3\r\nYCbCr444 DeepColor:not support\r\n3D video:not support\r\n\r\n"},
            {"DeepColorByteNeedsLengthSix",
             cea().dataBlock(3, hdmiPayload({})).set(138, 0x78).finish(), bare},
            // Only the video latency pair: the 3D byte is block byte 11. HDMI_VIC 5 has no name.
            {"OneLatencyPairShiftsThe3DByteByTwo",
             cea()
                 .dataBlock(3, hdmiPayload({0x00, 0x00, 0xA0, 0x11, 0x22, 0x80, 0x40, 0x05, 0x04}))
                 .finish(),
             "Native Timings:0\r\nYCbCr444 DeepColor:not support\r\n3D video:support\r\n\r\n"
             "Extended Resolution(4Kx2K):\r\n4Kx2K@24Hz(SMPTE)\r\n"},
            {"HdmiVideoPresentBitClearMeansNo3D",
             cea().dataBlock(3, hdmiPayload({0x00, 0x00, 0x00, 0x80, 0x40, 0x01, 0x03})).finish(),
             bare},
            // Length 7: the byte after the block has bit 5 set, but it is not block byte 8.
            {"HdmiBlockShorterThanEightHasNo3D",
             cea()
                 .dataBlock(3, hdmiPayload({0x00, 0x00}))
                 .dataBlock(1, {0x80, 0x40, 0x01})
                 .finish(),
             bare},
            // VIC 0 names nothing; bit 7 of an entry is not part of the VIC.
            {"Y420VideoBlock", cea().dataBlock(7, {0x0E, 0x60, 0x00, 0xC0, 0x6C}).finish(),
             bare +
                 "\r\nY420VDB Descripter :\r\n3840x2160p@50Hz  16:9\r\n1920x1080p@100Hz  16:9\r\n"},
            {"Y420CapabilityMapEmptyMeansAll", cea().dataBlock(7, {0x0F}).finish(),
             bare + "\r\nY420CMDB Descripter :\r\nAll SVDs do support YUV420\r\n"},
            // Bits 0 and 2 of the first map byte, bit 0 of the second: SVDs 1, 3 and 9.
            {"Y420CapabilityMapNamesSelectedSvds",
             cea()
                 .dataBlock(2, {0x10, 0x04, 0x61, 0x05, 0x13, 0x14, 0x1F, 0x20, 0xE0})
                 .dataBlock(7, {0x2F, 0x05, 0x01})
                 .finish(),
             "Native Timings:1\r\nYCbCr444 DeepColor:not support\r\n3D video:not support\r\n\r\n"
             "\r\nY420CMDB Descripter :\r\n1920x1080p@60Hz  16:9\r\n3840x2160p@60Hz  16:9\r\n"
             "3840x2160p@50Hz  16:9\r\n"},
            {"OnlyFirstExtendedBlockLooked",
             cea().dataBlock(7, {0x05, 0x00}).dataBlock(7, {0x0F}).finish(), bare},
            {"ExtendedBlockOfLengthZero", cea().dataBlock(7, {}).finish(), bare},
        },
        head, "\r\n");
}

TEST(EdidDecoder, CapabilityMapBitsPastTheImageNameNothing) {
    // Video list 133..163 and the tail 196..255 hold VIC 16; a 30-entry capability map at 164
    // with every bit set names the descriptors at 133..372, of which 256..372 lie past the image.
    EdidBuilder builder = cea();
    builder.descriptorOffset(100);
    for (std::size_t offset = 132; offset < 256; ++offset) {
        builder.set(offset, 0x10);
    }
    builder.set(132, 0x5F);          // video, length 31
    builder.set(164, {0xFF, 0x0F});  // extended tag, length 31, capability map
    for (std::size_t offset = 166; offset < 196; ++offset) {
        builder.set(offset, 0xFF);  // VIC 127 when read as a descriptor: no name
    }
    const std::string general = EdidDecoder::decodeGeneral(builder.finish(false));
    const std::string line = "1920x1080p@60Hz  16:9\r\n";
    std::size_t named = 0;
    for (auto at = general.find(line); at != std::string::npos; at = general.find(line, at + 1)) {
        ++named;
    }
    EXPECT_EQ(named, 31U + 60U);
    // Byte 165, the map's own code 0x0F, is descriptor 32 and names VIC 15.
    EXPECT_NE(general.find("1440x480p@60Hz  16:9\r\n"), std::string::npos);
}

}  // namespace
}  // namespace krx
