#ifndef KTRSDK_TOOLS_SIM_MEETINGPARSER_H
#define KTRSDK_TOOLS_SIM_MEETINGPARSER_H

#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "FieldReader.h"
#include "Meeting.h"
#include "MeetingRules.h"

namespace ktr::sim {

// Reads a meeting description from its JSON document and checks it against the meeting's rules. Every
// error names the file and the field path ("meeting.json: field "peers[2].leave_s": ...").
class MeetingParser {
public:
    explicit MeetingParser(std::string fileName);

    Meeting read(const JsonValue& document);

private:
    void readLocal(FieldReader& local);
    ParticipantLinks readLinks(FieldReader& in);
    void readPeers(FieldReader& top);
    void readPeerList(FieldReader& top);
    void readPeerGroup(FieldReader& group);
    std::map<uint16_t, double> readMix(FieldReader& group);
    void readGroupLeaves(FieldReader& group, size_t firstPeer);
    std::vector<tarn::video::VideoStreamInfo> readPublishedStreams(FieldReader& peer);
    void readSpeakers(FieldReader& top);
    TalkSpurtModel readTalkModel(FieldReader& model);
    std::vector<TimedSpan> readSpans(FieldReader& top, const std::string& name);
    void readSelectRequests(FieldReader& top);
    void readHost(FieldReader& host);
    void readLink(FieldReader& link);

    // A time within the meeting, written in seconds.
    Micros readMeetingTime(FieldReader& in, const std::string& name) const;
    Micros readMeetingTime(FieldReader& in, const std::string& name, Micros fallback) const;

    std::string m_fileName;
    Meeting m_meeting;
};

}  // namespace ktr::sim

#endif  // KTRSDK_TOOLS_SIM_MEETINGPARSER_H
