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

// The complete lines of a results file, each without its line break, and where the last of them ends.
struct ResultsLines {
    std::vector<std::string_view> lines;
    size_t completeBytes = 0;
};

ResultsLines completeLines(const std::string& content) {
    ResultsLines read;
    const std::string_view text(content);
    for (size_t end = text.find('\n'); end != std::string_view::npos; end = text.find('\n', read.completeBytes)) {
        read.lines.push_back(text.substr(read.completeBytes, end - read.completeBytes));
        read.completeBytes = end + 1;
    }
    return read;
}

// The lines of a results file; a file that ends inside a line was cut short while it was written.
std::vector<std::string_view> linesOf(const std::string& path, const std::string& content) {
    if (content.empty()) {
        throw InputError(fmt::format("{}: empty: a results file starts with a header line", path));
    }
    ResultsLines read = completeLines(content);
    if (read.completeBytes != content.size()) {
        refuseLine(path, read.lines.size() + 1, "truncated: the file ends inside this line");
    }
    return std::move(read.lines);
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
    if (header.tracesSha256.size() != header.runs.size()) {
        throw InputError(fmt::format("field \"traces_sha256\": expected one hash per run ({}), got {}",
                                     header.runs.size(), header.tracesSha256.size()));
    }
    ShardHeader read{{header.meeting, header.meetingSha256, header.librarySha256, header.settingsSha256, header.seed,
                      header.options, header.runs, header.tracesSha256},
                     {}};
    try {
        read.shard = parseShard(header.shard);
    } catch (const InputError&) {
        throw InputError(fmt::format("field \"shard\": expected K/N with 1 <= K <= N, got \"{}\"", header.shard));
    }
    return read;
}

// The trace of the first run whose content differs, when the runs are the same.
std::string changedTrace(const SweepDescription& one, const SweepDescription& other) {
    for (size_t i = 0; i < one.runs.size(); ++i) {
        if (one.tracesSha256[i] != other.tracesSha256[i]) {
            return fmt::format("the trace \"{}\" has another content", one.runs[i]);
        }
    }
    return "";
}

// The first thing the sweeps' descriptions differ in.
std::string difference(const SweepDescription& one, const SweepDescription& other) {
    if (one.meetingSha256 != other.meetingSha256) {
        return fmt::format("the meeting \"{}\" is not the meeting \"{}\" (their contents differ)", one.meeting,
                           other.meeting);
    }
    if (one.librarySha256 != other.librarySha256) {
        return "the library builds differ";
    }
    if (one.settingsSha256 != other.settingsSha256) {
        return "the settings (--config) differ";
    }
    if (one.seed != other.seed) {
        return fmt::format("the seed {} is not {}", one.seed, other.seed);
    }
    if (one.options != other.options) {
        return "the options differ";
    }
    if (one.runs.size() != other.runs.size()) {
        return fmt::format("it has {} runs, not {}", one.runs.size(), other.runs.size());
    }
    return one.runs != other.runs ? "the runs' traces differ" : changedTrace(one, other);
}

// Checks what a run's line holds, whoever wrote it; messages name the field.
void checkRun(const SweepDescription& sweep, const Shard& shard, const SweepResultsRun& run) {
    if (run.index >= sweep.runs.size()) {
        throw InputError(
            fmt::format("field \"index\": expected a run index below {}, got {}", sweep.runs.size(), run.index));
    }
    const size_t index = static_cast<size_t>(run.index);
    if (run.run != sweep.runs[index]) {
        throw InputError(fmt::format("run {} is \"{}\" in the header, not \"{}\"", index, sweep.runs[index], run.run));
    }
    if (!shard.holds(index)) {
        throw InputError(fmt::format("run {} (\"{}\") does not belong to shard {}", index, run.run, shard.text()));
    }
    if (run.summary.has_value() == run.failed.has_value()) {
        throw InputError("expected either a \"summary\" or a \"failed\", and not both");
    }
    if (!run.summary) {
        return;
    }
    if (run.summary->schema != RunSummary::kSchema) {
        throw InputError(fmt::format("its summary: a summary of schema {}; this ktr reads schema {}",
                                     run.summary->schema, RunSummary::kSchema));
    }
    try {
        runMetricRows(*run.summary);
    } catch (const InputError& error) {
        throw InputError(fmt::format("its summary: {}", error.what()));
    }
}

struct PlacedRun {
    SweepResultsRun run;
    std::string path;
    size_t line = 0;
};

// The runs of a file's lines by index, refusing a run present twice.
class RunsByIndex {
public:
    void add(const std::string& path, size_t line, SweepResultsRun run) {
        const size_t index = static_cast<size_t>(run.index);
        if (const auto earlier = m_runs.find(index); earlier != m_runs.end()) {
            refuseLine(path, line,
                       fmt::format("run {} (\"{}\") is also at {}: line {}", index, run.run, earlier->second.path,
                                   earlier->second.line));
        }
        m_runs.emplace(index, PlacedRun{std::move(run), path, line});
    }

    const PlacedRun* find(size_t index) const {
        const auto found = m_runs.find(index);
        return found == m_runs.end() ? nullptr : &found->second;
    }

