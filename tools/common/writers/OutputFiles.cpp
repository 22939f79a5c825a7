#include "OutputFiles.h"

#include <fmt/format.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <utility>

#include "InputFile.h"
#include "SharedOptions.h"

namespace ktr {

std::ostream& OutputFiles::open(const std::string& path) {
    if (path == kStandardStream) {
        if (std::exchange(m_standardOutput, true)) {
            throw InputError("-: two outputs cannot both go to standard output");
        }
        return std::cout;
    }
    File& file = m_files.emplace_back();
    file.path = path;
    file.stream.open(path, std::ios::out | std::ios::trunc);
    if (!file.stream) {
        throw InputError(fmt::format("{}: cannot be written: {}", path, std::strerror(errno)));
    }
    return file.stream;
}

void OutputFiles::close() {
    if (m_standardOutput && !std::cout.flush()) {
        throw InputError("-: writing to standard output failed");
    }
    for (File& file : m_files) {
        file.stream.close();
        if (!file.stream) {
            throw InputError(fmt::format("{}: writing failed", file.path));
        }
    }
}

}  // namespace ktr
