/// @file logsdk.h
/// logsdk: a small stand-in for the platform logger that ktrsdk imports.
///
/// By default every line goes to stderr with its level. A program (a test, a tool) may install a sink
/// that receives each formatted line instead, or let a LineCollector keep the lines for it. When the
/// environment variable LOGSDK_CAPTURE_FILE names a file, every line is also appended to it as "I text",
/// "W text" or "E text" (one line each), whatever the sink: the test suite checks every line it made the
/// library write. A host with a logger of its own defines logi, logw and loge itself (or ships its own
/// liblogsdk.so.1) and receives every line.
#ifndef LOGSDK_LOGSDK_H
#define LOGSDK_LOGSDK_H

#include <mutex>
#include <string>
#include <vector>

/// The logger ktrsdk writes through.
namespace xlog {

/// The level of a line: which of the three functions wrote it.
enum class Level {
    Info,     ///< logi: events and decisions
    Warning,  ///< logw: refused or corrected input
    Error,    ///< loge: failed lookups and broken preconditions
};

/// The mark of a level as LOGSDK_CAPTURE_FILE and stderr write it before a line: "I", "W" or "E".
const char* levelMark(Level level);

/// Receives one formatted line, without a trailing newline. May be called from any thread.
using Sink = void (*)(Level level, const char* line, void* context);

/// Installs sink (with its context) for all later lines; a null sink restores stderr output.
void setSink(Sink sink, void* context);

/// Writes one info line (events and decisions) from a printf format.
int logi(const char* format, ...) __attribute__((format(printf, 1, 2)));
/// Writes one warning line (refused or corrected input) from a printf format.
int logw(const char* format, ...) __attribute__((format(printf, 1, 2)));
/// Writes one error line (failed lookups, broken preconditions) from a printf format.
int loge(const char* format, ...) __attribute__((format(printf, 1, 2)));

/// One formatted line with its level.
struct Line {
    Level level;       ///< which function wrote it
    std::string text;  ///< the formatted text, without a trailing newline
};

/// Installs itself as the sink while it lives and keeps every line it receives, from any thread, until
/// take() hands them over. The sink slot holds one sink, so one collector at a time: it restores stderr
/// output when it goes, and must outlive every thread that still logs.
class LineCollector {
public:
    /// Installs this collector as the sink.
    LineCollector();
    /// Restores stderr output.
    ~LineCollector();
    /// Not copyable: the sink slot points at this object.
    LineCollector(const LineCollector&) = delete;
    /// Not assignable: the sink slot points at this object.
    LineCollector& operator=(const LineCollector&) = delete;

    /// The lines received since the last call, oldest first; forgets them.
    std::vector<Line> take();

private:
    static void receive(Level level, const char* text, void* context);

    std::mutex m_mutex;
    std::vector<Line> m_lines;
};

}  // namespace xlog

#endif  // LOGSDK_LOGSDK_H
