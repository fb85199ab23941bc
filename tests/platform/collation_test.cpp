#include <gtest/gtest.h>

#include "platform/platform.h"
#include "support/test_machine.h"

using namespace qm::platform;
using qm::test::TestMachine;

namespace {

int Compare(const std::string& a, const std::string& b, DWORD flags = NORM_IGNORECASE, LCID locale = LOCALE_USER_DEFAULT) {
    return Collation().CompareString(locale, flags, a, b);
}

struct CompareCase {
    std::string a, b;
    int result;
};

}  // namespace

TEST(Collation, CompareStringSortsByTheLocaleWithoutRegardToCase) {
    TestMachine m;
    const CompareCase cases[] = {
        {"apple", "Banana", CSTR_LESS_THAN},
        {"ZEBRA", "apple", CSTR_GREATER_THAN},
        {"Ledger", "LEDGER", CSTR_EQUAL},
        {"co-op", "coop", CSTR_EQUAL},  // the word sort gives the hyphen and the apostrophe no weight
        {"its", "it's", CSTR_EQUAL},
        {"\xE9t\xE9", "ete", CSTR_GREATER_THAN},  // accents still count
        {"\xE9t\xE9", "f", CSTR_LESS_THAN},       // but after the letter
        {"", "a", CSTR_LESS_THAN},
    };
    for (const CompareCase& c : cases) EXPECT_EQ(Compare(c.a, c.b), c.result) << c.a << " / " << c.b;
    // With case, lower case comes first.
    EXPECT_EQ(Compare("ledger", "Ledger", 0), CSTR_LESS_THAN);
    EXPECT_EQ(Compare("a", "b", 0x10000000), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_FLAGS);
}

TEST(Collation, TheMachinesLocaleAndCodePageDecide) {
    // Swedish sorts the ring-a after z; in code page 1251 the bytes are Cyrillic letters.
    {
        TestMachine m(R"({"locale": {"language_id": "041d"}})");
        EXPECT_EQ(Compare("\xE5", "z"), CSTR_GREATER_THAN);
        EXPECT_EQ(Compare("\xE5", "z", NORM_IGNORECASE, 0x0409), CSTR_LESS_THAN);
    }
    {
        TestMachine m(R"({"locale": {"code_page": 1251, "language_id": "0419"}})");
        EXPECT_EQ(Compare("\xC0\xE1", "\xE0\xC1"), CSTR_EQUAL);  // the same word in other cases
        EXPECT_EQ(Compare("\xDF", "\xC0"), CSTR_GREATER_THAN);   // the last letter after the first
    }
    {
        TestMachine m(R"({"faults": [{"op": "CompareString", "error": 8}]})");
        EXPECT_EQ(Compare("a", "b"), 0);
        EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
    }
}

TEST(Collation, TheWordSortMarksKeepTheLettersBesideThemApart) {
    // Czech sorts the letter "ch" after "h"; a hyphen or an apostrophe between c and h weighs
    // nothing, yet leaves them two letters.
    TestMachine m;
    const CompareCase cases[] = {
        {"ch", "ci", CSTR_GREATER_THAN},
        {"ch", "hz", CSTR_GREATER_THAN},
        {"c-h", "ci", CSTR_LESS_THAN},
        {"c'h", "ci", CSTR_LESS_THAN},
        {"c-h", "ch", CSTR_LESS_THAN},
        {"c-h", "c'h", CSTR_EQUAL},
        {"-ch-", "CH", CSTR_EQUAL},
    };
    for (const CompareCase& c : cases) EXPECT_EQ(Compare(c.a, c.b, NORM_IGNORECASE, 0x0405), c.result) << c.a << " / " << c.b;
}
