// Version resources: the first byte chooses whether the rest is a program file (its resource
// directory and version block read through the version functions) or a version block alone.

#include <string>
#include <vector>

#include "fuzz_machine.h"
#include "platform/platform.h"

using namespace qm::platform;

namespace {

void QueryAll(const std::string& block) {
    std::string value;
    for (const char* path : {"\\", "\\VarFileInfo\\Translation", "\\StringFileInfo", "\\StringFileInfo\\040904E4\\CompanyName",
                             "\\StringFileInfo\\040904E4\\ProductVersion", "\\\\\\", "\\VarFileInfo"})
        (void)Versions().VerQueryValue(block, path, value);
    // Every translation the block names, as the collectors look them up.
    if (!Versions().VerQueryValue(block, "\\VarFileInfo\\Translation", value)) return;
    std::string translations = value;
    for (std::size_t at = 0; at + 4 <= translations.size() && at < 64; at += 4) {
        auto word = [&](std::size_t p) {
            return static_cast<unsigned>(static_cast<unsigned char>(translations[p]) | static_cast<unsigned char>(translations[p + 1]) << 8);
        };
        char key[16];
        std::snprintf(key, sizeof key, "%04X%04X", word(at), word(at + 2));
        (void)Versions().VerQueryValue(block, std::string("\\StringFileInfo\\") + key + "\\FileDescription", value);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto& machine = qm::fuzz::Machine();
    if (size == 0) return 0;
    std::string rest = qm::fuzz::Bytes(data + 1, size - 1);
    if (data[0] & 1) {
        QueryAll(rest);
        return 0;
    }
    // Two names in turn, so that the machine's cache of the last file never answers.
    static unsigned turn = 0;
    std::string path = ++turn % 2 ? "C:\\Apps\\one.dll" : "C:\\Apps\\two.dll";
    machine.WriteFile(path, rest);
    DWORD blockSize = Versions().GetFileVersionInfoSize(path);
    std::string block;
    if (blockSize == 0 || !Versions().GetFileVersionInfo(path, blockSize, block)) return 0;
    qm::fuzz::Require(block.size() == blockSize);
    QueryAll(block);
    return 0;
}
