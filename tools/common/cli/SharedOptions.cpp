#include "SharedOptions.h"

#include <fmt/format.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <stdexcept>
#include <variant>

#include "InputFile.h"

namespace ktr {
namespace {

// A month: far beyond any run, and small enough for the arithmetic on deadlines.
constexpr double kLongestSeconds = 30.0 * 24 * 3600;
constexpr int kMaxJobs = 256;
constexpr const char* kStateChanges = "changes";
constexpr const char* kStateEvery = "every";

using Field = std::variant<bool SharedValues::*, std::string SharedValues::*, int SharedValues::*,
                           double SharedValues::*, std::optional<uint64_t> SharedValues::*>;

struct Entry {
    SharedOptionRow row;
    Field field;
};

// clang-format off
const std::vector<Entry>& entries() {
    static const std::vector<Entry> kEntries{
        {{SharedOption::Library, "--lib", "the library build to load (default: the one beside ktr)",
          ValueKind::InputFile, true}, &SharedValues::library},
        {{SharedOption::Settings, "--config",
          "install this definition table and config ({\"definitions\": [...], \"config\": {...}}) after the local "
          "user's init, in place of a meeting's own",
          ValueKind::InputFile, true}, &SharedValues::settings},
        {{SharedOption::Json, "--json",
          "write the timeline as JSON Lines (diff: its result as one JSON object) to this file; - for standard "
          "output, in place of the text",
          ValueKind::StreamOutput, false}, &SharedValues::json},
        {{SharedOption::Csv, "--csv", "write the answers as a CSV timeline to this file (- : standard output)",
          ValueKind::StreamOutput, false}, &SharedValues::csv},
        {{SharedOption::LogFile, "--log-file",
          "write the library's lines to this file as a host's logger would (time stamp, level; - : standard "
          "output)",
          ValueKind::StreamOutput, false}, &SharedValues::logFile},
        {{SharedOption::Html, "--html",
          "write an interactive report (one self-contained HTML file) to this file (- : standard output)",
          ValueKind::StreamOutput, false}, &SharedValues::html},
        {{SharedOption::Summary, "--summary", "write the summary as JSON to this file (- : standard output)",
          ValueKind::StreamOutput, false}, &SharedValues::summary},
        {{SharedOption::Plot, "--plot",
          "draw into this PNG (python3-matplotlib): the timeline of a replay or a log, the series of one "
          "simulation, the CDF of every metric over the runs of a sweep or of diff --sim",
          ValueKind::FileOutput, false}, &SharedValues::plot},
        {{SharedOption::Redact, "--redact",
          "replace every uid by a pseudonym (the same for the same uid throughout the run) in every output",
          ValueKind::Flag, true}, &SharedValues::redact},
        {{SharedOption::Explain, "--explain",
          "under every answer the rules that fired and notes on surprising answers; the state after every step",
          ValueKind::Flag, false}, &SharedValues::explain},
        {{SharedOption::Log, "--log", "the library's lines under the step that wrote them", ValueKind::Flag, false},
         &SharedValues::log},
        {{SharedOption::State, "--state",
          "with --json: \"changes\" writes the whole state on the first step and then what each step changed; "
          "\"every\" writes the whole state on every step",
          ValueKind::StateWriting, false}, &SharedValues::state},
        {{SharedOption::Jobs, "--jobs", "runs at once (default: one per core)", ValueKind::Count, false},
         &SharedValues::jobs},
        {{SharedOption::Timeout, "--timeout",
          "seconds one run may take, or none for no limit (default: 600 for a simulation, 60 for a scenario)",
          ValueKind::TimeLimit, false}, &SharedValues::timeout},
        {{SharedOption::Duration, "--duration", "simulate only the first S seconds (S > 0)", ValueKind::Seconds,
          true}, &SharedValues::durationS},
        {{SharedOption::Traces, "--traces", "a folder of downlink traces: one run of the meeting per trace",
          ValueKind::Folder, false}, &SharedValues::traces},
        {{SharedOption::SummaryOnly, "--summary-only", "print only the summary, as one JSON object",
          ValueKind::Flag, false}, &SharedValues::summaryOnly},
        {{SharedOption::Downlink, "--downlink",
          "download capacity: a trace file (Mahimahi or seconds Mbit/s, - : standard input) or a synthetic shape "
          "such as constant:2mbps (default constant:10mbps)",
          ValueKind::Trace, true}, &SharedValues::downlink},
        {{SharedOption::Uplink, "--uplink", "upload capacity, as --downlink (default: not modelled)",
          ValueKind::Trace, true}, &SharedValues::uplink},
        {{SharedOption::Estimates, "--estimates",
          "replay recorded download estimates (CSV time_s,status,score,bitrate,max_bitrate) in place of the "
          "estimator model",
          ValueKind::InputFile, true}, &SharedValues::estimates},
        {{SharedOption::Seed, "--seed",
          "seed of the meeting's random models (talk spurts); default: the meeting's own",
          ValueKind::Seed, true}, &SharedValues::seed},
    };
    return kEntries;
}
// clang-format on

const Entry& entryOf(SharedOption id) {
    const Entry& entry = entries().at(static_cast<size_t>(id));
    if (entry.row.id != id) {
        throw std::logic_error("the shared options' table is out of the enumeration's order");
    }
    return entry;
}

// A finite number written in full (no trailing text), or nothing.
std::optional<double> readNumber(const std::string& text) {
    if (text.empty()) {
        return std::nullopt;
    }
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::string checkSeconds(const std::string& text) {
    const std::optional<double> seconds = readNumber(text);
    if (!seconds || *seconds <= 0 || *seconds > kLongestSeconds) {
        return fmt::format("expected a number of seconds above 0 and up to {}, got \"{}\"", kLongestSeconds, text);
    }
    return "";
}

std::string checkTimeLimit(const std::string& text) {
    if (text == kNoTimeLimit || checkSeconds(text).empty()) {
        return "";
    }
    return fmt::format("expected a number of seconds above 0 and up to {}, or {} for no limit, got \"{}\"",
                       kLongestSeconds, kNoTimeLimit, text);
}

std::string checkCount(const std::string& text) {
    int count = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
    if (error != std::errc() || end != text.data() + text.size() || count < 1 || count > kMaxJobs) {
        return fmt::format("expected a whole number from 1 to {}, got \"{}\"", kMaxJobs, text);
    }
    return "";
}

std::string checkFileOutput(const std::string& text) {
    return text == kStandardStream ? std::string("a file is needed here, not standard output (-)") : "";
}

std::string checkStateWriting(const std::string& text) {
    return text == kStateChanges || text == kStateEvery
               ? ""
               : fmt::format("expected {} or {}, got \"{}\"", kStateChanges, kStateEvery, text);
}

void addCheck(CLI::Option& option, ValueKind kind) {
    switch (kind) {
        case ValueKind::Seconds:
            option.check(CLI::Validator(checkSeconds, "SECONDS"));
            break;
        case ValueKind::TimeLimit:
            option.check(CLI::Validator(checkTimeLimit, "SECONDS|none"));
            break;
        case ValueKind::Count:
            option.check(CLI::Validator(checkCount, "N"));
            break;
        case ValueKind::FileOutput:
            option.check(CLI::Validator(checkFileOutput, "FILE"));
            break;
        case ValueKind::StateWriting:
            option.check(CLI::Validator(checkStateWriting, "changes|every"));
            break;
        default:
            break;
    }
}

void addOption(CLI::App& command, SharedValues& values, const Entry& entry) {
    const SharedOptionRow& row = entry.row;
    std::visit(
        [&](auto field) {
            using Value = std::decay_t<decltype(values.*field)>;
            if constexpr (std::is_same_v<Value, bool>) {
                command.add_flag(row.name, values.*field, row.help);
            } else {
                addCheck(*command.add_option(row.name, values.*field, row.help), row.kind);
            }
        },
        entry.field);
}

// The value as the command line gives it; nothing when it is the default.
std::optional<std::string> argumentOf(const SharedValues& values, const Field& field) {
    static const SharedValues kDefaults;
    return std::visit(
        [&](auto member) -> std::optional<std::string> {
            const auto& value = values.*member;
            using Value = std::decay_t<decltype(value)>;
            if (value == kDefaults.*member) {
                return std::nullopt;
            }
            if constexpr (std::is_same_v<Value, bool>) {
                return std::string();
            } else if constexpr (std::is_same_v<Value, std::string>) {
                return value;
            } else if constexpr (std::is_same_v<Value, std::optional<uint64_t>>) {
                return std::to_string(*value);
            } else {
                return fmt::format("{}", value);  // the shortest text that reads back as the same number
            }
        },
        field);
}

}  // namespace

const std::vector<SharedOptionRow>& sharedOptionRows() {
    static const std::vector<SharedOptionRow> kSpecs = [] {
        std::vector<SharedOptionRow> rows;
        for (const Entry& entry : entries()) {
            rows.push_back(entry.row);
        }
        return rows;
    }();
    return kSpecs;
}

const SharedOptionRow& rowOf(SharedOption id) {
    return entryOf(id).row;
}

void addSharedOptions(CLI::App& command, SharedValues& values, std::initializer_list<SharedOption> options) {
    for (SharedOption id : options) {
        addOption(command, values, entryOf(id));
    }
}

std::vector<std::string> optionArguments(const SharedValues& values) {
    std::vector<std::string> arguments;
    for (const Entry& entry : entries()) {
        const std::optional<std::string> value = argumentOf(values, entry.field);
        if (!value) {
            continue;
        }
        const bool input = entry.row.kind == ValueKind::InputFile || entry.row.kind == ValueKind::Trace;
        if (input && *value == kStandardStream) {
            throw InputError(
                fmt::format("{} -: a run of its own cannot read standard input; give a file", entry.row.name));
        }
        // One argument "--name=value", so that a value starting with "-" is not taken for an option.
        const bool flag = std::holds_alternative<bool SharedValues::*>(entry.field);
        arguments.push_back(flag ? std::string(entry.row.name) : fmt::format("{}={}", entry.row.name, *value));
    }
    return arguments;
}

SharedValues inheritedValues(const SharedValues& parent) {
    SharedValues child;
    for (const Entry& entry : entries()) {
        if (entry.row.inherited) {
            std::visit([&](auto member) { child.*member = parent.*member; }, entry.field);
        }
    }
    return child;
}

bool sameValues(const SharedValues& a, const SharedValues& b) {
    for (const Entry& entry : entries()) {
        if (!std::visit([&](auto member) { return a.*member == b.*member; }, entry.field)) {
            return false;
        }
    }
    return true;
}

StateWriting jsonStateWriting(const SharedValues& values) {
    return values.state == kStateEvery ? StateWriting::Every : StateWriting::Changes;
}

double timeLimitSeconds(const SharedValues& values, double defaultS) {
    if (values.timeout == kNoTimeLimit) {
        return 0;
    }
    return values.timeout.empty() ? defaultS : readNumber(values.timeout).value_or(defaultS);
}

}  // namespace ktr
