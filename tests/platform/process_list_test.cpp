#include <gtest/gtest.h>

#include "platform/platform.h"
#include "platform/sim/machine_config.h"
#include "support/test_machine.h"

using namespace qm::platform;
using qm::test::TestMachine;

namespace {

const char* const kProcesses = R"({"processes": [
    {"pid": 0},
    {"pid": 4, "path": "System", "opens": false, "threads": 60},
    {"pid": 612, "parent": 4, "path": "C:\\WINDOWS\\system32\\winlogon.exe", "modules": ["C:\\WINDOWS\\system32\\ntdll.dll"]}
]})";

}  // namespace

TEST(ProcessList, TheNtFamilyListsIdentifiersAndOpensProcesses) {
    TestMachine m(kProcesses);
    std::vector<DWORD> ids;
    DWORD returned = 0;
    ASSERT_TRUE(ProcessList().EnumProcesses(ids, 2000, returned));
    EXPECT_EQ(ids, (std::vector<DWORD>{0, 4, 612}));
    EXPECT_EQ(returned, 12u);
    // A full buffer: what fits, and as many bytes as the buffer has.
    ASSERT_TRUE(ProcessList().EnumProcesses(ids, 8, returned));
    EXPECT_EQ(ids, (std::vector<DWORD>{0, 4}));
    EXPECT_EQ(returned, 8u);

    EXPECT_EQ(ProcessList().OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, false, 0), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(ProcessList().OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, false, 4), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(ProcessList().OpenProcess(PROCESS_QUERY_INFORMATION, false, 999), nullptr);

    auto process = ProcessList().OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, false, 612);
    ASSERT_NE(process, nullptr);
    std::vector<HMODULE> modules;
    DWORD needed = 0;
    ASSERT_TRUE(process->EnumProcessModules(modules, 4, needed));
    EXPECT_EQ(modules.size(), 1u);
    EXPECT_EQ(needed, 8u);
    std::string name;
    EXPECT_EQ(process->GetModuleFileNameEx(modules[0], name, 256), 32u);
    EXPECT_EQ(name, "C:\\WINDOWS\\system32\\winlogon.exe");
    EXPECT_EQ(process->GetModuleFileNameEx(modules[0], name, 11), 10u);
    EXPECT_EQ(name, "C:\\WINDOWS");
    ASSERT_TRUE(process->EnumProcessModules(modules, 2000, needed));
    ASSERT_EQ(modules.size(), 2u);
    EXPECT_EQ(process->GetModuleFileNameEx(modules[1], name, 256), 29u);
    EXPECT_EQ(process->GetModuleFileNameEx(modules[1] + 1, name, 256), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

    // The toolhelp snapshot of the NT family names the program files.
    auto snapshot = ProcessList().CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    ASSERT_NE(snapshot, nullptr);
    PROCESSENTRY32 entry;
    std::vector<std::string> names;
    for (bool more = snapshot->Process32First(entry); more; more = snapshot->Process32Next(entry)) names.push_back(entry.szExeFile);
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
    EXPECT_EQ(names, (std::vector<std::string>{"", "System", "winlogon.exe"}));
    entry.dwSize = 100;
    EXPECT_FALSE(snapshot->Process32First(entry));
    EXPECT_EQ(GetLastError(), ERROR_BAD_LENGTH);
}

TEST(ProcessList, The9xFamilyHasOnlyTheSnapshotAndFaultsStrike) {
    {
        TestMachine m(R"({"version": {"platform_id": 1, "major": 4, "minor": 10, "build": 2222},
                         "processes": [{"pid": 1, "path": "C:\\WINDOWS\\EXPLORER.EXE", "threads": 9, "parent": 0}]})");
        std::vector<DWORD> ids;
        DWORD returned = 0;
        EXPECT_FALSE(ProcessList().EnumProcesses(ids, 2000, returned));
        EXPECT_EQ(GetLastError(), ERROR_CALL_NOT_IMPLEMENTED);
        auto snapshot = ProcessList().CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        ASSERT_NE(snapshot, nullptr);
        PROCESSENTRY32 entry;
        ASSERT_TRUE(snapshot->Process32First(entry));
        EXPECT_EQ(entry.szExeFile, "C:\\WINDOWS\\EXPLORER.EXE");
        EXPECT_EQ(entry.cntThreads, 9u);
    }
    {
        TestMachine m(R"({"version": {"platform_id": 2, "major": 4, "minor": 0, "build": 1381}})");
        EXPECT_EQ(ProcessList().CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0), nullptr);
        EXPECT_EQ(GetLastError(), ERROR_CALL_NOT_IMPLEMENTED);
    }
    {
        TestMachine m(R"({"processes": [{"pid": 8, "path": "C:\\A\\a.exe"}],
                         "faults": [{"op": "OpenProcess", "path": "C:\\A\\a.exe", "error": 5}, {"op": "EnumProcesses", "error": 8, "after": 1}]})");
        std::vector<DWORD> ids;
        DWORD returned = 0;
        EXPECT_TRUE(ProcessList().EnumProcesses(ids, 2000, returned));
        EXPECT_FALSE(ProcessList().EnumProcesses(ids, 2000, returned));
        EXPECT_EQ(ProcessList().OpenProcess(PROCESS_QUERY_INFORMATION, false, 8), nullptr);
        EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    }
}

TEST(ProcessList, AMachineFileWithABadProcessListIsRefusedWithThePlace) {
    const std::pair<const char*, const char*> cases[] = {
        {R"({"processes": {}})", "/processes: expected an array"},
        {R"({"processes": [{"path": "C:\\a.exe"}]})", "/processes/0/pid: missing"},
        {R"({"processes": [{"pid": -1}]})", "/processes/0/pid: expected a whole number"},
        {R"({"processes": [{"pid": 1}, {"pid": 1}]})", "/processes/1/pid: a second process"},
        {R"({"processes": [{"pid": 1, "name": "x"}]})", "/processes/0/name: unknown entry"},
        {R"({"processes": [{"pid": 1, "modules": [3]}]})", "/processes/0/modules/0: expected a Windows path"},
    };
    for (const auto& [json, message] : cases) {
        try {
            qm::sim::ParseMachineConfig(json, "/tmp", "machine.json");
            ADD_FAILURE() << json;
        } catch (const qm::sim::MachineError& e) {
            EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << e.what();
        }
    }
}
