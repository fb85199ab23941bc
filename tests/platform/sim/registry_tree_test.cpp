#include <gtest/gtest.h>

#include <random>

#include "platform/platform.h"
#include "platform/sim/machine.h"
#include "platform/sim/registry_tree.h"
#include "support/registry_samples.h"
#include "support/test_machine.h"

using namespace qm::platform;
using namespace qm::test;

namespace {

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

TEST(RegistryFile, AValueWrittenTwiceKeepsItsFirstNameAndPlace) {
    TestMachine m("{}", "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Twice]\r\n\"Alpha\"=\"1\"\r\n\"Beta\"=\"2\"\r\n"
                        "\"ALPHA\"=dword:00000003\r\n\"Gamma\"=\"4\"\r\n\"beta\"=-\r\n\"Delta\"=\"5\"\r\n");
    HKEY k = 0;
    ASSERT_EQ(Registry().RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Twice", KEY_READ, k), ERROR_SUCCESS);
    std::vector<std::string> names;
    std::string name;
    for (DWORD i = 0; Registry().RegEnumValue(k, i, name, nullptr) == ERROR_SUCCESS; ++i) names.push_back(name);
    Registry().RegCloseKey(k);
    EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "Gamma", "Delta"}));
    EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, "SOFTWARE\\Twice", "alpha").type, REG_DWORD);
    EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, "SOFTWARE\\Twice", "Delta").data, std::string("5\0", 2));
}

namespace {

std::vector<std::string> SubkeysOf(const std::string& path) {
    std::vector<std::string> names;
    HKEY k = 0;
    if (Registry().RegOpenKeyEx(HKEY_LOCAL_MACHINE, path, KEY_READ, k) != ERROR_SUCCESS) return names;
    std::string name;
    for (DWORD i = 0; Registry().RegEnumKeyEx(k, i, name) == ERROR_SUCCESS; ++i) names.push_back(name);
    Registry().RegCloseKey(k);
    return names;
}

std::vector<std::string> ValuesOf(const std::string& path) {
    std::vector<std::string> names;
    HKEY k = 0;
    if (Registry().RegOpenKeyEx(HKEY_LOCAL_MACHINE, path, KEY_READ, k) != ERROR_SUCCESS) return names;
    std::string name;
    for (DWORD i = 0; Registry().RegEnumValue(k, i, name, nullptr) == ERROR_SUCCESS; ++i) names.push_back(name);
    Registry().RegCloseKey(k);
    return names;
}

// What RegQueryValueEx answers for the value of the key, or what opening the key answers.
LONG QueryAnswer(const std::string& path, const std::string& name) {
    HKEY k = 0;
    if (LONG e = Registry().RegOpenKeyEx(HKEY_LOCAL_MACHINE, path, KEY_READ, k); e != ERROR_SUCCESS) return e;
    DWORD size = 0;
    LONG answer = Registry().RegQueryValueEx(k, name, nullptr, nullptr, &size);
    Registry().RegCloseKey(k);
    return answer;
}

void SetText(const std::string& path, const std::string& name, const std::string& text) {
    HKEY k = 0;
    ASSERT_EQ(Registry().RegCreateKeyEx(HKEY_LOCAL_MACHINE, path, KEY_ALL_ACCESS, k, nullptr), ERROR_SUCCESS);
    ASSERT_EQ(Registry().RegSetValueEx(k, name, REG_SZ, reinterpret_cast<const std::uint8_t*>(text.c_str()),
                                       static_cast<DWORD>(text.size() + 1)),
              ERROR_SUCCESS);
    Registry().RegCloseKey(k);
}

}  // namespace

