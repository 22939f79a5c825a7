// Draws a CSV written by a ktr command into a PNG with one of the tools' Python scripts (Debian's
// python3-matplotlib), found beside the sources or in the installed tree.
#ifndef KTRSDK_TOOLS_COMMON_PLOTSCRIPT_H
#define KTRSDK_TOOLS_COMMON_PLOTSCRIPT_H

#include <string>

namespace ktr {

// Runs `python3 SCRIPT CSV PNG --title TITLE`; throws InputError naming the PNG when it fails.
void drawPlot(const std::string& script, const std::string& csv, const std::string& png, const std::string& title);

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_PLOTSCRIPT_H
