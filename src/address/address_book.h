// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "address/sg_ini_location.h"

namespace krx {

inline constexpr std::size_t kAddressEntryCount = 32;
inline constexpr std::size_t kDescriptionLength = 10;

// One device of the book: the group address in the high byte, the device address in the low one,
// and up to kDescriptionLength bytes of description (Latin-1).
struct AddressEntry {
    std::uint16_t address = 0x0000;
    std::string description = std::string(kDescriptionLength, ' ');

    std::uint8_t group() const { return static_cast<std::uint8_t>(address >> 8); }
    std::uint8_t device() const { return static_cast<std::uint8_t>(address & 0xFF); }
    friend bool operator==(const AddressEntry&, const AddressEntry&) = default;
};

using AddressEntries = std::array<AddressEntry, kAddressEntryCount>;

// Labels of entries 1..32 in the address selector, six characters each.
inline constexpr std::array<std::string_view, kAddressEntryCount> kAddressLabels = {
    "No. 1:", "No. 2:", "No. 3:", "No. 4:", "No. 5:", "No. 6:", "No. 7:", "No. 8:",
    "No. 9:", "No.10:", "No.11:", "No.12:", "No.13:", "No.14:", "No.15:", "No.16:",
    "No.17:", "No.18:", "No.19:", "No.20:", "No.21:", "No.22:", "No.23:", "No.24:",
    "No.25:", "No.26:", "No.27:", "No.28:", "No.29:", "No.30:", "No.31:", "No.32:"};

// The selector text of entry index (0-based): label, four hex digits, ": ", description.
std::string addressItemText(std::size_t index, const AddressEntry& entry);

// SG.ini, byte for byte: line 1 the 32 addresses as "%04X " each; then per entry "*", the
// description (" " when empty), a NUL byte; every line ended by CR LF.
std::string formatSgIni(const AddressEntries& entries);
// The 290 bytes written when there is no SG.ini: 32 addresses 0000, every description " ".
std::string defaultSgIni();
// Reads SG.ini bytes into `entries`: every description first becomes ten blanks; 32 numbers as
// "%x" scans them (low 16 bits kept; a number that is missing or does not scan gives 0000); then
// per entry a search of up to 50 characters for "*" and up to ten description characters, ended
// by a line end or a NUL. A description whose "*" search reaches the end of the file stays blank.
void parseSgIni(std::string_view bytes, AddressEntries& entries);

// The texts of one row of the address table as the operator typed them.
struct AddressTableRow {
    std::string group;
    std::string device;
    std::string description;
};

// Puts the table into the book: row by row the two hex boxes (a box that is empty or not hex keeps
// the entry's previous byte), then every description (empty becomes " ", longer ones are cut to
// ten; the row's text is changed to match). A box longer than two characters stops the addresses
// at that row, before any description is taken, and its index is returned.
std::optional<std::size_t> storeAddressTable(AddressEntries& entries,
                                             std::span<AddressTableRow, kAddressEntryCount> rows);
// "Index No. " + the row index as two hex digits + " is more than 2 HEX digital".
std::string tooLongRowMessage(std::size_t rowIndex);

// A new address written to a device: both bytes within 0x01..0xFE, or both 0x00 to delete the
// address. Every other pair is refused with kAddressPairMessage.
constexpr bool isWritableAddressPair(std::uint8_t group, std::uint8_t device) {
    const auto inRange = [](std::uint8_t v) { return v >= 0x01 && v <= 0xFE; };
    return (group == 0x00 && device == 0x00) || (inRange(group) && inRange(device));
}
inline constexpr std::string_view kAddressPairMessage =
    "Group address and device address must be from 0x01 to 0xFE, or both group address and "
    "device address are 00 to delete the address";

inline constexpr std::string_view kIniReadFailedMessage = "File read failed";
// The file SG.ini could not be written to, and why: "Cannot create /x/SG.ini: permission denied",
// "Cannot save the address book to /x/SG.ini: write-protected".
std::string iniCreateFailedMessage(const std::filesystem::path& file, std::string_view reason);
std::string iniSaveFailedMessage(const std::filesystem::path& file, std::string_view reason);

// The book of 32 device addresses kept in SG.ini (beside the executable or in the user's settings
// folder in the console, a scratch directory in tests). load() and save() return the messages to
// show, in order; empty when all went well.
class AddressBook {
  public:
    explicit AddressBook(SgIniLocation location);
    // SG.ini in `directory`.
    explicit AddressBook(const std::filesystem::path& directory);

    const SgIniLocation& location() const { return location_; }

    // Creates the save file with the default content (and its missing folders) when it is the
    // file to read and is missing, then reads the file to read. When it cannot be read the
    // entries stay as they were.
    std::vector<std::string> load();
    // Writes the whole book with saveFileAtomically (creating missing folders): the old file
    // stays whole when the save fails, and a write-protected one is never replaced.
    std::vector<std::string> save() const;

    AddressEntries entries;

  private:
    SgIniLocation location_;
};

}  // namespace krx
