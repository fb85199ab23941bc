#include "platform/guids.h"

#include <cstdio>

namespace qm::platform {

std::string GuidToString(const Guid& g) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.data1, g.data2, g.data3,
                  g.data4[0], g.data4[1], g.data4[2], g.data4[3], g.data4[4], g.data4[5], g.data4[6], g.data4[7]);
    return buf;
}

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

bool GuidFromString(const std::string& text, Guid& guid) {
    std::string t = text;
    if (t.size() == 38 && t.front() == '{' && t.back() == '}') t = t.substr(1, 36);
    if (t.size() != 36 || t[8] != '-' || t[13] != '-' || t[18] != '-' || t[23] != '-') return false;
    std::string hex;
    for (char c : t)
        if (c != '-') hex += c;
    std::uint8_t bytes[16];
    for (int i = 0; i < 16; ++i) {
        int hi = HexValue(hex[static_cast<std::size_t>(2 * i)]);
        int lo = HexValue(hex[static_cast<std::size_t>(2 * i + 1)]);
        if (hi < 0 || lo < 0) return false;
        bytes[i] = static_cast<std::uint8_t>(hi * 16 + lo);
    }
    guid.data1 = static_cast<std::uint32_t>(bytes[0]) << 24 | static_cast<std::uint32_t>(bytes[1]) << 16 |
                 static_cast<std::uint32_t>(bytes[2]) << 8 | bytes[3];
    guid.data2 = static_cast<std::uint16_t>(bytes[4] << 8 | bytes[5]);
    guid.data3 = static_cast<std::uint16_t>(bytes[6] << 8 | bytes[7]);
    for (int i = 0; i < 8; ++i) guid.data4[static_cast<std::size_t>(i)] = bytes[8 + i];
    return true;
}

}  // namespace qm::platform
