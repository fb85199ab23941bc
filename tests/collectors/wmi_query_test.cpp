#include <gtest/gtest.h>

#include "collectors/vendor_asset_tag.h"
#include "collectors/wmi_query.h"
#include "platform/platform.h"
#include "support/agent_state.h"
#include "support/test_machine.h"

using namespace qm::collectors;
using namespace qm::test;

namespace {

using Lines = std::vector<std::string>;

const std::string kStars(65, '*');

// What the trace log says besides the records it mirrors, from the given line on.
Lines SaidSince(TestMachine& m, std::size_t from) {
    Lines said = LogTextsBesideRecords(m.ReadFile(kTraceLog));
    return Lines(said.begin() + static_cast<std::ptrdiff_t>(std::min(from, said.size())), said.end());
}

std::size_t SaidSoFar(TestMachine& m) { return SaidSince(m, 0).size(); }

const char* const kDisks = R"({"wmi": {"namespaces": {"root\\WMI": {"classes": {
  "Disk_Status": {
    "properties": {"Active": "boolean", "InstanceName": {"type": "string", "key": true}, "Reason": "uint32",
                   "Vendor": {"type": "uint8", "array": true}, "Temperature": "real64"},
    "instances": [
      {"Active": true, "InstanceName": "DISK0", "Reason": {"error": "0x80041004"}, "Vendor": [1, 2], "Temperature": 38.5},
      {"Active": false, "InstanceName": "DISK1", "Reason": 7}
    ]}}}}}})";

std::string Record(const std::string& key, const std::string& value) {
    return "\"DELL\",\"" + key + "\",\"" + value + "\"";
}

std::string VendorMachine(const std::string& computer, const std::string& properties, const std::string& instance) {
    return R"({"computer_name": ")" + computer + R"(", "wmi": {"namespaces": {"root\\Dellomci": {"classes": {
        "Dell_SystemSummary": {"properties": )" + properties + R"(, "instances": [)" + instance + "]}}}}}}";
}

const char* const kSummary = R"({"AssetTag": "string", "CreationClassName": {"type": "string", "key": true},
    "Location": "string", "Name": {"type": "string", "key": true}, "ServiceTag": "string", "Model": "string"})";

}  // namespace

// Every property gives one item, whatever became of it, so that the later ones keep their
// positions; the log shows each object's path and each property.
TEST(MyWmi, QueryListsOneItemPerPropertyAndLogsEachObject) {
    TestMachine m(kDisks);
    StartAgentWithLog();
    std::size_t before = SaidSoFar(m);
    MyWmi wmi;
    wmi.Connect("root\\WMI");
    EXPECT_TRUE(wmi.Connected());
    Lines items = wmi.Query("SELECT * FROM Disk_Status");
    EXPECT_EQ(items, (Lines{"-1", "DISK0", "", "38.5", "", "0", "DISK1", "7", "", ""}));
    EXPECT_EQ(SaidSince(m, before),
              (Lines{kStars, R"(\\QM-TEST-01\root\WMI:Disk_Status.InstanceName="DISK0")", kStars, "Active=-1",
                     "InstanceName=DISK0", "Provider failure", "Temperature=38.5", "Vendor=NULL",
                     kStars, R"(\\QM-TEST-01\root\WMI:Disk_Status.InstanceName="DISK1")", kStars, "Active=0",
                     "InstanceName=DISK1", "Reason=7", "Temperature=NULL", "Vendor=NULL", kStars}));
    wmi.Disconnect();
    EXPECT_FALSE(wmi.Connected());
}

TEST(MyWmi, AQueryThatCannotRunLogsWhyAndListsNothing) {
    TestMachine m(kDisks);
    StartAgentWithLog();
    MyWmi wmi;
    wmi.Connect("root/wmi");
    std::size_t before = SaidSoFar(m);
    EXPECT_EQ(wmi.Query("SELECT Active FROM Missing_Class"), Lines{});
    EXPECT_EQ(wmi.Query("SELECT Active FROM"), Lines{});
    EXPECT_EQ(SaidSince(m, before), (Lines{"Invalid class", "Invalid query"}));
}

