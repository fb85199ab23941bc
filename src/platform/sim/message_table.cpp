#include "platform/sim/message_table.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace qm::sim {

using namespace qm::platform;

namespace {

constexpr std::uint16_t kUnicodeEntry = 0x1;

std::uint32_t U32(std::string_view b, std::size_t at) {
    std::uint32_t v = 0;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

std::uint16_t U16(std::string_view b, std::size_t at) {
    std::uint16_t v = 0;
    std::memcpy(&v, b.data() + at, 2);
    return v;
}

// A text argument as the number a numeric conversion prints: an optional sign and decimal
// digits after leading blanks; 0 for anything else. Digits beyond what 64 bits hold wrap.
std::uint64_t NumberOf(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = i < text.size() && text[i] == '-';
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    std::uint64_t v = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) v = v * 10 + static_cast<unsigned>(text[i] - '0');
    return negative ? ~v + 1 : v;
}

// The parts of a printf format between the "!" signs of an insert.
struct InsertFormat {
    std::string flags;
    bool widthFromArgument = false;
    std::size_t width = 0;
    bool hasPrecision = false;
    bool precisionFromArgument = false;
    std::size_t precision = 0;
    int bits = 32;  // the argument's size for the numeric conversions
    char conversion = 's';
};

bool ReadCount(std::string_view f, std::size_t& i, std::size_t& value, std::size_t cap) {
    std::size_t start = i;
    value = 0;
    for (; i < f.size() && f[i] >= '0' && f[i] <= '9'; ++i) value = std::min(value * 10 + static_cast<unsigned>(f[i] - '0'), cap);
    return i > start;
}

bool ParseInsertFormat(std::string_view f, std::size_t cap, InsertFormat& format) {
    std::size_t i = 0;
    while (i < f.size() && std::string_view("-+ #0").find(f[i]) != std::string_view::npos) format.flags += f[i++];
    if (i < f.size() && f[i] == '*') {
        format.widthFromArgument = true;
        ++i;
    } else {
        ReadCount(f, i, format.width, cap);
    }
    if (i < f.size() && f[i] == '.') {
        ++i;
        format.hasPrecision = true;
        if (i < f.size() && f[i] == '*') {
            format.precisionFromArgument = true;
            ++i;
        } else {
            ReadCount(f, i, format.precision, cap);
        }
    }
    std::string_view rest = f.substr(i);
    static const std::pair<const char*, int> kSizes[] = {{"I64", 64}, {"I32", 32}, {"hh", 8}, {"ll", 64},
                                                         {"h", 16},   {"l", 32},    {"I", 32},  {"w", 32}};
    for (const auto& [prefix, bits] : kSizes)
        if (rest.substr(0, std::strlen(prefix)) == prefix) {
            format.bits = bits;
            rest.remove_prefix(std::strlen(prefix));
            break;
        }
    if (rest.size() != 1 || std::string_view("sScCdiuxXo").find(rest[0]) == std::string_view::npos) return false;
    format.conversion = rest[0];
    return true;
}

// One insert, formatted; false for a missing argument.
bool FormatInsert(const InsertFormat& format, const std::vector<std::string>& arguments, std::size_t first,
                  std::size_t cap, std::string& out) {
    std::size_t next = first;
    auto take = [&](std::string& value) {
        if (next >= arguments.size()) return false;
        value = arguments[next++];
        return true;
    };
    std::string text;
    std::size_t width = format.width, precision = format.precision;
    bool left = format.flags.find('-') != std::string::npos;
    if (format.widthFromArgument) {
        if (!take(text)) return false;
        auto w = static_cast<std::int64_t>(NumberOf(text));
        left = left || w < 0;
        width = static_cast<std::size_t>(std::min<std::int64_t>(w < 0 ? -w : w, static_cast<std::int64_t>(cap)));
    }
    bool hasPrecision = format.hasPrecision;
    if (format.precisionFromArgument) {
        if (!take(text)) return false;
        auto p = static_cast<std::int64_t>(NumberOf(text));
        hasPrecision = p >= 0;
        precision = static_cast<std::size_t>(std::clamp<std::int64_t>(p, 0, static_cast<std::int64_t>(cap)));
    }
    if (!take(text)) return false;
    std::string value;
    if (format.conversion == 's' || format.conversion == 'S') {
        value = hasPrecision ? text.substr(0, precision) : text;
    } else if (format.conversion == 'c' || format.conversion == 'C') {
        value.assign(1, static_cast<char>(NumberOf(text) & 0xFF));
    } else {
        std::uint64_t raw = NumberOf(text);
        bool isSigned = format.conversion == 'd' || format.conversion == 'i';
        std::uint64_t mask = format.bits == 64 ? ~0ull : (1ull << format.bits) - 1;
        std::uint64_t u = raw & mask;
        long long s = static_cast<long long>(u);
        if (isSigned && format.bits < 64 && (u >> (format.bits - 1)) != 0) s = static_cast<long long>(u | ~mask);
        // The format is made of checked parts only; width and precision go as arguments.
        std::string f = "%";
        for (char c : format.flags)
            if (c != '-') f += c;
        f += hasPrecision ? ".*ll" : "ll";
        f += format.conversion;
        std::vector<char> buffer(precision + 32);
        auto print = [&](auto number) {
            return hasPrecision ? std::snprintf(buffer.data(), buffer.size(), f.c_str(), static_cast<int>(precision), number)
                                : std::snprintf(buffer.data(), buffer.size(), f.c_str(), number);
        };
        int n = isSigned ? print(s) : print(static_cast<unsigned long long>(u));
        if (n < 0) return false;
        value.assign(buffer.data(), std::min(static_cast<std::size_t>(n), buffer.size() - 1));
        // Zero padding goes between the sign or prefix and the digits, as printf puts it.
        if (format.flags.find('0') != std::string::npos && !left && !hasPrecision && value.size() < width) {
            std::size_t at = 0;
            if (at < value.size() && (value[at] == '-' || value[at] == '+' || value[at] == ' ')) ++at;
            if (value.size() > at + 1 && value[at] == '0' && (value[at + 1] == 'x' || value[at + 1] == 'X')) at += 2;
            value.insert(at, width - value.size(), '0');
        }
    }
    if (value.size() < width) value.insert(left ? value.size() : 0, width - value.size(), ' ');
    out += value;
    return true;
}

}  // namespace

