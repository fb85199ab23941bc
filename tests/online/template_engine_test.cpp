#include <gtest/gtest.h>

#include "core/process_state.h"
#include "core/result_list.h"
#include "core/settings.h"
#include "delivery/scrambling.h"
#include "online/html_text.h"
#include "online/report_data.h"
#include "online/template_engine.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "support/agent_state.h"
#include "support/golden.h"
#include "support/test_machine.h"

using namespace qm::online;
using qm::test::TestMachine;

namespace {

const std::string kFolder = "C:\\Q\\";

// A machine with three processes and the front-end's look, its results made from the fixture
// that holds every section the tags read.
const char* const kMachine = R"({"processes": [
    {"pid": 0},
    {"pid": 4, "path": "System", "opens": false},
    {"pid": 612, "path": "C:\\WINDOWS\\system32\\winlogon.exe"},
    {"pid": 1488, "path": "C:\\Program Files\\Ledger Pro\\ledger.exe", "modules": ["C:\\WINDOWS\\system32\\ntdll.dll"]}
]})";

void PrepareReport(TestMachine& m) {
    qm::test::StartAgent({}, kFolder + "qnlonline.exe");
    qm::core::InitWorkFolder();
    qm::core::State().assetId = "QM-TEST-01";
    qm::core::SetResultFileNames(false);
    m.WriteFile("C:\\WINDOWS\\QM-TEST-01.hrz", qm::test::Fixture("online/every_section.hrz"));
    m.WriteFile("C:\\WINDOWS\\QM-TEST-01.sfz", qm::test::Fixture("online/every_section.sfz"));
    auto scrambled = [](const std::string& text) { return qm::delivery::ScrambleString(text, qm::delivery::kByteXorKey); };
    m.WriteFile(kFolder + "data.dta", scrambled("ledger.exe\tLedger Pro\t4.\tLedger Pro 4\tNULL\tLedger Software\t0\r\n"
                                                "shieldav.exe\tShield Antivirus\tNULL\tShield\tNULL\tShieldWorks\t1\r\n"));
    m.WriteFile(kFolder + "datap.dta", scrambled("0F2\t512 KB level 2\tGenuineIntel\tDesktop 15/2\t09\r\n"));
    m.WriteFile(kFolder + "qnlonline.ini",
                "[Global]\nDEFAULT_FONT=<FONT size=\"2\">\nDEFAULT_CELL_BACKGROUND_FIRST=bgcolor=\"#FFFFFF\"\n"
                "DEFAULT_CELL_BACKGROUND_SECOND=bgcolor=\"#EEEEEE\"\n");
    m.WriteFile(kFolder + "QNLHEADER.HTM", "<H1>header</H1>");
    m.WriteFile(kFolder + "QNLBOTTOM.HTM", "<P>footer</P>");
}

// What one template text renders to.
std::string Render(const ReportData& data, TestMachine& m, const std::string& text) {
    m.WriteFile(kFolder + "HTML\\t.htm", text);
    m.MakeFolder(kFolder + "DONE");
    ProcessTemplate(data, kFolder + "HTML\\t.htm", kFolder + "DONE\\t.htm");
    return m.ReadFile(kFolder + "DONE\\t.htm");
}

}  // namespace

// Every tag of the vocabulary over results that hold every section it reads: a tag that
// rendered another's value or table would show here.
TEST(TemplateEngine, EveryTagRendersItsOwnValueOrTable) {
    TestMachine m(kMachine);
    PrepareReport(m);
    ReportData data;
    LoadReportData(data);
    std::string report = Render(data, m, qm::test::Fixture("online/every_tag.htm"));
    EXPECT_EQ(report, qm::test::Golden("every_tag.htm", report));
}

TEST(TemplateEngine, TagsAreFoundWithoutRegardToCaseAndTakeTheirAttributeWords) {
    TestMachine m(kMachine);
    PrepareReport(m);
    ReportData data;
    LoadReportData(data);
    EXPECT_EQ(Render(data, m, "<memory>|<Memory>"), "v-memory|v-memory");
    // The bare table alternates from the first colour; with both words every row has the second.
    std::string bare = Render(data, m, "<HOTFIX>");
    EXPECT_LT(bare.find("#FFFFFF"), bare.find("#EEEEEE"));
    std::string both = Render(data, m, "<HOTFIX LINE_OFF COLOR_2>");
    EXPECT_EQ(both.find("#FFFFFF"), std::string::npos);
    EXPECT_NE(both.find("v-hotfix-2"), std::string::npos);
    // The words count only after a blank, and in capitals.
    EXPECT_EQ(Render(data, m, "<HOTFIX color_2>"), bare);
    // A tag that matches whole takes no words, and one with a further blank is no tag.
    EXPECT_EQ(Render(data, m, "<RUNNING PROCESS LINE_OFF>"), "<RUNNING PROCESS LINE_OFF>");
    EXPECT_NE(Render(data, m, "<RUNNING PROCESS>").find("winlogon.exe"), std::string::npos);
    // Closing tags vanish; other tags, comments and declarations pass, each to its first ">".
    EXPECT_EQ(Render(data, m, "<!DOCTYPE html><B>x</B></MEMORY></DISK><!-- a > b -->"), "<!DOCTYPE html><B>x</B><!-- a > b -->");
    EXPECT_EQ(Render(data, m, "<TD class=\"x\">"), "<TD class=\"x\">");
    // An open tag at the end is dropped.
    EXPECT_EQ(Render(data, m, "kept<MEMORY"), "kept");
}

