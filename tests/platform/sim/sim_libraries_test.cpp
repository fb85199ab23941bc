#include <gtest/gtest.h>

#include <cstring>

#include "platform/platform.h"
#include "platform/registry_accessor.h"
#include "platform/sim/sim_libraries.h"
#include "platform/sync_manager.h"
#include "support/test_machine.h"

using namespace qm::platform;
namespace sm = qm::platform::sync_manager;
using qm::test::MachineErrorOf;
using qm::test::TestMachine;
using Calls = std::vector<std::string>;

namespace {

const char* const kLibraries = R"({"libraries": [
    {"path": "C:\\Palm\\CondMgr.dll", "module": "CondMgr"},
    {"path": "C:\\Palm\\UserData.DLL", "module": "UserData",
     "users": [{"id": 1001, "folder": "JDoe"}, {"id": 77, "folder": "A folder name longer than ten"}]}]})";

// A machine with the sync manager's two library files in C:\Palm.
struct SyncMachine {
    explicit SyncMachine(const std::string& json = kLibraries) : m(json, "REGEDIT4\r\n") {
        m.WriteFile("C:\\Palm\\CondMgr.dll", "MZ");
        m.WriteFile("C:\\Palm\\UserData.DLL", "MZ");
        m.WriteFile("C:\\Palm\\Other.dll", "MZ");
        m.MakeFolder("C:\\Palm\\Folder.dll");
    }
    Calls CallsMade() { return m.Machine().LibrariesOfMachine().Calls(); }
    TestMachine m;
};

std::vector<std::pair<std::string, std::string>> Notifiers() {
    std::vector<std::pair<std::string, std::string>> out;
    RegistryAccessor reg(HKEY_CURRENT_USER);
    if (!reg.OpenKeyReadOnly(sm::kHotSyncManagerKey)) return out;
    for (const std::string& name : reg.GetValueNames()) out.emplace_back(name, reg.ReadString(name));
    return out;
}

}  // namespace

TEST(SimLibraries, LoadLibraryAnswersAsWindowsForWhatIsNoBoundLibrary) {
    SyncMachine s;
    struct Case {
        const char* path;
        DWORD error;
    };
    const Case cases[] = {{"C:\\Palm\\Missing.dll", ERROR_MOD_NOT_FOUND},
                          {"C:\\NoFolder\\CondMgr.dll", ERROR_MOD_NOT_FOUND},
                          {"C:\\Palm\\Folder.dll", ERROR_ACCESS_DENIED},
                          {"C:\\Palm\\Other.dll", ERROR_BAD_EXE_FORMAT}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        SetLastError(0);
        EXPECT_EQ(Libraries().LoadLibrary(c.path), nullptr);
        EXPECT_EQ(GetLastError(), c.error);
    }
    // The binding follows the file, whatever spelling names it.
    EXPECT_NE(Libraries().LoadLibrary("c:\\PALM\\condmgr.DLL"), nullptr);
    s.m.Machine().AddFault({"LoadLibrary", "C:\\Palm\\CondMgr.dll", 8});
    EXPECT_EQ(Libraries().LoadLibrary("C:\\Palm\\CondMgr.dll"), nullptr);
    EXPECT_EQ(GetLastError(), 8u);
}

