// The disk-usage scan over a large drive, beside du(1) over the same host folder, so the cost
// of walking the drive through the platform layer and counting per bucket can be weighed
// against the host's own. Before the timing, one untimed run of each warms the host's caches,
// and the scan's byte totals are checked against the sizes find(1) gives.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "collectors/disk_usage.h"
#include "core/process_state.h"
#include "core/result_list.h"
#include "platform/text.h"
#include "platform/winpath.h"
#include "support/agent_state.h"
#include "support/test_machine.h"

namespace {

namespace fs = std::filesystem;

constexpr int kTopFolders = 100;
constexpr int kSubfolders = 10;
constexpr int kFilesPerFolder = 100;  // 100 x 10 x 100 = 100,000 files

// Counted and uncounted extensions, mixed; a name without one too.
const char* const kExtensions[] = {".doc", ".XLS", ".jpg", ".mp3", ".txt", ".tmp", ".Png", ""};
const char* const kSettings =
    "[DiskUsage]\r\nDEEP=2\r\n"
    "[DiskUsageExtensions]\r\nOffice=.doc;.xls\r\nPictures=.jpg;.png\r\nMusic=.mp3\r\nEverything=.doc;.jpg;.mp3\r\n";

struct Tree {
    std::unique_ptr<qm::test::TestMachine> machine;
    std::string hostRoot;  // the host folder of C:
    int files = 0;
};

Tree& TheTree() {
    static Tree tree;
    return tree;
}

std::string Number(int n, int width) {
    std::string s(static_cast<std::size_t>(width), '0');
    for (int i = width - 1; i >= 0 && n > 0; --i, n /= 10) s[static_cast<std::size_t>(i)] = static_cast<char>('0' + n % 10);
    return s;
}

// Made host side, once; every file is sparse, its size set without writing its data, and a
// few are larger than 4 GiB.
void MakeTree() {
    Tree& t = TheTree();
    t.machine = std::make_unique<qm::test::TestMachine>();
    t.machine->WriteFile(qm::test::kAgentSettings, kSettings);
    t.hostRoot = t.machine->HostPath("C:\\");
    int serial = 0;
    for (int top = 0; top < kTopFolders; ++top) {
        for (int sub = 0; sub < kSubfolders; ++sub) {
            fs::path folder = fs::path(t.hostRoot) / "Data" / ("Folder " + Number(top, 3)) / ("Sub " + Number(sub, 2));
            fs::create_directories(folder);
            for (int f = 0; f < kFilesPerFolder; ++f, ++serial) {
                const auto n = static_cast<std::uint64_t>(serial);
                const char* ext = kExtensions[n % std::size(kExtensions)];
                fs::path file = folder / ("file" + Number(serial, 6) + ext);
                { std::ofstream create(file); }
                std::uint64_t size = n % 10007 == 0 ? (std::uint64_t{5} << 30) + n : (n % 9973) * 37;
                fs::resize_file(file, size);
                ++t.files;
            }
        }
    }
}

void StartProcess() { qm::test::StartAgent(); }

std::vector<std::string> ScanRecords() {
    qm::core::CreateResultList();
    qm::collectors::ScanDiskUsage();
    std::vector<std::string> records = *qm::core::State().resultList;
    qm::core::State().resultList.reset();
    return records;
}

// Bytes per category, summed over the buckets of the scan's records.
std::map<std::string, std::uint64_t> TotalsOfRecords(const std::vector<std::string>& records) {
    std::map<std::string, std::uint64_t> totals;
    for (const std::string& record : records) {
        std::vector<std::string> f = qm::core::ResultFields(record);
        if (f.size() == 5) totals[f[2]] += std::stoull(f[3]);
    }
    return totals;
}

std::string RunHost(const std::string& command) {
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return out;
    char buffer[65536];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    ::pclose(pipe);
    return out;
}

// Bytes per category from find's sizes of every file of the drive, with the categories of
// the settings above.
std::map<std::string, std::uint64_t> TotalsOfFind() {
    const std::map<std::string, std::vector<std::string>> categoriesOf = {
        {".DOC", {"Office", "Everything"}}, {".XLS", {"Office"}}, {".JPG", {"Pictures", "Everything"}},
        {".PNG", {"Pictures"}},             {".MP3", {"Music", "Everything"}}};
    std::map<std::string, std::uint64_t> totals;
    for (const std::string& line : qm::platform::SplitLines(RunHost("find '" + TheTree().hostRoot + "' -type f -printf '%s %f\\n'"))) {
        std::size_t blank = line.find(' ');
        if (blank == std::string::npos) continue;
        auto entry = categoriesOf.find(qm::platform::AsciiUpper(qm::platform::ExtensionOf(line.substr(blank + 1))));
        if (entry == categoriesOf.end()) continue;
        for (const std::string& category : entry->second) totals[category] += std::stoull(line.substr(0, blank));
    }
    return totals;
}

std::string DuCommand() { return "du -s --apparent-size -B1 '" + TheTree().hostRoot + "'"; }

// Warms both and checks the scan's sums once; false when they differ from find's.
bool WarmAndCheck() {
    StartProcess();
    std::map<std::string, std::uint64_t> scanned = TotalsOfRecords(ScanRecords());
    RunHost(DuCommand());
    std::map<std::string, std::uint64_t> found = TotalsOfFind();
    if (scanned != found || scanned.empty()) {
        std::cerr << "the scan's byte totals differ from find's:\n";
        for (const auto& [category, bytes] : found)
            std::cerr << "  " << category << ": find " << bytes << ", scan " << scanned[category] << "\n";
        return false;
    }
    for (const auto& [category, bytes] : scanned) std::cerr << category << ": " << bytes << " bytes, as find gives\n";
    return true;
}

void BM_ScanDiskUsage(benchmark::State& state) {
    StartProcess();
    std::size_t records = 0;
    for (auto _ : state) {
        records = ScanRecords().size();
        benchmark::DoNotOptimize(records);
    }
    state.counters["records"] = static_cast<double>(records);
    state.SetItemsProcessed(state.iterations() * TheTree().files);
}

void BM_HostDu(benchmark::State& state) {
    const std::string command = DuCommand();
    for (auto _ : state) {
        std::string out = RunHost(command);
        if (out.empty()) {
            state.SkipWithError("du gave nothing");
            break;
        }
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(state.iterations() * TheTree().files);
}

BENCHMARK(BM_ScanDiskUsage)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_HostDu)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    MakeTree();
    if (!WarmAndCheck()) {
        TheTree().machine.reset();
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    TheTree().machine.reset();
    return 0;
}
