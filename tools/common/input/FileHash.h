// SHA-256 of what a run depends on (a library build, a settings file, a trace), in hex, so that two
// outputs can be told to come from the same inputs.
#ifndef KTRSDK_TOOLS_COMMON_FILEHASH_H
#define KTRSDK_TOOLS_COMMON_FILEHASH_H

#include <string>
#include <string_view>

namespace ktr {

std::string sha256Hex(std::string_view bytes);
// Throws InputError naming the path when the file cannot be read.
std::string sha256OfFile(const std::string& path);

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_FILEHASH_H
