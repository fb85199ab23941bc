#include <gtest/gtest.h>

#include "platform/sim/wildcard.h"

TEST(Wildcard, MatchesAsWindowsDoes) {
    struct Case {
        const char* pattern;
        const char* name;
        bool match;
    };
    // Patterns and names are upper case: the caller folds case first.
    const Case cases[] = {
        {"*", "ANYTHING.TXT", true},        {"*.*", "README", true},           {"*.*", ".PROFILE", true},
        {"*.TXT", "A.TXT", true},           {"*.TXT", "A.TXT.BAK", false},     {"*.TXT", "A.TXTX", false},
        {"*.", "README", true},             {"*.", "READ.ME", false},          {"A?.TXT", "A.TXT", true},
        {"A?.TXT", "AB.TXT", true},         {"A?.TXT", "ABC.TXT", false},      {"???", "AB", true},
        {"???", "ABCD", false},             {"?", ".", false},                 {"FILE.*", "FILE", true},
        {"FILE.*", "FILE.DAT", true},       {"*LOG*", "GANTROVELMINDS.LOG", true}, {"QM*.INI", "QMGUID.INI", true},
        {"QM*.INI", "QMGUID.INI.OLD", false}, {"*.GTV", "#A#B#261209070305042.GTV", true}, {"*A*B*C*", "XAXXBXXCX", true},
        {"*A*B*C*", "XAXXCXXBX", false},    {"ABC", "ABC", true},              {"ABC", "ABCD", false},
    };
    for (const Case& c : cases) EXPECT_EQ(qm::sim::MatchWildcard(c.pattern, c.name), c.match) << c.pattern << " ~ " << c.name;
    EXPECT_TRUE(qm::sim::HasWildcards("a*"));
    EXPECT_FALSE(qm::sim::HasWildcards("a.txt"));
}
