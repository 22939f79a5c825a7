#include "KTRSelectMgr.h"

#include <algorithm>
#include <cstdint>

#include "core/KTRCodes.h"
#include "core/KTRSceneInfo.h"
#include "dft/KTRDFTMap.h"
#include "log/KTRLog.h"
#include "upload/UploadRules.h"

using tarn::video::VIDEO_DFT_240P;
using tarn::video::VIDEO_DFT_480P;
using tarn::video::VIDEO_DFT_720P;
using tarn::video::VIDEO_DFT_DEFAULT;
using tarn::video::VideoStreamInfo;

using ktrcodes::kCameraChannel;
using ktrcodes::kDeviceType4;
using uploadrules::FloorBranch;
using uploadrules::MergeBranch;
using uploadrules::MergeResult;

void KTRSelectMgr::addSelectReq(int width, int height, int fps, int bitrate) {
    VideoSelectRequest request{width, height, fps, bitrate};
    addSelectReq(request);
}

void KTRSelectMgr::addSelectReq(VideoSelectRequest& request) {
    amendSelectRequest(request);
    m_arrRequests.push_back(request);
}

void KTRSelectMgr::setSelectReqs(std::vector<VideoSelectRequest>& requests) {
    m_arrRequests.clear();
    for (VideoSelectRequest& request : requests) {
        amendSelectRequest(request);
        m_arrRequests.push_back(request);
    }
}

void KTRSelectMgr::amendSelectRequest(VideoSelectRequest& request) {
    KTRDFTMap& dfts = m_view->dfts;
    const int minBitrate = dfts.getMinBitrateByDft(VIDEO_DFT_240P);
    const int maxBitrate = dfts.getMaxBitrateByDft(VIDEO_DFT_720P);
    if (static_cast<uint32_t>(request.bitrate) < static_cast<uint32_t>(minBitrate)) {
        ktrlog::write<ktrlog::SelectAmendMin>(request.bitrate, minBitrate, maxBitrate);
        request.bitrate = minBitrate;
    }
    if (static_cast<uint32_t>(request.bitrate) > static_cast<uint32_t>(maxBitrate)) {
        ktrlog::write<ktrlog::SelectAmendMax>(request.bitrate, minBitrate, maxBitrate);
        request.bitrate = maxBitrate;
    }
}

void KTRSelectMgr::clear() {
    m_arrRequests.clear();
}

void KTRSelectMgr::calculateMinBitrate(VideoStreamInfo& info) const {
    KTRDFTMap& dfts = m_view->dfts;
    const int dft = dfts.getDftByBitrate(info.bitrate);
    switch (uploadrules::floorOf(m_view->config.getForceHD(), m_view->scene.isSelfSpeaking(), dft)) {
        case FloorBranch::Unchanged:
            break;
        case FloorBranch::Floor240P:
            info.minbitrate = dfts.getMinBitrateByDft(VIDEO_DFT_240P);
            break;
        case FloorBranch::Lift480P:
            dfts.getDftInfoByDft(kCameraChannel, VIDEO_DFT_480P, info);
            break;
        case FloorBranch::Floor480P:
            info.minbitrate = dfts.getMinBitrateByDft(VIDEO_DFT_480P);
            break;
    }
    ktrlog::write<ktrlog::SelectCalculateMinBitrate>(info.width, info.height, info.bitrate, info.minbitrate,
                                                     info.maxbitrate, info.channel, info.dft);
}

void KTRSelectMgr::adjustRequests(std::vector<VideoStreamInfo>& out) const {
    out.clear();
    if (m_arrRequests.empty()) {
        return;
    }
    if (m_arrRequests.size() == 1 || !uploadrules::anyStandsApartFromFirst(bitrates())) {
        adjustSelects_1(out);
        return;
    }
    switch (m_arrRequests.size()) {
        case 2:
            adjustSelects_2(out);
            break;
        case 3:
            adjustSelects_3(out);
            break;
        case 4:
            adjustSelects_4(out);
            break;
        case 5:
            adjustSelects_5(out);
            break;
        default:
            adjustSelects_others(out);
            break;
    }
    for (const VideoStreamInfo& info : out) {
        ktrlog::write<ktrlog::SelectAdjustRequestsResult>(info.width, info.height, info.bitrate, info.maxbitrate,
                                                          info.minbitrate);
    }
}

