// Where the library's own text starts in a line of a client's log: at "[KTR" followed by the rest of a
// "Class::method" tag and "]: ", or at the fixed start of one of the library's dump lines.
#ifndef KTRSDK_TOOLS_LOG_LIBRARYTEXT_H
#define KTRSDK_TOOLS_LOG_LIBRARYTEXT_H

#include <optional>
#include <string_view>

namespace ktr::logs {

class LibraryText {
public:
    // Whether line may hold the library's text at all: a cheap test that skips most other lines.
    static bool mayHold(std::string_view line);
    // Where the library's text starts in line, searching from from; nothing when it holds none.
    static std::optional<size_t> find(std::string_view line, size_t from = 0);

private:
    static std::optional<size_t> findTagged(std::string_view line, size_t from);
    static std::optional<size_t> findDump(std::string_view line, size_t from);
};

}  // namespace ktr::logs

#endif  // KTRSDK_TOOLS_LOG_LIBRARYTEXT_H
