#include "apps/command_interpreter.h"

#include "platform/text.h"

namespace qm::apps {

std::vector<std::string> InterpreterCommands(std::string_view line) {
    // Find "/C" as a word of its own, outside quotes.
    std::size_t at = std::string_view::npos;
    bool quoted = false;
    for (std::size_t i = 0; i + 1 < line.size(); ++i) {
        if (line[i] == '"') quoted = !quoted;
        bool wordStart = i == 0 || line[i - 1] == ' ' || line[i - 1] == '\t';
        if (!quoted && wordStart && line[i] == '/' && platform::AsciiUpper(line[i + 1]) == 'C' &&
            (i + 2 == line.size() || line[i + 2] == ' ' || line[i + 2] == '\t')) {
            at = i + 2;
            break;
        }
    }
    if (at == std::string_view::npos) return {};
    std::string rest = platform::TrimLeft(line.substr(at));
    if (!rest.empty() && rest.front() == '"') {
        std::size_t last = rest.rfind('"');
        rest = last > 0 ? rest.substr(1, last - 1) + rest.substr(last + 1) : rest.substr(1);
    }
    std::vector<std::string> commands;
    std::string current;
    quoted = false;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        char c = rest[i];
        if (c == '"') quoted = !quoted;
        if (!quoted && (c == '&' || c == '|')) {
            if (i + 1 < rest.size() && rest[i + 1] == c) ++i;
            commands.push_back(platform::Trim(current));
            current.clear();
            continue;
        }
        current += c;
    }
    commands.push_back(platform::Trim(current));
    std::vector<std::string> nonEmpty;
    for (std::string& c : commands)
        if (!c.empty()) nonEmpty.push_back(std::move(c));
    return nonEmpty;
}

}  // namespace qm::apps