void KTRSelectMgr::adjustSelects_1(std::vector<VideoStreamInfo>& out) const {
    // adjustRequests calls it with at least one request only.
    if (m_arrRequests.empty()) {
        return;
    }
    VideoStreamInfo info = makeStreamInfo(bitrateOf(0));
    if (m_view->scene.getDt() == kDeviceType4) {
        KTRDFTMap& dfts = m_view->dfts;
        const int floor = dfts.getMinBitrateByDft(VIDEO_DFT_480P);
        if (info.bitrate < floor) {
            dfts.getDftInfoByDft(kCameraChannel, VIDEO_DFT_480P, info);
            info.bitrate = floor;
            info.maxbitrate = floor;
        }
    } else {
        calculateMinBitrate(info);
    }
    out.push_back(info);
}

void KTRSelectMgr::adjustSelects_2(std::vector<VideoStreamInfo>& out) const {
    if (m_arrRequests.size() < 2) {
        ktrlog::write<ktrlog::SelectAdjust2TooFew>(requestCount());
        return;
    }
    const int b1 = bitrateOf(0);
    const int b2 = bitrateOf(1);
    const MergeResult merged = uploadrules::mergeTwo(b1, b2, isSameDft(b1, b2));
    if (merged.branch == MergeBranch::SameDefinition) {
        ktrlog::write<ktrlog::SelectAdjust2SameDft>(b1, b2, merged.first);
    } else {
        ktrlog::write<ktrlog::SelectAdjust2DifferentDft>(b1, b2);
    }
    emit(merged, out);
}

void KTRSelectMgr::adjustSelects_3(std::vector<VideoStreamInfo>& out) const {
    if (m_arrRequests.size() < 3) {
        ktrlog::write<ktrlog::SelectAdjust3TooFew>(requestCount());
        return;
    }
    const std::vector<int> s = sortedBitrates(3);
    const int d0 = dftOf(s[0]);
    const int d1 = dftOf(s[1]);
    const int d2 = dftOf(s[2]);
    const MergeResult merged = uploadrules::mergeThree(s, d0, d1, d2);
    if (merged.branch == MergeBranch::AllAbove240P) {
        ktrlog::write<ktrlog::SelectAdjust3AllAbove240P>(bitrateOf(0), bitrateOf(1), bitrateOf(2), merged.first);
    } else if (merged.branch == MergeBranch::All240P) {
        ktrlog::write<ktrlog::SelectAdjust3All240P>(bitrateOf(0), bitrateOf(1), bitrateOf(2), merged.first);
    } else {
        ktrlog::write<ktrlog::SelectAdjust3Two>(bitrateOf(0), bitrateOf(1), bitrateOf(2), merged.first, merged.second);
    }
    emit(merged, out);
}

void KTRSelectMgr::adjustSelects_4(std::vector<VideoStreamInfo>& out) const {
    if (m_arrRequests.size() < 4) {
        ktrlog::write<ktrlog::SelectAdjust4TooFew>(requestCount());
        return;
    }
    const std::vector<int> s = sortedBitrates(4);
    const int d0 = dftOf(s[0]);
    const int d3 = dftOf(s[3]);
    const MergeResult merged = uploadrules::mergeFour(s, d0, d3);
    switch (merged.branch) {
        case MergeBranch::AllAbove240P:
            ktrlog::write<ktrlog::SelectAdjust4AllAbove240P>(bitrateOf(0), bitrateOf(1), bitrateOf(2), bitrateOf(3),
                                                             merged.first);
            break;
        case MergeBranch::All240P:
            ktrlog::write<ktrlog::SelectAdjust4All240P>(bitrateOf(0), bitrateOf(1), bitrateOf(2), bitrateOf(3),
                                                        merged.first);
            break;
        case MergeBranch::Apart:
            ktrlog::write<ktrlog::SelectAdjust4Two>(bitrateOf(0), bitrateOf(1), bitrateOf(2), bitrateOf(3),
                                                    merged.first, merged.second);
            break;
        default:
            ktrlog::write<ktrlog::SelectAdjust4AllClose>(bitrateOf(0), bitrateOf(1), bitrateOf(2), bitrateOf(3),
                                                         merged.first);
            break;
    }
    emit(merged, out);
}

