// Notes on answers that a newcomer reads as wrong, saying why they are right here: all-zero records,
// the built-in 720P width, the share table, why the change flag is set or not, where a peer's definition
// comes from. Every note has a kind (notekind below), a stable key that says which claim its text makes.
#ifndef KTRSDK_TOOLS_COMMON_ANSWERNOTES_H
#define KTRSDK_TOOLS_COMMON_ANSWERNOTES_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "DefinitionTable.h"
#include "Timeline.h"

namespace ktr {

namespace notekind {
// Records.
constexpr const char* kAllZero = "record.all_zero";         // stream N of the answer is all zero (rank aside)
constexpr const char* kBuiltIn720 = "record.built_in_720";  // stream N is 1080x720
// Camera answers.
constexpr const char* kNoCamera = "camera.none";                // no stream: the local user shares
constexpr const char* kUnranked = "camera.unranked";            // force-HD or large meeting: dft is the table's
constexpr const char* kRanked = "camera.ranked";                // dft holds the rank
constexpr const char* kCameraCount = "camera.changed.count";    // another number of streams than before
constexpr const char* kCameraMoved = "camera.changed.bitrate";  // stream N moved by 30720 or more
constexpr const char* kCameraUnchanged = "camera.unchanged";    // same count, every move below 30720
// Share answers.
constexpr const char* kNoShareTable = "share.no_table";  // the share record is all zero
constexpr const char* kShareChanged = "share.changed";   // always a change
// Download answers.
constexpr const char* kCutFromChosen = "download.cut";               // a cut starts from the chosen streams
constexpr const char* kReceives = "download.receives";               // peer X receives B, asked for C
constexpr const char* kRequestBuiltIn720 = "download.built_in_720";  // peer X's request is 1080x720
constexpr const char* kDownloadNoPeer = "download.no_peer";          // no report stored: nothing compared
constexpr const char* kDownloadCount = "download.changed.count";     // another number of requests
constexpr const char* kDownloadNewPeer = "download.changed.peer";    // peer X had no previous request
constexpr const char* kDownloadMoved = "download.changed.bitrate";   // peer X moved by 30720 or more
constexpr const char* kDownloadUnchanged = "download.unchanged";     // same peers, every move below 30720
// Either question: the flag and the comparison with the previous answer disagree.
constexpr const char* kFlagUnexplained = "change.unexplained";
// HD/LD answers.
constexpr const char* kNothingLower = "hdld.nothing_lower";  // peer X has fewer than two streams: high
constexpr const char* kSplitByClass = "hdld.class";          // peer X's chosen and lower stream's classes
// Definition lookups.
constexpr const char* kLookup = "definition.lookup";
}  // namespace notekind

// Writes the notes of each step's answer; it remembers the previous camera answer and the previous
// download requests, which the change flags compare with, so it must see every step of one instance.
class AnswerNotes {
public:
    // Adds to step.notes and step.noteKinds; step.state is the state after the step.
    void annotate(TimelineStep& step, const DefinitionTable& definitions);

private:
    void onCamera(const UploadAnswer& answer, TimelineStep& step);
    void onDownload(const DownloadAnswer& answer, TimelineStep& step);

    std::vector<int32_t> m_lastCamera;           // bitrates of the previous camera answer
    std::map<uint64_t, int32_t> m_lastRequests;  // bitrate by peer of the previous adjustment
};

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_ANSWERNOTES_H
