// `ktr diff` as text: per scenario "same" or its differing steps, both answers side by side with the
// differing fields marked and the step's log lines from both sides; the metric table of a simulation.
#ifndef KTRSDK_TOOLS_DIFF_DIFFTEXT_H
#define KTRSDK_TOOLS_DIFF_DIFFTEXT_H

#include <ostream>

#include "DiffReport.h"

namespace ktr::diff {

void writeDiffText(std::ostream& out, const DiffReport& report);

}  // namespace ktr::diff

#endif  // KTRSDK_TOOLS_DIFF_DIFFTEXT_H
