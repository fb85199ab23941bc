#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "core/identification.h"
#include "core/process_state.h"
#include "core/profile_files.h"
#include "platform/platform.h"
#include "platform/sim/sim_dialogs.h"
#include "support/agent_state.h"
#include "support/test_machine.h"

using namespace qm::core;
using qm::test::kAgentSettings;
using qm::test::kChkId;
using qm::test::StartAgent;
using qm::test::StartAgentWithLog;
using qm::test::TestMachine;

namespace {

const std::string kMachineId = "5D3C2B1A00FF4E0D9C8B7A6F5E4D3C2B";
// Stands for a key that Chk_ID does not hold, as against one written empty.
const char* const kAbsent = "<absent>";

// A machine whose COMPUTERNAME variable is the JSON value (null removes it) and whose system
// computer name is the given one.
std::string NamesJson(const std::string& variable, const std::string& computerName) {
    return R"({"environment": {"COMPUTERNAME": )" + variable + R"(}, "computer_name": ")" + computerName + "\"}";
}

std::string Log(TestMachine& m) { return m.ReadFile(State().traceLogPath); }

std::string StoredTag() { return ReadProfileString(kChkId, "Identification", "AssetTag#", kAbsent); }

std::vector<qm::sim::DialogEvent> Dialogs(TestMachine& m) { return m.Machine().DialogsOfMachine().Journal(); }

}  // namespace

// ---------------------------------------------------------------------------------------------
// Asset number and asset identifier.

