// The full shortcut scan over a large drive, beside find(1) over the same host folder, so the
// cost of walking the drive through the platform layer can be weighed against the host's own.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

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
    int files = 0;
    int shortcuts = 0;
};

Tree& TheTree() {
    static Tree tree;
    return tree;
}

void WriteHostFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

char Digit(int n) { return static_cast<char>('0' + n); }

std::string Number(int n, int width) {
    std::string s(static_cast<std::size_t>(width), '0');
    for (int i = width - 1; i >= 0 && n > 0; --i, n /= 10) s[static_cast<std::size_t>(i)] = Digit(n % 10);
    return s;
}

// Made host side, once: the scan reads it through the simulated machine.
void MakeTree() {
    Tree& t = TheTree();
    t.machine = std::make_unique<qm::test::TestMachine>();
    t.hostRoot = t.machine->HostPath("C:\\");
    std::string program = qm::test::BuildPeFile(
        qm::test::StringVersion({{"CompanyName", "Bench Corp"}, {"ProductName", "Bench"}, {"ProductVersion", "1.0"}}));
    fs::create_directories(fs::path(t.hostRoot) / "Apps");
    for (int p = 0; p < kPrograms; ++p) WriteHostFile(fs::path(t.hostRoot) / "Apps" / ("app" + Number(p, 3) + ".exe"), program);

    const std::string content = "a small file\r\n";
    int serial = 0;
    for (int top = 0; top < kTopFolders; ++top) {
        for (int sub = 0; sub < kSubfolders; ++sub) {
            fs::path folder = fs::path(t.hostRoot) / "Tree" / ("Folder " + Number(top, 3)) / ("Sub " + Number(sub, 2));
            fs::create_directories(folder);
            for (int f = 0; f < kFilesPerFolder; ++f, ++serial) {
                WriteHostFile(folder / ("doc" + Number(serial, 5) + ".txt"), content);
                ++t.files;
            }
            std::string target = "C:\\Apps\\app" + Number(top % kPrograms, 3) + ".exe";
            WriteHostFile(folder / ("Shortcut to app " + Number(top, 3) + ".lnk"), qm::test::ShortcutTo(target));
            ++t.shortcuts;
        }
    }
}

void StartProcess() {
    qm::core::ResetState({"C:\\Program Files\\Quarmelin\\QMAgent.exe", "/FS"});
}

void BM_FullScan(benchmark::State& state) {
    StartProcess();
    std::size_t records = 0;
    for (auto _ : state) {
        qm::core::CreateResultList();
        qm::collectors::ScanSoftware(true);
        records = qm::core::State().resultList->size();
        benchmark::DoNotOptimize(records);
    }
    qm::collectors::ReleaseShortcutReader();
    qm::core::State().resultList.reset();
    state.counters["records"] = static_cast<double>(records);
    state.counters["files"] = TheTree().files + TheTree().shortcuts + kPrograms;
    state.SetItemsProcessed(state.iterations() * (TheTree().files + TheTree().shortcuts + kPrograms));
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
    state.SetItemsProcessed(state.iterations() * (TheTree().files + TheTree().shortcuts + kPrograms));
}

void BM_HostFind(benchmark::State& state) {
    std::string command = "find '" + TheTree().hostRoot + "' -iname '*.lnk'";
    std::size_t found = 0;
    for (auto _ : state) {
        FILE* pipe = ::popen(command.c_str(), "r");
        if (pipe == nullptr) {
            state.SkipWithError("cannot start find");
            break;
        }
        found = 0;
        char line[4096];
        while (std::fgets(line, sizeof line, pipe) != nullptr) ++found;
        ::pclose(pipe);
        benchmark::DoNotOptimize(found);
    }
    state.counters["shortcuts"] = static_cast<double>(found);
    state.SetItemsProcessed(state.iterations() * (TheTree().files + TheTree().shortcuts + kPrograms));
}

BENCHMARK(BM_FullScan)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FindFilesByExt)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_HostFind)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    MakeTree();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    TheTree().machine.reset();
    return 0;
}
