// SPDX-License-Identifier: MIT
#include "edid/edid_decoder.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <utility>

namespace krx {
namespace {

constexpr std::size_t kPreferredTimingOffset = 54;
constexpr std::size_t kDescriptorSize = 18;
constexpr std::size_t kExtensionStart = 128;
constexpr std::size_t kExtensionFlagOffset = 126;
constexpr std::size_t kExtensionDeviceSupportOffset = 131;
constexpr std::size_t kDescriptorStartOffset = 130;  // d, relative to the extension block
constexpr std::size_t kVideoBlockOffset = 132;       // taken as the video data block unexamined
constexpr std::uint8_t kCeaExtensionTag = 0x02;

constexpr unsigned kAudioTag = 1;
constexpr unsigned kVideoTag = 2;
constexpr unsigned kVendorTag = 3;
constexpr unsigned kExtendedTag = 7;
constexpr std::uint8_t kY420VideoCode = 0x0E;
constexpr std::uint8_t kY420CapabilityMapCode = 0x0F;

constexpr std::array<std::uint8_t, 8> kHeader = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};

// printf-style appending, so that every %d and %s behaves exactly as the C library prints it.
[[gnu::format(printf, 2, 3)]] void appendFormat(std::string& out, const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::va_list measure;
    va_copy(measure, args);
    // The analyzer of clang 14 takes a va_list passed on to vsnprintf for uninitialised.
    // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized)
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length > 0) {
        const std::size_t oldSize = out.size();
        out.resize(oldSize + static_cast<std::size_t>(length) + 1);
        std::vsnprintf(out.data() + oldSize, static_cast<std::size_t>(length) + 1, format, args);
        out.resize(oldSize + static_cast<std::size_t>(length));
    }
    va_end(args);
}

// A byte of the image; offsets past the end read as 0.
unsigned byteAt(const EdidImage& image, std::size_t offset) {
    return offset < image.size() ? image[offset] : 0U;
}

unsigned blockSum(const EdidImage& image, std::size_t first) {
    unsigned sum = 0;
    for (std::size_t i = first; i < first + 128; ++i) {
        sum += image[i];
    }
    return sum & 0xFFU;
}

unsigned descriptorStart(const EdidImage& image) {
    return image[kDescriptorStartOffset];
}

struct DetailedTiming {
    unsigned horizontalActive = 0;
    unsigned verticalActive = 0;  // field lines when interlaced
    bool interlaced = false;
    int rateHz = 0;
};

DetailedTiming readTiming(const EdidImage& image, std::size_t o) {
    const auto at = [&image, o](std::size_t i) { return byteAt(image, o + i); };
    const unsigned pixelClock10kHz = at(0) + 256U * at(1);
    const unsigned horizontalActive = at(2) + 256U * (at(4) >> 4);
    const unsigned horizontalBlank = at(3) + 256U * (at(4) & 0x0FU);
    const unsigned verticalActive = at(5) + 256U * (at(7) >> 4);
    const unsigned verticalBlank = at(6) + 256U * (at(7) & 0x0FU);
    const unsigned horizontalTotal = horizontalActive + horizontalBlank;
    const unsigned verticalTotal = verticalActive + verticalBlank;
    DetailedTiming timing;
    timing.horizontalActive = horizontalActive;
    timing.verticalActive = verticalActive;
    timing.interlaced = (at(17) & 0x80U) != 0;
    if (horizontalTotal != 0 && verticalTotal != 0) {
        // Rounded half up (the rate is never negative); lround, because adding 0.5 before the
        // truncation rounds the largest double below one half up to 1. Largest possible value
        // 655 350 000 fits an int.
        timing.rateHz = static_cast<int>(
            std::lround(pixelClock10kHz * 10000.0 / horizontalTotal / verticalTotal));
    }
    return timing;
}

// "<label>WxH@RHz" or "<label>WxHi@RHz" with the frame height; `interlacedTail` is the line end of
// the interlaced form, which carries a space in the preferred timing line only.
void appendTiming(std::string& out, const std::string& label, const DetailedTiming& timing,
                  const char* interlacedTail) {
    const int width = static_cast<int>(timing.horizontalActive);
    if (timing.interlaced) {
        appendFormat(out, "%s%dx%di@%dHz%s", label.c_str(), width,
                     static_cast<int>(2 * timing.verticalActive), timing.rateHz, interlacedTail);
    } else {
        appendFormat(out, "%s%dx%d@%dHz\r\n", label.c_str(), width,
                     static_cast<int>(timing.verticalActive), timing.rateHz);
    }
}

