/// @file logsdk.h
/// logsdk: a small stand-in for the platform logger that ktrsdk imports.
///
/// By default every line goes to stderr with its level. A program (a test, a tool) may install a sink
/// that receives each formatted line instead. When the environment variable LOGSDK_CAPTURE_FILE names a
/// file, every line is also appended to it as "I text", "W text" or "E text" (one line each), whatever
/// the sink: the test suite checks every line it made the library write. A host with a logger of its own
/// defines logi, logw and loge itself (or ships its own liblogsdk.so.1) and receives every line.
#ifndef LOGSDK_LOGSDK_H
#define LOGSDK_LOGSDK_H

/// The logger ktrsdk writes through.
namespace xlog {

/// The level of a line: which of the three functions wrote it.
enum class Level {
    Info,     ///< logi: events and decisions
    Warning,  ///< logw: refused or corrected input
    Error,    ///< loge: failed lookups and broken preconditions
};

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

}  // namespace xlog

#endif  // LOGSDK_LOGSDK_H
