// The results reader of `ktr sim --merge` over arbitrary bytes: each NUL byte starts another shard's file.
// Merged runs, written back as one file of the whole sweep, must merge again; that file written once more
// must be the same text. That file cut anywhere, as a kill leaves it, must resume with the runs of the lines
// before the cut.
#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "ParserFuzzing.h"
#include "SweepResults.h"

namespace {

// More shards add nothing that four do not show.
constexpr size_t kMostFiles = 4;

std::vector<ktr::sim::ResultsText> filesOf(std::string_view bytes) {
    std::vector<ktr::sim::ResultsText> files;
    size_t start = 0;
    while (files.size() + 1 < kMostFiles) {
        const size_t end = bytes.find('\0', start);
        if (end == std::string_view::npos) {
            break;
        }
        files.push_back({"shard" + std::to_string(files.size() + 1), std::string(bytes.substr(start, end - start))});
        start = end + 1;
    }
    files.push_back({"shard" + std::to_string(files.size() + 1), std::string(bytes.substr(start))});
    return files;
}

std::string written(const ktr::sim::MergedSweep& merged) {
    std::ostringstream out;
    ktr::sim::writeSweepResults(out, merged.sweep, ktr::sim::Shard{}, merged.runs);
    return out.str();
}

// A resumed shard keeps exactly the complete lines before the cut, and nothing after it.
void checkCutFile(const std::string& whole, const ktr::sim::MergedSweep& merged, size_t cut) {
    const std::string kept = whole.substr(0, cut);
    const size_t lineEnd = kept.rfind('\n');
    const size_t complete = lineEnd == std::string::npos ? 0 : lineEnd + 1;
    const size_t lines = static_cast<size_t>(std::count(kept.begin(), kept.end(), '\n'));
    ktr::sim::RecordedShard recorded;
    try {
        recorded = ktr::sim::readRecordedShard({"cut", kept}, merged.sweep, ktr::sim::Shard{});
    } catch (const ktr::InputError& error) {
        ktr::fuzz::reportFinding(std::string("a cut results file is refused: ") + error.what(), kept);
    }
    if (recorded.completeBytes != complete || recorded.headerWritten != (lines > 0) ||
        recorded.runs.size() != (lines > 0 ? lines - 1 : 0)) {
        ktr::fuzz::reportFinding("a cut results file resumes with other runs than its complete lines", kept);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<ktr::sim::ResultsText> files =
        filesOf(std::string_view(reinterpret_cast<const char*>(data), size));
    const auto merged = ktr::fuzz::acceptedOrRefused([&] { return ktr::sim::mergeSweepResults(files); });
    if (!merged) {
        return 0;
    }
    // The merged sweep as one file of the whole sweep: it must merge again, and be written as the same text.
    ktr::fuzz::checkRoundTrip(
        written(*merged),
        [](const std::string& text) {
            return ktr::sim::mergeSweepResults(std::vector<ktr::sim::ResultsText>{{"whole", text}});
        },
        written,
        [](const ktr::sim::MergedSweep& one, const ktr::sim::MergedSweep& other) {
            return written(one) == written(other);
        });
    const std::string whole = written(*merged);
    checkCutFile(whole, *merged, size % (whole.size() + 1));
    return 0;
}
