// The provenance a run's outputs carry: this ktr's version, the library build (path, SONAME, hash) and the
// settings file's hash, so that two outputs can be told to come from the same inputs.
#ifndef KTRSDK_TOOLS_COMMON_PROVENANCEOF_H
#define KTRSDK_TOOLS_COMMON_PROVENANCEOF_H

#include <string>

#include "SdkLibrary.h"
#include "Timeline.h"

namespace ktr {

// The version of this ktr.
const char* ktrVersion();

// settingsPath empty: no settings installed. Throws InputError for a file that cannot be read.
Provenance provenanceOf(const SdkLibrary& library, const std::string& settingsPath);
// A run that loads no library (a client's log).
Provenance provenanceWithoutLibrary();

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_PROVENANCEOF_H
