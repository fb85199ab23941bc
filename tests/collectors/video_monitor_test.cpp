#include <gtest/gtest.h>

#include "collectors/hardware_inventory.h"
#include "collectors/video_monitor.h"
#include "core/process_state.h"
#include "platform/platform.h"
#include "platform/registry_accessor.h"
#include "support/agent_state.h"
#include "support/edid_writer.h"
#include "support/reg_text.h"
#include "support/test_machine.h"

using namespace qm::collectors;
using namespace qm::test;

namespace {

using Records = std::vector<std::string>;
using Bytes = std::vector<std::uint8_t>;

std::string Monitor(const std::string& key, const std::string& value) {
    return "\"MONITOR\",\"" + key + "\",\"" + value + "\"";
}

RegText Key(const std::string& path) { return RegText().Key("HKEY_LOCAL_MACHINE\\" + path); }

const char* const kNine = R"({"version": {"platform_id": 1, "major": 4, "minor": 10, "build": 67766446}})";
const std::string kDisplay = R"(SYSTEM\CurrentControlSet\Enum\DISPLAY\)";

// The XP workstation's flat panel: name, range limits and serial number descriptors after the
// preferred timing.
EdidBlock Panel() { return *SampleMonitorEdid("xp-workstation"); }

// A monitor in use on NT: its device key with "CONTROL" and the EDID in its parameters.
RegText NtMonitor(const std::string& path, const std::string& name, const Bytes* edid) {
    RegText r = Key(kDisplay + path).Value("DeviceDesc", name) + Key(kDisplay + path + "\\Control");
    if (edid != nullptr) r = r + Key(kDisplay + path + "\\Device Parameters").Binary("EDID", *edid);
    return r;
}

const Records kPanelRecords = {
    Monitor("Name", "Flat Panel 17"),      Monitor("VerticalFreq", "56-76 Hz"),   Monitor("HorizontalFreq", "30-81 kHz"),
    Monitor("ModelDescr", "QM 1742FP"),    Monitor("SerialNumber", "HX7B204512"), Monitor("VendorID", "QMX"),
    Monitor("ModelID", "1742"),            Monitor("ManufactureDate", "4/2004"),  Monitor("MaxHorizontalSize", "340 mm"),
    Monitor("MaxVerticalSize", "270 mm"),  Monitor("VisibleSize", "18"),          Monitor("GammaFactor", "2.20")};

Records Defaults(const std::string& name) {
    return {Monitor("Name", name),          Monitor("SerialNumber", "0"),         Monitor("VendorID", "@@@"),
            Monitor("ModelID", "0000"),     Monitor("ManufactureDate", "0/1990"), Monitor("MaxHorizontalSize", "0 mm"),
            Monitor("MaxVerticalSize", "0 mm"), Monitor("VisibleSize", "0"),      Monitor("GammaFactor", "1.00")};
}

}  // namespace

TEST(MonitorInfo, DecodesEveryRecordOfARealEdid) {
    Bytes edid = Panel().Bytes();
    TestMachine m("{}", NtMonitor(R"(QMX1742\5&2a1b3c&0&UID1)", "Flat Panel 17", &edid).Text());
    StartAgent();
    EXPECT_EQ(CollectRecords(MonitorInfo), kPanelRecords);
}

TEST(MonitorInfo, TheGammaTakesTheDecimalSeparatorOfTheLocale) {
    Bytes edid = Panel().Bytes();
    TestMachine m(R"({"locale": {"decimal": ","}})", NtMonitor("QMX1742\\1", "Flat Panel 17", &edid).Text());
    StartAgent();
    Records records = CollectRecords(MonitorInfo);
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records.back(), Monitor("GammaFactor", "2 20"));  // the comma blanked by the field quoting
}

TEST(MonitorInfo, NoMonitorGivesTheRecordsOfAnEmptyBlockOnBothFamilies) {
    for (const char* json : {"{}", kNine}) {
        TestMachine m(json);
        StartAgent();
        EXPECT_EQ(CollectRecords(MonitorInfo), Defaults("")) << json;
    }
}

