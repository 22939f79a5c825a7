#include "ChildStream.h"

#include <fmt/format.h>
#include <poll.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

namespace ktr {
namespace {

// How often to look for the exit of a child that has closed its output but not yet exited.
constexpr auto kReapInterval = std::chrono::milliseconds(10);

}  // namespace

void ChildStream::LineBuffer::append(const char* data, size_t size) {
    const size_t consumed = static_cast<size_t>(gptr() - eback());
    const size_t visible = static_cast<size_t>(egptr() - eback()) - consumed;
    m_data.erase(0, consumed);
    const size_t before = m_data.size();
    m_data.append(data, size);
    const void* lastBreak = memrchr(m_data.data() + before, '\n', size);
    expose(lastBreak == nullptr ? visible : static_cast<const char*>(lastBreak) - m_data.data() + 1);
}

void ChildStream::LineBuffer::close() {
    const size_t consumed = static_cast<size_t>(gptr() - eback());
    m_data.erase(0, consumed);
    expose(m_data.size());
}

void ChildStream::LineBuffer::expose(size_t visible) {
    char* data = m_data.data();
    setg(data, data, data + visible);
}

ChildStream::LineBuffer::int_type ChildStream::LineBuffer::underflow() {
    return gptr() < egptr() ? traits_type::to_int_type(*gptr()) : traits_type::eof();
}

ChildStream::ChildStream(const ChildRun& run, int64_t timeLimitMicros) : m_timeLimitMicros(timeLimitMicros) {
    m_result.label = run.label;
    const int error = run.argv.empty() ? ENOENT : m_process.start(run.argv);
    if (error != 0) {
        m_result.exitStatus = kCannotStartStatus;
        m_result.errTail =
            fmt::format("cannot start {}: {}", run.argv.empty() ? "" : run.argv[0], std::strerror(error));
        m_buffer.close();
        return;
    }
    m_deadline = childDeadline(timeLimitMicros);
}

void ChildStream::cancel() {
    if (m_process.running()) {
        m_result.cancelled = true;
        stop();
    }
}

// Whatever the child wrote on stderr before it was killed is kept: its end says most about a hang.
void ChildStream::stop() {
    m_process.kill();
    m_process.reap(0, m_result);
    read(m_process.err());
    m_process.err().close();
    m_process.out().close();
    m_buffer.close();
}

void ChildStream::addPollEnds(std::vector<pollfd>& fds, std::vector<Descriptor*>& ends) {
    if (m_process.err().open()) {
        fds.push_back(pollfd{m_process.err().get(), POLLIN, 0});
        ends.push_back(&m_process.err());
    }
    if (m_process.out().open() && !lineWaiting()) {
        fds.push_back(pollfd{m_process.out().get(), POLLIN, 0});
        ends.push_back(&m_process.out());
    }
}

std::optional<ChildClock::duration> ChildStream::waitLeft(ChildClock::time_point now) const {
    if (exited()) {
        return std::nullopt;
    }
    if (m_process.outputClosed()) {
        return kReapInterval;
    }
    if (m_deadline) {
        return std::max(*m_deadline - now, ChildClock::duration::zero());
    }
    return std::nullopt;
}

void ChildStream::read(Descriptor& end) {
    const bool isOut = &end == &m_process.out();
    ChildProcess::drain(end, [&](const char* data, size_t size) {
        if (isOut) {
            m_buffer.append(data, size);
        } else {
            keepTail(m_result.errTail, data, size);
        }
    });
    if (isOut && !end.open()) {
        m_buffer.close();
    }
}

void ChildStream::update(ChildClock::time_point now) {
    if (exited()) {
        return;
    }
    if (m_deadline && now >= *m_deadline && !m_result.cancelled) {
        m_result.timedOut = true;
        m_result.timeLimitMicros = m_timeLimitMicros;
        stop();
        return;
    }
    if (m_process.outputClosed()) {
        m_process.reap(WNOHANG, m_result);
    }
}

void ChildStream::waitForAny(const std::vector<ChildStream*>& streams) {
    std::vector<pollfd> fds;
    std::vector<Descriptor*> ends;
    std::vector<ChildStream*> owners;
    std::optional<ChildClock::duration> wait;
    const ChildClock::time_point now = ChildClock::now();
    for (ChildStream* stream : streams) {
        const size_t before = ends.size();
        stream->addPollEnds(fds, ends);
        owners.insert(owners.end(), ends.size() - before, stream);
        if (const auto left = stream->waitLeft(now)) {
            wait = wait ? std::min(*wait, *left) : *left;
        }
    }
    if (fds.empty() && !wait) {
        wait = kReapInterval;  // nothing to wait for: look again soon rather than never
    }
    if (poll(fds.data(), fds.size(), wait ? pollWaitMs(*wait) : -1) < 0 && errno != EINTR) {
        throw std::system_error(errno, std::generic_category(), "cannot wait for the children's output");
    }
    for (size_t i = 0; i < fds.size(); ++i) {
        if (fds[i].revents != 0) {
            owners[i]->read(*ends[i]);
        }
    }
    const ChildClock::time_point after = ChildClock::now();
    for (ChildStream* stream : streams) {
        stream->update(after);
    }
}

}  // namespace ktr