bool FindMessageText(std::string_view table, std::uint32_t id, const CodePageTable& cp, std::string& text) {
    text.clear();
    if (table.size() < 4) return false;
    std::uint32_t blocks = U32(table, 0);
    for (std::uint64_t i = 0; i < blocks && 4 + (i + 1) * 12 <= table.size(); ++i) {
        std::size_t block = 4 + static_cast<std::size_t>(i) * 12;
        std::uint32_t low = U32(table, block), high = U32(table, block + 4);
        if (id < low || id > high) continue;
        // The entries of a block follow one another, each as long as its first word says.
        std::uint64_t at = U32(table, block + 8);
        for (std::uint32_t skip = id - low;; --skip) {
            if (at + 4 > table.size()) return false;
            std::uint16_t length = U16(table, static_cast<std::size_t>(at));
            if (length < 4 || at + length > table.size()) return false;
            if (skip == 0) break;
            at += length;
        }
        auto entry = static_cast<std::size_t>(at);
        std::string_view bytes = table.substr(entry + 4, U16(table, entry) - 4u);
        if (U16(table, entry + 2) & kUnicodeEntry) {
            std::string wide;
            for (std::size_t c = 0; c + 1 < bytes.size(); c += 2) {
                if (bytes[c] == '\0' && bytes[c + 1] == '\0') break;
                wide += bytes.substr(c, 2);
            }
            text = cp.FromUtf16LeBytes(wide);
        } else {
            text = std::string(bytes.substr(0, std::min(bytes.find('\0'), bytes.size())));
        }
        return true;
    }
    return false;
}

DWORD FormatMessageText(std::string_view text, const std::vector<std::string>* arguments, std::size_t limit,
                        std::string& out) {
    out.clear();
    const std::size_t cap = limit;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (out.size() >= limit) break;
        char c = text[i];
        if (c != '%') {
            out += c;
            continue;
        }
        if (++i >= text.size()) break;
        c = text[i];
        if (c >= '1' && c <= '9') {
            std::size_t number = static_cast<std::size_t>(c - '0');
            if (i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '9')
                number = number * 10 + static_cast<std::size_t>(text[++i] - '0');
            InsertFormat format;
            if (i + 1 < text.size() && text[i + 1] == '!') {
                std::size_t close = text.find('!', i + 2);
                if (close == std::string_view::npos || !ParseInsertFormat(text.substr(i + 2, close - i - 2), cap, format))
                    return ERROR_INVALID_PARAMETER;
                i = close;
            }
            if (arguments == nullptr || !FormatInsert(format, *arguments, number - 1, cap, out)) return ERROR_INVALID_PARAMETER;
            continue;
        }
        switch (c) {
            case '0': i = text.size(); break;
            case 'n': out += "\r\n"; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            default: out += c; break;  // "%%", "%.", "%!", "% " and the rest
        }
    }
    if (out.size() >= limit) {
        out.clear();
        return ERROR_INSUFFICIENT_BUFFER;
    }
    return ERROR_SUCCESS;
}

}  // namespace qm::sim
