#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "platform/platform.h"
#include "platform/time.h"
#include "support/reg_text.h"
#include "support/test_machine.h"

using namespace qm::platform;
using qm::sim::MachineError;
using qm::sim::SimMachine;
using qm::test::TempFolder;
using qm::test::TestMachine;

namespace {

std::string ErrorOf(const std::string& json) {
    TempFolder folder;
    try {
        SimMachine::FromJson(json, folder.Path());
    } catch (const MachineError& e) {
        return e.what();
    }
    return "no error";
}

}  // namespace

TEST(MachineFile, BrokenFilesNameTheFileAndThePlace) {
    EXPECT_NE(ErrorOf("{\n  \"computer_name\": \"A\",\n  oops\n}").find("machine.json: [json.exception.parse_error.101] parse error at line 3"),
              std::string::npos);
    EXPECT_EQ(ErrorOf(R"({"drives": [{"letter": "C", "folder": "c"}, {"letter": "CD", "folder": "d"}]})"),
              "machine.json: /drives/1/letter: expected a drive letter from A to Z");
    EXPECT_EQ(ErrorOf(R"({"drives": [{"letter": "C", "type": "floppy", "folder": "c"}]})"),
              "machine.json: /drives/0/type: unknown drive type \"floppy\" (removable, fixed, remote, cdrom, ramdisk, unknown, no_root)");
    EXPECT_EQ(ErrorOf(R"({"version": {"major": "five"}})"), "machine.json: /version/major: expected a whole number");
    EXPECT_EQ(ErrorOf(R"({"clock": {"virtual": true, "start": "yesterday"}})"),
              "machine.json: /clock/start: expected a time such as \"2026-12-09T07:03:05.042\", or \"now\"");
    EXPECT_EQ(ErrorOf(R"({"compuer_name": "typo"})"), "machine.json: /compuer_name: unknown entry");
    EXPECT_EQ(ErrorOf(R"({"locale": {"code_page": 932}})"),
              "machine.json: /locale/code_page: ANSI code page 932 is not a single-byte code page");
    EXPECT_EQ(ErrorOf(R"({"drives": [{"letter": "C", "folder": "c"}], "attributes": {"C:\\none.txt": "R"}})"),
              "attributes: C:\\none.txt does not exist");
    EXPECT_EQ(ErrorOf(R"({"guids": ["not a guid"]})"), "guids: \"not a guid\" is not a GUID");
    EXPECT_EQ(ErrorOf("[1, 2]"), "machine.json: /: expected an object");
}

TEST(MachineFile, SampleMachinesLoad) {
    for (const char* name : {"xp-workstation", "win98-desktop"}) {
        SCOPED_TRACE(name);
        qm::test::SampleMachine sample(name);
        SimMachine* machine = &sample.Machine();
        OsVersionInfo v;
        ASSERT_TRUE(machine->System().GetVersionEx(v));
        EXPECT_EQ(v.dwPlatformId, std::string(name) == "xp-workstation" ? VER_PLATFORM_WIN32_NT : VER_PLATFORM_WIN32_WINDOWS);
        std::string temp;
        ASSERT_GT(machine->System().GetTempPath(temp), 0u);
        EXPECT_NE(machine->Files().GetFileAttributes(temp), INVALID_FILE_ATTRIBUTES) << temp;
        // The registry of its family: where the BIOS is described, and the version key.
        bool nt = v.dwPlatformId == VER_PLATFORM_WIN32_NT;
        HKEY k = 0;
        ASSERT_EQ(machine->Registry().RegOpenKeyEx(HKEY_LOCAL_MACHINE, nt ? "HARDWARE\\DESCRIPTION\\System" : "Enum\\Root\\*PNP0C01\\0000",
                                              KEY_READ, k),
                  ERROR_SUCCESS);
        DWORD type = 0, size = 0;
        EXPECT_EQ(machine->Registry().RegQueryValueEx(k, nt ? "SystemBiosVersion" : "BIOSVersion", &type, nullptr, &size),
                  ERROR_SUCCESS);
        EXPECT_EQ(type, nt ? REG_MULTI_SZ : REG_SZ);
        machine->Registry().RegCloseKey(k);
        EXPECT_EQ(machine->Registry().RegOpenKeyEx(HKEY_LOCAL_MACHINE,
                                              nt ? "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Time Zones"
                                                 : "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Time Zones",
                                              KEY_READ, k),
                  ERROR_SUCCESS);
        machine->Registry().RegCloseKey(k);
    }
}