bool slotUsed(const EdidImage& image, std::size_t o) {
    return byteAt(image, o) != 0 && byteAt(image, o + 1) != 0;
}

void appendVicName(std::string& out, unsigned svd) {
    const unsigned vic = svd & 0x7FU;
    if (vic >= 1 && vic < kVicNameCount) {
        out += kVicNames[vic];
        out += "\r\n";
    }
}

bool isDisplayDescriptor(const EdidImage& image, std::size_t o, std::uint8_t type) {
    return image[o] == 0 && image[o + 1] == 0 && image[o + 2] == 0 && image[o + 3] == type;
}

// Bytes 54..108: every byte offset is tried, not only the four descriptor starts.
constexpr std::size_t kDisplayDescriptorScanFirst = 54;
constexpr std::size_t kDisplayDescriptorScanLast = 108;

void appendProductName(std::string& out, const EdidImage& image) {
    constexpr std::size_t kNameLength = 13;
    char name[kNameLength + 1] = "             ";
    bool found = false;
    for (std::size_t o = kDisplayDescriptorScanFirst; o <= kDisplayDescriptorScanLast; ++o) {
        if (!isDisplayDescriptor(image, o, 0xFC)) {
            continue;
        }
        found = true;
        for (std::size_t i = 0; i < kNameLength && image[o + 5 + i] != 0x0A; ++i) {
            name[i] = static_cast<char>(image[o + 5 + i]);
        }
    }
    if (found) {
        // Printed with %s: an embedded 0 byte ends the name there.
        appendFormat(out, "Display Product Name:%s\r\n", name);
    }
}

void appendRangeLimits(std::string& out, const EdidImage& image) {
    for (std::size_t o = kDisplayDescriptorScanFirst; o <= kDisplayDescriptorScanLast; ++o) {
        if (!isDisplayDescriptor(image, o, 0xFD)) {
            continue;
        }
        appendFormat(out, "Vertical Rate:%dHz--%dHz\r\n", image[o + 5], image[o + 6]);
        appendFormat(out, "Horizontal Rate:%dKHz--%dKHz\r\n", image[o + 7], image[o + 8]);
        appendFormat(out, "Maximum Pixel Clock:%dMHz\r\n", 10 * image[o + 9]);
    }
}

void appendExtensionGeneral(std::string& out, const EdidImage& image) {
    const unsigned support = image[kExtensionDeviceSupportOffset];
    if ((support & 0x70U) != 0) {
        out += "Extension Device Support:\r\n";
        if ((support & 0x40U) != 0) {
            out += "Base Audio\r\n";
        }
        if ((support & 0x20U) != 0) {
            out += "YCbCr4:4:4\r\n";
        }
        if ((support & 0x10U) != 0) {
            out += "YCbCr4:2:2\r\n";
        }
        out += "\r\n";
    }

    int nativeCount = 0;
    if (const auto video = EdidDecoder::findDataBlock(image, kVideoTag)) {
        for (std::size_t i = 1; i <= video->length; ++i) {
            if ((byteAt(image, video->offset + i) & 0x80U) != 0) {
                ++nativeCount;
            }
        }
    }
    appendFormat(out, "Native Timings:%d\r\n", nativeCount);

    const auto hdmi = EdidDecoder::findDataBlock(image, kVendorTag);
    const unsigned deepColor = hdmi && hdmi->length >= 6 ? byteAt(image, hdmi->offset + 6) : 0U;
    if ((deepColor & 0x70U) != 0) {
        out += "Deep Color:\r\n";
        if ((deepColor & 0x40U) != 0) {
            out += "48Bit ";
        }
        if ((deepColor & 0x20U) != 0) {
            out += "36Bit ";
        }
        if ((deepColor & 0x10U) != 0) {
            out += "30Bit ";
        }
        out += "\r\n";
    }
    out += (deepColor & 0x08U) != 0 ? "YCbCr444 DeepColor:support\r\n"
                                    : "YCbCr444 DeepColor:not support\r\n";

    bool support3d = false;
    std::size_t hdmiVicCount = 0;
    std::size_t hdmiVicFirst = 0;
    if (hdmi && hdmi->length >= 8 && (byteAt(image, hdmi->offset + 8) & 0x20U) != 0) {
        const unsigned flags = byteAt(image, hdmi->offset + 8);
        std::size_t p = hdmi->offset + 9;
        if ((flags & 0x80U) != 0) {
            p += 2;  // video and audio latency
        }
        if ((flags & 0x40U) != 0) {
            p += 2;  // interlaced latencies
        }
        support3d = (byteAt(image, p) & 0x80U) != 0;
        hdmiVicCount = byteAt(image, p + 1) >> 5;
        hdmiVicFirst = p + 2;
    }
    out += support3d ? "3D video:support\r\n" : "3D video:not support\r\n";
    out += "\r\n";
    if (hdmiVicCount > 0) {
        out += "Extended Resolution(4Kx2K):\r\n";
        for (std::size_t i = 0; i < hdmiVicCount; ++i) {
            const unsigned hdmiVic = byteAt(image, hdmiVicFirst + i);
            if (hdmiVic < kHdmiVicNames.size()) {
                out += kHdmiVicNames[hdmiVic];
            }
        }
    }

    const auto extended = EdidDecoder::findDataBlock(image, kExtendedTag);
    if (extended && extended->length >= 1) {
        const unsigned code = byteAt(image, extended->offset + 1);
        const std::size_t firstEntry = extended->offset + 2;
        const std::size_t entryCount = extended->length - 1U;
        if (code == kY420VideoCode) {
            out += "\r\nY420VDB Descripter :\r\n";
            for (std::size_t i = 0; i < entryCount; ++i) {
                appendVicName(out, byteAt(image, firstEntry + i));
            }
        } else if ((code & 0x1FU) == kY420CapabilityMapCode) {
            out += "\r\nY420CMDB Descripter :\r\n";
            if (entryCount == 0) {
                out += "All SVDs do support YUV420\r\n";
            }
            for (std::size_t i = 0; i < entryCount; ++i) {
                const unsigned map = byteAt(image, firstEntry + i);
                for (std::size_t bit = 0; bit < 8; ++bit) {
                    if ((map & (1U << bit)) != 0) {
                        appendVicName(out, byteAt(image, kVideoBlockOffset + 1 + 8 * i + bit));
                    }
                }
            }
        }
    }
}

}  // namespace

