#include "StepFilter.h"

#include "Uids.h"

namespace ktr::log {

bool StepFilter::keeps(const ktr::TimelineStep& step) const {
    if (m_window.since || m_window.until) {
        if (!step.time) {
            return false;
        }
        const double at = m_origin + *step.time;
        if ((m_window.since && at < *m_window.since) || (m_window.until && at > *m_window.until)) {
            return false;
        }
    }
    if (!m_window.uids.empty()) {
        const std::set<uint64_t> named = ktr::uidsOf(step);
        bool any = false;
        for (const uint64_t uid : m_window.uids) {
            any = any || named.count(uid) != 0;
        }
        return any;
    }
    return true;
}

void StepFilter::write(const ktr::TimelineStep& step) {
    if (!keeps(step)) {
        if (m_skipped) {
            m_skipped->merge(step.change);
        } else {
            m_skipped = step.change;
        }
        return;
    }
    if (!m_skipped) {
        m_out.write(step);
        return;
    }
    ktr::TimelineStep written = step;
    m_skipped->merge(step.change);
    written.change = std::move(*m_skipped);
    m_skipped.reset();
    m_out.write(written);
}

}  // namespace ktr::log
