#include "ShardResultsFile.h"

#include <fmt/format.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "InputFile.h"
#include "SharedOptions.h"

namespace ktr::sim {
namespace {

namespace fs = std::filesystem;

// Anything there but nothing at all: what cannot be read is refused by the reading.
bool present(const std::string& path) {
    std::error_code error;
    return fs::symlink_status(path, error).type() != fs::file_type::not_found;
}

}  // namespace

ShardResultsFile::ShardResultsFile(const std::string& path, const SweepDescription& sweep, const Shard& shard,
                                   OutputFiles& files)
    : m_path(path), m_sweep(sweep), m_shard(shard) {
    if (path == kStandardStream) {
        m_out = &files.open(path);
        write(resultsHeaderLine(m_sweep, m_shard));
        return;
    }
    continueFile(present(path) ? readInputFile(path) : std::string());
}

void ShardResultsFile::continueFile(const std::string& content) {
    const RecordedShard recorded = readRecordedShard({m_path, content}, m_sweep, m_shard);
    std::error_code error;
    if (content.size() != recorded.completeBytes) {
        fs::resize_file(m_path, recorded.completeBytes, error);
        if (error) {
            throw InputError(
                fmt::format("{}: cannot remove the line cut short at its end: {}", m_path, error.message()));
        }
    }
    m_file.open(m_path, std::ios::out | std::ios::app | std::ios::binary);
    if (!m_file) {
        throw InputError(fmt::format("{}: cannot be written: {}", m_path, std::strerror(errno)));
    }
    m_out = &m_file;
    m_recorded = recorded.runs;
    if (!recorded.headerWritten) {
        write(resultsHeaderLine(m_sweep, m_shard));
    }
}

void ShardResultsFile::append(const SweepResultsRun& run) {
    write(resultsRunLine(m_sweep, m_shard, run));
}

void ShardResultsFile::write(const std::string& line) {
    m_out->write(line.data(), static_cast<std::streamsize>(line.size()));
    m_out->flush();
    if (!*m_out) {
        throw InputError(fmt::format("{}: writing failed", m_path));
    }
}

}  // namespace ktr::sim
