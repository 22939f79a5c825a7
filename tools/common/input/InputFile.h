#ifndef KTRSDK_TOOLS_COMMON_INPUTFILE_H
#define KTRSDK_TOOLS_COMMON_INPUTFILE_H

#include <stdexcept>
#include <string>

namespace ktr {

// Input a tool cannot use: a file it cannot read, or content it refuses. The message names the file.
class InputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The whole content of the file at path ("-": standard input, once). Throws InputError naming the path and the reason
// when it is missing, a directory, unreadable or too large.
std::string readInputFile(const std::string& path);

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_INPUTFILE_H
