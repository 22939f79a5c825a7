// Loads a build of the library at run time and hands out instances of its interface, as a host that
// loads it dynamically does. The tools are never linked to the library, so any build can be compared.
#ifndef KTRSDK_TOOLS_COMMON_SDKLIBRARY_H
#define KTRSDK_TOOLS_COMMON_SDKLIBRARY_H

#include <memory>
#include <stdexcept>
#include <string>

#include "IKTRSDK.h"

namespace ktr {

// The library could not be loaded, or it lacks the factory.
class LibraryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class SdkLibrary {
public:
    using CreateFunction = tarn::video::IKTRSDK* (*)();
    using ReleaseFunction = void (*)(tarn::video::IKTRSDK*);
    using Instance = std::unique_ptr<tarn::video::IKTRSDK, ReleaseFunction>;

    explicit SdkLibrary(const std::string& path);
    ~SdkLibrary();
    SdkLibrary(const SdkLibrary&) = delete;
    SdkLibrary& operator=(const SdkLibrary&) = delete;

    // A new, independent instance, released when the pointer goes.
    Instance createInstance() const;

    // The file that was loaded (symbolic links resolved) and its SONAME ("" when it has none).
    const std::string& path() const { return m_path; }
    const std::string& soname() const { return m_soname; }

    // The copy that belongs with the running tool: beside it (a build tree) or in ../lib (an install).
    static std::string defaultPath();
    // The running program, and its folder.
    static std::string toolPath();
    static std::string toolDirectory();

private:
    void* m_handle = nullptr;
    CreateFunction m_create = nullptr;
    ReleaseFunction m_release = nullptr;
    std::string m_path;
    std::string m_soname;
};

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_SDKLIBRARY_H
