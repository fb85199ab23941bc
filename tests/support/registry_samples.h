#pragma once
// Registry files of every kind the regedit formats know, shared by the tests of the registry
// file reader, the simulated registry and the registry accessor, and a query of one value.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/platform.h"
#include "support/utf16_text.h"

namespace qm::test {

// One value of every kind the regedit formats know, deletions and continuation lines.
inline const char* const kRegedit4 =
    "REGEDIT4\r\n"
    "\r\n"
    "; a comment\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quarmelin]\r\n"
    "\"GUID\"=\"0F8FAD5BD9CB469FA16570867728950E\"\r\n"
    "@=\"default \\\"quoted\\\" C:\\\\path\\\\\"\r\n"
    "\"Count\"=dword:0000002a\r\n"
    "\"Blob\"=hex:c0,a8,00,01\r\n"
    "\"None\"=hex(0):01,02\r\n"
    "\"Expand\"=hex(2):25,77,69,6e,64,69,72,25,00\r\n"
    "\"Multi\"=hex(7):61,00,62,63,00,00\r\n"
    "\"Qword\"=hex(b):01,00,00,00,00,00,00,00\r\n"
    "\"Big\"=hex(5):00,00,00,2a\r\n"
    "\"EmptyText\"=hex(1):\r\n"
    "\"Long\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,17,18,\\\r\n"
    "  19,1a,1b\r\n"
    "\"Gone\"=\"x\"\r\n"
    "\"Gone\"=-\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quarmelin\\Sub\\Deep]\r\n"
    "\"Ansi\"=\"caf\xE9\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Removed\\Child]\r\n"
    "\"x\"=\"y\"\r\n"
    "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Removed]\r\n"
    "[HKEY_CLASSES_ROOT\\.txt]\r\n"
    "@=\"txtfile\"\r\n"
    "[HKEY_CURRENT_USER\\Software\\Quarmelin]\r\n"
    "\"Z\"=\"last\"\r\n"
    "\"A\"=\"after Z\"\r\n";

// The text as a file in UTF-16 with its byte-order mark, as regedit 5 writes it.
inline std::string Utf16File(const std::u16string& text) { return "\xFF\xFE" + Utf16Bytes(text, false); }

inline const std::u16string kRegedit5 =
    u"Windows Registry Editor Version 5.00\r\n\r\n"
    u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quarmelin]\r\n"
    u"\"Text\"=\"caf\u00e9 \u20ac \u4e2d\"\r\n"
    u"\"Expand\"=hex(2):25,00,77,00,69,00,6e,00,64,00,69,00,72,00,25,00,00,00\r\n"
    u"\"Multi\"=hex(7):61,00,00,00,e9,00,00,00,00,00\r\n"
    u"\"Blob\"=hex:ff,fe\r\n"
    u"\"Count\"=dword:ffffffff\n";

struct Value {
    platform::DWORD type = 0;
    std::string data;
};

inline Value Query(platform::HKEY root, const std::string& key, const std::string& name) {
    platform::HKEY k = 0;
    EXPECT_EQ(platform::Registry().RegOpenKeyEx(root, key, platform::KEY_READ, k), platform::ERROR_SUCCESS) << key;
    Value v;
    platform::DWORD size = 0;
    EXPECT_EQ(platform::Registry().RegQueryValueEx(k, name, &v.type, nullptr, &size), platform::ERROR_SUCCESS) << name;
    v.data.assign(size, '\0');
    EXPECT_EQ(platform::Registry().RegQueryValueEx(k, name, &v.type, reinterpret_cast<std::uint8_t*>(v.data.data()), &size), platform::ERROR_SUCCESS);
    platform::Registry().RegCloseKey(k);
    return v;
}

}  // namespace qm::test
