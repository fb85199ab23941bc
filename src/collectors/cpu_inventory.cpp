#include "collectors/cpu_inventory.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "collectors/collector_guard.h"
#include "collectors/windows_version.h"
#include "core/result_list.h"
#include "core/sections.h"
#include "core/trace_log.h"
#include "platform/platform.h"
#include "platform/registry_accessor.h"

namespace qm::collectors {

using namespace qm::platform;
using core::AddResultLine;
using core::QuoteField;
using core::sections::kCpu;

namespace {

template <typename Clock>
std::int64_t MeasureOver(Clock clock) {
    DWORD t0 = clock();
    while (clock() == t0) {
    }
    std::uint64_t c0 = ReadTimeStampCounter();
    // The difference, not the reading, is compared: a counter that wraps meanwhile still
    // gives a whole interval.
    while (static_cast<DWORD>(clock() - t0) < 2500u) {
    }
    std::uint64_t c1 = ReadTimeStampCounter();
    return static_cast<std::int64_t>(std::nearbyint(static_cast<double>(c1 - c0) * 0.000001 / 2.5));
}

std::string Hex(std::uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", digits, value);
    return text;
}

}  // namespace

std::uint64_t ReadTimeStampCounter() { return Processor().ReadTimeStampCounter(); }

std::int64_t CpuSpeedByTimeGetTime() {
    return MeasureOver([] { return Clock().timeGetTime(); });
}

std::int64_t CpuSpeedByTickCount() {
    return MeasureOver([] { return Clock().GetTickCount(); });
}

std::int64_t GetCpuSpeed() { return GetCpuSpeed(WindowsVersion()); }

std::int64_t GetCpuSpeed(const OsVersionInfo& version) {
    return version.dwPlatformId == VER_PLATFORM_WIN32_NT ? CpuSpeedByTimeGetTime() : CpuSpeedByTickCount();
}

void GetCpuVendor(char (&vendor)[12]) {
    CpuidResult r = Processor().Cpuid(0);
    std::memcpy(vendor, &r.ebx, 4);
    std::memcpy(vendor + 4, &r.edx, 4);
    std::memcpy(vendor + 8, &r.ecx, 4);
}

void GetCpuSignature(CpuidResult& signature) { signature = Processor().Cpuid(1); }

std::uint32_t GetCacheDescriptors() { return Processor().Cpuid(2).edx; }

std::string L2CacheSize(std::uint8_t descriptor) {
    switch (descriptor) {
        case 0x40: return "0KB";
        case 0x41: return "128KB";
        case 0x42: case 0x82: return "256KB";
        case 0x43: case 0x83: return "512KB";
        case 0x44: case 0x84: return "1024KB";
        case 0x45: case 0x85: return "2048KB";
        default: return "N/A";
    }
}

int GetProcessorCount() {
    int count = 1;
    LogAndGoOn([&] {
        SystemInfoData info;
        System().GetSystemInfo(info);
        count = static_cast<int>(info.dwNumberOfProcessors);
    });
    return count;
}

std::int32_t MeasureCpuFrequency() {
    std::int32_t frequency = 0;
    LogAndGoOn([&] {
        OsVersionInfo version = WindowsVersion();
        std::int32_t v[9];
        std::int32_t highest = 0, second = 0;
        for (auto& value : v) {
            value = static_cast<std::int32_t>(GetCpuSpeed(version));
            if (value > highest) {
                second = highest;
                highest = value;
            } else if (value < highest && value > second) {
                second = value;
            }
        }
        int best = 0;
        std::int32_t result = 0;
        for (std::int32_t value : v) {
            int n = 0;
            for (std::int32_t other : v) n += other == value ? 1 : 0;
            if (n >= best) {
                best = n;
                result = value;
            }
        }
        frequency = best == 1 ? second : result;
    });
    return frequency;
}

void CpuInventory() {
    std::string vendor = "Not detected";
    std::int32_t measured = 0, registry = 0;
    CpuidResult signature;
    std::uint32_t descriptors = 0;
    LogAndGoOn([&] {
        char bytes[12] = {};
        GetCpuVendor(bytes);
        vendor.assign(bytes, strnlen(bytes, sizeof bytes));
    });
    LogAndGoOn([&] { measured = MeasureCpuFrequency(); });
    LogAndGoOn([&] { GetCpuSignature(signature); });
    LogAndGoOn([&] { descriptors = GetCacheDescriptors(); });
    LogAndGoOn([&] {
        RegistryAccessor reg(HKEY_LOCAL_MACHINE);
        if (reg.OpenKeyReadOnly("HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0") && reg.ValueExists("~Mhz"))
            registry = reg.ReadInteger("~Mhz");
    });
    AddResultLine(kCpu, "Frequency", QuoteField(std::to_string(measured)));
    AddResultLine(kCpu, "Freq in reg", QuoteField(std::to_string(registry)));
    AddResultLine(kCpu, "Vendor", QuoteField(vendor));
    AddResultLine(kCpu, "TFMS", QuoteField(Hex(signature.eax & 0x3FFF, 4)));
    AddResultLine(kCpu, "BrandID", QuoteField(Hex(signature.ebx & 0xFF, 2)));
    AddResultLine(kCpu, "L2 cache", QuoteField(L2CacheSize(static_cast<std::uint8_t>(descriptors & 0xFF))));
    AddResultLine(kCpu, "Count", QuoteField(std::to_string(GetProcessorCount())));
}

}  // namespace qm::collectors
