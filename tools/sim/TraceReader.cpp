#include "TraceReader.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string_view>
#include <utility>
#include <vector>

#include "InputFile.h"
#include "TraceText.h"
#include "Units.h"

namespace ktr::sim {
namespace {

constexpr double kPacketBytes = 1500;
constexpr double kBytesPerSecondPerPacketPerMs = kPacketBytes * 1000;
constexpr int64_t kMostPacketsPerMs = static_cast<int64_t>(CapacityTrace::kHighestBytesPerSecond / kPacketBytes / 1000);
constexpr int64_t kLongestTraceMs = CapacityTrace::kLongestPeriod / kMicrosPerMilli;
constexpr double kLongestTraceSeconds = static_cast<double>(CapacityTrace::kLongestPeriod) / kMicrosPerSecond;
constexpr double kBytesPerMbit = 1e6 / 8;
constexpr double kHighestMbps = CapacityTrace::kHighestBytesPerSecond / kBytesPerMbit;
// A trace of one row holds its rate for ever; one second is as good a period as any.
constexpr Micros kSingleRowPeriod = kMicrosPerSecond;
constexpr char kCommentMark = '#';
constexpr std::string_view kSyntheticMark = "synthetic";
constexpr std::string_view kBlanks = " \t\r\v\f";

struct DataLine {
    size_t number;
    std::vector<std::string_view> fields;
};

// A trace file split into its lines of data, with what messages about them need to know.
struct TraceFile {
    std::string path;
    std::vector<DataLine> lines;
    size_t lastLineNumber = 0;
    bool endsWithNewline = false;
    bool synthetic = false;

    [[noreturn]] void refuse(const std::string& problem) const {
        throw InputError(fmt::format("{}: {}", path, problem));
    }
    [[noreturn]] void refuse(const DataLine& line, const std::string& problem) const {
        throw InputError(fmt::format("{}: line {}: {}", path, line.number, problem));
    }
    // For text that does not read as the format: the last line may have been cut short while written.
    [[noreturn]] void refuseText(const DataLine& line, const std::string& problem) const {
        const bool cutShort = line.number == lastLineNumber && !endsWithNewline;
        refuse(line, cutShort ? problem + " (the file ends inside this line: is it cut short?)" : problem);
    }
};

std::vector<std::string_view> fieldsOf(std::string_view line) {
    std::vector<std::string_view> fields;
    size_t start = line.find_first_not_of(kBlanks);
    while (start != std::string_view::npos) {
        const size_t end = std::min(line.find_first_of(kBlanks, start), line.size());
        fields.push_back(line.substr(start, end - start));
        start = line.find_first_not_of(kBlanks, end);
    }
    return fields;
}

bool isComment(const std::vector<std::string_view>& fields) {
    return !fields.empty() && fields.front().front() == kCommentMark;
}

bool isSyntheticMark(std::string_view line) {
    const size_t text = line.find_first_not_of(kBlanks, line.find(kCommentMark) + 1);
    return text != std::string_view::npos && line.substr(text, kSyntheticMark.size()) == kSyntheticMark;
}

TraceFile splitLines(const std::string& content, const std::string& path) {
    TraceFile file;
    file.path = path;
    file.endsWithNewline = !content.empty() && content.back() == '\n';
    const std::string_view text(content);
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = std::min(text.find('\n', start), text.size());
        const std::string_view line = text.substr(start, end - start);
        ++file.lastLineNumber;
        std::vector<std::string_view> fields = fieldsOf(line);
        if (isComment(fields)) {
            file.synthetic = file.synthetic || (file.lastLineNumber == 1 && isSyntheticMark(line));
        } else if (!fields.empty()) {
            file.lines.push_back({file.lastLineNumber, std::move(fields)});
        }
        start = end + 1;
    }
    return file;
}

std::string joined(const DataLine& line) {
    std::string text;
    for (const std::string_view field : line.fields) {
        text += text.empty() ? "" : " ";
        text += field;
    }
    return quoteForMessage(text);
}

bool allDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Segments of a trace under construction.
struct Segments {
    std::vector<Micros> starts;
    std::vector<double> bytesPerSecond;

