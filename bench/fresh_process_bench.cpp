// Runs as the agent meets them: every measurement in a fresh process, since the agent packs
// once per process and a warm loop hides what a first run pays (page faults on fresh memory,
// the first collator, the end of the wait thread).
//
// - Packing: 200 result files of 32 KB packed by CreateOneZipFile (this program run again
//   with "--pack_once <machine folder>") in turn with `zip -q -j -6` over the same files.
// - A whole agent run on a fresh copy of the XP sample machine, online ("/N /ONLINE") in turn
//   with interactive ("/DLG"): the two do the same inventory, so the interactive run's wall
//   time beyond its processor time over the online run's is the cost of the wait thread.
// - The first CompareString of a process ("--compare_once") beside a process that only loads
//   its machine ("--load_once"): the difference is what the first comparison costs.
//
// Each comparison takes the median of every side over many alternating rounds, the ratio of
// the medians, and the spread (the middle half of the runs over the median) that says how
// noisy the machine was.

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "delivery/archives.h"
#include "result_records.h"
#include "platform/platform.h"
#include "platform/sim/machine.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using qm::bench::Records;

constexpr int kArchiveFiles = 200;
constexpr std::size_t kArchiveFileBytes = 32u << 10;
const char* const kArchive = "C:\\Bench\\#C#S#1.GTV";
const char* const kResults = "C:\\Bench\\Results\\";

// The machine of the packing and comparing processes: only what they need.
const char* const kMachineJson = R"({
  "version": {"platform_id": 2, "major": 5, "minor": 1, "build": 2600},
  "computer_name": "QM-BENCH",
  "user_name": "bench",
  "folders": {"windows": "C:\\WINDOWS", "system": "C:\\WINDOWS\\system32", "temp": "C:\\TEMP"},
  "time_zone": {"bias": 0, "standard_name": "GMT Standard Time", "daylight_name": "GMT Daylight Time"},
  "clock": {"virtual": true, "start": "2026-12-09T07:03:05.042"},
  "drives": [{"letter": "C", "type": "fixed", "folder": "drive_c", "label": "SYSTEM", "file_system": "NTFS",
              "serial": "1C2D-3E4F", "total_bytes": 40000000000, "free_bytes": 12000000000}],
  "directories": ["C:\\WINDOWS\\system32", "C:\\TEMP"]
})";

void WriteHostFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string SelfPath() { return fs::read_symlink("/proc/self/exe").string(); }

struct Child {
    double wallMs = 0;
    double cpuMs = 0;  // user and system time
    bool ok = false;
};

// Runs the program to its end with its output thrown away; wall time from the spawn to the
// reaping, processor time from the child's own usage.
Child Run(const std::vector<std::string>& arguments, const std::vector<std::string>& extraEnvironment = {}) {
    std::vector<char*> argv;
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> env(extraEnvironment);
    for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    Child child;
    auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return child;
    int status = 0;
    struct rusage usage {};
    if (::wait4(pid, &status, 0, &usage) != pid) return child;
    child.wallMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    auto ms = [](const timeval& t) { return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3; };
    child.cpuMs = ms(usage.ru_utime) + ms(usage.ru_stime);
    child.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return child;
}

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v.size() % 2 == 1 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// The middle half of the values over their median.
double Spread(std::vector<double> v) {
    if (v.size() < 4) return 0;
    std::sort(v.begin(), v.end());
    double median = Median(v);
    return median <= 0 ? 0 : (v[v.size() * 3 / 4] - v[v.size() / 4]) / median;
}

// The medians of each side, by name, for the closing table.
std::map<std::string, std::vector<double>>& Samples() {
    static std::map<std::string, std::vector<double>> samples;
    return samples;
}

