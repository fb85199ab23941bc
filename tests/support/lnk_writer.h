#pragma once
// Shell link (".lnk") files for tests, after the published shell link binary format: the
// 76-byte header, a LinkInfo with a local path and/or a network share, then the string data
// in UTF-16. Texts are given in UTF-8; the LinkInfo's texts are stored in code page 1252, as
// a Western system writes them.

#include <cstdint>
#include <optional>
#include <string>

namespace qm::test {

struct ShortcutSpec {
    // The target's full local path ("C:\Program Files\App\app.exe"): a VolumeID and the
    // LocalBasePath. Empty for none.
    std::string localBasePath;
    std::uint32_t driveType = 3;  // of the VolumeID: DRIVE_FIXED
    std::uint32_t driveSerial = 0x1C2D3E4F;
    std::string volumeLabel;
    // The share the target lies on ("\\server\share"): a CommonNetworkRelativeLink. Empty for
    // none. deviceName is the mapped drive ("N:"), when there is one.
    std::string netName;
    std::string deviceName;
    // Appended to the local base path, or to the share with a backslash between.
    std::string commonPathSuffix;

    std::optional<std::string> name;  // the description
    std::optional<std::string> workingDirectory;
    std::optional<std::string> arguments;

    std::uint32_t fileAttributes = 0x20;  // FILE_ATTRIBUTE_ARCHIVE
    std::uint32_t fileSize = 0;
};

std::string BuildShortcut(const ShortcutSpec& spec);

// A shortcut to a file on a local drive.
std::string ShortcutTo(const std::string& localPath);
// A shortcut to a file on a share: "\\server\share" and the path below it.
std::string ShortcutToShare(const std::string& netName, const std::string& pathBelow,
                            const std::string& deviceName = std::string());

}  // namespace qm::test
