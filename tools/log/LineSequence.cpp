#include "LineSequence.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "GzipInput.h"
#include "InputFile.h"
#include "LineSource.h"

namespace ktr::log {
namespace {

constexpr std::string_view kStandardInput = "-";

}  // namespace

LineSequence::LineSequence(std::vector<std::string> paths) : m_paths(std::move(paths)) {
    if (m_paths.empty()) {
        throw InputError("no log file given");
    }
    if (std::count(m_paths.begin(), m_paths.end(), kStandardInput) > 1) {
        throw InputError("standard input (-) can be read only once");
    }
    for (size_t i = 1; i < m_paths.size(); ++i) {
        if (m_paths[i] != kStandardInput) {
            const GzipInput opened(m_paths[i]);  // closed again: read when its turn comes
        }
    }
    openNext();
}

LineSequence::LineSequence(std::string_view text)
    : m_lines(std::make_unique<LineSource>([text](char* data, size_t size) mutable {
          const size_t count = std::min(size, text.size());
          std::memcpy(data, text.data(), count);
          text.remove_prefix(count);
          return count;
      })) {}

LineSequence::~LineSequence() = default;

bool LineSequence::next(std::string_view& line, bool& cut) {
    while (!m_lines->next(line, cut)) {
        if (!openNext()) {
            return false;
        }
    }
    ++m_number;
    return true;
}

bool LineSequence::openNext() {
    if (m_nextPath >= m_paths.size()) {
        return false;
    }
    const std::string& path = m_paths[m_nextPath++];
    m_lines.reset();
    m_input = std::make_unique<GzipInput>(path);
    m_lines = std::make_unique<LineSource>(
        [input = m_input.get()](char* data, size_t size) { return input->read(data, size); });
    if (m_paths.size() > 1) {
        m_file = std::make_shared<const std::string>(path);
    }
    m_number = 0;
    return true;
}

}  // namespace ktr::log
