#include <gtest/gtest.h>

#include <cstring>

#include "platform/platform.h"
#include "support/lnk_writer.h"
#include "support/pe_writer.h"
#include "support/test_machine.h"

using namespace qm::platform;
using qm::test::TestMachine;

namespace {

qm::test::VersionResource Resource() {
    qm::test::VersionResource r;
    r.fixed = qm::test::FixedVersion{{6, 0, 2900, 2180}, {6, 0, 2900, 2180}};
    r.tables = {{"040C04E4", {{"CompanyName", "Soci\xC3\xA9t\xC3\xA9 Exemple"}, {"ProductVersion", "6.00.2900"}}},
                {"040904E4", {{"CompanyName", "Example Corp"}}}};
    r.translations = std::vector<std::pair<std::uint16_t, std::uint16_t>>{{0x040C, 0x04E4}, {0x0409, 0x04E4}};
    return r;
}

std::string Query(const std::string& block, const char* path) {
    std::string value;
    return Versions().VerQueryValue(block, path, value) ? value : std::string("<none>");
}

}  // namespace

TEST(SimVersions, ReadsTheVersionResourceOfARealProgramFile) {
    TestMachine m;
    m.WriteFile("C:\\Apps\\app.exe", qm::test::BuildPeFile(Resource()));
    DWORD size = Versions().GetFileVersionInfoSize("C:\\apps\\APP.EXE");
    ASSERT_GT(size, 0u);
    std::string block;
    ASSERT_TRUE(Versions().GetFileVersionInfo("C:\\Apps\\app.exe", size, block));
    EXPECT_EQ(block, qm::test::BuildVersionInfoBlock(Resource()));
    // Strings come in the ANSI code page, with their terminating zero.
    EXPECT_EQ(Query(block, "\\StringFileInfo\\040C04E4\\CompanyName"), std::string("Soci\xE9t\xE9 Exemple\0", 16));
    EXPECT_EQ(Query(block, "\\StringFileInfo\\040904e4\\companyname"), std::string("Example Corp\0", 13));
    EXPECT_EQ(Query(block, "\\StringFileInfo\\040904E4\\ProductVersion"), "<none>");
    std::string translation = Query(block, "\\VarFileInfo\\Translation");
    ASSERT_EQ(translation.size(), 8u);
    EXPECT_EQ(static_cast<unsigned char>(translation[0]) | static_cast<unsigned char>(translation[1]) << 8, 0x040C);
    std::string fixed = Query(block, "\\");
    ASSERT_EQ(fixed.size(), sizeof(FixedFileInfo));
    FixedFileInfo info;
    std::memcpy(&info, fixed.data(), sizeof info);
    EXPECT_EQ(info.dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(info.dwProductVersionMS, (6u << 16) | 0u);
    EXPECT_EQ(info.dwProductVersionLS, (2900u << 16) | 2180u);
    EXPECT_EQ(Versions().VerLanguageName(0x040C), "French (France)");
    EXPECT_EQ(Versions().VerLanguageName(0x7777), "");
}

TEST(SimVersions, FilesWithoutAResourceHaveNone) {
    TestMachine m;
    m.WriteFile("C:\\Apps\\plain.exe", qm::test::BuildPeFileWithoutResources());
    m.WriteFile("C:\\Apps\\text.txt", "hello");
    auto noFixed = Resource();
    noFixed.fixed.reset();
    m.WriteFile("C:\\Apps\\nofixed.exe", qm::test::BuildPeFile(noFixed));
    for (const char* path : {"C:\\Apps\\plain.exe", "C:\\Apps\\text.txt", "C:\\Apps\\missing.exe", "C:\\Apps", ""})
        EXPECT_EQ(Versions().GetFileVersionInfoSize(path), 0u) << path;
    std::string block;
    ASSERT_TRUE(Versions().GetFileVersionInfo("C:\\Apps\\nofixed.exe", Versions().GetFileVersionInfoSize("C:\\Apps\\nofixed.exe"), block));
    EXPECT_EQ(Query(block, "\\"), "<none>");
    // A truncated program file is no error, only no resource.
    m.WriteFile("C:\\Apps\\cut.exe", qm::test::BuildPeFile(Resource()).substr(0, 300));
    EXPECT_EQ(Versions().GetFileVersionInfoSize("C:\\Apps\\cut.exe"), 0u);
}

TEST(SimVersions, AHostileSectionTableReadsNothingAndCostsNothing) {
    TestMachine m;
    std::string pe = qm::test::BuildPeFile(Resource());
    // The resource section claims far more memory than it has bytes in the file, with its
    // directory beyond them.
    std::uint32_t peOffset = 0;
    std::memcpy(&peOffset, pe.data() + 0x3C, 4);
    std::uint16_t optionalSize = 0;
    std::memcpy(&optionalSize, pe.data() + peOffset + 20, 2);
    std::size_t section = peOffset + 24 + optionalSize;
    std::uint32_t rawSize = 0, virtualAddress = 0;
    std::memcpy(&rawSize, pe.data() + section + 16, 4);
    std::memcpy(&virtualAddress, pe.data() + section + 12, 4);
    std::uint32_t huge = 0xF0000000u, farRva = virtualAddress + rawSize + 0x100;
    std::memcpy(pe.data() + section + 8, &huge, 4);               // virtual size
    std::memcpy(pe.data() + peOffset + 24 + 96 + 16, &farRva, 4);  // the resource directory's RVA (PE32)
    m.WriteFile("C:\\Apps\\hostile.exe", pe);
    EXPECT_EQ(Versions().GetFileVersionInfoSize("C:\\Apps\\hostile.exe"), 0u);
}

namespace {

std::string Words(std::initializer_list<std::uint16_t> words) {
    std::string bytes;
    for (std::uint16_t w : words) {
        bytes += static_cast<char>(w & 0xFF);
        bytes += static_cast<char>(w >> 8);
    }
    return bytes;
}

}  // namespace

TEST(SimVersions, BlocksCutShortOfTheirPaddingAnswerFalseAndNeverThrow) {
    TestMachine m;
    // A text-typed root of 6 bytes: its value would start at byte 8.
    std::string textRoot = Words({6, 4, 1});
    // A root "R" whose child "A" ends at the block's end, 2 bytes short of its value.
    std::string childAtEnd = Words({22, 0, 0, 'R', 0, 0}) + Words({10, 3, 1, 'A', 0});
    for (const char* path : {"\\", "\\StringFileInfo", "\\VarFileInfo\\Translation"})
        EXPECT_EQ(Query(textRoot, path), "<none>") << path;
    EXPECT_EQ(Query(childAtEnd, "\\A"), "<none>");
    EXPECT_EQ(Query(childAtEnd, "\\"), "<none>");
    // Every cut of a real block answers or refuses, and never reads past what it was given.
    std::string block = qm::test::BuildVersionInfoBlock(Resource());
    for (std::size_t size = 0; size <= block.size(); ++size) {
        std::string cut = block.substr(0, size);
        for (const char* path : {"\\", "\\VarFileInfo\\Translation", "\\StringFileInfo\\040C04E4\\CompanyName",
                                 "\\StringFileInfo\\040904E4\\CompanyName"}) {
            std::string value;
            EXPECT_NO_THROW(Versions().VerQueryValue(cut, path, value)) << size << " " << path;
        }
    }
}

TEST(SimVersions, TheCopyInTheUsersLanguageThenUnitedStatesEnglishThenTheFirst) {
    auto copy = [](std::uint16_t language, const char* productName) {
        return qm::test::PeResourceData{16, 1, language,
                                        qm::test::BuildVersionInfoBlock(qm::test::StringVersion({{"ProductName", productName}}))};
    };
    std::string threeCopies = qm::test::BuildPeFileWithResources({copy(0x0401, "Arabic"), copy(0x040C, "French"), copy(0x0409, "English")});
    std::string noEnglish = qm::test::BuildPeFileWithResources({copy(0x0401, "Arabic"), copy(0x0407, "German")});
    struct Case {
        const char* languageId;
        const std::string* file;
        const char* productName;
    } cases[] = {{"0409", &threeCopies, "English"},
                 {"040c", &threeCopies, "French"},
                 {"0407", &threeCopies, "English"},
                 {"0407", &noEnglish, "German"},
                 {"0409", &noEnglish, "Arabic"}};
    for (const Case& c : cases) {
        TestMachine m(std::string(R"({"locale": {"language_id": ")") + c.languageId + "\"}}");
        m.WriteFile("C:\\Apps\\app.dll", *c.file);
        std::string block;
        ASSERT_TRUE(Versions().GetFileVersionInfo("C:\\Apps\\app.dll", Versions().GetFileVersionInfoSize("C:\\Apps\\app.dll"), block));
        EXPECT_EQ(Query(block, "\\StringFileInfo\\040904E4\\ProductName"), std::string(c.productName) + '\0')
            << c.languageId << " " << c.productName;
    }
}
