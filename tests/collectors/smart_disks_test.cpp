#include <gtest/gtest.h>

#include <cstdio>

#include "collectors/hardware_inventory.h"
#include "collectors/smart_disks.h"
#include "core/process_state.h"
#include "core/result_list.h"
#include "platform/platform.h"
#include "support/agent_state.h"
#include "support/test_machine.h"

using namespace qm::collectors;
using namespace qm::test;

namespace {

using Lines = std::vector<std::string>;

std::string Quoted(std::initializer_list<std::string> fields) {
    std::string line;
    for (const std::string& f : fields) line += (line.empty() ? "\"" : ",\"") + f + "\"";
    return line;
}

Lines Identify(int drive, const std::string& model, const std::string& serial, const std::string& firmware) {
    std::string key = "DISK_" + std::to_string(drive);
    return {Quoted({"SMART", key, "Vendor", model}), Quoted({"SMART", key, "SerialNumber", serial}),
            Quoted({"SMART", key, "firmware", firmware})};
}

Lines Prediction(int key, const std::string& active, const std::string& failure, const std::string& reason) {
    std::string k = std::to_string(key);
    return {Quoted({"SMART", k, "DiskPredictFailureAtive", active}), Quoted({"SMART", k, "DiskPredictFailure", failure}),
            Quoted({"SMART", k, "DiskPredictFailureReason", reason})};
}

Lines Join(std::initializer_list<Lines> parts) {
    Lines all;
    for (const Lines& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

// The failure-prediction class with its key, one instance a disk.
std::string PredictionWmi(const std::string& instances) {
    return R"("wmi": {"namespaces": {"root\\WMI": {"classes": {"MSStorageDriver_FailurePredictStatus": {
        "properties": {"Active": "boolean", "InstanceName": {"type": "string", "key": true}, "PredictFailure": "boolean",
                       "Reason": "uint32"},
        "instances": [)" + instances + "]}}}}}";
}

const std::string kOneDisk = R"({"Active": true, "InstanceName": "IDE\\Disk0", "PredictFailure": false, "Reason": 0})";

// A machine with the drives, more entries of its own and more entries of its "smart".
std::string Machine(const std::string& drives, const std::string& more = "", const std::string& smartMore = "") {
    return R"({"smart": {"drives": [)" + drives + "]" + smartMore + "}, " + PredictionWmi(kOneDisk) + more + "}";
}

const std::string kDisk0Fields = R"("number": 0, "model": "  DISK, ONE", "serial": "SN-0", "firmware": "1.0",
    "attributes": [{"id": 1, "flags": "0x0033", "value": 100, "worst": 99, "threshold": 6}, {"id": 0, "value": 1},
                   {"id": 196, "flags": "0x0012", "value": 200, "worst": 199, "threshold": 0},
                   {"id": 190, "flags": 0, "value": 45, "worst": 40, "threshold": 50}])";
const std::string kDisk0 = "{" + kDisk0Fields + "}";

const Lines kDisk0Attributes = {
    Quoted({"SMART", "DISK_0", "1", "Raw Read Error Rate", "6", "100",
            "PRE_FAILURE_WARRANTY ON_LINE_COLLECTION EVENT_COUNT_ATTRIBUTE SELF_PRESERVING_ATTRIBUTE", "99"}),
    Quoted({"SMART", "DISK_0", "C4", "Calibration Retry Count", "0", "200", "ON_LINE_COLLECTION EVENT_COUNT_ATTRIBUTE", "199"}),
    Quoted({"SMART", "DISK_0", "BE", "", "50", "45", "", "40"})};

std::string Hex(const std::vector<std::uint8_t>& bytes) {
    std::string text;
    char pair[4];
    for (std::uint8_t b : bytes) {
        std::snprintf(pair, sizeof pair, "%02X ", b);
        text += pair;
    }
    return text;
}

Lines Said(TestMachine& m) { return LogTextsBesideRecords(m.ReadFile(kTraceLog)); }

bool Contains(const Lines& lines, const std::string& line) { return std::find(lines.begin(), lines.end(), line) != lines.end(); }

}  // namespace

// A disk and a packet device on the map: the packet device is identified with its own
// command, and only the disk has attributes; the failure prediction follows.
TEST(SmartInventory, TheDeviceMapGivesEachDriveItsRecords) {
    TestMachine m(Machine(kDisk0 + R"(, {"number": 1, "atapi": true, "model": "CDROM 52X", "firmware": "1.07"})"));
    StartAgentWithLog();
    EXPECT_EQ(CollectRecords(SmartInventory),
              Join({Identify(0, "DISK  ONE", "SN-0", "1.0"), Identify(1, "CDROM 52X", "", "1.07"), kDisk0Attributes,
                    Prediction(0, "-1", "0", "0")}));
    Lines said = Said(m);
    // The texts as read, blank padding and all; the attributes of drive 0 in columns.
    EXPECT_TRUE(Contains(said, "Vendor 1 :  " + std::string("  DISK, ONE") + std::string(29, ' ')));
    EXPECT_TRUE(Contains(said, "Serial number 1 :  SN-0" + std::string(16, ' ')));
    EXPECT_TRUE(Contains(said, "firmware 2 :  1.07    "));
    auto at = std::find(said.begin(), said.end(), "Data for Drive Number : 0");
    ASSERT_NE(at, said.end());
    ASSERT_GE(said.end() - at, 5);
    EXPECT_EQ(Lines(at + 1, at + 5),
              (Lines{"   -Attribute Name-         -Attribute Value-     -Threshold Value-",
                     "1  Raw Read Error Rate  100" + std::string(18, ' ') + "6    ",
                     "c4 Calibration Retry Count  200" + std::string(18, ' ') + "0    ",
                     "be    45" + std::string(19, ' ') + "50   "}));
}

