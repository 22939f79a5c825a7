// The timeline: what every ktr subcommand builds and every writer reads. One TimelineStep per input event
// or question: the action, the library's answer, the lines it logged (each matched to the log catalogue,
// with its field values), notes on answers that read as wrong, and what the step changed of the state.
#ifndef KTRSDK_TOOLS_COMMON_MODEL_TIMELINE_H
#define KTRSDK_TOOLS_COMMON_MODEL_TIMELINE_H

#include <cstdint>
#include <string>
#include <vector>

#include "Actions.h"
#include "Answers.h"
#include "LogCatalogue.h"
#include "State.h"

namespace ktr {

// Which of the logger's three functions wrote a line: "info", "warning" or "error".
const char* levelName(LogLevel level);

// What a line that no entry of the catalogue matches stands for.
constexpr const char* kUnknownLineExplanation =
    "a line that no known format matches: the loaded build may be another version";

// One line the library wrote during the step.
struct FiredRule {
    ParsedLine line;  // its catalogue entry and values; format null for a line no entry matches
    LogLevel level = LogLevel::Info;
    std::string text;  // the line as written, without the level mark

    std::string explanation() const;
};

struct TimelineStep {
    int index = 0;
    Known<double> time = 0.0;  // seconds from the start; null when the source carries no time
    std::string event;         // the step's name as the input wrote it ("share" asks the upload question)
    Action action;
    Answer answer;
    std::vector<FiredRule> rules;
    std::vector<std::string> notes;       // answers that read as wrong, and why they are right here
    std::vector<std::string> noteKinds;   // the kind of each note in order ("" or missing: a note of no kind)
    std::vector<std::string> mismatches;  // where the library's output contradicts the derived state
    StateChange change;                   // what the step changed of the state
    // The whole state after the step, owned by whoever built the step; valid while it is being written.
    const StateSnapshot* state = nullptr;
};

// A file hashed into the provenance.
struct HashedFile {
    std::string path;
    std::string sha256;

    template <class Visit>
    static void fields(Visit& visit) {
        visit("path", &HashedFile::path);
        visit("sha256", &HashedFile::sha256);
    }
};

// What a timeline came from, so that two can be told apart or matched.
struct Provenance {
    std::string ktrVersion;
    HashedFile library;
    std::string librarySoname;
    Known<std::string> settingsSha256;  // null: no settings installed
    Known<uint64_t> seed;               // null: nothing drawn
    std::vector<HashedFile> traces;

    template <class Visit>
    static void fields(Visit& visit) {
        visit("ktr_version", &Provenance::ktrVersion);
        visit("library", &Provenance::library);
        visit("library_soname", &Provenance::librarySoname);
        visit("settings_sha256", &Provenance::settingsSha256);
        visit("seed", &Provenance::seed);
        visit("traces", &Provenance::traces);
    }
};

// How a timeline writes the state: only what each step changed (the whole state on the first step), or the
// whole state on every step.
enum class StateWriting { Changes, Every };

struct TimelineHeader {
    std::string command;  // "replay", "sim", "log"
    std::string source;   // the scenario's or meeting's name, the log's path
    Provenance provenance;
    StateWriting state = StateWriting::Changes;
    bool timed = true;  // false: the source carries no time, so steps count where seconds would
};

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_MODEL_TIMELINE_H
