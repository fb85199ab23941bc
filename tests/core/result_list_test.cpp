#include <gtest/gtest.h>

#include "core/process_state.h"
#include "core/result_list.h"
#include "core/settings.h"
#include "support/agent_state.h"
#include "support/test_machine.h"

using namespace qm::core;
using qm::test::StartAgent;
using qm::test::TestMachine;

TEST(ResultRecords, QuoteFieldKeepsRecordsOnOneLineAndUnambiguous) {
    struct Case {
        std::string text;
        std::string quoted;
    };
    const Case cases[] = {
        {"a, b", "\"a  b\""},
        {"  padded\t ", "\"padded\""},
        {"", "\"\""},
        {"say \"hi\" it's", "\"say  hi  it s\""},
        {"two\r\nlines\nhere", "\"two  lines here\""},  // a line break would split the record
        {"tab\tinside", "\"tab\tinside\""},              // other control characters stay inside
        {std::string("\x01\x1F edge \x02", 9), "\"edge\""},
        {"caf\xE9", "\"caf\xE9\""},
    };
    for (const Case& c : cases) EXPECT_EQ(QuoteField(c.text), c.quoted) << c.text;
}

TEST(ResultRecords, ResultFieldsSplitsARecordIntoItsUnquotedFields) {
    using Fields = std::vector<std::string>;
    const std::vector<std::pair<std::string, Fields>> cases = {
        {R"("CPU","Vendor","GenuineIntel")", {"CPU", "Vendor", "GenuineIntel"}},
        {R"("Printers","3","","","","COM1:")", {"Printers", "3", "", "", "", "COM1:"}},
        {R"("F1")", {"F1"}},
        {R"("")", {""}},
        {R"("a b","c,d")", {"a b", "c,d"}},  // only quote, comma, quote parts fields
        {R"("Note","x","see","Ident","UUID","FAKE")", {"Note", "x", "see", "Ident", "UUID", "FAKE"}},
        {"", {}},
        {"\"", {}},
        {R"("open)", {}},
        {R"(bare,"x")", {}},
    };
    for (const auto& [line, fields] : cases) EXPECT_EQ(ResultFields(line), fields) << line;
    // What the writer joins, the splitter takes apart again.
    TestMachine m;
    StartAgent();
    CreateResultList();
    AddResultLine("Disk sizes", "Drive c", QuoteField("1.00") + "," + QuoteField("C:\\") + "," + QuoteField("a, \"b\""));
    EXPECT_EQ(ResultFields(State().resultList->back()), (Fields{"Disk sizes", "Drive c", "1.00", "C:\\", "a   b"}));
}

TEST(ResultRecords, FilesAreByteExactWithTheirHeader) {
    TestMachine m;
    StartAgent();
    CreateResultList();
    AddFieldHeader(11);
    AddResultLine("CPU", "Vendor", QuoteField("GenuineIntel"));
    AddResultLine("Disk sizes", "Drive c", QuoteField("38154.37") + "," + QuoteField("17428.71"));
    AddResultLine("Ident", "UUID", QuoteField("OLD"));
    AddResultLine("Ident", "UUID", QuoteField("NEW"));
    SaveResultList("C:\\TEMP\\PC.hrz");
    EXPECT_EQ(m.ReadFile("C:\\TEMP\\PC.hrz"),
              "\"F1\",\"F2\",\"F3\",\"F4\",\"F5\",\"F6\",\"F7\",\"F8\",\"F9\",\"F10\",\"F11\"\r\n"
              "\"CPU\",\"Vendor\",\"GenuineIntel\"\r\n"
              "\"Disk sizes\",\"Drive c\",\"38154.37\",\"17428.71\"\r\n"
              "\"Ident\",\"UUID\",\"OLD\"\r\n"
              "\"Ident\",\"UUID\",\"NEW\"\r\n");
    // The later record wins; a prefix found inside another line's value matches too.
    EXPECT_EQ(ReadResultValue("Ident", "UUID"), "NEW");
    EXPECT_EQ(ReadResultValue("Ident", "SN"), "");
    AddResultLine("Note", "x", QuoteField("see") + ",\"Ident\",\"UUID\",\"FAKE\"");
    EXPECT_EQ(FindResultLine("\"Ident\",\"UUID\",\""), "\"Note\",\"x\",\"see\",\"Ident\",\"UUID\",\"FAKE\"");
    CloseResultList("C:\\TEMP\\PC.hrz");
    EXPECT_EQ(FindResultLine("CPU"), "");
    EXPECT_NO_THROW(SaveResultList("C:\\TEMP\\other.hrz"));  // no list: nothing happens
    EXPECT_FALSE(m.Exists("C:\\TEMP\\other.hrz"));

    CreateResultList();
    AddFieldHeader(1);
    CloseResultList("C:\\TEMP\\one.pdz");
    EXPECT_EQ(m.ReadFile("C:\\TEMP\\one.pdz"), "\"F1\"\r\n");
}