TEST(SimLibraries, ALibraryExportsItsModulesFunctionsByExactNameUnlessLeftOut) {
    SyncMachine s(R"({"libraries": [{"path": "C:\\Palm\\CondMgr.dll", "module": "CondMgr", "missing": ["NmRegister"]},
                                    {"path": "C:\\Palm\\UserData.DLL", "module": "UserData"}]})");
    std::unique_ptr<LibraryModule> condMgr = Libraries().LoadLibrary("C:\\Palm\\CondMgr.dll");
    std::unique_ptr<LibraryModule> userData = Libraries().LoadLibrary("C:\\Palm\\UserData.DLL");
    ASSERT_TRUE(condMgr && userData);
    EXPECT_NE(condMgr->GetProcAddress("NmUnregister"), nullptr);
    for (const char* name : {"NmRegister", "nmunregister", "UmGetUserCount"}) {
        SetLastError(0);
        EXPECT_EQ(condMgr->GetProcAddress(name), nullptr) << name;
        EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND) << name;
    }
    for (const char* name : {"UmGetUserCount", "UmGetUserID", "UmGetUserDirectory"})
        EXPECT_NE(userData->GetProcAddress(name), nullptr) << name;
    EXPECT_TRUE(condMgr->FreeLibrary());
    EXPECT_FALSE(condMgr->FreeLibrary());
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(condMgr->GetProcAddress("NmUnregister"), nullptr);
}

TEST(SimLibraries, TheNotifierRegistrationWritesAndRemovesTheSyncManagersNotifierValues) {
    SyncMachine s;
    std::unique_ptr<LibraryModule> condMgr = Libraries().LoadLibrary("C:\\Palm\\CondMgr.dll");
    ASSERT_TRUE(condMgr);
    auto* registerNotifier = GetProc<sm::NmRegisterFunction>(*condMgr, sm::kNmRegister);
    auto* unregisterNotifier = GetProc<sm::NmUnregisterFunction>(*condMgr, sm::kNmUnregister);
    ASSERT_TRUE(registerNotifier && unregisterNotifier);

    EXPECT_LT(unregisterNotifier("C:\\Palm\\a.dll"), 0);  // nothing registered yet
    EXPECT_EQ(registerNotifier("C:\\Palm\\a.dll"), 0);
    EXPECT_EQ(registerNotifier("C:\\PALM\\A.DLL"), 0);  // the same library: no second value
    EXPECT_EQ(registerNotifier("C:\\Palm\\b.dll"), 0);
    EXPECT_EQ(Notifiers(), (std::vector<std::pair<std::string, std::string>>{{"Notifier0", "C:\\Palm\\a.dll"},
                                                                             {"Notifier1", "C:\\Palm\\b.dll"}}));
    EXPECT_EQ(unregisterNotifier("c:\\palm\\a.dll"), 0);
    EXPECT_EQ(registerNotifier("C:\\Palm\\c.dll"), 0);  // takes the first free number
    EXPECT_EQ(Notifiers(), (std::vector<std::pair<std::string, std::string>>{{"Notifier1", "C:\\Palm\\b.dll"},
                                                                             {"Notifier0", "C:\\Palm\\c.dll"}}));
    // The registry keeps them for the next run.
    EXPECT_NE(s.m.RegistryFile().find("\"Notifier1\"=\"C:\\\\Palm\\\\b.dll\""), std::string::npos);

    s.m.Machine().AddFault({"NmRegister", "", 5});
    EXPECT_EQ(registerNotifier("C:\\Palm\\d.dll"), -5);
    EXPECT_EQ(Notifiers().size(), 2u);
}

