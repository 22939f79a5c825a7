#include "GzipInput.h"

#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "InputFile.h"

namespace ktr::log {
namespace {

constexpr std::string_view kStandardInput = "-";
constexpr unsigned kZlibBufferSize = 256 * 1024;

gzFile open(const std::string& path) {
    if (path == kStandardInput) {
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
    const unsigned chunk = size > INT_MAX ? INT_MAX : static_cast<unsigned>(size);
    const int read = gzread(m_file, data, chunk);
    if (read < 0) {
        int code = 0;
        const char* message = gzerror(m_file, &code);
        throw InputError(
            fmt::format("{}: cannot read: {}", m_path, code == Z_ERRNO ? std::strerror(errno) : std::string(message)));
    }
    return static_cast<size_t>(read);
}

}  // namespace ktr::log
