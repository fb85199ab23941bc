#include <gtest/gtest.h>

#include "platform/guids.h"

using namespace qm::platform;

namespace {

const Guid kSample{0x0F8FAD5Bu, 0xD9CB, 0x469F, {0xA1, 0x65, 0x70, 0x86, 0x77, 0x28, 0x95, 0x0E}};

}  // namespace

TEST(GuidText, IsTheRegistryFormInUpperCaseWithEveryDigit) {
    EXPECT_EQ(GuidToString(kSample), "{0F8FAD5B-D9CB-469F-A165-70867728950E}");
    EXPECT_EQ(GuidToString(Guid{1, 2, 3, {0, 0, 0, 0, 0, 0, 0, 0x0A}}), "{00000001-0002-0003-0000-00000000000A}");
    EXPECT_EQ(GuidToString(Guid{}), "{00000000-0000-0000-0000-000000000000}");
    EXPECT_EQ(GuidToString(Guid{0xFFFFFFFFu, 0xFFFF, 0xFFFF, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}}),
              "{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}");
}

TEST(GuidText, ParsesTheRegistryFormWithOrWithoutBracesInEitherCase) {
    struct Case {
        const char* text;
        bool parses;
    };
    const Case cases[] = {
        {"{0F8FAD5B-D9CB-469F-A165-70867728950E}", true},
        {"0F8FAD5B-D9CB-469F-A165-70867728950E", true},
        {"{0f8fad5b-d9cb-469f-a165-70867728950e}", true},
        {"0f8fad5b-D9CB-469f-A165-70867728950e", true},
        {"", false},
        {"{0F8FAD5B-D9CB-469F-A165-70867728950E", false},    // an opening brace alone
        {"0F8FAD5B-D9CB-469F-A165-70867728950E}", false},    // a closing brace alone
        {"(0F8FAD5B-D9CB-469F-A165-70867728950E)", false},   // other brackets
        {"0F8FAD5BD9CB469FA16570867728950E", false},         // the machine identifier's form
        {"0F8FAD5B-D9CB-469FA-165-70867728950E", false},     // a dash out of place
        {"0F8FAD5B-D9CB-469F-A165-70867728950G", false},     // not a hexadecimal digit
        {"0F8FAD5B-D9CB-469F-A165-70867728950", false},      // a digit short
        {"{{0F8FAD5B-D9CB-469F-A165-70867728950E}}", false},
        {"0F8FAD5B-D9CB-469F-A165 70867728950E", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Guid g{7, 7, 7, {}};
        EXPECT_EQ(GuidFromString(c.text, g), c.parses);
        if (c.parses) {
            EXPECT_EQ(g, kSample);
        }
    }
    Guid back;
    ASSERT_TRUE(GuidFromString(GuidToString(Guid{1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}}), back));
    EXPECT_EQ(back, (Guid{1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}}));
}
