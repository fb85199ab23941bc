// Encoded settings fields and scrambled bytes: the decoder takes anything, and each encoder
// and its decoder invert each other.

#include "delivery/scrambling.h"
#include "fuzz_machine.h"

using namespace qm::delivery;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string bytes = qm::fuzz::Bytes(data, size);
    (void)DecodeSetting(bytes, kSettingsKey);
    (void)Base64Decode(bytes);
    qm::fuzz::Require(Base64Decode(Base64Encode(bytes)) == bytes);
    qm::fuzz::Require(ScrambleString(ScrambleString(bytes, kByteXorKey), kByteXorKey) == bytes);
    // A plain value with its filler: the first 16 bytes fill, the rest is the value.
    std::string filler = bytes.substr(0, std::min<std::size_t>(16, bytes.size()));
    std::string plain = bytes.substr(filler.size());
    qm::fuzz::Require(DecodeSetting(EncodeSetting(plain, kSettingsKey, filler), kSettingsKey) == plain);
    return 0;
}
