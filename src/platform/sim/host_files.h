#pragma once
// Host-side file helpers of the simulated machine: what it reads of its own folder and of the
// host, outside any Windows path.

#include <fstream>
#include <optional>
#include <sstream>
#include <string>

namespace qm::sim {

// The bytes of a host file; none when it cannot be opened.
inline std::optional<std::string> ReadHostFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The folder that holds a host path: "/" for an entry of the root, "." for a bare name.
inline std::string HostFolderOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace qm::sim
