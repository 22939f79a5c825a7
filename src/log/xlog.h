// The logging interface that ktrsdk imports from liblogsdk.so. The functions stay undefined in
// libktrsdk.so so that a host's own definitions (or its own logsdk) receive every line.
#ifndef KTRSDK_LOG_XLOG_H
#define KTRSDK_LOG_XLOG_H

#include <cstdint>

namespace xlog {

int logi(const char* format, ...) __attribute__((format(printf, 1, 2)));
int logw(const char* format, ...) __attribute__((format(printf, 1, 2)));
int loge(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace xlog

// uids are printed with %llu; uint64_t is unsigned long on LP64 platforms.
inline unsigned long long logUid(uint64_t uid) {
    return static_cast<unsigned long long>(uid);
}

#endif  // KTRSDK_LOG_XLOG_H
