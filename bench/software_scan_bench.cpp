// The full shortcut scan over a large drive, beside find(1) over the same host folder, so the
// cost of walking the drive through the platform layer can be weighed against the host's own:
// find with each file's size (a stat of every entry, as the scan needs) and without. The run
// ends with the ratios side by side, and with the system calls of one scan counted by
// strace(1): "--one_scan" makes the tree and scans it once, nothing else, and the closing note
// runs this program so under strace. The tree is made by a child process, which strace does
// not follow, so that only the scan is counted.

#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "ratio_reporter.h"
#include "collectors/software_inventory.h"
#include "core/process_state.h"
#include "core/result_list.h"
#include "support/lnk_writer.h"
#include "support/pe_writer.h"
#include "support/test_machine.h"

namespace {

namespace fs = std::filesystem;

constexpr int kTopFolders = 100;
constexpr int kSubfolders = 10;
constexpr int kFilesPerFolder = 100;  // 100 x 10 x 100 = 100,000 plain files
constexpr int kPrograms = 100;        // each the target of ten shortcuts, one per subfolder

struct Tree {
    std::unique_ptr<qm::test::TestMachine> machine;
    std::string hostRoot;  // the host folder of C:
    long entries = 0;      // every file and folder below it
};

Tree& TheTree() {
    static Tree tree;
    return tree;
}

void WriteHostFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string Number(int n, int width) {
    std::string s(static_cast<std::size_t>(width), '0');
    for (int i = width - 1; i >= 0 && n > 0; --i, n /= 10) s[static_cast<std::size_t>(i)] = static_cast<char>('0' + n % 10);
    return s;
}

// Host side; the shortcuts' targets are written in upper case, as a shortcut's target often
// is, so that they resolve without regard to case.
void WriteTree(const std::string& hostRoot) {
    std::string program = qm::test::BuildPeFile(
        qm::test::StringVersion({{"CompanyName", "Bench Corp"}, {"ProductName", "Bench"}, {"ProductVersion", "1.0"}}));
    fs::create_directories(fs::path(hostRoot) / "Apps");
    for (int p = 0; p < kPrograms; ++p) WriteHostFile(fs::path(hostRoot) / "Apps" / ("app" + Number(p, 3) + ".exe"), program);
    const std::string content = "a small file\r\n";
    int serial = 0;
    for (int top = 0; top < kTopFolders; ++top) {
        for (int sub = 0; sub < kSubfolders; ++sub) {
            fs::path folder = fs::path(hostRoot) / "Tree" / ("Folder " + Number(top, 3)) / ("Sub " + Number(sub, 2));
            fs::create_directories(folder);
            for (int f = 0; f < kFilesPerFolder; ++f, ++serial) WriteHostFile(folder / ("doc" + Number(serial, 5) + ".txt"), content);
            std::string target = "C:\\APPS\\APP" + Number(top % kPrograms, 3) + ".EXE";
            WriteHostFile(folder / ("Shortcut to app " + Number(top, 3) + ".lnk"), qm::test::ShortcutTo(target));
        }
    }
}

// The tree is written by a child process, which reports how many entries the drive holds.
bool MakeTree() {
    Tree& t = TheTree();
    t.machine = std::make_unique<qm::test::TestMachine>();
    t.hostRoot = t.machine->HostPath("C:\\");
    int channel[2];
    if (::pipe(channel) != 0) return false;
    pid_t child = ::fork();
    if (child < 0) return false;
    if (child == 0) {
        ::close(channel[0]);
        WriteTree(t.hostRoot);
        long entries = 0;
        for (auto it = fs::recursive_directory_iterator(t.hostRoot); it != fs::recursive_directory_iterator(); ++it) ++entries;
        bool sent = ::write(channel[1], &entries, sizeof entries) == static_cast<ssize_t>(sizeof entries);
        ::_exit(sent ? 0 : 1);
    }
    ::close(channel[1]);
    bool received = ::read(channel[0], &t.entries, sizeof t.entries) == static_cast<ssize_t>(sizeof t.entries);
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return received && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void StartProcess() { qm::core::ResetState({"C:\\Program Files\\Quarmelin\\QMAgent.exe", "/FS"}); }

std::size_t ScanOnce() {
    qm::core::CreateResultList();
    qm::collectors::ScanSoftware(true);
    return qm::core::State().resultList->size();
}

void BM_FullScan(benchmark::State& state) {
    StartProcess();
    std::size_t records = 0;
    for (auto _ : state) {
        records = ScanOnce();
        benchmark::DoNotOptimize(records);
    }
    qm::collectors::ReleaseShortcutReader();
    qm::core::State().resultList.reset();
    state.counters["records"] = static_cast<double>(records);
    state.SetItemsProcessed(state.iterations() * TheTree().entries);
}

void BM_FindFilesByExt(benchmark::State& state) {
    StartProcess();
    std::size_t found = 0;
    for (auto _ : state) {
        std::vector<std::string> shortcuts;
        qm::collectors::FindFilesByExt("C:\\", ".LNK", true, shortcuts);
        found = shortcuts.size();
        benchmark::DoNotOptimize(found);
    }
    state.counters["shortcuts"] = static_cast<double>(found);
    state.SetItemsProcessed(state.iterations() * TheTree().entries);
}

void RunFind(benchmark::State& state, const std::string& arguments) {
    std::string command = "find '" + TheTree().hostRoot + "' " + arguments;
    std::size_t lines = 0;
    for (auto _ : state) {
        FILE* pipe = ::popen(command.c_str(), "r");
        if (pipe == nullptr) {
            state.SkipWithError("cannot start find");
            break;
        }
        lines = 0;
        char line[4096];
        while (std::fgets(line, sizeof line, pipe) != nullptr) ++lines;
        ::pclose(pipe);
        benchmark::DoNotOptimize(lines);
    }
    state.counters["files"] = static_cast<double>(lines);
    state.SetItemsProcessed(state.iterations() * TheTree().entries);
}

void BM_FindWithSizes(benchmark::State& state) { RunFind(state, "-type f -printf '%s\\n'"); }
void BM_FindNamesOnly(benchmark::State& state) { RunFind(state, "-type f"); }

BENCHMARK(BM_FullScan)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FindFilesByExt)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FindWithSizes)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FindNamesOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

