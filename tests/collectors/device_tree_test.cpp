#include <gtest/gtest.h>

#include <algorithm>

#include "collectors/device_tree.h"
#include "collectors/video_monitor.h"
#include "core/process_state.h"
#include "platform/platform.h"
#include "support/agent_state.h"
#include "support/letter_cases.h"
#include "support/reg_text.h"
#include "support/test_machine.h"

using namespace qm::collectors;
using namespace qm::test;

namespace {

using Records = std::vector<std::string>;

// The records of the texts, numbered from 1 in the order given.
Records Tree(const std::vector<std::string>& texts) {
    Records out;
    for (std::size_t i = 0; i < texts.size(); ++i)
        out.push_back("\"Peripherals tree\",\"" + std::to_string(i + 1) + "\",\"" + texts[i] + "\"");
    return out;
}

const std::string kEnum = R"(HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Enum\)";
const std::string kClass = R"(HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Class\)";
const std::string kMap = R"(HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\)";
const std::string kNodes = R"(HKEY_DYN_DATA\Config Manager\Enum\)";
const char* const kNine = R"({"version": {"platform_id": 1, "major": 4, "minor": 10, "build": 67766446}})";
const char* const kNt4 = R"({"version": {"platform_id": 2, "major": 4, "minor": 0, "build": 1381, "service_pack": "Service Pack 6"}})";

// A device key that the system has started: it has a "CONTROL" subkey.
RegText Started(const std::string& path) { return RegText().Key(kEnum + path + "\\Control"); }

// What the walk wrote to the trace log: from its first "Enter" line on, the records' lines left out.
std::vector<std::string> Said(TestMachine& m) {
    std::vector<std::string> said;
    for (const std::string& text : LogTexts(m.ReadFile(kTraceLog)))
        if ((!said.empty() || text.rfind("Enter ", 0) == 0) && text.rfind("RES : ", 0) != 0) said.push_back(text);
    return said;
}

bool Says(TestMachine& m, const std::string& line) {
    std::vector<std::string> said = Said(m);
    return std::find(said.begin(), said.end(), line) != said.end();
}

}  // namespace

