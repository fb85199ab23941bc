// The delivery's hot paths beside plain tools over the same data: scrambling a result file
// against the same copy without the scrambling (in pieces through a temporary file renamed into
// place) and beside a plain copy, and packing result files into one archive against zip(1).
// The run ends with the ratios side by side.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/process_state.h"
#include "ratio_reporter.h"
#include "result_records.h"
#include "delivery/archives.h"
#include "delivery/scrambling.h"
#include "platform/platform.h"
#include "support/agent_state.h"
#include "support/test_machine.h"

namespace {

namespace fs = std::filesystem;
using qm::bench::Records;

constexpr std::size_t kResultBytes = 8u << 20;  // a large hardware result file
constexpr int kArchiveFiles = 200;              // result files waiting to be packed
constexpr std::size_t kArchiveFileBytes = 32u << 10;

struct Data {
    std::unique_ptr<qm::test::TestMachine> machine;
    std::string results;  // the host folder of the waiting results
};

Data& TheData() {
    static Data data;
    if (!data.machine) {
        data.machine = std::make_unique<qm::test::TestMachine>();
        qm::test::StartAgent();
        data.machine->WriteFile("C:\\Bench\\PC.hrz", Records(kResultBytes, 0));
        data.machine->MakeFolder("C:\\Bench\\Results");
        data.results = data.machine->HostPath("C:\\Bench\\Results");
    }
    return data;
}

void WriteResults() {
    for (int i = 0; i < kArchiveFiles; ++i)
        std::ofstream(TheData().results + "/PC" + std::to_string(i) + ".hrz", std::ios::binary) << Records(kArchiveFileBytes, i);
}

void BM_EncryptFile(benchmark::State& state) {
    TheData();
    for (auto _ : state) benchmark::DoNotOptimize(qm::delivery::EncryptFile("C:\\Bench\\PC.hrz", "C:\\Bench\\PC.scr", 38219));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(kResultBytes));
}

// EncryptFile's way without its XOR: the same pieces, the same temporary file and rename.
bool CopyThroughTemporary(const char* source, const char* target) {
    using namespace qm::platform;
    auto in = Files().CreateFile(source, GENERIC_READ, CreationDisposition::OpenExisting);
    if (!in) return false;
    constexpr DWORD kChunk = 512 * 1024;
    std::unique_ptr<char[]> chunk(new char[kChunk]);
    return ReplaceFileSafely(Files(), target, [&](File& out) {
        for (;;) {
            DWORD read = 0, put = 0;
            if (!in->ReadFile(chunk.get(), kChunk, read)) return false;
            if (read == 0) return true;
            if (!out.WriteFile(chunk.get(), read, put)) return false;
        }
    });
}

void BM_TemporaryCopy(benchmark::State& state) {
    TheData();
    for (auto _ : state) benchmark::DoNotOptimize(CopyThroughTemporary("C:\\Bench\\PC.hrz", "C:\\Bench\\PC.tmc"));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(kResultBytes));
}

// The two in turn, so that both meet the same state of the host (its cache, its other
// work): the speed is the median over the pairs of the copy's time over the scrambling's.
void BM_EncryptBesideTemporaryCopy(benchmark::State& state) {
    TheData();
    std::vector<double> speeds;
    double encrypting = 0, copying = 0;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(qm::delivery::EncryptFile("C:\\Bench\\PC.hrz", "C:\\Bench\\PC.scr", 38219));
        auto t1 = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(CopyThroughTemporary("C:\\Bench\\PC.hrz", "C:\\Bench\\PC.tmc"));
        auto t2 = std::chrono::steady_clock::now();
        encrypting += std::chrono::duration<double, std::milli>(t1 - t0).count();
        copying += std::chrono::duration<double, std::milli>(t2 - t1).count();
        speeds.push_back(std::chrono::duration<double>(t2 - t1) / std::chrono::duration<double>(t1 - t0));
    }
    std::sort(speeds.begin(), speeds.end());
    const auto n = static_cast<double>(state.iterations());
    state.counters["encrypt_ms"] = encrypting / n;
    state.counters["copy_ms"] = copying / n;
    state.counters["speed"] = speeds.empty() ? 0.0 : speeds[speeds.size() / 2];
}

void BM_PlainCopy(benchmark::State& state) {
    TheData();
    for (auto _ : state) benchmark::DoNotOptimize(qm::platform::Files().CopyFile("C:\\Bench\\PC.hrz", "C:\\Bench\\PC.cpy", false));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(kResultBytes));
}

void BM_CreateOneZipFile(benchmark::State& state) {
    TheData();
    for (auto _ : state) {
        state.PauseTiming();
        WriteResults();
        state.ResumeTiming();
        // The sources stay, as with the zip command below: both time the packing alone.
        benchmark::DoNotOptimize(qm::delivery::CreateOneZipFile("C:\\Bench\\#C#S#1.GTV", "C:\\Bench\\Results\\", {".hrz"}, false));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kArchiveFiles * static_cast<std::int64_t>(kArchiveFileBytes));
}

void BM_ZipCommand(benchmark::State& state) {
    TheData();
    std::string archive = TheData().results + "/../zip-command.zip";
    std::string command = "cd '" + TheData().results + "' && zip -q -j '" + archive + "' *.hrz";
    for (auto _ : state) {
        state.PauseTiming();
        WriteResults();
        std::remove(archive.c_str());
        state.ResumeTiming();
        if (std::system(command.c_str()) != 0) state.SkipWithError("zip failed");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kArchiveFiles * static_cast<std::int64_t>(kArchiveFileBytes));
}

}  // namespace

BENCHMARK(BM_EncryptFile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TemporaryCopy)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EncryptBesideTemporaryCopy)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_PlainCopy)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CreateOneZipFile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ZipCommand)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    qm::bench::RatioReporter times;
    benchmark::RunSpecifiedBenchmarks(&times);
    benchmark::Shutdown();
    // Speeds: the other's time over this one's, so that 1 is as fast and more is faster.
    std::printf("\n%-18s %16s %12s\n", "speed", "temporary copy", "plain copy");
    std::printf("%-18s %16.2f %12.2f\n", "EncryptFile", times.Ratio("BM_TemporaryCopy", "BM_EncryptFile"),
                times.Ratio("BM_PlainCopy", "BM_EncryptFile"));
    std::printf("%-18s %16s %12.2f\n", "CreateOneZipFile", "", times.Ratio("BM_ZipCommand", "BM_CreateOneZipFile"));
    return 0;
}
