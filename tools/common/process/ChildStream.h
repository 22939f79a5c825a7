// A child process whose stdout is read as lines while it runs, with the end of its stderr kept and a time
// limit: `ktr diff` reads both sides' timelines this way and compares them as they arrive. Its stdout is
// read only while no whole line waits unread, so a child that writes faster than it is read waits on its
// pipe and memory holds about one line, whatever the length of its output.
#ifndef KTRSDK_TOOLS_COMMON_CHILDSTREAM_H
#define KTRSDK_TOOLS_COMMON_CHILDSTREAM_H

#include <poll.h>

#include <cstdint>
#include <istream>
#include <optional>
#include <streambuf>
#include <string>
#include <vector>

#include "ChildPool.h"
#include "ChildProcess.h"

namespace ktr {

class ChildStream {
public:
    // Starts the run; a program that cannot be started ends at once with exit status 127.
    ChildStream(const ChildRun& run, int64_t timeLimitMicros);
    ChildStream(const ChildStream&) = delete;
    ChildStream& operator=(const ChildStream&) = delete;

    // The lines received. Read from it only while lineWaiting() or outputEnded(): past the lines received it
    // reads as an end of file.
    std::istream& lines() { return m_lines; }
    // Whether a whole line waits unread.
    bool lineWaiting() const { return m_buffer.lineWaiting(); }
    // Whether the child's stdout has ended (then what is left unread is its last line).
    bool outputEnded() const { return !m_process.out().open(); }
    // Whether the child has ended and been reaped; result() then says how.
    bool exited() const { return !m_process.running(); }
    const ChildResult& result() const { return m_result; }
    // Whether it ended by itself other than with exit status 0.
    bool failed() const { return exited() && !m_result.succeeded() && !m_result.cancelled; }
    // Kills the child, because its output is of no more use.
    void cancel();

    // Waits until one of the streams receives output, ends or passes its deadline (a child past it is
    // killed), and reaps the children whose output has ended.
    static void waitForAny(const std::vector<ChildStream*>& streams);

private:
    // The bytes received, of which the reader sees the whole lines (all of them once the output ended).
    class LineBuffer : public std::streambuf {
    public:
        void append(const char* data, size_t size);
        void close();
        bool lineWaiting() const { return gptr() < egptr(); }

    protected:
        int_type underflow() override;

    private:
        void expose(size_t visible);

        std::string m_data;
    };

    void addPollEnds(std::vector<pollfd>& fds, std::vector<Descriptor*>& ends);
    std::optional<ChildClock::duration> waitLeft(ChildClock::time_point now) const;
    void read(Descriptor& end);
    void update(ChildClock::time_point now);
    void stop();

    ChildProcess m_process;
    ChildResult m_result;
    std::optional<ChildClock::time_point> m_deadline;
    int64_t m_timeLimitMicros = 0;
    LineBuffer m_buffer;
    std::istream m_lines{&m_buffer};
};

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_CHILDSTREAM_H