TEST(MonitorInfo, NameAndEdidComeFromTheLastMonitorInUseThatHasAnEdid) {
    EdidBlock earlier = Panel();
    earlier.descriptors = {EdidDescriptor::Timing()};
    Bytes first = earlier.Bytes(), second = Panel().Bytes();
    {
        // The later monitor has no EDID: the earlier one is reported whole.
        TestMachine m("{}", (NtMonitor("A\\1", "Earlier Panel", &first) + NtMonitor("B\\1", "Later Panel", nullptr)
                             + Key(kDisplay + "C\\1").Value("DeviceDesc", "Not started"))
                                .Text());
        StartAgent();
        Records records = CollectRecords(MonitorInfo);
        ASSERT_GE(records.size(), 2u);
        EXPECT_EQ(records[0], Monitor("Name", "Earlier Panel"));
        EXPECT_EQ(records[1], Monitor("SerialNumber", "875967048"));  // no serial descriptor in its EDID
    }
    {
        TestMachine m("{}", (NtMonitor("A\\1", "Earlier Panel", &first) + NtMonitor("B\\1", "Flat Panel 17", &second)).Text());
        StartAgent();
        EXPECT_EQ(CollectRecords(MonitorInfo), kPanelRecords);
    }
    {
        // None has an EDID: the last name.
        TestMachine m("{}", (NtMonitor("A\\1", "Earlier Panel", nullptr) + NtMonitor("B\\1", "Later Panel", nullptr)).Text());
        StartAgent();
        EXPECT_EQ(CollectRecords(MonitorInfo), Defaults("Later Panel"));
    }
}

TEST(MonitorInfo, AnEdidShorterThanItsBaseBlockCountsAsAbsentAndKeepsTheEarlierMonitor) {
    Bytes whole = Panel().Bytes();
    for (std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{127}}) {
        SCOPED_TRACE(size);
        Bytes shortEdid(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size));
        // An empty binary value is written as hex: with no bytes.
        TestMachine m("{}", (NtMonitor("A\\1", "Flat Panel 17", &whole) + NtMonitor("B\\1", "Second Panel", &shortEdid)).Text());
        StartAgentWithLog();
        EXPECT_EQ(CollectRecords(MonitorInfo), kPanelRecords);
        EXPECT_NE(m.ReadFile(kTraceLog).find("|Invalid data type for 'EDID': counted as absent\r\n"), std::string::npos);
    }
    // The base block alone is a whole EDID.
    whole.resize(128);
    TestMachine m("{}", NtMonitor("QMX1742\\1", "Flat Panel 17", &whole).Text());
    StartAgent();
    EXPECT_EQ(CollectRecords(MonitorInfo), kPanelRecords);
}

TEST(MonitorInfo, ALongEdidIsReadAsItsFirst256BytesAndATextOneCountsAsAbsent) {
    Bytes edid = Panel().Bytes();
    edid.resize(384, 0xFF);  // an extension block and more
    {
        TestMachine m("{}", NtMonitor("QMX1742\\1", "Flat Panel 17", &edid).Text());
        StartAgent();
        EXPECT_EQ(CollectRecords(MonitorInfo), kPanelRecords);
    }
    {
        TestMachine m("{}", (NtMonitor("QMX1742\\1", "Flat Panel 17", nullptr)
                             + Key(kDisplay + "QMX1742\\1\\Device Parameters").Value("EDID", "not an EDID"))
                                .Text());
        StartAgentWithLog();
        EXPECT_EQ(CollectRecords(MonitorInfo), Defaults("Flat Panel 17"));
        EXPECT_NE(m.ReadFile(kTraceLog).find("|Invalid data type for 'EDID': counted as absent\r\n"), std::string::npos);
    }
}

TEST(MonitorInfo, AnUnreadableEdidCostsTheMonitorSectionOnly) {
    Bytes edid = Panel().Bytes();
    for (bool asText : {false, true}) {
        SCOPED_TRACE(asText);
        RegText monitor = NtMonitor("QMX1742\\1", "Flat Panel 17", asText ? nullptr : &edid);
        if (asText) monitor = monitor + Key(kDisplay + "QMX1742\\1\\Device Parameters").Value("EDID", "text");
        TestMachine m(asText ? "{}"
                             : R"({"faults": [{"op": "RegQueryValueEx", "raise": true, "after": 2,
                                    "path": "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\DISPLAY\\QMX1742\\1\\Device Parameters"}]})",
                      monitor.Text());
        StartWithResultNames({}, true);
        HardwareInventory();
        std::string text = m.ReadFile("C:\\WINDOWS\\QM-TEST-01.hrz");
        EXPECT_NE(text.find("\"CPU\",\"Frequency\""), std::string::npos);
        EXPECT_NE(text.find("\"Windows\",\"Version\""), std::string::npos);
        EXPECT_EQ(text.find("\"MONITOR\",\"Name\"") != std::string::npos, asText);
        if (!asText) {
            EXPECT_NE(m.ReadFile(kTraceLog).find("failed on purpose"), std::string::npos);
        }
    }
}

