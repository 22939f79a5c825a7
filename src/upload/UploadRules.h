// The upload rules as functions of values: how the subscribers' requests merge into camera streams, the
// scene's default definition, the floor of a stream, the scene ceiling and the ranks of the result. The
// select manager and the upload policy look the values up (definition-table lookups may log, so they stay
// with their callers, in order) and write the log lines from the branch a rule reports.
#ifndef KTRSDK_UPLOAD_UPLOADRULES_H
#define KTRSDK_UPLOAD_UPLOADRULES_H

#include <vector>

#include "IKTRSDK.h"

namespace uploadrules {

// Which rule of a request count decided; each branch has its own log line.
enum class MergeBranch {
    SameDefinition,  // the requests weighed share a definition type: the lower one serves all
    Apart,           // two streams
    Close,           // one stream, the lowest: the others are near enough to it
    AllAbove240P,    // even the lowest request is above 240P: it serves all
    All240P,         // even the highest weighed request is 240P: the lowest serves all
    NoStream,        // six or more requests whose first and last differ in definition: nothing is published
};

// The bitrates to publish: streams of them, first then second.
struct MergeResult {
    MergeBranch branch;
    int streams;
    int first;
    int second;
};

// True when any request stands apart from the first one (10% and 30K away); otherwise the first request
// alone is published.
bool anyStandsApartFromFirst(const std::vector<int>& bitrates);

// Two requests b1, b2 in arrival order; sameDefinition tells whether their definition types are equal.
MergeResult mergeTwo(int b1, int b2, bool sameDefinition);
// Three, four and five requests: sorted holds their bitrates ascending, dN the definition type of sorted[N];
// each rule takes the types it weighs.
MergeResult mergeThree(const std::vector<int>& sorted, int d0, int d1, int d2);
MergeResult mergeFour(const std::vector<int>& sorted, int d0, int d3);
MergeResult mergeFive(const std::vector<int>& sorted, int d0, int d3, int d4);
// Six or more requests: only the first and the last request are weighed; lower is the lower of them and
// sameDefinition tells whether both share a definition type.
MergeResult mergeMany(int lower, bool sameDefinition);

// How a stream's floor is set.
enum class FloorBranch {
    Unchanged,  // force-HD: the stream keeps its record's floor
    Floor240P,  // the local user does not speak: the 240P minimum
    Lift480P,   // the local user speaks and the stream is below 480P: it becomes the 480P record
    Floor480P,  // the local user speaks: the 480P minimum
};
FloorBranch floorOf(bool forceHD, bool selfSpeaking, int dft);

// What the scene's default definition depends on. users counts the local user.
struct SceneFacts {
    int dt;
    int users;
    bool anySharing;
    bool speaking;
    bool selfSpeaking;
    bool remoteDt1;
};
int sceneDefaultDft(const SceneFacts& scene);

// In a meeting of more than four users where the local user does not speak, the scene default is
// published alone, whatever the requests: at its nominal bitrate, or at its minimum above six users.
bool publishesSceneDefaultAlone(int users, bool selfSpeaking);
tarn::video::VideoStreamInfo largeMeetingStream(tarn::video::VideoStreamInfo sceneDefault, int users);

// A merged stream above the scene default's maximum is replaced by the scene default record at that
// maximum.
struct CeilingResult {
    std::vector<tarn::video::VideoStreamInfo> streams;
    std::vector<bool> capped;  // per stream: it replaced a merged stream above the ceiling
};
CeilingResult underSceneCeiling(const std::vector<tarn::video::VideoStreamInfo>& merged,
                                tarn::video::VideoStreamInfo sceneDefault);

// Writes each camera stream's rank into its dft field (1 the higher, 2 the lower); false when the result
// holds neither one nor two streams, which are left unranked.
bool rankStreams(std::vector<tarn::video::VideoStreamInfo>& streams);

}  // namespace uploadrules

#endif  // KTRSDK_UPLOAD_UPLOADRULES_H
