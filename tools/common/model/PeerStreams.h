// Which of a peer's published streams the download policy receives, with the library's own rules: the
// upper stream exists only for exactly two streams (the one with the greater bitrate, the second on equal
// bitrates; with any other count an upper choice stores an all-zero record); the lower stream is the only
// one, or the lesser of the first two (the first on equal bitrates). A peer with fewer than two streams has
// nothing lower to receive, so it is always in high definition.
#ifndef KTRSDK_TOOLS_COMMON_MODEL_PEERSTREAMS_H
#define KTRSDK_TOOLS_COMMON_MODEL_PEERSTREAMS_H

#include <cstddef>
#include <optional>
#include <type_traits>
#include <vector>

namespace ktr::peerstreams {

// The bitrate of a stream of any record type the tools hold.
template <class Stream>
auto bitrateOf(const Stream& stream) {
    if constexpr (std::is_integral_v<decltype(stream.bitrate)>) {
        return stream.bitrate;
    } else {
        return stream.bitrate.value_or(0);
    }
}

// The index of the upper stream; none unless there are exactly two.
template <class Stream>
std::optional<size_t> upper(const std::vector<Stream>& streams) {
    if (streams.size() != 2) {
        return std::nullopt;
    }
    return bitrateOf(streams[0]) > bitrateOf(streams[1]) ? 0 : 1;
}

// The index of the lower stream; none for no stream.
template <class Stream>
std::optional<size_t> lower(const std::vector<Stream>& streams) {
    if (streams.empty()) {
        return std::nullopt;
    }
    if (streams.size() == 1) {
        return 0;
    }
    return bitrateOf(streams[0]) > bitrateOf(streams[1]) ? 1 : 0;
}

// The index of the best stream the download policy can receive: the upper of two, the only one of one;
// of three or more the lower of the first two, since an upper choice among them receives nothing. None for
// no stream.
template <class Stream>
std::optional<size_t> bestReceivable(const std::vector<Stream>& streams) {
    return streams.size() == 2 ? upper(streams) : lower(streams);
}

// Whether the peer can be received in low definition: it publishes two or more streams.
template <class Stream>
bool hasLower(const std::vector<Stream>& streams) {
    return streams.size() >= 2;
}

}  // namespace ktr::peerstreams

#endif  // KTRSDK_TOOLS_COMMON_MODEL_PEERSTREAMS_H
