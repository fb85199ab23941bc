// The delivery's hot paths beside plain tools over the same data: scrambling a result file
// against a plain copy of it, and packing result files into one archive against zip(1).

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "core/process_state.h"
#include "delivery/archives.h"
#include "delivery/scrambling.h"
#include "platform/platform.h"
#include "support/agent_state.h"
#include "support/test_machine.h"

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kResultBytes = 8u << 20;  // a large hardware result file
constexpr int kArchiveFiles = 200;              // result files waiting to be packed
constexpr std::size_t kArchiveFileBytes = 32u << 10;

// Text shaped like result records, so that the compressor has realistic work.
std::string Records(std::size_t bytes, int seed) {
    std::string text;
    for (int i = 0; text.size() < bytes; ++i)
        text += "\"Software\",\"" + std::to_string(i) + "\",\"0\",\"C:\\PROGRAM FILES\\APP " + std::to_string((i * 7 + seed) % 97) +
                "\\\",\"app.exe\",\"" + std::to_string(1000 + i % 5000) + "\",\"Maker\",\"Product\",\"1.0\",\"English\",\"\"\r\n";
    text.resize(bytes);
    return text;
}

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
BENCHMARK(BM_PlainCopy)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CreateOneZipFile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ZipCommand)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
