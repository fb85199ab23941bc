#pragma once
// Version resources of program files, after the version functions (GetFileVersionInfoSize,
// GetFileVersionInfo, VerQueryValue, VerLanguageName; ANSI forms).

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace qm::platform {

// VS_FIXEDFILEINFO, as the root block "\" gives it.
struct FixedFileInfo {
    DWORD dwSignature = 0;  // 0xFEEF04BD
    DWORD dwStrucVersion = 0;
    DWORD dwFileVersionMS = 0;
    DWORD dwFileVersionLS = 0;
    DWORD dwProductVersionMS = 0;
    DWORD dwProductVersionLS = 0;
    DWORD dwFileFlagsMask = 0;
    DWORD dwFileFlags = 0;
    DWORD dwFileOS = 0;
    DWORD dwFileType = 0;
    DWORD dwFileSubtype = 0;
    DWORD dwFileDateMS = 0;
    DWORD dwFileDateLS = 0;
};

class VersionsService {
public:
    virtual ~VersionsService() = default;
    // GetFileVersionInfoSize: the bytes of the file's version data; 0 with the last error when
    // the file has none (or cannot be read).
    virtual DWORD GetFileVersionInfoSize(std::string_view path) = 0;
    // GetFileVersionInfo into a block of the given size.
    virtual bool GetFileVersionInfo(std::string_view path, DWORD size, std::string& block) = 0;
    // VerQueryValue of a block: "\" gives the bytes of VS_FIXEDFILEINFO,
    // "\VarFileInfo\Translation" the array of language and code-page pairs (a 16-bit language
    // then a 16-bit code page each), "\StringFileInfo\<lang><cp>\<name>" the text in the ANSI
    // code page with its terminating zero. False when the block has no such entry.
    virtual bool VerQueryValue(std::string_view block, std::string_view subBlock, std::string& value) = 0;
    // VerLanguageName: the system's display name of a language identifier; empty when unknown.
    virtual std::string VerLanguageName(DWORD language) = 0;
};

}  // namespace qm::platform
