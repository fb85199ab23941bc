#include "platform/sim/code_page_table.h"

#include <iconv.h>
#include <locale.h>
#include <wctype.h>

#include <stdexcept>

namespace qm::sim {
namespace {

// Decodes one byte with iconv; bytes the code page leaves undefined map to the same code
// point, as Windows' best-fit tables do for code page 1252.
char32_t DecodeByte(iconv_t cd, unsigned char byte) {
    char in[1] = {static_cast<char>(byte)};
    char32_t out[2] = {0, 0};
    char* inPtr = in;
    std::size_t inLeft = 1;
    char* outPtr = reinterpret_cast<char*>(out);
    std::size_t outLeft = sizeof out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1) || inLeft != 0) return byte;
    return out[0];
}

locale_t Utf8Locale() {
    static locale_t loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    return loc;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Calls f with each character of the text: a surrogate pair as one, an unpaired surrogate as
// itself.
template <class F>
void ForEachCharacter(std::u16string_view wide, F f) {
    for (std::size_t i = 0; i < wide.size(); ++i) {
        char32_t c = wide[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (wide[i + 1] - 0xDC00);
            ++i;
        }
        f(c);
    }
}

}  // namespace

bool IsAscii(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

CodePageTable::CodePageTable(unsigned codePage) : number_(codePage) {
    std::string name = "CP" + std::to_string(codePage);
    iconv_t cd = iconv_open("UTF-32LE", name.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("unknown ANSI code page " + std::to_string(codePage));
    for (unsigned b = 0; b < 256; ++b) {
        char in[2] = {static_cast<char>(b), 'A'};
        // A lead byte of a multi-byte code page does not decode alone: refuse such pages.
        char32_t out[4] = {};
        char* inPtr = in;
        std::size_t inLeft = 2;
        char* outPtr = reinterpret_cast<char*>(out);
        std::size_t outLeft = sizeof out;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        std::size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        if (r != static_cast<std::size_t>(-1) && (sizeof out - outLeft) != 2 * sizeof(char32_t)) {
            iconv_close(cd);
            throw std::runtime_error("ANSI code page " + std::to_string(codePage) + " is not a single-byte code page");
        }
        toUnicode_[b] = DecodeByte(cd, static_cast<unsigned char>(b));
    }
    iconv_close(cd);
    for (unsigned b = 0; b < 256; ++b) fromUnicode_.emplace(toUnicode_[b], static_cast<std::uint8_t>(b));
    for (unsigned b = 0; b < 256; ++b) {
        char32_t u = toUnicode_[b];
        auto up = static_cast<char32_t>(towupper_l(static_cast<wint_t>(u), Utf8Locale()));
        auto lo = static_cast<char32_t>(towlower_l(static_cast<wint_t>(u), Utf8Locale()));
        auto upIt = fromUnicode_.find(up);
        auto loIt = fromUnicode_.find(lo);
        upper_[b] = upIt != fromUnicode_.end() ? upIt->second : static_cast<std::uint8_t>(b);
        lower_[b] = loIt != fromUnicode_.end() ? loIt->second : static_cast<std::uint8_t>(b);
    }
}

char CodePageTable::FromUnicode(char32_t c) const {
    auto it = fromUnicode_.find(c);
    return it == fromUnicode_.end() ? '?' : static_cast<char>(it->second);
}

std::string CodePageTable::Upper(std::string_view s) const {
    std::string r(s);
    for (char& c : r) c = Upper(c);
    return r;
}

std::u16string CodePageTable::ToUtf16(std::string_view ansi) const {
    std::u16string r;
    r.reserve(ansi.size());
    for (char c : ansi) r += static_cast<char16_t>(toUnicode_[static_cast<unsigned char>(c)]);
    return r;
}

std::string CodePageTable::FromUtf16(std::u16string_view wide) const {
    std::string r;
    r.reserve(wide.size());
    ForEachCharacter(wide, [&](char32_t c) { r += FromUnicode(c); });
    return r;
}

std::string CodePageTable::FromUtf16LeBytes(std::string_view bytes) const { return FromUtf16(Utf16FromLeBytes(bytes)); }

std::string CodePageTable::ToUtf8(std::string_view ansi) const {
    if (IsAscii(ansi)) return std::string(ansi);
    std::string r;
    r.reserve(ansi.size() + 8);
    for (char c : ansi) AppendUtf8(r, toUnicode_[static_cast<unsigned char>(c)]);
    return r;
}

namespace {

// The character of the UTF-8 sequence at s[i] (surrogate code points included, as WTF-8 has
// them) and its length; an invalid byte stands for itself as a Latin-1 character.
std::size_t DecodeUtf8At(std::string_view s, std::size_t i, char32_t& c) {
    auto b = static_cast<unsigned char>(s[i]);
    std::size_t extra = b >= 0xF0 && b < 0xF5 ? 3 : b >= 0xE0 && b < 0xF0 ? 2 : b >= 0xC2 && b < 0xE0 ? 1 : 0;
    c = b & (0x3Fu >> extra);
    bool valid = extra > 0 && i + extra < s.size();
    for (std::size_t k = 1; valid && k <= extra; ++k) {
        auto cb = static_cast<unsigned char>(s[i + k]);
        valid = (cb & 0xC0) == 0x80;
        c = (c << 6) | (cb & 0x3Fu);
    }
    if (valid) return extra + 1;
    c = b;
    return 1;
}

}  // namespace

std::string CodePageTable::FromUtf8(std::string_view s) const {
    if (IsAscii(s)) return std::string(s);
    std::string r;
    r.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        char32_t c = 0;
        i += DecodeUtf8At(s, i, c);
        r += c < 0x80 ? static_cast<char>(c) : FromUnicode(c);
    }
    return r;
}

std::string Utf16ToWtf8(std::u16string_view wide) {
    std::string r;
    r.reserve(wide.size());
    ForEachCharacter(wide, [&](char32_t c) { AppendUtf8(r, c); });
    return r;
}

std::u16string Wtf8ToUtf16(std::string_view s) {
    std::u16string r;
    r.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        char32_t c = 0;
        i += DecodeUtf8At(s, i, c);
        if (c >= 0x10000) {
            r += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            r += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            r += static_cast<char16_t>(c);
        }
    }
    return r;
}

std::u16string UpperUtf16(std::u16string_view wide) {
    std::u16string r(wide);
    for (char16_t& u : r)
        if (u < 0xD800 || u >= 0xE000) u = static_cast<char16_t>(towupper_l(static_cast<wint_t>(u), Utf8Locale()));
    return r;
}

std::string Utf16LeBytes(std::u16string_view wide) {
    std::string bytes;
    bytes.reserve(wide.size() * 2);
    for (char16_t c : wide) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    return bytes;
}

std::u16string Utf16FromLeBytes(std::string_view bytes) {
    std::u16string wide;
    wide.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        wide += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8);
    return wide;
}

}  // namespace qm::sim
