#ifndef KTRSDK_UPLOAD_KTRULPOLICY_H
#define KTRSDK_UPLOAD_KTRULPOLICY_H

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "IKTRSDK.h"
#include "core/KTRViews.h"

// Decides what the local client publishes on the camera and the share channel. Results are appended to
// the caller's vector; records already in it stay in front and count for ranking and change detection.
class KTRULPolicy {
public:
    // Takes the view of its siblings once they all exist, before any operation.
    void attach(const KTRULView& view) { m_view.emplace(view); }

    // Channel 2 gets the share table's 720P record; any other channel the camera decision. True when the
    // camera result moved by 30K or more from the previous one (always for channel 2).
    bool adjust(int channel, std::vector<tarn::video::VideoStreamInfo>& out);

    void dumpSelectInfos(const std::vector<tarn::video::VideoStreamInfo>& infos);
    void dumpSelectMap(const std::map<uint64_t, tarn::video::VideoStreamInfo>& selects);

private:
    void realAdjust(std::vector<tarn::video::VideoStreamInfo>& out);
    // The scene's default definition type for the local device type; users counts the local user.
    int getDefaultDefinition(int dt, int users, bool sharing, bool selfSharing, bool speaking, bool selfSpeaking,
                             bool remoteDt1);
    bool differsFromLast(const std::vector<tarn::video::VideoStreamInfo>& out) const;
    void appendLargeMeetingDefault(tarn::video::VideoStreamInfo def, int users,
                                   std::vector<tarn::video::VideoStreamInfo>& out);
    void appendBesideOwnShare(std::vector<tarn::video::VideoStreamInfo>& merged,
                              std::vector<tarn::video::VideoStreamInfo>& out);
    void appendUnderSceneCeiling(const std::vector<tarn::video::VideoStreamInfo>& merged,
                                 const tarn::video::VideoStreamInfo& def,
                                 std::vector<tarn::video::VideoStreamInfo>& out);
    void rankAndLog(std::vector<tarn::video::VideoStreamInfo>& out);
    bool isHighDefinition(int bitrate);

    std::optional<KTRULView> m_view;
    std::vector<tarn::video::VideoStreamInfo> m_arrLastStreams;
};

#endif  // KTRSDK_UPLOAD_KTRULPOLICY_H
