#pragma once
// The machine's ANSI code page: conversions and case rules.

#include <string>
#include <string_view>

#include "platform/types.h"

namespace qm::platform {

class CodePageService {
public:
    virtual ~CodePageService() = default;
    // GetACP.
    virtual unsigned GetACP() = 0;
    // MultiByteToWideChar from the ANSI code page.
    virtual std::u16string MultiByteToWideChar(std::string_view ansi) = 0;
    // WideCharToMultiByte to the ANSI code page; characters it lacks become "?".
    virtual std::string WideCharToMultiByte(std::u16string_view wide) = 0;
    // CharUpperBuff and CharLowerBuff: the code page's letters, not only ASCII.
    virtual std::string CharUpper(std::string_view text) = 0;
    virtual std::string CharLower(std::string_view text) = 0;
};

}  // namespace qm::platform