struct BenchMachine {
    fs::path folder;
    std::vector<std::string> hostResults;
    BenchMachine() {
        std::string pattern = (fs::temp_directory_path() / "qm-bench-pack-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a temporary folder");
        folder = pattern;
        WriteHostFile(folder / "machine.json", kMachineJson);
        fs::create_directories(folder / "drive_c/WINDOWS/system32");
        fs::create_directories(folder / "drive_c/TEMP");
        for (int i = 0; i < kArchiveFiles; ++i) {
            fs::path file = folder / "drive_c/Bench/Results" / ("PC" + std::to_string(i) + ".hrz");
            WriteHostFile(file, Records(kArchiveFileBytes, i));
            hostResults.push_back(file.string());
        }
    }
    ~BenchMachine() {
        std::error_code ec;
        fs::remove_all(folder, ec);
    }
};

BenchMachine& TheMachine() {
    static BenchMachine machine;
    return machine;
}

void Record(benchmark::State& state, const std::string& a, const std::string& b) {
    std::vector<double>& x = Samples()[a];
    std::vector<double>& y = Samples()[b];
    state.counters[a] = Median(x);
    state.counters[b] = Median(y);
    state.counters["ratio"] = Median(y) > 0 ? Median(x) / Median(y) : 0;
    state.counters["spread_" + a] = Spread(x);
    state.counters["spread_" + b] = Spread(y);
}

void BM_PackingBesideZip(benchmark::State& state) {
    BenchMachine& m = TheMachine();
    const fs::path ours = m.folder / "drive_c/Bench/#C#S#1.GTV";
    const fs::path theirs = m.folder / "zip-command.zip";
    std::vector<std::string> zip = {"zip", "-q", "-j", "-6", theirs.string()};
    zip.insert(zip.end(), m.hostResults.begin(), m.hostResults.end());
    const std::vector<std::string> pack = {SelfPath(), "--pack_once", m.folder.string()};
    int round = 0;
    for (auto _ : state) {
        // In turn, first one then the other, so that both meet the same state of the host.
        for (int side = 0; side < 2; ++side) {
            bool packFirst = round % 2 == 0;
            bool packing = (side == 0) == packFirst;
            fs::remove(packing ? ours : theirs);
            Child c = Run(packing ? pack : zip);
            if (!c.ok) state.SkipWithError(packing ? "the packing failed" : "zip failed");
            Samples()[packing ? "pack_ms" : "zip_ms"].push_back(c.wallMs);
        }
        ++round;
    }
    Record(state, "pack_ms", "zip_ms");
}

// The sample machine with the agent installed, as the build leaves it beside this program.
fs::path SampleMachine() { return fs::path(SelfPath()).parent_path() / "machine"; }

void BM_InteractiveBesideOnlineRun(benchmark::State& state) {
    const fs::path sample = SampleMachine();
    if (!fs::exists(sample / "machine.json")) {
        state.SkipWithError("no sample machine beside the program");
        return;
    }
    std::string pattern = (fs::temp_directory_path() / "qm-bench-run-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        state.SkipWithError("cannot make a temporary folder");
        return;
    }
    const fs::path work = pattern;
    int round = 0;
    for (auto _ : state) {
        for (int side = 0; side < 2; ++side) {
            bool online = (side == 0) == (round % 2 == 0);
            state.PauseTiming();
            // A fresh machine for every run: the run's own files must not carry over.
            const fs::path copy = work / "machine";
            fs::remove_all(copy);
            fs::copy(sample, copy, fs::copy_options::recursive);
            state.ResumeTiming();
            std::vector<std::string> run = {(copy / "drive_c/Program Files/Quarmelin/qmagent.exe").string()};
            if (online) {
                run.emplace_back("/N");
                run.emplace_back("/ONLINE");
            } else {
                run.emplace_back("/DLG");
            }
            Child c = Run(run, {"QM_MACHINE=" + copy.string()});
            if (!c.ok) state.SkipWithError("the agent did not end with 0");
            const std::string side_name = online ? "online" : "interactive";
            Samples()[side_name + "_ms"].push_back(c.wallMs);
            Samples()[side_name + "_idle_ms"].push_back(c.wallMs - c.cpuMs);
        }
        ++round;
    }
    std::error_code ec;
    fs::remove_all(work, ec);
    Record(state, "interactive_ms", "online_ms");
    state.counters["interactive_idle_ms"] = Median(Samples()["interactive_idle_ms"]);
    state.counters["online_idle_ms"] = Median(Samples()["online_idle_ms"]);
}

