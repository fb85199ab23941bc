#include "online/html_text.h"

#include "platform/platform.h"

namespace qm::online {

void WriteRaw(std::string& output, std::string_view text) { output.append(text); }

void WriteHtmlText(std::string& output, std::string_view text) {
    bool inMarkup = false;
    for (char c : text) {
        if (c == '<') inMarkup = true;
        if (c == '>') inMarkup = false;
        if (inMarkup)
            output += c;
        else
            output += CharToHtmlEntity(c);
    }
}

std::string CharToHtmlEntity(char c) {
    auto code = static_cast<unsigned char>(c);
    if (code == ' ') return "&#160;";
    if (code < 128) return std::string(1, c);
    // The byte means a character only in the machine's code page: the reference names the
    // character itself, so that the page reads the same whatever encoding a browser assumes.
    std::u16string wide = platform::CodePage().MultiByteToWideChar(std::string_view(&c, 1));
    char32_t point = code;
    if (wide.size() == 1) {
        point = wide[0];
    } else if (wide.size() == 2 && wide[0] >= 0xD800 && wide[0] < 0xDC00) {
        point = 0x10000 + ((static_cast<char32_t>(wide[0]) - 0xD800) << 10) + (static_cast<char32_t>(wide[1]) - 0xDC00);
    }
    return "&#" + std::to_string(static_cast<std::uint32_t>(point)) + ";";
}

std::string EscapeHtml(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            default: out += c;
        }
    }
    return out;
}

}  // namespace qm::online
