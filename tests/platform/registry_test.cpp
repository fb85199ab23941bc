#include <gtest/gtest.h>

#include <random>

#include "platform/platform.h"
#include "platform/registry_accessor.h"
#include "platform/sim/machine.h"
#include "support/reg_text.h"
#include "support/test_machine.h"
#include "support/utf16_text.h"

using namespace qm::platform;
using qm::test::TempFolder;
using qm::test::TestMachine;

namespace {

// One value of every kind the regedit formats know, deletions and continuation lines.
const char* const kRegedit4 =
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
std::string Utf16File(const std::u16string& text) { return "\xFF\xFE" + qm::test::Utf16Bytes(text, false); }

const std::u16string kRegedit5 =
    u"Windows Registry Editor Version 5.00\r\n\r\n"
    u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quarmelin]\r\n"
    u"\"Text\"=\"caf\u00e9 \u20ac \u4e2d\"\r\n"
    u"\"Expand\"=hex(2):25,00,77,00,69,00,6e,00,64,00,69,00,72,00,25,00,00,00\r\n"
    u"\"Multi\"=hex(7):61,00,00,00,e9,00,00,00,00,00\r\n"
    u"\"Blob\"=hex:ff,fe\r\n"
    u"\"Count\"=dword:ffffffff\n";

struct Value {
    DWORD type = 0;
    std::string data;
};

Value Query(HKEY root, const std::string& key, const std::string& name) {
    HKEY k = 0;
    EXPECT_EQ(Registry().RegOpenKeyEx(root, key, KEY_READ, k), ERROR_SUCCESS) << key;
    Value v;
    DWORD size = 0;
    EXPECT_EQ(Registry().RegQueryValueEx(k, name, &v.type, nullptr, &size), ERROR_SUCCESS) << name;
    v.data.assign(size, '\0');
    EXPECT_EQ(Registry().RegQueryValueEx(k, name, &v.type, reinterpret_cast<std::uint8_t*>(v.data.data()), &size), ERROR_SUCCESS);
    Registry().RegCloseKey(k);
    return v;
}

void ExpectRegedit4Values() {
    const std::string q = "SOFTWARE\\Quarmelin";
    struct Case {
        const char* name;
        DWORD type;
        std::string data;
    };
    const Case cases[] = {
        {"GUID", REG_SZ, std::string("0F8FAD5BD9CB469FA16570867728950E\0", 33)},
        {"", REG_SZ, std::string("default \"quoted\" C:\\path\\\0", 26)},
        {"Count", REG_DWORD, std::string("\x2a\0\0\0", 4)},
        {"Blob", REG_BINARY, std::string("\xc0\xa8\x00\x01", 4)},
        {"None", REG_NONE, std::string("\x01\x02", 2)},
        {"Expand", REG_EXPAND_SZ, std::string("%windir%\0", 9)},
        {"Multi", REG_MULTI_SZ, std::string("a\0bc\0\0", 6)},
        {"Qword", REG_QWORD, std::string("\x01\0\0\0\0\0\0\0", 8)},
        {"Big", REG_DWORD_BIG_ENDIAN, std::string("\0\0\0\x2a", 4)},
        {"EmptyText", REG_SZ, std::string()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Value v = Query(HKEY_LOCAL_MACHINE, q, c.name);
        EXPECT_EQ(v.type, c.type);
        EXPECT_EQ(v.data, c.data);
    }
    Value longValue = Query(HKEY_LOCAL_MACHINE, q, "Long");
    ASSERT_EQ(longValue.data.size(), 28u);
    EXPECT_EQ(longValue.data[27], '\x1b');
    EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, q + "\\Sub\\Deep", "Ansi").data, std::string("caf\xE9\0", 5));
    EXPECT_EQ(Query(HKEY_CLASSES_ROOT, ".txt", "").data, std::string("txtfile\0", 8));
    HKEY k = 0;
    EXPECT_EQ(Registry().RegOpenKeyEx(HKEY_LOCAL_MACHINE, q, KEY_READ, k), ERROR_SUCCESS);
    DWORD type = 0, size = 0;
    EXPECT_EQ(Registry().RegQueryValueEx(k, "Gone", &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
    Registry().RegCloseKey(k);
    EXPECT_EQ(Registry().RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Removed\\Child", KEY_READ, k), ERROR_FILE_NOT_FOUND);
}

std::string LoadError(const std::string& registryFile) {
    try {
        TestMachine m("{}", registryFile);
    } catch (const qm::sim::MachineError& e) {
        return e.what();
    }
    return "no error";
}

}  // namespace

TEST(RegistryFile, ReadsEveryValueKindAndWritesItBackUnchangedInMeaning) {
    TestMachine m("{}", kRegedit4);
    ExpectRegedit4Values();
    // Written out and read again, every value means the same.
    std::string exported = m.Machine().RegistryText();
    EXPECT_EQ(exported.rfind("REGEDIT4\r\n", 0), 0u);
    EXPECT_NE(exported.find("\"Count\"=dword:0000002a\r\n"), std::string::npos);
    EXPECT_NE(exported.find("\"Long\"=hex:"), std::string::npos);
    TestMachine again("{}", exported);
    ExpectRegedit4Values();
    EXPECT_EQ(again.Machine().RegistryText(), exported);
}

TEST(RegistryFile, Version5FilesAreUtf16AndTheirTextBecomesAnsi) {
    TestMachine m("{}", Utf16File(kRegedit5));
    const std::string q = "SOFTWARE\\Quarmelin";
    EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, q, "Text").data, std::string("caf\xE9 \x80 ?\0", 9));
    EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, q, "Expand").data, std::string("%windir%\0", 9));
    EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, q, "Multi").data, std::string("a\0\xE9\0\0", 5));
    EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, q, "Blob").data, "\xFF\xFE");  // binary data stays as it is
    EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, q, "Count").data, "\xFF\xFF\xFF\xFF");
    std::string exported = m.Machine().RegistryText();
    EXPECT_EQ(exported.substr(0, 4), std::string("\xFF\xFEW\0", 4));
    TestMachine again("{}", exported);
    EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, q, "Multi").data, std::string("a\0\xE9\0\0", 5));
    EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, q, "Text").data, std::string("caf\xE9 \x80 ?\0", 9));
}

