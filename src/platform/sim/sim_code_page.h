#pragma once
// The ANSI code page of the simulated machine, through its code-page table.

#include <string>
#include <string_view>

#include "platform/code_page.h"
#include "platform/sim/code_page_table.h"

namespace qm::sim {

class SimCodePage final : public platform::CodePageService {
public:
    explicit SimCodePage(const CodePageTable& table) : table_(table) {}
    unsigned GetACP() override { return table_.Number(); }
    std::u16string MultiByteToWideChar(std::string_view ansi) override { return table_.ToUtf16(ansi); }
    std::string WideCharToMultiByte(std::u16string_view wide) override { return table_.FromUtf16(wide); }
    std::string CharUpper(std::string_view text) override { return table_.Upper(text); }
    std::string CharLower(std::string_view text) override;

private:
    const CodePageTable& table_;
};

}  // namespace qm::sim
