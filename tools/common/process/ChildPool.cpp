#include "ChildPool.h"

#include "ChildProcess.h"
#include "Units.h"
#include "VisibleText.h"

#include <fmt/format.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <optional>
#include <system_error>
#include <utility>

namespace ktr {
namespace {

using Clock = ChildClock;

// How often to look for the exit of a child that has closed its output but not yet exited.
constexpr int kReapIntervalMs = 10;

// The end of a child's stderr from the first whole line on, without the final line break.
std::string wholeLines(const std::string& tail) {
    size_t start = 0;
    if (tail.size() >= kChildErrTailBytes) {
        const size_t lineBreak = tail.find('\n');
        start = lineBreak == std::string::npos ? 0 : lineBreak + 1;
    }
    std::string lines = tail.substr(start);
    lines.erase(lines.find_last_not_of('\n') + 1);
    return lines;
}

[[noreturn]] void throwSystemError(const std::string& what) {
    throw std::system_error(errno, std::generic_category(), what);
}

struct RunningChild {
    size_t index = 0;
    ChildProcess process;
    std::optional<Clock::time_point> deadline;
    ChildResult result;
};

class ChildPool {
public:
    ChildPool(const std::vector<ChildRun>& runs, int workers, Micros timeLimit, const ChildEnded& ended)
        : m_runs(runs), m_workers(workerCount(workers, runs.size())), m_timeLimit(timeLimit), m_ended(ended) {
        m_results.resize(runs.size());
        // Keeps start() from throwing between spawning a child and recording it.
        m_running.reserve(m_workers);
    }
    ChildPool(const ChildPool&) = delete;
    ChildPool& operator=(const ChildPool&) = delete;
    ~ChildPool() {
        for (RunningChild& child : m_running) {
            killAndReap(child);
        }
    }

    std::vector<ChildResult> run() {
        while (true) {
            startWhileRoom();
            if (m_running.empty()) {
                break;
            }
            waitForOutput();
            finishEnded();
        }
        return std::move(m_results);
    }

private:
    static size_t workerCount(int requested, size_t runCount) {
        const long cores = sysconf(_SC_NPROCESSORS_ONLN);
        const size_t wanted = static_cast<size_t>(requested > 0 ? requested : std::max(cores, 1L));
        return std::max<size_t>(1, std::min(wanted, runCount));
    }

    void startWhileRoom() {
        while (m_running.size() < m_workers && m_next < m_runs.size()) {
            start(m_next++);
        }
    }

    void start(size_t index) {
        const ChildRun& run = m_runs[index];
        RunningChild child;
        child.index = index;
        child.result.label = run.label;
        if (run.argv.empty()) {
            reportCannotStart(child, "", "no program given");
            return;
        }
        const int error = child.process.start(run.argv);
        if (error != 0) {
            reportCannotStart(child, run.argv[0], std::strerror(error));
            return;
        }
        child.deadline = childDeadline(m_timeLimit);
        m_running.push_back(std::move(child));
    }

    void reportCannotStart(RunningChild& child, const std::string& program, const std::string& reason) {
        child.result.exitStatus = kCannotStartStatus;
        child.result.errTail = fmt::format("cannot start {}: {}", program, reason);
        finish(child);
    }

    // Reads whatever the children wrote until one of them ends its output, a deadline passes or (while
    // a child has closed its output but not yet exited) the next look at its exit is due.
    void waitForOutput() {
        std::vector<pollfd> fds;
        std::vector<std::pair<RunningChild*, Descriptor*>> owners;
        for (RunningChild& child : m_running) {
            for (Descriptor* end : {&child.process.out(), &child.process.err()}) {
                if (end->open()) {
                    fds.push_back(pollfd{end->get(), POLLIN, 0});
                    owners.emplace_back(&child, end);
                }
            }
        }
        if (poll(fds.data(), fds.size(), pollTimeoutMs()) < 0) {
            if (errno == EINTR) {
                return;
            }
            throwSystemError("cannot wait for the children's output");
        }
        for (size_t i = 0; i < fds.size(); ++i) {
            if (fds[i].revents != 0) {
                drain(*owners[i].first, *owners[i].second);
            }
        }
    }