TEST(DeviceTreeNt, PresentDevicesSortedAndNumbered) {
    const std::string disk = "{4D36E967-E325-11CE-BFC1-08002BE10318}", orphan = "{00000000-0000-0000-0000-00000000FFFF}";
    TestMachine m("{}", (RegText()
                             // Met first, sorted after the network card.
                             .Key(kEnum + R"(ACPI\PNP0501\1)").Value("Class", "Ports").Value("DeviceDesc", "Communications Port (COM1)")
                         + Started(R"(ACPI\PNP0501\1)")
                         + RegText().Key(kEnum + R"(PCI\VEN_8086&DEV_1229\3&61AAA01&0&40)")
                               .Value("Class", "Net").Value("DeviceDesc", "Fast Ethernet").Value("FriendlyName", "Fast Ethernet #2")
                         + Started(R"(PCI\VEN_8086&DEV_1229\3&61AAA01&0&40)")
                         // Bit 3 among others is not present; nor is a key that says nothing of its status.
                         + RegText().Key(kEnum + R"(PCI\VEN_5333\1)").Dword("StatusFlags", 0x0A).Value("Class", "Display").Value("DeviceDesc", "Gone")
                         + RegText().Key(kEnum + R"(PCI\VEN_5333\2)").Value("BaseDevicePath", "PCI\\X").Value("Class", "Display").Value("DeviceDesc", "Silent")
                         // Status 0 is present through a base device path outside the root tree.
                         + RegText().Key(kEnum + R"(Root\*PNP0F13\1)").Dword("StatusFlags", 0).Value("BaseDevicePath", "PCI\\VEN_1")
                               .Value("Class", "Mouse").Value("DeviceDesc", "PS/2 Compatible Mouse")
                         + RegText().Key(kEnum + R"(Root\*PNP0F13\2)").Dword("StatusFlags", 0).Value("BaseDevicePath", "HTREE\\ROOT\\0")
                               .Value("Class", "Mouse").Value("DeviceDesc", "Root mouse")
                         // The class from the class key of the GUID, and a GUID whose key has no class.
                         + RegText().Key(kEnum + R"(IDE\Disk\1)").Dword("StatusFlags", 8).Value("ClassGUID", disk).Value("DeviceDesc", "QM Disk 40G")
                         + RegText().Key(kEnum + R"(IDE\Disk\2)").Dword("StatusFlags", 8).Value("ClassGUID", orphan).Value("DeviceDesc", "Orphan")
                         + RegText().Key(kClass + disk).Value("Class", "DiskDrive")
                         + RegText().Key(kClass + orphan).Value("", "no class value")
                         // A class without descriptions; the classes left out.
                         + RegText().Key(kEnum + R"(Root\Keyboard\1)").Dword("StatusFlags", 8).Value("Class", "Keyboard")
                         + RegText().Key(kEnum + R"(Root\LEGACY_BEEP\0000)").Dword("StatusFlags", 8).Value("Class", "LegacyDriver").Value("DeviceDesc", "Beep")
                         + RegText().Key(kEnum + R"(Root\Unknown\1)").Dword("StatusFlags", 8).Value("Class", "unknown").Value("DeviceDesc", "?")
                         + RegText().Key(kEnum + R"(Root\ACPI_HAL\0000)").Dword("StatusFlags", 8).Value("Class", "System").Value("DeviceDesc", "HAL")
                         // Texts that differ only in letter case keep their walk order; below a
                         // present device the walk goes on.
                         + RegText().Key(kEnum + R"(HDAUDIO\1)").Dword("StatusFlags", 8).Value("Class", "Media").Value("DeviceDesc", "sound card")
                         + RegText().Key(kEnum + R"(HDAUDIO\1\Child)").Dword("StatusFlags", 8).Value("Class", "MEDIA").Value("DeviceDesc", "Sound Card")
                         // A description ends at its first zero byte.
                         + RegText().Key(kEnum + R"(Root\Modem\1)").Dword("StatusFlags", 8).Value("Class", "Modem")
                               .Typed("DeviceDesc", 1, RegText::Bytes("4d,6f,64,65,6d,00,6a,75,6e,6b,00")))
                            .Text());
    StartAgentWithLog();
    EXPECT_EQ(CollectRecords(GetArboSystem),
              Tree({"DISKDRIVE;QM Disk 40G", "KEYBOARD;", "MEDIA;sound card", "MEDIA;Sound Card", "MODEM;Modem",
                    "MOUSE;PS/2 Compatible Mouse", "NET;Fast Ethernet #2", "PORTS;Communications Port (COM1)"}));
    std::vector<std::string> said = Said(m);
    ASSERT_FALSE(said.empty());
    EXPECT_EQ(said.front(), "Enter ArboSystemNT");
    EXPECT_EQ(said[1], "Enter ParcoursDevices :SYSTEM\\CURRENTCONTROLSET\\ENUM");
    EXPECT_EQ(said.back(), "Quit ArboSystemNT");
    EXPECT_TRUE(Says(m, "One peripheral was found : NET : Fast Ethernet #2"));
    EXPECT_TRUE(Says(m, "One peripheral was found :  : "));  // a key that is no device
    // A device of a class left out still names what was read of it.
    EXPECT_TRUE(Says(m, "One peripheral was found : LEGACYDRIVER : Beep"));
    EXPECT_TRUE(Says(m, "One peripheral was found : SYSTEM : HAL"));
    // One whose class key has no class is skipped before its description is read.
    EXPECT_FALSE(Says(m, "One peripheral was found :  : Orphan"));
    EXPECT_TRUE(Says(m, "Begin Analyse GUID :" + disk));
    EXPECT_TRUE(Says(m, "End Analyse GUID :" + disk + " , DiskDrive"));
    EXPECT_TRUE(Says(m, "End Analyse GUID :" + orphan + " , "));
    EXPECT_TRUE(Says(m, R"(Quit ParcoursDevices :SYSTEM\CURRENTCONTROLSET\ENUM\HDAUDIO\1\Child)"));
    // Windows 2000 and XP have no device maps to read.
    EXPECT_FALSE(Says(m, "ArboSystemNT : SCSI"));
}

TEST(DeviceTreeNt, TextsEqualButForCaseKeepTheirWalkOrderHoweverMany) {
    // More than a sort's small-list threshold, met in the order of their keys.
    const std::vector<std::string> spellings = LetterCases("sound", 20);
    RegText tree;
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < spellings.size(); ++i) {
        const std::string key = std::to_string(100 + i);  // the same width, so that names and numbers agree
        tree.Key(kEnum + R"(Root\Media\)" + key).Dword("StatusFlags", 8).Value("Class", "Media").Value("DeviceDesc", spellings[i]);
        texts.push_back("MEDIA;" + spellings[i]);
    }
    TestMachine m("{}", tree.Text());
    StartAgent();
    EXPECT_EQ(CollectRecords(GetArboSystem), Tree(texts));
}

