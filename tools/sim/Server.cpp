#include "Server.h"

#include <algorithm>

#include "Host.h"
#include "MediaPath.h"

namespace ktr::sim {

using tarn::video::VideoStreamInfo;

void Server::add(uint64_t uid, Host& host, const std::vector<VideoStreamInfo>& initial) {
    m_members.erase(uid);
    m_members.emplace(uid, Member{&host, initial, Port(*this, uid), VideoStreamInfo{}, {}, {}});
}

bool Server::relaysFrom(uint64_t publisher) const {
    return m_members.at(publisher).host->hasUplink();
}

// Every other participant receiving the frame's stream of the publisher gets the frame when it arrives. The
// uplink's videos are the camera's published streams and the share; a subscriber knows them as the
// publisher's camera and its share.
void Server::Port::crossed(uint64_t video, const RelayedFrame& frame) {
    const bool share = isShareVideo(video);
    const Member& publisher = m_server.m_members.at(m_uid);
    for (const Receiver& receiver : share ? publisher.shareReceivers : publisher.cameraReceivers) {
        if (sameStream(receiver.stream, frame.stream)) {
            receiver.host->peerFrameCrossed(share ? shareVideoOf(m_uid) : m_uid, frame);
        }
    }
}

void Server::receives(uint64_t subscriber, uint64_t video, const VideoStreamInfo& stream) {
    Member& publisher = m_members.at(publisherOf(video));
    std::vector<Receiver>& receivers = isShareVideo(video) ? publisher.shareReceivers : publisher.cameraReceivers;
    const auto at = std::lower_bound(receivers.begin(), receivers.end(), subscriber,
                                     [](const Receiver& receiver, uint64_t uid) { return receiver.uid < uid; });
    if (at != receivers.end() && at->uid == subscriber) {
        at->stream = stream;
    } else {
        receivers.insert(at, Receiver{subscriber, m_members.at(subscriber).host, stream});
    }
}

void Server::Port::keyFrameWanted(uint64_t video, const VideoStreamInfo& stream, Micros at) {
    if (const auto publisher = m_server.m_members.find(publisherOf(video)); publisher != m_server.m_members.end()) {
        publisher->second.host->keyFrameWanted(stream, at);
    }
}

const std::vector<VideoStreamInfo>& Server::publishedBy(uint64_t uid) const {
    return m_members.at(uid).published;
}

std::vector<VideoStreamInfo> Server::subscriptionsTo(uint64_t publisher) const {
    std::vector<VideoStreamInfo> wishes;
    for (const auto& [uid, member] : m_members) {
        if (uid == publisher) {
            continue;
        }
        if (const std::optional<VideoStreamInfo> wish = member.host->wishFor(publisher)) {
            wishes.push_back(*wish);
        }
    }
    return wishes;
}

void Server::published(uint64_t publisher, const std::vector<VideoStreamInfo>& streams) {
    m_members.at(publisher).published = streams;
    for (const auto& [uid, member] : m_members) {
        if (uid != publisher) {
            member.host->peerPublished(publisher, streams);
        }
    }
}

void Server::shared(uint64_t sharer, const VideoStreamInfo& stream) {
    m_members.at(sharer).share = stream;
    for (const auto& [uid, member] : m_members) {
        if (uid != sharer) {
            member.host->peerShared(sharer, stream);
        }
    }
}

}  // namespace ktr::sim