TEST(SimLibraries, TheUserListAnswersFromTheMachineAndFillsNoMoreThanTheBuffer) {
    SyncMachine s;
    std::unique_ptr<LibraryModule> userData = Libraries().LoadLibrary("C:\\Palm\\UserData.DLL");
    ASSERT_TRUE(userData);
    auto* count = GetProc<sm::UmGetUserCountFunction>(*userData, sm::kUmGetUserCount);
    auto* id = GetProc<sm::UmGetUserIDFunction>(*userData, sm::kUmGetUserID);
    auto* directory = GetProc<sm::UmGetUserDirectoryFunction>(*userData, sm::kUmGetUserDirectory);
    ASSERT_TRUE(count && id && directory);

    EXPECT_EQ(count(), 2);
    DWORD userId = 0;
    EXPECT_EQ(id(1, &userId), 0);
    EXPECT_EQ(userId, 77u);
    userId = 5;
    EXPECT_LT(id(2, &userId), 0);
    EXPECT_EQ(userId, 5u);  // a failed call leaves the answer alone

    char buffer[32];
    std::memset(buffer, 'x', sizeof buffer);
    std::int16_t size = 32;
    EXPECT_EQ(directory(1001, buffer, &size), 0);
    EXPECT_STREQ(buffer, "JDoe");
    EXPECT_EQ(size, 4);
    EXPECT_LT(directory(42, buffer, &size), 0);
    // Too small a buffer is filled to its end, unterminated.
    std::memset(buffer, 'x', sizeof buffer);
    size = 10;
    EXPECT_LT(directory(77, buffer, &size), 0);
    EXPECT_EQ(std::string(buffer, 11), "A folder nx");

    s.m.Machine().AddFault({"UmGetUserCount", "C:\\Palm", 6});
    EXPECT_EQ(static_cast<std::int16_t>(count()), -6);
    EXPECT_TRUE(userData->FreeLibrary());
    // An export of a freed library reaches no machine.
    EXPECT_LT(id(0, &userId), 0);
}

TEST(SimLibraries, TheCallsAreLoggedInOrder) {
    SyncMachine s(R"({"libraries": [{"path": "C:\\Palm\\UserData.DLL", "module": "UserData", "user_count": -1,
                                     "users": [{"id": 9, "folder": "x"}]}]})");
    {
        std::unique_ptr<LibraryModule> userData = Libraries().LoadLibrary("c:\\palm\\userdata.dll");
        ASSERT_TRUE(userData);
        auto* count = GetProc<sm::UmGetUserCountFunction>(*userData, sm::kUmGetUserCount);
        EXPECT_EQ(count(), 0xFFFF);  // the count the machine gives, not the users' number
        auto* directory = GetProc<sm::UmGetUserDirectoryFunction>(*userData, sm::kUmGetUserDirectory);
        char buffer[8];
        std::int16_t size = 8;
        directory(9, buffer, &size);
    }  // destroyed: freed
    EXPECT_EQ(s.CallsMade(), (Calls{"LoadLibrary c:\\palm\\userdata.dll", "GetProcAddress UmGetUserCount", "UmGetUserCount",
                                    "GetProcAddress UmGetUserDirectory", "UmGetUserDirectory 9",
                                    "FreeLibrary c:\\Palm\\UserData.DLL"}));
}

TEST(SimLibraries, TheMachineFileNamesWhatItsLibrariesGetWrong) {
    struct Case {
        const char* json;
        const char* message;
    };
    const Case cases[] = {
        {R"({"libraries": [{"path": "Palm\\CondMgr.dll", "module": "CondMgr"}]})",
         "/libraries/0/path: expected the full Windows path of the library file"},
        {R"({"libraries": [{"path": "C:\\CondMgr.dll", "module": "Kernel"}]})",
         "/libraries/0/module: expected \"CondMgr\" or \"UserData\""},
        {R"({"libraries": [{"path": "C:\\CondMgr.dll", "module": "CondMgr", "missing": ["UmGetUserID"]}]})",
         "/libraries/0/missing/0: the module CondMgr exports no UmGetUserID"},
        {R"({"libraries": [{"path": "C:\\CondMgr.dll", "module": "CondMgr", "users": []}]})",
         "/libraries/0/users: only the module UserData has users"},
        {R"({"libraries": [{"path": "C:\\U.dll", "module": "UserData", "users": [{"folder": "x"}]}]})",
         "/libraries/0/users/0/id: a user needs its identifier"},
        {R"({"libraries": [{"path": "C:\\U.dll", "module": "UserData", "user_count": 70000}]})",
         "/libraries/0/user_count: expected a number from -32768 to 65535"},
    };
    for (const Case& c : cases) EXPECT_EQ(MachineErrorOf(c.json), std::string("machine.json: ") + c.message) << c.json;
}
