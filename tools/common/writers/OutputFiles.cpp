#include "OutputFiles.h"

#include <fmt/format.h>

#include <cerrno>
#include <cstring>

#include "InputFile.h"

namespace ktr {

std::ostream& OutputFiles::open(const std::string& path) {
    File& file = m_files.emplace_back();
    file.path = path;
    file.stream.open(path, std::ios::out | std::ios::trunc);
    if (!file.stream) {
        throw InputError(fmt::format("{}: cannot be written: {}", path, std::strerror(errno)));
    }
    return file.stream;
}

void OutputFiles::close() {
    for (File& file : m_files) {
        file.stream.close();
        if (!file.stream) {
            throw InputError(fmt::format("{}: writing failed", file.path));
        }
    }
}

}  // namespace ktr
