#include <gtest/gtest.h>

#include "collectors/bios_memory_disks.h"
#include "platform/text.h"
#include "support/agent_state.h"
#include "support/reg_text.h"
#include "support/test_machine.h"

using namespace qm::collectors;
using qm::test::CollectRecords;
using qm::test::RegText;
using qm::test::StartAgent;
using qm::test::TestMachine;

namespace {

const char* const kNine8 = R"({"version": {"platform_id": 1, "major": 4, "minor": 10, "build": 67766446, "service_pack": " A "}})";

}  // namespace

TEST(BiosInfo, ReadsTheKeyOfItsWindowsFamily) {
    TestMachine nt("{}",
                   RegText()
                       .Key("HKEY_LOCAL_MACHINE\\HARDWARE\\DESCRIPTION\\System")
                       .Value("SystemBiosDate", "03/14/05")
                       .Value("Identifier", "AT/AT COMPATIBLE")
                       .MultiString("SystemBiosVersion", {"A,1", "B"})
                       .Text());
    StartAgent();
    EXPECT_EQ(CollectRecords(BiosInfo), (std::vector<std::string>{"\"Bios\",\"Date\",\"03/14/05\"",
                                                                 "\"Bios\",\"Name\",\"AT/AT COMPATIBLE\"",
                                                                 "\"Bios\",\"Version\",\"A 1B\""}));
    TestMachine nine8(kNine8,
                      RegText().Key("HKEY_LOCAL_MACHINE\\Enum\\Root\\*PNP0C01\\0000").Value("BIOSDate", "08/21/98").Text());
    StartAgent();
    EXPECT_EQ(CollectRecords(BiosInfo), (std::vector<std::string>{"\"Bios\",\"Date\",\"08/21/98\"", "\"Bios\",\"Name\",\"\"",
                                                                 "\"Bios\",\"Version\",\"\""}));
    TestMachine none;
    StartAgent();
    EXPECT_TRUE(CollectRecords(BiosInfo).empty());
}

TEST(MemoryInfo, RoundsTheInstalledMegabytes) {
    struct Case {
        std::uint64_t bytes;
        const char* json;  // the version and memory calls of the machine
        const char* extended;
        const char* total;
    };
    const Case cases[] = {
        {267701043ull, "", "260786", "256"},           // 255.3 MB
        {268435456ull, "", "261504", "256"},           // 256.0 MB
        {268697600ull, "", "261760", "257"},           // 256.25 MB
        {4294967296ull, "", "4193664", "4096"},        // 4 GiB through the extended call
        {4294967296ull, R"(, "version": {"major": 4, "minor": 0})", "4193663", "4096"},  // NT 4: the plain call clips
        {536870912ull, R"(, "memory_ext": false)", "523648", "512"},
        {536870912ull, R"(, "version": {"platform_id": 1, "major": 4, "minor": 10})", "523648", "512"},
        {536870912ull, R"(, "version": {"platform_id": 0})", "0", "1"},  // neither way: 640 KB stay
    };
    for (const Case& c : cases) {
        std::string json = std::string(R"({"memory": {"total_bytes": )") + std::to_string(c.bytes);
        std::string extra = c.json;
        bool noExtended = extra.find("memory_ext") != std::string::npos;
        json += noExtended ? R"(, "extended_call": false}})" : "}" + extra + "}";
        SCOPED_TRACE(json);
        TestMachine m(json);
        StartAgent();
        EXPECT_EQ(CollectRecords(MemoryInfo), (std::vector<std::string>{"\"Memory\",\"DOS memory\",\"640\"",
                                                                       std::string("\"Memory\",\"Extended\",\"") + c.extended + "\"",
                                                                       std::string("\"Memory\",\"Total\",\"") + c.total + "\""}));
    }
}

