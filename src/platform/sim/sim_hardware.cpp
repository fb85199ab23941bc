#include <cstring>

#include "platform/sim/services.h"
#include "platform/text.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <x86intrin.h>
#define QM_HOST_X86 1
#endif

namespace qm::sim {

using namespace qm::platform;

namespace {

// The machine's memory as GlobalMemoryStatusEx reports it; the older call clips it.
MemoryStatusEx MemoryStatusOf(const MemoryConfig& m) {
    MemoryStatusEx status;
    status.dwMemoryLoad = m.totalBytes ? static_cast<DWORD>(100 - m.availableBytes * 100 / m.totalBytes) : 0;
    status.ullTotalPhys = m.totalBytes;
    status.ullAvailPhys = m.availableBytes;
    status.ullTotalPageFile = m.totalBytes * 2;
    status.ullAvailPageFile = m.availableBytes * 2;
    status.ullTotalVirtual = 0x7FFE0000u;
    status.ullAvailVirtual = 0x7F000000u;
    return status;
}

}  // namespace

void SimSystem::GlobalMemoryStatus(MemoryStatus& status) {
    MemoryStatusEx ex = MemoryStatusOf(state_.Config().memory);
    auto clip = [](std::uint64_t v) { return v > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(v); };
    status.dwMemoryLoad = ex.dwMemoryLoad;
    status.dwTotalPhys = clip(ex.ullTotalPhys);
    status.dwAvailPhys = clip(ex.ullAvailPhys);
    status.dwTotalPageFile = clip(ex.ullTotalPageFile);
    status.dwAvailPageFile = clip(ex.ullAvailPageFile);
    status.dwTotalVirtual = clip(ex.ullTotalVirtual);
    status.dwAvailVirtual = clip(ex.ullAvailVirtual);
}

bool SimSystem::HasGlobalMemoryStatusEx() { return state_.Config().memory.extendedCall; }

bool SimSystem::GlobalMemoryStatusEx(MemoryStatusEx& status) {
    if (!HasGlobalMemoryStatusEx() || state_.Fails("GlobalMemoryStatusEx", "", false)) return false;
    status = MemoryStatusOf(state_.Config().memory);
    return true;
}

void SimSystem::GetSystemInfo(SystemInfoData& info) {
    if (state_.Fails("GetSystemInfo", "", false)) throw PlatformFault("GetSystemInfo failed on purpose");
    info = SystemInfoData{};
    info.dwNumberOfProcessors = state_.Config().processor.count;
}

SimProcessor::SimProcessor(MachineState& state) : state_(state), config_(state.Config().processor) {
#ifndef QM_HOST_X86
    if (config_.host) throw MachineError("processor: the host processor is only available on x86 machines");
#endif
}

CpuidResult SimProcessor::Cpuid(std::uint32_t leaf) {
    if (state_.Fails("CPUID", "leaf" + std::to_string(leaf), false))
        throw PlatformFault("CPUID faulted for leaf " + std::to_string(leaf));
    CpuidResult r;
    if (config_.host) {
#ifdef QM_HOST_X86
        unsigned a = 0, b = 0, c = 0, d = 0;
        __cpuid_count(leaf, 0, a, b, c, d);
        return {a, b, c, d};
#endif
    }
    auto it = config_.leaves.find(leaf);
    if (it != config_.leaves.end()) return {it->second[0], it->second[1], it->second[2], it->second[3]};
    if (leaf == 0) {
        char v[12] = {};
        std::memcpy(v, config_.vendor.data(), config_.vendor.size());
        auto word = [&](int at) {
            std::uint32_t w = 0;
            std::memcpy(&w, v + at, 4);
            return w;
        };
        // The vendor text lies in EBX, EDX, ECX in that order.
        r.eax = 2;
        r.ebx = word(0);
        r.edx = word(4);
        r.ecx = word(8);
    }
    return r;
}

std::uint64_t SimProcessor::ReadTimeStampCounter() {
    if (state_.Fails("RDTSC", "", false)) throw PlatformFault("RDTSC faulted");
    if (config_.host) {
#ifdef QM_HOST_X86
        return __rdtsc();
#endif
    }
    // The two reads of each measurement lie one scripted frequency times 2.5 s apart.
    std::lock_guard lock(mutex_);
    std::size_t read = reads_++;
    if (read % 2 == 1) {
        std::size_t measurement = read / 2;
        const auto& f = config_.frequenciesMHz;
        std::uint32_t mhz = f[std::min(measurement, f.size() - 1)];
        counter_ += static_cast<std::uint64_t>(mhz) * 2'500'000u;
    } else {
        counter_ += 1'000'000;
    }
    return counter_;
}

namespace {

class SimDevice final : public Device {
public:
    SimDevice(MachineState& state, const DeviceConfig& config) : state_(state), config_(config) {}

    bool DeviceIoControl(DWORD code, const void* input, DWORD inputSize, void* output, DWORD outputSize,
                         DWORD& bytesReturned) override {
        bytesReturned = 0;
        if (state_.Fails("DeviceIoControl", config_.name, false)) return false;
        std::string_view in(static_cast<const char*>(input), input ? inputSize : 0);
        for (const DeviceControl& c : config_.controls) {
            if (c.code != code || in.substr(0, c.inputPrefix.size()) != c.inputPrefix) continue;
            if (c.error != 0) {
                SetLastError(c.error);
                return false;
            }
            if (c.output.size() > outputSize) {
                SetLastError(ERROR_INSUFFICIENT_BUFFER);
                return false;
            }
            if (!c.output.empty()) std::memcpy(output, c.output.data(), c.output.size());
            bytesReturned = static_cast<DWORD>(c.output.size());
            return true;
        }
        // A driver refuses a request it does not know.
        SetLastError(ERROR_INVALID_FUNCTION);
        return false;
    }

private:
    MachineState& state_;
    const DeviceConfig& config_;
};

}  // namespace

std::unique_ptr<Device> SimDevices::CreateFile(std::string_view deviceName, DWORD, DWORD, CreationDisposition) {
    if (state_.Fails("CreateFile", deviceName, false)) return nullptr;
    for (const DeviceConfig& d : state_.Config().devices)
        if (EqualsNoCase(d.name, deviceName)) {
            SetLastError(ERROR_SUCCESS);
            return std::make_unique<SimDevice>(state_, d);
        }
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
}

}  // namespace qm::sim
