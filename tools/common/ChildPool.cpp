#include "ChildPool.h"

#include "InputFile.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <poll.h>
#include <spawn.h>
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

extern char** environ;

namespace ktr {
namespace {

using Clock = std::chrono::steady_clock;

// What a shell reports for a command it cannot start.
constexpr int kCannotStartStatus = 127;
// How often to look for the exit of a child that has closed its output but not yet exited.
constexpr int kReapIntervalMs = 10;
constexpr size_t kReadChunkBytes = 64u << 10;
// Bounds the arithmetic on deadlines; no run is meant to take longer.
using Micros = int64_t;
constexpr Micros kMicrosPerSecond = 1000000;
constexpr Micros kLongestTimeLimit = Micros{30} * 24 * 3600 * kMicrosPerSecond;
// poll() takes an int of milliseconds; a longer wait is done in several.
constexpr Clock::duration kLongestPollWait = std::chrono::minutes(1);

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

// Owns one end of a pipe.
class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : m_fd(fd) {}
    Descriptor(Descriptor&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        std::swap(m_fd, other.m_fd);
        return *this;
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() { close(); }

    int get() const { return m_fd; }
    bool open() const { return m_fd >= 0; }
    void close() {
        if (m_fd >= 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }

private:
    int m_fd = -1;
};

struct Pipe {
    Descriptor read;
    Descriptor write;
};

// Both ends close on exec, so no child inherits another child's pipe and delays its end of file.
Pipe makePipe() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        throwSystemError("cannot create a pipe");
    }
    Pipe pipe{Descriptor(fds[0]), Descriptor(fds[1])};
    if (fcntl(pipe.read.get(), F_SETFL, O_NONBLOCK) != 0) {
        throwSystemError("cannot make a pipe non-blocking");
    }
    return pipe;
}

// The file actions of a child: stdin from /dev/null, stdout and stderr into the pipes.
class SpawnActions {
public:
    SpawnActions(int outFd, int errFd) {
        posix_spawn_file_actions_init(&m_actions);
        posix_spawn_file_actions_addopen(&m_actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&m_actions, outFd, STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&m_actions, errFd, STDERR_FILENO);
    }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    ~SpawnActions() { posix_spawn_file_actions_destroy(&m_actions); }
    const posix_spawn_file_actions_t* get() const { return &m_actions; }

private:
    posix_spawn_file_actions_t m_actions{};
};

struct RunningChild {
    size_t index = 0;
    pid_t pid = -1;
    Descriptor out;
    Descriptor err;
    std::optional<Clock::time_point> deadline;
    ChildResult result;