// Names and texts of another script on a Western machine: the programs see "?" where the code
// page lacks a character, as through the ANSI calls of Windows, but the registry keeps them.
TEST(RegistryFile, NamesAndTextsOutsideTheCodePageAreKeptAndNeverMerge) {
    const std::u16string file =
        u"Windows Registry Editor Version 5.00\r\n\r\n"
        u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Scripts\\\u041A\u043B\u044E\u0447]\r\n"
        u"\"\u03A9\"=\"\u03A9mega\"\r\n"
        u"\"\u0416\"=\"zhe\"\r\n"
        u"@=hex(2):25,00,3a,04,00,00\r\n\r\n"
        u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Scripts\\\u0416\u0443\u043A]\r\n"
        u"\"caf\u00E9\"=\"\u20AC \u4E2D\"\r\n";
    TestMachine m("{}", Utf16File(file));
    // U+0416 sorts before U+041A, whatever the file's order.
    EXPECT_EQ(SubkeysOf("SOFTWARE\\Scripts"), (std::vector<std::string>{"???", "????"}));
    // Two keys of the same length in another script stay two keys; they cannot be opened by
    // their ANSI spelling, as on Windows.
    EXPECT_EQ(QueryAnswer("SOFTWARE\\Scripts\\????", ""), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(QueryAnswer("SOFTWARE\\Scripts\\???", ""), ERROR_FILE_NOT_FOUND);
    // A write through the programs saves the file again: every name and text survives it.
    SetText("SOFTWARE\\Quarmelin", "GUID", "0F8FAD5BD9CB469FA16570867728950E");
    std::string saved = m.RegistryFile();
    for (const char* utf8 : {"\xD0\x9A\xD0\xBB\xD1\x8E\xD1\x87", "\xD0\x96\xD1\x83\xD0\xBA", "\"\xCE\xA9\"=\"\xCE\xA9mega\"",
                             "\"\xD0\x96\"=\"zhe\"", "\"caf\xC3\xA9\"=\"\xE2\x82\xAC \xE4\xB8\xAD\""})
        EXPECT_NE(saved.find(Utf16Bytes(std::string(utf8), false)), std::string::npos) << utf8;
    m.Reload();
    EXPECT_EQ(SubkeysOf("SOFTWARE\\Scripts"), (std::vector<std::string>{"???", "????"}));
    EXPECT_EQ(m.RegistryFile(), saved);
}

TEST(RegistryFile, TheAnsiCallsSeeTheCodePageSpellingOfWhatTheFileHolds) {
    const std::u16string file =
        u"Windows Registry Editor Version 5.00\r\n\r\n"
        u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Caf\u00E9]\r\n"
        u"\"\u03A9\"=\"\u03A9mega\"\r\n"
        u"\"\u0416\"=\"zhe\"\r\n"
        u"\"Na\u00EFve\"=\"\u20AC \u4E2D\"\r\n"
        u"\"Multi\"=hex(7):41,00,00,00,a9,03,00,00,00,00\r\n";
    TestMachine m("{}", Utf16File(file));
    // The two one-letter names stay two values, both "?" to the ANSI calls.
    EXPECT_EQ(ValuesOf("SOFTWARE\\CAF\xC9"), (std::vector<std::string>{"?", "?", "Na\xEFve", "Multi"}));
    EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, "SOFTWARE\\caf\xE9", "NA\xCFVE").data, std::string("\x80 ?\0", 4));
    EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, "SOFTWARE\\Caf\xE9", "Multi").data, std::string("A\0?\0\0", 5));
    EXPECT_EQ(QueryAnswer("SOFTWARE\\Caf\xE9", "?"), ERROR_FILE_NOT_FOUND);
    // What the programs write in ANSI is held in Unicode and reads back the same.
    SetText("SOFTWARE\\Caf\xE9", "Dr\xF4le", "\xE9t\xE9 \x80");
    EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, "SOFTWARE\\caf\xC9", "DR\xD4LE").data, std::string("\xE9t\xE9 \x80\0", 6));
    EXPECT_NE(m.RegistryFile().find(Utf16Bytes(std::string("\"Dr\xC3\xB4le\"=\"\xC3\xA9t\xC3\xA9 \xE2\x82\xAC\""), false)),
              std::string::npos);
}

TEST(RegistryFile, ARegedit4FileStaysInItsCodePage) {
    const std::string file = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Caf\xE9]\r\n\"Na\xEFve\"=\"\x80\x81\x9F\xFF\"\r\n"
                             "\"Bytes\"=hex(2):e9,81,00\r\n\r\n";
    TestMachine m("{}", file);
    EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, "SOFTWARE\\Caf\xE9", "na\xCFve").data, std::string("\x80\x81\x9F\xFF\0", 5));
    EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, "SOFTWARE\\Caf\xE9", "Bytes").data, std::string("\xE9\x81\0", 3));
    SetText("SOFTWARE\\Quarmelin", "GUID", "X");
    std::string saved = m.RegistryFile();
    EXPECT_EQ(saved.rfind("REGEDIT4\r\n", 0), 0u);
    EXPECT_NE(saved.find(file.substr(10)), std::string::npos) << saved;
}

