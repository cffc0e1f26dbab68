// SPDX-License-Identifier: MIT
#include "edid/edid_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <system_error>
#include <utility>

#include "edid/edid_forms.h"
#include "edid/text_chars.h"
#include "files/atomic_save.h"

namespace krx {
namespace {

using edid_chars::hexValue;
using edid_chars::isSpace;

// Characters of a string, one at a time, with a look at the next one (as a stream scan has).
class TextSource {
  public:
    explicit TextSource(std::string_view text) : text_(text) {}
    std::optional<char> peek() const {
        return pos_ < text_.size() ? std::optional<char>(text_[pos_]) : std::nullopt;
    }
    void next() { ++pos_; }

  private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

// Characters of an open file, read in blocks as the scan needs them, so that the scan reads no
// further than its last number; a read error ends the text and is remembered.
class FileSource {
  public:
    explicit FileSource(int fd) : fd_(fd) {}
    std::optional<char> peek() {
        if (pos_ == size_ && !fill()) {
            return std::nullopt;
        }
        return buffer_[pos_];
    }
    void next() { ++pos_; }
    bool failed() const { return failed_; }
    // What has been read from the file and not yet scanned.
    std::string_view buffered() const { return {buffer_ + pos_, size_ - pos_}; }

  private:
    bool fill() {
        for (;;) {
            const ssize_t count = ::read(fd_, buffer_, sizeof buffer_);
            if (count >= 0) {
                pos_ = 0;
                size_ = static_cast<std::size_t>(count);
                return count > 0;
            }
            if (errno != EINTR) {
                failed_ = true;
                return false;
            }
        }
    }