TEST(SimDrives, ReportDrivesVolumesAndMappedShares) {
    TestMachine m(R"({"drives": [
        {"letter": "C", "type": "fixed", "folder": "drive_c", "label": "SYSTEM", "file_system": "NTFS",
         "serial": "1C2D-3E4F", "total_bytes": 40000000000, "free_bytes": 12000000000, "free_to_caller": 1000},
        {"letter": "D", "type": "cdrom", "media": false},
        {"letter": "N", "type": "remote", "folder": "net_n", "unc": "\\\\FILESRV\\public"}]})");
    EXPECT_EQ(Drives().GetLogicalDrives(), (1u << 2) | (1u << 3) | (1u << 13));  // C, D, N; not the host drive
    EXPECT_EQ(Drives().GetDriveType("C:\\"), DRIVE_FIXED);
    EXPECT_EQ(Drives().GetDriveType("d:\\"), DRIVE_CDROM);
    EXPECT_EQ(Drives().GetDriveType("N:"), DRIVE_REMOTE);
    EXPECT_EQ(Drives().GetDriveType("Q:\\"), DRIVE_NO_ROOT_DIR);
    EXPECT_EQ(Drives().GetDriveType("Z:\\"), DRIVE_NO_ROOT_DIR);  // the host drive reaches files only
    EXPECT_NE(Files().GetFileAttributes("Z:\\"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(Drives().GetDriveType("C:\\WINDOWS\\"), DRIVE_NO_ROOT_DIR);

    std::uint64_t caller = 0, total = 0, free = 0;
    ASSERT_TRUE(Drives().GetDiskFreeSpaceEx("C:\\", caller, total, free));
    EXPECT_EQ(total, 40000000000u);
    EXPECT_EQ(free, 12000000000u);
    EXPECT_EQ(caller, 1000u);
    EXPECT_FALSE(Drives().GetDiskFreeSpaceEx("D:\\", caller, total, free));
    EXPECT_EQ(GetLastError(), ERROR_NOT_READY);

    VolumeInformation vi;
    ASSERT_TRUE(Drives().GetVolumeInformation("C:\\", vi));
    EXPECT_EQ(vi.volumeName, "SYSTEM");
    EXPECT_EQ(vi.fileSystemName, "NTFS");
    EXPECT_EQ(vi.serialNumber, 0x1C2D3E4Fu);
    EXPECT_FALSE(Drives().GetVolumeInformation("D:\\", vi));
    EXPECT_EQ(GetLastError(), ERROR_NOT_READY);
    EXPECT_EQ(Files().GetFileAttributes("D:\\setup.exe"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), ERROR_NOT_READY);

    std::string remote;
    EXPECT_EQ(Drives().WNetGetConnection("N:", remote), ERROR_SUCCESS);
    EXPECT_EQ(remote, "\\\\FILESRV\\public");
    EXPECT_EQ(Drives().WNetGetConnection("C:", remote), ERROR_NOT_CONNECTED);
    m.WriteFile("N:\\Apps\\tool.exe", "MZ");
    EXPECT_EQ(ExpandUncFileName("n:\\Apps\\tool.exe"), "\\\\FILESRV\\public\\Apps\\tool.exe");
    EXPECT_EQ(ExpandUncFileName("C:\\WINDOWS\\x"), "C:\\WINDOWS\\x");
    EXPECT_TRUE(FileExists(Files(), "\\\\filesrv\\PUBLIC\\apps\\TOOL.EXE"));  // the share reaches the same files
    EXPECT_EQ(Drives().GetDriveType("\\\\FILESRV\\public\\"), DRIVE_REMOTE);
}

TEST(SimDrives, QueriesFailOrRaiseOnPurpose) {
    TestMachine m(R"({"faults": [{"op": "GetVolumeInformation", "path": "C:\\", "error": 21},
                                 {"op": "GetDiskFreeSpaceEx", "path": "C:\\", "raise": true}]})");
    VolumeInformation vi;
    EXPECT_FALSE(Drives().GetVolumeInformation("C:\\", vi));
    EXPECT_EQ(GetLastError(), ERROR_NOT_READY);
    std::uint64_t a, b, c;
    EXPECT_THROW(Drives().GetDiskFreeSpaceEx("C:\\", a, b, c), PlatformFault);
}

