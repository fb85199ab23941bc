#include <gtest/gtest.h>

#include "delivery/scrambling.h"
#include "platform/platform.h"
#include "support/agent_state.h"
#include "support/test_machine.h"

using namespace qm::delivery;
using qm::test::kTraceLog;
using qm::test::StartAgentWithLog;
using qm::test::TestMachine;

TEST(ScrambleString, XorsEveryCharacterWithTheHighByteOfTheKey) {
    // 38219 is 0x954B: only 0x95 takes effect.
    EXPECT_EQ(ScrambleString("Abc", kByteXorKey), "\xD4\xF7\xF6");
    EXPECT_EQ(ScrambleString(std::string("\x00\x95\xFF", 3), kByteXorKey), std::string("\x95\x00\x6A", 3));
    EXPECT_EQ(ScrambleString("Abc", 0x95FF), ScrambleString("Abc", kByteXorKey));
    EXPECT_EQ(ScrambleString("", kByteXorKey), "");
    const std::string password = "s3cr\xE9t, \"quoted\"";
    EXPECT_EQ(ScrambleString(ScrambleString(password, kByteXorKey), kByteXorKey), password);
}

TEST(EncryptFile, WritesTheScrambledCopyAndIsItsOwnInverse) {
    TestMachine m;
    const std::string plain("\x00\x95\xFF\r\n\"Identification\"", 21);
    m.WriteFile("C:\\in\\plain.hrz", plain);
    m.WriteFile("C:\\out\\scrambled.hrz", "an older, longer copy that is replaced");
    StartAgentWithLog();
    ASSERT_TRUE(EncryptFile("C:\\in\\plain.hrz", "C:\\out\\scrambled.hrz", kByteXorKey));
    std::string scrambled = m.ReadFile("C:\\out\\scrambled.hrz");
    ASSERT_EQ(scrambled.size(), plain.size());
    EXPECT_EQ(scrambled.substr(0, 5), std::string("\x95\x00\x6A\x98\x9F", 5));
    EXPECT_EQ(scrambled, ScrambleString(plain, kByteXorKey));

    ASSERT_TRUE(EncryptFile("C:\\out\\scrambled.hrz", "C:\\out\\again.hrz", kByteXorKey));
    EXPECT_EQ(m.ReadFile("C:\\out\\again.hrz"), plain);
    EXPECT_NE(m.ReadFile(kTraceLog).find("|save EncryptFile:C:\\out\\scrambled.hrz\r\n"), std::string::npos);

    // Larger than the pieces it is scrambled in, and not a multiple of them.
    std::string large;
    for (std::size_t i = 0; large.size() < (3u << 20) + 7; ++i) large += static_cast<char>(i * 131 % 251);
    m.WriteFile("C:\\in\\large.hrz", large);
    ASSERT_TRUE(EncryptFile("C:\\in\\large.hrz", "C:\\out\\large.hrz", kByteXorKey));
    EXPECT_TRUE(m.ReadFile("C:\\out\\large.hrz") == ScrambleString(large, kByteXorKey));

    m.WriteFile("C:\\in\\empty.sfz", "");
    ASSERT_TRUE(EncryptFile("C:\\in\\empty.sfz", "C:\\out\\empty.sfz", kByteXorKey));
    EXPECT_TRUE(m.Exists("C:\\out\\empty.sfz"));
    EXPECT_EQ(m.ReadFile("C:\\out\\empty.sfz"), "");
}

