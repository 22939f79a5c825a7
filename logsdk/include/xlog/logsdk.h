// logsdk: a small stand-in for the platform logger that ktrsdk imports.
//
// By default every line goes to stderr with its level. A program (a test, a tool) may install a sink
// that receives each formatted line instead. When the environment variable LOGSDK_CAPTURE_FILE names a
// file, every line is also appended to it as "I text", "W text" or "E text" (one line each), whatever
// the sink: the test suite checks every line it made the library write.
#ifndef LOGSDK_LOGSDK_H
#define LOGSDK_LOGSDK_H

namespace xlog {

enum class Level { Info, Warning, Error };

// Receives one formatted line, without a trailing newline. May be called from any thread.
using Sink = void (*)(Level level, const char* line, void* context);

// Installs sink (with its context) for all later lines; a null sink restores stderr output.
void setSink(Sink sink, void* context);

int logi(const char* format, ...) __attribute__((format(printf, 1, 2)));
int logw(const char* format, ...) __attribute__((format(printf, 1, 2)));
int loge(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace xlog

#endif  // LOGSDK_LOGSDK_H
