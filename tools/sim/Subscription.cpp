#include "Subscription.h"

#include "PeerStreams.h"

namespace ktr::sim {
namespace {

using tarn::video::VideoStreamInfo;

// The stream closest to the bitrate without exceeding it, or else the lowest; none for no stream.
std::optional<size_t> closestNotAbove(const std::vector<VideoStreamInfo>& published, int32_t bitrate) {
    std::optional<size_t> below;
    std::optional<size_t> lowest;
    for (size_t i = 0; i < published.size(); ++i) {
        const int32_t candidate = published[i].bitrate;
        if (candidate <= bitrate && (!below || candidate > published[*below].bitrate)) {
            below = i;
        }
        if (!lowest || candidate < published[*lowest].bitrate) {
            lowest = i;
        }
    }
    return below ? below : lowest;
}

}  // namespace

Subscription Subscription::answered(bool high) {
    Subscription subscription;
    subscription.m_basis = high ? Basis::High : Basis::Low;
    return subscription;
}

Subscription Subscription::requested(const VideoStreamInfo& request) {
    Subscription subscription;
    subscription.m_basis = Basis::Request;
    subscription.m_request = request;
    return subscription;
}

std::optional<size_t> Subscription::streamIn(const std::vector<VideoStreamInfo>& published) const {
    switch (m_basis) {
        case Basis::None:
            return std::nullopt;
        case Basis::High:
            return peerstreams::bestReceivable(published);
        case Basis::Low:
            return peerstreams::lower(published);
        case Basis::Request:
            return closestNotAbove(published, m_request.bitrate);
    }
    return std::nullopt;
}

std::optional<VideoStreamInfo> Subscription::wish(const std::vector<VideoStreamInfo>& published) const {
    if (m_basis == Basis::Request) {
        return m_request;
    }
    const std::optional<size_t> index = streamIn(published);
    return index ? std::optional<VideoStreamInfo>(published[*index]) : std::nullopt;
}

}  // namespace ktr::sim