bool EdidDecoder::hasExtension(const EdidImage& image) {
    return image[kExtensionFlagOffset] != 0 && image[kExtensionStart] == kCeaExtensionTag;
}

EdidCheck EdidDecoder::checkImage(const EdidImage& image) {
    EdidCheck check;
    if (!std::equal(kHeader.begin(), kHeader.end(), image.begin())) {
        check.status = "EDID data header error !";
        return check;
    }
    check.headerGood = true;
    const bool block0Good = blockSum(image, 0) == 0;
    if (image[kExtensionFlagOffset] != 0) {
        check.status = "HDMI EDID";
        if (!block0Good) {
            check.status += "\rBank0 check sum error !";
        }
        if (blockSum(image, kExtensionStart) != 0) {
            check.status += "\rBank1 check sum error !";
        } else if (!block0Good) {
            check.status += "\rBank1 check sum Ok !";
        } else {
            check.status += "\rcheck sum Ok !";
        }
    } else {
        check.status = "DVI EDID";
        if (!block0Good) {
            check.status += "\rCheck sum error !";
        }
    }
    return check;
}

std::string EdidDecoder::hexDump(const EdidImage& image) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string dump;
    dump.reserve(3 * image.size());
    for (const std::uint8_t byte : image) {
        dump += kDigits[byte >> 4];
        dump += kDigits[byte & 0x0F];
        dump += ' ';
    }
    return dump;
}

int EdidDecoder::timingRate(const EdidImage& image, std::size_t offset) {
    return readTiming(image, offset).rateHz;
}

std::optional<EdidDataBlock> EdidDecoder::findDataBlock(const EdidImage& image, unsigned tag) {
    const std::size_t end = descriptorStart(image);
    for (std::size_t q = 4; q < end;) {
        const std::size_t headerOffset = kExtensionStart + q;
        if (headerOffset >= image.size()) {
            break;
        }
        const unsigned header = image[headerOffset];
        const unsigned length = header & 0x1FU;
        if ((header >> 5) == tag) {
            return EdidDataBlock{headerOffset, length};
        }
        q += length + 1;
    }
    return std::nullopt;
}

