#include <gtest/gtest.h>

#include "platform/ini_image.h"
#include "platform/platform.h"
#include "support/test_machine.h"

using namespace qm::platform;
using qm::test::TestMachine;

namespace {

const char* const kSettings =
    "; settings of the test\r\n"
    "[Settings]\r\n"
    "Name =  \"Quoted Value\"  \r\n"
    "name = second\r\n"
    "Spaced=  padded  \r\n"
    "Empty=\r\n"
    "Number= 42abc\r\n"
    "Hex=0x1F\r\n"
    "Neg=-5\r\n"
    ";Commented=1\r\n"
    "Single='x'\n"
    "Ansi=caf\xE9\n"
    "[GUID_DIRECTORY]\n"
    "D:\\Inventory\\\n"
    "\n"
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Inventory\n"
    "DEFAUL_SCAN_AFTER=1\n";

}  // namespace

// The private-profile functions and the in-memory image read the same file differently.

TEST(Profile, PrivateProfileRulesDifferFromTheInMemoryImage) {
    TestMachine m;
    m.WriteFile("C:\\TEMP\\QMAgent.lic", kSettings);
    IniImage image = IniImage::FromFile(Files(), "C:\\TEMP\\QMAgent.lic");
    struct Case {
        const char* section;
        const char* key;
        const char* profile;
        const char* image;
    };
    const Case cases[] = {
        {"Settings", "name", "Quoted Value", "  \"Quoted Value\"  "},  // first duplicate; trimmed and unquoted
        {"SETTINGS", "spaced", "padded", "  padded  "},
        {"Settings", "Empty", "", ""},                                 // present but empty: not the default
        {"Settings", "Missing", "dflt", "dflt"},
        {"Settings", "Commented", "dflt", "dflt"},
        {"Settings", ";Commented", "dflt", "dflt"},
        {"Settings", "Single", "x", "'x'"},
        {"Settings", "Ansi", "caf\xE9", "caf\xE9"},                    // bytes pass unchanged
        {"Nosection", "Name", "dflt", "dflt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.section) + "/" + c.key);
        EXPECT_EQ(Profile().GetPrivateProfileString(c.section, c.key, "dflt", "C:\\TEMP\\QMAgent.lic"), c.profile);
        EXPECT_EQ(image.ReadString(c.section, c.key, "dflt"), c.image);
    }
    struct IntCase {
        const char* key;
        int profile;
        int image;
    };
    const IntCase ints[] = {{"Number", 42, -1}, {"Hex", 31, 31}, {"Neg", -5, -5}, {"Empty", -1, -1}, {"Missing", -1, -1},
                            {"Name", 0, -1}};
    for (const IntCase& c : ints) {
        SCOPED_TRACE(c.key);
        EXPECT_EQ(Profile().GetPrivateProfileInt("Settings", c.key, -1, "C:\\TEMP\\QMAgent.lic"), c.profile);
        EXPECT_EQ(image.ReadInteger("Settings", c.key, -1), c.image);
    }
    EXPECT_EQ(image.SectionLines("guid_directory"),
              (std::vector<std::string>{"D:\\Inventory\\", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Inventory", "DEFAUL_SCAN_AFTER=1"}));
    EXPECT_EQ(image.ReadString("GUID_DIRECTORY", "DEFAUL_SCAN_AFTER", ""), "1");
    EXPECT_TRUE(image.SectionExists("settings"));
    EXPECT_FALSE(image.SectionExists("Nosection"));
    EXPECT_TRUE(IniImage::FromFile(Files(), "C:\\TEMP\\missing.lic").SectionNames().empty());
}

TEST(Profile, WritesCreateTheFileAndKeepWhatElseIsThere) {
    TestMachine m;
    const char* file = "C:\\TEMP\\Chk_ID";
    ASSERT_TRUE(Profile().WritePrivateProfileString("Identification", "Asset#", "QM-TEST-01", file));
    EXPECT_EQ(m.ReadFile(file), "[Identification]\r\nAsset#=QM-TEST-01\r\n");
    ASSERT_TRUE(Profile().WritePrivateProfileString("GLOBAL", "PATH", "Z:\\bin\\qmagent.exe", file));
    ASSERT_TRUE(Profile().WritePrivateProfileString("identification", "AssetTag#", "T-1", file));
    ASSERT_TRUE(Profile().WritePrivateProfileString("IDENTIFICATION", "ASSET#", "changed", file));
    EXPECT_EQ(m.ReadFile(file),
              "[Identification]\r\nAsset#=changed\r\nAssetTag#=T-1\r\n[GLOBAL]\r\nPATH=Z:\\bin\\qmagent.exe\r\n");
    ASSERT_TRUE(Profile().WritePrivateProfileString("Identification", "AssetTag#", std::nullopt, file));
    ASSERT_TRUE(Profile().WritePrivateProfileString("GLOBAL", std::nullopt, std::nullopt, file));
    EXPECT_EQ(m.ReadFile(file), "[Identification]\r\nAsset#=changed\r\n");
    EXPECT_EQ(Profile().GetPrivateProfileString("Identification", "Asset#", "", file), "changed");

    m.WriteFile("C:\\TEMP\\keep.ini", "; keep me\n[A]\nx=1\n\n[B]\ny=2\n");
    ASSERT_TRUE(Profile().WritePrivateProfileString("A", "z", "3", "C:\\TEMP\\keep.ini"));
    EXPECT_EQ(m.ReadFile("C:\\TEMP\\keep.ini"), "; keep me\r\n[A]\r\nx=1\r\nz=3\r\n\r\n[B]\r\ny=2\r\n");

    // A hidden system file is written over in place, and keeps its attributes.
    const char* desktop = "C:\\TEMP\\desktop.ini";
    m.WriteFile(desktop, "[A]\r\nx=1\r\ny=2\r\n");
    ASSERT_TRUE(Files().SetFileAttributes(desktop, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    ASSERT_TRUE(Profile().WritePrivateProfileString("A", "y", std::nullopt, desktop));
    EXPECT_EQ(m.ReadFile(desktop), "[A]\r\nx=1\r\n");
    EXPECT_EQ(Files().GetFileAttributes(desktop), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
}

TEST(Profile, FailsWhenTheFileCannotBeWrittenAndFindsBareNamesInTheWindowsFolder) {
    TestMachine m(R"({"faults": [{"op": "write", "path": "C:\\TEMP\\locked"}]})");
    m.MakeFolder("C:\\TEMP\\locked");
    EXPECT_FALSE(Profile().WritePrivateProfileString("GUID", "GUID", "X", "C:\\TEMP\\locked\\QMGuid.ini"));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(m.Exists("C:\\TEMP\\locked\\QMGuid.ini"));
    EXPECT_FALSE(Profile().WritePrivateProfileString("A", "b", "c", "C:\\nofolder\\x.ini"));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);

    m.WriteFile("C:\\WINDOWS\\win.ini", "[windows]\r\ndevice=HP LaserJet 4,HPPCL5MS,LPT1:\r\n");
    EXPECT_EQ(Profile().GetProfileString("windows", "device", ""), "HP LaserJet 4,HPPCL5MS,LPT1:");
    ASSERT_TRUE(Profile().WritePrivateProfileString("S", "k", "v", "bare.ini"));
    EXPECT_EQ(m.ReadFile("C:\\WINDOWS\\bare.ini"), "[S]\r\nk=v\r\n");
    // The default loses its trailing blanks, as Windows strips them.
    EXPECT_EQ(Profile().GetPrivateProfileString("S", "k", "default  ", "C:\\missing.ini"), "default");
}

TEST(Profile, ListsSectionsAndKeysInFileOrder) {
    TestMachine m(R"({"faults": [{"op": "GetPrivateProfileSectionNames", "path": "C:\\TEMP\\refused.ini"}]})");
    const char* file = "C:\\TEMP\\boot.ini";
    m.WriteFile(file, "; a comment\r\n[boot loader]\r\ntimeout=30\r\n[operating systems]\r\nmulti(0)\\WINDOWS=\"XP\" /fastdetect\r\n"
                      ";hidden=1\r\nbare line\r\nMULTI(0)\\windows=again\r\n\r\n[Boot Loader]\r\nlater=1\r\n[]\r\n");
    EXPECT_EQ(Profile().GetPrivateProfileSectionNames(file),
              (std::vector<std::string>{"boot loader", "operating systems", "Boot Loader", ""}));
    // A repeated key is listed as often as it stands; a line without "=" names a key too.
    EXPECT_EQ(Profile().GetPrivateProfileKeyNames("OPERATING SYSTEMS", file),
              (std::vector<std::string>{"multi(0)\\WINDOWS", "bare line", "MULTI(0)\\windows"}));
    // The first of two sections of one name.
    EXPECT_EQ(Profile().GetPrivateProfileKeyNames("boot loader", file), (std::vector<std::string>{"timeout"}));
    EXPECT_TRUE(Profile().GetPrivateProfileKeyNames("missing", file).empty());
    EXPECT_TRUE(Profile().GetPrivateProfileSectionNames("C:\\TEMP\\missing.ini").empty());
    EXPECT_TRUE(Profile().GetPrivateProfileKeyNames("boot loader", "C:\\TEMP\\missing.ini").empty());
    m.WriteFile("C:\\TEMP\\refused.ini", "[A]\r\nx=1\r\n");
    EXPECT_TRUE(Profile().GetPrivateProfileSectionNames("C:\\TEMP\\refused.ini").empty());
    EXPECT_EQ(Profile().GetPrivateProfileKeyNames("A", "C:\\TEMP\\refused.ini"), (std::vector<std::string>{"x"}));
}

TEST(Profile, ASectionsEntriesAsTheFileHoldsThem) {
    TestMachine m(R"({"faults": [{"op": "GetPrivateProfileSection", "path": "C:\\TEMP\\refused.ini"}]})");
    const char* file = "C:\\TEMP\\boot.ini";
    m.WriteFile(file, "[boot loader]\r\ntimeout=30\r\n[operating systems]\r\n  multi(0)\\WINDOWS =  \"XP\" /fastdetect \r\n"
                      ";hidden=1\r\nbare line\r\nC:\\=\"Older\"\r\nMULTI(0)\\windows=again=twice\r\nempty=\r\n\r\n[OPERATING SYSTEMS]\r\nlater=1\r\n");
    // Trimmed, quotes kept, comments left out, a repeated key as often as it stands; the first
    // of two sections of one name.
    EXPECT_EQ(Profile().GetPrivateProfileSection("Operating Systems", file),
              (std::vector<std::string>{"multi(0)\\WINDOWS=\"XP\" /fastdetect", "bare line", "C:\\=\"Older\"",
                                        "MULTI(0)\\windows=again=twice", "empty="}));
    EXPECT_TRUE(Profile().GetPrivateProfileSection("missing", file).empty());
    EXPECT_TRUE(Profile().GetPrivateProfileSection("boot loader", "C:\\TEMP\\missing.ini").empty());
    m.WriteFile("C:\\TEMP\\refused.ini", "[A]\r\nx=1\r\n");
    EXPECT_TRUE(Profile().GetPrivateProfileSection("A", "C:\\TEMP\\refused.ini").empty());
    EXPECT_EQ(Profile().GetPrivateProfileKeyNames("A", "C:\\TEMP\\refused.ini"), (std::vector<std::string>{"x"}));
}

TEST(Profile, TheImageMergesASectionWrittenTwiceIntoItsFirstSpelling) {
    IniImage image = IniImage::FromText("[Alpha]\r\na=1\r\n[Beta]\r\nb=2\r\n[ALPHA]\r\na=3\r\nc=4\r\n[beta]\r\n");
    EXPECT_EQ(image.SectionNames(), (std::vector<std::string>{"Alpha", "Beta"}));
    EXPECT_EQ(image.SectionLines("alpha"), (std::vector<std::string>{"a=1", "a=3", "c=4"}));
    EXPECT_EQ(image.ReadString("ALPHA", "A", ""), "1");
    EXPECT_EQ(image.ReadString("Alpha", "c", ""), "4");
    EXPECT_EQ(image.KeyNames("BETA"), (std::vector<std::string>{"b"}));
}
