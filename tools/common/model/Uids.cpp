#include "Uids.h"

#include <charconv>

namespace ktr {
namespace {

void addUidsOf(const FiredRule& rule, std::set<uint64_t>& uids) {
    for (size_t i = 0; i < rule.line.values.size(); ++i) {
        const std::string& value = rule.line.values[i];
        uint64_t uid = 0;
        if (rule.line.isUid(i) && std::from_chars(value.data(), value.data() + value.size(), uid).ec == std::errc()) {
            uids.insert(uid);
        }
    }
}

}  // namespace

std::set<uint64_t> uidsOf(const TimelineStep& step) {
    std::set<uint64_t> uids;
    const auto add = [&](uint64_t uid) { uids.insert(uid); };
    visitUids(step.action, add);
    visitAnswerUids(step.answer, add);
    for (const FiredRule& rule : step.rules) {
        addUidsOf(rule, uids);
    }
    uids.erase(0);
    return uids;
}

}  // namespace ktr
