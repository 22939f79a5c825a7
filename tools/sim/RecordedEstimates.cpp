#include "RecordedEstimates.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>

#include "InputFile.h"

namespace ktr::sim {
namespace {

constexpr const char* kHeader = "time_s,status,score,bitrate,max_bitrate";
constexpr double kLongestTimeS = 7 * 24 * 3600.0;  // a week: anything later is a mistake

std::vector<std::string> cellsOf(const std::string& line) {
    std::vector<std::string> cells;
    std::stringstream stream(line);
    std::string cell;
    while (std::getline(stream, cell, ',')) {
        cells.push_back(cell);
    }
    return cells;
}

double numberIn(const std::string& cell, const std::string& where) {
    size_t used = 0;
    double value = 0;
    try {
        value = std::stod(cell, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (cell.empty() || used != cell.size() || !std::isfinite(value)) {
        throw InputError(fmt::format("{}: \"{}\" is not a number", where, cell));
    }
    return value;
}

int32_t int32In(const std::string& cell, const std::string& where) {
    const double value = numberIn(cell, where);
    if (value != std::floor(value) || value < std::numeric_limits<int32_t>::min() ||
        value > std::numeric_limits<int32_t>::max()) {
        throw InputError(fmt::format("{}: expected an integer from {} to {}, got {}", where,
                                     std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(), cell));
    }
    return static_cast<int32_t>(value);
}

}  // namespace

RecordedEstimates RecordedEstimates::read(const std::string& path) {
    std::istringstream text(readInputFile(path));
    std::string line;
    if (!std::getline(text, line) || line != kHeader) {
        throw InputError(fmt::format("{}: line 1: expected the header {}", path, kHeader));
    }
    RecordedEstimates estimates;
    for (int number = 2; std::getline(text, line); ++number) {
        if (line.empty()) {
            continue;
        }
        const std::string where = fmt::format("{}: line {}", path, number);
        const std::vector<std::string> cells = cellsOf(line);
        if (cells.size() != 5) {
            throw InputError(fmt::format("{}: expected 5 cells, got {}", where, cells.size()));
        }
        const double seconds = numberIn(cells[0], where + ": time_s");
        if (seconds < 0 || seconds > kLongestTimeS) {
            throw InputError(fmt::format("{}: time_s: expected 0 to {} s, got {}", where, kLongestTimeS, cells[0]));
        }
        const Micros time = std::llround(seconds * kMicrosPerSecond);
        if (!estimates.m_times.empty() && time <= estimates.m_times.back()) {
            throw InputError(fmt::format("{}: time_s: times must increase", where));
        }
        LinkEstimate row;
        row.status = int32In(cells[1], where + ": status");
        row.score = int32In(cells[2], where + ": score");
        row.bitrate = int32In(cells[3], where + ": bitrate");
        row.maxBitrate = int32In(cells[4], where + ": max_bitrate");
        estimates.m_times.push_back(time);
        estimates.m_rows.push_back(row);
    }
    if (estimates.m_rows.empty()) {
        throw InputError(fmt::format("{}: no estimate after the header", path));
    }
    return estimates;
}

const LinkEstimate* RecordedEstimates::at(Micros now) const {
    const auto after = std::upper_bound(m_times.begin(), m_times.end(), now);
    return after == m_times.begin() ? nullptr : &m_rows[static_cast<size_t>(after - m_times.begin()) - 1];
}

}  // namespace ktr::sim
