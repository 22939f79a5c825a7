// Where the library's own text starts in a line of a client's log: at "[KTR" followed by the rest of a
// "Class::method" tag and "]: ", or at the fixed start of one of the library's dump lines, whichever comes
// first. Found with memchr: most lines are searched for one character or two.
#ifndef KTRSDK_TOOLS_LOG_LIBRARYTEXT_H
#define KTRSDK_TOOLS_LOG_LIBRARYTEXT_H

#include <cstddef>
#include <optional>
#include <string_view>

namespace ktr::log {

class LibraryText {
public:
    // Where the library's text starts in line, searching from from; nothing when it holds none.
    static std::optional<size_t> find(std::string_view line, size_t from = 0);

private:
    // The first tagged text in line[from, end); end when there is none.
    static size_t findTagged(std::string_view line, size_t from);
    // The first dump line's start in line[from, end); end when there is none.
    static size_t findDump(std::string_view line, size_t from, size_t end);
    // Where the dump line whose words stand at position starts (its indent included); nothing when the
    // words start none.
    static std::optional<size_t> dumpStartAt(std::string_view line, size_t from, size_t position);
};

}  // namespace ktr::log

#endif  // KTRSDK_TOOLS_LOG_LIBRARYTEXT_H
