#include "SweepResults.h"

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <map>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "InputFile.h"
#include "JsonFields.h"
#include "RunMetrics.h"

namespace ktr::sim {
namespace {

using Json = nlohmann::ordered_json;

// Labels are file names, which need not be UTF-8; JSON text must be.
std::string jsonLine(const Json& value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
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

Json parseObject(std::string_view line) {
    Json value;
    try {
        value = Json::parse(line);
    } catch (const nlohmann::json::exception& error) {
        throw InputError(fmt::format("not JSON: {}", error.what()));
    }
    return objectValue(value, "");
}

struct ShardHeader {
    SweepDescription sweep;
    Shard shard;
};

ShardHeader readHeader(const Json& header) {
    const Json& schema = requiredField(header, "", "schema");
    if (schema != kResultsSchema) {
        refuseField("schema", std::to_string(kResultsSchema), schema);
    }
    ShardHeader read;
    read.sweep.meeting = stringField(header, "", "meeting");
    read.sweep.options = requiredField(header, "", "options");
    const Json& runs = requiredField(header, "", "runs");
    if (!runs.is_array()) {
        refuseField("runs", "the runs' labels", runs);
    }
    for (size_t i = 0; i < runs.size(); ++i) {
        if (!runs[i].is_string()) {
            refuseField(fmt::format("runs[{}]", i), "a string", runs[i]);
        }
        read.sweep.runs.push_back(runs[i].get<std::string>());
    }
    const std::string shard = stringField(header, "", "shard");
    try {
        read.shard = parseShard(shard);
    } catch (const InputError&) {
        refuseField("shard", "K/N with 1 <= K <= N", shard);
    }
    return read;
}

// The first field of the sweeps' descriptions that differs.
std::string difference(const SweepDescription& one, const SweepDescription& other) {
    if (one.meeting != other.meeting) {
        return fmt::format("the meeting is \"{}\", not \"{}\"", one.meeting, other.meeting);
    }
    if (one.options != other.options) {
        return "the options differ";
    }
    return one.runs.size() != other.runs.size()
               ? fmt::format("it has {} runs, not {}", one.runs.size(), other.runs.size())
               : "the runs' traces differ";
}

struct PlacedRun {
    RunSummary run;
    std::string path;
    size_t line = 0;
};

// Joins the runs of every file into the runs of the whole sweep.
class ResultsMerger {
public:
    void read(const std::string& path) {
        const std::string content = readInputFile(path);
        const std::vector<std::string_view> lines = linesOf(path, content);
        const ShardHeader header = readHeaderLine(path, lines.front());
        for (size_t i = 1; i < lines.size(); ++i) {
            try {
                readRun(path, i + 1, parseObject(lines[i]), header.shard);
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
            header = readHeader(parseObject(line));
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

    void readRun(const std::string& path, size_t line, const Json& object, const Shard& shard) {
        const std::string label = stringField(object, "", "run");
        const Json& indexValue = requiredField(object, "", "index");
        if (!indexValue.is_number_unsigned() || indexValue.get<uint64_t>() >= runCount()) {
            refuseField("index", fmt::format("a run index below {}", runCount()), indexValue);
        }
        const size_t index = indexValue.get<size_t>();
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
        const Json& summary = requiredField(object, "", "summary");
        try {
            readRunMetrics(summary);
        } catch (const InputError& error) {
            throw InputError(fmt::format("its summary: {}", error.what()));
        }
        m_runs.emplace(index, PlacedRun{{label, index, summary}, path, line});
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
                       const std::vector<RunSummary>& runs) {
    out << jsonLine(Json{{"schema", kResultsSchema},
                         {"meeting", sweep.meeting},
                         {"options", sweep.options},
                         {"runs", sweep.runs},
                         {"shard", shard.text()}});
    for (const RunSummary& run : runs) {
        if (run.index >= sweep.runs.size() || sweep.runs[run.index] != run.label || !shard.holds(run.index)) {
            throw std::invalid_argument(fmt::format("run {} (\"{}\") is not a run of shard {} of the sweep", run.index,
                                                    run.label, shard.text()));
        }
        out << jsonLine(Json{{"run", run.label}, {"index", run.index}, {"summary", run.summary}});
    }
}

MergedSweep mergeSweepResults(const std::vector<std::string>& paths) {
    if (paths.empty()) {
        throw InputError("no results files to merge");
    }
    ResultsMerger merger;
    for (const std::string& path : paths) {
        merger.read(path);
    }
    return merger.finish();
}

}  // namespace ktr::sim