    int pollTimeoutMs() const {
        std::optional<Clock::duration> wait;
        const Clock::time_point now = Clock::now();
        for (const RunningChild& child : m_running) {
            if (child.process.outputClosed()) {
                return kReapIntervalMs;
            }
            if (child.deadline) {
                const Clock::duration left = std::max(*child.deadline - now, Clock::duration::zero());
                wait = wait ? std::min(*wait, left) : left;
            }
        }
        if (!wait) {
            return -1;
        }
        return pollWaitMs(*wait);
    }

    void drain(RunningChild& child, Descriptor& end) {
        ChildProcess::drain(end, [&](const char* data, size_t size) {
            if (&end == &child.process.err()) {
                keepTail(child.result.errTail, data, size);
            } else {
                keepOutput(child, data, size);
            }
        });
    }

    void keepOutput(RunningChild& child, const char* data, size_t size) {
        if (child.result.outTooLarge) {
            return;
        }
        if (child.result.out.size() + size > kMaxChildOutBytes) {
            child.result.outTooLarge = true;
            child.process.kill();
            return;
        }
        child.result.out.append(data, size);
    }

    void finishEnded() {
        const Clock::time_point now = Clock::now();
        for (size_t i = 0; i < m_running.size();) {
            RunningChild& child = m_running[i];
            const bool exited = child.process.outputClosed() && child.process.reap(WNOHANG, child.result);
            if (!exited && child.deadline && now >= *child.deadline) {
                child.result.timedOut = true;
                child.result.timeLimitMicros = m_timeLimit;
                killAndReap(child);
            } else if (!exited) {
                ++i;
                continue;
            }
            RunningChild ended = std::move(child);
            m_running.erase(m_running.begin() + static_cast<std::ptrdiff_t>(i));
            finish(ended);
        }
    }

    void finish(RunningChild& child) {
        m_results[child.index] = std::move(child.result);
        if (m_ended) {
            m_ended(child.index, m_results[child.index]);
        }
    }

    // Whatever the child wrote before it died is kept: its stderr tail says most about a hang.
    void killAndReap(RunningChild& child) {
        if (child.process.running()) {
            child.process.kill();
            child.process.reap(0, child.result);
        }
        for (Descriptor* end : {&child.process.out(), &child.process.err()}) {
            if (end->open()) {
                drain(child, *end);
                end->close();
            }
        }
    }

    const std::vector<ChildRun>& m_runs;
    const size_t m_workers;
    const Micros m_timeLimit;
    std::vector<ChildResult> m_results;
    const ChildEnded& m_ended;
    std::vector<RunningChild> m_running;
    size_t m_next = 0;
};

}  // namespace

bool ChildResult::succeeded() const {
    return exitStatus == 0 && signal == 0 && !timedOut && !outTooLarge && !cancelled;
}

std::string ChildResult::failure() const {
    if (cancelled) {
        return "cancelled: its output was of no further use";
    }
    if (timedOut) {
        return fmt::format("timed out after {} s", static_cast<double>(timeLimitMicros) / kMicrosPerSecond);
    }
    if (outTooLarge) {
        return fmt::format("wrote more than {} MiB on stdout", kMaxChildOutBytes >> 20);
    }
    if (signal != 0) {
        return fmt::format("killed by signal {} ({})", signal, strsignal(signal));
    }
    if (exitStatus != 0) {
        return fmt::format("exit status {}", exitStatus);
    }
    return "";
}

std::vector<ChildResult> runChildren(const std::vector<ChildRun>& runs, int workers, int64_t timeLimitMicros,
                                     const ChildEnded& ended) {
    ChildPool pool(runs, workers, timeLimitMicros, ended);
    return pool.run();
}

std::string stderrEnd(const ChildResult& result) {
    return wholeLines(result.errTail);
}

std::string runProblem(const std::string& label, const std::string& problem, const std::string& stderrEnd) {
    return visibleText(fmt::format("run \"{}\": {}{}", label, problem,
                                   stderrEnd.empty() ? "" : "; the end of its stderr:\n" + stderrEnd));
}

std::string runProblem(const ChildResult& result, const std::string& problem) {
    return runProblem(result.label, problem, stderrEnd(result));
}

}  // namespace ktr