TEST(SimFaults, NameTheirTargetAsAPathOrAsTheOperationsOwnName) {
    // Each fault fails its operation with error 50; a file path may be relative to the current folder.
    const auto createFile = [](const char* path) {
        return [path] { return Files().CreateFile(path, GENERIC_WRITE, CreationDisposition::CreateAlways) == nullptr; };
    };
    struct Case {
        const char* op;
        const char* path;
        std::function<bool()> fails;
        bool struck;
    };
    const Case cases[] = {
        {"CreateFile", "system32\\x.txt", createFile("C:\\WINDOWS\\SYSTEM32\\x.txt"), true},
        {"CreateFile", "TEMP\\x.txt", createFile("C:\\TEMP\\x.txt"), false},
        {"CreateFile", "..\\temp\\X.TXT", createFile("C:\\TEMP\\x.txt"), true},
        {"CreateFile", "c:/temp", createFile("C:\\TEMP\\x.txt"), true},
        {"CreateFile", "C:\\TEMP\\x.txt", createFile("C:\\TEMP\\y.txt"), false},
        {"CreateFile", "\\\\.\\SMARTVSD",
         [] { return Devices().CreateFile("\\\\.\\smartvsd", 0, 0, CreationDisposition::OpenExisting) == nullptr; }, true},
        {"CoCreateInstance", "ShellLink", [] { return ShellLinks().CreateShellLink() == nullptr; }, true},
        {"RegOpenKeyEx", "hkey_classes_root\\.txt\\",
         [] {
             HKEY k = 0;
             return Registry().RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\.txt\\shell", KEY_READ, k) != ERROR_SUCCESS;
         },
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.op) + " " + c.path);
        TestMachine m(R"({"current_directory": "C:\\WINDOWS",
                          "devices": [{"name": "\\\\.\\SMARTVSD", "controls": []}]})",
                      qm::test::RegText().Key("HKEY_CLASSES_ROOT\\.txt\\shell").Text());
        m.Machine().AddFault({c.op, c.path, ERROR_NOT_SUPPORTED, false, -1});
        SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(c.fails(), c.struck);
        EXPECT_EQ(GetLastError() == ERROR_NOT_SUPPORTED, c.struck);
    }
    // A CPUID leaf is a name of its own, and its fault raises.
    TestMachine m;
    m.Machine().AddFault({"CPUID", "leaf2", ERROR_NOT_SUPPORTED, false, -1});
    EXPECT_NO_THROW(Processor().Cpuid(1));
    EXPECT_THROW(Processor().Cpuid(2), PlatformFault);
}

TEST(SimSystem, NamesFoldersAndVersion) {
    TestMachine m(R"({"faults": [{"op": "GetWindowsDirectory"}]})");
    std::string path;
    EXPECT_EQ(System().GetWindowsDirectory(path), 0u);
    EXPECT_EQ(path, "");
    ASSERT_GT(System().GetSystemDirectory(path), 0u);
    EXPECT_EQ(path, "C:\\WINDOWS\\system32");
    ASSERT_GT(System().GetTempPath(path), 0u);
    EXPECT_EQ(path, "C:\\TEMP\\");
    std::string name;
    EXPECT_FALSE(System().GetComputerName(name, 10));  // "QM-TEST-01" and its terminator need 11
    EXPECT_EQ(GetLastError(), ERROR_BUFFER_OVERFLOW);
    ASSERT_TRUE(System().GetComputerName(name, 16));
    EXPECT_EQ(name, "QM-TEST-01");
    ASSERT_TRUE(System().GetUserName(name, 257));
    EXPECT_EQ(name, "tester");
    EXPECT_EQ(System().GetLocaleInfo(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE), "M/d/yyyy");
    EXPECT_EQ(System().GetLocaleInfo(LOCALE_SYSTEM_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE), "1252");
}

