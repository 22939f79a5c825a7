#include "GzipInput.h"

#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "InputFile.h"
#include "SharedOptions.h"

namespace ktr::log {
namespace {

constexpr unsigned kZlibBufferSize = 256 * 1024;

gzFile open(const std::string& path) {
    if (path == ktr::kStandardStream) {
        const int fd = dup(STDIN_FILENO);
        return fd < 0 ? nullptr : gzdopen(fd, "rb");
    }
    struct stat status {};
    if (stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
        errno = EISDIR;
        return nullptr;
    }
    return gzopen(path.c_str(), "rb");
}

}  // namespace

GzipInput::GzipInput(const std::string& path) : m_path(path), m_file(open(path)) {
    if (m_file == nullptr) {
        const int error = errno;
        throw InputError(fmt::format("{}: cannot read: {}", path, error != 0 ? std::strerror(error) : "out of memory"));
    }
    gzbuffer(m_file, kZlibBufferSize);
}

GzipInput::~GzipInput() {
    gzclose(m_file);
}

size_t GzipInput::read(char* data, size_t size) {
    if (m_damage) {
        return 0;
    }
    const unsigned chunk = size > INT_MAX ? INT_MAX : static_cast<unsigned>(size);
    const int read = gzread(m_file, data, chunk);
    int code = Z_OK;
    const char* message = gzerror(m_file, &code);
    if (read < 0 && code == Z_ERRNO) {
        throw InputError(fmt::format("{}: cannot read: {}", m_path, std::strerror(errno)));
    }
    if (read < 0) {
        return stopAtDamage(fmt::format("corrupt gzip data ({})", message));
    }
    // zlib reports a stream that ends before its trailer once all that came before it was handed out.
    if (read == 0 && code == Z_BUF_ERROR) {
        return stopAtDamage("the gzip data is cut short (truncated)");
    }
    return static_cast<size_t>(read);
}

size_t GzipInput::stopAtDamage(const std::string& problem) {
    m_damage = fmt::format("{}: {}; the lines before it were read", m_path, problem);
    return 0;
}

}  // namespace ktr::log
