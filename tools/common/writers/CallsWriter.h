// The host's calls on the library, one line per call, in a plain text form that a program with nothing but
// the C++ standard library reads back (tests/platform/call_player.cpp replays it on other platforms).
//
// The first line names the form and its version: "ktrsdk-calls 1". Every other line is one call: the
// interface operation's name, then its arguments, separated by one blank:
//   init UID DT                              setSceneType VALUE
//   setConfig FORCEHD AUXFLAG AUXBITRATE1 AUXBITRATE2
//   addUser USER                             removeUser USER
//   setUsers COUNT USER...                   setSharing SHARING UID
//   setSpeaker SPEAKING UID                  addPeerReport UID COUNT RECORD...
//   clearPeerReports                         addSelectReq WIDTH HEIGHT FPS BITRATE
//   clearSelectReqs                          setULNetStatus STATUS SCORE BITRATE MAXBITRATE
//   setDLNetStatus STATUS SCORE BITRATE MAXBITRATE
//   initStreamInfosForDft COUNT RECORD...    adjustULPolicy CHANNEL
//   adjustDLPolicy CHANNEL                   getHDUids
//   getDftInfoByBitrate BITRATE
// USER is four values, UID ATTR DT EXT; RECORD is a VideoStreamInfo's eight fields in the interface's order,
// CHANNEL DFT WIDTH HEIGHT FPS BITRATE MAXBITRATE MINBITRATE; COUNT is how many USERs or RECORDs follow.
// Numbers are decimal (uids unsigned 64-bit, ATTR and DT of a user unsigned 16-bit, the others signed 32-bit);
// a flag is 0 or 1. EXT, which may hold any bytes, is "x" followed by two lowercase hex digits per byte
// ("x" alone: empty). The writer performs each step on itself as the library would receive it, so a value
// the scenario leaves unknown is written as the library gets it: 0, or an empty list.
#ifndef KTRSDK_TOOLS_COMMON_CALLSWRITER_H
#define KTRSDK_TOOLS_COMMON_CALLSWRITER_H

#include <ostream>

#include "IKTRSDK.h"
#include "TimelineWriter.h"

namespace ktr {

// A step reaches the stream through the same code that calls the library (performAction): the writer is
// the instance it calls, and each operation writes its line. Questions answer nothing.
class CallsWriter : public TimelineWriter, private tarn::video::IKTRSDK {
public:
    // The first line of the form, with its version.
    static constexpr const char* kFormLine = "ktrsdk-calls 1";

    explicit CallsWriter(std::ostream& out) : m_out(out) {}
    void begin(const TimelineHeader& header) override;
    void write(const TimelineStep& step) override;

private:
    void init(uint64_t uid, int dt) override;
    void setSceneType(int sceneType) override;
    void setConfig(const tarn::video::KTRConfig& config) override;
    void addUser(const tarn::video::KTRUserInfo& user) override;
    void removeUser(const tarn::video::KTRUserInfo& user) override;
    void setUsers(const std::vector<tarn::video::KTRUserInfo>& users) override;
    void setSharing(bool sharing, uint64_t uid) override;
    void setSpeaker(bool speaking, uint64_t uid) override;
    bool adjustDLPolicy(int channel, std::map<uint64_t, tarn::video::VideoStreamInfo>& result) override;
    bool adjustULPolicy(int channel, std::vector<tarn::video::VideoStreamInfo>& result) override;
    void getHDUids(std::set<uint64_t>& hdUids, std::set<uint64_t>& ldUids) override;
    void addSelectReq(int width, int height, int fps, int bitrate) override;
    void clearSelectReqs() override;
    void addPeerReport(uint64_t uid, const std::vector<tarn::video::VideoStreamInfo>& infos) override;
    void clearPeerReports() override;
    void setULNetStatus(int netStatus, int score, int bitrate, int maxBitrate) override;
    void setDLNetStatus(int netStatus, int score, int bitrate, int maxBitrate) override;
    void initStreamInfosForDft(const std::vector<tarn::video::VideoStreamInfo>& infos) override;
    void getDftInfoByBitrate(int bitrate, tarn::video::VideoStreamInfo& out) override;

    std::ostream& m_out;
};

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_CALLSWRITER_H