TEST(DiskInfo, DescribesEachDriveAndSkipsRemovables) {
    TestMachine m(R"({
      "locale": {"decimal": ",", "thousand": "."},
      "drives": [
        {"letter": "A", "type": "removable", "folder": "drive_a"},
        {"letter": "C", "type": "fixed", "folder": "drive_c", "label": "SYSTEM", "file_system": "NTFS",
         "serial": "0012-0034", "total_bytes": 1048576, "free_bytes": 524288},
        {"letter": "D", "type": "cdrom", "media": false},
        {"letter": "E", "type": "cdrom", "folder": "cd_e", "label": "DISC", "file_system": "CDFS", "serial": "1A2B-3C4D",
         "total_bytes": 681574400, "free_bytes": 0},
        {"letter": "F", "type": "removable", "folder": "drive_f", "total_bytes": 1000000},
        {"letter": "N", "type": "remote", "folder": "net_n", "unc": "\\\\FILESRV\\Apps", "label": "APPS",
         "serial": "5E6F-7A8B", "total_bytes": 10737418240, "free_to_caller": 1073741824}],
      "physical_disks": [{"cylinders": 4865, "tracks_per_cylinder": 255, "sectors_per_track": 63, "bytes_per_sector": 512},
                         {"answers": false}]})");
    m.WriteFile("E:\\setup.exe", "MZ");
    m.WriteFile("N:\\Apps\\tool.exe", "MZ");  // an entry bearing the share's own name
    StartAgent();
    EXPECT_EQ(CollectRecords(DiskInfo),
              (std::vector<std::string>{
                  "\"Disk sizes\",\"Drive c\",\"1.00\",\"0.50\",\"C:\\\",\"SYSTEM\",\"NTFS\",\"Fixed drive\",\"12-34\"",
                  "\"CDROM\",\"Drive d\",\"\"",
                  "\"Disk sizes\",\"Drive e\",\"650.00\",\"0.00\",\"E:\\\",\"DISC\",\"CDFS\",\"CDROM drive\",\"1A2B-3C4D\"",
                  "\"CDROM\",\"Drive e\",\"\"",
                  "\"Disk sizes\",\"Drive n\",\"10240.00\",\"1024.00\",\"\\\\FILESRV\\Apps\\\",\"APPS\",\"NTFS\",\"Network drive\",\"5E6F-7A8B\"",
                  "\"Disks\",\"Disk drive 1\",\"4865\",\"255\",\"63\",\"38159\"",
                  "\"Disks\",\"Disk drive 2\",\"\""}));
}

TEST(DiskInfo, TheNetworkRootIsTheExpandedPathWithoutTheEntryElseItsDrive) {
    struct Case {
        const char* expanded;
        const char* entry;
        const char* root;
    };
    const Case cases[] = {
        {"C:\\boot.ini", "boot.ini", "C:\\"},
        {"c:\\BOOT.INI", "boot.ini", "c:\\"},
        {"\\\\FILESRV\\Apps\\Apps", "Apps", "\\\\FILESRV\\Apps\\"},  // the share bears the entry's name
        {"C:\\name", "name. ", "C:"},  // trailing dot and blank dropped
        {"\\\\SRV\\Share\\other", "entry", "\\\\SRV\\Share"},
        {"boot.ini", "boot.ini", ""},  // nothing before it, and no drive
    };
    for (const Case& c : cases) EXPECT_EQ(NetworkRootOf(c.expanded, c.entry), c.root) << c.expanded << " " << c.entry;
}

TEST(DiskInfo, SizesQueriesThatFailOrRaiseAndThe9xFamily) {
    TestMachine m(R"({"version": {"platform_id": 1, "major": 4, "minor": 10},
      "drives": [{"letter": "C", "type": "fixed", "folder": "drive_c", "total_bytes": 2097152, "free_bytes": 0},
                 {"letter": "G", "type": "fixed", "folder": "drive_g", "total_bytes": 2097152}],
      "physical_disks": [{"cylinders": 10}],
      "faults": [{"op": "GetDiskFreeSpaceEx", "path": "G:\\", "raise": true},
                 {"op": "GetVolumeInformation", "path": "c:\\"}]})");
    m.MakeFolder("C:\\x");
    // No physical disks on the 9x family; a size query that raises skips the drive; an
    // unreadable volume leaves its fields empty.
    StartAgent();
    EXPECT_EQ(CollectRecords(DiskInfo),
              (std::vector<std::string>{"\"Disk sizes\",\"Drive c\",\"2.00\",\"0.00\",\"C:\\\",\"\",\"\",\"Fixed drive\",\"\""}));
}

TEST(DiskInfo, EachDriveIsAskedItsTypeAndVolumeOnce) {
    // A second question about the drive would be refused.
    TestMachine m(R"({"drives": [{"letter": "C", "type": "fixed", "folder": "drive_c", "label": "SYSTEM", "file_system": "NTFS",
                                  "serial": "1A2B-3C4D", "total_bytes": 1048576, "free_bytes": 0}],
                      "faults": [{"op": "GetVolumeInformation", "path": "c:\\", "after": 1},
                                 {"op": "GetDriveType", "path": "C:\\", "after": 1}]})");
    m.MakeFolder("C:\\x");
    StartAgent();
    EXPECT_EQ(CollectRecords(DiskInfo).front(),
              "\"Disk sizes\",\"Drive c\",\"1.00\",\"0.00\",\"C:\\\",\"SYSTEM\",\"NTFS\",\"Fixed drive\",\"1A2B-3C4D\"");
}

TEST(DiskInfo, AHugeDiskIsSizedIn64Bits) {
    // About 60 TB: the 32-bit products of the size wrapped far below 4 TB.
    TestMachine m(R"({"physical_disks": [{"cylinders": 1000000, "tracks_per_cylinder": 255, "sectors_per_track": 63,
                                          "bytes_per_sector": 4096}]})");
    StartAgent();
    std::vector<std::string> records = CollectRecords(DiskInfo);
    EXPECT_EQ(records.back(), "\"Disks\",\"Disk drive 1\",\"1000000\",\"255\",\"63\",\"62753906\"");
}