TEST(MonitorInfo, The9xFamilyTakesTheFirstNodeWhoseHardwareKeyNamesAMonitor) {
    Bytes edid = Panel().Bytes();
    TestMachine m(kNine, (RegText()
                              .Key(R"(HKEY_DYN_DATA\Config Manager\Enum\C1000010)")
                              .Value("HardwareKey", R"(PCI\VEN_5333&DEV_8A22\000800)")
                              .Key(R"(HKEY_DYN_DATA\Config Manager\Enum\C1000020)")
                              .Value("HardwareKey", R"(Monitor\DEFAULT_MONITOR\0001)")  // letter case differs
                              .Key(R"(HKEY_DYN_DATA\Config Manager\Enum\C1000030)")
                              .Value("HardwareKey", R"(MONITOR\QMX1742\0001)")
                              .Key(R"(HKEY_DYN_DATA\Config Manager\Enum\C1000040)")
                              .Value("HardwareKey", R"(MONITOR\OTHER\0001)")
                          + Key(R"(Enum\Monitor\DEFAULT_MONITOR\0001)").Value("DeviceDesc", "Default Monitor")
                          + Key(R"(Enum\MONITOR\QMX1742\0001)").Value("DeviceDesc", "Flat Panel 17").Binary("EDID", edid)
                          + Key(R"(Enum\MONITOR\OTHER\0001)").Value("DeviceDesc", "Other Monitor"))
                             .Text());
    StartAgent();
    EXPECT_EQ(CollectRecords(MonitorInfo), kPanelRecords);
}

TEST(EdidDecoding, SizesSerialsAndVendorLettersAtTheirEdges) {
    struct Case {
        std::uint8_t h, v;
        std::uint32_t serial;
        std::string visible, serialText;
    } cases[] = {{200, 113, 0x80000000u, "91", "-2147483648"}, {34, 27, 0xFFFFFFFFu, "18", "-1"}, {0, 40, 7, "16", "7"}};
    for (const Case& c : cases) {
        EdidBlock e;
        e.vendor = "AZA";
        e.horizontalCm = c.h;
        e.verticalCm = c.v;
        e.serial = c.serial;
        Bytes edid = e.Bytes();
        TestMachine m("{}", NtMonitor("M\\1", "Monitor", &edid).Text());
        StartAgent();
        Records records = CollectRecords(MonitorInfo);
        ASSERT_EQ(records.size(), 9u);
        EXPECT_EQ(records[1], Monitor("SerialNumber", c.serialText));
        EXPECT_EQ(records[2], Monitor("VendorID", "AZA"));
        EXPECT_EQ(records[7], Monitor("VisibleSize", c.visible)) << int(c.h) << "x" << int(c.v);
    }
}

namespace {

// The descriptor that ParseOneDescriptor parses, and what it says of a serial number.
std::vector<std::uint8_t> gDescriptor;
bool gSerialFound = false;

void ParseOneDescriptor() {
    ParseEdidDescriptor(std::span<const std::uint8_t, kEdidDescriptorSize>(gDescriptor.data(), kEdidDescriptorSize),
                        gSerialFound);
}

}  // namespace