TEST(SimEnvironment, KeepsTheBufferRulesOfWindows) {
    TestMachine m(R"({"environment": {"LONG": null}})");
    std::string value;
    EXPECT_EQ(Environment().GetEnvironmentVariable("computername", value, 260), 10u);
    EXPECT_EQ(value, "QM-TEST-01");
    EXPECT_EQ(Environment().GetEnvironmentVariable("NOPE", value, 260), 0u);
    EXPECT_EQ(GetLastError(), ERROR_ENVVAR_NOT_FOUND);
    std::string longValue(300, 'x');
    ASSERT_TRUE(Environment().SetEnvironmentVariable("LONG", longValue));
    EXPECT_EQ(Environment().GetEnvironmentVariable("LONG", value, 260), 301u);  // the size it needs
    EXPECT_EQ(value, "");
    EXPECT_EQ(ReadEnvironmentVariable(Environment(), "LONG"), longValue);
    ASSERT_TRUE(Environment().SetEnvironmentVariable("long", std::nullopt));
    EXPECT_EQ(ReadEnvironmentVariable(Environment(), "LONG"), "");
    // Set and empty: found, whatever error an earlier call left.
    ASSERT_TRUE(Environment().SetEnvironmentVariable("EMPTY", ""));
    SetLastError(ERROR_ENVVAR_NOT_FOUND);
    EXPECT_EQ(Environment().GetEnvironmentVariable("EMPTY", value, 260), 0u);
    EXPECT_EQ(GetLastError(), ERROR_ENVVAR_NOT_FOUND);
    SetLastError(ERROR_ENVVAR_NOT_FOUND);
    EXPECT_EQ(FindEnvironmentVariable(Environment(), "EMPTY"), std::optional<std::string>(""));
    EXPECT_EQ(FindEnvironmentVariable(Environment(), "LONG"), std::nullopt);
}

TEST(SimClock, VirtualTimeMovesOnlyBySleepingAndFollowsTheTimeZone) {
    // New York on 2026-07-01: daylight saving time, local = UTC - 4 h.
    TestMachine m(R"({"clock": {"virtual": true, "start": "2026-07-01T23:59:59.500", "uptime_ms": 4294967000},
                      "time_zone": {"bias": 300, "daylight_bias": -60,
                                    "standard_date": {"month": 11, "day_of_week": 0, "week": 1, "hour": 2},
                                    "daylight_date": {"month": 3, "day_of_week": 0, "week": 2, "hour": 2}}})");
    SYSTEMTIME local = Clock().GetLocalTime();
    TimeZoneInformation tz;
    EXPECT_EQ(System().GetTimeZoneInformation(tz), TIME_ZONE_ID_DAYLIGHT);
    EXPECT_EQ(local.wHour, 23);
    EXPECT_EQ(local.wMilliseconds, 500);
    EXPECT_EQ(Clock().GetSystemTime().wHour, 3);
    EXPECT_EQ(Clock().GetSystemTime().wDay, 2);
    DWORD ticks = Clock().GetTickCount();
    Clock().Sleep(600);
    local = Clock().GetLocalTime();
    EXPECT_EQ(local.wMonth, 7);
    EXPECT_EQ(local.wDay, 2);
    EXPECT_EQ(local.wMilliseconds, 100);
    DWORD after = Clock().GetTickCount();
    EXPECT_EQ(static_cast<DWORD>(after - ticks), 600u);  // wraps past 2^32, the difference holds
    EXPECT_LT(after, ticks);
    // A loop polling a millisecond counter sees it move one millisecond per reading.
    EXPECT_EQ(static_cast<DWORD>(Clock().timeGetTime() - after), 1u);
    EXPECT_EQ(Clock().GetTickCount64(), 4294967000ull + 602ull);
    EXPECT_EQ(Clock().GetLocalTime().wMilliseconds, 102);
}

TEST(SimGuids, HandOutTheScriptedSequenceThenRandomOnes) {
    TestMachine m(R"({"guids": ["{0F8FAD5B-D9CB-469F-A165-70867728950E}", "7c9e6679-7425-40de-944b-e07fc1f90ae7"]})");
    Guid g;
    ASSERT_TRUE(Guids().CoCreateGuid(g));
    EXPECT_EQ(GuidToString(g), "{0F8FAD5B-D9CB-469F-A165-70867728950E}");
    ASSERT_TRUE(Guids().CoCreateGuid(g));
    EXPECT_EQ(GuidToString(g), "{7C9E6679-7425-40DE-944B-E07FC1F90AE7}");
    Guid a, b;
    ASSERT_TRUE(Guids().CoCreateGuid(a));
    ASSERT_TRUE(Guids().CoCreateGuid(b));
    EXPECT_NE(a, b);
    m.Machine().AddFault({"CoCreateGuid", "", 0x80004005u, false, 1});
    EXPECT_FALSE(Guids().CoCreateGuid(g));
}

TEST(SimCodePage, ConvertsAndFoldsCaseInTheAnsiCodePage) {
    TestMachine m;
    EXPECT_EQ(CodePage().GetACP(), 1252u);
    EXPECT_EQ(CodePage().CharUpper("caf\xE9 \xFF stra\xDF" "e"), "CAF\xC9 \x9F STRA\xDF" "E");  // y-diaeresis is 0x9F in 1252
    EXPECT_EQ(CodePage().CharLower("\xC9T\xC9"), "\xE9t\xE9");
    EXPECT_EQ(CodePage().MultiByteToWideChar("\x80"), std::u16string(1, u'\u20AC'));  // the euro sign
    EXPECT_EQ(CodePage().WideCharToMultiByte(u"\u20AC\u4E2D"), "\x80?");
}