TEST(MyWmi, AFailingValueCostsOnlyItsOwnItem) {
    TestMachine m(kDisks);
    qm::sim::FaultConfig raising;
    raising.op = "get_Value";
    raising.path = "Disk_Status.InstanceName";
    raising.raise = true;
    m.Machine().AddFault(raising);
    StartAgentWithLog();
    MyWmi wmi;
    wmi.Connect("root\\WMI");
    EXPECT_EQ(wmi.Query("SELECT Active FROM Disk_Status"), (Lines{"-1", "", "0", ""}));
    EXPECT_EQ(LogTextsStartingWith(m.ReadFile(kTraceLog), "get_Value failed").size(), 2u);
}

TEST(MyWmi, ConnectRaisesWithTheLastSystemErrorWhenNoConnectionIsMade) {
    {
        TestMachine m(kDisks);
        StartAgent();
        MyWmi wmi;
        qm::platform::SetLastError(1722);
        try {
            wmi.Connect("root\\Missing");
            ADD_FAILURE() << "connected to a namespace the machine lacks";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "1722");
        }
        EXPECT_FALSE(wmi.Connected());
        EXPECT_EQ(wmi.Query("SELECT * FROM Disk_Status"), Lines{});  // never connected: nothing to ask
    }
    TestMachine none;  // WMI is not installed
    StartAgent();
    MyWmi wmi;
    EXPECT_THROW(wmi.Connect("root\\WMI"), std::runtime_error);
}

TEST(MyWmi, WqlStringEscapesWhatWouldEndTheLiteral) {
    EXPECT_EQ(WqlString(R"(PC"1\2)"), R"(PC\"1\\2)");
    EXPECT_EQ(WqlString("QM-XP-WS01"), "QM-XP-WS01");
}

TEST(VendorAssetTag, TheProviderGivesTheThreeRecordsFromItems024) {
    TestMachine m(VendorMachine("QM-TEST-01", kSummary,
                                R"({"AssetTag": "QM-000417", "CreationClassName": "Dell_SystemSummary", "Location": "Room 12",
                                    "Name": "QM-TEST-01", "ServiceTag": "7X9Q2J1", "Model": "Desk"},
                                   {"AssetTag": "OTHER", "CreationClassName": "Dell_SystemSummary", "Name": "ANOTHER-PC"})"));
    StartAgentWithLog();
    EXPECT_EQ(CollectRecords(GetDellAssetTag),
              (Lines{Record("AssetTag", "QM-000417"), Record("Location", "Room 12"), Record("ServiceTag", "7X9Q2J1")}));
    Lines said = SaidSince(m, 0);
    EXPECT_NE(std::find(said.begin(), said.end(), R"(SELECT AssetTag FROM Dell_SystemSummary where Name="QM-TEST-01")"),
              said.end());
}

TEST(VendorAssetTag, AMachineWithoutTheProviderWritesNothingAndLogsTheShortQueryOnly) {
    TestMachine m(kDisks);
    StartAgentWithLog();
    std::size_t before = SaidSoFar(m);
    EXPECT_EQ(CollectRecords(GetDellAssetTag), Lines{});
    EXPECT_EQ(SaidSince(m, before), Lines{R"(SELECT AssetTag FROM Dell_SystemSummary where Name="QM-TEST-01")"});
}

// A quote in the computer name stays inside the query's literal.
TEST(VendorAssetTag, TheComputerNameCannotEndTheQuerysLiteral) {
    TestMachine m(VendorMachine(R"(QM\"01)", kSummary,
                                R"({"AssetTag": "T1", "CreationClassName": "C", "Location": "L", "Name": "QM\"01", "ServiceTag": "S"},
                                   {"AssetTag": "T2", "CreationClassName": "C", "Location": "L2", "Name": "QM", "ServiceTag": "S2"})"));
    StartAgent();
    EXPECT_EQ(CollectRecords(GetDellAssetTag), (Lines{Record("AssetTag", "T1"), Record("Location", "L"), Record("ServiceTag", "S")}));
}

// A provider with one key less gives four items: the positions stay fixed, so "Location" takes
// the name, and the records stop at the missing fifth item.
TEST(VendorAssetTag, FewerItemsStopTheRecordsSilently) {
    TestMachine m(VendorMachine("QM-TEST-01", R"({"AssetTag": "string", "Location": "string", "ServiceTag": "string",
                                                 "Name": {"type": "string", "key": true}})",
                                R"({"AssetTag": "QM-7", "Location": "L", "Name": "QM-TEST-01", "ServiceTag": "S"})"));
    StartAgent();
    EXPECT_EQ(CollectRecords(GetDellAssetTag), (Lines{Record("AssetTag", "QM-7"), Record("Location", "QM-TEST-01")}));
}
