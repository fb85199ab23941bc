#include "platform/processes.h"

namespace qm::platform {

std::vector<std::string> SplitCommandLine(std::string_view line) {
    std::vector<std::string> parameters;
    std::size_t i = 0;
    for (;;) {
        while (i < line.size() && static_cast<unsigned char>(line[i]) <= ' ') ++i;
        if (i >= line.size()) break;
        std::string p;
        bool quoted = false;
        while (i < line.size() && (quoted || static_cast<unsigned char>(line[i]) > ' ')) {
            if (line[i] == '"') quoted = !quoted;
            else p += line[i];
            ++i;
        }
        parameters.push_back(std::move(p));
    }
    return parameters;
}

}  // namespace qm::platform
