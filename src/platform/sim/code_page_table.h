#pragma once
// A single-byte Windows code page as lookup tables: bytes to Unicode and back, and its
// upper- and lower-case letters.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace qm::sim {

class CodePageTable {
public:
    // Throws std::runtime_error for a code page that is unknown or not single-byte.
    explicit CodePageTable(unsigned codePage);

    unsigned Number() const { return number_; }
    char32_t ToUnicode(unsigned char c) const { return toUnicode_[c]; }
    // The byte for a character, or '?' when the code page lacks it.
    char FromUnicode(char32_t c) const;
    char Upper(char c) const { return static_cast<char>(upper_[static_cast<unsigned char>(c)]); }
    char Lower(char c) const { return static_cast<char>(lower_[static_cast<unsigned char>(c)]); }

    std::string Upper(std::string_view s) const;
    std::u16string ToUtf16(std::string_view ansi) const;
    std::string FromUtf16(std::u16string_view wide) const;
    // UTF-16LE bytes, as files and devices hold them (an odd last byte is dropped).
    std::string FromUtf16LeBytes(std::string_view bytes) const;
    std::string ToUtf8(std::string_view ansi) const;
    // Invalid UTF-8 bytes are taken as Latin-1 characters.
    std::string FromUtf8(std::string_view utf8) const;

private:
    unsigned number_;
    std::array<char32_t, 256> toUnicode_{};
    std::array<std::uint8_t, 256> upper_{};
    std::array<std::uint8_t, 256> lower_{};
    std::unordered_map<char32_t, std::uint8_t> fromUnicode_;
};

// True when every byte is ASCII, so that no conversion is needed.
bool IsAscii(std::string_view s);

// UTF-16 to WTF-8 (UTF-8 that also carries unpaired surrogates) and back, both without loss.
std::string Utf16ToWtf8(std::u16string_view wide);
std::u16string Wtf8ToUtf16(std::string_view text);
// Each UTF-16 unit in upper case, as the system's case table has it.
std::u16string UpperUtf16(std::u16string_view wide);
// UTF-16 as little-endian bytes, and back (an odd last byte is dropped).
std::string Utf16LeBytes(std::u16string_view wide);
std::u16string Utf16FromLeBytes(std::string_view bytes);

}  // namespace qm::sim
