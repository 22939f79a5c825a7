#include "SeriesCsvWriter.h"

#include <fmt/ostream.h>

namespace ktr::sim {

SeriesCsvWriter::SeriesCsvWriter(std::ostream& out) : m_out(out) {
    m_out << "time_s,kind,uid,value\n";
}

void SeriesCsvWriter::sample(double timeS, const char* kind, uint64_t uid, double value) {
    fmt::print(m_out, "{},{},{},{}\n", timeS, kind, uid, value);
}

}  // namespace ktr::sim
