#include "core/jpeg_picture.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace qm::core {

namespace {

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

constexpr JDIMENSION kMaxSide = 4096;
// A progressive picture needs a few dozen scans at most; a file that repeats its scans by the
// thousand would take minutes to decode, and is no picture.
constexpr int kMostScans = 100;

[[noreturn]] void OnError(j_common_ptr info) {
    auto* errors = reinterpret_cast<ErrorManager*>(info->err);
    std::longjmp(errors->jump, 1);
}

void Quiet(j_common_ptr, int) {}

void LimitScans(j_common_ptr info) {
    if (info->is_decompressor && reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > kMostScans)
        OnError(info);
}

}  // namespace

bool DecodeJpeg(std::string_view bytes, Picture& picture) {
    picture = Picture{};
    if (bytes.empty()) return false;
    jpeg_decompress_struct info{};
    ErrorManager errors{};
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = OnError;
    errors.base.emit_message = Quiet;
    // Set apart before the jump target: the rows read so far are dropped on failure.
    std::vector<std::uint8_t> rgb;
    if (setjmp(errors.jump) != 0) {
        jpeg_destroy_decompress(&info);
        picture = Picture{};
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_progress_mgr progress{};
    progress.progress_monitor = LimitScans;
    info.progress = &progress;
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    // A window's picture: anything larger is no picture for it (and would cost the memory).
    if (info.image_width > kMaxSide || info.image_height > kMaxSide) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    std::size_t stride = static_cast<std::size_t>(info.output_width) * 3;
    try {
        rgb.resize(stride * info.output_height);
    } catch (const std::bad_alloc&) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = rgb.data() + stride * info.output_scanline;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    picture.width = static_cast<int>(info.output_width);
    picture.height = static_cast<int>(info.output_height);
    picture.rgb = std::move(rgb);
    jpeg_destroy_decompress(&info);
    return true;
}

}  // namespace qm::core
