#pragma once
// The simulated machine's WMI: namespaces, classes with typed properties and their instances,
// as machine.json's "wmi" says, answering the small WQL the programs send:
// SELECT * | p1, p2, ... FROM class [WHERE p = literal].

#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

#include "platform/wmi.h"

namespace qm::sim {

class CodePageTable;
class MachineState;

struct WmiPropertyConfig {
    std::string name;
    std::string type;  // the CIM type: "boolean", "string", "uint32", ...
    bool isArray = false;
    bool key = false;
};

// One property of one instance: its value as the scripting objects hand it back, or the
// failure that reading it meets.
struct WmiValueConfig {
    platform::VARIANT value;  // VT_NULL when the instance gives none
    platform::HRESULT error = platform::S_OK;
};

struct WmiClassConfig {
    std::string name;
    std::vector<WmiPropertyConfig> properties;  // in alphabetical order, without regard to case
    std::vector<std::vector<WmiValueConfig>> instances;  // one value per property, in that order
    platform::HRESULT error = platform::S_OK;  // not S_OK: every query of the class fails so
};

struct WmiNamespaceConfig {
    std::string name;  // with backslashes, as the machine file spells it
    std::vector<WmiClassConfig> classes;
    platform::HRESULT error = platform::S_OK;  // not S_OK: ConnectServer refuses it so
};

struct WmiConfig {
    bool installed = false;  // the machine file has "wmi"
    std::vector<WmiNamespaceConfig> namespaces;
};

// The "wmi" entry: {"namespaces": {...}}, or the name of a JSON file beside machine.json that
// holds one. Throws MachineError naming the file and the place of a fault.
WmiConfig ParseWmiConfig(const nlohmann::json& node, const std::string& fileName, const std::string& pointer,
                         const std::string& machineFolder, const CodePageTable& cp);

class SimWmi final : public platform::WmiService {
public:
    explicit SimWmi(MachineState& state) : state_(state) {}
    platform::HRESULT CreateLocator(std::unique_ptr<platform::WmiLocator>& locator) override;

private:
    MachineState& state_;
};

}  // namespace qm::sim
