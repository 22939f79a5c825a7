// A file or standard input read through zlib: gzip content is inflated, anything else read as it is.
#ifndef KTRSDK_TOOLS_LOG_GZIPINPUT_H
#define KTRSDK_TOOLS_LOG_GZIPINPUT_H

#include <zlib.h>

#include <cstddef>
#include <string>

namespace ktr::log {

class GzipInput {
public:
    // path "-" reads standard input. Throws InputError naming the path when it cannot be opened or is a
    // directory.
    explicit GzipInput(const std::string& path);
    ~GzipInput();
    GzipInput(const GzipInput&) = delete;
    GzipInput& operator=(const GzipInput&) = delete;

    // Up to size bytes into data; 0 at the end (a gzip stream cut short ends there too). Throws InputError
    // on a read error or corrupt gzip data.
    size_t read(char* data, size_t size);

private:
    std::string m_path;
    gzFile m_file = nullptr;
};

}  // namespace ktr::log

#endif  // KTRSDK_TOOLS_LOG_GZIPINPUT_H
