#include "support/lnk_writer.h"

#include <stdexcept>

#include "platform/sim/code_page_table.h"
#include "support/le_bytes.h"
#include "support/utf16_text.h"

namespace qm::test {

namespace {

constexpr std::uint32_t kHasLinkInfo = 0x02;
constexpr std::uint32_t kHasName = 0x04;
constexpr std::uint32_t kHasWorkingDir = 0x10;
constexpr std::uint32_t kHasArguments = 0x20;
constexpr std::uint32_t kIsUnicode = 0x80;

constexpr std::uint32_t kVolumeIdAndLocalBasePath = 0x1;
constexpr std::uint32_t kCommonNetworkRelativeLinkAndPathSuffix = 0x2;

constexpr std::uint32_t kValidDevice = 0x1;
constexpr std::uint32_t kValidNetType = 0x2;
constexpr std::uint32_t kNetworkProviderLanman = 0x00020000u;

constexpr std::uint32_t kLinkInfoHeaderSize = 0x1C;  // no Unicode offsets follow

// The LinkInfo texts are in the system's code page, 1252 on the tests' machines ('?' for a
// character it lacks), with a terminating zero.
std::string CString(const std::string& utf8) {
    static const sim::CodePageTable kCp1252(1252);
    return kCp1252.FromUtf8(utf8) + '\0';
}

std::string VolumeId(const ShortcutSpec& spec) {
    std::string label = CString(spec.volumeLabel);
    std::string out;
    Put32(out, static_cast<std::uint32_t>(16 + label.size()));
    Put32(out, spec.driveType);
    Put32(out, spec.driveSerial);
    Put32(out, 16);  // VolumeLabelOffset: the label follows the four fields
    out += label;
    return out;
}

std::string CommonNetworkRelativeLink(const ShortcutSpec& spec) {
    std::string net = CString(spec.netName);
    std::string device = spec.deviceName.empty() ? std::string() : CString(spec.deviceName);
    std::uint32_t flags = kValidNetType | (device.empty() ? 0 : kValidDevice);
    const std::uint32_t netNameOffset = 20;
    std::string out;
    Put32(out, static_cast<std::uint32_t>(20 + net.size() + device.size()));
    Put32(out, flags);
    Put32(out, netNameOffset);
    Put32(out, device.empty() ? 0 : static_cast<std::uint32_t>(netNameOffset + net.size()));
    Put32(out, kNetworkProviderLanman);
    out += net;
    out += device;
    return out;
}

std::string LinkInfo(const ShortcutSpec& spec) {
    bool local = !spec.localBasePath.empty();
    bool network = !spec.netName.empty();
    std::uint32_t flags = (local ? kVolumeIdAndLocalBasePath : 0) | (network ? kCommonNetworkRelativeLinkAndPathSuffix : 0);
    std::string out;
    Put32(out, 0);  // LinkInfoSize, set below
    Put32(out, kLinkInfoHeaderSize);
    Put32(out, flags);
    std::size_t offsets = out.size();
    for (int i = 0; i < 4; ++i) Put32(out, 0);
    if (local) {
        Set32(out, offsets, static_cast<std::uint32_t>(out.size()));
        out += VolumeId(spec);
        Set32(out, offsets + 4, static_cast<std::uint32_t>(out.size()));
        out += CString(spec.localBasePath);
    }
    if (network) {
        Set32(out, offsets + 8, static_cast<std::uint32_t>(out.size()));
        out += CommonNetworkRelativeLink(spec);
    }
    // The suffix is always there, an empty text when the base path says everything.
    Set32(out, offsets + 12, static_cast<std::uint32_t>(out.size()));
    out += CString(spec.commonPathSuffix);
    Set32(out, 0, static_cast<std::uint32_t>(out.size()));
    return out;
}

void PutStringData(std::string& out, const std::string& utf8) {
    std::u16string wide = Utf8ToUtf16(utf8);
    if (wide.size() > 0xFFFF) throw std::length_error("string data too long");
    Put16(out, static_cast<std::uint16_t>(wide.size()));
    for (char16_t u : wide) Put16(out, static_cast<std::uint16_t>(u));
}

}  // namespace

std::string BuildShortcut(const ShortcutSpec& spec) {
    std::uint32_t flags = kHasLinkInfo | kIsUnicode;
    if (spec.name) flags |= kHasName;
    if (spec.workingDirectory) flags |= kHasWorkingDir;
    if (spec.arguments) flags |= kHasArguments;

    std::string out;
    Put32(out, 0x4C);  // HeaderSize
    // LinkCLSID 00021401-0000-0000-C000-000000000046, in its stored byte order.
    const unsigned char clsid[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                     0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
    out.append(reinterpret_cast<const char*>(clsid), sizeof clsid);
    Put32(out, flags);
    Put32(out, spec.fileAttributes);
    for (int i = 0; i < 6; ++i) Put32(out, 0);  // creation, access and write times
    Put32(out, spec.fileSize);
    Put32(out, 0);  // IconIndex
    Put32(out, 1);  // ShowCommand: SW_SHOWNORMAL
    Put16(out, 0);  // HotKey
    Put16(out, 0);  // Reserved1
    Put32(out, 0);  // Reserved2
    Put32(out, 0);  // Reserved3
    if (out.size() != 0x4C) throw std::logic_error("shell link header size");

    out += LinkInfo(spec);
    // The string data in the order the format fixes.
    if (spec.name) PutStringData(out, *spec.name);
    if (spec.workingDirectory) PutStringData(out, *spec.workingDirectory);
    if (spec.arguments) PutStringData(out, *spec.arguments);
    Put32(out, 0);  // TerminalBlock
    return out;
}

std::string ShortcutTo(const std::string& localPath) {
    ShortcutSpec spec;
    spec.localBasePath = localPath;
    return BuildShortcut(spec);
}

std::string ShortcutToShare(const std::string& netName, const std::string& pathBelow, const std::string& deviceName) {
    ShortcutSpec spec;
    spec.netName = netName;
    spec.deviceName = deviceName;
    spec.commonPathSuffix = pathBelow;
    return BuildShortcut(spec);
}

}  // namespace qm::test