void PrintRatios(const qm::bench::RatioReporter& times) {
    std::printf("\n%-18s %12s %12s\n", "", "/ find %s", "/ find");
    for (const char* scan : {"BM_FullScan", "BM_FindFilesByExt"})
        std::printf("%-18s %12.2f %12.2f\n", scan + 3, times.Ratio(scan, "BM_FindWithSizes"), times.Ratio(scan, "BM_FindNamesOnly"));
}

// The system calls of one scan, counted by strace over this program run with "--one_scan";
// the stat family per entry of the drive.
void PrintSystemCallsOfOneScan(const char* self) {
    std::string summary = (fs::temp_directory_path() / ("qm-scan-strace-" + std::to_string(::getpid()) + ".txt")).string();
    std::string command = "strace -c -o '" + summary + "' '" + self + "' --one_scan > /dev/null 2>&1";
    if (std::system(command.c_str()) != 0) {
        std::printf("\nstrace of one scan: not available\n");
        return;
    }
    std::ifstream in(summary);
    std::string line;
    long statCalls = 0, allCalls = 0;
    std::printf("\nstrace -c of one scan (%ld entries on the drive):\n", TheTree().entries);
    while (std::getline(in, line)) {
        std::printf("%s\n", line.c_str());
        std::istringstream fields(line);
        std::vector<std::string> f;
        for (std::string w; fields >> w;) f.push_back(w);
        // "% time  seconds  usecs/call  calls  [errors]  syscall"
        if (f.size() < 5 || f.back() == "total" || f.back() == "syscall") continue;
        long calls = std::atol(f[3].c_str());
        allCalls += calls;
        const std::string& name = f.back();
        if (name.find("stat") != std::string::npos) statCalls += calls;
    }
    std::remove(summary.c_str());
    std::printf("stat-family calls: %ld, per entry %.3f; all calls per entry %.3f\n", statCalls,
                TheTree().entries > 0 ? static_cast<double>(statCalls) / static_cast<double>(TheTree().entries) : 0.0,
                TheTree().entries > 0 ? static_cast<double>(allCalls) / static_cast<double>(TheTree().entries) : 0.0);
}

}  // namespace

int main(int argc, char** argv) {
    bool oneScan = false;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--one_scan") == 0) oneScan = true;
    if (!MakeTree()) {
        std::cerr << "cannot make the tree\n";
        return 1;
    }
    if (oneScan) {
        StartProcess();
        std::size_t records = ScanOnce();
        std::cout << records << " records" << std::endl;
        // The tree goes with a child process too, so that the count holds the scan alone.
        pid_t child = ::fork();
        if (child == 0) {
            TheTree().machine.reset();
            ::_exit(0);
        }
        int status = 0;
        if (child > 0) ::waitpid(child, &status, 0);
        ::_exit(child > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    qm::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    PrintRatios(reporter);
    // The traced program makes a tree of its own; this one is not needed any more.
    TheTree().machine.reset();
    PrintSystemCallsOfOneScan(argv[0]);
    return 0;
}