TEST(ResultRecords, LoadingSplitsAtEveryKindOfLineEnd) {
    TestMachine m;
    StartAgent();
    m.WriteFile("C:\\TEMP\\in.hrz", "\"F1\"\r\n\"A\",\"1\",\"x\"\n\"B\",\"2\",\"y\"\r\"C\",\"3\",\"z\"");
    LoadResultList("C:\\TEMP\\in.hrz");
    AddResultLine("D", "4", QuoteField("w"));
    SaveResultList("C:\\TEMP\\in.hrz");
    EXPECT_EQ(m.ReadFile("C:\\TEMP\\in.hrz"),
              "\"F1\"\r\n\"A\",\"1\",\"x\"\r\n\"B\",\"2\",\"y\"\r\n\"C\",\"3\",\"z\"\r\n\"D\",\"4\",\"w\"\r\n");
    LoadResultList("C:\\TEMP\\missing.hrz");
    EXPECT_EQ(FindResultLine("A"), "");
    EXPECT_THROW(AddFieldHeader(0) , std::logic_error) << "zero names is no header";
}

TEST(ResultRecords, SavingRaisesWhenTheFileCannotBeWritten) {
    TestMachine m(R"({"faults": [{"op": "write", "path": "C:\\TEMP"}]})");
    StartAgent();
    CreateResultList();
    AddFieldHeader(11);
    EXPECT_THROW(SaveResultList("C:\\TEMP\\PC.hrz"), std::runtime_error);
    State().resultList.reset();
    EXPECT_THROW(AddResultLine("A", "B", "\"C\""), std::logic_error);
}

TEST(ResultRecords, ClosingForgetsTheListAlsoWhenTheSaveFails) {
    TestMachine m(R"({"faults": [{"op": "write", "path": "C:\\TEMP", "times": 1}]})");
    StartAgent();
    CreateResultList();
    AddFieldHeader(11);
    EXPECT_THROW(CloseResultList("C:\\TEMP\\PC.hrz"), std::runtime_error);
    EXPECT_FALSE(State().resultList.has_value());
    EXPECT_FALSE(m.Exists("C:\\TEMP\\PC.hrz"));
    // Nothing is left to save: a second close writes nothing, although the folder now takes it.
    EXPECT_NO_THROW(CloseResultList("C:\\TEMP\\PC.hrz"));
    EXPECT_FALSE(m.Exists("C:\\TEMP\\PC.hrz"));
}

