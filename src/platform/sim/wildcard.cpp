#include "platform/sim/wildcard.h"

#include <vector>

namespace qm::sim {
namespace {

class Matcher {
public:
    Matcher(std::string_view p, std::string_view n)
        : p_(p), n_(n), lastDot_(n.rfind('.')), memo_((p.size() + 1) * (n.size() + 1), kUnknown) {}

    bool Match(std::size_t pi, std::size_t ni) {
        signed char& m = memo_[pi * (n_.size() + 1) + ni];
        if (m == kUnknown) m = Compute(pi, ni) ? 1 : 0;
        return m == 1;
    }

private:
    static constexpr signed char kUnknown = -1;

    bool OnlyWildcardsFrom(std::size_t pi) const {
        for (; pi < p_.size(); ++pi)
            if (p_[pi] != '*' && p_[pi] != '?') return false;
        return true;
    }

    bool Compute(std::size_t pi, std::size_t ni) {
        if (pi == p_.size()) return ni == n_.size();
        char c = p_[pi];
        bool atEnd = ni == n_.size();
        switch (c) {
            case '*': {
                // A star before a dot stops at the name's last dot, so "*." keeps to names
                // without an extension.
                bool beforeDot = pi + 1 < p_.size() && p_[pi + 1] == '.';
                bool mayTake = !atEnd && (!beforeDot || lastDot_ == std::string_view::npos || ni < lastDot_);
                return Match(pi + 1, ni) || (mayTake && Match(pi, ni + 1));
            }
            case '?':
                if (atEnd || n_[ni] == '.') {
                    std::size_t pj = pi;
                    while (pj < p_.size() && p_[pj] == '?') ++pj;
                    return Match(pj, ni);
                }
                return Match(pi + 1, ni + 1);
            case '.':
                if (!atEnd && n_[ni] == '.') return Match(pi + 1, ni + 1);
                return atEnd && OnlyWildcardsFrom(pi + 1);
            default:
                return !atEnd && n_[ni] == c && Match(pi + 1, ni + 1);
        }
    }

    std::string_view p_;
    std::string_view n_;
    std::size_t lastDot_;
    std::vector<signed char> memo_;
};

}  // namespace

bool HasWildcards(std::string_view pattern) { return pattern.find_first_of("*?") != std::string_view::npos; }

bool MatchWildcard(std::string_view pattern, std::string_view name) {
    if (pattern == "*" || pattern == "*.*") return true;
    return Matcher(pattern, name).Match(0, 0);
}

}  // namespace qm::sim