void BM_FirstCompareString(benchmark::State& state) {
    BenchMachine& m = TheMachine();
    const std::vector<std::string> compare = {SelfPath(), "--compare_once", m.folder.string()};
    const std::vector<std::string> load = {SelfPath(), "--load_once", m.folder.string()};
    int round = 0;
    for (auto _ : state) {
        for (int side = 0; side < 2; ++side) {
            bool comparing = (side == 0) == (round % 2 == 0);
            Child c = Run(comparing ? compare : load);
            if (!c.ok) state.SkipWithError("the process failed");
            Samples()[comparing ? "compare_ms" : "load_ms"].push_back(c.wallMs);
        }
        ++round;
    }
    Record(state, "compare_ms", "load_ms");
}

// The child processes: each loads the bench machine and does one thing.
int ChildMain(const std::string& mode, const std::string& machineFolder) {
    std::shared_ptr<qm::sim::SimMachine> machine = qm::sim::SimMachine::Load(machineFolder);
    qm::platform::InstallPlatform(machine);
    int code = 0;
    if (mode == "--pack_once") {
        // The sources stay, as with zip: both time the packing alone.
        code = qm::delivery::CreateOneZipFile(kArchive, kResults, {".hrz"}, false) ? 0 : 1;
    } else if (mode == "--compare_once") {
        code = qm::platform::Collation().CompareString(qm::platform::LOCALE_USER_DEFAULT, qm::platform::NORM_IGNORECASE,
                                                       "co-op", "Coop") == qm::platform::CSTR_EQUAL
                   ? 0
                   : 1;
    }
    qm::platform::InstallPlatform(nullptr);
    return code;
}

}  // namespace

BENCHMARK(BM_PackingBesideZip)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(40);
BENCHMARK(BM_InteractiveBesideOnlineRun)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);
BENCHMARK(BM_FirstCompareString)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(40);

int main(int argc, char** argv) {
    if (argc == 3 && (std::strcmp(argv[1], "--pack_once") == 0 || std::strcmp(argv[1], "--compare_once") == 0 ||
                      std::strcmp(argv[1], "--load_once") == 0)) {
        try {
            return ChildMain(argv[1], argv[2]);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
            return 2;
        }
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    const auto& s = Samples();
    auto median = [&](const char* name) {
        auto it = s.find(name);
        return it == s.end() ? 0.0 : Median(it->second);
    };
    auto spread = [&](const char* name) {
        auto it = s.find(name);
        return it == s.end() ? 0.0 : Spread(it->second);
    };
    auto ratio = [&](const char* a, const char* b) { return median(b) > 0 ? median(a) / median(b) : 0.0; };
    std::printf("\nmedians of fresh processes (spread: the middle half over the median)\n");
    std::printf("%-34s %10s %10s %8s %8s %8s\n", "", "ms", "beside ms", "ratio", "spread", "beside");
    std::printf("%-34s %10.1f %10.1f %8.2f %8.2f %8.2f\n", "CreateOneZipFile / zip -q -j -6", median("pack_ms"),
                median("zip_ms"), ratio("pack_ms", "zip_ms"), spread("pack_ms"), spread("zip_ms"));
    std::printf("%-34s %10.1f %10.1f %8.2f %8.2f %8.2f\n", "interactive run / online run", median("interactive_ms"),
                median("online_ms"), ratio("interactive_ms", "online_ms"), spread("interactive_ms"),
                spread("online_ms"));
    std::printf("%-34s %10.1f %10.1f\n", "  wall beyond processor time", median("interactive_idle_ms"),
                median("online_idle_ms"));
    std::printf("%-34s %10.1f %10.1f %8.2f %8.2f %8.2f\n", "first CompareString / machine load", median("compare_ms"),
                median("load_ms"), ratio("compare_ms", "load_ms"), spread("compare_ms"), spread("load_ms"));
    return 0;
}
