#include "LineSource.h"

#include <cstring>
#include <utility>

namespace ktr::log {
namespace {

// Sixteen times the longest line: a read fills at least fifteen sixteenths of the buffer, and reads of a
// megabyte go from zlib straight into it.
constexpr size_t kBufferSize = 16 * LineSource::kMaxLineLength;

}  // namespace

LineSource::LineSource(ReadBlock read) : m_read(std::move(read)), m_buffer(kBufferSize) {}

bool LineSource::next(std::string_view& line, bool& cut) {
    for (;;) {
        const char* begin = m_buffer.data() + m_begin;
        const size_t pending = m_end - m_begin;
        const void* newline = std::memchr(begin, '\n', pending);
        if (newline != nullptr) {
            const std::string_view text = take(static_cast<size_t>(static_cast<const char*>(newline) - begin));
            ++m_begin;  // the newline
            if (std::exchange(m_skipping, false)) {
                continue;  // the rest of a line cut before its newline was read
            }
            deliver(text, line, cut);
            return true;
        }
        if (m_skipping) {
            m_begin = m_end = 0;
            if (m_atEnd) {
                return false;
            }
        } else if (pending > kMaxLineLength + 1) {
            // Longer than the limit even if its last byte is the CR of a CRLF.
            line = std::string_view(begin, kMaxLineLength);
            m_begin = m_end = 0;
            m_skipping = true;
            cut = true;
            return true;
        } else if (m_atEnd) {
            if (pending == 0) {
                return false;
            }
            deliver(take(pending), line, cut);
            return true;
        }
        if (!fill()) {
            m_atEnd = true;
        }
    }
}

void LineSource::deliver(std::string_view text, std::string_view& line, bool& cut) {
    cut = text.size() > kMaxLineLength;
    line = cut ? text.substr(0, kMaxLineLength) : text;
}

bool LineSource::fill() {
    if (m_begin > 0) {
        std::memmove(m_buffer.data(), m_buffer.data() + m_begin, m_end - m_begin);
        m_end -= m_begin;
        m_begin = 0;
    }
    const size_t read = m_read(m_buffer.data() + m_end, m_buffer.size() - m_end);
    m_end += read;
    return read > 0;
}

std::string_view LineSource::take(size_t length) {
    std::string_view line(m_buffer.data() + m_begin, length);
    m_begin += length;
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    return line;
}

}  // namespace ktr::log