// Each request failing in turn: what its drive loses, and the failure prediction in every case.
TEST(SmartInventory, AFailureAtEachRequestCostsOnlyWhatHangsOnIt) {
    const Lines identify = Identify(0, "DISK  ONE", "SN-0", "1.0");
    const Lines prediction = Prediction(0, "-1", "0", "0");
    struct Case {
        const char* what;
        std::string drive;  // more fields of drive 0
        std::string more;   // more entries of the machine
        std::string smart;  // more entries of "smart"
        Lines expected;
    };
    const Case cases[] = {
        {"the device does not open", "", R"(, "faults": [{"op": "CreateFile", "path": "\\\\.\\PhysicalDrive0", "error": 5}])", "", prediction},
        {"the version", "", "", R"(, "version_error": 1)", prediction},
        {"enable", R"(, "errors": {"enable": 31})", "", "", Join({identify, prediction})},
        {"identify", R"(, "errors": {"identify": 1117})", "", "", Join({kDisk0Attributes, prediction})},
        {"attributes", R"(, "errors": {"attributes": 1117})", "", "", Join({identify, prediction})},
        {"thresholds", R"(, "errors": {"thresholds": 23})", "", "", Join({identify, prediction})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestMachine m(Machine("{" + kDisk0Fields + c.drive + "}", c.more, c.smart));
        StartAgentWithLog();
        EXPECT_EQ(CollectRecords(SmartInventory), c.expected);
    }
}

TEST(SmartInventory, AnExceptionIsLoggedAndThePredictionStillRuns) {
    TestMachine m(Machine(kDisk0, R"(, "faults": [{"op": "DeviceIoControl", "path": "\\\\.\\PhysicalDrive0", "raise": true, "after": 1}])"));
    StartAgentWithLog();
    EXPECT_EQ(CollectRecords(SmartInventory), Prediction(0, "-1", "0", "0"));
    EXPECT_TRUE(Contains(Said(m), "DeviceIoControl failed on purpose: \\\\.\\PhysicalDrive0"));
}

// The texts never run into the field that follows, and a short reply is never read from the
// bytes of the reply before it.
TEST(SmartInventory, IdentifyTextsStayWithinTheirFieldsAndTheirOwnReply) {
    const std::string full = R"({"number": 0, "model": ")" + std::string(40, 'M') + R"(", "serial": ")" + std::string(20, 'S') +
                             R"(", "firmware": "FIRMWARE"})";
    // Drive 1's IDENTIFY answers its header alone.
    const std::string shortReply = R"(, "devices": [{"name": "\\\\.\\PHYSICALDRIVE0", "controls": [
        {"code": "0x7C088", "input_prefix": "00 02 00 00 00 01 01 00 00 B0 EC", "output": "00 02 00 00 00 00 00 00 00 00 00 00 00 00 00 00"}]}])";
    TestMachine m(Machine(full + R"(, {"number": 1, "model": "SECOND"})", shortReply));
    StartAgent();
    EXPECT_EQ(CollectRecords(SmartInventory),
              Join({Identify(0, std::string(40, 'M'), std::string(20, 'S'), "FIRMWARE"), Identify(1, "", "", ""),
                    Prediction(0, "-1", "0", "0")}));
}

// The thresholds sector lists its IDs in another order: each attribute takes the threshold at
// its own position.
TEST(SmartInventory, TheThresholdIsTakenByPositionNotById) {
    std::vector<std::uint8_t> reply(528, 0);
    reply[1] = 0x02;  // cBufferSize 512
    std::uint8_t* sector = reply.data() + 16;
    sector[2] = 9;
    sector[3] = 11;
    sector[14] = 1;
    sector[15] = 22;
    const std::string thresholds = R"(, "devices": [{"name": "\\\\.\\PHYSICALDRIVE0", "controls": [
        {"code": "0x7C088", "input_prefix": "00 02 00 00 D1 01 01 4F C2 A0 B0", "output": ")" + Hex(reply) + R"("}]}])";
    TestMachine m(Machine(R"({"number": 0, "model": "D", "attributes": [{"id": 1, "value": 90}, {"id": 9, "value": 80}]})",
                          thresholds));
    StartAgent();
    Lines records = CollectRecords(SmartInventory);
    EXPECT_TRUE(Contains(records, Quoted({"SMART", "DISK_0", "1", "Raw Read Error Rate", "11", "90", "", "90"})));
    EXPECT_TRUE(Contains(records, Quoted({"SMART", "DISK_0", "9", "Power On Hours Count", "22", "80", "", "80"})));
}