TEST(TemplateEngine, AnEmptyRenderingLeavesAnEmptyReport) {
    TestMachine m(kMachine);
    PrepareReport(m);
    ReportData data;
    LoadReportData(data);
    m.WriteFile(kFolder + "DONE\\t.htm", "an earlier report");
    EXPECT_EQ(Render(data, m, "</MEMORY></DISK>"), "");
    EXPECT_EQ(Render(data, m, ""), "");
    // A template that cannot be read ends the run with its name.
    try {
        ProcessTemplate(data, kFolder + "HTML\\missing.htm", kFolder + "DONE\\missing.htm");
        ADD_FAILURE();
    } catch (const std::exception& e) {
        EXPECT_NE(std::string(e.what()).find("missing.htm"), std::string::npos);
    }
    EXPECT_FALSE(m.Exists(kFolder + "DONE\\missing.htm"));
}

TEST(TemplateEngine, ValuesAreEscapedAndMarkupPassesAsItIs) {
    TestMachine m(R"({"locale": {"code_page": 1251}})");
    struct Case {
        std::string text;
        std::string html;
    };
    const Case cases[] = {
        {"a&b <b>x</b> \"q\" 'a'", "a&amp;b&#160;&lt;b&gt;x&lt;/b&gt;&#160;&quot;q&quot;&#160;&#39;a&#39;"},
        {"\xC0\xE1", "&#1040;&#1073;"},  // code page 1251: the characters themselves
        {"\x80\xA0\xB9", "&#1026;&#160;&#8470;"},
        {"tab\tend", "tab\tend"},
    };
    for (const Case& c : cases) {
        std::string out;
        WriteHtmlText(out, EscapeHtml(c.text));
        EXPECT_EQ(out, c.html) << c.text;
    }
    // Markup from the renderers passes as it is, the text between goes through the entities.
    std::string out;
    WriteHtmlText(out, "<TD bgcolor=\"#FFF\">a b</TD>");
    EXPECT_EQ(out, "<TD bgcolor=\"#FFF\">a&#160;b</TD>");
    EXPECT_EQ(CharToHtmlEntity('>'), ">");
}

// The templates that come with the front-end use the whole vocabulary between them.
TEST(TemplateEngine, TheShippedTemplatesUseEveryTag) {
    std::string templates;
    for (const char* name : {"report.htm", "software.htm"}) 
        templates += qm::platform::AsciiUpper(
            qm::test::ReadHostFile(std::string(QM_SOURCE_DIR) + "/frontend/HTML/" + name).value_or(""));
    Lines tags = BuildTags();
    for (std::size_t i = 0; i < tags.size(); i += 2) {
        std::string open = tags[i].substr(0, tags[i].size() - 1);
        EXPECT_TRUE(templates.find(open + ">") != std::string::npos || templates.find(open + " ") != std::string::npos) << tags[i];
    }
}

// Every table of the shipped templates opens with its header row, so that no column of a
// report stands without its name.
TEST(TemplateEngine, EveryTableOfTheShippedTemplatesHasItsHeader) {
    for (const char* name : {"report.htm", "software.htm"}) {
        std::string text = qm::platform::AsciiUpper(
            qm::test::ReadHostFile(std::string(QM_SOURCE_DIR) + "/frontend/HTML/" + name).value_or(""));
        int tables = 0;
        for (std::size_t at = text.find("<TABLE CLASS=\"LIST\""); at != std::string::npos;
             at = text.find("<TABLE CLASS=\"LIST\"", at + 1)) {
            ++tables;
            std::size_t row = text.find('\n', at) + 1;
            EXPECT_EQ(text.compare(row, 7, "<TR><TH"), 0) << name << ": " << text.substr(at, 120);
        }
        EXPECT_GT(tables, 0) << name;
    }
}
