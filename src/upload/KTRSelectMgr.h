#ifndef KTRSDK_UPLOAD_KTRSELECTMGR_H
#define KTRSDK_UPLOAD_KTRSELECTMGR_H

#include <cstddef>
#include <optional>
#include <vector>

#include "IKTRSDK.h"
#include "core/KTRViews.h"
#include "upload/UploadRules.h"
#include "upload/VideoSelectRequest.h"

// Collects the subscribers' select requests for the local camera video, amends their bitrates into the
// range of the definition table, and merges them into the camera streams to publish.
class KTRSelectMgr {
public:
    // Takes the view of its siblings once they all exist, before any operation.
    void attach(const KTRSelectView& view) { m_view.emplace(view); }

    void addSelectReq(int width, int height, int fps, int bitrate);
    void addSelectReq(VideoSelectRequest& request);
    // Replaces the list; the caller's requests are amended in place too.
    void setSelectReqs(std::vector<VideoSelectRequest>& requests);
    void clear();
    const std::vector<VideoSelectRequest>& requests() const { return m_arrRequests; }

    // Empties out, then fills it with none, one, or two camera streams (the lower one first except
    // where two requests keep their arrival order).
    void adjustRequests(std::vector<tarn::video::VideoStreamInfo>& out) const;
    void dumpSelectReqs(const std::vector<VideoSelectRequest>& requests) const;

private:
    // Moves the bitrate into [240P minimum, 720P maximum], compared as unsigned.
    void amendSelectRequest(VideoSelectRequest& request);
    // Sets the floor a stream may fall to; while the local user speaks, streams below 480P become 480P.
    void calculateMinBitrate(tarn::video::VideoStreamInfo& info) const;
    // The rule set of each request count; adjustRequests picks one, the others only append.
    void adjustSelects_1(std::vector<tarn::video::VideoStreamInfo>& out) const;
    void adjustSelects_2(std::vector<tarn::video::VideoStreamInfo>& out) const;
    void adjustSelects_3(std::vector<tarn::video::VideoStreamInfo>& out) const;
    void adjustSelects_4(std::vector<tarn::video::VideoStreamInfo>& out) const;
    void adjustSelects_5(std::vector<tarn::video::VideoStreamInfo>& out) const;
    void adjustSelects_others(std::vector<tarn::video::VideoStreamInfo>& out) const;

    int bitrateOf(size_t index) const { return m_arrRequests[index].bitrate; }
    int requestCount() const { return static_cast<int>(m_arrRequests.size()); }
    // The requests' bitrates in arrival order.
    std::vector<int> bitrates() const;
    // The bitrates of the first count requests, ascending.
    std::vector<int> sortedBitrates(size_t count) const;
    int dftOf(int bitrate) const;
    bool isSameDft(int left, int right) const;
    tarn::video::VideoStreamInfo makeStreamInfo(int bitrate) const;
    void emit(const uploadrules::MergeResult& merged, std::vector<tarn::video::VideoStreamInfo>& out) const;
    void emitOne(int bitrate, std::vector<tarn::video::VideoStreamInfo>& out) const;
    void emitTwo(int first, int second, std::vector<tarn::video::VideoStreamInfo>& out) const;

    std::optional<KTRSelectView> m_view;
    std::vector<VideoSelectRequest> m_arrRequests;
};

#endif  // KTRSDK_UPLOAD_KTRSELECTMGR_H