    bool outputClosed() const { return !out.open() && !err.open(); }
};

void recordStatus(ChildResult& result, int status) {
    if (WIFEXITED(status)) {
        result.exitStatus = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
}

// Waits for the child's end (or only looks, with WNOHANG); false while it still runs.
bool reap(RunningChild& child, int options) {
    int status = 0;
    pid_t got = -1;
    do {
        got = waitpid(child.pid, &status, options);
    } while (got < 0 && errno == EINTR);
    if (got == 0) {
        return false;
    }
    // got < 0 means the child is gone without a status to report (someone else reaped it).
    if (got == child.pid) {
        recordStatus(child.result, status);
    }
    child.pid = -1;
    return true;
}

void keepTail(std::string& tail, const char* data, size_t size) {
    tail.append(data, size);
    if (tail.size() > kChildErrTailBytes) {
        tail.erase(0, tail.size() - kChildErrTailBytes);
    }
}

class ChildPool {
public:
    ChildPool(const std::vector<ChildRun>& runs, int workers, Micros timeLimit)
        : m_runs(runs), m_workers(workerCount(workers, runs.size())), m_timeLimit(timeLimit) {
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
        markNeverStarted();
        return std::move(m_results);
    }

private:
    static size_t workerCount(int requested, size_t runCount) {
        const long cores = sysconf(_SC_NPROCESSORS_ONLN);
        const size_t wanted = static_cast<size_t>(requested > 0 ? requested : std::max(cores, 1L));
        return std::max<size_t>(1, std::min(wanted, runCount));
    }

    void startWhileRoom() {
        while (!m_failed && m_running.size() < m_workers && m_next < m_runs.size()) {
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
        Pipe out = makePipe();
        Pipe err = makePipe();
        std::vector<std::string> args = run.argv;
        std::vector<char*> argv;
        argv.reserve(args.size());
        for (std::string& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        const SpawnActions actions(out.write.get(), err.write.get());
        const int error = posix_spawn(&child.pid, argv[0], actions.get(), nullptr, argv.data(), environ);
        if (error != 0) {
            reportCannotStart(child, run.argv[0], std::strerror(error));
            return;
        }
        child.out = std::move(out.read);
        child.err = std::move(err.read);
        if (m_timeLimit > 0) {
            child.deadline = Clock::now() + std::chrono::microseconds(std::min(m_timeLimit, kLongestTimeLimit));
        }
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
            for (Descriptor* end : {&child.out, &child.err}) {
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
            if (child.outputClosed()) {
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
        wait = std::min(*wait, kLongestPollWait);
        // Rounded up, so that a wait does not end just before the deadline it waits for.
        return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(*wait).count());
    }

    void drain(RunningChild& child, Descriptor& end) {
        char chunk[kReadChunkBytes];
        while (end.open()) {
            const ssize_t count = read(end.get(), chunk, sizeof chunk);
            if (count < 0 && errno == EINTR) {
                continue;
            }
            if (count < 0 && errno == EAGAIN) {
                return;
            }
            if (count <= 0) {
                end.close();
                return;
            }
            if (&end == &child.err) {
                keepTail(child.result.errTail, chunk, static_cast<size_t>(count));
            } else {
                keepOutput(child, chunk, static_cast<size_t>(count));
            }
        }
    }

    void keepOutput(RunningChild& child, const char* data, size_t size) {
        if (child.result.outTooLarge) {
            return;
        }
        if (child.result.out.size() + size > kMaxChildOutBytes) {
            child.result.outTooLarge = true;
            // Once reaped, pid is -1, and kill(-1) would signal every process we may signal.
            if (child.pid > 0) {
                kill(child.pid, SIGKILL);
            }
            return;
        }
        child.result.out.append(data, size);
    }

    void finishEnded() {
        const Clock::time_point now = Clock::now();
        for (size_t i = 0; i < m_running.size();) {
            RunningChild& child = m_running[i];
            const bool exited = child.outputClosed() && reap(child, WNOHANG);
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
        const bool failed = !child.result.succeeded();
        m_results[child.index] = std::move(child.result);
        if (failed && !m_failed) {
            m_failed = true;
            cancelRunning();
        }
    }

    void cancelRunning() {
        for (RunningChild& child : m_running) {
            child.result.cancelled = true;
            killAndReap(child);
            m_results[child.index] = std::move(child.result);
        }
        m_running.clear();
    }

    void markNeverStarted() {
        for (size_t index = m_next; index < m_runs.size(); ++index) {
            m_results[index].label = m_runs[index].label;
            m_results[index].cancelled = true;
        }
    }

    // Whatever the child wrote before it died is kept: its stderr tail says most about a hang.
    void killAndReap(RunningChild& child) {
        if (child.pid > 0) {
            kill(child.pid, SIGKILL);
            reap(child, 0);
        }
        for (Descriptor* end : {&child.out, &child.err}) {
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
    std::vector<RunningChild> m_running;
    size_t m_next = 0;
    bool m_failed = false;
};

}  // namespace

bool ChildResult::succeeded() const {
    return exitStatus == 0 && signal == 0 && !timedOut && !outTooLarge && !cancelled;
}

std::string ChildResult::failure() const {
    if (cancelled) {
        return "cancelled: another run failed first";
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

std::vector<ChildResult> runChildren(const std::vector<ChildRun>& runs, int workers, int64_t timeLimitMicros) {
    ChildPool pool(runs, workers, timeLimitMicros);
    return pool.run();
}

void refuseRun(const ChildResult& result, const std::string& problem) {
    const std::string stderrEnd = wholeLines(result.errTail);
    throw InputError(fmt::format("run \"{}\": {}{}", result.label, problem,
                                 stderrEnd.empty() ? "" : "; the end of its stderr:\n" + stderrEnd));
}

void refuseFailedRuns(const std::vector<ChildResult>& results) {
    const ChildResult* cancelled = nullptr;
    for (const ChildResult& result : results) {
        if (!result.succeeded() && !result.cancelled) {
            refuseRun(result, result.failure());
        }
        if (result.cancelled && cancelled == nullptr) {
            cancelled = &result;
        }
    }
    if (cancelled != nullptr) {
        refuseRun(*cancelled, cancelled->failure());
    }
}

}  // namespace ktr
