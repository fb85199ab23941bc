#include "platform/winpath.h"

namespace qm::platform {
namespace {

bool IsDriveLetterPath(std::string_view p) {
    return p.size() >= 2 && p[1] == ':' &&
           ((p[0] >= 'A' && p[0] <= 'Z') || (p[0] >= 'a' && p[0] <= 'z'));
}

bool IsUncPath(std::string_view p) {
    return p.size() >= 2 && IsPathDelimiter(p[0]) && IsPathDelimiter(p[1]);
}

// Length of the drive part: 2 for "C:", the length of "\\server\share" for UNC, else 0.
std::size_t DriveLength(std::string_view p) {
    if (IsDriveLetterPath(p)) return 2;
    if (!IsUncPath(p)) return 0;
    std::size_t i = 2;
    while (i < p.size() && !IsPathDelimiter(p[i])) ++i;  // server
    if (i >= p.size()) return p.size();
    ++i;
    while (i < p.size() && !IsPathDelimiter(p[i])) ++i;  // share
    return i;
}

std::size_t LastDelimiterOrColon(std::string_view p) {
    for (std::size_t i = p.size(); i > 0; --i) {
        char c = p[i - 1];
        if (IsPathDelimiter(c) || c == ':') return i - 1;
    }
    return std::string_view::npos;
}

}  // namespace

std::string DriveOf(std::string_view path) { return std::string(path.substr(0, DriveLength(path))); }

std::string FolderOf(std::string_view path) {
    std::size_t i = LastDelimiterOrColon(path);
    return i == std::string_view::npos ? std::string() : std::string(path.substr(0, i + 1));
}

std::string FileNameOf(std::string_view path) {
    std::size_t i = LastDelimiterOrColon(path);
    return std::string(i == std::string_view::npos ? path : path.substr(i + 1));
}

std::string WithoutTrailingDotsAndBlanks(std::string_view name) {
    std::size_t e = name.size();
    while (e > 0 && (name[e - 1] == '.' || name[e - 1] == ' ')) --e;
    return std::string(name.substr(0, e));
}

std::string ExtensionOf(std::string_view path) {
    std::string name = FileNameOf(path);
    std::size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string ChangeExtension(std::string_view path, std::string_view ext) {
    std::size_t nameStart = LastDelimiterOrColon(path);
    nameStart = nameStart == std::string_view::npos ? 0 : nameStart + 1;
    std::size_t dot = path.rfind('.');
    std::string r(path.substr(0, (dot != std::string_view::npos && dot >= nameStart) ? dot : path.size()));
    r += ext;
    return r;
}

std::string IncludeTrailingBackslash(std::string_view path) {
    std::string r(path);
    if (r.empty() || !IsPathDelimiter(r.back())) r += '\\';
    return r;
}

std::string ExcludeTrailingBackslash(std::string_view path) {
    std::string r(path);
    if (!r.empty() && IsPathDelimiter(r.back())) r.pop_back();
    return r;
}

bool IsDriveRoot(std::string_view path) {
    std::size_t d = DriveLength(path);
    if (d == 0) return false;
    if (IsUncPath(path)) {
        // A server alone is not a root; the share must be named.
        std::string_view rest = path.substr(2, d - 2);
        std::size_t sep = rest.find_first_of("\\/");
        if (sep == std::string_view::npos || sep + 1 >= rest.size()) return false;
    }
    return path.size() == d || (path.size() == d + 1 && IsPathDelimiter(path[d]));
}

bool IsAbsolutePath(std::string_view path) {
    if (IsUncPath(path)) return true;
    return IsDriveLetterPath(path) && path.size() >= 3 && IsPathDelimiter(path[2]);
}

std::string ParentOf(std::string_view path) {
    std::size_t d = DriveLength(path);
    if (IsDriveRoot(path)) return IncludeTrailingBackslash(path);
    std::string_view p = path;
    if (p.size() > d + 1 && IsPathDelimiter(p.back())) p.remove_suffix(1);
    std::size_t i = LastDelimiterOrColon(p);
    if (i == std::string_view::npos) return std::string();
    if (i < d || (i == d && d > 0)) return std::string(p.substr(0, d)) + '\\';
    return std::string(p.substr(0, i));
}

std::string JoinPath(std::string_view folder, std::string_view name) {
    std::string r(folder);
    if (!r.empty() && !IsPathDelimiter(r.back()) && r.back() != ':') r += '\\';
    while (!name.empty() && IsPathDelimiter(name.front()) && !r.empty()) name.remove_prefix(1);
    r += name;
    return r;
}

std::vector<std::string> PathComponents(std::string_view path) {
    std::vector<std::string> parts;
    std::size_t i = DriveLength(path);
    while (i < path.size()) {
        while (i < path.size() && IsPathDelimiter(path[i])) ++i;
        std::size_t start = i;
        while (i < path.size() && !IsPathDelimiter(path[i])) ++i;
        if (i > start) parts.emplace_back(path.substr(start, i - start));
    }
    return parts;
}

}  // namespace qm::platform
