#include <gtest/gtest.h>

#include "platform/platform.h"
#include "support/test_machine.h"

using namespace qm::platform;
using qm::test::TestMachine;

TEST(UncExpansion, AMappedDrivePathTakesItsShareAndEveryOtherPathStaysFull) {
    TestMachine m(R"({"drives": [
        {"letter": "C", "type": "fixed", "folder": "drive_c"},
        {"letter": "N", "type": "remote", "folder": "net_n", "unc": "\\\\FILESRV\\public"},
        {"letter": "P", "type": "remote", "folder": "net_p", "unc": "\\\\PRINTSRV\\drop\\"}],
        "current_directory": "N:\\Apps"})");
    struct Case {
        const char* path;
        const char* expanded;
    };
    const Case cases[] = {
        {"N:\\Apps\\tool.exe", "\\\\FILESRV\\public\\Apps\\tool.exe"},
        {"n:\\apps\\TOOL.EXE", "\\\\FILESRV\\public\\apps\\TOOL.EXE"},  // the spelling is kept
        {"N:\\", "\\\\FILESRV\\public\\"},
        {"N:\\Apps\\..\\Data\\.\\x.dat", "\\\\FILESRV\\public\\Data\\x.dat"},
        {"tool.exe", "\\\\FILESRV\\public\\Apps\\tool.exe"},  // relative to the current folder
        {"P:\\job.txt", "\\\\PRINTSRV\\drop\\job.txt"},      // a share named with its backslash
        {"C:\\WINDOWS\\notepad.exe", "C:\\WINDOWS\\notepad.exe"},
        {"Q:\\nowhere.txt", "Q:\\nowhere.txt"},  // no such drive
        {"\\\\OTHER\\share\\x.txt", "\\\\OTHER\\share\\x.txt"},
    };
    for (const Case& c : cases) EXPECT_EQ(ExpandUncFileName(c.path), c.expanded) << c.path;
}