TEST(Identification, FirstRunWritesTheAssetNumber) {
    struct Case {
        const char* name;
        std::string variable;      // JSON value of COMPUTERNAME
        std::string computerName;  // the system's
        std::string assetNumber;
        const char* logged;        // the "ComputerName:" line, none when null
    };
    const Case cases[] = {
        {"COMPUTERNAME set", "\"WS-ENV-7\"", "QM-TEST-01", "WS-ENV-7", nullptr},
        {"COMPUTERNAME unset", "null", "QM-TEST-01", "QM-TEST-01", "ComputerName:QM-TEST-01"},
        {"COMPUTERNAME empty", "\"\"", "QM-TEST-01", "QM-TEST-01", "ComputerName:QM-TEST-01"},
        {"no name at all", "null", "", kMachineId, "ComputerName:"},
        {"computer name too long for the system call", "null", "WORKSTATION-0123456", kMachineId, "ComputerName:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestMachine m(NamesJson(c.variable, c.computerName));
        StartAgentWithLog();
        State().machineId = kMachineId;
        InitAssetNumber();
        EXPECT_EQ(ReadProfileString(kChkId, "Identification", "Asset#", kAbsent), c.assetNumber);
        std::string log = Log(m);
        if (c.logged != nullptr)
            EXPECT_NE(log.find(std::string("|") + c.logged + "\r\n"), std::string::npos) << log;
        else
            EXPECT_EQ(log.find("ComputerName:"), std::string::npos) << log;
        // The program that did not create the file derives the same identifier from it.
        EXPECT_EQ(GetAssetId(), c.assetNumber);
    }
}

TEST(AssetId, FallsBackWhenChkIdHasNoAssetNumber) {
    struct Case {
        const char* name;
        std::string chkId;  // none when empty
        std::string variable, computerName, machineId;
        std::string id;
    };
    const std::string noNumber = "[Inventory]\r\nDate=12/01/2026 10:00:00\r\n";
    const Case cases[] = {
        {"asset number", "[identification]\r\nasset#=ASSET-1\r\n", "\"WS-ENV-7\"", "QM-TEST-01", kMachineId,
         "ASSET-1"},
        {"no asset number: COMPUTERNAME", noNumber, "\"WS-ENV-7\"", "QM-TEST-01", kMachineId, "WS-ENV-7"},
        {"empty asset number: COMPUTERNAME", "[Identification]\r\nAsset#=\r\n", "\"WS-ENV-7\"", "QM-TEST-01",
         kMachineId, "WS-ENV-7"},
        {"no Chk_ID at all", "", "\"WS-ENV-7\"", "QM-TEST-01", kMachineId, "WS-ENV-7"},
        {"unset variable: computer name, trimmed", noNumber, "null", "  PC-7 ", kMachineId, "PC-7"},
        {"no computer name: machine identifier", noNumber, "null", "", kMachineId, kMachineId},
        // Only an unset variable passes on to the computer name.
        {"variable set empty: machine identifier", noNumber, "\"\"", "QM-TEST-01", kMachineId, kMachineId},
        {"nothing at all", noNumber, "null", "", "", "UNKNOWN"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestMachine m(NamesJson(c.variable, c.computerName));
        if (!c.chkId.empty()) m.WriteFile(kChkId, c.chkId);
        StartAgentWithLog();
        State().machineId = c.machineId;
        if (!c.chkId.empty()) {
            // A Chk_ID that exists is never completed afterwards.
            InitAssetNumber();
            EXPECT_EQ(m.ReadFile(kChkId), c.chkId);
        }
        EXPECT_EQ(GetAssetId(), c.id);
    }
}

TEST(AssetId, IsKeptForTheProcess) {
    TestMachine m;
    StartAgentWithLog();
    EXPECT_EQ(GetAssetId(), "QM-TEST-01");
    WriteProfileString(kChkId, "Identification", "Asset#", "ASSET-9");
    qm::platform::Environment().SetEnvironmentVariable("COMPUTERNAME", "CHANGED");
    EXPECT_EQ(GetAssetId(), "QM-TEST-01");
    StartAgentWithLog();  // the next process
    EXPECT_EQ(GetAssetId(), "ASSET-9");
}

TEST(Identification, LocalComputerName) {
    struct Case {
        std::string name;
        std::string expected;
    };
    const Case cases[] = {
        {"  PC-7  ", "PC-7"},
        {"FIFTEEN-CHARS-1", "FIFTEEN-CHARS-1"},
        {"SIXTEEN-CHARS-12", ""},  // does not fit the 16-byte buffer with its terminator
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("\"" + c.name + "\"");
        TestMachine m(NamesJson("null", c.name));
        StartAgent();
        EXPECT_EQ(GetLocalComputerName(), c.expected);
    }
    TestMachine failing(R"({"faults": [{"op": "GetComputerName"}]})");
    StartAgent();
    EXPECT_EQ(GetLocalComputerName(), "");
}

TEST(Identification, EnvironmentValueIsWholeWhateverItsLength) {
    TestMachine m;
    StartAgent();
    for (std::size_t length : {0u, 259u, 260u, 300u}) {
        std::string value;
        for (std::size_t i = 0; i < length; ++i) value += static_cast<char>('a' + i % 26);
        SCOPED_TRACE(length);
        qm::platform::Environment().SetEnvironmentVariable("LONG_VALUE", value);
        EXPECT_EQ(GetEnvVar("LONG_VALUE"), value);
    }
    EXPECT_EQ(GetEnvVar("NOT_SET_ANYWHERE"), "");
}

// ---------------------------------------------------------------------------------------------
// The asset tag.

TEST(AssetTag, DialogPolicy) {
    struct Case {
        const char* name;
        std::string settings;  // none when empty
        std::string answers;   // JSON array
        const char* tag;
        const char* caption;
        const char* shown;
    };
    const Case cases[] = {
        {"defaults, OK with text", "", R"(["TAG-1"])", "TAG-1", kAssetTagCaption, "Asset Tag # -> OK: TAG-1"},
        {"texts of the settings file, OK with an empty edit",
         "[ASSETTAG]\r\nCAPTION=Inventory\r\nPROMPT=Tag of this PC\r\n", R"([""])", "", "Inventory",
         "Tag of this PC -> OK: "},
        {"Cancel", "", "[null]", kAbsent, kAssetTagCaption, "Asset Tag # -> Cancel"},
        {"closed without an answer", "", "[]", kAbsent, kAssetTagCaption, "Asset Tag # -> Cancel"},
        {"UUID 01 counts as off", "[ASSETTAG]\r\nUUID=01\r\n", R"(["TAG-2"])", "TAG-2", kAssetTagCaption,
         "Asset Tag # -> OK: TAG-2"},
        {"SN yes counts as off", "[ASSETTAG]\r\nSN=yes\r\n", R"(["TAG-3"])", "TAG-3", kAssetTagCaption,
         "Asset Tag # -> OK: TAG-3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestMachine m(R"({"dialogs": {"asset_tag": )" + c.answers + "}}");
        if (!c.settings.empty()) m.WriteFile(kAgentSettings, c.settings);
        StartAgentWithLog();
        GetAssetTag();
        EXPECT_EQ(StoredTag(), c.tag);
        auto journal = Dialogs(m);
        ASSERT_EQ(journal.size(), 1u);
        EXPECT_EQ(journal[0].kind, "asset tag");
        EXPECT_EQ(journal[0].title, c.caption);
        EXPECT_EQ(journal[0].detail, c.shown);
        qm::platform::AssetTagLayout form = m.Machine().DialogsOfMachine().LastAssetTagLayout();
        std::vector<std::string> captions;
        for (const auto& control : form.controls) captions.push_back(control.name + "=" + control.caption);
        EXPECT_EQ(captions, (std::vector<std::string>{"lblAssetTag=", "edAssetTag=", "btOK=&OK", "btCancel=&Cancel"}));
        EXPECT_EQ(form.defaultButton, "btOK");
        EXPECT_EQ(form.cancelButton, "btCancel");
        EXPECT_EQ(form.editControl, "edAssetTag");
        EXPECT_FALSE(State().assetTagDeferred);
        EXPECT_FALSE(State().headerWritten);
    }
}

TEST(AssetTag, EmptyTagIsAskedForAgainOnTheNextRun) {
    TestMachine m(R"({"dialogs": {"asset_tag": ["", null, "TAG-4", "NOT ASKED"]}})");
    for (const char* expected : {"", "", "TAG-4", "TAG-4"}) {
        StartAgentWithLog();
        GetAssetTag();
        EXPECT_EQ(StoredTag(), expected);
    }
    EXPECT_EQ(Dialogs(m).size(), 3u);
}

TEST(AssetTag, EnvironmentVariablePolicy) {
    struct Case {
        const char* name;
        std::string variable;  // JSON value of SITE_TAG
        const char* tag;
    };
    const Case cases[] = {
        {"variable set", "\"ST-42\"", "ST-42"},
        {"variable unset: written empty", "null", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestMachine m(R"({"environment": {"SITE_TAG": )" + c.variable + R"(}, "dialogs": {"asset_tag": ["TYPED"]}})");
        m.WriteFile(kAgentSettings, "[ASSETTAG]\r\nENV_VAR=SITE_TAG\r\n");
        StartAgentWithLog();
        // A pass that comes to write the tag itself ends any deferral.
        State().assetTagDeferred = true;
        GetAssetTag();
        EXPECT_EQ(StoredTag(), c.tag);
        EXPECT_TRUE(Dialogs(m).empty());
        EXPECT_FALSE(State().assetTagDeferred);
    }
}

TEST(AssetTag, UuidAndSerialPoliciesWaitForTheBiosRecords) {
    struct Case {
        const char* name;
        std::string policy;
        std::string uuid;          // as the BIOS program reported it
        std::string storedBefore;  // AssetTag# before the run; none when empty
        const char* tag;
    };
    const Case cases[] = {
        {"UUID", "UUID=1", "4C4C4544-0042", "", "4C4C4544-0042"},
        {"serial number", "SN=1", "4C4C4544-0042", "", "SN-778"},
        {"both: UUID wins", "UUID=1\r\nSN=1", "4C4C4544-0042", "", "4C4C4544-0042"},
        {"no UUID reported: written empty", "UUID=1", "", "", ""},
        {"tag already set stays", "UUID=1", "4C4C4544-0042", "OLD-TAG", "OLD-TAG"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestMachine m(R"({"dialogs": {"asset_tag": ["TYPED"]}})");
        m.WriteFile(kAgentSettings, "[ASSETTAG]\r\n" + c.policy + "\r\n");
        if (!c.storedBefore.empty()) m.WriteFile(kChkId, "[Identification]\r\nAssetTag#=" + c.storedBefore + "\r\n");
        StartAgentWithLog({"/AT"});

        // First pass, before the inventory: nothing read or written, the header held back.
        GetAssetTag();
        EXPECT_TRUE(State().assetTagDeferred);
        EXPECT_TRUE(State().headerWritten);
        EXPECT_EQ(m.Exists(kChkId), !c.storedBefore.empty());

        // The BIOS program's records are stored, then the second pass.
        WriteProfileString(kChkId, "UUID", "UUID", c.uuid);
        WriteProfileString(kChkId, "UUID", "SN", "SN-778");
        GetAssetTag();
        EXPECT_FALSE(State().headerWritten);
        EXPECT_EQ(StoredTag(), c.tag);
        EXPECT_TRUE(Dialogs(m).empty());
    }
}

TEST(AssetTag, StoredTagIsNeverReplaced) {
    for (const char* settings : {"", "[ASSETTAG]\r\nENV_VAR=COMPUTERNAME\r\n"}) {
        SCOPED_TRACE(settings);
        TestMachine m(R"({"dialogs": {"asset_tag": ["NEW-TAG"]}})");
        if (*settings != '\0') m.WriteFile(kAgentSettings, settings);
        const std::string chkId = "[Identification]\r\nAssetTag#=OLD-TAG\r\n";
        m.WriteFile(kChkId, chkId);
        StartAgentWithLog();
        GetAssetTag();
        EXPECT_EQ(m.ReadFile(kChkId), chkId);
        EXPECT_TRUE(Dialogs(m).empty());
    }
}

TEST(Identification, RefusedChkIdWriteIsRaisedNamingTheFile) {
    struct Case {
        const char* name;
        std::string settings;
        void (*step)();
    };
    const Case cases[] = {
        {"asset number", "", InitAssetNumber},
        {"asset tag from the dialog", "", GetAssetTag},
        {"asset tag from a variable", "[ASSETTAG]\r\nENV_VAR=COMPUTERNAME\r\n", GetAssetTag},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestMachine m(R"({"dialogs": {"asset_tag": ["TAG-1"]}})");
        if (!c.settings.empty()) m.WriteFile(kAgentSettings, c.settings);
        StartAgentWithLog();
        m.Machine().AddFault({"write", "C:\\WINDOWS"});
        try {
            c.step();
            ADD_FAILURE() << "no error raised";
        } catch (const ProfileWriteError& e) {
            EXPECT_NE(std::string(e.what()).find(kChkId), std::string::npos) << e.what();
        }
        EXPECT_FALSE(m.Exists(kChkId));
    }
}