    void add(Micros start, double rate) {
        starts.push_back(start);
        bytesPerSecond.push_back(rate);
    }
};

// The time in ms of one Mahimahi line.
int64_t mahimahiTime(const TraceFile& file, const DataLine& line) {
    const std::string_view field = line.fields.front();
    if (line.fields.size() != 1 || !(allDigits(field) || (field.front() == '-' && allDigits(field.substr(1))))) {
        file.refuseText(line, "expected one integer per line, a time in ms, got " + joined(line));
    }
    if (field.front() == '-') {
        file.refuse(line, fmt::format("time {} ms is negative", field));
    }
    int64_t ms = 0;
    for (const char digit : field) {
        ms = ms * 10 + (digit - '0');
        if (ms > kLongestTraceMs) {
            file.refuse(line,
                        fmt::format("time {} ms is beyond the longest trace accepted ({} ms)", field, kLongestTraceMs));
        }
    }
    return ms;
}

// Packets per millisecond, in time order; lines at time 0 are the same instant as the last time, since the
// file loops, and count in the last millisecond.
struct MillisecondCount {
    int64_t ms;
    int64_t packets;
    size_t lastLine;
};

std::vector<MillisecondCount> countPackets(const TraceFile& file) {
    std::vector<MillisecondCount> counts;
    int64_t atZero = 0;
    int64_t previous = 0;
    for (const DataLine& line : file.lines) {
        const int64_t ms = mahimahiTime(file, line);
        if (ms < previous) {
            file.refuse(line, fmt::format("time {} ms comes before the previous line's {} ms", ms, previous));
        }
        previous = ms;
        if (ms == 0) {
            ++atZero;
        } else if (!counts.empty() && counts.back().ms == ms) {
            ++counts.back().packets;
            counts.back().lastLine = line.number;
        } else {
            counts.push_back({ms, 1, line.number});
        }
    }
    if (counts.empty()) {
        file.refuse("the trace lasts 0 ms: its last time must be at least 1 ms");
    }
    counts.back().packets += atZero;
    counts.back().lastLine = file.lines.back().number;
    for (const MillisecondCount& count : counts) {
        if (count.packets > kMostPacketsPerMs) {
            file.refuse(DataLine{count.lastLine, {}},
                        fmt::format("{} packets in ms {} exceed 100 Gbit/s (at most {} per ms)", count.packets,
                                    count.ms, kMostPacketsPerMs));
        }
    }
    return counts;
}

// Millisecond t of the file is the interval [t - 1, t) ms of the period, which ends at the last time.
CapacityTrace readMahimahi(const TraceFile& file, std::string label) {
    Segments segments;
    int64_t end = 0;
    for (const MillisecondCount& count : countPackets(file)) {
        if (count.ms - 1 > end) {
            segments.add(end * kMicrosPerMilli, 0);
        }
        segments.add((count.ms - 1) * kMicrosPerMilli,
                     static_cast<double>(count.packets) * kBytesPerSecondPerPacketPerMs);
        end = count.ms;
    }
    return CapacityTrace(std::move(label), file.synthetic, std::move(segments.starts),
                         std::move(segments.bytesPerSecond), end * kMicrosPerMilli);
}

double columnValue(const TraceFile& file, const DataLine& line, std::string_view field, const char* name) {
    const std::optional<double> value = parseDecimal(field);
    if (!value) {
        file.refuseText(line, fmt::format("{} {} is not a number", name, quoteForMessage(field)));
    }
    if (!std::isfinite(*value)) {
        file.refuse(line, fmt::format("{} {} is not finite", name, field));
    }
    if (*value < 0) {
        file.refuse(line, fmt::format("{} {} is negative", name, field));
    }
    return *value;
}

struct Row {
    Micros time;
    double mbps;
};

Row readRow(const TraceFile& file, const DataLine& line) {
    if (line.fields.size() != 2) {
        file.refuseText(line, "expected two numbers per line, seconds and Mbit/s, got " + joined(line));
    }
    const double seconds = columnValue(file, line, line.fields[0], "time");
    const double mbps = columnValue(file, line, line.fields[1], "throughput");
    if (seconds > kLongestTraceSeconds) {
        file.refuse(line, fmt::format("time {} s is beyond the longest trace accepted ({} s)", line.fields[0],
                                      kLongestTraceSeconds));
    }
    if (mbps > kHighestMbps) {
        file.refuse(line, fmt::format("throughput {} Mbit/s is above 100 Gbit/s", line.fields[1]));
    }
    return {std::llround(seconds * kMicrosPerSecond), mbps};
}

Micros medianSpacing(const std::vector<Row>& rows) {
    std::vector<Micros> spacings;
    for (size_t i = 1; i < rows.size(); ++i) {
        spacings.push_back(rows[i].time - rows[i - 1].time);
    }
    std::sort(spacings.begin(), spacings.end());
    const size_t middle = spacings.size() / 2;
    return spacings.size() % 2 == 1 ? spacings[middle] : (spacings[middle - 1] + spacings[middle]) / 2;
}

// Times count from the first row; each throughput holds until the next row, and the last one for the
// median spacing of the rows.
CapacityTrace readMbps(const TraceFile& file, std::string label) {
    std::vector<Row> rows;
    const DataLine* previous = nullptr;
    for (const DataLine& line : file.lines) {
        const Row row = readRow(file, line);
        if (previous != nullptr && row.time <= rows.back().time) {
            file.refuse(line, fmt::format("time {} s is not after the previous row's {} s", line.fields[0],
                                          previous->fields[0]));
        }
        rows.push_back(row);
        previous = &line;
    }
    if (std::all_of(rows.begin(), rows.end(), [](const Row& row) { return row.mbps == 0; })) {
        file.refuse("the trace carries nothing: every throughput is 0");
    }
    const Micros first = rows.front().time;
    const Micros period = rows.size() == 1 ? kSingleRowPeriod : rows.back().time - first + medianSpacing(rows);
    if (period > CapacityTrace::kLongestPeriod) {
        file.refuse(fmt::format("the trace lasts {} s, beyond the longest accepted ({} s)",
                                static_cast<double>(period) / kMicrosPerSecond, kLongestTraceSeconds));
    }
    Segments segments;
    for (const Row& row : rows) {
        segments.add(row.time - first, row.mbps * kBytesPerMbit);
    }
    return CapacityTrace(std::move(label), file.synthetic, std::move(segments.starts),
                         std::move(segments.bytesPerSecond), period);
}

}  // namespace

CapacityTrace parseTrace(const std::string& content, const std::string& path) {
    const TraceFile file = splitLines(content, path);
    if (file.lines.empty()) {
        file.refuse("no data: expected one integer per line (Mahimahi) or two numbers per line (seconds and Mbit/s)");
    }
    std::string label = std::filesystem::path(path).filename().string();
    const DataLine& first = file.lines.front();
    if (first.fields.size() != 1 && first.fields.size() != 2) {
        file.refuseText(
            first,
            "expected one integer (Mahimahi: a time in ms) or two numbers (seconds and Mbit/s), got " + joined(first));
    }
    return first.fields.size() == 1 ? readMahimahi(file, std::move(label)) : readMbps(file, std::move(label));
}

CapacityTrace readTrace(const std::string& path) {
    return parseTrace(readInputFile(path), path);
}

}  // namespace ktr::sim
