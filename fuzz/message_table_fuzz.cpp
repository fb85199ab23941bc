// Message tables and message texts: the first four bytes are the message id looked up, the
// rest the table; the text found, and the input itself, are formatted with three inserts.

#include <cstring>
#include <vector>

#include "fuzz_machine.h"
#include "platform/sim/code_page_table.h"
#include "platform/sim/message_table.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const qm::sim::CodePageTable cp(1252);
    static const std::vector<std::string> inserts = {"first", "%1 %2", "12345"};
    std::string bytes = qm::fuzz::Bytes(data, size);
    std::string out;
    (void)qm::sim::FormatMessageText(bytes, &inserts, 32768, out);
    (void)qm::sim::FormatMessageText(bytes, nullptr, 32768, out);
    if (size < 4) return 0;
    std::uint32_t id = 0;
    std::memcpy(&id, data, 4);
    std::string text;
    if (qm::sim::FindMessageText(bytes.substr(4), id, cp, text)) {
        qm::fuzz::Require(text.find('\0') == std::string::npos);
        (void)qm::sim::FormatMessageText(text, &inserts, 32768, out);
    }
    return 0;
}
