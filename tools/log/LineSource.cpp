#include "LineSource.h"

#include <cstring>
#include <utility>

namespace ktr::logs {
namespace {

// Four times the longest line: a read fills at least three quarters of the buffer.
constexpr size_t kBufferSize = 4 * LineSource::kMaxLineLength;

}  // namespace

LineSource::LineSource(ReadBlock read) : m_read(std::move(read)), m_buffer(kBufferSize) {}

bool LineSource::next(std::string_view& line, bool& cut) {
    for (;;) {
        const char* begin = m_buffer.data() + m_begin;
        const size_t pending = m_end - m_begin;
        const void* newline = std::memchr(begin, '\n', pending);
        if (newline != nullptr) {
            const size_t length = static_cast<const char*>(newline) - begin;
            if (m_skipping) {
                m_skipping = false;
                m_begin += length + 1;
                continue;
            }
            line = take(length);
            ++m_begin;  // the newline
            cut = false;
            return true;
        }
        if (m_skipping) {
            m_begin = m_end = 0;
            if (m_atEnd) {
                return false;
            }
        } else if (pending >= kMaxLineLength) {
            line = std::string_view(begin, kMaxLineLength);
            m_begin = m_end = 0;
            m_skipping = true;
            cut = true;
            return true;
        } else if (m_atEnd) {
            if (pending == 0) {
                return false;
            }
            line = take(pending);
            cut = false;
            return true;
        }
        if (!fill()) {
            m_atEnd = true;
        }
    }
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

}  // namespace ktr::logs