// A file written by another tool in another order: its subkeys come in the order Windows keeps,
// by upper-cased name compared as UTF-16 code units ("_" after the letters, a name beyond the
// basic plane before U+E000 and above), its values as written; keys made and deleted later
// keep that order, and so does the file saved and read again.
TEST(RegistryFile, SubkeysAreInUpperCasedNameOrderWhateverTheFileOrder) {
    using qm::sim::RegKey;
    using qm::sim::RegistryTree;
    const std::u16string file =
        u"Windows Registry Editor Version 5.00\r\n\r\n"
        u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Order]\r\n\"z\"=dword:00000001\r\n\"a\"=dword:00000002\r\n"
        u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Order\\_Under]\r\n"
        u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Order\\\uFF21wide]\r\n"
        u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Order\\\U0001F600face]\r\n"
        u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Order\\\u00D6l]\r\n"
        u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Order\\\u00E9t\u00E9]\r\n"
        u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Order\\Zeta]\r\n"
        u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Order\\b]\r\n"
        u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Order\\Gone]\r\n"
        u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Order\\alpha]\r\n"
        u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Order\\ABC]\r\n"
        u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Order\\ab]\r\n"
        u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Order\\9]\r\n"
        u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Order\\10]\r\n"
        u"[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Order\\gone]\r\n";
    const qm::sim::CodePageTable cp(1252);
    auto namesOf = [](const RegistryTree& tree) {
        std::vector<std::string> names;
        RegKey* order = tree.Find(tree.Root("HKEY_LOCAL_MACHINE"), {"SOFTWARE", "Order"});
        if (order == nullptr) return names;
        for (const auto& k : order->Subkeys()) names.push_back(k->Name());
        for (const auto& v : order->Values()) names.push_back("value " + v.name);
        return names;
    };
    // In WTF-8: U+00D6, U+00E9, U+1F600, U+FF21.
    const std::string oe = "\xC3\x96l", ete = "\xC3\xA9t\xC3\xA9", face = "\xF0\x9F\x98\x80" "face", wide = "\xEF\xBC\xA1wide";
    RegistryTree tree(cp, Utf16File(file), "registry.reg");
    EXPECT_EQ(namesOf(tree), (std::vector<std::string>{"10", "9", "ab", "ABC", "alpha", "b", "Zeta", "_Under", ete, oe, face,
                                                       wide, "value z", "value a"}));
    bool created = false;
    RegKey* order = tree.Find(tree.Root("HKEY_LOCAL_MACHINE"), {"SOFTWARE", "Order"});
    ASSERT_NE(order, nullptr);
    for (const char* name : {"Mid", "0", "~tilde", "abc"}) tree.Create(order, {name}, created);
    tree.Delete(tree.Find(order, {"b"}));
    const std::vector<std::string> expected{"0", "10", "9", "ab", "ABC", "alpha", "Mid", "Zeta", "_Under", "~tilde", ete,
                                            oe,  face, wide, "value z", "value a"};
    EXPECT_EQ(namesOf(tree), expected);
    const std::string saved = tree.Write(qm::sim::RegFileFormat::Regedit5);
    const std::u16string text = qm::sim::Utf16FromLeBytes(saved.substr(2));
    EXPECT_LT(text.find(u"Order\\0]"), text.find(u"Order\\10]"));
    EXPECT_LT(text.find(u"Order\\_Under]"), text.find(u"Order\\\U0001F600face]"));
    EXPECT_LT(text.find(u"Order\\\U0001F600face]"), text.find(u"Order\\\uFF21wide]"));
    EXPECT_EQ(namesOf(RegistryTree(cp, saved, "registry.reg")), expected);
}

// The sample machines' registries, once saved as the simulator writes them, come back byte for
// byte from a save in either format, and a version 5 file saved again as REGEDIT4 is the
// REGEDIT4 file (the 98 desktop's holds text of its code page beyond ASCII).
TEST(RegistryFile, TheSampleRegistriesGoThroughBothFormatsUnchanged) {
    const qm::sim::CodePageTable cp(1252);
    using qm::sim::RegFileFormat;
    using qm::sim::RegistryTree;
    for (const char* name : {"xp-workstation", "win98-desktop"}) {
        SCOPED_TRACE(name);
        std::optional<std::string> file = ReadHostFile(std::string(QM_SOURCE_DIR) + "/machines/" + name + "/registry.reg");
        ASSERT_TRUE(file);
        const std::string regedit4 = RegistryTree(cp, file, "registry.reg").Write(RegFileFormat::Regedit4);
        EXPECT_TRUE(RegistryTree(cp, regedit4, "registry.reg").Write(RegFileFormat::Regedit4) == regedit4);
        const std::string regedit5 = RegistryTree(cp, regedit4, "registry.reg").Write(RegFileFormat::Regedit5);
        EXPECT_EQ(regedit5.rfind("\xFF\xFE", 0), 0u);
        const RegistryTree fromRegedit5(cp, regedit5, "registry.reg");
        EXPECT_TRUE(fromRegedit5.Write(RegFileFormat::Regedit5) == regedit5);
        EXPECT_TRUE(fromRegedit5.Write(RegFileFormat::Regedit4) == regedit4);
    }
}
