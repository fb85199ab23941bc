#include <gtest/gtest.h>

#include <tuple>

#include "collectors/windows_version.h"
#include "support/agent_state.h"
#include "support/reg_text.h"
#include "support/test_machine.h"

using namespace qm::collectors;
using qm::test::RegText;
using qm::test::StartAgent;
using qm::test::TestMachine;

TEST(WindowsVersion, NamesTheReleaseEditionAndServicePack) {
    // The machine's version entry, the keys the edition or the fix may come from, the text.
    const std::string nt4 = R"("platform_id": 2, "major": 4, "minor": 0, "build": 1381)";
    const auto options = [](const RegText& type) {
        return RegText().Key("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\ProductOptions") + type;
    };
    const RegText fix = RegText().Key("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Hotfix\\Q246009");
    const std::vector<std::tuple<std::string, RegText, std::string>> cases = {
        {R"("major": 5, "minor": 1, "build": 2600, "service_pack": "Service Pack 2", "product_type": 1, "suite_mask": 256)", RegText(),
         "Windows XP Professional 5.1 Build 2600 Service Pack 2"},
        {R"("major": 5, "minor": 1, "build": 2600, "service_pack": "", "product_type": 1, "suite_mask": 512)", RegText(),
         "Windows XP Personal 5.1 Build 2600"},
        {R"("major": 5, "minor": 0, "build": 2195, "service_pack": "", "product_type": 3, "suite_mask": 2)", RegText(),
         "Windows 2000 Advanced Server 5.0 Build 2195"},
        {R"("major": 5, "minor": 0, "build": 2195, "service_pack": "", "product_type": 2, "suite_mask": 0)", RegText(),
         "Windows 2000 Server 5.0 Build 2195"},
        {R"("major": 5, "minor": 2, "build": 3790, "service_pack": "", "product_type": 3, "suite_mask": 130)", RegText(),
         "Windows XP DataCenter Server 5.2 Build 3790"},
        {R"("major": 5, "minor": 0, "build": 2195, "service_pack": "", "extended": false)", RegText(), "Windows 2000 5.0 Build 2195"},
        {nt4 + R"(, "service_pack": "Service Pack 6")", options(RegText().Value("ProductType", "WinNT")) + fix + RegText().Dword("Installed", 1),
         "Windows NT Workstation 4.0 Build 1381 Service Pack 6a"},
        {nt4 + R"(, "service_pack": "Service Pack 6")", options(RegText().Value("ProductType", "LanmanNT")) + fix + RegText().Value("Installed", "1"),
         "Windows NT Server 4.0 Build 1381 Service Pack 6"},
        {nt4 + R"(, "service_pack": "Service Pack 5")", options(RegText().Value("ProductType", "ServerNT")) + fix + RegText().Dword("Installed", 1),
         "Windows NT Server 4.0 Build 1381 Service Pack 5"},
        {nt4 + R"(, "service_pack": "")", options(RegText().Dword("ProductType", 1)), "Windows NT Workstation 4.0 Build 1381"},
        {nt4 + R"(, "service_pack": "")", RegText(), "Windows NT 4.0 Build 1381"},
        {R"("platform_id": 1, "major": 4, "minor": 0, "build": 67109814, "service_pack": "")", RegText(), "Windows 95 4.0 Build 950"},
        {R"("platform_id": 1, "major": 4, "minor": 10, "build": 67766446, "service_pack": " A ")", RegText(),
         "Windows 98 4.10 Build 2222  A "},
        {R"("platform_id": 1, "major": 4, "minor": 90, "build": 73010104, "service_pack": "")", RegText(),
         "Windows Millennium 4.90 Build 3000"},
        {R"("platform_id": 0, "major": 1, "minor": 30, "build": 0, "service_pack": "")", RegText(), "Win32s 1.30 Build 0"},
    };
    for (const auto& [version, registry, text] : cases) {
        SCOPED_TRACE(version);
        TestMachine m("{\"version\": {" + version + "}}", registry.Text());
        StartAgent();
        EXPECT_EQ(WindowsVersionText(), text);
    }
}
