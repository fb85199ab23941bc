#pragma once
// UTF-8 texts of test fixtures as the UTF-16 that Windows file formats store.

#include <stdexcept>
#include <string>

namespace qm::test {

inline std::u16string Utf8ToUtf16(const std::string& utf8) {
    std::u16string out;
    for (std::size_t i = 0; i < utf8.size();) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        char32_t cp;
        std::size_t len;
        if (c < 0x80) {
            cp = c;
            len = 1;
        } else if ((c >> 5) == 0x6) {
            cp = c & 0x1Fu;
            len = 2;
        } else if ((c >> 4) == 0xE) {
            cp = c & 0x0Fu;
            len = 3;
        } else if ((c >> 3) == 0x1E) {
            cp = c & 0x07u;
            len = 4;
        } else {
            throw std::invalid_argument("not UTF-8: " + utf8);
        }
        if (i + len > utf8.size()) throw std::invalid_argument("not UTF-8: " + utf8);
        for (std::size_t k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3Fu);
        i += len;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

// Little-endian bytes of the UTF-16 text, with a terminating zero when asked.
inline std::string Utf16Bytes(const std::u16string& wide, bool terminate) {
    std::string out;
    out.reserve((wide.size() + 1) * 2);
    for (char16_t u : wide) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>((u >> 8) & 0xFF);
    }
    if (terminate) out += std::string(2, '\0');
    return out;
}

// The same of a UTF-8 text.
inline std::string Utf16Bytes(const std::string& utf8, bool terminate) { return Utf16Bytes(Utf8ToUtf16(utf8), terminate); }

}  // namespace qm::test
