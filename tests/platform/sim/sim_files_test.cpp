#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <map>

#include <filesystem>
#include <functional>
#include <fstream>

#include "platform/platform.h"
#include "platform/time.h"
#include "support/test_machine.h"

using namespace qm::platform;
using qm::test::TestMachine;

namespace {

std::vector<std::string> ListNames(const std::string& pattern) {
    std::vector<std::string> names;
    FindData d;
    auto h = Files().FindFirstFile(pattern, d);
    if (!h) return names;
    do names.push_back(d.cFileName);
    while (h->FindNextFile(d));
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
    return names;
}

FILETIME LastWrite(const std::string& path) {
    FileAttributeData a;
    EXPECT_TRUE(Files().GetFileAttributesEx(path, a)) << path;
    return a.ftLastWriteTime;
}

}  // namespace

TEST(SimFiles, ResolvesPathsWithoutRegardToCase) {
    TestMachine m;
    m.WriteFile("C:\\Program Files\\Acme App\\Acme.EXE", "MZ");
    EXPECT_TRUE(FileExists(Files(), "c:\\PROGRAM FILES\\acme app\\acme.exe"));
    EXPECT_TRUE(DirectoryExists(Files(), "C:/program files/ACME APP/"));
    // Windows ignores trailing dots and blanks of a name.
    EXPECT_TRUE(FileExists(Files(), "C:\\Program Files\\Acme App\\acme.exe. "));
    // A new file lands in the existing folder, under the case it was given.
    ASSERT_TRUE(WriteWholeFile(Files(), "C:\\PROGRAM FILES\\ACME APP\\Notes.txt", "hello"));
    EXPECT_EQ(m.ReadFile("C:\\Program Files\\Acme App\\Notes.txt"), "hello");
    EXPECT_EQ(ListNames("C:\\program files\\acme app\\*"), (std::vector<std::string>{".", "..", "Acme.EXE", "Notes.txt"}));
    std::string longPath;
    ASSERT_GT(Files().GetLongPathName("c:\\program files\\acme app\\acme.exe", longPath), 0u);
    EXPECT_EQ(longPath, "c:\\Program Files\\Acme App\\Acme.EXE");
}

