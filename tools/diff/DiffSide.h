// One side of a comparison: a library build and the settings installed before every run.
#ifndef KTRSDK_TOOLS_DIFF_DIFFSIDE_H
#define KTRSDK_TOOLS_DIFF_DIFFSIDE_H

#include <string>

#include "SharedOptions.h"

namespace ktr::diff {

struct DiffSide {
    std::string name;          // "A" or "B"
    std::string libraryPath;   // empty: the build beside ktr
    std::string settingsPath;  // empty: none installed

    // The shared options that make a ktr subcommand run this side: --lib and --config.
    SharedValues options() const;
    // Throws InputError naming the settings file when it cannot be used.
    void checkSettings() const;
};

}  // namespace ktr::diff

#endif  // KTRSDK_TOOLS_DIFF_DIFFSIDE_H