    std::vector<SweepResultsRun> take() {
        std::vector<SweepResultsRun> runs;
        runs.reserve(m_runs.size());
        for (auto& [index, placed] : m_runs) {
            runs.push_back(std::move(placed.run));
        }
        return runs;
    }

private:
    // Only the runs read so far: a header may announce far more runs than its files hold.
    std::map<size_t, PlacedRun> m_runs;
};

// A run's line, checked against the sweep and the shard; messages name the file and the line.
SweepResultsRun readRunLine(const std::string& path, size_t line, std::string_view text, const SweepDescription& sweep,
                            const Shard& shard) {
    try {
        SweepResultsRun run = readLine<SweepResultsRun>(text);
        checkRun(sweep, shard, run);
        return run;
    } catch (const InputError& error) {
        refuseLine(path, line, error.what());
    }
}

// Joins the runs of every file into the runs of the whole sweep.
class ResultsMerger {
public:
    void read(const std::string& path, const std::string& content) {
        const std::vector<std::string_view> lines = linesOf(path, content);
        const ShardHeader header = readHeaderLine(path, lines.front());
        for (size_t i = 1; i < lines.size(); ++i) {
            m_runs.add(path, i + 1, readRunLine(path, i + 1, lines[i], *m_sweep, header.shard));
        }
        checkShardComplete(path, header.shard);
        m_shardsRead.push_back(header.shard.text());
    }

    MergedSweep finish() {
        for (size_t index = 0; index < m_sweep->runs.size(); ++index) {
            if (m_runs.find(index) == nullptr) {
                throw InputError(fmt::format("run {} (\"{}\") is in none of the files (shards read: {})", index,
                                             m_sweep->runs[index], fmt::join(m_shardsRead, ", ")));
            }
        }
        return MergedSweep{*m_sweep, m_runs.take()};
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

    void checkShardComplete(const std::string& path, const Shard& shard) const {
        for (const size_t index : shardRuns(m_sweep->runs.size(), shard)) {
            const PlacedRun* found = m_runs.find(index);
            if (found == nullptr || found->path != path) {
                throw InputError(fmt::format("{}: run {} (\"{}\") of shard {} is missing: the file is incomplete", path,
                                             index, m_sweep->runs[index], shard.text()));
            }
        }
    }

    std::optional<SweepDescription> m_sweep;
    std::string m_firstPath;
    RunsByIndex m_runs;
    std::vector<std::string> m_shardsRead;
};

SweepResultsHeader headerOf(const SweepDescription& sweep, const Shard& shard) {
    SweepResultsHeader header;
    header.meeting = sweep.meeting;
    header.meetingSha256 = sweep.meetingSha256;
    header.librarySha256 = sweep.librarySha256;
    header.settingsSha256 = sweep.settingsSha256;
    header.seed = sweep.seed;
    header.options = sweep.options;
    header.runs = sweep.runs;
    header.tracesSha256 = sweep.tracesSha256;
    header.shard = shard.text();
    return header;
}

}  // namespace

bool SweepDescription::operator==(const SweepDescription& other) const {
    return meetingSha256 == other.meetingSha256 && librarySha256 == other.librarySha256 &&
           settingsSha256 == other.settingsSha256 && seed == other.seed && options == other.options &&
           runs == other.runs && tracesSha256 == other.tracesSha256;
}

std::string resultsHeaderLine(const SweepDescription& sweep, const Shard& shard) {
    return jsonLine(headerOf(sweep, shard));
}

std::string resultsRunLine(const SweepDescription& sweep, const Shard& shard, const SweepResultsRun& run) {
    try {
        checkRun(sweep, shard, run);
    } catch (const InputError& error) {
        throw std::invalid_argument(fmt::format("run {} (\"{}\") is not a run of shard {} of the sweep: {}", run.index,
                                                run.run, shard.text(), error.what()));
    }
    return jsonLine(run);
}

void writeSweepResults(std::ostream& out, const SweepDescription& sweep, const Shard& shard,
                       const std::vector<SweepResultsRun>& runs) {
    out << resultsHeaderLine(sweep, shard);
    for (const SweepResultsRun& run : runs) {
        out << resultsRunLine(sweep, shard, run);
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

RecordedShard readRecordedShard(const ResultsText& file, const SweepDescription& sweep, const Shard& shard) {
    RecordedShard recorded;
    ResultsLines read = completeLines(file.content);
    if (read.lines.empty()) {
        return recorded;
    }
    ShardHeader header;
    try {
        header = readHeader(read.lines.front());
    } catch (const InputError& error) {
        refuseLine(file.path, 1, fmt::format("not a results header: {}", error.what()));
    }
    if (!(header.sweep == sweep) || !(header.shard == shard)) {
        const std::string what = header.shard == shard
                                     ? difference(sweep, header.sweep)
                                     : fmt::format("it holds shard {}, not {}", header.shard.text(), shard.text());
        throw InputError(
            fmt::format("{}: written by another sweep: {}; give another --results file, or remove this "
                        "one to start the shard again",
                        file.path, what));
    }
    recorded.headerWritten = true;
    RunsByIndex runs;
    for (size_t i = 1; i < read.lines.size(); ++i) {
        runs.add(file.path, i + 1, readRunLine(file.path, i + 1, read.lines[i], sweep, shard));
    }
    recorded.runs = runs.take();
    recorded.completeBytes = read.completeBytes;
    return recorded;
}

}  // namespace ktr::sim
