// The conference server between the participants' hosts: it keeps what each participant publishes, hands a
// publisher its subscribers' current subscriptions (as their select requests), and passes a publisher's
// new published streams to every other participant, whose host forwards to itself the stream its
// subscription asks for and hears the publisher's report after the report delay.
#ifndef KTRSDK_TOOLS_SIM_SERVER_H
#define KTRSDK_TOOLS_SIM_SERVER_H

#include <cstdint>
#include <map>
#include <vector>

#include "FrameRelay.h"
#include "IKTRSDK.h"

namespace ktr::sim {

class Host;

class Server {
public:
    // A participant's host and what it publishes until its first upload answer. The host must outlive the
    // server's use of it.
    void add(uint64_t uid, Host& host, const std::vector<tarn::video::VideoStreamInfo>& initial);
    // The server as the participant's links see it: the frames that cross its uplink are forwarded to the
    // subscribers that receive their stream, and its downlink's key-frame requests go to the publisher.
    FrameRelay& relayOf(uint64_t uid) { return m_members.at(uid).port; }
    // Whether the publisher's frames reach the server over an uplink of its own; without one its published
    // streams reach every subscriber as they are published.
    bool relaysFrom(uint64_t publisher) const;

    const std::vector<tarn::video::VideoStreamInfo>& publishedBy(uint64_t uid) const;
    // What every other participant subscribed to of the publisher asks for now, in uid order.
    std::vector<tarn::video::VideoStreamInfo> subscriptionsTo(uint64_t publisher) const;
    // The publisher's camera streams changed: every other participant's host is told.
    void published(uint64_t publisher, const std::vector<tarn::video::VideoStreamInfo>& streams);
    // The sharer's share answer (nothing: it stopped sharing) goes to every other participant.
    void shared(uint64_t sharer, const tarn::video::VideoStreamInfo& stream);
    // What the participant shares now (nothing while it does not), for a participant that meets it later.
    const tarn::video::VideoStreamInfo& sharedBy(uint64_t uid) const { return m_members.at(uid).share; }
    // The subscriber's downlink relays this stream of the video (a publisher's uid, or its share's) from now
    // on (nothing: none): the frames of that stream that cross the publisher's uplink go to it, and no other.
    void receives(uint64_t subscriber, uint64_t video, const tarn::video::VideoStreamInfo& stream);

private:
    class Port : public FrameRelay {
    public:
        Port(Server& server, uint64_t uid) : m_server(server), m_uid(uid) {}
        void crossed(uint64_t video, const RelayedFrame& frame) override;
        void keyFrameWanted(uint64_t video, const tarn::video::VideoStreamInfo& stream, Micros at) override;

    private:
        Server& m_server;
        uint64_t m_uid;
    };
    // A subscriber of a publisher's camera or share, and the stream of it its downlink relays.
    struct Receiver {
        uint64_t uid;
        Host* host;
        tarn::video::VideoStreamInfo stream;
    };
    struct Member {
        Host* host = nullptr;
        std::vector<tarn::video::VideoStreamInfo> published;
        Port port;
        tarn::video::VideoStreamInfo share{};
        std::vector<Receiver> cameraReceivers;  // in uid order
        std::vector<Receiver> shareReceivers;   // in uid order
    };
    std::map<uint64_t, Member> m_members;
};

}  // namespace ktr::sim

#endif  // KTRSDK_TOOLS_SIM_SERVER_H
