// Writes the front-end's pictures and catalogues: the splash picture (JPEG), the five
// pictures of the drive table (GIF) and the two catalogues, scrambled as the front-end reads
// them. Run it from the source folder after changing what it writes; its output is kept in
// frontend/.
//   cmake --build --preset default --target make_frontend_files && build/bin/make_frontend_files

#include <cmath>
#include <cstdint>
#include <cstdio>

#include <gif_lib.h>
#include <jpeglib.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "delivery/scrambling.h"

namespace {

namespace fs = std::filesystem;

const fs::path kFolder = "frontend";

struct Rgb {
    std::uint8_t r, g, b;
};

// A picture of a few colours: one palette index per pixel, rows from the top.
struct Indexed {
    int width = 0;
    int height = 0;
    std::vector<Rgb> palette;
    std::vector<std::uint8_t> pixels;

    Indexed(int w, int h, std::vector<Rgb> colours) : width(w), height(h), palette(std::move(colours)), pixels(static_cast<std::size_t>(w * h), 0) {}
    void Fill(int left, int top, int right, int bottom, std::uint8_t colour) {
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x)
                if (x >= 0 && y >= 0 && x < width && y < height) pixels[static_cast<std::size_t>(y * width + x)] = colour;
    }
};

void WriteGif(const fs::path& file, const Indexed& picture) {
    int error = 0;
    GifFileType* gif = EGifOpenFileName(file.string().c_str(), false, &error);
    if (gif == nullptr) throw std::runtime_error("cannot write " + file.string() + ": " + GifErrorString(error));
    // giflib wants a palette of a power of two entries.
    int size = 2;
    while (size < static_cast<int>(picture.palette.size())) size *= 2;
    std::vector<GifColorType> colours(static_cast<std::size_t>(size), GifColorType{0, 0, 0});
    for (std::size_t i = 0; i < picture.palette.size(); ++i)
        colours[i] = GifColorType{picture.palette[i].r, picture.palette[i].g, picture.palette[i].b};
    ColorMapObject* map = GifMakeMapObject(size, colours.data());
    bool ok = EGifPutScreenDesc(gif, picture.width, picture.height, 8, 0, map) == GIF_OK &&
              EGifPutImageDesc(gif, 0, 0, picture.width, picture.height, false, nullptr) == GIF_OK;
    std::vector<GifPixelType> row(static_cast<std::size_t>(picture.width));
    for (int y = 0; ok && y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) row[static_cast<std::size_t>(x)] = picture.pixels[static_cast<std::size_t>(y * picture.width + x)];
        ok = EGifPutLine(gif, row.data(), picture.width) == GIF_OK;
    }
    GifFreeMapObject(map);
    if (EGifCloseFile(gif, &error) != GIF_OK || !ok) throw std::runtime_error("cannot write " + file.string());
    // giflib makes its files readable by their owner alone.
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
    std::printf("%s\n", file.string().c_str());
}

void WriteJpeg(const fs::path& file, int width, int height, const std::vector<std::uint8_t>& rgb) {
    FILE* out = std::fopen(file.string().c_str(), "wb");
    if (out == nullptr) throw std::runtime_error("cannot write " + file.string());
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, out);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb.data() + static_cast<std::size_t>(info.next_scanline) * static_cast<std::size_t>(width) * 3);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::fclose(out);
    std::printf("%s\n", file.string().c_str());
}

// The splash picture: a blue band behind a drawn workstation, the right side left plain for
// the caption that stands over it.
void WriteSplash(const fs::path& file) {
    const int width = 528, height = 126;
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width * height * 3));
    auto put = [&](int x, int y, Rgb c) {
        if (x < 0 || y < 0 || x >= width || y >= height) return;
        std::size_t at = static_cast<std::size_t>((y * width + x) * 3);
        rgb[at] = c.r;
        rgb[at + 1] = c.g;
        rgb[at + 2] = c.b;
    };
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            double t = static_cast<double>(x) / width;
            put(x, y, Rgb{static_cast<std::uint8_t>(20 + 40 * t), static_cast<std::uint8_t>(60 + 70 * t), static_cast<std::uint8_t>(120 + 100 * t)});
        }
    auto box = [&](int l, int t, int r, int b, Rgb c) {
        for (int y = t; y < b; ++y)
            for (int x = l; x < r; ++x) put(x, y, c);
    };
    box(40, 18, 150, 88, Rgb{210, 214, 220});   // the screen's frame
    box(48, 25, 142, 80, Rgb{30, 110, 170});    // the screen
    box(84, 88, 114, 98, Rgb{180, 184, 190});   // its foot
    box(60, 98, 138, 104, Rgb{180, 184, 190});
    box(164, 30, 200, 104, Rgb{200, 204, 210});  // the tower
    box(170, 40, 194, 44, Rgb{90, 94, 100});
    box(170, 50, 194, 54, Rgb{90, 94, 100});
    box(186, 92, 192, 96, Rgb{40, 200, 80});     // its light
    // A report on the screen: rows of a table.
    for (int row = 0; row < 5; ++row) box(56, 32 + row * 9, 134, 37 + row * 9, row % 2 ? Rgb{200, 225, 245} : Rgb{240, 248, 255});
    WriteJpeg(file, width, height, rgb);
}

