// Runs commands in child processes, a few at a time, each with a time limit, and collects what they print.
// A sweep and a diff run every simulation or replay in a process of its own: the library draws from an
// unseeded rand(), so only a fresh process makes a run repeatable.
#ifndef KTRSDK_TOOLS_COMMON_CHILDPOOL_H
#define KTRSDK_TOOLS_COMMON_CHILDPOOL_H

#include <cstdint>
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
    bool cancelled = false;       // killed, or never started, because another run failed first

    bool succeeded() const;
    // Why the run failed, e.g. "exit status 2", "killed by signal 11 (Segmentation fault)" or "timed out
    // after 60 s"; empty when it succeeded.
    std::string failure() const;
};

// Far above any summary; stops a runaway child from filling the parent's memory.
constexpr size_t kMaxChildOutBytes = 64u << 20;

// Runs every run, at most `workers` at once (the number of cores when workers <= 0), each for at most
// timeLimit (none when timeLimit <= 0), with stdin from /dev/null. Returns the results in the order of
// `runs`. A program that cannot be started is reported as exit status 127 with the reason in errTail.
// Once a run fails, no further run starts and the running ones are killed: those and the ones never
// started are marked cancelled. Every child is reaped before it returns, also when it throws.
std::vector<ChildResult> runChildren(const std::vector<ChildRun>& runs, int workers, int64_t timeLimitMicros);

// Throws InputError naming the run, the problem and the end of its stderr.
[[noreturn]] void refuseRun(const ChildResult& result, const std::string& problem);
// Throws InputError for the first run that failed by itself (else the first cancelled one), as refuseRun
// words it; returns when every run succeeded.
void refuseFailedRuns(const std::vector<ChildResult>& results);

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_CHILDPOOL_H
