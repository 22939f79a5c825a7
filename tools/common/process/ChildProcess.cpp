#include "ChildProcess.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <system_error>
#include <utility>

#include "ChildPool.h"
#include "Units.h"

extern char** environ;

namespace ktr {
namespace {

constexpr size_t kReadChunkBytes = 64u << 10;
// Bounds the arithmetic on deadlines; no run is meant to take longer.
constexpr int64_t kLongestTimeLimitMicros = int64_t{30} * 24 * 3600 * kMicrosPerSecond;
constexpr ChildClock::duration kLongestPollWait = std::chrono::minutes(1);

[[noreturn]] void throwSystemError(const std::string& what) {
    throw std::system_error(errno, std::generic_category(), what);
}

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

void recordStatus(ChildResult& result, int status) {
    if (WIFEXITED(status)) {
        result.exitStatus = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
}

}  // namespace

Descriptor::Descriptor(Descriptor&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}

Descriptor& Descriptor::operator=(Descriptor&& other) noexcept {
    std::swap(m_fd, other.m_fd);
    return *this;
}

void Descriptor::close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : m_pid(std::exchange(other.m_pid, -1)), m_out(std::move(other.m_out)), m_err(std::move(other.m_err)) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    std::swap(m_pid, other.m_pid);
    std::swap(m_out, other.m_out);
    std::swap(m_err, other.m_err);
    return *this;
}

ChildProcess::~ChildProcess() {
    if (running()) {
        kill();
        ChildResult ignored;
        reap(0, ignored);
    }
}

int ChildProcess::start(const std::vector<std::string>& argv) {
    Pipe out = makePipe();
    Pipe err = makePipe();
    std::vector<std::string> args = argv;
    std::vector<char*> pointers;
    pointers.reserve(args.size() + 1);
    for (std::string& arg : args) {
        pointers.push_back(arg.data());
    }
    pointers.push_back(nullptr);
    const SpawnActions actions(out.write.get(), err.write.get());
    const int error = posix_spawn(&m_pid, pointers[0], actions.get(), nullptr, pointers.data(), environ);
    if (error != 0) {
        m_pid = -1;
        return error;
    }
    m_out = std::move(out.read);
    m_err = std::move(err.read);
    return 0;
}

void ChildProcess::drain(Descriptor& end, const std::function<void(const char*, size_t)>& take) {
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
        take(chunk, static_cast<size_t>(count));
    }
}

bool ChildProcess::reap(int options, ChildResult& result) {
    int status = 0;
    pid_t got = -1;
    do {
        got = waitpid(m_pid, &status, options);
    } while (got < 0 && errno == EINTR);
    if (got == 0) {
        return false;
    }
    // got < 0 means the child is gone without a status to report (someone else reaped it).
    if (got == m_pid) {
        recordStatus(result, status);
    }
    m_pid = -1;
    return true;
}

// Not const: it ends the child this object stands for.
void ChildProcess::kill() {  // NOLINT(readability-make-member-function-const)
    // Once reaped, pid is -1, and kill(-1) would signal every process we may signal.
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
    }
}

std::optional<ChildClock::time_point> childDeadline(int64_t timeLimitMicros) {
    if (timeLimitMicros <= 0) {
        return std::nullopt;
    }
    return ChildClock::now() + std::chrono::microseconds(std::min(timeLimitMicros, kLongestTimeLimitMicros));
}

int pollWaitMs(ChildClock::duration wait) {
    wait = std::clamp(wait, ChildClock::duration::zero(), kLongestPollWait);
    return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(wait).count());
}

void keepTail(std::string& tail, const char* data, size_t size) {
    tail.append(data, size);
    if (tail.size() > kChildErrTailBytes) {
        tail.erase(0, tail.size() - kChildErrTailBytes);
    }
}

}  // namespace ktr
