// What a subscriber receives of one peer, as the host (and the conference server) know it from the
// interface alone: after an HD/LD answer, the peer's higher or lower published stream; after a download
// request for the peer, the request's parameters, until the next HD/LD change for that peer.
#ifndef KTRSDK_TOOLS_SIM_SUBSCRIPTION_H
#define KTRSDK_TOOLS_SIM_SUBSCRIPTION_H

#include <cstddef>
#include <optional>
#include <vector>

#include "IKTRSDK.h"

namespace ktr::sim {

class Subscription {
public:
    enum class Basis { None, High, Low, Request };

    // The peer is in the answer's hd set (high) or its ld set.
    static Subscription answered(bool high);
    // A download request for the peer took effect.
    static Subscription requested(const tarn::video::VideoStreamInfo& request);

    Basis basis() const { return m_basis; }
    bool follows(bool high) const { return m_basis == (high ? Basis::High : Basis::Low); }
    // The published stream this subscription receives: the higher or the lower one for an answer; for a
    // request the one closest to its bitrate that does not exceed it, or else the lowest. None when the
    // peer publishes nothing.
    std::optional<size_t> streamIn(const std::vector<tarn::video::VideoStreamInfo>& published) const;
    // What the subscriber asks the publisher for: the request's parameters, or else the stream it receives.
    std::optional<tarn::video::VideoStreamInfo> wish(const std::vector<tarn::video::VideoStreamInfo>& published) const;

private:
    Basis m_basis = Basis::None;
    tarn::video::VideoStreamInfo m_request{};
};

}  // namespace ktr::sim

#endif  // KTRSDK_TOOLS_SIM_SUBSCRIPTION_H
