// Runs commands in child processes, a few at a time, each with a time limit, and collects what they print.
// A sweep and a diff run every simulation or replay in a process of its own: the library draws from an
// unseeded rand(), so only a fresh process makes a run repeatable.
#ifndef KTRSDK_TOOLS_COMMON_CHILDPOOL_H
#define KTRSDK_TOOLS_COMMON_CHILDPOOL_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ChildProcess.h"

namespace ktr {

struct ChildRun {
    std::string label;
    std::vector<std::string> argv;  // argv[0] is the program path
};

struct ChildResult {
    std::string label;
    int exitStatus = -1;  // the child's exit status; -1 when it did not exit by itself
    int signal = 0;       // the signal that ended it, 0 when none did
    bool timedOut = false;
    int64_t timeLimitMicros = 0;  // the limit it ran under (0: none)
    std::string out;              // everything it wrote on stdout (up to kMaxChildOutBytes)
    std::string errTail;          // the last kChildErrTailBytes of its stderr
    bool outTooLarge = false;     // stdout passed kMaxChildOutBytes: the child was killed
    bool cancelled = false;       // killed by the parent, which had no more use for its output

    bool succeeded() const;
    // Why the run failed, e.g. "exit status 2", "killed by signal 11 (Segmentation fault)" or "timed out
    // after 60 s"; empty when it succeeded.
    std::string failure() const;
};

// The children print summaries, far below this even for the largest conference; a child that writes more
// is not printing a summary, and is stopped before it fills the parent's memory (times the workers).
constexpr size_t kMaxChildOutBytes = 8u << 20;

// Called as each run ends, with its place in `runs`, before the next one starts.
using ChildEnded = std::function<void(size_t index, const ChildResult& result)>;

// Runs every run, at most `workers` at once (the number of cores when workers <= 0), each for at most
// timeLimit (none when timeLimit <= 0), with stdin from /dev/null. Returns the results in the order of
// `runs`. A program that cannot be started is reported as exit status 127 with the reason in errTail.
// A run that fails does not stop the others. Every child is reaped before it returns, also when it throws
// (the callback included).
std::vector<ChildResult> runChildren(const std::vector<ChildRun>& runs, int workers, int64_t timeLimitMicros,
                                     const ChildEnded& ended = {});

// The end of the run's stderr, from its first whole line on.
std::string stderrEnd(const ChildResult& result);
// "run \"LABEL\": PROBLEM" and, on the lines that follow, the end of its stderr.
std::string runProblem(const std::string& label, const std::string& problem, const std::string& stderrEnd);
std::string runProblem(const ChildResult& result, const std::string& problem);

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_CHILDPOOL_H