TEST(EdidDecoding, EachDescriptorGivesTheRecordsOfItsTag) {
    TestMachine m;
    StartAgent();
    std::vector<std::uint8_t> unterminated = EdidDescriptor::Text(0xFC, "").bytes;
    for (std::size_t i = 5; i < 18; ++i) unterminated[i] = static_cast<std::uint8_t>('A' + i - 5);
    // A text descriptor whose 13 bytes are given as they stand, padding included.
    auto raw = [](std::uint8_t tag, std::string_view thirteen) {
        std::vector<std::uint8_t> block = EdidDescriptor::Text(tag, "").bytes;
        EXPECT_EQ(thirteen.size(), 13u);
        for (std::size_t i = 0; i < 13; ++i) block[5 + i] = static_cast<std::uint8_t>(thirteen[i]);
        return block;
    };
    using namespace std::string_view_literals;
    struct Case {
        std::vector<std::uint8_t> block;
        Records records;
        bool serial;
    } cases[] = {
        {EdidDescriptor::Text(0xFC, "MODEL 17").bytes, {Monitor("ModelDescr", "MODEL 17")}, false},
        {unterminated, {Monitor("ModelDescr", "ABCDEFGHIJKLM")}, false},  // 13 characters, nothing after byte 17
        {EdidDescriptor::Text(0xFE, "THIRTEEN CHAR").bytes, {Monitor("VendorDescr", "THIRTEEN CHAR")}, false},
        {EdidDescriptor::Text(0xFF, "  SN, 1 ").bytes, {Monitor("SerialNumber", "SN  1")}, true},
        // A text ends at its line feed, whatever pads the field after it; a zero ends it too, and
        // a control character left inside reads as a blank.
        {raw(0xFC, "F0SRS63\n    4"sv), {Monitor("ModelDescr", "F0SRS63")}, false},
        {raw(0xFF, "SN1\n\n  X\0ABCD"sv), {Monitor("SerialNumber", "SN1")}, true},
        {raw(0xFE, "AB\0CD\n       "sv), {Monitor("VendorDescr", "AB")}, false},
        {raw(0xFE, "A\tB\x01" "C\r\x1b[2J\n  "sv), {Monitor("VendorDescr", "A B C  [2J")}, false},
        {EdidDescriptor::Range(50, 160, 31, 107, 200).bytes,
         {Monitor("VerticalFreq", "50-160 Hz"), Monitor("HorizontalFreq", "31-107 kHz")}, false},
        {EdidDescriptor::Timing().bytes, {}, false},
        {EdidDescriptor::Dummy().bytes, {}, false},
    };
    for (const Case& c : cases) {
        gDescriptor = c.block;
        gSerialFound = false;
        EXPECT_EQ(CollectRecords(ParseOneDescriptor), c.records);
        EXPECT_EQ(gSerialFound, c.serial);
    }
}

TEST(EdidDecoding, RangeLimitsAddTheOffsetsTheirFlagsSet) {
    TestMachine m;
    StartAgent();
    struct Case {
        std::uint8_t flags, minV, maxV, minH, maxH;
        std::string vertical, horizontal;
    } cases[] = {
        {0x00, 48, 105, 52, 13, "48-105 Hz", "52-13 kHz"},    // no flags: the bytes as they are
        {0x02, 48, 105, 30, 160, "48-360 Hz", "30-160 kHz"},  // maximum vertical rate
        {0x03, 10, 20, 30, 160, "265-275 Hz", "30-160 kHz"},  // both vertical rates
        {0x08, 50, 75, 52, 13, "50-75 Hz", "52-268 kHz"},     // maximum horizontal rate
        {0x0C, 50, 75, 155, 155, "50-75 Hz", "410-410 kHz"},  // both horizontal rates
        {0x0F, 255, 255, 255, 255, "510-510 Hz", "510-510 kHz"},
        // A minimum's flag without its maximum's is reserved and offsets nothing; the high
        // bits are reserved too.
        {0x01, 48, 105, 30, 80, "48-105 Hz", "30-80 kHz"},
        {0xF4, 48, 105, 30, 80, "48-105 Hz", "30-80 kHz"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.flags));
        gDescriptor = EdidDescriptor::Range(c.minV, c.maxV, c.minH, c.maxH, 200, c.flags).bytes;
        EXPECT_EQ(CollectRecords(ParseOneDescriptor),
                  (Records{Monitor("VerticalFreq", c.vertical), Monitor("HorizontalFreq", c.horizontal)}));
    }
}

TEST(EdidDecoding, TwoSerialDescriptorsGiveTwoRecordsAndNoNumber) {
    EdidBlock e = Panel();
    e.descriptors = {EdidDescriptor::Text(0xFF, "FIRST"), EdidDescriptor::Text(0xFF, "SECOND")};
    Bytes edid = e.Bytes();
    TestMachine m("{}", NtMonitor("M\\1", "Monitor", &edid).Text());
    StartAgent();
    Records records = CollectRecords(MonitorInfo);
    ASSERT_GE(records.size(), 4u);
    EXPECT_EQ(records[1], Monitor("SerialNumber", "FIRST"));
    EXPECT_EQ(records[2], Monitor("SerialNumber", "SECOND"));
    EXPECT_EQ(records[3], Monitor("VendorID", "QMX"));
}

