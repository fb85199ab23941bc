#pragma once
// The "Peripherals tree" section: the devices the system has configured, each as its upper-cased
// class, ";" and its description, sorted and numbered from 1.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace qm::collectors {

// The texts of the devices found, in walk order.
using DeviceList = std::vector<std::string>;
// The 9x hardware keys with their problem codes, in walk order.
using HardwareKeyList = std::vector<std::pair<std::string, std::uint32_t>>;

void GetArboSystem();

void getArboSystem9x();
// The device nodes below the key of HKEY_DYN_DATA that carry a hardware key and a problem code.
void getHardwareKey(const std::string& path, HardwareKeyList& keys);
// The device of the key of HKEY_LOCAL_MACHINE, unless it lacks a class or a description or is
// of class "SYSTEM"; a problem code other than zero follows "###".
void getHardwareDevice(const std::string& path, std::uint32_t problem, DeviceList& devices);

void ArboSystemNT();
// The present devices below the key of HKEY_LOCAL_MACHINE.
void ParcoursDevices(const std::string& path, DeviceList& devices);
// The class name that the class key of the GUID gives, empty when there is none.
std::string AnalyseGUID(const std::string& guid);
// The NT 4 device maps: disks and CD-ROM drives, the ports, the network cards.
void ScanScsiDeviceMap(const std::string& path, DeviceList& devices);
void ScanPortDeviceMap(const std::string& path, DeviceList& devices);
void ScanNetworkCards(const std::string& path, DeviceList& devices);

// Sorts the list as the user's locale collates it, letter case ignored, equal texts in walk
// order, and writes one record per entry.
void WriteDeviceRecords(DeviceList& devices);

}  // namespace qm::collectors
