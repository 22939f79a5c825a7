#include "PlotScript.h"

#include <fmt/format.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

#include "InputFile.h"
#include "SdkLibrary.h"

extern char** environ;

namespace ktr {
namespace {

constexpr const char* kPython = "/usr/bin/python3";

std::string scriptPath(const std::string& script) {
    for (const std::string& candidate : {std::string(KTR_TOOLS_SOURCE_DIR) + "/" + script,
                                         SdkLibrary::toolDirectory() + "/../share/ktrsdk/" + script}) {
        if (access(candidate.c_str(), R_OK) == 0) {
            return candidate;
        }
    }
    throw InputError(fmt::format("--plot: {} not found beside the sources or the installed tool", script));
}

}  // namespace

void drawPlot(const std::string& script, const std::string& csv, const std::string& png, const std::string& title) {
    const std::string path = scriptPath(script);
    std::vector<std::string> arguments{kPython, path, csv, png, "--title", title};
    std::vector<char*> argv;
    argv.reserve(arguments.size());
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    pid_t child = 0;
    int status = 0;
    // Arguments go to the program as they are: no shell sees the paths.
    if (posix_spawn(&child, kPython, nullptr, nullptr, argv.data(), environ) != 0 || waitpid(child, &status, 0) < 0 ||
        !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw InputError(fmt::format("{}: the plot could not be drawn ({} {})", png, kPython, path));
    }
}

}  // namespace ktr