std::string EdidDecoder::decodeVideo(const EdidImage& image) {
    std::string out;
    appendTiming(out, "Preferred Timing:", readTiming(image, kPreferredTimingOffset), " \r\n");
    for (const std::size_t o : {72U, 90U, 108U}) {
        if (slotUsed(image, o)) {
            appendTiming(out, "Detailed Timing:", readTiming(image, o), "\r\n");
        }
    }
    if (!hasExtension(image)) {
        return out;
    }
    const std::size_t d = descriptorStart(image);
    if (d <= 126) {
        const std::size_t slots = (144 - d) / kDescriptorSize;
        int number = 0;
        for (std::size_t k = 0; k < slots; ++k) {
            const std::size_t o = kExtensionStart + d + kDescriptorSize * k;
            if (slotUsed(image, o)) {
                ++number;
                std::string label;
                appendFormat(label, "Extension Detailed Timing%d:", number);
                appendTiming(out, label, readTiming(image, o), "\r\n");
            }
        }
    }
    out += "\r\n";
    out += "Short Video Descripter\r\n";
    const std::size_t count = image[kVideoBlockOffset] & 0x1FU;
    for (std::size_t i = 1; i <= count; ++i) {
        const unsigned svd = image[kVideoBlockOffset + i];
        const unsigned vic = svd & 0x7FU;
        if (vic >= 1 && vic < kVicNameCount) {
            out += kVicNames[vic];
            if ((svd & 0x80U) != 0) {
                out += "  Native";
            }
            out += "\r\n";
        }
    }
    return out;
}

std::string EdidDecoder::decodeAudio(const EdidImage& image) {
    std::string out;
    const auto audio = hasExtension(image) ? findDataBlock(image, kAudioTag) : std::nullopt;
    if (audio && audio->length >= 2) {
        for (std::size_t k = 1; k < audio->length; k += 3) {
            const unsigned format = byteAt(image, audio->offset + k);
            const unsigned rates = byteAt(image, audio->offset + k + 1);
            const unsigned sizes = byteAt(image, audio->offset + k + 2);
            appendFormat(out, "Audio Format:%s\r\n",
                         kAudioFormatNames[(format >> 3) & 0x0FU].data());
            appendFormat(out, "Audio Channel(s):%d\r\n", static_cast<int>(format & 7U) + 1);
            out += "Sample Frequency:\r\n";
            for (std::size_t bit = kSampleRateNames.size(); bit-- > 0;) {
                if ((rates & (1U << bit)) != 0) {
                    out += kSampleRateNames[bit];
                    out += "\r\n";
                }
            }
            if ((sizes & 0x07U) != 0) {
                out += "Sample Bit:\r\n";
                for (std::size_t bit = kSampleSizeNames.size(); bit-- > 0;) {
                    if ((sizes & (1U << bit)) != 0) {
                        out += kSampleSizeNames[bit];
                        out += " \r\n";
                    }
                }
                out += "\r\n";
            }
            out += "\r\n";
        }
    }
    out += "\r\n";
    return out;
}

std::string EdidDecoder::decodeGeneral(const EdidImage& image) {
    std::string out = "\r\n";
    const unsigned maker0 = image[8];
    const unsigned maker1 = image[9];
    appendFormat(out, "Manufacture's Name:%c%c%c\r\n",
                 static_cast<int>(((maker0 >> 2) & 0x3FU) + 0x40),
                 static_cast<int>((((maker0 & 0x03U) << 3) | (maker1 >> 5)) + 0x40),
                 static_cast<int>((maker1 & 0x1FU) + 0x40));
    appendFormat(out, "Product Code:%d\r\n", image[10] + 256 * image[11]);
    appendFormat(out, "Video Signal Interface:%s\r\n",
                 (image[20] & 0x80U) != 0 ? "Digtal" : "Analog");
    out += "Color Bit Depth:Reserved\r\n";
    appendProductName(out, image);
    appendRangeLimits(out, image);
    if (hasExtension(image)) {
        appendExtensionGeneral(out, image);
    }
    out += "\r\n";
    return out;
}

EdidReport EdidDecoder::decodeAll(const EdidImage& image) {
    EdidReport report;
    report.hexDump = hexDump(image);
    report.general = decodeGeneral(image);
    report.video = decodeVideo(image);
    report.audio = decodeAudio(image);
    return report;
}

EdidReport EdidDecoder::decodeReceived(const EdidImage& image) {
    EdidCheck check = checkImage(image);
    if (!check.headerGood) {
        EdidReport report;
        report.status = std::move(check.status);
        return report;
    }
    EdidReport report = decodeAll(image);
    report.status = std::move(check.status);
    return report;
}

}  // namespace krx
