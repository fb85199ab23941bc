#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>

#include "platform/platform.h"
#include "platform/sim/sim_event_log.h"
#include "support/pe_writer.h"
#include "support/test_machine.h"

using namespace qm::platform;
using qm::sim::EventRecordConfig;
using qm::sim::SimMachine;
using qm::test::BuildMessageFile;
using qm::test::BuildMessageTable;
using qm::test::MachineErrorOf;
using qm::test::Message;
using qm::test::TempFolder;
using qm::test::TestMachine;

namespace {

std::uint32_t U32(const std::string& b, std::size_t at) {
    std::uint32_t v = 0;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

std::uint16_t U16(const std::string& b, std::size_t at) {
    std::uint16_t v = 0;
    std::memcpy(&v, b.data() + at, 2);
    return v;
}

// Three records of the application log, the middle one damaged, and an empty system log.
const char* const kLogs = R"({"event_logs": {
  "Application": [
    {"number": 7, "time": "2026-11-30 14:05:10", "event_id": "0xC00003E8", "type": "error", "source": "Ledger Pro",
     "strings": ["C:\\Ledger\\books.dat", "5"], "data": "01 02 03"},
    {"raw": "4C 66 4C 65"},
    {"time": 1796000000, "event_id": 1001, "type": "warning", "source": "Ledger Pro", "computer": "OTHER",
     "strings": ["a fairly long insertion string that makes this record the largest of the three"]}
  ],
  "System": []
}})";

struct Read {
    bool ok;
    DWORD error;
    DWORD bytesRead;
    DWORD bytesNeeded;
    std::string bytes;
};

Read ReadLog(EventLogHandle& log, DWORD flags, DWORD number, DWORD size) {
    std::string buffer(size, '\0');
    Read r{};
    SetLastError(0);
    r.ok = log.ReadEventLog(flags, number, buffer.data(), size, r.bytesRead, r.bytesNeeded);
    r.error = r.ok ? 0 : GetLastError();
    r.bytes = buffer.substr(0, r.bytesRead);
    return r;
}

constexpr DWORD kSeekBack = EVENTLOG_SEEK_READ | EVENTLOG_BACKWARDS_READ;
constexpr DWORD kNextBack = EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ;

constexpr DWORD kFlags = FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY;

struct Formatted {
    DWORD error;
    std::string text;
};

// FormatMessage of a module's message, with the arguments given.
Formatted FromModule(MessageModule* module, DWORD id, const std::vector<std::string>& arguments = {}, DWORD language = 0,
                     DWORD size = 30000) {
    std::string buffer;
    SetLastError(0);
    DWORD n = EventLog().FormatMessage(kFlags, module, id, language, buffer, size, &arguments);
    return {n == 0 ? GetLastError() : 0, buffer};
}

}  // namespace

TEST(SimEventLog, RecordsComeBackInThePublishedLayout) {
    EventRecordConfig r;
    r.number = 42;
    r.timeGenerated = 1796000000;
    r.timeWritten = 1796000003;
    r.eventId = 0xC00003E8;
    r.type = EVENTLOG_AUDIT_FAILURE;
    r.category = 3;
    r.source = "Security";
    r.strings = {"one", "", "three"};
    r.data = "\x01\x02\x03";
    std::string b = qm::sim::EventRecordBytes(r, "QM-TEST-01");
    namespace f = event_record;
    ASSERT_EQ(b.size() % 4, 0u);
    EXPECT_EQ(U32(b, f::kLength), b.size());
    EXPECT_EQ(U32(b, b.size() - 4), b.size());  // the length again, for reading backwards
    EXPECT_EQ(U32(b, f::kReserved), f::kSignature);
    EXPECT_EQ(U32(b, f::kRecordNumber), 42u);
    EXPECT_EQ(U32(b, f::kTimeGenerated), 1796000000u);
    EXPECT_EQ(U32(b, f::kTimeWritten), 1796000003u);
    EXPECT_EQ(U32(b, f::kEventId), 0xC00003E8u);
    EXPECT_EQ(U16(b, f::kEventType), EVENTLOG_AUDIT_FAILURE);
    EXPECT_EQ(U16(b, f::kNumStrings), 3u);
    EXPECT_EQ(U16(b, f::kEventCategory), 3u);
    EXPECT_EQ(std::string(b.c_str() + f::kFixedSize), "Security");
    EXPECT_EQ(std::string(b.c_str() + f::kFixedSize + 9), "QM-TEST-01");
    EXPECT_EQ(U32(b, f::kUserSidLength), 0u);
    EXPECT_EQ(b.substr(U32(b, f::kStringOffset), 11), std::string("one\0\0three\0", 11));
    EXPECT_EQ(U32(b, f::kDataLength), 3u);
    EXPECT_EQ(b.substr(U32(b, f::kDataOffset), 3), "\x01\x02\x03");
    r.damaged = true;
    r.raw = "\x05\x06";
    EXPECT_EQ(qm::sim::EventRecordBytes(r, "X"), "\x05\x06");
}

