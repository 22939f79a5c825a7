#include "Sweep.h"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "InputFile.h"
#include "RunMetrics.h"

namespace ktr::sim {
namespace {

// Far more machines than a sweep gets; keeps K and N small numbers.
constexpr int kMaxShards = 1000000;

namespace fs = std::filesystem;

[[noreturn]] void refuseFolder(const std::string& dir, const std::string& problem) {
    throw InputError(fmt::format("{}: {}", dir, problem));
}

// The names of the regular, not hidden files directly in dir.
std::vector<std::string> traceNames(const std::string& dir) {
    std::error_code error;
    std::vector<std::string> names;
    for (fs::directory_iterator entry(dir, error), end; !error && entry != end; entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        std::error_code typeError;
        if (!name.empty() && name[0] != '.' && entry->is_regular_file(typeError)) {
            names.push_back(name);
        }
    }
    if (error) {
        refuseFolder(dir, "cannot be read: " + error.message());
    }
    return names;
}

// A positive number of decimal digits only, at most kMaxShards.
bool readCount(const std::string& text, int& count) {
    if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return false;
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
    return error == std::errc() && end == text.data() + text.size() && count >= 1 && count <= kMaxShards;
}

}  // namespace

std::vector<std::string> listTraces(const std::string& dir) {
    std::error_code error;
    const fs::file_status status = fs::status(dir, error);
    if (status.type() == fs::file_type::not_found) {
        refuseFolder(dir, "no such folder");
    }
    if (error) {
        refuseFolder(dir, "cannot be read: " + error.message());
    }
    if (status.type() != fs::file_type::directory) {
        refuseFolder(dir, "not a folder");
    }
    std::vector<std::string> names = traceNames(dir);
    if (names.empty()) {
        refuseFolder(dir, "holds no trace files (hidden files and folders are left out)");
    }
    std::sort(names.begin(), names.end());
    std::vector<std::string> paths;
    paths.reserve(names.size());
    for (const std::string& name : names) {
        paths.push_back((fs::path(dir) / name).string());
    }
    return paths;
}

std::string Shard::text() const {
    return fmt::format("{}/{}", index, count);
}

Shard parseShard(const std::string& text) {
    const size_t slash = text.find('/');
    Shard shard;
    if (slash == std::string::npos || !readCount(text.substr(0, slash), shard.index) ||
        !readCount(text.substr(slash + 1), shard.count) || shard.index > shard.count) {
        throw InputError(
            fmt::format("--shard \"{}\": expected K/N with 1 <= K <= N <= {}, e.g. 2/8", text, kMaxShards));
    }
    return shard;
}

std::vector<size_t> shardRuns(size_t runCount, const Shard& shard) {
    std::vector<size_t> runs;
    for (size_t run = static_cast<size_t>(shard.index - 1); run < runCount; run += static_cast<size_t>(shard.count)) {
        runs.push_back(run);
    }
    return runs;
}

std::vector<ChildRun> sweepRuns(const std::function<std::vector<std::string>(const std::string&)>& commandFor,
                                const std::vector<std::string>& traces, const std::vector<size_t>& indices) {
    std::vector<ChildRun> runs;
    for (size_t index : indices) {
        const std::string& trace = traces.at(index);
        runs.push_back({fs::path(trace).filename().string(), commandFor(trace)});
    }
    return runs;
}

SweepResultsRun runOutcome(const ChildResult& result, size_t index, const ChildRun& run) {
    SweepResultsRun outcome{result.label, index, {}, {}};
    std::string problem = result.failure();
    if (problem.empty()) {
        try {
            RunSummary summary = parseRunSummary(result.out, "its summary");
            runMetricRows(summary);
            outcome.summary = std::move(summary);
            return outcome;
        } catch (const InputError& error) {
            problem = error.what();
        }
    }
    FailedRun failed;
    failed.reason = std::move(problem);
    failed.stderrEnd = stderrEnd(result);
    failed.command = run.argv;
    outcome.failed = std::move(failed);
    return outcome;
}

SweepOutcomes splitOutcomes(std::vector<SweepResultsRun> runs) {
    std::sort(runs.begin(), runs.end(),
              [](const SweepResultsRun& one, const SweepResultsRun& other) { return one.index < other.index; });
    SweepOutcomes outcomes;
    for (SweepResultsRun& run : runs) {
        if (run.summary) {
            outcomes.summaries.push_back({run.run, static_cast<size_t>(run.index), std::move(*run.summary)});
        } else if (run.failed) {
            outcomes.failed.push_back({run.run, run.index, run.failed->reason});
        }
    }
    return outcomes;
}

void refuseFailedRuns(const std::vector<SweepResultsRun>& runs) {
    std::string problems;
    for (const SweepResultsRun& run : runs) {
        if (run.failed) {
            problems += (problems.empty() ? "" : "\n") + runProblem(run.run, run.failed->reason, run.failed->stderrEnd);
        }
    }
    if (!problems.empty()) {
        throw InputError(problems);
    }
}

std::vector<RunSummary> summariesOf(const std::vector<LabelledSummary>& runs) {
    std::vector<RunSummary> summaries;
    summaries.reserve(runs.size());
    for (const LabelledSummary& run : runs) {
        summaries.push_back(run.summary);
    }
    return summaries;
}

}  // namespace ktr::sim
