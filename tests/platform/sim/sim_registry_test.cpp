#include <gtest/gtest.h>

#include "platform/platform.h"
#include "platform/registry_accessor.h"
#include "support/reg_text.h"
#include "support/registry_samples.h"
#include "support/test_machine.h"

using namespace qm::platform;
using namespace qm::test;

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

TEST(Registry, ValuesKeepTheirOrderAndNewKeysTakeTheirSortedPlace) {
    TestMachine m("{}", kRegedit4);
    RegistryAccessor reg(HKEY_CURRENT_USER);
    ASSERT_TRUE(reg.OpenKey("Software\\Quarmelin", false));
    reg.WriteString("M", "new");
    reg.WriteString("a", "changed in place");
    EXPECT_EQ(reg.GetValueNames(), (std::vector<std::string>{"Z", "A", "M"}));
    EXPECT_EQ(reg.ReadString("A"), "changed in place");
    ASSERT_TRUE(reg.CreateKey("Software\\Quarmelin\\Beta"));
    ASSERT_TRUE(reg.CreateKey("Software\\Quarmelin\\Alpha"));
    EXPECT_EQ(reg.GetKeyNames(), (std::vector<std::string>{"Alpha", "Beta"}));
}

// Windows keeps the subkeys of a key sorted by their upper-cased names, whatever order a
// registry file lists them in: the last of a walk is the same whichever tool wrote the file.
TEST(Registry, SubkeysAreListedSortedByTheirUpperCasedNames) {
    TestMachine m("{}",
                  "REGEDIT4\r\n\r\n"
                  "[HKEY_LOCAL_MACHINE\\SYSTEM\\Enum\\Display\\_last]\r\n\r\n"
                  "[HKEY_LOCAL_MACHINE\\SYSTEM\\Enum\\Display\\monitor2]\r\n\"Id\"=\"2\"\r\n\r\n"
                  "[HKEY_LOCAL_MACHINE\\SYSTEM\\Enum\\Display\\Monitor10]\r\n\r\n"
                  "[HKEY_LOCAL_MACHINE\\SYSTEM\\Enum\\Display\\0001]\r\n\r\n"
                  "[HKEY_LOCAL_MACHINE\\SYSTEM\\Enum\\Display\\MONITOR1]\r\n\r\n"
                  "[HKEY_LOCAL_MACHINE\\SYSTEM\\Enum\\Display\\Z]\r\n\r\n");
    RegistryAccessor reg(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey("SYSTEM\\Enum\\Display", false));
    const std::vector<std::string> sorted = {"0001", "MONITOR1", "Monitor10", "monitor2", "Z", "_last"};
    EXPECT_EQ(reg.GetKeyNames(), sorted);
    ASSERT_TRUE(reg.CreateKey("SYSTEM\\Enum\\Display\\monitor15"));
    EXPECT_EQ(reg.GetKeyNames(), (std::vector<std::string>{"0001", "MONITOR1", "Monitor10", "monitor15", "monitor2", "Z", "_last"}));
    // Saved, the file holds the keys in that order too, and reads back the same.
    const std::string saved = m.Machine().RegistryText();
    EXPECT_LT(saved.find("\\Monitor10]"), saved.find("\\monitor2]"));
    EXPECT_LT(saved.find("\\Z]"), saved.find("\\_last]"));
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
