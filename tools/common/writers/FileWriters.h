// The file outputs every timeline command offers: --json, --csv, --log-file and --html.
#ifndef KTRSDK_TOOLS_COMMON_FILEWRITERS_H
#define KTRSDK_TOOLS_COMMON_FILEWRITERS_H

#include <string>

#include "HtmlReport.h"
#include "OutputFiles.h"
#include "TimelineWriter.h"

namespace ktr {

// The name that sends the JSON Lines to standard output in place of a file.
constexpr const char* kStandardOutput = "-";

struct FilePaths {
    std::string json;
    std::string csv;
    std::string logFile;
    std::string html;
    ReportChart::Options chart;                      // for --html
    StateWriting jsonState = StateWriting::Changes;  // for --json
};

// Opens the files that are named and adds their writers to the group (JSON Lines go to standard output when
// the JSON path is kStandardOutput); returns the HTML report (null when none is named), which a simulation
// also feeds its samples.
HtmlReport* addFileWriters(const FilePaths& paths, OutputFiles& files, WriterGroup& writers);

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_FILEWRITERS_H