TEST(RegistryFile, BrokenFilesGiveTheFileAndLine) {
    struct Case {
        std::string text;
        const char* message;
    };
    const Case cases[] = {
        {"Hello\r\n", ":1: expected \"REGEDIT4\" or \"Windows Registry Editor Version 5.00\" as the first line"},
        {"Windows Registry Editor Version 5.00\r\n", ":1: a \"Windows Registry Editor Version 5.00\" file must be UTF-16LE"},
        {"REGEDIT4\r\n\r\n[HKEY_NOWHERE\\X]\r\n", ":3: unknown root key \"HKEY_NOWHERE\""},
        {"REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\X", ":2: a key line ends with \"]\""},
        {"REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\A\\\\B]\r\n", ":2: empty key name in"},
        {"REGEDIT4\r\n\"x\"=\"y\"\r\n", ":2: a value needs a key line above it"},
        {"REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\X]\r\n\"x\"=dword:123456789\r\n", ":3: a dword value has one to eight hex digits"},
        {"REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\X]\r\n\"x\"=hex:01,zz\r\n", ":3: bad byte \"zz\" in a hex value"},
        {"REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\X]\r\n\"x\"=hex(q):01\r\n", ":3: expected \"hex:\" or \"hex(n):\""},
        {"REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\X]\r\n\"x=\"y\"\r\n", ":3: expected \"=\" after the value name"},
        {"REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\X]\r\n\"x\"=\"y\r\n", ":3: the text value has no closing quote"},
        {"REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\X]\r\n\"x\"=\"y\" z\r\n", ":3: unexpected text after the closing quote"},
        {"REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\X]\r\n\"x\"=hex:01,\\\r\n", ":3: the byte list goes on past the end of the file"},
        {"REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\X]\r\n\"x\"=word:1\r\n", ":3: unknown kind of value"},
        {"REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\X]\r\nstray\r\n", ":3: expected a key line, a value line or a comment"},
    };
    for (const Case& c : cases) {
        std::string error = LoadError(c.text);
        EXPECT_NE(error.find("registry.reg" + std::string(c.message)), std::string::npos) << error;
    }
}

TEST(RegistryFile, NoInputCrashesTheReader) {
    std::mt19937 random(12345);
    const std::string alphabet = "REGEDIT4[]\\\"@=-:,;hexdword()0123456789abcdefHKEY_LOCAL_MACHINE\r\n \xFF\xFE";
    TempFolder folder;
    for (int i = 0; i < 3000; ++i) {
        std::string text = i % 2 ? "REGEDIT4\r\n" : "";
        std::size_t n = random() % 200;
        for (std::size_t k = 0; k < n; ++k)
            text += i % 3 ? alphabet[random() % alphabet.size()] : static_cast<char>(random() % 256);
        try {
            qm::sim::SimMachine::FromJson("{}", folder.Path(), text);
        } catch (const qm::sim::MachineError&) {
        }
    }
}

