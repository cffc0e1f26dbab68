// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>

#include "edid/edid_decoder.h"
#include "edid_builder.h"

namespace krx {
namespace {

using test::EdidBuilder;
using test::hdmiPayload;
using test::TimingSpec;

// Failure messages name the table row instead of dumping its bytes.
template <typename Case>
requires requires(const Case& row) {
    row.name;
}
void PrintTo(const Case& row, std::ostream* os) {
    *os << row.name;
}

constexpr TimingSpec k1080p60{14850, 1920, 280, 1080, 45, false};
constexpr TimingSpec k1080i60{7425, 1920, 280, 540, 22, true};
constexpr TimingSpec k720p60{7425, 1280, 370, 720, 30, false};
constexpr TimingSpec k2160p60{59400, 3840, 560, 2160, 90, false};

// ---- Header and checksum verdict -------------------------------------------------------------

struct CheckCase {
    const char* name;
    EdidImage image;
    const char* status;
    bool headerGood;
};

EdidImage withByte(EdidImage image, std::size_t offset, std::uint8_t value) {
    image[offset] = value;
    return image;
}

const EdidImage kDvi = EdidBuilder().finish();
const EdidImage kHdmi = EdidBuilder().ceaExtension().finish();

const CheckCase kCheckCases[] = {
    {"FirstHeaderByteWrong", withByte(kDvi, 0, 0x01), "EDID data header error !", false},
    {"LastHeaderByteWrong", withByte(kHdmi, 7, 0xFF), "EDID data header error !", false},
    {"DviGood", kDvi, "DVI EDID", true},
    {"DviBadBlock0", withByte(kDvi, 20, 0x80), "DVI EDID\rCheck sum error !", true},
    // Without an extension flag block 1 is never summed.
    {"DviIgnoresBlock1", withByte(kDvi, 200, 0x55), "DVI EDID", true},
    {"HdmiGood", kHdmi, "HDMI EDID\rcheck sum Ok !", true},
    {"HdmiBadBlock0", withByte(kHdmi, 20, 0x80),
     "HDMI EDID\rBank0 check sum error !\rBank1 check sum Ok !", true},
    {"HdmiBadBlock1", withByte(kHdmi, 200, 0x01), "HDMI EDID\rBank1 check sum error !", true},
    {"HdmiBothBad", withByte(withByte(kHdmi, 20, 0x80), 200, 0x01),
     "HDMI EDID\rBank0 check sum error !\rBank1 check sum error !", true},
    // The status looks at byte 126 alone, not at the extension tag.
    {"HdmiFlagWithoutCeaTag", EdidBuilder().set(126, 3).finish(), "HDMI EDID\rcheck sum Ok !",
     true},
};

class CheckImage : public testing::TestWithParam<CheckCase> {};

TEST_P(CheckImage, GivesStatusAndHeaderVerdict) {
    const auto check = EdidDecoder::checkImage(GetParam().image);
    EXPECT_EQ(check.status, GetParam().status);
    EXPECT_EQ(check.headerGood, GetParam().headerGood);
}

INSTANTIATE_TEST_SUITE_P(Edid, CheckImage, testing::ValuesIn(kCheckCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DecodeReceived, BadHeaderGivesOnlyTheStatus) {
    const auto report = EdidDecoder::decodeReceived(withByte(kHdmi, 0, 0x01));
    EXPECT_EQ(report, (EdidReport{"EDID data header error !", "", "", "", ""}));
}

TEST(DecodeReceived, GoodHeaderGivesStatusAndEveryText) {
    const EdidImage image = EdidBuilder().timing(54, k1080p60).ceaExtension().finish();
    auto expected = EdidDecoder::decodeAll(image);
    expected.status = "HDMI EDID\rcheck sum Ok !";
    EXPECT_EQ(EdidDecoder::decodeReceived(image), expected);
    EXPECT_TRUE(EdidDecoder::decodeAll(image).status.empty());
}

TEST(HexDump, IsUppercasePairsEachFollowedByASpace) {
    EdidImage image{};
    for (std::size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<std::uint8_t>(i);
    }
    const std::string dump = EdidDecoder::hexDump(image);
    ASSERT_EQ(dump.size(), 768U);
    EXPECT_EQ(dump.substr(0, 12), "00 01 02 03 ");
    EXPECT_EQ(dump.substr(3 * 0xAB, 3), "AB ");
    EXPECT_EQ(dump.substr(765), "FF ");
}

// ---- Timing rate -----------------------------------------------------------------------------

struct RateCase {
    const char* name;
    TimingSpec timing;
    int rateHz;
};

const RateCase kRateCases[] = {
    {"Progressive1080p", k1080p60, 60},
    {"InterlacedFieldRate", k1080i60, 60},
    {"ClockAbove32767NotNegative", k2160p60, 60},
    {"NtscRoundsUp", {2700, 720, 138, 480, 45, false}, 60},  // 59.94
    {"HalfRoundsUp", {1, 1, 0, 4000, 0, false}, 3},          // 2.5
    {"BelowHalfRoundsDown", {1, 1, 0, 4001, 0, false}, 2},   // 2.4994
    {"LargestClockTinyTotals", {65535, 1, 0, 1, 0, false}, 655350000},
    {"ZeroHorizontalTotal", {14850, 0, 0, 1080, 45, false}, 0},
    {"ZeroVerticalTotal", {14850, 1920, 280, 0, 0, false}, 0},
};

class TimingRate : public testing::TestWithParam<RateCase> {};

TEST_P(TimingRate, IsRoundedFieldRate) {
    const EdidImage image = EdidBuilder().timing(72, GetParam().timing).finish();
    EXPECT_EQ(EdidDecoder::timingRate(image, 72), GetParam().rateHz);
}

INSTANTIATE_TEST_SUITE_P(Edid, TimingRate, testing::ValuesIn(kRateCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TimingRate, DescriptorTailPastTheImageReadsAsZero) {
    // Bytes 254 and 255 are the clock; everything else of the descriptor lies past the image.
    const EdidImage image = EdidBuilder().set(254, {0x10, 0x20}).finish(false);
    EXPECT_EQ(EdidDecoder::timingRate(image, 254), 0);
}

// ---- Video Information -----------------------------------------------------------------------

struct VideoCase {
    const char* name;
    EdidImage image;
    const char* video;
};

const VideoCase kVideoCases[] = {
    {"PreferredProgressive", EdidBuilder().timing(54, k1080p60).finish(),
     "Preferred Timing:1920x1080@60Hz\r\n"},
    {"PreferredInterlacedHasSpaceBeforeLineEnd", EdidBuilder().timing(54, k1080i60).finish(),
     "Preferred Timing:1920x1080i@60Hz \r\n"},
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
     "Preferred Timing:1920x1080@60Hz\r\n"
     "Detailed Timing:1920x1080i@60Hz\r\n"
     "Detailed Timing:1280x720@60Hz\r\n"
     "Detailed Timing:3840x2160@60Hz\r\n"},
    {"DetailedSlotNeedsBothClockBytes",
     EdidBuilder()
         .timing(54, k1080p60)
         .timing(72, {0x0100, 1280, 370, 720, 30, false})  // low clock byte 0
         .timing(90, {0x0001, 1280, 370, 720, 30, false})  // high clock byte 0
         .finish(),
     "Preferred Timing:1920x1080@60Hz\r\n"},
    {"LeftoverExtensionBytesIgnoredWithoutFlag",
     EdidBuilder().timing(54, k1080p60).set(128, {0x02, 0x03, 0x04, 0x70, 0x41, 0x90}).finish(),
     "Preferred Timing:1920x1080@60Hz\r\n"},
    {"FlagWithoutCeaTagIsNoExtension",
     EdidBuilder()
         .timing(54, k1080p60)
         .set(126, 1)
         .set(128, {0x70, 0x03, 0x04, 0x70, 0x41, 0x90})
         .finish(),
     "Preferred Timing:1920x1080@60Hz\r\n"},
    {"ShortVideoDescriptors",
     EdidBuilder()
         .timing(54, k1080p60)
         .ceaExtension()
         .dataBlock(2, {0x90, 0x00, 0x6C, 0x80, 0x01, 0x6B, 0x2F, 0x37, 0xB9})
         .finish(),
     "Preferred Timing:1920x1080@60Hz\r\n"
     "\r\n"
     "Short Video Descripter\r\n"
     "1920x1080p@60Hz  16:9  Native\r\n"
     "640x480p@60Hz  4:3\r\n"
     "3840x2160p@60Hz  64:27\r\n"
     "1280x720@120Hz  16:9\r\n"
     "720(1440)x576i@200Hz  16:3\r\n"
     "720x480p@240Hz  16:9  Native\r\n"},
    // The block at 132 is read as the video list whatever its tag says.
    {"FirstBlockTakenAsVideoWhateverItsTag",
     EdidBuilder().timing(54, k1080p60).ceaExtension().dataBlock(1, {0x09, 0x04}).finish(),
     "Preferred Timing:1920x1080@60Hz\r\n"
     "\r\n"
     "Short Video Descripter\r\n"
     "720(1440)x240p@60Hz  16:9\r\n"
     "1280x720p@60Hz  16:9\r\n"},
    {"ExtensionSlotsNumberedSkippingEmptyOnes",
     EdidBuilder()
         .timing(54, k1080p60)
         .ceaExtension()
         .dataBlock(2, {0x10})
         .timing(134, k720p60)
         .timing(170, k1080i60)
         .finish(),
     "Preferred Timing:1920x1080@60Hz\r\n"
     "Extension Detailed Timing1:1280x720@60Hz\r\n"
     "Extension Detailed Timing2:1920x1080i@60Hz\r\n"
     "\r\n"
     "Short Video Descripter\r\n"
     "1920x1080p@60Hz  16:9\r\n"},
    // The timing at 132 doubles as a video list: length 1 (clock low byte), VIC 29 (high byte).
    {"DescriptorOffset127HasNoSlots",
     EdidBuilder()
         .timing(54, k1080p60)
         .ceaExtension()
         .timing(132, k720p60)
         .descriptorOffset(127)
         .finish(),
     "Preferred Timing:1920x1080@60Hz\r\n"
     "\r\n"
     "Short Video Descripter\r\n"
     "1440x576p@50Hz  4:3\r\n"},
    // The slot at 254 keeps its clock bytes; the rest lies past the image and reads as 0.
    {"DescriptorOffset126OneSlotAtTheEnd",
     EdidBuilder()
         .timing(54, k1080p60)
         .ceaExtension()
         .set(254, {0x01, 0x01})
         .descriptorOffset(126)
         .finish(false),
     "Preferred Timing:1920x1080@60Hz\r\n"
     "Extension Detailed Timing1:0x0@0Hz\r\n"
     "\r\n"
     "Short Video Descripter\r\n"},
};

class DecodeVideo : public testing::TestWithParam<VideoCase> {};

TEST_P(DecodeVideo, GivesExactText) {
    EXPECT_EQ(EdidDecoder::decodeVideo(GetParam().image), GetParam().video);
}

INSTANTIATE_TEST_SUITE_P(Edid, DecodeVideo, testing::ValuesIn(kVideoCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DecodeVideo, DescriptorOffset4ExaminesSevenSlots) {
    EdidBuilder builder;
    builder.ceaExtension();
    // Seven slots at 132 + 18k; the seventh runs two bytes past the image (its flags read as 0).
    for (std::size_t k = 0; k < 7; ++k) {
        auto bytes =
            test::timingBytes({static_cast<unsigned>(7425 + k), 1280, 370, 720, 30, false});
        bytes.resize(std::min<std::size_t>(bytes.size(), 256 - (132 + 18 * k)));
        builder.set(132 + 18 * k, bytes);
    }
    const EdidImage image = builder.descriptorOffset(4).finish(false);
    const std::string video = EdidDecoder::decodeVideo(image);
    for (int n = 1; n <= 7; ++n) {
        EXPECT_NE(
            video.find("Extension Detailed Timing" + std::to_string(n) + ":1280x720@60Hz\r\n"),
            std::string::npos)
            << n;
    }
    EXPECT_EQ(video.find("Extension Detailed Timing8"), std::string::npos);
}

TEST(DecodeVideo, DescriptorOffset0DecodesTheExtensionHeaderAsASlot) {
    // Slot 1 starts at 128: clock 0x0302, HA = d(0) + 256 * (byte 132 >> 4), and so on.
    const EdidImage image = EdidBuilder().ceaExtension().descriptorOffset(0).finish(false);
    const std::string video = EdidDecoder::decodeVideo(image);
    EXPECT_NE(video.find("Extension Detailed Timing1:0x0@0Hz\r\n"), std::string::npos);
}

// ---- Audio Information -----------------------------------------------------------------------

struct AudioCase {
    const char* name;
    EdidImage image;
    const char* audio;
};

const AudioCase kAudioCases[] = {
    {"NoExtension", EdidBuilder().finish(), "\r\n"},
    {"NoAudioBlock", EdidBuilder().ceaExtension().dataBlock(2, {0x10}).finish(), "\r\n"},
    {"AudioBlockShorterThanTwo", EdidBuilder().ceaExtension().dataBlock(1, {0x09}).finish(),
     "\r\n"},
    {"LpcmTwoChannelsAllRatesAllSizes",
     EdidBuilder().ceaExtension().dataBlock(2, {0x10}).dataBlock(1, {0x09, 0x07, 0x07}).finish(),
     "Audio Format:LPCM.\r\n"
     "Audio Channel(s):2\r\n"
     "Sample Frequency:\r\n"
     "48KHz\r\n"
     "44.1KHz\r\n"
     "32KHz\r\n"
     "Sample Bit:\r\n"
     "24Bit \r\n"
     "20Bit \r\n"
     "16Bit \r\n"
     "\r\n"
     "\r\n"
     "\r\n"},
    // The third byte of a compressed format is a bit rate, yet its low bits print as sizes.
    {"CompressedFormatSizesReadAnyway",
     EdidBuilder().ceaExtension().dataBlock(1, {0x15, 0x40, 0x05}).finish(),
     "Audio Format:AC-3.\r\n"
     "Audio Channel(s):6\r\n"
     "Sample Frequency:\r\n"
     "192KHz\r\n"
     "Sample Bit:\r\n"
     "24Bit \r\n"
     "16Bit \r\n"
     "\r\n"
     "\r\n"
     "\r\n"},
    {"NoSizeBitsNoSampleBitLines",
     EdidBuilder().ceaExtension().dataBlock(1, {0x7F, 0x7F, 0xF8}).finish(),
     "Audio Format:Reserved.\r\n"
     "Audio Channel(s):8\r\n"
     "Sample Frequency:\r\n"
     "192KHz\r\n"
     "176KHz\r\n"
     "96KHz\r\n"
     "88KHz\r\n"
     "48KHz\r\n"
     "44.1KHz\r\n"
     "32KHz\r\n"
     "\r\n"
     "\r\n"},
    // Length 5: descriptors at 1 and 4; the second one's third byte is the next block's header.
    {"DescriptorRunsIntoNextBlock",
     EdidBuilder()
         .ceaExtension()
         .dataBlock(1, {0x09, 0x04, 0x00, 0x00, 0x01})
         .dataBlock(3, {0x03, 0x0C, 0x00})
         .finish(),
     "Audio Format:LPCM.\r\n"
     "Audio Channel(s):2\r\n"
     "Sample Frequency:\r\n"
     "48KHz\r\n"
     "\r\n"
     "Audio Format:Refer to Stream Header.\r\n"
     "Audio Channel(s):1\r\n"
     "Sample Frequency:\r\n"
     "32KHz\r\n"
     "Sample Bit:\r\n"
     "20Bit \r\n"
     "16Bit \r\n"
     "\r\n"
     "\r\n"
     "\r\n"},
};

class DecodeAudio : public testing::TestWithParam<AudioCase> {};

TEST_P(DecodeAudio, GivesExactText) {
    EXPECT_EQ(EdidDecoder::decodeAudio(GetParam().image), GetParam().audio);
}

INSTANTIATE_TEST_SUITE_P(Edid, DecodeAudio, testing::ValuesIn(kAudioCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- General Info ----------------------------------------------------------------------------

const std::string kGeneralHead =
    "\r\n"
    "Manufacture's Name:@@@\r\n"
    "Product Code:0\r\n"
    "Video Signal Interface:Analog\r\n"
    "Color Bit Depth:Reserved\r\n";

// What an extension with no blocks at all adds.
const std::string kBareExtension =
    "Native Timings:0\r\n"
    "YCbCr444 DeepColor:not support\r\n"
    "3D video:not support\r\n"
    "\r\n";

struct GeneralCase {
    const char* name;
    EdidImage image;
    std::string general;
};

const GeneralCase kGeneralCases[] = {
    {"Block0Fields",
     EdidBuilder().manufacturer('K', 'R', 'X').set(10, {0x90, 0x12}).digital(true).finish(),
     "\r\n"
     "Manufacture's Name:KRX\r\n"
     "Product Code:4752\r\n"
     "Video Signal Interface:Digtal\r\n"
     "Color Bit Depth:Reserved\r\n"
     "\r\n"},
    {"LargestProductCode", EdidBuilder().set(10, {0xFF, 0xFF}).finish(),
     "\r\nManufacture's Name:@@@\r\nProduct Code:65535\r\nVideo Signal Interface:Analog\r\n"
     "Color Bit Depth:Reserved\r\n\r\n"},
    {"ShortNameKeepsTrailingSpaces", EdidBuilder().displayName(72, "TV1").finish(),
     kGeneralHead + "Display Product Name:TV1" + std::string(10, ' ') + "\r\n\r\n"},
    {"FullThirteenCharacterName", EdidBuilder().displayName(108, "ABCDEFGHIJKLM").finish(),
     kGeneralHead + "Display Product Name:ABCDEFGHIJKLM\r\n\r\n"},
    // Every byte offset is searched, not only descriptor starts.
    {"NameAtUnalignedOffset", EdidBuilder().displayName(61, "ODD").finish(),
     kGeneralHead + "Display Product Name:ODD" + std::string(10, ' ') + "\r\n\r\n"},
    // The second match writes over the first without the field being refilled.
    {"SecondNameOverwritesFirstInPlace",
     EdidBuilder().displayName(72, "LONGERNAME").displayName(90, "AB").finish(),
     kGeneralHead + "Display Product Name:ABNGERNAME" + std::string(3, ' ') + "\r\n\r\n"},
    // The name is printed with %s, so an embedded zero byte ends it.
    {"ZeroByteEndsName", EdidBuilder().displayName(72, "AB").set(79, 0x00).finish(),
     kGeneralHead + "Display Product Name:AB\r\n\r\n"},
    {"RangeLimits", EdidBuilder().rangeLimits(90, 24, 144, 30, 160, 60).finish(),
     kGeneralHead + "Vertical Rate:24Hz--144Hz\r\n"
                    "Horizontal Rate:30KHz--160KHz\r\n"
                    "Maximum Pixel Clock:600MHz\r\n"
                    "\r\n"},
    {"RangeLimitsLargestValues", EdidBuilder().rangeLimits(54, 255, 255, 255, 255, 255).finish(),
     kGeneralHead + "Vertical Rate:255Hz--255Hz\r\n"
                    "Horizontal Rate:255KHz--255KHz\r\n"
                    "Maximum Pixel Clock:2550MHz\r\n"
                    "\r\n"},
    {"NameThenLimitsWhateverTheirOrder",
     EdidBuilder().rangeLimits(72, 50, 60, 15, 70, 15).displayName(90, "PANEL").finish(),
     kGeneralHead + "Display Product Name:PANEL" + std::string(8, ' ') + "\r\n" +
         "Vertical Rate:50Hz--60Hz\r\n"
         "Horizontal Rate:15KHz--70KHz\r\n"
         "Maximum Pixel Clock:150MHz\r\n"
         "\r\n"},
    {"BareExtension", EdidBuilder().ceaExtension().finish(),
     kGeneralHead + kBareExtension + "\r\n"},
    {"DeviceSupportAllThree", EdidBuilder().ceaExtension(0x70).finish(),
     kGeneralHead +
         "Extension Device Support:\r\n"
         "Base Audio\r\n"
         "YCbCr4:4:4\r\n"
         "YCbCr4:2:2\r\n"
         "\r\n" +
         kBareExtension + "\r\n"},
    // The underscan bit and the native count in the low nibble are not looked at.
    {"DeviceSupportOnlyUnderscanAndNativeNibble", EdidBuilder().ceaExtension(0x8F).finish(),
     kGeneralHead + kBareExtension + "\r\n"},
    {"NativeTimingsCountsBit7OfTheVideoBlock",
     EdidBuilder()
         .ceaExtension(0x50)
         .dataBlock(1, {0x09, 0x07, 0x07})
         .dataBlock(2, {0x90, 0x04, 0x81, 0x80})
         .finish(),
     kGeneralHead + "Extension Device Support:\r\n"
                    "Base Audio\r\n"
                    "YCbCr4:2:2\r\n"
                    "\r\n"
                    "Native Timings:3\r\n"
                    "YCbCr444 DeepColor:not support\r\n"
                    "3D video:not support\r\n"
                    "\r\n"
                    "\r\n"},
    {"DeepColorAllDepthsOnOneLine",
     EdidBuilder().ceaExtension().dataBlock(3, hdmiPayload({0x78})).finish(),
     kGeneralHead + "Native Timings:0\r\n"
                    "Deep Color:\r\n"
                    "48Bit 36Bit 30Bit \r\n"
                    "YCbCr444 DeepColor:support\r\n"
                    "3D video:not support\r\n"
                    "\r\n"
                    "\r\n"},
    {"DeepColorByteNeedsLengthSix",
     EdidBuilder()
         .ceaExtension()
         .dataBlock(3, {0x03, 0x0C, 0x00, 0x10, 0x00})
         .set(138, 0x78)
         .finish(),
     kGeneralHead + kBareExtension + "\r\n"},
    {"ThreeDAndHdmiVics",
     EdidBuilder()
         .ceaExtension()
         .dataBlock(3, hdmiPayload({0x00, 0x00, 0x20, 0x80, 0x40, 0x01, 0x03}))
         .finish(),
     kGeneralHead + "Native Timings:0\r\n"
                    "YCbCr444 DeepColor:not support\r\n"
                    "3D video:support\r\n"
                    "\r\n"
                    "Extended Resolution(4Kx2K):\r\n"
                    "4Kx2K@30Hz\r\n"
                    "4Kx2K@24Hz\r\n"
                    "\r\n"},
    // Both latency pairs present: the 3D byte moves from block byte 9 to 13.
    {"LatencyFieldsShiftThe3DByte",
     EdidBuilder()
         .ceaExtension()
         .dataBlock(3,
                    hdmiPayload({0x00, 0x00, 0xE0, 0x80, 0x80, 0x11, 0x22, 0x80, 0x40, 0x04, 0x05}))
         .finish(),
     kGeneralHead + "Native Timings:0\r\n"
                    "YCbCr444 DeepColor:not support\r\n"
                    "3D video:support\r\n"
                    "\r\n"
                    "Extended Resolution(4Kx2K):\r\n"
                    "4Kx2K@24Hz(SMPTE)\r\n"
                    "\r\n"},
    {"HdmiVideoPresentBitClearMeansNo3D",
     EdidBuilder()
         .ceaExtension()
         .dataBlock(3, hdmiPayload({0x00, 0x00, 0x00, 0x80, 0x40, 0x01, 0x03}))
         .finish(),
     kGeneralHead + kBareExtension + "\r\n"},
    // Length 7: the byte after the block happens to have bit 5 set, but it is not block byte 8.
    {"HdmiBlockShorterThanEightHasNo3D",
     EdidBuilder()
         .ceaExtension()
         .dataBlock(3, hdmiPayload({0x00, 0x00}))
         .dataBlock(1, {0x80, 0x40, 0x01})
         .finish(),
     kGeneralHead + kBareExtension + "\r\n"},
    {"Y420VideoBlock",
     EdidBuilder().ceaExtension().dataBlock(7, {0x0E, 0x60, 0x00, 0xC0, 0x6C}).finish(),
     kGeneralHead + kBareExtension +
         "\r\n"
         "Y420VDB Descripter :\r\n"
         "3840x2160p@50Hz  16:9\r\n"
         "1920x1080p@100Hz  16:9\r\n"
         "\r\n"},
    {"Y420CapabilityMapEmptyMeansAll", EdidBuilder().ceaExtension().dataBlock(7, {0x0F}).finish(),
     kGeneralHead + kBareExtension +
         "\r\n"
         "Y420CMDB Descripter :\r\n"
         "All SVDs do support YUV420\r\n"
         "\r\n"},
    // Bits 0 and 2 of the first map byte, bit 0 of the second: SVDs 1, 3 and 9.
    {"Y420CapabilityMapNamesSelectedSvds",
     EdidBuilder()
         .ceaExtension()
         .dataBlock(2, {0x10, 0x04, 0x61, 0x05, 0x13, 0x14, 0x1F, 0x20, 0xE0})
         .dataBlock(7, {0x2F, 0x05, 0x01})
         .finish(),
     kGeneralHead + "Native Timings:1\r\n"
                    "YCbCr444 DeepColor:not support\r\n"
                    "3D video:not support\r\n"
                    "\r\n"
                    "\r\n"
                    "Y420CMDB Descripter :\r\n"
                    "1920x1080p@60Hz  16:9\r\n"
                    "3840x2160p@60Hz  16:9\r\n"
                    "3840x2160p@50Hz  16:9\r\n"
                    "\r\n"},
    {"OnlyFirstExtendedBlockLooked",
     EdidBuilder().ceaExtension().dataBlock(7, {0x05, 0x00}).dataBlock(7, {0x0F}).finish(),
     kGeneralHead + kBareExtension + "\r\n"},
    {"ExtendedBlockOfLengthZero", EdidBuilder().ceaExtension().dataBlock(7, {}).finish(),
     kGeneralHead + kBareExtension + "\r\n"},
};

class DecodeGeneral : public testing::TestWithParam<GeneralCase> {};

TEST_P(DecodeGeneral, GivesExactText) {
    EXPECT_EQ(EdidDecoder::decodeGeneral(GetParam().image), GetParam().general);
}

INSTANTIATE_TEST_SUITE_P(Edid, DecodeGeneral, testing::ValuesIn(kGeneralCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Data block walk and the edges of the image ----------------------------------------------

struct WalkCase {
    const char* name;
    EdidImage image;
    unsigned tag;
    std::optional<std::size_t> headerOffset;
};

const WalkCase kWalkCases[] = {
    {"FirstMatchingBlock",
     EdidBuilder()
         .ceaExtension()
         .dataBlock(2, {1, 2})
         .dataBlock(1, {9, 7, 7})
         .dataBlock(1, {9})
         .finish(),
     1, 135},
    {"NoMatchingBlock", EdidBuilder().ceaExtension().dataBlock(2, {1, 2}).finish(), 1,
     std::nullopt},
    {"DescriptorOffset4HasNoBlocks",
     EdidBuilder().ceaExtension().set(132, 0x23).descriptorOffset(4).finish(), 1, std::nullopt},
    {"BlockAtOrAfterDIsNotFound",
     EdidBuilder()
         .ceaExtension()
         .dataBlock(2, {1, 2})
         .dataBlock(1, {9, 7, 7})
         .descriptorOffset(7)
         .finish(),
     1, std::nullopt},
    // d = 255 would walk past the image; the walk stops at the last byte instead.
    {"WalkStopsAtTheEndOfTheImage",
     [] {
         EdidBuilder builder;
         builder.ceaExtension();
         for (std::size_t offset = 132; offset < 256; ++offset) {
             builder.set(offset, 0x40);  // zero-length video blocks, one per byte
         }
         return builder.descriptorOffset(255).finish(false);
     }(),
     1, std::nullopt},
    {"HeaderOnTheLastByte",
     EdidBuilder().ceaExtension().set(132, 0x5E).set(255, 0x3F).descriptorOffset(200).finish(false),
     1, 255},
};

class FindDataBlock : public testing::TestWithParam<WalkCase> {};

TEST_P(FindDataBlock, FindsFirstBlockWithTagBeforeD) {
    const auto block = EdidDecoder::findDataBlock(GetParam().image, GetParam().tag);
    ASSERT_EQ(block.has_value(), GetParam().headerOffset.has_value());
    if (block) {
        EXPECT_EQ(block->offset, *GetParam().headerOffset);
    }
}

INSTANTIATE_TEST_SUITE_P(Edid, FindDataBlock, testing::ValuesIn(kWalkCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ImageEdges, AudioBlockRunningPastTheEndReadsZeros) {
    // An audio block of length 31 whose header is byte 255: every payload byte reads as 0.
    const EdidImage image =
        EdidBuilder().ceaExtension().set(132, 0x5E).set(255, 0x3F).descriptorOffset(200).finish(
            false);
    std::string expected;
    for (int k = 1; k < 31; k += 3) {
        expected +=
            "Audio Format:Refer to Stream Header.\r\nAudio Channel(s):1\r\nSample "
            "Frequency:\r\n\r\n";
    }
    expected += "\r\n";
    EXPECT_EQ(EdidDecoder::decodeAudio(image), expected);
}

TEST(ImageEdges, CapabilityMapBitsPastTheImageNameNothing) {
    // Video list 133..163 and the tail 196..255 hold VIC 16; a 30-entry capability map at 164
    // with every bit set names the descriptors at 133..372, of which 256..372 lie past the image.
    EdidBuilder builder;
    builder.ceaExtension().descriptorOffset(100);
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