TEST(SmartInventory, The9xFamilyAsksTheSmartDriver) {
    TestMachine m(R"({"version": {"platform_id": 1, "major": 4, "minor": 10, "build": 2222},
                      "smart": {"drives": [{"number": 2, "model": "NINE"}]}})");
    StartAgent();
    EXPECT_EQ(CollectRecords(SmartInventory), Identify(2, "NINE", "", ""));
}

TEST(SmartPredictFailure, EachInstanceGivesThreeRecordsKeyedByItsFirstItem) {
    TestMachine m("{" + PredictionWmi(kOneDisk + R"(, {"Active": true, "InstanceName": "IDE\\Disk1", "PredictFailure": true,
                                                       "Reason": 5})") + "}");
    StartAgent();
    EXPECT_EQ(CollectRecords(SmartPredictFailure), Join({Prediction(0, "-1", "0", "0"), Prediction(4, "-1", "-1", "5")}));
}

// Without the key the class gives three items an instance: two instances are six items, and
// the records stop at the first item that is missing.
TEST(SmartPredictFailure, AListThatEndsInsideAnInstanceStopsTheRecordsThere) {
    TestMachine m(R"({"wmi": {"namespaces": {"root\\WMI": {"classes": {"MSStorageDriver_FailurePredictStatus": {
        "properties": {"Active": "boolean", "InstanceName": "string", "PredictFailure": "boolean", "Reason": "uint32"},
        "instances": [{"Active": true, "PredictFailure": false, "Reason": 3}, {"Active": false, "PredictFailure": true, "Reason": 4}]
      }}}}}})");
    StartAgent();
    EXPECT_EQ(CollectRecords(SmartPredictFailure),
              Join({Prediction(0, "-1", "3", "0"), {Quoted({"SMART", "4", "DiskPredictFailureAtive", "-1"})}}));
}

TEST(SmartPredictFailure, NoWmiOrNoClassGivesNothingAndSaysNothing) {
    for (const char* json : {"{}", R"({"wmi": {"namespaces": {"root\\WMI": {}}}})"}) {
        SCOPED_TRACE(json);
        TestMachine m(json);
        StartAgentWithLog();
        std::size_t before = Said(m).size();
        EXPECT_EQ(CollectRecords(SmartPredictFailure), Lines{});
        Lines said = Said(m);
        // Only what the query itself says of a class it cannot find.
        EXPECT_LE(said.size() - before, 1u);
    }
}

TEST(SmartApi, NamesFlagsAndSwapping) {
    const std::pair<int, const char*> names[] = {{0, "No Attribute Here"}, {1, "Raw Read Error Rate"},  {12, "Power Cycle Count"},
                                                 {13, " "},                {194, "Temperature"},         {195, " "},
                                                 {196, "Calibration Retry Count"}, {200, "Write Error Count"}, {255, " "}};
    for (const auto& [id, name] : names) EXPECT_EQ(SmartAttributeName(static_cast<std::uint8_t>(id)), name) << id;
    EXPECT_EQ(SmartAttributeFlags(0x0033), "PRE_FAILURE_WARRANTY ON_LINE_COLLECTION EVENT_COUNT_ATTRIBUTE SELF_PRESERVING_ATTRIBUTE ");
    EXPECT_EQ(SmartAttributeFlags(0xFFC0), "");  // bits 6-15 have no names
    EXPECT_EQ(SmartAttributeFlags(0x000C), "PERFORMANCE_ATTRIBUTE ERROR_RATE_ATTRIBUTE ");
    std::uint8_t bytes[5] = {1, 2, 3, 4, 5};
    SwapBytePairs(bytes, 5);
    EXPECT_EQ(std::vector<int>(bytes, bytes + 5), (std::vector<int>{2, 1, 4, 3, 5}));  // the odd byte stays
}

TEST(SmartInventory, RunsBehindItsMarkerAfterTheWindowsSettingsAndTheVendorTagComesLast) {
    TestMachine m(Machine(R"({"number": 0, "model": "D"})"));
    StartAgentWithLog();
    qm::core::CreateResultList();
    CollectHardwareSections();
    Lines said = Said(m);
    auto windows = std::find(said.begin(), said.end(), "WindowsInfo");
    auto smart = std::find(said.begin(), said.end(), "SmartAttribute");
    auto vendor = std::find(said.begin(), said.end(), R"(SELECT AssetTag FROM Dell_SystemSummary where Name="QM-TEST-01")");
    ASSERT_NE(smart, said.end());
    EXPECT_LT(windows, smart);
    EXPECT_LT(smart, vendor);
    EXPECT_NE(vendor, said.end());
    const std::vector<std::string>& records = *qm::core::State().resultList;
    EXPECT_EQ(records.back(), Quoted({"SMART", "0", "DiskPredictFailureReason", "0"}));  // no vendor record on this machine
}