TEST(SimSystem, SpoolerVersionTimeZoneAndNetworkUser) {
    TestMachine m(R"({"printers": [{"name": "P1", "port": "LPT1:"}, {"name": "Remote", "connection": true}],
                      "version": {"platform_id": 2, "major": 5, "minor": 1, "build": 2600, "product_type": 1, "suite_mask": 512},
                      "network_user": "netuser",
                      "time_zone": {"bias": 300, "standard_name": "Eastern Standard Time", "daylight_name": "Eastern Daylight Time",
                                    "standard_date": {"month": 10, "day_of_week": 0, "week": 5, "hour": 2},
                                    "daylight_date": {"month": 4, "day_of_week": 0, "week": 1, "hour": 2}}})");
    DWORD needed = 0;
    std::vector<PrinterInfo> printers;
    EXPECT_FALSE(Spooler().EnumPrinters(PRINTER_ENUM_LOCAL, 2, 0, needed, printers));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    DWORD localOnly = needed;
    ASSERT_TRUE(Spooler().EnumPrinters(PRINTER_ENUM_LOCAL, 2, localOnly, needed, printers));
    ASSERT_EQ(printers.size(), 1u);
    EXPECT_FALSE(Spooler().EnumPrinters(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, 2, localOnly, needed, printers));
    ASSERT_TRUE(Spooler().EnumPrinters(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, 5, needed, needed, printers));
    EXPECT_EQ(printers.size(), 2u);
    EXPECT_EQ(printers[0].portName, "LPT1:");
    EXPECT_EQ(printers[0].shareName, "");  // level 5 has no share

    OsVersionInfoEx ex;
    ASSERT_TRUE(System().GetVersionEx(ex));
    EXPECT_EQ(ex.wSuiteMask, VER_SUITE_PERSONAL);
    TimeZoneInformation tz;
    EXPECT_EQ(System().GetTimeZoneInformation(tz), TIME_ZONE_ID_STANDARD);  // December
    EXPECT_EQ(tz.standardName, u"Eastern Standard Time");
    EXPECT_EQ(tz.daylightDate.wMonth, 4);
    EXPECT_EQ(tz.daylightDate.wDay, 1);

    std::string user;
    DWORD size = 4;
    EXPECT_EQ(Drives().WNetGetUser(std::nullopt, user, size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 8u);
    EXPECT_EQ(Drives().WNetGetUser(std::nullopt, user, size), ERROR_SUCCESS);
    EXPECT_EQ(user, "netuser");
    EXPECT_EQ(Drives().WNetGetUser(std::string_view("C:"), user, size), ERROR_NOT_CONNECTED);

    TestMachine nine(R"({"version": {"platform_id": 1, "major": 4, "minor": 10}})");
    EXPECT_FALSE(System().GetVersionEx(ex));  // the 9x family does not know the extended structure
    EXPECT_TRUE(System().GetVersionEx(static_cast<OsVersionInfo&>(ex)));
}

TEST(SimClock, OnlyTheMachinesOwnThreadMovesAVirtualClock) {
    TestMachine m;
    std::uint64_t before = Clock().GetTickCount64();
    std::thread other([] { Clock().Sleep(50); });  // real time on another thread
    other.join();
    EXPECT_LT(Clock().GetTickCount64() - before, 5u);
    Clock().Sleep(50);
    EXPECT_GE(Clock().GetTickCount64() - before, 50u);
    // A virtual clock may start at the host's time of day.
    TestMachine now(R"({"clock": {"virtual": true, "start": "now"}})");
    auto hostSeconds = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch());
    auto machineSeconds = static_cast<std::int64_t>((Clock().GetSystemTimeAsFileTime().ticks - kUnixEpochTicks) / 10'000'000);
    EXPECT_LE(std::llabs(machineSeconds - static_cast<std::int64_t>(hostSeconds.count())), 60);
    EXPECT_EQ(ErrorOf(R"({"clock": {"virtual": true, "start": "2026-12-09T07:03:05"}, "processor": {"host": true}})"),
              "machine.json: /processor: a host processor needs the real clock");
}
