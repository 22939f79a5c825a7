#include "InputFile.h"

#include <fmt/format.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <system_error>

namespace ktr {
namespace {

// Far above any scenario; stops a device such as /dev/zero from filling memory.
constexpr size_t kMaxInputBytes = 64u << 20;
constexpr size_t kChunkBytes = 16u << 10;

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

[[noreturn]] void refuse(const std::string& path, const std::string& reason) {
    throw InputError(fmt::format("{}: {}", path, reason));
}

[[noreturn]] void refuseWithErrno(const std::string& path) {
    const int error = errno;
    if (error == ENOENT) {
        refuse(path, "no such file");
    }
    refuse(path, "cannot be read: " + std::error_code(error, std::generic_category()).message());
}

}  // namespace

std::string readInputFile(const std::string& path) {
    const File file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) {
        refuseWithErrno(path);
    }
    // Opening a directory for reading succeeds; reading it would fail with a less helpful reason.
    struct stat info {};
    if (fstat(fileno(file.get()), &info) != 0) {
        refuseWithErrno(path);
    }
    if (S_ISDIR(info.st_mode)) {
        refuse(path, "is a directory");
    }
    std::string content;
    char chunk[kChunkBytes];
    size_t count = 0;
    while ((count = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) {
        if (content.size() + count > kMaxInputBytes) {
            refuse(path, fmt::format("larger than {} MiB", kMaxInputBytes >> 20));
        }
        content.append(chunk, count);
    }
    if (std::ferror(file.get())) {
        refuseWithErrno(path);
    }
    return content;
}

}  // namespace ktr
