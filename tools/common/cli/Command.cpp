#include "Command.h"

#include "SdkLibrary.h"

namespace ktr {

std::string Command::libraryPath() const {
    return m_shared.library.empty() ? SdkLibrary::defaultPath() : m_shared.library;
}

}  // namespace ktr
