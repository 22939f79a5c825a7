// One child process with stdin from /dev/null and its stdout and stderr on non-blocking pipes: started,
// read, killed and reaped. ChildPool runs many to the end; ChildStream reads one's output as it comes.
#ifndef KTRSDK_TOOLS_COMMON_CHILDPROCESS_H
#define KTRSDK_TOOLS_COMMON_CHILDPROCESS_H

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace ktr {

struct ChildResult;

// The last bytes of a child's stderr that a failure quotes.
constexpr size_t kChildErrTailBytes = 4096;
// What a shell reports for a command it cannot start.
constexpr int kCannotStartStatus = 127;

// Owns one end of a pipe.
class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : m_fd(fd) {}
    Descriptor(Descriptor&& other) noexcept;
    Descriptor& operator=(Descriptor&& other) noexcept;
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() { close(); }

    int get() const { return m_fd; }
    bool open() const { return m_fd >= 0; }
    void close();

private:
    int m_fd = -1;
};

class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    // Kills and reaps a child still running.
    ~ChildProcess();

    // Starts argv (argv[0] is the program's path). Returns 0, or the error number when the program cannot
    // be started; throws std::system_error when no pipe can be made.
    int start(const std::vector<std::string>& argv);

    bool running() const { return m_pid > 0; }
    Descriptor& out() { return m_out; }
    Descriptor& err() { return m_err; }
    const Descriptor& out() const { return m_out; }
    bool outputClosed() const { return !m_out.open() && !m_err.open(); }

    // Reads what waits on one of the child's ends and hands it to take; closes the end at its end of file.
    static void drain(Descriptor& end, const std::function<void(const char*, size_t)>& take);
    // Waits for the child's end (or only looks, with WNOHANG) and records how it ended in result; false while
    // it still runs.
    bool reap(int options, ChildResult& result);
    void kill();

private:
    pid_t m_pid = -1;
    Descriptor m_out;
    Descriptor m_err;
};

using ChildClock = std::chrono::steady_clock;

// When a run that starts now and may take timeLimitMicros must end; none when timeLimitMicros <= 0.
std::optional<ChildClock::time_point> childDeadline(int64_t timeLimitMicros);
// What poll() takes for a wait: milliseconds rounded up (so that a wait does not end just before the
// deadline it waits for), at most a minute (a longer wait is done in several).
int pollWaitMs(ChildClock::duration wait);

// Appends data to tail and keeps its last kChildErrTailBytes.
void keepTail(std::string& tail, const char* data, size_t size);

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_CHILDPROCESS_H
