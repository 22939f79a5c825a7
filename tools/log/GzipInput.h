// A file or standard input read through zlib: gzip content is inflated, anything else read as it is.
#ifndef KTRSDK_TOOLS_LOG_GZIPINPUT_H
#define KTRSDK_TOOLS_LOG_GZIPINPUT_H

#include <zlib.h>

#include <cstddef>
#include <optional>
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

    // Up to size bytes into data; 0 at the end, and at damaged gzip data (a stream cut short, or corrupt),
    // which damage() then describes. Throws InputError on a read error.
    size_t read(char* data, size_t size);
    // What ended the input early, naming the path; nothing when it ended well.
    const std::optional<std::string>& damage() const { return m_damage; }

private:
    size_t stopAtDamage(const std::string& problem);

    std::string m_path;
    gzFile m_file = nullptr;
    std::optional<std::string> m_damage;
};

}  // namespace ktr::log

#endif  // KTRSDK_TOOLS_LOG_GZIPINPUT_H
