// The file outputs every timeline command offers: --json, --csv, --log-file and --html.
#ifndef KTRSDK_TOOLS_COMMON_FILEWRITERS_H
#define KTRSDK_TOOLS_COMMON_FILEWRITERS_H

#include <string>

#include "HtmlReport.h"
#include "OutputFiles.h"
#include "SharedOptions.h"
#include "TimelineWriter.h"

namespace ktr {

struct FilePaths {
    std::string json;
    std::string csv;
    std::string logFile;
    std::string html;
    ReportChart::Options chart;                      // for --html
    StateWriting jsonState = StateWriting::Changes;  // for --json
};

// The paths of the shared options --json, --csv, --log-file and --html, and --state.
FilePaths filePathsOf(const SharedValues& values, ReportChart::Options chart);

// Opens the files that are named ("-": standard output) and adds their writers to the group; returns the
// HTML report (null when none is named), which a simulation also feeds its samples.
HtmlReport* addFileWriters(const FilePaths& paths, OutputFiles& files, WriterGroup& writers);

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_FILEWRITERS_H
