#include "support/reg_text.h"

#include <cstdio>
#include <stdexcept>

namespace qm::test {

namespace {

// A name or text as it stands between the double quotes of a .reg line.
std::string Escaped(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out;
}

std::string Name(std::string_view name) { return name.empty() ? "@" : "\"" + Escaped(name) + "\""; }

std::string HexList(const std::vector<std::uint8_t>& bytes) {
    std::string out;
    char two[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(two, sizeof two, "%02x", static_cast<unsigned>(bytes[i]));
        if (i > 0) out += ',';
        out += two;
    }
    return out;
}

std::vector<std::uint8_t> WithZero(std::string_view text) {
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

}  // namespace

RegText& RegText::Line(std::string line) {
    body_ += line;
    body_ += "\r\n";
    return *this;
}

RegText& RegText::Key(std::string_view path) { return Line("\r\n[" + std::string(path) + "]"); }

RegText& RegText::DeletedKey(std::string_view path) { return Line("\r\n[-" + std::string(path) + "]"); }

RegText& RegText::Value(std::string_view name, std::string_view text) {
    return Line(Name(name) + "=\"" + Escaped(text) + "\"");
}

RegText& RegText::Dword(std::string_view name, std::uint32_t value) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(value));
    return Line(Name(name) + "=dword:" + hex);
}

RegText& RegText::Binary(std::string_view name, const std::vector<std::uint8_t>& bytes) {
    return Line(Name(name) + "=hex:" + HexList(bytes));
}

RegText& RegText::Typed(std::string_view name, std::uint32_t type, const std::vector<std::uint8_t>& bytes) {
    char kind[16];
    std::snprintf(kind, sizeof kind, "hex(%x):", static_cast<unsigned>(type));
    return Line(Name(name) + "=" + kind + HexList(bytes));
}

RegText& RegText::ExpandString(std::string_view name, std::string_view text) { return Typed(name, 2, WithZero(text)); }

RegText& RegText::MultiString(std::string_view name, std::initializer_list<std::string_view> texts) {
    std::vector<std::uint8_t> bytes;
    for (std::string_view text : texts) {
        std::vector<std::uint8_t> one = WithZero(text);
        bytes.insert(bytes.end(), one.begin(), one.end());
    }
    bytes.push_back(0);
    return Typed(name, 7, bytes);
}

RegText& RegText::DeletedValue(std::string_view name) { return Line(Name(name) + "=-"); }

RegText& RegText::Append(const RegText& other) {
    body_ += other.body_;
    return *this;
}

std::string RegText::Text() const { return "REGEDIT4\r\n" + body_; }

std::vector<std::uint8_t> RegText::Bytes(std::string_view hexList) {
    std::vector<std::uint8_t> bytes;
    std::size_t at = 0;
    while (at < hexList.size()) {
        std::size_t comma = hexList.find(',', at);
        std::string item(hexList.substr(at, comma == std::string_view::npos ? std::string_view::npos : comma - at));
        std::size_t used = 0;
        unsigned long value = std::stoul(item, &used, 16);
        if (used != item.size() || value > 0xFF) throw std::invalid_argument("not a byte: " + item);
        bytes.push_back(static_cast<std::uint8_t>(value));
        if (comma == std::string_view::npos) break;
        at = comma + 1;
    }
    return bytes;
}

}  // namespace qm::test
