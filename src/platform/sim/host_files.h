#pragma once
// Host-side file helpers of the simulated machine: what it reads of its own folder and of the
// host, outside any Windows path.

#include <filesystem>
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

// The host file of the running program, with every link resolved; empty when it is unknown.
inline std::string HostProgramFile() {
    std::error_code ec;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : self.string();
}

}  // namespace qm::sim