TEST(DeviceTreeNt, OneUnreadableEntryCostsOnlyItself) {
    TestMachine m("{}", (RegText()
                             .Key(kEnum + R"(PCI\A)").Value("StatusFlags", "8").Value("Class", "Net").Value("DeviceDesc", "Odd status")
                         + RegText().Key(kEnum + R"(PCI\A\1)").Dword("StatusFlags", 8).Value("Class", "Net").Value("DeviceDesc", "Below")
                         + RegText().Key(kEnum + R"(PCI\B)").Dword("StatusFlags", 8).Value("Class", "Net").Dword("FriendlyName", 3)
                         + RegText().Key(kEnum + R"(PCI\C)").Dword("StatusFlags", 8).Value("Class", "Net").Value("DeviceDesc", "Beside"))
                            .Text());
    StartAgentWithLog();
    EXPECT_EQ(CollectRecords(GetArboSystem), Tree({"NET;Below", "NET;Beside"}));
    EXPECT_TRUE(Says(m, "Invalid data type for 'STATUSFLAGS'"));
    EXPECT_TRUE(Says(m, "Invalid data type for 'FRIENDLYNAME'"));
}

TEST(DeviceTreeNt, AFailureThatPassesThroughEndsTheWalkWithItsQuitLines) {
    const std::string guid = "{4D36E96B-E325-11CE-BFC1-08002BE10318}";
    const RegText tree = RegText().Key(kEnum + R"(ACPI\1)").Dword("StatusFlags", 8).Value("Class", "Ports").Value("DeviceDesc", "COM1")
                         + RegText().Key(kEnum + R"(Root\Kbd\1)").Dword("StatusFlags", 8).Value("ClassGUID", guid)
                         + RegText().Key(kEnum + R"(Root\Later)").Dword("StatusFlags", 8).Value("Class", "Net").Value("DeviceDesc", "Later")
                         + RegText().Key(kClass + guid).Value("Class", "Keyboard");
    {
        // A device key that cannot be opened: the walk ends, and no record is written.
        TestMachine m(R"({"faults": [{"op": "RegOpenKeyEx", "raise": true,
                          "path": "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\Root\\Kbd\\1"}]})",
                      tree.Text());
        StartAgentWithLog();
        EXPECT_EQ(CollectRecords(GetArboSystem), Records{});
        std::vector<std::string> said = Said(m);
        const std::vector<std::string> tail = {R"(Enter ParcoursDevices :SYSTEM\CURRENTCONTROLSET\ENUM\Root\Kbd\1)",
                                               R"(Quit ParcoursDevices :SYSTEM\CURRENTCONTROLSET\ENUM\Root\Kbd\1)",
                                               R"(Quit ParcoursDevices :SYSTEM\CURRENTCONTROLSET\ENUM\Root\Kbd)",
                                               R"(Quit ParcoursDevices :SYSTEM\CURRENTCONTROLSET\ENUM\Root)",
                                               R"(Quit ParcoursDevices :SYSTEM\CURRENTCONTROLSET\ENUM)",
                                               "Quit ArboSystemNT"};
        ASSERT_GE(said.size(), tail.size());
        EXPECT_EQ(std::vector<std::string>(said.end() - static_cast<long>(tail.size()), said.end()), tail);
    }
    {
        // A class key that cannot be opened costs its device only, after its closing line.
        TestMachine m(R"({"faults": [{"op": "RegOpenKeyEx", "raise": true,
                          "path": "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E96B-E325-11CE-BFC1-08002BE10318}"}]})",
                      tree.Text());
        StartAgentWithLog();
        EXPECT_EQ(CollectRecords(GetArboSystem), Tree({"NET;Later", "PORTS;COM1"}));
        std::vector<std::string> said = Said(m);
        auto end = std::find(said.begin(), said.end(), "End Analyse GUID :" + guid + " , ");
        ASSERT_NE(end, said.end());
        ASSERT_LT(end + 2, said.end());
        EXPECT_NE(end[1].find("failed on purpose"), std::string::npos) << end[1];
        EXPECT_EQ(end[2], "One peripheral was found :  : ");
    }
}

