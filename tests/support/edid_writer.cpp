#include "support/edid_writer.h"

#include <cmath>
#include <stdexcept>

namespace qm::test {

namespace {

std::vector<std::uint8_t> DisplayDescriptor(std::uint8_t tag) {
    std::vector<std::uint8_t> b(18, 0);
    b[3] = tag;
    return b;
}

}  // namespace

EdidDescriptor EdidDescriptor::Text(std::uint8_t tag, const std::string& text) {
    if (text.size() > 13) throw std::invalid_argument("a descriptor holds at most 13 characters");
    std::vector<std::uint8_t> b = DisplayDescriptor(tag);
    for (std::size_t i = 0; i < 13; ++i)
        b[5 + i] = i < text.size() ? static_cast<std::uint8_t>(text[i]) : i == text.size() ? 0x0A : 0x20;
    return {b};
}

EdidDescriptor EdidDescriptor::Range(std::uint8_t minVerticalHz, std::uint8_t maxVerticalHz, std::uint8_t minHorizontalKHz,
                                     std::uint8_t maxHorizontalKHz, std::uint8_t maxPixelClockMHz, std::uint8_t offsetFlags) {
    std::vector<std::uint8_t> b = DisplayDescriptor(0xFD);
    b[4] = offsetFlags;
    b[5] = minVerticalHz;
    b[6] = maxVerticalHz;
    b[7] = minHorizontalKHz;
    b[8] = maxHorizontalKHz;
    b[9] = static_cast<std::uint8_t>((maxPixelClockMHz + 9) / 10);  // in steps of 10 MHz
    b[10] = 0x00;                                                   // default timing formula
    b[11] = 0x0A;
    for (std::size_t i = 12; i < 18; ++i) b[i] = 0x20;
    return {b};
}

EdidDescriptor EdidDescriptor::Timing() {
    // 108 MHz; 1280 active + 408 blanking; 1024 active + 42 blanking; sync 48/112, 1/3;
    // 376 x 301 mm image.
    const unsigned clock = 10800, hActive = 1280, hBlank = 408, vActive = 1024, vBlank = 42;
    const unsigned hOffset = 48, hPulse = 112, vOffset = 1, vPulse = 3, hMm = 376, vMm = 301;
    std::vector<std::uint8_t> b(18, 0);
    b[0] = clock & 0xFF;
    b[1] = clock >> 8;
    b[2] = hActive & 0xFF;
    b[3] = hBlank & 0xFF;
    b[4] = static_cast<std::uint8_t>((hActive >> 8) << 4 | hBlank >> 8);
    b[5] = vActive & 0xFF;
    b[6] = vBlank & 0xFF;
    b[7] = static_cast<std::uint8_t>((vActive >> 8) << 4 | vBlank >> 8);
    b[8] = hOffset & 0xFF;
    b[9] = hPulse & 0xFF;
    b[10] = static_cast<std::uint8_t>((vOffset & 0xF) << 4 | (vPulse & 0xF));
    b[11] = static_cast<std::uint8_t>((hOffset >> 8) << 6 | (hPulse >> 8) << 4 | (vOffset >> 4) << 2 | vPulse >> 4);
    b[12] = hMm & 0xFF;
    b[13] = vMm & 0xFF;
    b[14] = static_cast<std::uint8_t>((hMm >> 8) << 4 | vMm >> 8);
    b[17] = 0x1E;  // digital separate sync, both polarities positive
    return {b};
}

EdidDescriptor EdidDescriptor::Dummy() { return {DisplayDescriptor(0x10)}; }

std::vector<std::uint8_t> EdidBlock::Bytes() const {
    if (vendor.size() != 3) throw std::invalid_argument("a vendor is three letters");
    if (descriptors.size() > 4) throw std::invalid_argument("a base block has four descriptors");
    std::vector<std::uint8_t> e(128, 0);
    for (std::size_t i = 1; i < 7; ++i) e[i] = 0xFF;
    unsigned id = 0;
    for (char c : vendor) id = id << 5 | (static_cast<unsigned>(c - 'A' + 1) & 31u);
    e[8] = static_cast<std::uint8_t>(id >> 8);
    e[9] = static_cast<std::uint8_t>(id & 0xFF);
    e[10] = static_cast<std::uint8_t>(product & 0xFF);
    e[11] = static_cast<std::uint8_t>(product >> 8);
    for (std::size_t i = 0; i < 4; ++i) e[12 + i] = static_cast<std::uint8_t>(serial >> (8 * i));
    e[16] = week;
    e[17] = static_cast<std::uint8_t>(year - 1990);
    e[18] = 1;     // version 1.3
    e[19] = 3;
    e[20] = 0x0E;  // analogue input, separate and composite sync
    e[21] = horizontalCm;
    e[22] = verticalCm;
    e[23] = static_cast<std::uint8_t>(std::lround(gamma * 100) - 100);
    e[24] = 0xEA;  // power management, RGB colour, sRGB, preferred timing first
    // Chromaticity of the sRGB primaries and the D65 white point.
    const std::uint8_t chroma[10] = {0x65, 0x4C, 0xA2, 0x57, 0x4F, 0x9B, 0x26, 0x11, 0x50, 0x54};
    for (std::size_t i = 0; i < 10; ++i) e[25 + i] = chroma[i];
    e[35] = 0x21;  // 640 x 480 and 800 x 600 at 60 Hz
    e[36] = 0x08;  // 1024 x 768 at 60 Hz
    for (std::size_t i = 38; i < 54; ++i) e[i] = 0x01;  // no standard timings
    for (std::size_t d = 0; d < 4; ++d) {
        std::vector<std::uint8_t> bytes = d < descriptors.size() ? descriptors[d].bytes : EdidDescriptor::Dummy().bytes;
        if (bytes.size() != 18) throw std::invalid_argument("a descriptor is 18 bytes");
        for (std::size_t i = 0; i < 18; ++i) e[54 + 18 * d + i] = bytes[i];
    }
    unsigned sum = 0;
    for (std::size_t i = 0; i < 127; ++i) sum += e[i];
    e[127] = static_cast<std::uint8_t>((256 - sum % 256) % 256);
    return e;
}

}  // namespace qm::test

namespace qm::test {

std::optional<EdidBlock> SampleMonitorEdid(const std::string& machine) {
    EdidBlock e;
    if (machine == "xp-workstation") {
        // A 17-inch flat panel.
        e.vendor = "QMX";
        e.product = 0x1742;
        e.serial = 0x34363248;
        e.week = 20;
        e.year = 2004;
        e.horizontalCm = 34;
        e.verticalCm = 27;
        e.gamma = 2.2;
        e.descriptors = {EdidDescriptor::Timing(), EdidDescriptor::Range(56, 76, 30, 81, 140),
                         EdidDescriptor::Text(0xFC, "QM 1742FP"), EdidDescriptor::Text(0xFF, "HX7B204512")};
        return e;
    }
    if (machine == "win98-desktop") {
        // A 17-inch tube without a serial-number descriptor: its serial is the number.
        e.vendor = "QMC";
        e.product = 0x0417;
        e.serial = 123456;
        e.week = 37;
        e.year = 1999;
        e.horizontalCm = 32;
        e.verticalCm = 24;
        e.gamma = 2.8;
        e.descriptors = {EdidDescriptor::Timing(), EdidDescriptor::Range(50, 120, 30, 70, 110),
                         EdidDescriptor::Text(0xFC, "QM CRT 17"), EdidDescriptor::Text(0xFE, "QM DISPLAYS")};
        return e;
    }
    return std::nullopt;
}

}  // namespace qm::test