TEST(Registry, PathsAndNamesIgnoreCaseAndKeepTheirSpelling) {
    TestMachine m("{}", kRegedit4);
    HKEY k = 0;
    ASSERT_EQ(Registry().RegOpenKeyEx(HKEY_LOCAL_MACHINE, "software\\QUARMELIN\\", KEY_READ, k), ERROR_SUCCESS);
    Value v = Query(HKEY_LOCAL_MACHINE, "SOFTWARE\\quarmelin", "guid");
    EXPECT_EQ(v.type, REG_SZ);
    std::string name;
    ASSERT_EQ(Registry().RegEnumKeyEx(k, 0, name), ERROR_SUCCESS);
    EXPECT_EQ(name, "Sub");
    EXPECT_EQ(Registry().RegEnumKeyEx(k, 1, name), ERROR_NO_MORE_ITEMS);
    DWORD type = 0;
    ASSERT_EQ(Registry().RegEnumValue(k, 0, name, &type), ERROR_SUCCESS);
    EXPECT_EQ(name, "GUID");
    Registry().RegCloseKey(k);
    EXPECT_EQ(Registry().RegOpenKeyEx(HKEY_LOCAL_MACHINE, "\\SOFTWARE", KEY_READ, k), ERROR_BAD_PATHNAME);
}

