#include "DiffSide.h"

#include "HostSettings.h"
#include "InputFile.h"

namespace ktr::diff {

std::vector<std::string> DiffSide::options() const {
    std::vector<std::string> args;
    if (!libraryPath.empty()) {
        args.insert(args.end(), {"--lib", libraryPath});
    }
    if (!settingsPath.empty()) {
        args.insert(args.end(), {"--config", settingsPath});
    }
    return args;
}

void DiffSide::checkSettings() const {
    if (!settingsPath.empty()) {
        parseHostSettings(readInputFile(settingsPath), settingsPath);
    }
}

}  // namespace ktr::diff
