#include "Uids.h"

#include <charconv>

#include "Overloaded.h"

namespace ktr {
namespace {

void addUidsOf(const Action& action, std::set<uint64_t>& uids) {
    std::visit(Overloaded{
                   [&](const Init& s) { uids.insert(s.uid); },
                   [&](const AddUser& s) { uids.insert(s.uid); },
                   [&](const RemoveUser& s) { uids.insert(s.uid); },
                   [&](const SetUsers& s) {
                       for (const User& user : s.users) {
                           uids.insert(user.uid);
                       }
                   },
                   [&](const Sharing& s) { uids.insert(s.uid); },
                   [&](const Speaker& s) { uids.insert(s.uid); },
                   [&](const PeerReport& s) { uids.insert(s.uid); },
                   [](const auto&) {},
               },
               action);
}

void addUidsOf(const Answer& answer, std::set<uint64_t>& uids) {
    if (const auto* download = std::get_if<DownloadAnswer>(&answer); download != nullptr && download->records) {
        for (const PeerRequest& request : *download->records) {
            uids.insert(request.uid);
        }
    } else if (const auto* split = std::get_if<HdLdAnswer>(&answer)) {
        for (const Known<std::set<uint64_t>>* list : {&split->hd, &split->ld}) {
            if (*list) {
                uids.insert((*list)->begin(), (*list)->end());
            }
        }
    }
}

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
    addUidsOf(step.action, uids);
    addUidsOf(step.answer, uids);
    for (const FiredRule& rule : step.rules) {
        addUidsOf(rule, uids);
    }
    uids.erase(0);
    return uids;
}

}  // namespace ktr
