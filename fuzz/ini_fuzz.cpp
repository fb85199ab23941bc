// INI files: the in-memory image and the private-profile reads of the simulated machine over
// the same bytes.

#include "fuzz_machine.h"
#include "platform/ini_image.h"
#include "platform/platform.h"

using namespace qm::platform;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto& machine = qm::fuzz::Machine();
    std::string bytes = qm::fuzz::Bytes(data, size);
    IniImage image = IniImage::FromText(bytes);
    machine.WriteFile("C:\\TEMP\\fuzz.ini", bytes);
    for (const std::string& section : image.SectionNames()) {
        qm::fuzz::Require(image.SectionExists(section));
        (void)image.SectionLines(section);
        for (const std::string& key : image.KeyNames(section)) {
            (void)image.ReadString(section, key, "");
            (void)image.ReadInteger(section, key, 0);
            (void)Profile().GetPrivateProfileString(section, key, "", "C:\\TEMP\\fuzz.ini");
            (void)Profile().GetPrivateProfileInt(section, key, 0, "C:\\TEMP\\fuzz.ini");
        }
    }
    // The profile's own lists of the same file.
    for (const std::string& section : Profile().GetPrivateProfileSectionNames("C:\\TEMP\\fuzz.ini"))
        for (const std::string& key : Profile().GetPrivateProfileKeyNames(section, "C:\\TEMP\\fuzz.ini"))
            (void)Profile().GetPrivateProfileString(section, key, "", "C:\\TEMP\\fuzz.ini");
    int number = 0;
    (void)ParseWholeInteger(bytes, number);
    return 0;
}