TEST(ResultRecords, FileNamesFollowTheAssetAndMachineIdentifiers) {
    TestMachine m;
    StartAgent();
    InitWorkFolder();
    State().machineId = "0F8FAD5BD9CB469FA16570867728950E";
    SetResultFileNames(true);
    const ResultFileNames& n = State().resultFiles;
    EXPECT_EQ(n.localHardware, "C:\\WINDOWS\\QM-TEST-01.hrz");
    EXPECT_EQ(n.localSoftware, "C:\\WINDOWS\\QM-TEST-01.sfz");
    EXPECT_EQ(n.serverHardware, "C:\\Program Files\\Quarmelin\\Results\\0F8FAD5BD9CB469FA16570867728950E.hrz");
    EXPECT_EQ(n.serverSoftware, "C:\\Program Files\\Quarmelin\\Results\\0F8FAD5BD9CB469FA16570867728950E.sfz");
    EXPECT_TRUE(m.Exists("C:\\Program Files\\Quarmelin\\Results"));
    SetResultFileNames(false);
    EXPECT_EQ(n.serverHardware, "C:\\Program Files\\Quarmelin\\Results\\QM-TEST-01.hrz");
}

TEST(ResultRecords, AFileThatCannotBeReadIsNeverReplacedByAnEmptyList) {
    TestMachine m;
    StartAgent();
    m.WriteFile("C:\\TEMP\\PC.hrz", "\"F1\"\r\n\"A\",\"1\",\"x\"\r\n");
    m.Machine().AddFault({"ReadFile", "C:\\TEMP\\PC.hrz", qm::platform::ERROR_ACCESS_DENIED, false, 1});
    EXPECT_THROW(LoadResultList("C:\\TEMP\\PC.hrz"), std::runtime_error);
    EXPECT_FALSE(State().resultList.has_value());
    SaveResultList("C:\\TEMP\\PC.hrz");  // no list: nothing written
    EXPECT_EQ(m.ReadFile("C:\\TEMP\\PC.hrz"), "\"F1\"\r\n\"A\",\"1\",\"x\"\r\n");
}

TEST(ResultRecords, IdentifiersThatCouldNameAnotherFolderAreMadeSafeInFileNames) {
    TestMachine m(R"({"environment": {"COMPUTERNAME": "..\\..\\evil:name"}})");
    StartAgent();
    InitWorkFolder();
    State().machineId = "0F8FAD5BD9CB469FA16570867728950E";
    SetResultFileNames(true);
    EXPECT_EQ(State().resultFiles.localHardware, "C:\\WINDOWS\\.._.._evil_name.hrz");
    EXPECT_EQ(FileNamePart("a<b>c|d?e*f\"g/h"), "a_b_c_d_e_f_g_h");
}

TEST(ResultRecords, ReservedDeviceNamesGetAnUnderscoreInFront) {
    struct Case {
        const char* text;
        const char* part;
    };
    const Case cases[] = {
        {"CON", "_CON"},           {"con", "_con"},           {"Prn.hrz", "_Prn.hrz"},   {"AUX.tar.gz", "_AUX.tar.gz"},
        {"NUL ", "_NUL "},         {"nul .txt", "_nul .txt"}, {"COM1", "_COM1"},         {"com9.sfz", "_com9.sfz"},
        {"LPT1", "_LPT1"},         {"LPT9.x", "_LPT9.x"},     {"COM10", "COM10"},        {"COM0", "COM0"},
        {"LPT", "LPT"},            {"CONSOLE", "CONSOLE"},    {"ACON", "ACON"},          {"x.CON", "x.CON"},
        {"", ""},                  {"C:ON", "C_ON"},
    };
    for (const Case& c : cases) EXPECT_EQ(FileNamePart(c.text), c.part) << c.text;

    TestMachine m(R"({"environment": {"COMPUTERNAME": "PRN"}})");
    StartAgent();
    InitWorkFolder();
    State().machineId = "con";
    SetResultFileNames(true);
    EXPECT_EQ(State().resultFiles.localHardware, "C:\\WINDOWS\\_PRN.hrz");
    EXPECT_EQ(State().resultFiles.serverHardware, "C:\\Program Files\\Quarmelin\\Results\\_con.hrz");
    EXPECT_EQ(State().resultFiles.serverSoftware, "C:\\Program Files\\Quarmelin\\Results\\_con.sfz");
}
