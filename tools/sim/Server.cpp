#include "Server.h"

#include "Host.h"

namespace ktr::sim {

using tarn::video::VideoStreamInfo;

void Server::add(uint64_t uid, Host& host, const std::vector<VideoStreamInfo>& initial) {
    m_members[uid] = Member{&host, initial};
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
    for (const auto& [uid, member] : m_members) {
        if (uid != sharer) {
            member.host->peerShared(sharer, stream);
        }
    }
}

}  // namespace ktr::sim
