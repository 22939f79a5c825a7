// A file or standard input read through zlib: gzip content (one member or several in a row) is inflated,
// anything else read as it is. Damaged gzip data ends the input after every byte inflated before it.
#ifndef KTRSDK_TOOLS_LOG_GZIPINPUT_H
#define KTRSDK_TOOLS_LOG_GZIPINPUT_H

#include <zlib.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace ktr::log {

class GzipInput {
public:
    // path "-" reads standard input. Throws InputError naming the path when it cannot be opened or is a
    // directory.
    explicit GzipInput(const std::string& path);
    ~GzipInput();
    GzipInput(const GzipInput&) = delete;
    GzipInput& operator=(const GzipInput&) = delete;

    // Up to size bytes into data; 0 at the end. Damaged gzip data (a stream cut short, or corrupt) ends the
    // input once what came before it was handed out; damage() then describes it. Throws InputError on a
    // read error.
    size_t read(char* data, size_t size);
    // What ended the input early, naming the path; nothing when it ended well.
    const std::optional<std::string>& damage() const { return m_damage; }

private:
    enum class Content { Unknown, Gzip, Plain };

    bool fill();
    bool haveBytes(size_t count);
    bool gzipFollows();
    size_t copyPlain(char* data, size_t size);
    size_t inflateInto(char* data, size_t size);
    void stopAtDamage(const std::string& problem);

    std::string m_path;
    int m_fd = -1;
    std::vector<unsigned char> m_in;
    z_stream m_stream{};
    Content m_content = Content::Unknown;
    bool m_inMember = false;  // inside a gzip member: its end is still to come
    bool m_fileEnded = false;
    bool m_ended = false;
    std::optional<std::string> m_damage;
};

}  // namespace ktr::log

#endif  // KTRSDK_TOOLS_LOG_GZIPINPUT_H