TEST(SimFiles, ReportsMissingFilesAndFoldersWithTheirCodes) {
    TestMachine m;
    EXPECT_EQ(Files().GetFileAttributes("C:\\nofile.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Files().GetFileAttributes("C:\\nofolder\\file.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(Files().GetFileAttributes("Q:\\file.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(Files().GetFileAttributes("C:\\bad|name"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
    FindData d;
    EXPECT_EQ(Files().FindFirstFile("C:\\WINDOWS\\*.none", d), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Files().FindFirstFile("C:\\nofolder\\*.*", d), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(Files().CreateFile("C:\\nofolder\\x.txt", GENERIC_WRITE, CreationDisposition::CreateAlways), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

TEST(SimFiles, FindsEntriesInUpperCaseNameOrderWithWildcards) {
    TestMachine m;
    for (const char* n : {"b.lnk", "A.LNK", "c.txt", "Readme", "_first.lnk", "zz.lnk.bak"}) m.WriteFile(std::string("C:\\S\\") + n, "x");
    m.MakeFolder("C:\\S\\Sub.lnk");
    EXPECT_EQ(ListNames("C:\\S\\*.lnk"), (std::vector<std::string>{"A.LNK", "b.lnk", "Sub.lnk", "_first.lnk"}));
    EXPECT_EQ(ListNames("C:\\S\\*."), (std::vector<std::string>{".", "..", "Readme"}));
    EXPECT_EQ(ListNames("C:\\S\\readme"), (std::vector<std::string>{"Readme"}));
    // A drive root has no "." and ".." entries.
    EXPECT_EQ(ListNames("C:\\*"), (std::vector<std::string>{"S", "TEMP", "WINDOWS"}));
    FindData d;
    auto h = Files().FindFirstFile("C:\\S\\Sub.lnk", d);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_DIRECTORY);
}

TEST(SimFiles, ShortNamesAreDeterministicAndResolveBackInsidePaths) {
    TestMachine m;
    m.WriteFile("C:\\Program Files\\Long Name App\\read me.txt", "short and long");
    m.WriteFile("C:\\Program Files\\Long Name Other\\x.txt", "other");
    std::string shortPath;
    ASSERT_GT(Files().GetShortPathName("C:\\Program Files\\Long Name App\\read me.txt", shortPath), 0u);
    EXPECT_EQ(shortPath, "C:\\PROGRA~1\\LONGNA~1\\README~1.TXT");
    ASSERT_GT(Files().GetShortPathName("C:\\Program Files\\Long Name Other\\x.txt", shortPath), 0u);
    EXPECT_EQ(shortPath, "C:\\PROGRA~1\\LONGNA~2\\x.txt");
    std::string bytes;
    ASSERT_TRUE(ReadWholeFile(Files(), "c:\\progra~1\\longna~1\\readme~1.txt", bytes));
    EXPECT_EQ(bytes, "short and long");
    std::string longPath;
    ASSERT_GT(Files().GetLongPathName("C:\\PROGRA~1\\LONGNA~2", longPath), 0u);
    EXPECT_EQ(longPath, "C:\\Program Files\\Long Name Other");
    FindData d;
    auto h = Files().FindFirstFile("C:\\Program Files\\Long Name App\\*.txt", d);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(d.cFileName, "read me.txt");
    EXPECT_EQ(d.cAlternateFileName, "README~1.TXT");
    EXPECT_EQ(Files().GetShortPathName("C:\\Program Files\\missing.txt", shortPath), 0u);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST(SimFiles, CopyKeepsTheLastWriteTimeAndHonoursOverwriteRules) {
    TestMachine m;
    m.WriteFile("C:\\src\\applet.cpl", "new applet");
    m.SetHostModified("C:\\src\\applet.cpl", 1'000'000'000);
    ASSERT_TRUE(Files().CopyFile("C:\\src\\applet.cpl", "C:\\WINDOWS\\system32\\applet.cpl", false));
    EXPECT_EQ(m.ReadFile("C:\\WINDOWS\\system32\\applet.cpl"), "new applet");
    EXPECT_EQ(LastWrite("C:\\WINDOWS\\system32\\applet.cpl"), LastWrite("C:\\src\\applet.cpl"));

    EXPECT_FALSE(Files().CopyFile("C:\\src\\applet.cpl", "C:\\WINDOWS\\system32\\applet.cpl", true));
    EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
    ASSERT_TRUE(Files().SetFileAttributes("C:\\WINDOWS\\system32\\applet.cpl", FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(Files().CopyFile("C:\\src\\applet.cpl", "C:\\WINDOWS\\system32\\applet.cpl", false));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(Files().CopyFile("C:\\src\\missing.cpl", "C:\\x.cpl", false));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST(SimFiles, MoveRefusesAnExistingTargetUnlessAskedToReplace) {
    TestMachine m;
    m.WriteFile("C:\\Trans\\a.GTV", "archive");
    m.WriteFile("C:\\Trans\\a.Old", "older");
    EXPECT_FALSE(Files().MoveFile("C:\\Trans\\a.GTV", "C:\\TRANS\\A.OLD"));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(m.ReadFile("C:\\Trans\\a.Old"), "older");
    ASSERT_TRUE(Files().MoveFileEx("C:\\Trans\\a.GTV", "C:\\Trans\\a.Old", MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(m.ReadFile("C:\\Trans\\a.Old"), "archive");
    EXPECT_FALSE(m.Exists("C:\\Trans\\a.GTV"));
    // Changing only the case of a name is a rename of the same file.
    ASSERT_TRUE(Files().MoveFile("C:\\Trans\\a.Old", "C:\\Trans\\A.OLD"));
    EXPECT_EQ(ListNames("C:\\Trans\\*"), (std::vector<std::string>{".", "..", "A.OLD"}));
    EXPECT_FALSE(Files().MoveFile("C:\\Trans\\none", "C:\\Trans\\x"));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST(SimFiles, DeleteAndCreateFollowWin32Rules) {
    TestMachine m;
    m.WriteFile("C:\\d\\locked.txt", "x");
    ASSERT_TRUE(Files().SetFileAttributes("C:\\d\\locked.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(Files().GetFileAttributes("C:\\d\\locked.txt"), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    EXPECT_FALSE(Files().DeleteFile("C:\\d\\locked.txt"));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(Files().CreateFile("C:\\d\\locked.txt", GENERIC_WRITE, CreationDisposition::OpenExisting), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_NE(Files().CreateFile("C:\\d\\locked.txt", GENERIC_READ, CreationDisposition::OpenExisting), nullptr);
    ASSERT_TRUE(Files().SetFileAttributes("C:\\d\\locked.txt", FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(Files().GetFileAttributes("C:\\d\\locked.txt"), FILE_ATTRIBUTE_NORMAL);
    EXPECT_TRUE(Files().DeleteFile("C:\\d\\locked.txt"));
    EXPECT_FALSE(Files().DeleteFile("C:\\d\\locked.txt"));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(Files().DeleteFile("C:\\d"));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);

    EXPECT_FALSE(Files().CreateDirectory("C:\\d"));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_FALSE(Files().CreateDirectory("C:\\no\\such"));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_TRUE(Files().CreateDirectory("C:\\d\\Results"));

    ASSERT_NE(Files().CreateFile("C:\\d\\n.txt", GENERIC_WRITE, CreationDisposition::CreateNew), nullptr);
    EXPECT_EQ(Files().CreateFile("C:\\d\\N.TXT", GENERIC_WRITE, CreationDisposition::CreateNew), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
    EXPECT_NE(Files().CreateFile("C:\\d\\n.txt", GENERIC_WRITE, CreationDisposition::CreateAlways), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(Files().CreateFile("C:\\d\\none.txt", GENERIC_READ, CreationDisposition::OpenExisting), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Files().CreateFile("C:\\d", GENERIC_READ, CreationDisposition::OpenExisting), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

TEST(SimFiles, WritesAppendAndFlushThroughAHandle) {
    TestMachine m;
    auto f = Files().CreateFile("C:\\TEMP\\log.txt", GENERIC_WRITE, CreationDisposition::CreateAlways);
    ASSERT_NE(f, nullptr);
    DWORD written = 0;
    ASSERT_TRUE(f->WriteFile("line 1\r\n", 8, written));
    ASSERT_TRUE(f->FlushFileBuffers());
    EXPECT_EQ(m.ReadFile("C:\\TEMP\\log.txt"), "line 1\r\n");  // on disk before the handle closes
    f.reset();
    auto g = Files().CreateFile("C:\\TEMP\\log.txt", GENERIC_WRITE, CreationDisposition::OpenAlways);
    ASSERT_NE(g, nullptr);
    ASSERT_TRUE(g->SetFilePointerEx(0, MoveMethod::End, nullptr));
    ASSERT_TRUE(g->WriteFile("line 2\r\n", 8, written));
    g.reset();
    EXPECT_EQ(m.ReadFile("C:\\TEMP\\log.txt"), "line 1\r\nline 2\r\n");
}

TEST(SimFiles, ReadingTheStartOfAFileTakesNoMoreThanAsked) {
    TestMachine m;
    std::string big(200000, 'b');
    big[0] = 'a';
    m.WriteFile("C:\\TEMP\\big.bin", big);
    std::string bytes = "stale";
    ASSERT_TRUE(ReadFileStart(Files(), "C:\\TEMP\\big.bin", 70000, bytes));
    EXPECT_EQ(bytes, big.substr(0, 70000));  // more than one chunk of the reader
    ASSERT_TRUE(ReadFileStart(Files(), "C:\\TEMP\\big.bin", 300000, bytes));
    EXPECT_EQ(bytes, big);
    ASSERT_TRUE(ReadFileStart(Files(), "C:\\TEMP\\big.bin", 0, bytes));
    EXPECT_EQ(bytes, "");
    EXPECT_FALSE(ReadFileStart(Files(), "C:\\TEMP\\none.bin", 10, bytes));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST(SimFiles, ReplacesFilesSafelyThroughATemporaryName) {
    TestMachine m;
    m.WriteFile("C:\\TEMP\\list.txt", "old");
    ASSERT_TRUE(ReplaceFileSafely(Files(), "C:\\TEMP\\list.txt", "new"));
    EXPECT_EQ(m.ReadFile("C:\\TEMP\\list.txt"), "new");
    EXPECT_EQ(ListNames("C:\\TEMP\\*.tmp"), std::vector<std::string>{});
    // When the new text cannot be written, the old file stays whole.
    m.Machine().AddFault({"WriteFile", "C:\\TEMP", ERROR_DISK_FULL, false, -1});
    EXPECT_FALSE(ReplaceFileSafely(Files(), "C:\\TEMP\\list.txt", "newer"));
    EXPECT_EQ(GetLastError(), ERROR_DISK_FULL);
    EXPECT_EQ(m.ReadFile("C:\\TEMP\\list.txt"), "new");
    m.Machine().ClearFaults();
    EXPECT_EQ(ListNames("C:\\TEMP\\*.tmp"), std::vector<std::string>{});
}

TEST(SimFiles, InjectedFaultsGiveTheirWin32Codes) {
    TestMachine m(R"({"faults": [{"op": "write", "path": "C:\\WINDOWS"},
                                 {"op": "CreateFile", "path": "C:\\TEMP\\Chk_ID", "error": 32, "times": 1}]})");
    m.WriteFile("C:\\WINDOWS\\win.ini", "[windows]\r\n");
    // A folder that is not writable: reads still work, every change is refused.
    EXPECT_TRUE(FileExists(Files(), "C:\\WINDOWS\\win.ini"));
    EXPECT_EQ(Files().CreateFile("C:\\WINDOWS\\TestAttr.txt", GENERIC_WRITE, CreationDisposition::CreateAlways), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(Files().DeleteFile("C:\\WINDOWS\\win.ini"));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(Files().CreateDirectory("C:\\WINDOWS\\system32\\new"));
    EXPECT_NE(Files().CreateFile("C:\\WINDOWS\\win.ini", GENERIC_READ, CreationDisposition::OpenExisting), nullptr);
    // A fault limited to one call.
    EXPECT_EQ(Files().CreateFile("C:\\TEMP\\Chk_ID", GENERIC_WRITE, CreationDisposition::CreateAlways), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    EXPECT_NE(Files().CreateFile("C:\\TEMP\\Chk_ID", GENERIC_WRITE, CreationDisposition::CreateAlways), nullptr);
    // A fault that raises instead of failing.
    m.Machine().AddFault({"GetFileAttributes", "C:\\TEMP", 0, true, -1});
    EXPECT_THROW(Files().GetFileAttributes("C:\\TEMP\\Chk_ID"), PlatformFault);
}

TEST(SimFiles, FullPathsFollowTheCurrentFolder) {
    TestMachine m(R"({"current_directory": "C:\\WINDOWS\\system32"})");
    std::string full;
    EXPECT_EQ(Files().GetCurrentDirectory(), "C:\\WINDOWS\\system32");
    ASSERT_GT(Files().GetFullPathName("qmagent.LOG", full), 0u);
    EXPECT_EQ(full, "C:\\WINDOWS\\system32\\qmagent.LOG");
    ASSERT_GT(Files().GetFullPathName("..\\..\\..\\x\\.\\y", full), 0u);
    EXPECT_EQ(full, "C:\\x\\y");
    ASSERT_GT(Files().GetFullPathName("\\boot.ini", full), 0u);
    EXPECT_EQ(full, "C:\\boot.ini");
    ASSERT_TRUE(Files().SetCurrentDirectory("c:\\temp"));
    EXPECT_EQ(Files().GetCurrentDirectory(), "c:\\TEMP");
    ASSERT_TRUE(WriteWholeFile(Files(), "err.LOG", "x"));
    EXPECT_EQ(m.ReadFile("C:\\TEMP\\err.LOG"), "x");
    EXPECT_FALSE(Files().SetCurrentDirectory("C:\\none"));
}

TEST(SimFiles, LastWriteTimesConvertToLocalAndPackedDosTime) {
    // Eastern time; on 2026-12-09 no daylight saving applies, so local = UTC - 5 h.
    TestMachine m(R"({"time_zone": {"bias": 300, "standard_date": {"month": 11, "day_of_week": 0, "week": 1, "hour": 2},
                                    "daylight_date": {"month": 3, "day_of_week": 0, "week": 2, "hour": 2}}})");
    m.WriteFile("C:\\f.txt", "x");
    m.SetHostModified("C:\\f.txt", 1'780'999'205);  // 2026-06-09 10:00:05 UTC
    FILETIME local = Clock().FileTimeToLocalFileTime(LastWrite("C:\\f.txt"));
    SYSTEMTIME st = FileTimeToSystemTime(local);
    EXPECT_EQ(st.wHour, 5);  // the bias in force now, not the one of the file's date
    WORD date = 0, time = 0;
    ASSERT_TRUE(FileTimeToDosDateTime(local, date, time));
    EXPECT_EQ(date, ((2026 - 1980) << 9) | (6 << 5) | 9);
    EXPECT_EQ(time, (5 << 11) | (0 << 5) | 2);  // two-second resolution: 5 s -> 2
}

TEST(SimFiles, HostNamesAppearInTheAnsiCodePage) {
    TestMachine m;
    m.MakeFolder("C:\\Docs");
    std::ofstream(m.HostPath("C:\\Docs") + "/caf\xC3\xA9.txt") << "x";  // UTF-8 on the host
    EXPECT_EQ(ListNames("C:\\Docs\\*.txt"), std::vector<std::string>{"caf\xE9.txt"});
    EXPECT_TRUE(FileExists(Files(), "C:\\DOCS\\CAF\xC9.TXT"));  // upper-case E acute in code page 1252
    ASSERT_TRUE(WriteWholeFile(Files(), "C:\\Docs\\na\xEFve.txt", "y"));
    EXPECT_TRUE(std::filesystem::exists(m.HostPath("C:\\Docs") + "/na\xC3\xAFve.txt"));
}

TEST(SimFiles, HostLinksAreReparsePoints) {
    TestMachine m;
    m.MakeFolder("C:\\Real");
    ASSERT_EQ(::symlink(m.HostPath("C:\\Real").c_str(), m.HostPath("C:\\Link").c_str()), 0);
    DWORD a = Files().GetFileAttributes("C:\\Link");
    EXPECT_EQ(a & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT),
              FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
    EXPECT_EQ(Files().GetFileAttributes("C:\\Real") & FILE_ATTRIBUTE_REPARSE_POINT, 0u);

    // Listed, a link shows what it leads to, with the reparse bit; a dangling one is a plain
    // entry without size.
    m.WriteFile("C:\\Real\\data.bin", "12345");
    ASSERT_EQ(::symlink(m.HostPath("C:\\Real\\data.bin").c_str(), (m.HostPath("C:\\Real") + "/file link").c_str()), 0);
    ASSERT_EQ(::symlink("/nowhere/at/all", (m.HostPath("C:\\Real") + "/dangling").c_str()), 0);
    struct Entry {
        DWORD attributes;
        std::uint64_t size;
    };
    std::map<std::string, Entry> listed;
    FindData d;
    auto h = Files().FindFirstFile("C:\\*", d);
    ASSERT_NE(h, nullptr);
    do listed[d.cFileName] = {d.dwFileAttributes, d.nFileSize};
    while (h->FindNextFile(d));
    h = Files().FindFirstFile("C:\\Link\\*", d);
    ASSERT_NE(h, nullptr);
    do listed[d.cFileName] = {d.dwFileAttributes, d.nFileSize};
    while (h->FindNextFile(d));
    EXPECT_EQ(listed["Link"].attributes, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
    EXPECT_EQ(listed["Real"].attributes, FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(listed["."].attributes, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);  // C:\Link itself
    EXPECT_EQ(listed["data.bin"].attributes, FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_EQ(listed["data.bin"].size, 5u);
    EXPECT_EQ(listed["file link"].attributes, FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_REPARSE_POINT);
    EXPECT_EQ(listed["file link"].size, 5u);
    EXPECT_EQ(listed["dangling"].attributes, FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_REPARSE_POINT);
    EXPECT_EQ(listed["dangling"].size, 15u);  // the link's own, as nothing stands behind it
    EXPECT_FALSE(FileExists(Files(), "C:\\Real\\DANGLING"));
    // The ".." of a folder reached through a link is that link.
    m.MakeFolder("C:\\Real\\Deeper");
    for (const auto& [pattern, parent] : {std::pair{"C:\\Link\\Deeper\\*", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT},
                                          std::pair{"C:\\Real\\Deeper\\*", FILE_ATTRIBUTE_DIRECTORY}}) {
        SCOPED_TRACE(pattern);
        h = Files().FindFirstFile(pattern, d);
        ASSERT_NE(h, nullptr);
        ASSERT_TRUE(h->FindNextFile(d));
        EXPECT_EQ(d.cFileName, "..");
        EXPECT_EQ(d.dwFileAttributes, parent);
    }
}

// A folder's names are kept while it stays as it was: a path of any case resolves through
// them, and every change shows at once, whether the machine or the host made it.
TEST(SimFiles, NamesOfAFolderFollowEveryChange) {
    TestMachine m;
    m.WriteFile("C:\\Apps\\Tool.exe", "MZ");
    const std::string host = m.HostPath("C:\\Apps");
    // Stamped in the past, so that its names are kept.
    auto age = [&] {
        struct timespec times[2] = {{0, UTIME_OMIT}, {1000000000, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, host.c_str(), times, 0), 0);
    };
    age();
    EXPECT_TRUE(FileExists(Files(), "C:\\APPS\\TOOL.EXE"));
    EXPECT_FALSE(FileExists(Files(), "C:\\APPS\\NEW.EXE"));

    // Made on the host: the folder's time moves, and its names are listed afresh.
    std::ofstream(host + "/New.exe") << "MZ";
    EXPECT_TRUE(FileExists(Files(), "C:\\APPS\\NEW.EXE"));
    std::filesystem::rename(host + "/Tool.exe", host + "/Renamed.exe");
    EXPECT_FALSE(FileExists(Files(), "C:\\APPS\\TOOL.EXE"));
    EXPECT_TRUE(FileExists(Files(), "C:\\APPS\\RENAMED.EXE"));

    // Made by the machine, and the folder's time set back as if nothing had happened: the
    // machine forgets the names of a folder it changes.
    age();
    EXPECT_FALSE(FileExists(Files(), "C:\\APPS\\MINE.EXE"));
    ASSERT_TRUE(WriteWholeFile(Files(), "C:\\Apps\\Mine.exe", "MZ"));
    age();
    EXPECT_TRUE(FileExists(Files(), "C:\\APPS\\MINE.EXE"));
    ASSERT_TRUE(Files().MoveFile("C:\\Apps\\Mine.exe", "C:\\Apps\\Moved.exe"));
    age();
    EXPECT_FALSE(FileExists(Files(), "C:\\APPS\\MINE.EXE"));
    EXPECT_TRUE(FileExists(Files(), "C:\\APPS\\MOVED.EXE"));
    ASSERT_TRUE(Files().DeleteFile("C:\\Apps\\Moved.exe"));
    age();
    EXPECT_FALSE(FileExists(Files(), "C:\\APPS\\MOVED.EXE"));

    // A folder stamped at or after the moment it is listed could change again under the same
    // stamp: its names are not kept, and a change that keeps the stamp still shows.
    struct timespec future[2] = {{0, UTIME_OMIT}, {::time(nullptr) + 3600, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, host.c_str(), future, 0), 0);
    EXPECT_FALSE(FileExists(Files(), "C:\\APPS\\LATE.EXE"));
    std::ofstream(host + "/Late.exe") << "MZ";
    ASSERT_EQ(::utimensat(AT_FDCWD, host.c_str(), future, 0), 0);
    EXPECT_TRUE(FileExists(Files(), "C:\\APPS\\LATE.EXE"));
}

// Searches at the basic level leave out the 8.3 names, and nothing else.
TEST(SimFiles, BasicSearchesLeaveOutShortNames) {
    TestMachine m;
    m.WriteFile("C:\\Docs\\Long document name.txt", "abc");
    for (const char* pattern : {"C:\\Docs\\*.txt", "C:\\DOCS\\LONG DOCUMENT NAME.TXT"}) {
        SCOPED_TRACE(pattern);
        FindData standard, basic;
        ASSERT_NE(Files().FindFirstFile(pattern, standard), nullptr);
        ASSERT_NE(Files().FindFirstFileEx(pattern, FindInfoLevel::Basic, basic), nullptr);
        EXPECT_EQ(standard.cAlternateFileName, "LONGDO~1.TXT");
        EXPECT_EQ(basic.cAlternateFileName, "");
        EXPECT_EQ(basic.cFileName, "Long document name.txt");
        EXPECT_EQ(basic.nFileSize, 3u);
        EXPECT_EQ(basic.dwFileAttributes, standard.dwFileAttributes);
        EXPECT_EQ(basic.ftLastWriteTime.ticks, standard.ftLastWriteTime.ticks);
    }
}

TEST(SimFiles, CopyAndMoveRefuseWhatWindowsRefuses) {
    TestMachine m(R"({"drives": [{"letter": "C", "folder": "drive_c"}, {"letter": "E", "folder": "drive_e"}]})");
    m.WriteFile("C:\\a.txt", "a");
    m.WriteFile("C:\\hidden.txt", "h");
    ASSERT_TRUE(Files().SetFileAttributes("C:\\hidden.txt", FILE_ATTRIBUTE_HIDDEN));
    EXPECT_FALSE(Files().CopyFile("C:\\a.txt", "C:\\hidden.txt", false));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(m.ReadFile("C:\\hidden.txt"), "h");
    // Another drive: only with leave to copy, and never a folder.
    EXPECT_FALSE(Files().MoveFileEx("C:\\a.txt", "E:\\a.txt", 0));
    EXPECT_EQ(GetLastError(), ERROR_NOT_SAME_DEVICE);
    ASSERT_TRUE(Files().MoveFile("C:\\a.txt", "E:\\a.txt"));
    EXPECT_EQ(m.ReadFile("E:\\a.txt"), "a");
    EXPECT_FALSE(m.Exists("C:\\a.txt"));
    m.MakeFolder("C:\\Folder");
    EXPECT_FALSE(Files().MoveFile("C:\\Folder", "E:\\Folder"));
    EXPECT_EQ(GetLastError(), ERROR_NOT_SAME_DEVICE);
}

TEST(SimFiles, ReplacingAnExistingFileDependsOnItsAttributes) {
    const std::string target = "C:\\d\\target.ini";
    struct Case {
        const char* operation;
        std::function<bool()> replace;
        DWORD refusedBy;  // the attributes of the existing file that make Windows refuse
    };
    const auto create = [&](CreationDisposition disposition) {
        return [&, disposition] { return Files().CreateFile(target, GENERIC_WRITE, disposition) != nullptr; };
    };
    const Case cases[] = {
        {"CopyFile", [&] { return Files().CopyFile("C:\\d\\new.ini", target, false); },
         FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN},
        {"CreateFile CREATE_ALWAYS", create(CreationDisposition::CreateAlways),
         FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM},
        {"CreateFile TRUNCATE_EXISTING", create(CreationDisposition::TruncateExisting),
         FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM},
        {"CreateFile OPEN_EXISTING", create(CreationDisposition::OpenExisting), FILE_ATTRIBUTE_READONLY},
        {"MoveFileEx", [&] { return Files().MoveFileEx("C:\\d\\new.ini", target, MOVEFILE_REPLACE_EXISTING); },
         FILE_ATTRIBUTE_READONLY},
        {"ReplaceFileSafely", [&] { return ReplaceFileSafely(Files(), target, "[new]\r\n"); }, FILE_ATTRIBUTE_READONLY},
        {"WritePrivateProfileString", [&] { return Profile().WritePrivateProfileString("new", "k", "v", target); },
         FILE_ATTRIBUTE_READONLY},
    };
    for (const Case& c : cases) {
        for (DWORD attributes : {FILE_ATTRIBUTE_NORMAL, FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_SYSTEM,
                                 FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM}) {
            SCOPED_TRACE(std::string(c.operation) + ", attributes " + std::to_string(attributes));
            TestMachine m;
            m.WriteFile(target, "[old]\r\nkey=a longer value than what replaces it\r\n");
            m.WriteFile("C:\\d\\new.ini", "[new]\r\n");
            ASSERT_TRUE(Files().SetFileAttributes(target, attributes));
            bool refused = (attributes & c.refusedBy) != 0;
            EXPECT_EQ(c.replace(), !refused);
            if (refused) {
                EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
                EXPECT_EQ(m.ReadFile(target), "[old]\r\nkey=a longer value than what replaces it\r\n");
            }
        }
    }
}
