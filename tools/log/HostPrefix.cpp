#include "HostPrefix.h"

#include "LevelMark.h"

namespace ktr::log {

HostPrefix::Facts HostPrefix::read(std::string_view prefix) {
    Facts facts;
    bool stampFound = false;
    size_t position = 0;
    while (position < prefix.size() && !(stampFound && facts.level)) {
        if (!stampFound) {
            if (const std::optional<TimeStamp::Found> stamp = TimeStamp::at(prefix, position)) {
                facts.time = stamp->time;
                stampFound = true;
                position = stamp->end;
                continue;
            }
        }
        if (!facts.level) {
            facts.level = LevelMark::at(prefix, position);
        }
        ++position;
    }
    return facts;
}

}  // namespace ktr::log
