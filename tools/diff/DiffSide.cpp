#include "DiffSide.h"

#include "HostSettings.h"
#include "InputFile.h"

namespace ktr::diff {

SharedValues DiffSide::options() const {
    SharedValues values;
    values.library = libraryPath;
    values.settings = settingsPath;
    return values;
}

void DiffSide::checkSettings() const {
    if (!settingsPath.empty()) {
        parseHostSettings(readInputFile(settingsPath), settingsPath);
    }
}

}  // namespace ktr::diff