TEST(SimEventLog, ReadsWholeRecordsBackwardsAndForwardsSequentiallyOrFromANumber) {
    TestMachine m(kLogs);
    auto log = EventLog().OpenEventLog("", "application");
    ASSERT_NE(log, nullptr);
    DWORD oldest = 0, count = 0;
    ASSERT_TRUE(log->GetOldestEventLogRecord(oldest));
    ASSERT_TRUE(log->GetNumberOfEventLogRecords(count));
    EXPECT_EQ(oldest, 7u);
    EXPECT_EQ(count, 3u);

    // A one-byte read tells the size of the newest record.
    Read first = ReadLog(*log, kNextBack, 0, 1);
    EXPECT_FALSE(first.ok);
    EXPECT_EQ(first.error, ERROR_INSUFFICIENT_BUFFER);
    ASSERT_GT(first.bytesNeeded, 56u);
    Read newest = ReadLog(*log, kSeekBack, 9, first.bytesNeeded);
    ASSERT_TRUE(newest.ok);
    EXPECT_EQ(newest.bytesRead, first.bytesNeeded);
    EXPECT_EQ(U32(newest.bytes, event_record::kRecordNumber), 9u);
    EXPECT_EQ(std::string(newest.bytes.c_str() + 56 + 11), "OTHER");
    // The damaged record comes as it is; a large buffer takes it and the one before it.
    Read two = ReadLog(*log, kSeekBack, 8, 4096);
    ASSERT_TRUE(two.ok);
    EXPECT_EQ(two.bytes.substr(0, 4), "LfLe");
    EXPECT_EQ(U32(two.bytes, 4 + event_record::kRecordNumber), 7u);
    EXPECT_EQ(two.bytesRead, 4 + U32(two.bytes, 4));
    // A sequential read goes on after the last record read: none is older.
    EXPECT_EQ(ReadLog(*log, kNextBack, 0, 4096).error, ERROR_HANDLE_EOF);
    Read forwards = ReadLog(*log, EVENTLOG_SEEK_READ | EVENTLOG_FORWARDS_READ, 8, 4096);
    ASSERT_TRUE(forwards.ok);
    EXPECT_EQ(forwards.bytesRead, 4 + newest.bytesRead);
    // A record the log does not hold, flags of no single way, a buffer too small.
    EXPECT_EQ(ReadLog(*log, kSeekBack, 6, 4096).error, ERROR_INVALID_PARAMETER);
    EXPECT_EQ(ReadLog(*log, EVENTLOG_SEEK_READ | EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ, 9, 4096).error,
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(ReadLog(*log, EVENTLOG_SEEK_READ, 9, 4096).error, ERROR_INVALID_PARAMETER);
    Read tight = ReadLog(*log, kSeekBack, 9, first.bytesNeeded - 1);
    EXPECT_EQ(tight.error, ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(tight.bytesNeeded, first.bytesNeeded);
    EXPECT_TRUE(log->CloseEventLog());
    EXPECT_EQ(ReadLog(*log, kSeekBack, 9, 4096).error, ERROR_INVALID_HANDLE);
    EXPECT_FALSE(log->CloseEventLog());

    auto system = EventLog().OpenEventLog("\\\\QM-TEST-01", "System");
    ASSERT_NE(system, nullptr);
    ASSERT_TRUE(system->GetOldestEventLogRecord(oldest));
    EXPECT_EQ(oldest, 0u);
    EXPECT_EQ(ReadLog(*system, kNextBack, 0, 1).error, ERROR_HANDLE_EOF);
}

TEST(SimEventLog, OpensAsWindowsDoesAndFailsEachCallOnPurpose) {
    TestMachine m(kLogs);
    // A log the service does not know is the application log.
    auto unknown = EventLog().OpenEventLog("", "Directory Service");
    ASSERT_NE(unknown, nullptr);
    DWORD count = 0;
    ASSERT_TRUE(unknown->GetNumberOfEventLogRecords(count));
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(EventLog().OpenEventLog("OTHERPC", "System"), nullptr);
    EXPECT_EQ(GetLastError(), RPC_S_SERVER_UNAVAILABLE);

    m.Machine().AddFault({"OpenEventLog", "System", ERROR_ACCESS_DENIED, false, 1});
    EXPECT_EQ(EventLog().OpenEventLog("", "System"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    auto log = EventLog().OpenEventLog("", "Application");
    ASSERT_NE(log, nullptr);
    m.Machine().AddFault({"GetOldestEventLogRecord", "Application", 5, false, 1});
    m.Machine().AddFault({"GetNumberOfEventLogRecords", "Application", 5, false, 1});
    m.Machine().AddFault({"ReadEventLog", "Application", ERROR_INSUFFICIENT_BUFFER, false, 1, 1});
    m.Machine().AddFault({"CloseEventLog", "Application", 6, false, 1});
    DWORD value = 0;
    EXPECT_FALSE(log->GetOldestEventLogRecord(value));
    EXPECT_FALSE(log->GetNumberOfEventLogRecords(value));
    EXPECT_TRUE(ReadLog(*log, kSeekBack, 7, 4096).ok);
    // A buffer the service calls too small, for a record that fits: it names the size it has.
    Read refused = ReadLog(*log, kSeekBack, 7, 4096);
    EXPECT_EQ(refused.error, ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(refused.bytesNeeded, U32(qm::sim::EventRecordBytes(m.Machine().Config().eventLogs.logs[0].records[0], "QM-TEST-01"), 0));
    EXPECT_FALSE(log->CloseEventLog());
    EXPECT_TRUE(log->CloseEventLog());

    TestMachine nine(R"({"version": {"platform_id": 1, "major": 4, "minor": 10}})");
    EXPECT_EQ(EventLog().OpenEventLog("", "Application"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_CALL_NOT_IMPLEMENTED);
}

TEST(SimEventLog, TheLogsMayLieInAFileBesideTheMachineFile) {
    TempFolder folder;
    std::ofstream(folder.Path() + "/logs.json") << R"({"System": [{"number": 3, "source": "Disk", "type": 2, "event_id": 11}]})";
    auto machine = SimMachine::FromJson(R"({"event_logs": "logs.json"})", folder.Path());
    const auto& logs = machine->Config().eventLogs;
    ASSERT_EQ(logs.logs.size(), 1u);
    EXPECT_EQ(logs.logs[0].name, "System");
    ASSERT_EQ(logs.logs[0].records.size(), 1u);
    EXPECT_EQ(logs.logs[0].records[0].number, 3u);
    EXPECT_EQ(logs.logs[0].records[0].type, EVENTLOG_WARNING_TYPE);
}

TEST(SimEventLog, TheMachineFileRefusesWhatNoLogHolds) {
    TempFolder folder;
    std::ofstream(folder.Path() + "/broken.json") << "{oops";
    const std::pair<const char*, const char*> cases[] = {
        {R"({"event_logs": []})", "machine.json: /event_logs: expected the logs by name, each an array of records"},
        {R"({"event_logs": {"System": {}}})", "machine.json: /event_logs/System: expected an array of records, oldest first"},
        {R"({"event_logs": {"System": [{"number": 0}]}})",
         "machine.json: /event_logs/System/0/number: record numbers start at 1 and grow from record to record"},
        {R"({"event_logs": {"System": [{"number": 5}, {"number": 5}]}})",
         "machine.json: /event_logs/System/1/number: record numbers start at 1 and grow from record to record"},
        {R"({"event_logs": {"System": [{"time": "2026-02-30 10:00:00"}]}})",
         "machine.json: /event_logs/System/0/time: expected seconds since 1970 or a UTC time such as \"2026-11-30 14:05:10\""},
        {R"({"event_logs": {"System": [{"type": "fatal"}]}})",
         "machine.json: /event_logs/System/0/type: expected error, warning, information, success_audit, failure_audit or a number"},
        {R"({"event_logs": {"System": [{"event_id": "0x1FFFFFFFF"}]}})",
         "machine.json: /event_logs/System/0/event_id: expected a whole number from 0 to 4294967295"},
        {R"({"event_logs": {"System": [{"raw": "4C 6"}]}})", "machine.json: /event_logs/System/0/raw: expected bytes in hexadecimal pairs"},
        {R"({"event_logs": {"System": [{"raw": ""}]}})", "machine.json: /event_logs/System/0/raw: a damaged record has at least one byte"},
        {R"({"event_logs": {"System": [{"raw": "00", "source": "x"}]}})",
         "machine.json: /event_logs/System/0/source: a damaged record has only its number and its raw bytes"},
        {R"({"event_logs": {"System": [{"strings": ["a", 2]}]}})", "machine.json: /event_logs/System/0/strings/1: expected a text"},
        {R"({"event_logs": {"System": [{"sorce": "typo"}]}})", "machine.json: /event_logs/System/0/sorce: unknown entry"},
        {R"({"event_logs": "../logs.json"})", "machine.json: /event_logs: expected the logs, or the name of a file beside the machine file"},
    };
    for (const auto& [json, error] : cases) EXPECT_EQ(MachineErrorOf(json, folder.Path()), error) << json;
    EXPECT_EQ(MachineErrorOf(R"({"event_logs": "missing.json"})", folder.Path()),
              "machine.json: /event_logs: cannot read " + folder.Path() + "/missing.json");
    EXPECT_EQ(MachineErrorOf(R"({"event_logs": "broken.json"})", folder.Path()).rfind(folder.Path() + "/broken.json: [json.exception", 0), 0u);
}

TEST(SimMessageFiles, FormatMessageReadsTheModulesTableInTheLanguageItFinds) {
    TestMachine m(R"({"locale": {"language_id": "040c"}})");
    m.WriteFile("C:\\WINDOWS\\system32\\msgs.dll",
                BuildMessageFile({{0x0409, {{1, "Disk %1 is full.\r\n"}, {2, "English only %1!d!%0"}}},
                                  {0x040C, {{1, "Le disque %1 est plein.\r\n", false}}}}));
    m.WriteFile("C:\\WINDOWS\\system32\\plain.dll", qm::test::BuildPeFileWithoutResources());
    m.WriteFile("C:\\WINDOWS\\system32\\notes.txt", "not a program");
    auto module = EventLog().LoadLibraryEx("C:\\WINDOWS\\system32\\msgs.dll", LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    // The user's language first, then US English, then any.
    EXPECT_EQ(FromModule(module.get(), 1, {"C:"}).text, "Le disque C: est plein.\r\n");
    EXPECT_EQ(FromModule(module.get(), 2, {"7"}).text, "English only 7");
    EXPECT_EQ(FromModule(module.get(), 1, {"C:"}, 0x0409).text, "Disk C: is full.\r\n");
    EXPECT_EQ(FromModule(module.get(), 2, {"7"}, 0x040C).error, ERROR_MR_MID_NOT_FOUND);
    EXPECT_EQ(FromModule(module.get(), 1, {"C:"}, 0x0407).error, ERROR_RESOURCE_LANG_NOT_FOUND);
    EXPECT_EQ(FromModule(module.get(), 3).error, ERROR_MR_MID_NOT_FOUND);
    EXPECT_EQ(FromModule(module.get(), 1, {}).error, ERROR_INVALID_PARAMETER);
    EXPECT_EQ(FromModule(module.get(), 1, {"C:"}, 0, 10).error, ERROR_INSUFFICIENT_BUFFER);
    std::string buffer;
    EXPECT_EQ(EventLog().FormatMessage(FORMAT_MESSAGE_ARGUMENT_ARRAY, module.get(), 1, 0, buffer, 100, nullptr), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    m.Machine().AddFault({"FormatMessage", "C:\\WINDOWS\\system32\\msgs.dll", 8, false, 1});
    EXPECT_EQ(FromModule(module.get(), 1, {"C:"}).error, 8u);
    m.Machine().AddFault({"FreeLibrary", "C:\\WINDOWS\\system32\\msgs.dll", 5, false, 1});
    EXPECT_FALSE(module->FreeLibrary());
    EXPECT_TRUE(module->FreeLibrary());
    EXPECT_EQ(FromModule(module.get(), 1, {"C:"}).error, ERROR_INVALID_HANDLE);
    EXPECT_FALSE(module->FreeLibrary());

    auto plain = EventLog().LoadLibraryEx("C:\\WINDOWS\\system32\\plain.dll", LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(FromModule(plain.get(), 1).error, ERROR_RESOURCE_TYPE_NOT_FOUND);
    const std::pair<const char*, DWORD> refused[] = {{"C:\\WINDOWS\\system32\\notes.txt", ERROR_BAD_EXE_FORMAT},
                                                     {"C:\\WINDOWS\\system32\\none.dll", ERROR_FILE_NOT_FOUND},
                                                     {"C:\\NOWHERE\\none.dll", ERROR_PATH_NOT_FOUND}};
    for (const auto& [path, error] : refused) {
        EXPECT_EQ(EventLog().LoadLibraryEx(path, LOAD_LIBRARY_AS_DATAFILE), nullptr) << path;
        EXPECT_EQ(GetLastError(), error) << path;
    }
    EXPECT_EQ(EventLog().LoadLibraryEx("C:\\WINDOWS\\system32\\msgs.dll", 0), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
    m.Machine().AddFault({"LoadLibraryEx", "C:\\WINDOWS\\system32", 5, false, -1});
    EXPECT_EQ(EventLog().LoadLibraryEx("C:\\WINDOWS\\system32\\msgs.dll", LOAD_LIBRARY_AS_DATAFILE), nullptr);
}

// The message compiler and resource compiler of the MinGW binutils (installed with the rest of
// the test tools) make a real message DLL: the machine reads it as it reads the test writer's, and the writer lays
// the table out byte for byte as the compiler does.
TEST(SimMessageFiles, AMessageFileOfTheMessageCompilerReadsAlike) {
    const std::string tools = "x86_64-w64-mingw32-";
    ASSERT_EQ(std::system(("command -v " + tools + "windmc >/dev/null 2>&1 && command -v " + tools +
                           "windres >/dev/null 2>&1 && command -v " + tools + "ld >/dev/null 2>&1").c_str()),
              0)
        << "the MinGW binutils are not installed";
    TempFolder work;
    const std::string& w = work.Path();
    std::ofstream(w + "/app.mc", std::ios::binary)
        << "LanguageNames=(English=0x409:MSG00409)\r\n\r\n"
           "MessageId=1000\r\nSeverity=Error\r\nLanguage=English\r\n"
           "The file %1 could not be opened: %2!d! tries.%n\r\n.\r\n\r\n"
           "MessageId=1001\r\nSeverity=Warning\r\nLanguage=English\r\nLow space on %1%0\r\n.\r\n\r\n"
           "MessageId=1002\r\nSeverity=Success\r\nLanguage=English\r\nDone.\r\n.\r\n";
    // The resource compiler wants a preprocessor; the script is ours and gives the file as it is.
    std::ofstream(w + "/rc.rc") << "LANGUAGE 0x9, 0x1\n1 MESSAGETABLE \"" << w << "/MSG00409.bin\"\n";
    std::ofstream(w + "/pp.sh") << "#!/bin/sh\nfor a; do f=\"$a\"; done\nexec cat \"$f\"\n";
    std::string build = "cd '" + w + "' && chmod +x pp.sh && " + tools + "windmc -U app.mc && " + tools +
                        "windres --preprocessor=./pp.sh -i rc.rc -o rc.o && " + tools + "ld --dll -e 0 -o app.dll rc.o";
    ASSERT_EQ(std::system((build + " >/dev/null 2>&1").c_str()), 0) << build;
    std::string compiled = qm::test::ReadHostFile(w + "/MSG00409.bin").value_or("");
    std::string dll = qm::test::ReadHostFile(w + "/app.dll").value_or("");
    ASSERT_FALSE(dll.empty());

    // The compiler keeps the lines of the text and ends each with what the file has.
    const std::vector<Message> messages = {{0xC00003E8, "The file %1 could not be opened: %2!d! tries.%n\r\n"},
                                           {0x800003E9, "Low space on %1%0\r\n"},
                                           {0x000003EA, "Done.\r\n"}};
    EXPECT_EQ(BuildMessageTable(messages), compiled);
    TestMachine m;
    m.WriteFile("C:\\Apps\\app.dll", dll);
    m.WriteFile("C:\\Apps\\ours.dll", BuildMessageFile({{0x0409, messages}}));
    for (const char* file : {"C:\\Apps\\app.dll", "C:\\Apps\\ours.dll"}) {
        SCOPED_TRACE(file);
        auto module = EventLog().LoadLibraryEx(file, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module, nullptr);
        EXPECT_EQ(FromModule(module.get(), 0xC00003E8, {"a.txt", "3"}).text, "The file a.txt could not be opened: 3 tries.\r\n\r\n");
        EXPECT_EQ(FromModule(module.get(), 0x800003E9, {"C:"}).text, "Low space on C:");
        EXPECT_EQ(FromModule(module.get(), 0x3EA).text, "Done.\r\n");
    }
}
