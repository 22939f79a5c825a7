// Lines from a stream of bytes read in blocks: memory stays bounded whatever the input, a line longer
// than the limit is cut there (the rest of it skipped), a CR before the newline is dropped, and a last
// line without a newline is still a line.
#ifndef KTRSDK_TOOLS_LOG_LINESOURCE_H
#define KTRSDK_TOOLS_LOG_LINESOURCE_H

#include <cstddef>
#include <functional>
#include <string_view>
#include <vector>

namespace ktr::log {

class LineSource {
public:
    // Fills up to size bytes at data; returns how many, 0 at the end of the input.
    using ReadBlock = std::function<size_t(char* data, size_t size)>;

    static constexpr size_t kMaxLineLength = size_t{64} * 1024;

    explicit LineSource(ReadBlock read);

    // The next line, without its line end; valid until the next call. cut tells whether it was longer
    // than kMaxLineLength. False at the end of the input.
    bool next(std::string_view& line, bool& cut);

private:
    bool fill();
    std::string_view take(size_t length);
    // Gives text as the next line, cut at the limit when it is longer.
    static void deliver(std::string_view text, std::string_view& line, bool& cut);

    ReadBlock m_read;
    std::vector<char> m_buffer;
    size_t m_begin = 0;
    size_t m_end = 0;
    bool m_atEnd = false;
    bool m_skipping = false;  // inside a cut line, up to its newline
};

}  // namespace ktr::log

#endif  // KTRSDK_TOOLS_LOG_LINESOURCE_H
