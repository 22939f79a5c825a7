#ifndef KTRSDK_TOOLS_SIM_TRACEREADER_H
#define KTRSDK_TOOLS_SIM_TRACEREADER_H

#include <string>

#include "CapacityTrace.h"

namespace ktr::sim {

// Reads a capacity trace file in either format, told apart by its first line of data: one integer per
// line is a Mahimahi trace (a time in ms per delivery opportunity of one 1500-byte packet), two numbers per
// line are seconds and Mbit/s. Blank lines and lines starting with '#' are skipped; a file whose first
// line is a comment starting with "synthetic" is labelled synthetic. The label is the file's name without
// its folder. Throws InputError "FILE: line N: problem" (or "FILE: problem" for the whole file).
CapacityTrace readTrace(const std::string& path);

// The same for content already read; path names it in messages and gives the label.
CapacityTrace parseTrace(const std::string& content, const std::string& path);

}  // namespace ktr::sim

#endif  // KTRSDK_TOOLS_SIM_TRACEREADER_H
