#include "RedactionStage.h"

namespace ktr {

TimelineWriter& RedactionStage::timeline(TimelineWriter& out) {
    if (!m_enabled) {
        return out;
    }
    m_writer = std::make_unique<RedactingWriter>(m_redactor, out);
    return *m_writer;
}

SeriesSink* RedactionStage::series(SeriesSink* out) {
    if (!m_enabled || out == nullptr) {
        return out;
    }
    m_series = std::make_unique<RedactingSeries>(m_redactor, *out);
    return m_series.get();
}

}  // namespace ktr
