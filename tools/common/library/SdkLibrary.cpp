#include "SdkLibrary.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <fmt/format.h>
#include <climits>
#include <cstdlib>
#include <vector>

namespace ktr {
namespace {

// The factory's two static members, by their exported names.
constexpr const char* kCreateSymbol = "_ZN4tarn5video13KTRSDKFactory12createKTRSDKEv";
constexpr const char* kReleaseSymbol = "_ZN4tarn5video13KTRSDKFactory13releaseKTRSDKEPNS0_7IKTRSDKE";
constexpr const char* kLibraryName = "libktrsdk.so";

std::string resolvedPath(const std::string& path) {
    char buffer[PATH_MAX];
    return realpath(path.c_str(), buffer) != nullptr ? std::string(buffer) : path;
}

// Reads DT_SONAME from the dynamic section of the loaded object.
std::string sonameOf(void* handle) {
    link_map* map = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr || map->l_ld == nullptr) {
        return "";
    }
    const char* strings = nullptr;
    ElfW(Xword) sonameOffset = 0;
    bool hasSoname = false;
    for (const ElfW(Dyn)* entry = map->l_ld; entry->d_tag != DT_NULL; ++entry) {
        if (entry->d_tag == DT_STRTAB) {
            // The dynamic section holds the string table as an address.
            // NOLINTNEXTLINE(performance-no-int-to-ptr)
            strings = reinterpret_cast<const char*>(entry->d_un.d_ptr);
        } else if (entry->d_tag == DT_SONAME) {
            sonameOffset = entry->d_un.d_val;
            hasSoname = true;
        }
    }
    return strings != nullptr && hasSoname ? std::string(strings + sonameOffset) : "";
}

}  // namespace

SdkLibrary::SdkLibrary(const std::string& path) : m_path(resolvedPath(path)) {
    // RTLD_LOCAL: several builds may be loaded side by side without one's symbols serving the other.
    m_handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (m_handle == nullptr) {
        throw LibraryError(fmt::format("{}: cannot load the library: {}", path, dlerror()));
    }
    m_create = reinterpret_cast<CreateFunction>(dlsym(m_handle, kCreateSymbol));
    m_release = reinterpret_cast<ReleaseFunction>(dlsym(m_handle, kReleaseSymbol));
    if (m_create == nullptr || m_release == nullptr) {
        dlclose(m_handle);
        throw LibraryError(
            fmt::format("{}: not a ktrsdk build: the factory (KTRSDKFactory::createKTRSDK and "
                        "releaseKTRSDK) is not exported",
                        path));
    }
    m_soname = sonameOf(m_handle);
}

SdkLibrary::~SdkLibrary() {
    dlclose(m_handle);
}

SdkLibrary::Instance SdkLibrary::createInstance() const {
    return Instance(m_create(), m_release);
}

std::string SdkLibrary::toolPath() {
    std::vector<char> buffer(PATH_MAX + 1, '\0');
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), PATH_MAX);
    return length > 0 ? std::string(buffer.data(), static_cast<size_t>(length)) : std::string();
}

std::string SdkLibrary::toolDirectory() {
    const std::string path = toolPath();
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string SdkLibrary::defaultPath() {
    const std::string directory = toolDirectory();
    // An installed runtime package has the versioned name only; the unversioned one comes with the
    // development files.
    for (const std::string& folder : {directory + "/", directory + "/../lib/", directory + "/../lib64/"}) {
        for (const char* name : {kLibraryName, KTR_LIBRARY_SONAME}) {
            std::string candidate = folder + name;
            if (access(candidate.c_str(), R_OK) == 0) {
                return candidate;
            }
        }
    }
    throw LibraryError(
        fmt::format("no {} beside the tool ({}) or in its ../lib; name one with --lib PATH", kLibraryName, directory));
}

}  // namespace ktr
