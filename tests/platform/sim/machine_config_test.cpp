#include <gtest/gtest.h>

#include "platform/platform.h"
#include "support/test_machine.h"

using qm::test::MachineErrorOf;

TEST(MachineFile, BrokenFilesNameTheFileAndThePlace) {
    EXPECT_NE(MachineErrorOf("{\n  \"computer_name\": \"A\",\n  oops\n}").find("machine.json: [json.exception.parse_error.101] parse error at line 3"),
              std::string::npos);
    EXPECT_EQ(MachineErrorOf(R"({"drives": [{"letter": "C", "folder": "c"}, {"letter": "CD", "folder": "d"}]})"),
              "machine.json: /drives/1/letter: expected a drive letter from A to Z");
    EXPECT_EQ(MachineErrorOf(R"({"drives": [{"letter": "C", "type": "floppy", "folder": "c"}]})"),
              "machine.json: /drives/0/type: unknown drive type \"floppy\" (removable, fixed, remote, cdrom, ramdisk, unknown, no_root)");
    EXPECT_EQ(MachineErrorOf(R"({"version": {"major": "five"}})"), "machine.json: /version/major: expected a whole number");
    EXPECT_EQ(MachineErrorOf(R"({"clock": {"virtual": true, "start": "yesterday"}})"),
              "machine.json: /clock/start: expected a time such as \"2026-12-09T07:03:05.042\", or \"now\"");
    EXPECT_EQ(MachineErrorOf(R"({"compuer_name": "typo"})"), "machine.json: /compuer_name: unknown entry");
    EXPECT_EQ(MachineErrorOf(R"({"locale": {"code_page": 932}})"),
              "machine.json: /locale/code_page: ANSI code page 932 is not a single-byte code page");
    EXPECT_EQ(MachineErrorOf(R"({"drives": [{"letter": "C", "folder": "c"}], "attributes": {"C:\\none.txt": "R"}})"),
              "attributes: C:\\none.txt does not exist");
    EXPECT_EQ(MachineErrorOf(R"({"guids": ["not a guid"]})"), "guids: \"not a guid\" is not a GUID");
    EXPECT_EQ(MachineErrorOf("[1, 2]"), "machine.json: /: expected an object");
    // Beyond the range asked for even where the range ends at the largest signed number.
    EXPECT_EQ(MachineErrorOf(R"({"version": {"build": 18446744073709551615}})"),
              "machine.json: /version/build: expected a number from 0 to 4294967295");
    EXPECT_EQ(MachineErrorOf(R"({"drives": [{"letter": "C", "folder": "c", "total_bytes": 9223372036854775808}]})"),
              "machine.json: /drives/0/total_bytes: expected a number from 0 to 9223372036854775807");
}

TEST(MachineFile, ANumberTooLargeForADoubleNamesTheFileAndThePlace) {
    EXPECT_EQ(MachineErrorOf("{\n  \"memory\": {\"total\": 1E400}\n}"),
              "machine.json: line 2, column 23: [json.exception.out_of_range.406] number overflow parsing '1E400'");
    EXPECT_EQ(MachineErrorOf("{\"screen\": -1e999}"),
              "machine.json: line 1, column 12: [json.exception.out_of_range.406] number overflow parsing '-1e999'");
}