TEST(Registry, ReadsWhatTheTestsRegistryBuilderWrites) {
    const std::string text = qm::test::RegText()
                                 .Key(R"(HKEY_LOCAL_MACHINE\SOFTWARE\Built "Here")")
                                 .Value("", R"(C:\Program Files\"quoted"\)")
                                 .Value(R"(a\name "quoted")", "caf\xE9")
                                 .Dword("Count", 0xFFFFFFFEu)
                                 .Binary("Blob", {0xC0, 0xA8})
                                 .ExpandString("Expand", "%windir%")
                                 .MultiString("Multi", {"a", "bc"})
                                 .Typed("Qword", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0})
                                 .Value("Gone", "x")
                                 .DeletedValue("Gone")
                                 .Key(R"(HKEY_LOCAL_MACHINE\SOFTWARE\Removed\Child)")
                                 .DeletedKey(R"(HKEY_LOCAL_MACHINE\SOFTWARE\Removed)")
                                 .Text();
    TestMachine m("{}", text);
    const std::string key = R"(SOFTWARE\Built "Here")";
    const std::string zero(1, '\0');
    EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, key, "").data, R"(C:\Program Files\"quoted"\)" + zero);
    EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, key, R"(a\name "quoted")").data, "caf\xE9" + zero);
    EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, key, "Count").data, std::string("\xFE\xFF\xFF\xFF", 4));
    EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, key, "Blob").type, REG_BINARY);
    EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, key, "Expand").data, "%windir%" + zero);
    EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, key, "Multi").data, "a" + zero + "bc" + zero + zero);
    EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, key, "Qword").type, REG_QWORD);
    HKEY k = 0;
    EXPECT_EQ(Registry().RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Removed", KEY_READ, k), ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(Registry().RegOpenKeyEx(HKEY_LOCAL_MACHINE, key, KEY_READ, k), ERROR_SUCCESS);
    DWORD type = 0, size = 0;
    EXPECT_EQ(Registry().RegQueryValueEx(k, "Gone", &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
    Registry().RegCloseKey(k);
    EXPECT_EQ(qm::test::RegText::Bytes("2c,01,ff"), (std::vector<std::uint8_t>{0x2C, 0x01, 0xFF}));
    EXPECT_THROW(qm::test::RegText::Bytes("2c,1ff"), std::invalid_argument);
}

TEST(Registry, EnumeratesInFileOrderWithNewEntriesAfter) {
    TestMachine m("{}", kRegedit4);
    RegistryAccessor reg(HKEY_CURRENT_USER);
    ASSERT_TRUE(reg.OpenKey("Software\\Quarmelin", false));
    reg.WriteString("M", "new");
    reg.WriteString("a", "changed in place");
    EXPECT_EQ(reg.GetValueNames(), (std::vector<std::string>{"Z", "A", "M"}));
    EXPECT_EQ(reg.ReadString("A"), "changed in place");
    ASSERT_TRUE(reg.CreateKey("Software\\Quarmelin\\Beta"));
    ASSERT_TRUE(reg.CreateKey("Software\\Quarmelin\\Alpha"));
    EXPECT_EQ(reg.GetKeyNames(), (std::vector<std::string>{"Beta", "Alpha"}));
}

TEST(Registry, ReadingTheClassesViewChangesNothing) {
    const std::string text = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Quarmelin]\r\n\"Z\"=\"last\"\r\n";
    TestMachine m("{}", text);
    const std::string tree = m.Machine().RegistryText();
    HKEY k = 0;
    ASSERT_EQ(Registry().RegOpenKeyEx(HKEY_CLASSES_ROOT, "", KEY_READ, k), ERROR_SUCCESS);
    std::string name;
    EXPECT_EQ(Registry().RegEnumKeyEx(k, 0, name), ERROR_NO_MORE_ITEMS);
    Registry().RegCloseKey(k);
    EXPECT_EQ(Registry().RegOpenKeyEx(HKEY_CLASSES_ROOT, ".txt", KEY_READ, k), ERROR_FILE_NOT_FOUND);
    DWORD type = 0, size = 0;
    EXPECT_EQ(Registry().RegQueryValueEx(HKEY_CLASSES_ROOT, "", &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(m.Machine().RegistryText(), tree);
    EXPECT_EQ(m.RegistryFile(), text);
}

TEST(Registry, QueriesGiveSizesAndAskForRoom) {
    TestMachine m("{}", kRegedit4);
    HKEY k = 0;
    ASSERT_EQ(Registry().RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quarmelin", KEY_READ, k), ERROR_SUCCESS);
    DWORD type = 0, size = 0;
    ASSERT_EQ(Registry().RegQueryValueEx(k, "GUID", &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 33u);
    std::uint8_t small[8];
    size = sizeof small;
    EXPECT_EQ(Registry().RegQueryValueEx(k, "GUID", &type, small, &size), static_cast<LONG>(ERROR_MORE_DATA));
    EXPECT_EQ(size, 33u);
    // A key opened for reading takes no writes.
    std::uint8_t one = 1;
    EXPECT_EQ(Registry().RegSetValueEx(k, "X", REG_BINARY, &one, 1), static_cast<LONG>(ERROR_ACCESS_DENIED));
    Registry().RegCloseKey(k);
    EXPECT_EQ(Registry().RegCloseKey(k), static_cast<LONG>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(m.Machine().OpenRegistryKeys(), 0u);
}

TEST(RegistryAccessor, RaisesWhereTheTypeDoesNotFit) {
    TestMachine m("{}", kRegedit4);
    {
        RegistryAccessor reg(HKEY_LOCAL_MACHINE);
        ASSERT_TRUE(reg.OpenKeyReadOnly("SOFTWARE\\Quarmelin\\"));
        EXPECT_EQ(reg.ReadString("GUID"), "0F8FAD5BD9CB469FA16570867728950E");
        EXPECT_EQ(reg.ReadString("Expand"), "%windir%");
        EXPECT_EQ(reg.ReadString("Missing"), "");
        EXPECT_THROW(reg.ReadString("Count"), RegistryError);
        EXPECT_THROW(reg.ReadString("Blob"), RegistryError);
        EXPECT_EQ(reg.ReadInteger("Count"), 42);
        EXPECT_THROW(reg.ReadInteger("GUID"), RegistryError);
        EXPECT_THROW(reg.ReadInteger("Missing"), RegistryError);
        std::uint8_t buffer[4] = {};
        EXPECT_EQ(reg.ReadBinaryData("Blob", buffer, sizeof buffer), 4u);
        EXPECT_EQ(buffer[0], 0xC0);
        std::uint8_t roomy[8] = {};
        EXPECT_EQ(reg.ReadBinaryData("Multi", roomy, sizeof roomy), 6u);  // any type but text and numbers
        EXPECT_EQ(roomy[2], 'b');
        EXPECT_THROW(reg.ReadBinaryData("Long", buffer, sizeof buffer), RegistryError);
        EXPECT_THROW(reg.ReadBinaryData("GUID", buffer, sizeof buffer), RegistryError);
        EXPECT_TRUE(reg.ValueExists("guid"));
        EXPECT_FALSE(reg.ValueExists("Missing"));
        EXPECT_EQ(reg.GetDataType("Qword"), REG_QWORD);
        EXPECT_EQ(reg.GetDataType("Missing"), std::nullopt);
        EXPECT_EQ(reg.GetDataSize("Blob"), 4);
        EXPECT_EQ(reg.GetDataSize("Missing"), -1);
        EXPECT_THROW(reg.WriteString("X", "read-only key"), RegistryError);
        // A subkey path goes on from the open key.
        ASSERT_TRUE(reg.OpenSubKeyReadOnly("Sub\\Deep"));
        EXPECT_EQ(reg.ReadString("Ansi"), "caf\xE9");
        EXPECT_TRUE(reg.KeyExists("SOFTWARE\\Quarmelin"));
        EXPECT_FALSE(reg.KeyExists("SOFTWARE\\Nothing"));
        EXPECT_FALSE(reg.OpenKeyReadOnly("SOFTWARE\\Nothing"));
        EXPECT_EQ(reg.ReadString("Ansi"), "caf\xE9");  // a failed open keeps the open key
    }
    EXPECT_EQ(m.Machine().OpenRegistryKeys(), 0u);
}

TEST(RegistryAccessor, PathsStartAtTheRootOrBelowTheOpenKeyAsTheCallSays) {
    TestMachine m("{}", kRegedit4);
    {
        RegistryAccessor reg(HKEY_LOCAL_MACHINE);
        // Nothing open: there is nothing to go on from.
        EXPECT_FALSE(reg.OpenSubKeyReadOnly("SOFTWARE\\Quarmelin"));
        EXPECT_FALSE(reg.OpenSubKey("SOFTWARE\\Quarmelin", true));
        EXPECT_EQ(reg.CurrentKey(), 0u);
        ASSERT_TRUE(reg.OpenKeyReadOnly("SOFTWARE\\Quarmelin\\Sub"));
        // From the root whatever is open; a leading backslash means nothing more.
        EXPECT_FALSE(reg.OpenKeyReadOnly("Deep"));
        EXPECT_FALSE(reg.KeyExists("Deep"));
        EXPECT_TRUE(reg.KeyExists("\\SOFTWARE\\Quarmelin\\Sub\\Deep\\"));
        ASSERT_TRUE(reg.OpenKeyReadOnly("\\SOFTWARE\\Quarmelin"));
        EXPECT_EQ(reg.ReadInteger("Count"), 42);
        ASSERT_TRUE(reg.OpenSubKeyReadOnly("Sub\\Deep\\"));
        EXPECT_EQ(reg.ReadString("Ansi"), "caf\xE9");
        EXPECT_FALSE(reg.OpenSubKeyReadOnly("SOFTWARE"));
        EXPECT_EQ(reg.ReadString("Ansi"), "caf\xE9");  // a failed open keeps the open key
        // Made below the open key, which the new key then replaces.
        ASSERT_TRUE(reg.OpenKey("SOFTWARE\\Quarmelin", false));
        ASSERT_TRUE(reg.OpenSubKey("Made\\Here", true));
        reg.WriteString("V", "x");
        ASSERT_TRUE(reg.CreateKey("SOFTWARE\\Quarmelin\\Also"));
        EXPECT_EQ(reg.ReadString("V"), "x");  // CreateKey leaves the open key
    }
    RegistryAccessor check(HKEY_LOCAL_MACHINE);
    EXPECT_TRUE(check.KeyExists("SOFTWARE\\Quarmelin\\Made\\Here"));
    EXPECT_TRUE(check.KeyExists("SOFTWARE\\Quarmelin\\Also"));
    EXPECT_FALSE(check.KeyExists("SOFTWARE\\Quarmelin\\Sub\\Made"));
    EXPECT_EQ(m.Machine().OpenRegistryKeys(), 0u);
}

TEST(Registry, InjectedFailuresRefuseKeys) {
    TestMachine m(R"({"faults": [{"op": "RegOpenKeyEx", "path": "HKEY_LOCAL_MACHINE\\SOFTWARE\\Quarmelin\\Sub"},
                                 {"op": "RegOpenKeyEx", "path": "HKEY_CLASSES_ROOT\\.txt", "error": 2},
                                 {"op": "write", "path": "HKEY_CURRENT_USER\\Software\\Quarmelin"}]})",
                  kRegedit4);
    HKEY k = 0;
    EXPECT_EQ(Registry().RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quarmelin\\Sub\\Deep", KEY_READ, k),
              static_cast<LONG>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(Registry().RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quarmelin", KEY_READ, k), ERROR_SUCCESS);
    Registry().RegCloseKey(k);
    EXPECT_EQ(Registry().RegOpenKeyEx(HKEY_CLASSES_ROOT, ".TXT", KEY_READ, k), static_cast<LONG>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(Registry().RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\.txt", KEY_READ, k),
              static_cast<LONG>(ERROR_FILE_NOT_FOUND));
    // Not writable: it opens for reading only, and nothing below it can be made.
    RegistryAccessor reg(HKEY_CURRENT_USER);
    EXPECT_TRUE(reg.OpenKeyReadOnly("Software\\Quarmelin"));
    EXPECT_FALSE(reg.OpenKey("Software\\Quarmelin", false));
    EXPECT_FALSE(reg.CreateKey("Software\\Quarmelin\\New"));
    EXPECT_TRUE(reg.CreateKey("Software\\Other"));
}

TEST(Registry, ChangesPersistInTheMachinesOwnFormat) {
    {
        TestMachine m("{}", kRegedit4);
        RegistryAccessor reg(HKEY_LOCAL_MACHINE);
        ASSERT_TRUE(reg.OpenKey("SOFTWARE\\Quarmelin", true));
        reg.WriteString("GUID", "NEWGUID");
        reg.WriteString("DATE", "12/09/2026");
        HKEY k = 0;
        ASSERT_EQ(Registry().RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quarmelin", KEY_ALL_ACCESS, k), ERROR_SUCCESS);
        EXPECT_EQ(Registry().RegDeleteValue(k, "blob"), ERROR_SUCCESS);
        EXPECT_EQ(Registry().RegDeleteValue(k, "Blob"), ERROR_FILE_NOT_FOUND);
        Registry().RegCloseKey(k);
        std::string file = m.RegistryFile();
        EXPECT_EQ(file.rfind("REGEDIT4\r\n", 0), 0u);
        EXPECT_NE(file.find("\"GUID\"=\"NEWGUID\""), std::string::npos);
        reg.CloseKey();
        m.Reload();
        RegistryAccessor again(HKEY_LOCAL_MACHINE);
        ASSERT_TRUE(again.OpenKeyReadOnly("SOFTWARE\\Quarmelin"));
        EXPECT_EQ(again.ReadString("DATE"), "12/09/2026");
        EXPECT_EQ(again.ReadInteger("Count"), 42);  // what was not changed is kept
        EXPECT_FALSE(again.ValueExists("Blob"));
    }
    {
        TestMachine m("{}", Utf16File(kRegedit5));
        RegistryAccessor reg(HKEY_LOCAL_MACHINE);
        ASSERT_TRUE(reg.OpenKey("SOFTWARE\\Quarmelin", false));
        reg.WriteString("DATE", "12/09/2026");
        EXPECT_EQ(m.RegistryFile().substr(0, 2), "\xFF\xFE");
    }
    {
        // Without a registry file, an NT machine writes one of the NT format.
        TestMachine m;
        RegistryAccessor reg(HKEY_LOCAL_MACHINE);
        ASSERT_TRUE(reg.OpenKey("SOFTWARE\\Quarmelin", true));
        reg.WriteString("GUID", "X");
        EXPECT_EQ(m.RegistryFile().substr(0, 2), "\xFF\xFE");
    }
}

TEST(Registry, AChangeThatCannotBeSavedIsRefusedAndNotKept) {
    TestMachine m("{}", kRegedit4);
    m.Machine().AddFault({"RegistrySave", "", 0, false, -1});
    HKEY k = 0;
    ASSERT_EQ(Registry().RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quarmelin", KEY_ALL_ACCESS, k), ERROR_SUCCESS);
    std::string data("NEW\0", 4);
    EXPECT_EQ(Registry().RegSetValueEx(k, "GUID", REG_SZ, reinterpret_cast<const std::uint8_t*>(data.data()), 4),
              static_cast<LONG>(ERROR_REGISTRY_IO_FAILED));
    EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quarmelin", "GUID").data, std::string("0F8FAD5BD9CB469FA16570867728950E\0", 33));
    EXPECT_EQ(Registry().RegDeleteValue(k, "Count"), static_cast<LONG>(ERROR_REGISTRY_IO_FAILED));
    EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quarmelin", "Count").type, REG_DWORD);
    HKEY made = 0;
    EXPECT_EQ(Registry().RegCreateKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\New\\Deeper", KEY_ALL_ACCESS, made, nullptr),
              static_cast<LONG>(ERROR_REGISTRY_IO_FAILED));
    EXPECT_EQ(Registry().RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\New", KEY_READ, made), static_cast<LONG>(ERROR_FILE_NOT_FOUND));
    Registry().RegCloseKey(k);
}
