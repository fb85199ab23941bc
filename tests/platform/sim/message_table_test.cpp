#include <gtest/gtest.h>

#include "platform/sim/code_page_table.h"
#include "platform/sim/message_table.h"
#include "support/le_bytes.h"
#include "support/pe_writer.h"

using namespace qm::platform;
using qm::sim::FormatMessageText;
using qm::test::BuildMessageTable;
using qm::test::Message;

namespace {

struct Formatted {
    DWORD error;
    std::string text;
};

Formatted Format(std::string_view text, const std::vector<std::string>* arguments, std::size_t limit = 30000) {
    std::string out;
    DWORD error = FormatMessageText(text, arguments, limit, out);
    return {error, out};
}

}  // namespace

TEST(MessageText, InsertsEscapesAndFormatsAreFilledAsFormatMessageFillsThem) {
    std::vector<std::string> args;
    for (int i = 1; i <= 99; ++i) args.push_back("a" + std::to_string(i));
    args[1] = "42";
    args[2] = "-3";
    args[3] = "8";
    args[4] = "1";
    struct Case {
        const char* text;
        const char* result;
    };
    const Case cases[] = {
        {"%1 and %2", "a1 and 42"},
        {"%99 %100", "a99 a100"},  // two digits at most: %10 then "0"
        {"%1%0 never shown", "a1"},
        {"line%nnext%rcr%ttab", "line\r\nnext\rcr\ttab"},
        {"100%% sure%. %!% end", "100% sure. ! end"},
        {"%1!-5s!|%1!5s!|%1!.1s!", "a1   |   a1|a"},
        {"%2!d! %2!04X! %2!#x! %3!d! %3!u! %3!hd! %3!hu! %3!I64d!", "42 002A 0x2a -3 4294967293 -3 65533 -3"},
        {"%2!+d! %2!o! %2!c!", "+42 52 *"},
        {"%4!*s!|", "       1|"},           // the width from %4, the text from %5
        {"%4!*.*s!|", "       a|"},          // the width from %4, the precision from %5, the text from %6
        {"%2!08.3d!", "     042"},             // a precision makes the zero flag pad with blanks
        {"no inserts at all\r\n", "no inserts at all\r\n"},
        {"%", ""},
        {"%q", "q"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Formatted f = Format(c.text, &args);
        EXPECT_EQ(f.error, ERROR_SUCCESS);
        EXPECT_EQ(f.text, c.result);
    }
    // What has no argument, or no format to read, fails; so does a result that does not fit.
    std::vector<std::string> two{"x", "y"};
    for (const char* text : {"%3", "%1!s", "%1!n!", "%1!10.2f!", "%1!ss!"}) EXPECT_EQ(Format(text, &two).error, ERROR_INVALID_PARAMETER) << text;
    EXPECT_EQ(Format("%1", nullptr).error, ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Format("plain", nullptr).text, "plain");
    EXPECT_EQ(Format("12345", &two, 6).text, "12345");
    EXPECT_EQ(Format("123456", &two, 6).error, ERROR_INSUFFICIENT_BUFFER);
    // A width the size of the buffer costs no more than the buffer.
    Formatted wide = Format("%1!999999999s!", &two, 100);
    EXPECT_EQ(wide.error, ERROR_INSUFFICIENT_BUFFER);
    EXPECT_TRUE(wide.text.empty());
}

TEST(MessageTable, FindsAnsiAndUtf16EntriesWithinTheTableOnly) {
    qm::sim::CodePageTable cp(1252);
    std::string table = BuildMessageTable({{1000, "Fichier ouvert : %1", false}, {1001, "Éteint\r\n", true},
                                           {1002, "", true}, {0xC0000005, "Zugriff verweigert", true}});
    std::string text;
    ASSERT_TRUE(qm::sim::FindMessageText(table, 1000, cp, text));
    EXPECT_EQ(text, "Fichier ouvert : %1");
    ASSERT_TRUE(qm::sim::FindMessageText(table, 1001, cp, text));
    EXPECT_EQ(text, "\xC9teint\r\n");
    ASSERT_TRUE(qm::sim::FindMessageText(table, 1002, cp, text));
    EXPECT_EQ(text, "");
    ASSERT_TRUE(qm::sim::FindMessageText(table, 0xC0000005, cp, text));
    EXPECT_EQ(text, "Zugriff verweigert");
    EXPECT_FALSE(qm::sim::FindMessageText(table, 1003, cp, text));
    EXPECT_FALSE(qm::sim::FindMessageText(table, 5, cp, text));
    // Damage: a table cut inside its entries, an entry of length 0, a block count past the
    // end, an entry offset far beyond the table.
    EXPECT_FALSE(qm::sim::FindMessageText(table.substr(0, 60), 1002, cp, text));
    std::string zero = table;
    qm::test::Set16(zero, 4 + 2 * 12, 0);  // the first entry of the first block
    EXPECT_FALSE(qm::sim::FindMessageText(zero, 1001, cp, text));
    std::string blocks = table;
    qm::test::Set32(blocks, 0, 0xFFFFFFFFu);
    EXPECT_TRUE(qm::sim::FindMessageText(blocks, 1000, cp, text));
    std::string far = table;
    qm::test::Set32(far, 4 + 8, 0x7FFFFFF0u);
    EXPECT_FALSE(qm::sim::FindMessageText(far, 1000, cp, text));
    EXPECT_FALSE(qm::sim::FindMessageText("", 1000, cp, text));
}