void WriteDrivePictures(const fs::path& folder) {
    const Rgb transparentGrey{255, 255, 255}, body{160, 164, 172}, dark{70, 72, 80}, led{40, 200, 80}, disc{200, 200, 215},
        hole{255, 255, 255}, cable{220, 160, 40};
    Indexed drive(16, 16, {transparentGrey, body, dark, led});
    drive.Fill(1, 5, 15, 12, 2);
    drive.Fill(2, 6, 14, 11, 1);
    drive.Fill(11, 8, 13, 10, 3);
    WriteGif(folder / "drive.gif", drive);

    Indexed network(16, 16, {transparentGrey, body, dark, led, cable});
    network.Fill(1, 2, 15, 9, 2);
    network.Fill(2, 3, 14, 8, 1);
    network.Fill(11, 5, 13, 7, 3);
    network.Fill(7, 9, 9, 13, 4);
    network.Fill(2, 13, 14, 15, 4);
    WriteGif(folder / "network_drive.gif", network);

    Indexed cd(16, 16, {transparentGrey, disc, dark, hole});
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            double d = std::hypot(x - 7.5, y - 7.5);
            std::uint8_t c = d > 7.5 ? 0 : d > 6.5 ? 2 : d > 2.0 ? 1 : 3;
            cd.pixels[static_cast<std::size_t>(y * 16 + x)] = c;
        }
    WriteGif(folder / "cd_drive.gif", cd);

    // The usage bar: the used part, then the free part; the report stretches each.
    Indexed used(4, 18, {Rgb{200, 60, 50}, Rgb{150, 40, 30}});
    used.Fill(0, 16, 4, 18, 1);
    WriteGif(folder / "pourcoff.gif", used);
    Indexed free(4, 18, {Rgb{70, 170, 80}, Rgb{40, 120, 50}});
    free.Fill(0, 16, 4, 18, 1);
    WriteGif(folder / "pourcon.gif", free);
}

void WriteCatalog(const fs::path& file, const std::vector<std::string>& rows) {
    std::string text;
    for (const std::string& row : rows) text += row + "\r\n";
    std::ofstream(file, std::ios::binary | std::ios::trunc) << qm::delivery::ScrambleString(text, qm::delivery::kByteXorKey);
    std::printf("%s\n", file.string().c_str());
}

}  // namespace

int main() {
    fs::create_directories(kFolder / "DONE");
    WriteSplash(kFolder / "qnlonline.jpg");
    WriteDrivePictures(kFolder / "DONE");
    // The software catalogue: program file, product shown, version prefix (or NULL), version
    // label, company it must come from (or NULL), publisher shown, class ("0": no security
    // product).
    WriteCatalog(kFolder / "data.dta",
                 {
                     "ledger.exe\tLedger Pro\t4.\tLedger Pro 4\tLedger Software Ltd\tLedger Software\t0",
                     "ledger.exe\tLedger Classic\tNULL\tLedger Classic\tNULL\tLedger Software\t0",
                     "paint.exe\tPaint Shop\tNULL\tPaint Shop\tNULL\tBrushworks\t0",
                     "notepad.exe\tNotepad\tNULL\tNotepad\tNorthwind Tools\tNorthwind Tools\t0",
                     "compta.exe\tCompta Plus\t3.\tCompta Plus 3\tExemple Logiciels\tExemple Logiciels\t0",
                     "shieldav.exe\tShield Antivirus\tNULL\tShield Antivirus\tNULL\tShieldWorks\t1",
                     "outil.exe\tOutil R\xE9seau\t1.\tOutil R\xE9seau 1\tExemple Logiciels\tExemple Logiciels\t2",
                 });
    // The processor catalogue: start of the TFMS value, cache, vendor, type, brand identifier
    // (or NULL).
    WriteCatalog(kFolder / "datap.dta",
                 {
                     "0F2\t512 KB level 2\tGenuineIntel\tDesktop processor, family 15 model 2\t09",
                     "0F2\t512 KB level 2\tGenuineIntel\tMobile processor, family 15 model 2\t0E",
                     "061\t256 KB level 2\tAuthenticAMD\tDesktop processor, family 6 model 1\tNULL",
                 });
    return 0;
}
