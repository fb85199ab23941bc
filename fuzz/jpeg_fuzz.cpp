// The JPEG pictures of the windows: a picture or none.

#include "core/jpeg_picture.h"
#include "fuzz_machine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qm::core::Picture picture;
    if (qm::core::DecodeJpeg(qm::fuzz::Bytes(data, size), picture))
        qm::fuzz::Require(picture.rgb.size() == static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height) * 3);
    else
        qm::fuzz::Require(picture.rgb.empty() && picture.width == 0);
    return 0;
}
