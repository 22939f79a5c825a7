// The options that subcommands share or hand to the runs they start, declared once: each option's name,
// help, kind of value (which says how it is checked and whether "-" stands for standard input or output),
// and whether a child run inherits it. Subcommands add the ones they take; the commands that start
// children (`diff`, sweeps) build their command lines from the same table, so that a child parses exactly
// the values its parent holds.
#ifndef KTRSDK_TOOLS_COMMON_CLI_SHAREDOPTIONS_H
#define KTRSDK_TOOLS_COMMON_CLI_SHAREDOPTIONS_H

#include <CLI/CLI.hpp>

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "Timeline.h"

namespace ktr {

enum class SharedOption {
    Library,
    Settings,
    Json,
    Csv,
    LogFile,
    Html,
    Summary,
    Plot,
    Redact,
    Explain,
    Log,
    State,
    Jobs,
    Timeout,
    Duration,
    Traces,
    // `ktr sim`'s own, given to every run of a sweep and of `diff --sim`.
    SummaryOnly,
    Downlink,
    Uplink,
    Estimates,
    Seed,
};

// The name that stands for standard input in a file input and for standard output in a file output that
// can stream.
constexpr const char* kStandardStream = "-";
// The --timeout that turns the time limit off.
constexpr const char* kNoTimeLimit = "none";

// The values of the shared options; an option not given keeps the value below.
struct SharedValues {
    std::string library;   // empty: the build beside ktr
    std::string settings;  // empty: none installed
    std::string json;
    std::string csv;
    std::string logFile;
    std::string html;
    std::string summary;
    std::string plot;
    bool redact = false;
    bool explain = false;
    bool log = false;
    std::string state = "changes";
    int jobs = 0;          // 0: one per core
    std::string timeout;   // empty: the command's default; kNoTimeLimit: none
    double durationS = 0;  // 0: the whole meeting
    std::string traces;
    bool summaryOnly = false;
    std::string downlink;
    std::string uplink;
    std::string estimates;
    std::optional<uint64_t> seed;
};

// What kind of value an option takes: it says how the value is checked and what "-" means.
enum class ValueKind {
    Flag,
    InputFile,     // "-": standard input
    StreamOutput,  // "-": standard output
    FileOutput,    // a file only (a PNG)
    Folder,
    Trace,         // a trace file ("-": standard input) or a synthetic shape, checked where it is read
    Seconds,       // a positive number of seconds
    Count,         // a positive number of runs
    TimeLimit,     // Seconds, or kNoTimeLimit
    StateWriting,  // "changes" or "every"
    Seed,          // an unsigned 64-bit number
};

struct SharedOptionRow {
    SharedOption id;
    const char* name;  // "--lib"
    const char* help;
    ValueKind kind;
    bool inherited;  // a child run gets the parent's value
};

// Every entry, in the order of SharedOption.
const std::vector<SharedOptionRow>& sharedOptionRows();
const SharedOptionRow& rowOf(SharedOption id);

// Adds the options to the command, each bound to its field of values.
void addSharedOptions(CLI::App& command, SharedValues& values, std::initializer_list<SharedOption> options);

// The command-line arguments that give every value that differs from the default, in the table's order
// ("--lib=x.so", "--redact", ...). Throws InputError for an input given as "-": a child reads its input
// from a file.
std::vector<std::string> optionArguments(const SharedValues& values);
// The values a child run inherits from its parent; the others keep their defaults.
SharedValues inheritedValues(const SharedValues& parent);
// Whether the two hold the same value for every option of the table.
bool sameValues(const SharedValues& a, const SharedValues& b);

// How --json writes the state, as --state says.
StateWriting jsonStateWriting(const SharedValues& values);
// The time limit in seconds that --timeout gives: defaultS when it was not given, 0 for none.
double timeLimitSeconds(const SharedValues& values, double defaultS);

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_CLI_SHAREDOPTIONS_H