TEST(EncryptFile, AFailureIsReportedAndLeavesTheTargetAsItWas) {
    TestMachine m;
    m.WriteFile("C:\\in\\plain.hrz", "plain");
    m.WriteFile("C:\\out\\scrambled.hrz", "previous");
    StartAgentWithLog();

    EXPECT_FALSE(EncryptFile("C:\\in\\missing.hrz", "C:\\out\\scrambled.hrz", kByteXorKey));
    EXPECT_EQ(m.ReadFile("C:\\out\\scrambled.hrz"), "previous");
    EXPECT_NE(m.ReadFile(kTraceLog).find("|read EncryptFile ERROR:Cannot read C:\\in\\missing.hrz (error 2)"),
              std::string::npos);
    // A source that breaks off while it is read leaves the target as it was, and nothing
    // beside it.
    m.Machine().AddFault({"ReadFile", "C:\\in\\plain.hrz", qm::platform::ERROR_ACCESS_DENIED, false, -1});
    EXPECT_FALSE(EncryptFile("C:\\in\\plain.hrz", "C:\\out\\scrambled.hrz", kByteXorKey));
    m.Machine().ClearFaults();
    EXPECT_EQ(m.ReadFile("C:\\out\\scrambled.hrz"), "previous");
    EXPECT_NE(m.ReadFile(kTraceLog).find("|read EncryptFile ERROR:Cannot read C:\\in\\plain.hrz (error 5)"),
              std::string::npos);
    {
        qm::platform::FindData data;
        EXPECT_EQ(qm::platform::Files().FindFirstFile("C:\\out\\*.tmp", data), nullptr);
    }

    struct Case {
        const char* op;
        const char* path;
    };
    const Case cases[] = {
        {"write", "C:\\out"},                   // nothing can be written there
        {"WriteFile", "C:\\out"},               // the temporary copy breaks off
        {"MoveFile", "C:\\out"},                // the copy cannot be renamed into place
        {"CreateFile", "C:\\out\\scrambled.hrz"},  // the target itself is locked
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.op);
        m.Machine().ClearFaults();
        m.Machine().AddFault({c.op, c.path, qm::platform::ERROR_ACCESS_DENIED, false, -1});
        bool written = EncryptFile("C:\\in\\plain.hrz", "C:\\out\\scrambled.hrz", kByteXorKey);
        m.Machine().ClearFaults();
        if (std::string(c.op) == "CreateFile") {
            // Only the target's own name is locked: the copy goes through a temporary name.
            EXPECT_TRUE(written);
            EXPECT_EQ(m.ReadFile("C:\\out\\scrambled.hrz"), ScrambleString("plain", kByteXorKey));
            m.WriteFile("C:\\out\\scrambled.hrz", "previous");
            continue;
        }
        EXPECT_FALSE(written);
        EXPECT_EQ(m.ReadFile("C:\\out\\scrambled.hrz"), "previous");
        EXPECT_NE(m.ReadFile(kTraceLog).find("|save EncryptFile ERROR:Cannot write C:\\out\\scrambled.hrz (error 5)"),
                  std::string::npos);
        qm::platform::FindData data;
        auto left = qm::platform::Files().FindFirstFile("C:\\out\\*.tmp", data);
        EXPECT_EQ(left, nullptr) << data.cFileName;
    }
}

TEST(Base64Decode, AcceptsOnlyStrictBase64) {
    struct Case {
        const char* text;
        std::string bytes;
    };
    const Case cases[] = {
        {"", ""},
        {"YWJj", "abc"},
        {"YWI=", "ab"},
        {"YQ==", "a"},
        {"YQ=x", "a"},  // a third "=" ends the decoding, whatever follows
        {"YWJjZA==", "abcd"},
        {"+/+/", "\xFB\xFF\xBF"},
        {"AAAA", std::string(3, '\0')},
        {"YQ", ""},             // length not divisible by 4
        {"YWJjZ", ""},
        {"YQ==YWJj", ""},       // padding in an earlier group
        {"YW\nj", ""},          // line break
        {"YWJj\r\nYQ==", ""},
        {"YW j", ""},           // blank
        {"-_-_", ""},           // the URL alphabet is not this one
        {"Y===", ""},           // the second character must be of the alphabet
        {"=YWJ", ""},
        {"YWJ\x80", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Base64Decode(c.text), c.bytes);
    }
}

TEST(Base64Encode, IsTheInverseOfTheDecoder) {
    EXPECT_EQ(Base64Encode(""), "");
    EXPECT_EQ(Base64Encode("a"), "YQ==");
    EXPECT_EQ(Base64Encode("ab"), "YWI=");
    EXPECT_EQ(Base64Encode("abc"), "YWJj");
    std::string all;
    for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
    for (std::size_t n = 0; n < 7; ++n) EXPECT_EQ(Base64Decode(Base64Encode(all.substr(250 - n))), all.substr(250 - n));
    EXPECT_EQ(Base64Decode(Base64Encode(all)), all);
}

