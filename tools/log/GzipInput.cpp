#include "GzipInput.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "InputFile.h"
#include "SharedOptions.h"

namespace ktr::log {
namespace {

constexpr size_t kInputBufferSize = size_t{256} * 1024;
// The first two bytes of every gzip member.
constexpr unsigned char kGzipMagic[] = {0x1f, 0x8b};
// zlib's window size with 16 added: gzip headers and trailers only.
constexpr int kGzipWindowBits = 15 + 16;

[[noreturn]] void refuse(const std::string& path, int error) {
    throw InputError(fmt::format("{}: cannot read: {}", path, std::strerror(error)));
}

int openInput(const std::string& path) {
    const int fd = path == ktr::kStandardStream ? dup(STDIN_FILENO) : open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        refuse(path, errno);
    }
    struct stat status {};
    if (fstat(fd, &status) == 0 && S_ISDIR(status.st_mode)) {
        close(fd);
        refuse(path, EISDIR);
    }
    return fd;
}

}  // namespace

GzipInput::GzipInput(const std::string& path) : m_path(path), m_fd(openInput(path)), m_in(kInputBufferSize) {
    if (inflateInit2(&m_stream, kGzipWindowBits) != Z_OK) {
        close(m_fd);
        throw InputError(fmt::format("{}: cannot read: out of memory", path));
    }
    m_stream.next_in = m_in.data();
    m_stream.avail_in = 0;
}

GzipInput::~GzipInput() {
    inflateEnd(&m_stream);
    close(m_fd);
}

// More bytes of the file after those not yet used; false at its end.
bool GzipInput::fill() {
    if (m_fileEnded) {
        return false;
    }
    std::memmove(m_in.data(), m_stream.next_in, m_stream.avail_in);
    const size_t kept = m_stream.avail_in;
    ssize_t count = 0;
    do {
        count = ::read(m_fd, m_in.data() + kept, m_in.size() - kept);
    } while (count < 0 && errno == EINTR);
    if (count < 0) {
        refuse(m_path, errno);
    }
    m_stream.next_in = m_in.data();
    m_stream.avail_in = static_cast<uInt>(kept + static_cast<size_t>(count));
    m_fileEnded = count == 0;
    return count > 0;
}

// Whether count bytes not yet used are at hand, reading more when needed.
bool GzipInput::haveBytes(size_t count) {
    while (m_stream.avail_in < count) {
        if (!fill()) {
            return false;
        }
    }
    return true;
}

bool GzipInput::gzipFollows() {
    return haveBytes(sizeof kGzipMagic) && std::memcmp(m_stream.next_in, kGzipMagic, sizeof kGzipMagic) == 0;
}

size_t GzipInput::read(char* data, size_t size) {
    if (m_ended || m_damage || size == 0) {
        return 0;
    }
    if (m_content == Content::Unknown) {
        m_content = gzipFollows() ? Content::Gzip : Content::Plain;
        m_inMember = m_content == Content::Gzip;
    }
    const size_t count = m_content == Content::Gzip ? inflateInto(data, size) : copyPlain(data, size);
    m_ended = count == 0;
    return count;
}

size_t GzipInput::copyPlain(char* data, size_t size) {
    if (m_stream.avail_in == 0 && !fill()) {
        return 0;
    }
    const size_t count = std::min<size_t>(size, m_stream.avail_in);
    std::memcpy(data, m_stream.next_in, count);
    m_stream.next_in += count;
    m_stream.avail_in -= static_cast<uInt>(count);
    return count;
}

// Inflates until data is full, the last member ended (what follows it, not gzip, is left unread, as gzip
// does) or the data is damaged; returns the bytes inflated.
size_t GzipInput::inflateInto(char* data, size_t size) {
    m_stream.next_out = reinterpret_cast<Bytef*>(data);
    m_stream.avail_out = static_cast<uInt>(std::min<size_t>(size, UINT_MAX));
    const uInt room = m_stream.avail_out;
    while (m_stream.avail_out > 0) {
        if (!m_inMember) {
            if (!gzipFollows()) {
                break;
            }
            inflateReset(&m_stream);
            m_inMember = true;
        }
        if (m_stream.avail_in == 0) {
            fill();  // at the end of the file, inflate may still hand out what it holds
        }
        const int result = inflate(&m_stream, Z_NO_FLUSH);
        if (result == Z_STREAM_END) {
            m_inMember = false;
        } else if (result == Z_MEM_ERROR) {
            throw InputError(fmt::format("{}: cannot read: out of memory", m_path));
        } else if (result == Z_BUF_ERROR && m_stream.avail_in == 0 && m_fileEnded) {
            stopAtDamage("the gzip data is cut short (truncated)");
            break;
        } else if (result != Z_OK && result != Z_BUF_ERROR) {
            stopAtDamage(fmt::format("corrupt gzip data ({})", m_stream.msg != nullptr ? m_stream.msg : "unreadable"));
            break;
        }
    }
    return room - m_stream.avail_out;
}

void GzipInput::stopAtDamage(const std::string& problem) {
    m_damage = fmt::format("{}: {}; the lines before it were read", m_path, problem);
}

}  // namespace ktr::log
