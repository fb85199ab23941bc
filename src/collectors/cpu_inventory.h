#pragma once
// The "CPU" section: the measured clock frequency, the registry's, the vendor, the signature,
// the brand index, the level-2 cache and the number of processors.

#include <cstdint>
#include <string>

#include "platform/processor.h"
#include "platform/system.h"

namespace qm::collectors {

std::uint64_t ReadTimeStampCounter();
// One measurement: time-stamp counter ticks over 2.5 s of the multimedia timer or the tick
// count, in MHz.
std::int64_t CpuSpeedByTimeGetTime();
std::int64_t CpuSpeedByTickCount();
// The multimedia timer on the NT family, the tick count otherwise; without the version in
// hand it is read.
std::int64_t GetCpuSpeed();
std::int64_t GetCpuSpeed(const platform::OsVersionInfo& version);

void GetCpuVendor(char (&vendor)[12]);
void GetCpuSignature(platform::CpuidResult& signature);
std::uint32_t GetCacheDescriptors();
std::string L2CacheSize(std::uint8_t descriptor);
int GetProcessorCount();
// The most frequent of nine measurements (the latest among equals; the second highest when
// all differ); 0 when a measurement fails.
std::int32_t MeasureCpuFrequency();
void CpuInventory();

}  // namespace qm::collectors
