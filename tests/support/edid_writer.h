#pragma once
// The bytes of an EDID 1.3 base block (128 bytes, checksum included) for a test monitor, built
// from its fields.
//
//   EdidBlock e;  e.vendor = "QMX";  e.product = 0x1742;
//   e.descriptors = {EdidDescriptor::Timing(), EdidDescriptor::Text(0xFC, "MODEL 17")};
//   std::vector<std::uint8_t> bytes = e.Bytes();

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qm::test {

// One 18-byte descriptor block.
struct EdidDescriptor {
    std::vector<std::uint8_t> bytes;
    // A display descriptor of the tag (0xFC name, 0xFE text, 0xFF serial number) holding the
    // text: up to 13 characters, a shorter one ended by a line feed and filled with blanks.
    static EdidDescriptor Text(std::uint8_t tag, const std::string& text);
    // The range limits (tag 0xFD): vertical in Hz, horizontal in kHz, pixel clock in MHz, and
    // the EDID 1.4 offset flags of byte 4 (each flagged rate is its byte plus 255).
    static EdidDescriptor Range(std::uint8_t minVerticalHz, std::uint8_t maxVerticalHz, std::uint8_t minHorizontalKHz,
                                std::uint8_t maxHorizontalKHz, std::uint8_t maxPixelClockMHz, std::uint8_t offsetFlags = 0);
    // A detailed timing of 1280 x 1024 at 60 Hz.
    static EdidDescriptor Timing();
    // An unused block (a dummy descriptor, tag 0x10).
    static EdidDescriptor Dummy();
};

struct EdidBlock {
    std::string vendor = "QMX";  // three letters A to Z
    std::uint16_t product = 0;
    std::uint32_t serial = 0;
    std::uint8_t week = 0;
    int year = 1990;              // 1990 to 2245
    std::uint8_t horizontalCm = 0;
    std::uint8_t verticalCm = 0;
    double gamma = 1.0;           // 1.00 to 3.54
    std::vector<EdidDescriptor> descriptors;  // at most four; missing ones are dummies
    // The block's 128 bytes.
    std::vector<std::uint8_t> Bytes() const;
};

}  // namespace qm::test

namespace qm::test {

// The monitors of the sample machines ("xp-workstation", "win98-desktop"), whose EDID their
// registry files hold; none for another name.
std::optional<EdidBlock> SampleMonitorEdid(const std::string& machine);

}  // namespace qm::test