TEST(DeviceTreeNt, Nt4AddsItsDeviceMapsAndVersion5DoesNot) {
    const RegText maps =
        RegText()
            .Key(kMap + R"(Scsi\Scsi Port 0\Scsi Bus 0\Target Id 0\Logical Unit Id 0)").Value("Type", "DiskPeripheral").Value("Identifier", "QM DISK 4.3G")
            .Key(kMap + R"(Scsi\Scsi Port 0\Scsi Bus 0\Target Id 1\Logical Unit Id 0)").Value("Type", "DiskPeripheral")  // no identifier
            .Key(kMap + R"(Scsi\Scsi Port 1\Scsi Bus 0\Target Id 0\Logical Unit Id 0)").Value("Type", "CdRomPeripheral").Value("Identifier", "QM CD-ROM 32X")
            .Key(kMap + R"(Scsi\Scsi Port 1\Scsi Bus 0\Target Id 4\Logical Unit Id 0)").Value("Type", "TapePeripheral").Value("Identifier", "QM DAT")
            .Key(kMap + "PARALLEL PORTS").Value(R"(\Device\ParallelPort0)", R"(\DosDevices\LPT1)")
            .Key(kMap + "SERIALCOMM").Value(R"(\Device\Serial0)", "COM1").Value(R"(\Device\Serial1)", "COM2")
            .Key(kMap + R"(SERIALCOMM\Below)").Value(R"(\Device\Serial9)", "COM9")  // a port map is not descended
            .Key(R"(HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\NetworkCards\1)").Value("Description", "QM NE2000")
            .Key(R"(HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\NetworkCards\3)").Value("ServiceName", "NoDesc")
            .Key(R"(HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\NetworkCards\11)").Value("Description", "Past ten");
    {
        TestMachine m(kNt4, maps.Text());
        StartAgentWithLog();
        EXPECT_EQ(CollectRecords(GetArboSystem),
                  Tree({"CDROM;QM CD-ROM 32X", "DISKDRIVE;QM DISK 4.3G", "NET;", "NET;QM NE2000", "PORTS;\\DosDevices\\LPT1",
                        "PORTS;COM1", "PORTS;COM2"}));
        std::vector<std::string> said = Said(m);
        std::vector<std::string> steps;
        for (const std::string& s : said)
            if (s.rfind("ArboSystemNT : ", 0) == 0) steps.push_back(s);
        EXPECT_EQ(steps, (std::vector<std::string>{"ArboSystemNT : SCSI", "ArboSystemNT : PORTS", "ArboSystemNT : SERIALCOMM",
                                                   "ArboSystemNT : NETWORKCARD"}));
    }
    {
        TestMachine m("{}", maps.Text());
        StartAgentWithLog();
        EXPECT_EQ(CollectRecords(GetArboSystem), Records{});
    }
}

