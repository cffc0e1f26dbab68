// SPDX-License-Identifier: MIT
#include "edid/edid_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <system_error>

namespace krx {
namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// One "%x" conversion starting at `pos`; advances `pos` past what it consumed. Only the low
// 8 bits of the number are kept, so long numbers cannot overflow.
std::optional<std::uint8_t> scanHexNumber(std::string_view text, std::size_t& pos) {
    while (pos < text.size() && isSpace(text[pos])) {
        ++pos;
    }
    std::size_t p = pos;
    bool negative = false;
    if (p < text.size() && (text[p] == '+' || text[p] == '-')) {
        negative = text[p] == '-';
        ++p;
    }
    if (p >= text.size() || hexValue(text[p]) < 0) {
        return std::nullopt;
    }
    unsigned value = 0;
    if (text[p] == '0' && p + 1 < text.size() && (text[p + 1] == 'x' || text[p + 1] == 'X')) {
        p += 2;  // the prefix; with no digit after it the number read is the 0
    }
    for (; p < text.size() && hexValue(text[p]) >= 0; ++p) {
        value = ((value << 4) | static_cast<unsigned>(hexValue(text[p]))) & 0xFFU;
    }
    pos = p;
    return static_cast<std::uint8_t>((negative ? 0U - value : value) & 0xFFU);
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

// The part of the file name after its last "."; empty when there is none.
std::string fileExtension(const std::filesystem::path& path) {
    const std::string name = path.filename().string();
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

bool writeAll(int fd, std::string_view content) {
    while (!content.empty()) {
        const ssize_t written = ::write(fd, content.data(), content.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        content.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// A new file beside `target` that no one else uses: ".<name>.<pid>.<n>.tmp", created exclusively.
int createTemporaryBeside(const std::filesystem::path& target, std::filesystem::path& temporary) {
    constexpr int kAttempts = 100;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        temporary = target.parent_path() /
                    ("." + target.filename().string() + "." + std::to_string(::getpid()) + "." +
                     std::to_string(attempt) + ".tmp");
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

void syncDirectory(const std::filesystem::path& directory) {
    const int fd =
        ::open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

EdidImage blankEdidImage() {
    EdidImage image;
    image.fill(0xFF);
    return image;
}

EdidImage parseEdidText(std::string_view text) {
    EdidImage image = blankEdidImage();
    std::size_t pos = 0;
    for (std::uint8_t& byte : image) {
        const auto number = scanHexNumber(text, pos);
        if (!number) {
            break;
        }
        byte = *number;
    }
    return image;
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
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return Result::failure(std::string(kEdidReadFailed));
    }
    const std::string extension = fileExtension(path);
    if (extension != "txt" && extension != "bin") {
        ::close(fd);
        return Result::failure(std::string(kEdidNotBinOrTxt));
    }
    // A binary image needs only its first 256 bytes; text is read whole because white space may
    // stand between the numbers in any amount.
    const bool isText = extension == "txt";
    std::string content;
    const bool readOk = readUpTo(fd, isText ? content.max_size() : std::size_t{kEdidSize}, content);
    ::close(fd);
    if (!readOk) {
        return Result::failure(std::string(kEdidReadFailed));
    }
    return Result::success(isText ? parseEdidText(content) : parseEdidBinary(content));
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
    std::filesystem::path temporary;
    const int fd = createTemporaryBeside(path, temporary);
    if (fd < 0) {
        return Result::failure(std::string(kEdidCreateFailed));
    }
    const bool written = writeAll(fd, content) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || std::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return Result::failure(std::string(kEdidCreateFailed));
    }
    syncDirectory(path.parent_path());
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