void KTRSelectMgr::adjustSelects_5(std::vector<VideoStreamInfo>& out) const {
    if (m_arrRequests.size() < 5) {
        ktrlog::write<ktrlog::SelectAdjust5TooFew>(requestCount());
        return;
    }
    const std::vector<int> s = sortedBitrates(5);
    const int d0 = dftOf(s[0]);
    const int d3 = dftOf(s[3]);
    const int d4 = dftOf(s[4]);
    const MergeResult merged = uploadrules::mergeFive(s, d0, d3, d4);
    switch (merged.branch) {
        case MergeBranch::AllAbove240P:
            ktrlog::write<ktrlog::SelectAdjust5AllAbove240P>(bitrateOf(0), bitrateOf(1), bitrateOf(2), bitrateOf(3),
                                                             bitrateOf(4), merged.first);
            break;
        case MergeBranch::All240P:
            ktrlog::write<ktrlog::SelectAdjust5All240P>(bitrateOf(0), bitrateOf(1), bitrateOf(2), bitrateOf(3),
                                                        bitrateOf(4), merged.first);
            break;
        case MergeBranch::Apart:
            ktrlog::write<ktrlog::SelectAdjust5Two>(bitrateOf(0), bitrateOf(1), bitrateOf(2), bitrateOf(3),
                                                    bitrateOf(4), merged.first, merged.second);
            break;
        default:
            ktrlog::write<ktrlog::SelectAdjust5AllClose>(bitrateOf(0), bitrateOf(1), bitrateOf(2), bitrateOf(3),
                                                         bitrateOf(4), merged.first);
            break;
    }
    emit(merged, out);
}

void KTRSelectMgr::adjustSelects_others(std::vector<VideoStreamInfo>& out) const {
    if (m_arrRequests.empty()) {
        ktrlog::write<ktrlog::SelectAdjustOthersTooFew>(requestCount());
        return;
    }
    const int first = bitrateOf(0);
    const int last = m_arrRequests.back().bitrate;
    const int lo = std::min(first, last);
    const int hi = std::max(first, last);
    const MergeResult merged = uploadrules::mergeMany(lo, isSameDft(lo, hi));
    if (merged.branch == MergeBranch::SameDefinition) {
        ktrlog::write<ktrlog::SelectAdjustOthersSameDft>(lo, hi, lo, lo);
    }
    emit(merged, out);
}

void KTRSelectMgr::dumpSelectReqs(const std::vector<VideoSelectRequest>& requests) const {
    ktrlog::write<ktrlog::SelectDumpStart>();
    for (const VideoSelectRequest& request : requests) {
        ktrlog::write<ktrlog::SelectDumpRequest>(request.width, request.height, request.fps, request.bitrate);
    }
    ktrlog::write<ktrlog::SelectDumpStop>();
}

std::vector<int> KTRSelectMgr::bitrates() const {
    std::vector<int> bitrates;
    for (const VideoSelectRequest& request : m_arrRequests) {
        bitrates.push_back(request.bitrate);
    }
    return bitrates;
}

std::vector<int> KTRSelectMgr::sortedBitrates(size_t count) const {
    std::vector<int> sorted = bitrates();
    sorted.resize(count);
    std::sort(sorted.begin(), sorted.end());
    return sorted;
}

bool KTRSelectMgr::isSameDft(int left, int right) const {
    // Both lookups may log: the left one runs first.
    const int leftDft = dftOf(left);
    return leftDft == dftOf(right);
}

int KTRSelectMgr::dftOf(int bitrate) const {
    return m_view->dfts.getDftByBitrate(bitrate);
}

VideoStreamInfo KTRSelectMgr::makeStreamInfo(int bitrate) const {
    VideoStreamInfo info{};
    m_view->dfts.getDftInfoByDft(kCameraChannel, bitrate > 0 ? dftOf(bitrate) : VIDEO_DFT_DEFAULT, info);
    info.bitrate = bitrate;
    info.maxbitrate = bitrate;
    return info;
}

void KTRSelectMgr::emit(const MergeResult& merged, std::vector<VideoStreamInfo>& out) const {
    if (merged.streams == 1) {
        emitOne(merged.first, out);
    } else if (merged.streams == 2) {
        emitTwo(merged.first, merged.second, out);
    }
}

void KTRSelectMgr::emitOne(int bitrate, std::vector<VideoStreamInfo>& out) const {
    VideoStreamInfo info = makeStreamInfo(bitrate);
    calculateMinBitrate(info);
    out.push_back(info);
}

void KTRSelectMgr::emitTwo(int first, int second, std::vector<VideoStreamInfo>& out) const {
    VideoStreamInfo firstInfo = makeStreamInfo(first);
    VideoStreamInfo secondInfo = makeStreamInfo(second);
    calculateMinBitrate(firstInfo);
    calculateMinBitrate(secondInfo);
    out.push_back(firstInfo);
    // The speaker lift can turn both into the same 480P stream; publish it once.
    if (secondInfo.bitrate != firstInfo.bitrate) {
        out.push_back(secondInfo);
    }
}