TEST(DecodeSetting, UndoesTheStoredShiftAndXorBetweenTheFillers) {
    // "ftp": 0x66, 0x74, 0x70 XOR 0x91 are 0xF7, 0xE5, 0xE1; shifted by 0, 145 and 34 they are
    // stored as 0xF7, 0x76, 0x03 between "ABCDEFGH" and "IJKLMNOP".
    EXPECT_EQ(DecodeSetting("QUJDREVGR0j3dgNJSktMTU5PUA==", kSettingsKey), "ftp");
    EXPECT_EQ(DecodeSetting("AAAAAAAAAAD3dgMAAAAAAAAAAA==", kSettingsKey), "ftp");  // fillers are ignored
    EXPECT_EQ(DecodeSetting("QUJDREVGR0j3dgNyOL5W82kWnvrLUdNJSktMTU5PUA==", kSettingsKey), "ftp.example.net");
    // Only the low byte of the key takes effect.
    EXPECT_EQ(DecodeSetting("QUJDREVGR0j3dgNJSktMTU5PUA==", 0x0091), "ftp");

    struct Case {
        const char* text;
        std::string plain;
    };
    const Case cases[] = {
        {"AAAAAAAAAAAAAAAAAAAAAA==", ""},         // 16 bytes: fillers only
        {"AAAAAAAAAAAAAAAAAAAAAAA=", "\x91"},     // 17 bytes: one character
        {"QUJDREVGR0jpSUpLTE1OT1A=", "x"},
        {"AAAAAAAAAAAAAAAAAAAA", ""},             // 15 bytes
        {"", ""},
        {"QUJDREVGR0j3dgNJSktMTU5PUA=", ""},      // bad base64
        {"QUJDREVGR0j3dgNJSktMTU5P\r\nUA==", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(DecodeSetting(c.text, kSettingsKey), c.plain);
    }
}

TEST(EncodeSetting, IsTheExactInverseOfTheDecoder) {
    EXPECT_EQ(EncodeSetting("ftp", kSettingsKey, "ABCDEFGHIJKLMNOP"), "QUJDREVGR0j3dgNJSktMTU5PUA==");
    EXPECT_EQ(EncodeSetting("ftp", kSettingsKey), "AAAAAAAAAAD3dgMAAAAAAAAAAA==");
    std::string long_text;
    for (int i = 0; i < 600; ++i) long_text += static_cast<char>(i * 7 + 3);
    const std::string values[] = {"", "x", "smtp.example.org", "user@example.org", "\x80\xFF\x00 bytes", long_text};
    for (const std::string& v : values) {
        EXPECT_EQ(DecodeSetting(EncodeSetting(v, kSettingsKey, "fillerfillerfill"), kSettingsKey), v);
        EXPECT_EQ(DecodeSetting(EncodeSetting(v, 0x1234), 0x1234), v);
    }
    EXPECT_EQ(Base64Decode(EncodeSetting("abc", kSettingsKey)).size(), 19u);
}

namespace {

// A file of bytes in memory whose writes take at most `perWrite` bytes a call.
class PartialFile final : public qm::platform::File {
public:
    explicit PartialFile(std::string bytes = {}, qm::platform::DWORD perWrite = 0) : bytes_(std::move(bytes)), perWrite_(perWrite) {}
    bool ReadFile(void* buffer, qm::platform::DWORD toRead, qm::platform::DWORD& read) override {
        read = static_cast<qm::platform::DWORD>(std::min<std::size_t>(toRead, bytes_.size() - at_));
        std::copy_n(bytes_.data() + at_, read, static_cast<char*>(buffer));
        at_ += read;
        return true;
    }
    bool WriteFile(const void* data, qm::platform::DWORD size, qm::platform::DWORD& written) override {
        written = std::min(size, perWrite_);
        bytes_.append(static_cast<const char*>(data), written);
        return true;
    }
    bool FlushFileBuffers() override { return true; }
    bool SetEndOfFile() override { return true; }
    bool SetFilePointerEx(std::int64_t, qm::platform::MoveMethod, std::uint64_t*) override { return true; }
    bool GetFileSizeEx(std::uint64_t& size) override {
        size = bytes_.size();
        return true;
    }
    bool SetFileTime(const qm::platform::FILETIME*) override { return true; }
    const std::string& Bytes() const { return bytes_; }

private:
    std::string bytes_;
    qm::platform::DWORD perWrite_;
    std::size_t at_ = 0;
};

}  // namespace

TEST(ScrambledCopyOf, AWriteThatTakesPartOfAPieceIsAskedAgainAndOneThatTakesNothingFails) {
    const std::string plain(700 * 1024, 'x');
    {
        PartialFile source(plain), out({}, 100 * 1024);
        bool unreadable = false;
        EXPECT_TRUE(ScrambledCopyOf(source, kByteXorKey, unreadable)(out));
        EXPECT_FALSE(unreadable);
        EXPECT_EQ(out.Bytes(), ScrambleString(plain, kByteXorKey));
    }
    {
        // A target that takes nothing counts as not written, and the copy does not go round for ever.
        PartialFile source(plain), out({}, 0);
        bool unreadable = false;
        EXPECT_FALSE(ScrambledCopyOf(source, kByteXorKey, unreadable)(out));
        EXPECT_FALSE(unreadable);
        EXPECT_EQ(qm::platform::GetLastError(), qm::platform::ERROR_WRITE_FAULT);
    }
}
