#include "ProvenanceOf.h"

#include "FileHash.h"
#include "InputFile.h"

namespace ktr {

const char* ktrVersion() {
    return KTR_VERSION;
}

Provenance provenanceOf(const SdkLibrary& library, const std::string& settingsPath) {
    Provenance provenance = provenanceWithoutLibrary();
    provenance.library = HashedFile{library.path(), sha256OfFile(library.path())};
    provenance.librarySoname = library.soname();
    if (!settingsPath.empty()) {
        provenance.settingsSha256 = sha256Hex(readInputFile(settingsPath));
    }
    return provenance;
}

Provenance provenanceWithoutLibrary() {
    Provenance provenance;
    provenance.ktrVersion = ktrVersion();
    return provenance;
}

}  // namespace ktr
