#include <gtest/gtest.h>

#include "collectors/file_version.h"
#include "core/process_state.h"
#include "core/trace_log.h"
#include "support/agent_state.h"
#include "support/pe_writer.h"
#include "support/test_machine.h"

using namespace qm::collectors;
using namespace qm::test;
using Pairs = qm::test::VersionTranslations;

namespace {

FixedVersion Fixed(std::array<std::uint16_t, 4> product, std::array<std::uint16_t, 4> file) {
    FixedVersion f;
    f.product = product;
    f.file = file;
    return f;
}

std::string Item(const std::string& path, std::uint8_t kind) {
    std::string out = "not cleared";
    getVersionInfo(path, kind, out);
    return out;
}

}  // namespace

TEST(VersionPadTwoDigits, PadsOnlyBelowTen) {
    const std::vector<std::pair<std::uint16_t, std::string>> cases = {
        {0, "00"}, {1, "01"}, {9, "09"}, {10, "10"}, {99, "99"}, {100, "100"}, {2600, "2600"}, {65535, "65535"}};
    for (const auto& [n, text] : cases) {
        std::string out = "old";
        PadTwoDigits(n, out);
        EXPECT_EQ(out, text) << n;
    }
}

TEST(VersionInfo, EachKindWithItsFallbacks) {
    TestMachine m;
    StartAgent();

    // Its translation names German in Unicode, but the only strings are the US-English ones.
    VersionResource german = StringVersion({{"CompanyName", "Acme"}, {"ProductName", "Editor"}, {"ProductVersion", "2.5"},
                                            {"FileDescription", "Text editor"}},
                                           "040904E4", Pairs{{0x0407, 0x04B0}});
    m.WriteFile("C:\\Apps\\german.exe", BuildPeFile(german));

    // A fixed product version and a file-version string, no product-version string.
    VersionResource fixed = StringVersion({{"FileVersion", "5.1.2600.2180 (xpsp_sp2_rtm.040803-2158)"}});
    fixed.fixed = Fixed({5, 1, 2600, 0}, {5, 1, 2600, 2180});
    m.WriteFile("C:\\Apps\\fixed.exe", BuildPeFile(fixed));

    // Only an internal name, and only a file version.
    m.WriteFile("C:\\Apps\\internal.exe", BuildPeFile(StringVersion({{"InternalName", "calc"}, {"FileVersion", "1.2.3"}})));

    // No translation table at all: the US-English block is the file's own.
    m.WriteFile("C:\\Apps\\notable.exe",
                BuildPeFile(StringVersion({{"CompanyName", "NoTable Ltd"}, {"ProductVersion", "3.0"}}, "040904E4",
                                          std::nullopt)));

    // An empty translation table counts as none.
    m.WriteFile("C:\\Apps\\emptytable.exe",
                BuildPeFile(StringVersion({{"CompanyName", "Empty Table"}}, "040904E4", Pairs{})));

    // French with its own block, beside a US-English one: the file's translation wins.
    VersionResource french = StringVersion({{"CompanyName", "Soci\xC3\xA9t\xC3\xA9"}, {"ProductName", "Bureau"}},
                                           "040C04E4", Pairs{{0x040C, 0x04E4}});
    french.tables.push_back({"040904E4", {{"CompanyName", "Other"}, {"ProductName", "Other"}}});
    m.WriteFile("C:\\Apps\\french.exe", BuildPeFile(french));

    // Only the first translation counts, even when a later one has strings.
    VersionResource second =
        StringVersion({{"CompanyName", "Second"}}, "040704E4", Pairs{{0x0409, 0x04B0}, {0x0407, 0x04E4}});
    m.WriteFile("C:\\Apps\\second.exe", BuildPeFile(second));

    // A product-version string wins over the fixed numbers; blanks around texts go.
    VersionResource both = StringVersion({{"ProductVersion", "  7.0 beta  "}, {"CompanyName", "\tTabbed \r\n"}});
    both.fixed = Fixed({7, 0, 0, 1}, {7, 0, 0, 1});
    m.WriteFile("C:\\Apps\\both.exe", BuildPeFile(both));

    // Texts that hold a backslash and line breaks.
    m.WriteFile("C:\\Apps\\breaks.exe",
                BuildPeFile(StringVersion({{"CompanyName", "Acme\\Tools"},
                                           {"FileDescription", "Two\nlines\r\nand\rmore\r\n"},
                                           {"ProductName", "Name\\"}})));

    // A fixed block alone: the version, nothing else; the language of a code nobody knows.
    VersionResource onlyFixed;
    onlyFixed.fixed = Fixed({10, 11, 3, 9}, {1, 0, 0, 0});
    onlyFixed.translations = Pairs{{0x7777, 0x04E4}};
    m.WriteFile("C:\\Apps\\onlyfixed.exe", BuildPeFile(onlyFixed));

    // An empty product-version string is still the product version.
    VersionResource emptyVersion = StringVersion({{"ProductVersion", ""}, {"FileVersion", "4.4"}});
    emptyVersion.fixed = Fixed({4, 4, 0, 0}, {4, 4, 0, 0});
    m.WriteFile("C:\\Apps\\emptyversion.exe", BuildPeFile(emptyVersion));

    struct Case {
        const char* file;
        std::uint8_t kind;
        const char* text;
    };
    const std::vector<Case> cases = {
        {"german.exe", viVersion, "2.5"},
        {"german.exe", viEditeur, "Acme"},
        {"german.exe", viNomProduit, "Editor"},
        {"german.exe", viLangue, "German (Germany)"},
        {"german.exe", viDescription, "Text editor"},
        {"fixed.exe", viVersion, "5.01.2600.00"},
        {"fixed.exe", viEditeur, ""},
        {"internal.exe", viNomProduit, "calc"},
        {"internal.exe", viVersion, "1.2.3"},
        {"internal.exe", viDescription, ""},
        {"notable.exe", viEditeur, "NoTable Ltd"},
        {"notable.exe", viVersion, "3.0"},
        {"notable.exe", viLangue, "English (United States)"},
        {"emptytable.exe", viEditeur, "Empty Table"},
        {"emptytable.exe", viLangue, "English (United States)"},
        {"french.exe", viEditeur, "Soci\xE9t\xE9"},
        {"french.exe", viNomProduit, "Bureau"},
        {"french.exe", viLangue, "French (France)"},
        {"second.exe", viEditeur, ""},
        {"second.exe", viLangue, "English (United States)"},
        {"both.exe", viVersion, "7.0 beta"},
        {"both.exe", viEditeur, "Tabbed"},
        {"breaks.exe", viEditeur, "Acme Tools"},
        {"breaks.exe", viDescription, "Two lines  and more"},
        // Trimmed before the backslash becomes a blank.
        {"breaks.exe", viNomProduit, "Name "},
        {"onlyfixed.exe", viVersion, "10.11.03.09"},
        {"onlyfixed.exe", viEditeur, ""},
        {"onlyfixed.exe", viNomProduit, ""},
        {"onlyfixed.exe", viLangue, ""},
        {"emptyversion.exe", viVersion, ""},
        {"german.exe", 5, ""},
        {"german.exe", 255, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " kind " + std::to_string(c.kind));
        EXPECT_EQ(Item(std::string("C:\\Apps\\") + c.file, c.kind), c.text);
    }
}

