#include "LogReader.h"

#include "HostPrefix.h"
#include "LevelMark.h"
#include "LibraryText.h"
#include "LineSequence.h"
#include "LogLineMatcher.h"
#include "Pcre2Pattern.h"

namespace ktr::log {
namespace {

constexpr size_t kMaxUnknownSamples = 20;
constexpr const char* kNoTimeWarning = "the log carries no time: durations are counted in steps";

// Copies the values into the strings already there, so that their capacity serves the next line.
void assignValues(const std::vector<std::string_view>& values, std::vector<std::string>& into) {
    into.resize(values.size());
    for (size_t i = 0; i < values.size(); ++i) {
        into[i].assign(values[i]);
    }
}

}  // namespace

LogReader::LogReader(std::unique_ptr<LineSequence> lines, const std::optional<std::string>& prefix)
    : m_lines(std::move(lines)) {
    if (prefix) {
        m_prefix = std::make_unique<Pcre2Pattern>(*prefix, PCRE2_ANCHORED);
        m_timeGroup = m_prefix->groupNumber("time");
        m_levelGroup = m_prefix->groupNumber("level");
    }
}

LogReader::LogReader(const std::vector<std::string>& paths, const std::optional<std::string>& prefix)
    : LogReader(std::make_unique<LineSequence>(paths), prefix) {}

LogReader::LogReader(const std::string& path, const std::optional<std::string>& prefix)
    : LogReader(std::vector<std::string>{path}, prefix) {}

LogReader::LogReader(FromText, std::string_view text, const std::optional<std::string>& prefix)
    : LogReader(std::make_unique<LineSequence>(text), prefix) {}

LogReader::~LogReader() = default;

const ReadCounts& LogReader::counts() const {
    return m_counts;
}

std::vector<std::string> LogReader::warnings() const {
    if (m_counts.library > 0 && m_counts.timed == 0) {
        return {kNoTimeWarning};
    }
    return {};
}

bool LogReader::next(LibraryLine& line) {
    std::string_view text;
    bool cut = false;
    while (m_lines->next(text, cut)) {
        ++m_counts.lines;
        if (cut) {
            ++m_counts.tooLong;
        }
        if (read(text, line)) {
            return true;
        }
    }
    return false;
}

bool LogReader::read(std::string_view text, LibraryLine& out) {
    Prefix prefix;
    const std::optional<size_t> start = libraryStart(text, prefix);
    if (!start) {
        ++m_counts.other;
        return false;
    }
    const std::string_view library = text.substr(*start);
    const ktr::LogFormat* format = match(library, prefix.level);
    if (format == nullptr) {
        countUnknown(library);
        return false;
    }
    ++m_counts.library;
    out.file = m_lines->file();
    out.number = m_lines->number();
    out.time = continued(prefix.time);
    if (out.time) {
        ++m_counts.timed;
    }
    out.level = prefix.level;
    out.text.assign(library);
    out.parsed.format = format;
    assignValues(m_values, out.parsed.values);
    return true;
}

std::optional<size_t> LogReader::libraryStart(std::string_view text, Prefix& prefix) {
    // Most other components' lines end here, before their prefix is read.
    std::optional<size_t> start = LibraryText::find(text);
    if (!start) {
        return std::nullopt;
    }
    if (m_prefix) {
        prefix = customPrefix(text);
        return *start < prefix.searchFrom ? LibraryText::find(text, prefix.searchFrom) : start;
    }
    const HostPrefix::Facts facts = HostPrefix::read(text.substr(0, *start));
    prefix.time = facts.time;
    prefix.level = facts.level;
    return start;
}

LogReader::Prefix LogReader::customPrefix(std::string_view text) {
    Prefix prefix;
    if (!m_prefix->match(text)) {
        return prefix;  // no time or level known; the library's text may still be in the line
    }
    prefix.searchFrom = m_prefix->matchEnd();
    if (const auto time = m_prefix->group(m_timeGroup)) {
        prefix.time = TimeStamp::parse(*time);
    }
    if (const auto level = m_prefix->group(m_levelGroup)) {
        prefix.level = LevelMark::parse(*level);
    }
    return prefix;
}

const ktr::LogFormat* LogReader::match(std::string_view library, std::optional<ktr::LogLevel> level) {
    const ktr::LogLineMatcher& matcher = ktr::LogLineMatcher::instance();
    const ktr::LogFormat* format = matcher.match(library, level, m_values);
    if (format == nullptr && level) {
        format = matcher.match(library, std::nullopt, m_values);
    }
    return format;
}

std::optional<double> LogReader::continued(const std::optional<TimeStamp::Time>& time) {
    if (!time) {
        return std::nullopt;
    }
    return time->timeOfDay ? m_clock.continued(time->seconds) : time->seconds;
}

void LogReader::countUnknown(std::string_view text) {
    ++m_counts.unknownLibrary;
    if (m_counts.unknownSamples.size() < kMaxUnknownSamples) {
        m_counts.unknownSamples.emplace_back(linePlace(m_lines->file().get(), m_lines->number()), std::string(text));
    }
}

}  // namespace ktr::log
