#pragma once
// GUID creation.

#include <array>
#include <cstdint>
#include <string>

namespace qm::platform {

struct Guid {
    std::uint32_t data1 = 0;
    std::uint16_t data2 = 0;
    std::uint16_t data3 = 0;
    std::array<std::uint8_t, 8> data4{};
    friend bool operator==(const Guid&, const Guid&) = default;
};

class GuidsService {
public:
    virtual ~GuidsService() = default;
    // CoCreateGuid: false when no GUID could be made.
    virtual bool CoCreateGuid(Guid& guid) = 0;
};

// The registry text form, as StringFromGUID2 gives it: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
// with upper-case digits.
std::string GuidToString(const Guid& guid);
// Parses that form (braces optional, either case); false when it is not one.
bool GuidFromString(const std::string& text, Guid& guid);

}  // namespace qm::platform
