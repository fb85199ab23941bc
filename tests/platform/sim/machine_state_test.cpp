#include <gtest/gtest.h>

#include <functional>

#include "platform/platform.h"
#include "support/reg_text.h"
#include "support/test_machine.h"

using namespace qm::platform;
using qm::test::TestMachine;

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