TEST(VersionInfo, WithoutAResourceOrAFileEveryKindIsEmpty) {
    TestMachine m;
    StartAgent();
    m.WriteFile("C:\\Apps\\plain.exe", BuildPeFileWithoutResources());
    m.WriteFile("C:\\Apps\\text.exe", "MZ but nothing else");
    m.WriteFile("C:\\Apps\\empty.exe", "");
    m.MakeFolder("C:\\Apps\\Folder.exe");
    const std::vector<std::string> paths = {"C:\\Apps\\plain.exe", "C:\\Apps\\text.exe", "C:\\Apps\\empty.exe",
                                            "C:\\Apps\\Folder.exe", "C:\\Apps\\missing.exe", "C:\\Nowhere\\x.exe",
                                            ""};
    for (const std::string& path : paths)
        for (std::uint8_t kind = 0; kind <= 4; ++kind) EXPECT_EQ(Item(path, kind), "") << path << " kind " << int(kind);
}

TEST(VersionInfo, AnUnreadableResourceGivesAnEmptyText) {
    TestMachine m;
    StartAgent();
    m.WriteFile("C:\\Apps\\locked.exe", BuildPeFile(StringVersion({{"CompanyName", "Acme"}})));
    m.Machine().AddFault({"GetFileVersionInfo", "C:\\Apps\\locked.exe", qm::platform::ERROR_ACCESS_DENIED, false, -1});
    EXPECT_EQ(Item("C:\\Apps\\locked.exe", viEditeur), "");
    m.Machine().ClearFaults();
    m.Machine().AddFault({"GetFileVersionInfo", "C:\\Apps\\locked.exe", qm::platform::ERROR_ACCESS_DENIED, true, -1});
    EXPECT_EQ(Item("C:\\Apps\\locked.exe", viEditeur), "");
    m.Machine().ClearFaults();
    EXPECT_EQ(Item("C:\\Apps\\locked.exe", viEditeur), "Acme");
}

TEST(VersionInfo, EveryCallIsLoggedWithTheKindName) {
    TestMachine m;
    qm::test::StartAgentWithLog();
    m.WriteFile("C:\\Apps\\a.exe", BuildPeFile(StringVersion({{"CompanyName", "Acme"}})));
    std::string out;
    for (std::uint8_t kind = 0; kind <= 5; ++kind) getVersionInfo("C:\\Apps\\a.exe", kind, out);
    getVersionInfo("C:\\Apps\\missing.exe", viLangue, out);
    qm::core::CloseLogFile();

    EXPECT_EQ(qm::test::LogTextsStartingWith(m.ReadFile(qm::test::kTraceLog), "getVersionInfo("),
              (std::vector<std::string>{
                  "getVersionInfo(C:\\Apps\\a.exe,viVersion)", "getVersionInfo(C:\\Apps\\a.exe,viEditeur)",
                  "getVersionInfo(C:\\Apps\\a.exe,viNomProduit)", "getVersionInfo(C:\\Apps\\a.exe,viLangue)",
                  "getVersionInfo(C:\\Apps\\a.exe,)", "getVersionInfo(C:\\Apps\\a.exe,)",
                  "getVersionInfo(C:\\Apps\\missing.exe,viLangue)"}));
}