    int fd_;
    char buffer_[4096];
    std::size_t pos_ = 0;
    std::size_t size_ = 0;
    bool failed_ = false;
};

bool isHexDigit(std::optional<char> c) {
    return c && hexValue(*c) >= 0;
}

// One "%x" conversion: white space, an optional sign, an optional 0x prefix, hex digits. Only the
// low 8 bits of the number are kept, so long numbers cannot overflow.
template <typename Source>
std::optional<std::uint8_t> scanHexNumber(Source& source) {
    while (source.peek() && isSpace(*source.peek())) {
        source.next();
    }
    bool negative = false;
    if (const auto sign = source.peek(); sign && (*sign == '+' || *sign == '-')) {
        negative = *sign == '-';
        source.next();
    }
    if (!isHexDigit(source.peek())) {
        return std::nullopt;
    }
    unsigned value = 0;
    if (*source.peek() == '0') {
        source.next();
        if (const auto x = source.peek(); x && (*x == 'x' || *x == 'X')) {
            source.next();  // the prefix; with no digit after it the number read is the 0
        }
    }
    for (auto c = source.peek(); isHexDigit(c); c = source.peek()) {
        value = ((value << 4) | static_cast<unsigned>(hexValue(*c))) & 0xFFU;
        source.next();
    }
    return static_cast<std::uint8_t>((negative ? 0U - value : value) & 0xFFU);
}

template <typename Source>
EdidImage scanEdidText(Source& source) {
    EdidImage image = blankEdidImage();
    for (std::uint8_t& byte : image) {
        const auto number = scanHexNumber(source);
        if (!number) {
            break;
        }
        byte = *number;
    }
    return image;
}

// Reads from `fd` until its end or `limit` bytes; false on a read error (a directory included).
bool readUpTo(int fd, std::size_t limit, std::string& content) {
    char buffer[4096];
    while (content.size() < limit) {
        const std::size_t wanted = std::min(sizeof buffer, limit - content.size());
        const ssize_t count = ::read(fd, buffer, wanted);
        if (count > 0) {
            content.append(buffer, static_cast<std::size_t>(count));
        } else if (count == 0) {
            return true;
        } else if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

// A pasted EDID is well under a kilobyte; more text than this is not one.
constexpr std::size_t kMaxEdidTextBytes = std::size_t{64} * 1024;

// `text` parsed by `parse` when it is whole, that is no longer than kMaxEdidTextBytes; a longer
// text fails by the first fault `parse` finds in its beginning, or else by its length.
EdidResult<EdidImage> parseWholeText(std::string text,
                                     EdidResult<EdidImage> (*parse)(std::string_view)) {
    if (text.size() <= kMaxEdidTextBytes) {
        return parse(text);
    }
    text.resize(kMaxEdidTextBytes);
    auto result = parse(text);
    if (!result) {
        return result;
    }
    const auto lines = 1 + std::count(text.begin(), text.end(), '\n');
    return EdidResult<EdidImage>::failure("line " + std::to_string(lines) +
                                          ": the text goes on past 64 KiB");
}

// The rest of `fd`: raw bytes when they start with the EDID header (a display's EDID as the
// kernel gives it has no name to tell), else text in one of the pasted forms.
EdidResult<EdidImage> readEdidContent(int fd) {
    static constexpr std::string_view kHeader("\0\xFF\xFF\xFF\xFF\xFF\xFF\0", 8);
    std::string content;
    if (!readUpTo(fd, kMaxEdidTextBytes + 1, content)) {
        return EdidResult<EdidImage>::failure(std::string(kEdidReadFailed));
    }
    if (content.starts_with(kHeader)) {
        return EdidResult<EdidImage>::success(parseEdidBinary(content));
    }
    return parseWholeText(std::move(content), parseEdidForms);
}

// Only regular files and character devices are read: a FIFO or socket could keep the reader
// waiting for ever, and a directory has no bytes. Makes the descriptor's reads block again.
bool readableFile(int fd) {
    struct stat info {};
    const int flags = ::fcntl(fd, F_GETFL);
    return ::fstat(fd, &info) == 0 && (S_ISREG(info.st_mode) || S_ISCHR(info.st_mode)) &&
           flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

// Non-blocking, so that opening a FIFO does not wait for a writer; -1 when it cannot be opened.
int openNonBlocking(const std::filesystem::path& path) {
    return ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
}

// The part of the file name after its last "."; empty when there is none.
std::string fileExtension(const std::filesystem::path& path) {
    const std::string name = path.filename().string();
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

}  // namespace

EdidImage blankEdidImage() {
    EdidImage image;
    image.fill(0xFF);
    return image;
}

EdidImage parseEdidText(std::string_view text) {
    TextSource source(text);
    return scanEdidText(source);
}

EdidImage parseEdidBinary(std::string_view bytes) {
    EdidImage image = blankEdidImage();
    const std::size_t count = std::min(bytes.size(), image.size());
    for (std::size_t i = 0; i < count; ++i) {
        image[i] = static_cast<std::uint8_t>(bytes[i]);
    }
    return image;
}

EdidResult<EdidImage> readEdidFile(const std::filesystem::path& path) {
    using Result = EdidResult<EdidImage>;
    const int fd = openNonBlocking(path);
    if (fd < 0) {
        return Result::failure(std::string(kEdidReadFailed));
    }
    const std::string extension = fileExtension(path);
    if (extension != "txt" && extension != "bin") {
        ::close(fd);
        return Result::failure(std::string(kEdidNotBinOrTxt));
    }
    if (!readableFile(fd)) {
        ::close(fd);
        return Result::failure(std::string(kEdidReadFailed));
    }
    // Both forms read only as far as they need: 256 bytes, or the text up to its 256th number or
    // the first item that is not one.
    if (extension == "txt") {
        FileSource source(fd);
        source.peek();
        // A packed hex dump, its bytes not parted by white space, is read whole and strictly:
        // the scan would take each of its lines for one number.
        if (startsAsPackedHexDump(source.buffered())) {
            std::string text(source.buffered());
            const bool readOk = readUpTo(fd, kMaxEdidTextBytes + 1, text);
            ::close(fd);
            return readOk ? parseWholeText(std::move(text), parseEdidHexDump)
                          : Result::failure(std::string(kEdidReadFailed));
        }
        const EdidImage image = scanEdidText(source);
        ::close(fd);
        return source.failed() ? Result::failure(std::string(kEdidReadFailed))
                               : Result::success(image);
    }
    std::string content;
    const bool readOk = readUpTo(fd, kEdidSize, content);
    ::close(fd);
    return readOk ? Result::success(parseEdidBinary(content))
                  : Result::failure(std::string(kEdidReadFailed));
}

EdidResult<EdidImage> readEdidInput(const std::filesystem::path& path) {
    using Result = EdidResult<EdidImage>;
    if (fileExtension(path) == "bin") {
        return readEdidFile(path);
    }
    const int fd = openNonBlocking(path);
    if (fd < 0) {
        return Result::failure(std::string(kEdidReadFailed));
    }
    if (!readableFile(fd)) {
        ::close(fd);
        return Result::failure(std::string(kEdidReadFailed));
    }
    auto image = readEdidContent(fd);
    ::close(fd);
    return image;
}

EdidResult<EdidImage> readEdidStream(int fd) {
    return readEdidContent(fd);
}

std::string formatEdidText(const EdidImage& image) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(784);
    for (std::size_t i = 0; i < image.size(); ++i) {
        text += kDigits[image[i] >> 4];
        text += kDigits[image[i] & 0x0F];
        text += i % 16 == 15 ? "\r\n" : " ";
    }
    return text;
}

std::filesystem::path nextFreeEdidPath(const std::filesystem::path& directory,
                                       std::string_view extension) {
    constexpr int kLastNumber = 99;
    std::filesystem::path candidate;
    for (int n = 0; n <= kLastNumber; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "RedIvo_EDID%02d", n);
        candidate = directory / (std::string(name) + std::string(extension));
        std::error_code error;
        if (!std::filesystem::exists(candidate, error)) {
            break;
        }
    }
    return candidate;
}

EdidResult<std::filesystem::path> writeFileAtomically(const std::filesystem::path& path,
                                                      std::string_view content) {
    using Result = EdidResult<std::filesystem::path>;
    if (!saveFileAtomically(path, content)) {
        return Result::failure(std::string(kEdidCreateFailed));
    }
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        return Result::failure(std::string(kEdidSaveMissing));
    }
    return Result::success(path);
}

EdidResult<EdidSavedFiles> saveEdidFiles(const std::filesystem::path& directory,
                                         const EdidImage& image) {
    using Result = EdidResult<EdidSavedFiles>;
    auto text = writeFileAtomically(nextFreeEdidPath(directory, ".txt"), formatEdidText(image));
    if (!text) {
        return Result::failure(text.error());
    }
    const std::string_view bytes(reinterpret_cast<const char*>(image.data()), image.size());
    auto binary = writeFileAtomically(nextFreeEdidPath(directory, ".bin"), bytes);
    if (!binary) {
        return Result::failure(binary.error());
    }
    return Result::success(EdidSavedFiles{std::move(text).value(), std::move(binary).value()});
}

std::string edidSaveMessage(const EdidSavedFiles& files) {
    return "Save EDID data to .\\" + files.textFile.filename().string() + " and " +
           files.binaryFile.filename().string();
}

}  // namespace krx
