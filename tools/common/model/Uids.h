// Which values of a step are uids: the fields of the actions and answers that name a user, and the %llu
// fields of the library's lines. Filters and redaction find a step's users through it.
#ifndef KTRSDK_TOOLS_COMMON_MODEL_UIDS_H
#define KTRSDK_TOOLS_COMMON_MODEL_UIDS_H

#include <cstdint>
#include <set>
#include <type_traits>

#include "Overloaded.h"
#include "Timeline.h"

namespace ktr {

// Calls visit(uid) with every uid field of the action: const or not as the action is, so that the same
// list serves reading the uids and replacing them.
template <class SomeAction, class Visit>
void visitUids(SomeAction& action, Visit&& visit) {
    static_assert(std::is_same_v<std::remove_const_t<SomeAction>, Action>);
    std::visit(
        Overloaded{
            [&](auto& with) {
                using Event = std::decay_t<decltype(with)>;
                if constexpr (std::is_same_v<Event, SetUsers>) {
                    for (auto& user : with.users) {
                        visit(user.uid);
                    }
                } else if constexpr (std::is_same_v<Event, Init> || std::is_base_of_v<User, Event> ||
                                     std::is_same_v<Event, Sharing> || std::is_same_v<Event, Speaker> ||
                                     std::is_same_v<Event, PeerReport>) {
                    visit(with.uid);
                }
            },
        },
        action);
}

// Calls visit(uid) with every uid of the answer: the download requests' peers and the HD and LD lists. A
// list is a set, so a replaced uid is put back in order.
template <class SomeAnswer, class Visit>
void visitAnswerUids(SomeAnswer& answer, Visit&& visit) {
    static_assert(std::is_same_v<std::remove_const_t<SomeAnswer>, Answer>);
    if (auto* download = std::get_if<DownloadAnswer>(&answer); download != nullptr && download->records) {
        for (auto& request : *download->records) {
            visit(request.uid);
        }
    } else if (auto* split = std::get_if<HdLdAnswer>(&answer)) {
        for (auto* list : {&split->hd, &split->ld}) {
            if (!*list) {
                continue;
            }
            if constexpr (std::is_const_v<SomeAnswer>) {
                for (uint64_t uid : **list) {
                    visit(uid);
                }
            } else {
                std::set<uint64_t> replaced;
                for (uint64_t uid : **list) {
                    visit(uid);
                    replaced.insert(uid);
                }
                **list = std::move(replaced);
            }
        }
    }
}

// Every uid the step's action, answer and lines name (0, nobody, left out).
std::set<uint64_t> uidsOf(const TimelineStep& step);

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_MODEL_UIDS_H
