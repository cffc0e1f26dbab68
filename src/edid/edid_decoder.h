// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace krx {

inline constexpr std::size_t kEdidSize = 256;

// A display's EDID as the console holds it: block 0 in bytes 0-127, the first extension block in
// bytes 128-255. A plain array so that it copies, compares and fills like a value.
using EdidImage = std::array<std::uint8_t, kEdidSize>;

// The five texts of the EDID page. Line ends are CR LF inside the reports; the status separates
// its lines with a lone CR. The hex dump has no line breaks at all.
struct EdidReport {
    std::string status;
    std::string hexDump;
    std::string general;
    std::string video;
    std::string audio;

    friend bool operator==(const EdidReport&, const EdidReport&) = default;
};

struct EdidCheck {
    std::string status;
    bool headerGood = false;
};

// A data block of the extension's collection: `offset` is the image offset of its header byte,
// `length` the low five bits of that header (payload at offset + 1 .. offset + length).
struct EdidDataBlock {
    std::size_t offset = 0;
    unsigned length = 0;
};

// Audio format codes 0-15.
extern const std::array<std::string_view, 16> kAudioFormatNames;
// Indexed by bit number of a short audio descriptor's second byte (bits 0-6).
extern const std::array<std::string_view, 7> kSampleRateNames;
// Indexed by bit number of a short audio descriptor's third byte (bits 0-2).
extern const std::array<std::string_view, 3> kSampleSizeNames;
// Indexed by video identification code; entry 0 is empty because code 0 has no name.
inline constexpr std::size_t kVicNameCount = 108;
extern const std::array<std::string_view, kVicNameCount> kVicNames;
// HDMI_VIC values 1-4 of the HDMI vendor-specific block, each with its line end; entry 0 empty.
extern const std::array<std::string_view, 5> kHdmiVicNames;

// Turns an EDID image into the report texts. Stateless; every function reads only the image it is
// given and never fails. Reads stay inside the 256 bytes whatever the image claims:
// - a byte past 255 reads as 0: the tail of the last extension descriptor slot when d is small,
//   a block whose length runs past the image, a YCbCr 4:2:0 capability bit naming a video
//   descriptor past the image (which therefore prints nothing);
// - the data block walk ends, finding nothing, when it reaches a header past byte 255 (which
//   only a d above 128 allows).
// A timing whose horizontal or vertical total is 0 prints the rate 0.
class EdidDecoder {
  public:
    // Header and checksum verdict; when the header is bad nothing else is looked at.
    static EdidCheck checkImage(const EdidImage& image);
    // 256 entries "XX " (uppercase), 768 characters, no line breaks.
    static std::string hexDump(const EdidImage& image);
    static std::string decodeGeneral(const EdidImage& image);
    static std::string decodeVideo(const EdidImage& image);
    static std::string decodeAudio(const EdidImage& image);
    // The dump and the three reports; `status` is left empty (the page keeps its status when a
    // file is opened, and sets it from checkImage after a read from the generator).
    static EdidReport decodeAll(const EdidImage& image);
    // What the page shows after a read from the generator: the check's status, then, only if the
    // header is good, the dump and the three reports.
    static EdidReport decodeReceived(const EdidImage& image);

    // Rate in Hz (field rate when interlaced) of the 18-byte detailed timing descriptor at
    // `offset`, rounded half up; 0 when a total is 0.
    static int timingRate(const EdidImage& image, std::size_t offset);
    // True when the extension block is there: byte 126 non-zero and byte 128 is 0x02.
    static bool hasExtension(const EdidImage& image);
    // First block of the extension's data block collection whose tag (top three bits of the
    // header) equals `tag`, walking from extension offset 4 while below d (byte 130).
    static std::optional<EdidDataBlock> findDataBlock(const EdidImage& image, unsigned tag);
};

}  // namespace krx
