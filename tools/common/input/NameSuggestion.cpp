#include "NameSuggestion.h"

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <algorithm>
#include <numeric>
#include <vector>

namespace ktr {
namespace {

// A name is taken for a misspelling when at most one letter in this many (and at least one) differs.
constexpr size_t kLettersPerEdit = 3;

// The number of single-letter insertions, deletions and substitutions that turn a into b.
size_t editDistance(const std::string& a, const std::string& b) {
    std::vector<size_t> previous(b.size() + 1);
    std::iota(previous.begin(), previous.end(), 0);
    std::vector<size_t> current(b.size() + 1);
    for (size_t i = 1; i <= a.size(); ++i) {
        current[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t substitution = previous[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1);
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1, substitution});
        }
        std::swap(previous, current);
    }
    return previous[b.size()];
}

// The valid name nearest to unknown, the first in order among equals; empty when none is close.
std::string nearestName(const std::string& unknown, const std::set<std::string>& valid) {
    const size_t allowed = std::max<size_t>(1, unknown.size() / kLettersPerEdit);
    std::string nearest;
    size_t best = allowed + 1;
    for (const std::string& name : valid) {
        const size_t distance = editDistance(unknown, name);
        if (distance < best) {
            best = distance;
            nearest = name;
        }
    }
    return nearest;
}

}  // namespace

std::string suggestName(const std::string& unknown, const std::set<std::string>& valid, const std::string& kind) {
    const std::string list = fmt::format("valid {}: {}", kind, fmt::join(valid, ", "));
    const std::string nearest = nearestName(unknown, valid);
    if (nearest.empty()) {
        return "; " + list;
    }
    return fmt::format("; did you mean \"{}\"? {}", nearest, list);
}

std::string suggestRenaming(const std::string& missing, const std::set<std::string>& given) {
    const std::string nearest = nearestName(missing, given);
    return nearest.empty() ? std::string() : fmt::format("; \"{}\" given: did you mean \"{}\"?", nearest, missing);
}

}  // namespace ktr
