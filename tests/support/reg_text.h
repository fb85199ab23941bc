#pragma once
// The text of a REGEDIT4 registry file for a test machine, built key by key: key paths and
// values are written as plain strings, and the builder escapes backslashes and quotes itself.
//
//   RegText().Key("HKEY_LOCAL_MACHINE\\SOFTWARE\\X").Value("Path", R"(C:\Program Files\X)").Dword("N", 5)
//
// Fragments may be built apart and joined with "+"; Text() gives the whole file.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace qm::test {

class RegText {
public:
    // Starts a key; the values that follow belong to it.
    RegText& Key(std::string_view path);
    // "[-path]": the key and everything below it removed.
    RegText& DeletedKey(std::string_view path);
    // A REG_SZ value; an empty name is the key's default value ("@"). The text is ANSI bytes.
    RegText& Value(std::string_view name, std::string_view text);
    RegText& Dword(std::string_view name, std::uint32_t value);
    // A REG_BINARY value ("hex:").
    RegText& Binary(std::string_view name, const std::vector<std::uint8_t>& bytes);
    // A value of any type given by its bytes ("hex(type):").
    RegText& Typed(std::string_view name, std::uint32_t type, const std::vector<std::uint8_t>& bytes);
    // A REG_EXPAND_SZ value: the text and its terminating zero.
    RegText& ExpandString(std::string_view name, std::string_view text);
    // A REG_MULTI_SZ value: each text with its zero, and the closing zero.
    RegText& MultiString(std::string_view name, std::initializer_list<std::string_view> texts);
    // "name"=-: the value removed.
    RegText& DeletedValue(std::string_view name);
    // The keys and values of another builder, after these.
    RegText& Append(const RegText& other);
    friend RegText operator+(RegText first, const RegText& second) { return first.Append(second); }

    // The whole file: the "REGEDIT4" line, then the keys and values, every line ended by CR LF.
    std::string Text() const;

    // The bytes of a comma-separated list of two-digit hexadecimal numbers ("2c,01,00").
    static std::vector<std::uint8_t> Bytes(std::string_view hexList);

private:
    RegText& Line(std::string line);
    std::string body_;
};

}  // namespace qm::test
