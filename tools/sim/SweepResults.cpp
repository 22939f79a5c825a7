#include "SweepResults.h"

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <map>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "InputFile.h"
#include "RunMetrics.h"

namespace ktr::sim {
namespace {

// Labels are file names, which need not be UTF-8: JsonOut replaces what is not.
template <class T>
std::string jsonLine(const T& value) {
    return toJsonText(value) + "\n";
}

[[noreturn]] void refuseLine(const std::string& path, size_t line, const std::string& problem) {
    throw InputError(fmt::format("{}: line {}: {}", path, line, problem));
}

// The lines of a results file, each without its line break; a file that ends inside a line was cut
// short while it was written.
std::vector<std::string_view> linesOf(const std::string& path, const std::string& content) {
    if (content.empty()) {
        throw InputError(fmt::format("{}: empty: a results file starts with a header line", path));
    }
    std::vector<std::string_view> lines;
    const std::string_view text(content);
    for (size_t start = 0; start < text.size();) {
        const size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            refuseLine(path, lines.size() + 1, "truncated: the file ends inside this line");
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// One line of a results file as its type; messages name the field.
template <class T>
T readLine(std::string_view line) {
    JsonValue value;
    try {
        value = JsonValue::parse(line);
    } catch (const nlohmann::json::exception& error) {
        throw InputError(fmt::format("not JSON: {}", error.what()));
    }
    FieldReader in(value, FieldPlace("", ""));
    T read;
    codec::readFields(in, read, Nulls::Unknown);
    in.finish();
    return read;
}

struct ShardHeader {
    SweepDescription sweep;
    Shard shard;
};

ShardHeader readHeader(std::string_view line) {
    const SweepResultsHeader header = readLine<SweepResultsHeader>(line);
    if (header.schema != SweepResultsHeader::kSchema) {
        throw InputError(fmt::format("a results file of schema {}; this ktr reads schema {}", header.schema,
                                     SweepResultsHeader::kSchema));
    }
    ShardHeader read{{header.meeting, header.meetingSha256, header.options, header.runs}, {}};
    try {
        read.shard = parseShard(header.shard);
    } catch (const InputError&) {
        throw InputError(fmt::format("field \"shard\": expected K/N with 1 <= K <= N, got \"{}\"", header.shard));
    }
    return read;
}

// The first field of the sweeps' descriptions that differs.
std::string difference(const SweepDescription& one, const SweepDescription& other) {
    if (one.meetingSha256 != other.meetingSha256) {
        return fmt::format("the meeting \"{}\" is not the meeting \"{}\" (their contents differ)", one.meeting,
                           other.meeting);
    }
    if (one.options != other.options) {
        return "the options differ";
    }
    return one.runs.size() != other.runs.size()
               ? fmt::format("it has {} runs, not {}", one.runs.size(), other.runs.size())
               : "the runs' traces differ";
}

struct PlacedRun {
    LabelledSummary run;
    std::string path;
    size_t line = 0;
};

// Joins the runs of every file into the runs of the whole sweep.
class ResultsMerger {
public:
    void read(const std::string& path, const std::string& content) {
        const std::vector<std::string_view> lines = linesOf(path, content);
        const ShardHeader header = readHeaderLine(path, lines.front());
        for (size_t i = 1; i < lines.size(); ++i) {
            try {
                readRun(path, i + 1, readLine<SweepResultsRun>(lines[i]), header.shard);
            } catch (const InputError& error) {
                refuseLine(path, i + 1, error.what());
            }
        }
        checkShardComplete(path, header.shard);
        m_shardsRead.push_back(header.shard.text());
    }

    MergedSweep finish() {
        MergedSweep merged{*m_sweep, {}};
        for (size_t index = 0; index < runCount(); ++index) {
            const auto found = m_runs.find(index);
            if (found == m_runs.end()) {
                throw InputError(fmt::format("run {} (\"{}\") is in none of the files (shards read: {})", index,
                                             m_sweep->runs[index], fmt::join(m_shardsRead, ", ")));
            }
            merged.runs.push_back(std::move(found->second.run));
        }
        return merged;
    }

private:
    ShardHeader readHeaderLine(const std::string& path, std::string_view line) {
        ShardHeader header;
        try {
            header = readHeader(line);
        } catch (const InputError& error) {
            refuseLine(path, 1, fmt::format("not a results header: {}", error.what()));
        }
        if (!m_sweep) {
            m_sweep = header.sweep;
            m_firstPath = path;
        } else if (!(header.sweep == *m_sweep)) {
            refuseLine(path, 1,
                       fmt::format("from another sweep than {}: {}", m_firstPath, difference(header.sweep, *m_sweep)));
        }
        return header;
    }

    void readRun(const std::string& path, size_t line, SweepResultsRun read, const Shard& shard) {
        const std::string& label = read.run;
        if (read.index >= runCount()) {
            throw InputError(
                fmt::format("field \"index\": expected a run index below {}, got {}", runCount(), read.index));
        }
        const size_t index = static_cast<size_t>(read.index);
        if (label != m_sweep->runs[index]) {
            throw InputError(
                fmt::format("run {} is \"{}\" in the header, not \"{}\"", index, m_sweep->runs[index], label));
        }
        if (!shard.holds(index)) {
            throw InputError(fmt::format("run {} (\"{}\") does not belong to shard {}", index, label, shard.text()));
        }
        if (const auto earlier = m_runs.find(index); earlier != m_runs.end()) {
            throw InputError(fmt::format("run {} (\"{}\") is also at {}: line {}", index, label, earlier->second.path,
                                         earlier->second.line));
        }
        if (read.summary.schema != RunSummary::kSchema) {
            throw InputError(fmt::format("its summary: a summary of schema {}; this ktr reads schema {}",
                                         read.summary.schema, RunSummary::kSchema));
        }
        try {
            runMetricRows(read.summary);
        } catch (const InputError& error) {
            throw InputError(fmt::format("its summary: {}", error.what()));
        }
        m_runs.emplace(index, PlacedRun{{label, index, std::move(read.summary)}, path, line});
    }

    void checkShardComplete(const std::string& path, const Shard& shard) const {
        for (size_t index = static_cast<size_t>(shard.index - 1); index < runCount();
             index += static_cast<size_t>(shard.count)) {
            const auto found = m_runs.find(index);
            if (found == m_runs.end() || found->second.path != path) {
                throw InputError(fmt::format("{}: run {} (\"{}\") of shard {} is missing: the file is incomplete", path,
                                             index, m_sweep->runs[index], shard.text()));
            }
        }
    }

    size_t runCount() const { return m_sweep->runs.size(); }

    std::optional<SweepDescription> m_sweep;
    std::string m_firstPath;
    // Only the runs read so far: a header may announce far more runs than its files hold.
    std::map<size_t, PlacedRun> m_runs;
    std::vector<std::string> m_shardsRead;
};

}  // namespace

void writeSweepResults(std::ostream& out, const SweepDescription& sweep, const Shard& shard,
                       const std::vector<LabelledSummary>& runs) {
    SweepResultsHeader header;
    header.meeting = sweep.meeting;
    header.meetingSha256 = sweep.meetingSha256;
    header.options = sweep.options;
    header.runs = sweep.runs;
    header.shard = shard.text();
    out << jsonLine(header);
    for (const LabelledSummary& run : runs) {
        if (run.index >= sweep.runs.size() || sweep.runs[run.index] != run.label || !shard.holds(run.index)) {
            throw std::invalid_argument(fmt::format("run {} (\"{}\") is not a run of shard {} of the sweep", run.index,
                                                    run.label, shard.text()));
        }
        out << jsonLine(SweepResultsRun{run.label, run.index, run.summary});
    }
}

MergedSweep mergeSweepResults(const std::vector<std::string>& paths) {
    std::vector<ResultsText> files;
    files.reserve(paths.size());
    for (const std::string& path : paths) {
        files.push_back({path, readInputFile(path)});
    }
    return mergeSweepResults(files);
}

MergedSweep mergeSweepResults(const std::vector<ResultsText>& files) {
    if (files.empty()) {
        throw InputError("no results files to merge");
    }
    ResultsMerger merger;
    for (const ResultsText& file : files) {
        merger.read(file.path, file.content);
    }
    return merger.finish();
}

}  // namespace ktr::sim