TEST(DeviceTree9x, HardwareKeysWithTheirProblemCodes) {
    TestMachine m(kNine, (RegText()
                              .Key(kNodes + "C29A3F40").Value("HardwareKey", R"(PCI\VEN_1274&DEV_1371\BUS_00&DEV_0B)").Binary("Problem", {22, 0, 0, 0})
                              .Key(kNodes + "C29A3F41").Value("HardwareKey", R"(PCI\VEN_8086&DEV_7110\BUS_00)").Binary("Problem", {1, 1})
                              .Key(kNodes + "C29A3F42").Value("HardwareKey", R"(ROOT\PRINTER\0000)").Binary("Problem", {0, 0, 0, 0})
                              .Key(kNodes + "C29A3F43").Value("HardwareKey", R"(ROOT\ODD\0000)").Binary("Problem", {0, 0, 0, 0, 1})
                              .Key(kNodes + R"(C29A3F43\C29A3F44)").Value("HardwareKey", R"(ROOT\BELOW\0000)").Binary("Problem", {0, 0, 0, 0})
                              .Key(kNodes + "C29A3F45").Value("HardwareKey", R"(ROOT\NOPROBLEM\0000)")  // no problem value: not listed
                              .Key(kNodes + "C29A3F46").Value("HardwareKey", R"(ROOT\TEXT\0000)").Value("Problem", "0")
                              .Key(kNodes + "C29A3F47").Value("HardwareKey", R"(ROOT\SYSTEM\0000)").Binary("Problem", {0, 0, 0, 0})
                              .Key(kNodes + "C29A3F48").Value("HardwareKey", R"(ROOT\NODESC\0000)").Binary("Problem", {0, 0, 0, 0})
                          + RegText().Key(R"(HKEY_LOCAL_MACHINE\Enum\PCI\VEN_1274&DEV_1371\BUS_00&DEV_0B)").Value("Class", "Media").Value("DeviceDesc", "Audio, PCI")
                          + RegText().Key(R"(HKEY_LOCAL_MACHINE\Enum\PCI\VEN_8086&DEV_7110\BUS_00)").Value("Class", "hdc").Value("DeviceDesc", "IDE Controller")
                          + RegText().Key(R"(HKEY_LOCAL_MACHINE\Enum\ROOT\PRINTER\0000)").Value("Class", "Printer").Value("DeviceDesc", "LaserPrint 4100")
                          + RegText().Key(R"(HKEY_LOCAL_MACHINE\Enum\ROOT\ODD\0000)").Value("Class", "Odd").Value("DeviceDesc", "Never listed")
                          + RegText().Key(R"(HKEY_LOCAL_MACHINE\Enum\ROOT\BELOW\0000)").Value("Class", "Below").Value("DeviceDesc", "Found")
                          + RegText().Key(R"(HKEY_LOCAL_MACHINE\Enum\ROOT\NOPROBLEM\0000)").Value("Class", "Net").Value("DeviceDesc", "Unlisted")
                          + RegText().Key(R"(HKEY_LOCAL_MACHINE\Enum\ROOT\TEXT\0000)").Value("Class", "Net").Value("DeviceDesc", "Unlisted")
                          + RegText().Key(R"(HKEY_LOCAL_MACHINE\Enum\ROOT\SYSTEM\0000)").Value("Class", "system").Value("DeviceDesc", "System board")
                          + RegText().Key(R"(HKEY_LOCAL_MACHINE\Enum\ROOT\NODESC\0000)").Value("Class", "Ports"))
                             .Text());
    StartAgentWithLog();
    EXPECT_EQ(CollectRecords(GetArboSystem),
              Tree({"BELOW;Found", "HDC;IDE Controller###257", "MEDIA;Audio  PCI###22", "PRINTER;LaserPrint 4100"}));
    std::vector<std::string> said = Said(m);
    ASSERT_GE(said.size(), 3u);
    EXPECT_EQ(said[0], "Enter getArboSystem9x");
    EXPECT_EQ(said[1], "Enter getHardwareKey : CONFIG MANAGER\\ENUM");
    EXPECT_EQ(said.back(), "Quit getArboSystem9x");
    EXPECT_TRUE(Says(m, "Quit getHardwareKey : CONFIG MANAGER\\ENUM\\C29A3F43\\C29A3F44"));
    EXPECT_TRUE(Says(m, R"(Enter getHardwareDevice : ENUM\PCI\VEN_1274&DEV_1371\BUS_00&DEV_0B)"));
    EXPECT_TRUE(Says(m, R"(Quit getHardwareDevice : ENUM\ROOT\NODESC\0000)"));
    EXPECT_TRUE(Says(m, "The data of 'PROBLEM' (5 bytes) does not fit a buffer of 4 bytes"));
    EXPECT_TRUE(Says(m, "Invalid data type for 'PROBLEM'"));
}

TEST(DeviceTree, NoDeviceGivesNoRecordOnEitherFamilyAndOtherPlatformsNothingAtAll) {
    for (const char* json : {"{}", kNine, kNt4}) {
        TestMachine m(json);
        StartAgentWithLog();
        EXPECT_EQ(CollectRecords(GetArboSystem), Records{}) << json;
        EXPECT_FALSE(Said(m).empty()) << json;
    }
    TestMachine m(R"({"version": {"platform_id": 0, "major": 3, "minor": 11}})",
                  RegText().Key(kEnum + R"(ACPI\1)").Dword("StatusFlags", 8).Value("Class", "Ports").Value("DeviceDesc", "COM1").Text());
    StartAgentWithLog();
    EXPECT_EQ(CollectRecords(GetArboSystem), Records{});
    EXPECT_TRUE(Said(m).empty());  // not even an "Enter" line
}

TEST(DeviceTree, AWalkStopsAtTheDepthTheRegistryAllows) {
    // Devices at level 100 and far below the 512 levels a registry tree may have.
    std::string shallow = kEnum + "Root", deep;
    for (int level = 4; level < 100; ++level) shallow += "\\n";
    deep = shallow;
    for (int level = 100; level < 2000; ++level) deep += "\\n";
    const RegText tree = RegText().Key(shallow).Dword("StatusFlags", 8).Value("Class", "Display").Value("DeviceDesc", "Shallow")
                         + RegText().Key(deep).Dword("StatusFlags", 8).Value("Class", "Display").Value("DeviceDesc", "Too deep");
    TestMachine m("{}", tree.Text());
    StartAgent();
    EXPECT_EQ(CollectRecords(GetArboSystem), Tree({"DISPLAY;Shallow"}));
    EXPECT_EQ(CollectRecords(VideoInfo), Records{"\"Video\",\"Video adapter\",\"Shallow\""});
}
