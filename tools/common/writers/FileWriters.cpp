#include "FileWriters.h"

#include <iostream>

#include "CsvWriter.h"
#include "JsonLinesWriter.h"
#include "LogFileWriter.h"

namespace ktr {

HtmlReport* addFileWriters(const FilePaths& paths, OutputFiles& files, WriterGroup& writers) {
    if (paths.json == kStandardOutput) {
        writers.add(std::make_unique<JsonLinesWriter>(std::cout, paths.jsonState));
    } else if (!paths.json.empty()) {
        writers.add(std::make_unique<JsonLinesWriter>(files.open(paths.json), paths.jsonState));
    }
    if (!paths.csv.empty()) {
        writers.add(std::make_unique<CsvWriter>(files.open(paths.csv)));
    }
    if (!paths.logFile.empty()) {
        writers.add(std::make_unique<LogFileWriter>(files.open(paths.logFile)));
    }
    if (paths.html.empty()) {
        return nullptr;
    }
    auto report = std::make_unique<HtmlReport>(files.open(paths.html), paths.chart);
    HtmlReport* html = report.get();
    writers.add(std::move(report));
    return html;
}

}  // namespace ktr
