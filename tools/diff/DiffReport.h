// What `ktr diff` found, as its writers read it.
#ifndef KTRSDK_TOOLS_DIFF_DIFFREPORT_H
#define KTRSDK_TOOLS_DIFF_DIFFREPORT_H

#include <optional>
#include <vector>

#include "DiffSide.h"
#include "ScenarioDiffer.h"
#include "SimDiffer.h"

namespace ktr::diff {

struct DiffReport {
    DiffSide a;
    DiffSide b;
    bool answersOnly = false;
    std::vector<ScenarioDiff> scenarios;
    std::optional<SimDiff> sim;

    // Whether anything tells the sides apart: a scenario's steps, or a metric's clear difference.
    bool differs() const {
        for (const ScenarioDiff& scenario : scenarios) {
            if (!scenario.same()) {
                return true;
            }
        }
        return sim && sim->differs();
    }
};

}  // namespace ktr::diff

#endif  // KTRSDK_TOOLS_DIFF_DIFFREPORT_H
