#include "StepBlocks.h"

#include "HtmlReport.h"
#include "JsonOut.h"
#include "TimelineFormat.h"

namespace ktr {

void StepBlocks::write(const TimelineStep& step) {
    const size_t inBlock = m_steps % kStepsPerBlock;
    if (inBlock == 0) {
        end();
        m_block = "<script type=\"application/json\" id=\"" + m_id + "-" + std::to_string(m_steps / kStepsPerBlock) +
                  "\">[\n";
    } else {
        m_block += ",\n";
    }
    m_line.clear();
    JsonOut out(m_line);
    writeTimelineStep(out, step, inBlock == 0);
    m_block += scriptSafe(m_line);
    ++m_steps;
}

void StepBlocks::end() {
    if (!m_block.empty()) {
        m_out << m_block << "]</script>\n";
        m_block.clear();
    }
}

nlohmann::json StepBlocks::json() const {
    return {{"blocks", m_id}, {"stepsPerBlock", kStepsPerBlock}};
}

}  // namespace ktr
