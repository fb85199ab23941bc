#include "platform/sim/short_names.h"

#include <algorithm>
#include <numeric>
#include <unordered_set>

namespace qm::sim {
namespace {

bool IsShortNameChar(char c) {
    auto u = static_cast<unsigned char>(c);
    if (u >= 0x80) return true;
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
    return std::string_view("!#$%&'()-@^_`{}~").find(c) != std::string_view::npos;
}

struct Basis {
    std::string base;  // at most 6 characters
    std::string ext;   // at most 3 characters
};

Basis MakeBasis(std::string_view name, const CodePageTable& cp) {
    std::string_view trimmed = name;
    while (!trimmed.empty() && trimmed.front() == '.') trimmed.remove_prefix(1);
    std::size_t dot = trimmed.rfind('.');
    std::string_view base = dot == std::string_view::npos ? trimmed : trimmed.substr(0, dot);
    std::string_view ext = dot == std::string_view::npos ? std::string_view() : trimmed.substr(dot + 1);
    auto clean = [&](std::string_view part, std::size_t limit) {
        std::string out;
        for (char c : part) {
            if (out.size() == limit) break;
            if (c == ' ' || c == '.') continue;
            out += IsShortNameChar(c) ? cp.Upper(c) : '_';
        }
        return out;
    };
    Basis b{clean(base, 6), clean(ext, 3)};
    if (b.base.empty()) b.base = "_";
    return b;
}

}  // namespace

bool IsValidShortName(std::string_view name) {
    if (name.empty() || name == "." || name == ".." || name.front() == '.') return false;
    std::size_t dot = name.find('.');
    if (dot != std::string_view::npos && name.find('.', dot + 1) != std::string_view::npos) return false;
    std::size_t baseLen = dot == std::string_view::npos ? name.size() : dot;
    std::size_t extLen = dot == std::string_view::npos ? 0 : name.size() - dot - 1;
    if (baseLen < 1 || baseLen > 8 || extLen > 3) return false;
    if (dot != std::string_view::npos && extLen == 0) return false;
    for (char c : name)
        if (c != '.' && !IsShortNameChar(c)) return false;
    return true;
}

std::vector<std::string> AssignShortNames(const std::vector<std::string>& names, const CodePageTable& cp) {
    std::vector<std::string> result(names.size());
    std::vector<std::size_t> order(names.size());
    std::iota(order.begin(), order.end(), 0);
    std::vector<std::string> upper(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) upper[i] = cp.Upper(names[i]);
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return upper[a] < upper[b]; });

    // A made-up name must not clash with an entry's real name nor with another made-up one.
    std::unordered_set<std::string> taken(upper.begin(), upper.end());
    for (std::size_t i : order) {
        if (IsValidShortName(names[i])) continue;
        Basis b = MakeBasis(names[i], cp);
        for (unsigned n = 1;; ++n) {
            std::string suffix = "~" + std::to_string(n);
            std::string base = b.base.substr(0, std::min(b.base.size(), 8 - suffix.size()));
            std::string candidate = base + suffix + (b.ext.empty() ? "" : "." + b.ext);
            if (taken.insert(candidate).second) {
                result[i] = candidate;
                break;
            }
        }
    }
    return result;
}

}  // namespace qm::sim