TEST(VideoInfo, NtNamesTheAdapterOfTheVideoDriverKey) {
    TestMachine m("{}", (Key(R"(HARDWARE\DEVICEMAP\VIDEO)")
                             .Value(R"(\Device\Video0)", R"(\Registry\Machine\System\CurrentControlSet\Control\Video\{6A8B}\0000)")
                         + Key(R"(System\CurrentControlSet\Control\Video\{6A8B}\0000)")
                               .Binary("Device Description", {'Q', 0, 'M', 0, ' ', 0, 'V', 0, 'G', 0, 'A', 0, 0, 0}))
                            .Text());
    StartAgent();
    // A binary description (the wide text some drivers store) reads as its non-zero bytes.
    EXPECT_EQ(CollectRecords(VideoInfo), Records{"\"Video\",\"Video adapter\",\"QM VGA\""});
}

TEST(VideoInfo, WithoutTheDriverKeyTheLastDisplayClassKeyOfTheWalkNamesIt) {
    const RegText root = Key(R"(SYSTEM\CurrentControlSet\Enum\Root\LEGACY_VGA)").Value("Class", "Display").Value("DeviceDesc", "Parent")
                         + Key(R"(SYSTEM\CurrentControlSet\Enum\Root\LEGACY_VGA\0000)").Value("Class", "display").Value("DeviceDesc", "Child")
                         + Key(R"(SYSTEM\CurrentControlSet\Enum\Root\NET)").Value("Class", "Net").Value("DeviceDesc", "Not a display")
                         + Key(R"(SYSTEM\CurrentControlSet\Enum\Root\ODD)").Dword("Class", 1).Value("DeviceDesc", "Odd");
    {
        // "\Device\Video0" without "System": the whole value is tried as a path, and opens nothing.
        TestMachine m("{}", (Key(R"(HARDWARE\DEVICEMAP\VIDEO)").Value(R"(\Device\Video0)", R"(\Registry\Machine\Nowhere)") + root).Text());
        StartAgent();
        EXPECT_EQ(CollectRecords(VideoInfo), Records{"\"Video\",\"Video adapter\",\"Child\""});
    }
    {
        TestMachine m;
        StartAgent();
        EXPECT_EQ(CollectRecords(VideoInfo), Records{"\"Video\",\"Video adapter\",\"\""});
    }
    {
        TestMachine m(kNine, (Key(R"(Enum\PCI\VEN_5333\000800)").Value("Class", "DISPLAY").Value("DeviceDesc", "QM Trio64V+")
                              + Key(R"(Enum\MONITOR\DEFAULT)").Value("Class", "Monitor").Value("DeviceDesc", "Default Monitor"))
                                 .Text());
        StartAgent();
        EXPECT_EQ(CollectRecords(VideoInfo), Records{"\"Video\",\"Video adapter\",\"QM Trio64V+\""});
    }
}

TEST(MonitorInfo, TheSampleMachinesHoldTheEdidOfTheirWriter) {
    const std::pair<const char*, const char*> monitors[] = {
        {"xp-workstation", R"(SYSTEM\CurrentControlSet\Enum\DISPLAY\QMX1742\5&2A1B3C&0&80861100&00&02\Device Parameters)"},
        {"win98-desktop", R"(Enum\MONITOR\QMC0417\0001)"}};
    for (const auto& [name, key] : monitors) {
        SCOPED_TRACE(name);
        SampleMachine sample(name);
        qm::platform::RegistryAccessor reg(qm::platform::HKEY_LOCAL_MACHINE);
        ASSERT_TRUE(reg.OpenKeyReadOnly(key));
        Bytes stored(kEdidSize);
        stored.resize(reg.ReadBinaryData("EDID", stored.data(), stored.size()));
        // When this fails, run make_sample_edid (tools/sample_edid) to write the machines again.
        EXPECT_EQ(stored, SampleMonitorEdid(name)->Bytes());
    }
}
