// Public interface of ktrsdk, the video stream policy library.
//
// A host creates an instance with tarn::video::KTRSDKFactory::createKTRSDK(), feeds it the events of a
// meeting through tarn::video::IKTRSDK and asks it how to publish the local camera (adjustULPolicy) and
// which stream of each peer to receive (adjustDLPolicy, getHDUids). Record layouts and the order of the
// virtual operations are part of the binary interface: never reorder or resize them.
//
// This header compiles on its own under C++11 and later.
#ifndef KTRSDK_IKTRSDK_H
#define KTRSDK_IKTRSDK_H

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#if defined(_WIN32)
#define KTRSDK_API
#else
#define KTRSDK_API __attribute__((visibility("default")))
#endif

namespace tarn {
namespace video {

// Resolution classes of the definition table.
enum VideoDefinitionType : int32_t {
    VIDEO_DFT_DEFAULT = 0,
    VIDEO_DFT_180P = 2,
    VIDEO_DFT_240P = 3,
    VIDEO_DFT_480P = 4,
    VIDEO_DFT_720P = 5,
    VIDEO_DFT_1080P = 6,
};

// Network state codes of an upload or download estimate. Codes 2 and 3 report headroom, 4 and 5
// congestion (5 the worse); they have no names of their own.
enum VideoNetStatus : int32_t {
    VIDEO_NET_ESTIMAT_NORMAL = 1,
};

// One video stream: a peer's published stream, a definition table row, or a decision.
// A record that the library fills for the host should start all zero ({}).
struct VideoStreamInfo {
    int32_t channel;  // 1 camera, 2 share
    int32_t dft;      // definition type; the rank (1 or 2) in upload decisions
    int32_t width;
    int32_t height;
    int32_t fps;
    int32_t bitrate;  // bit/s
    int32_t maxbitrate;
    int32_t minbitrate;
};

// A conference user; identified by (uid, dt). attr and ext are carried, never interpreted.
struct KTRUserInfo {
    uint64_t uid;
    uint16_t attr;
    uint16_t dt;
    std::string ext;
};

// The local configuration. Only forceHD is read by the library; the other fields are stored.
struct KTRConfig {
    bool forceHD;
    bool auxFlag;
    int32_t auxBitrate1;
    int32_t auxBitrate2;

    KTRConfig() : forceHD(false), auxFlag(false), auxBitrate1(1572864), auxBitrate2(3145728) {}

    bool getForceHD() const { return forceHD; }
    void setForceHD(bool value) { forceHD = value; }
    bool getAuxFlag() const { return auxFlag; }
    void setAuxFlag(bool value) { auxFlag = value; }
    int32_t getAuxBitrate1() const { return auxBitrate1; }
    void setAuxBitrate1(int32_t value) { auxBitrate1 = value; }
    int32_t getAuxBitrate2() const { return auxBitrate2; }
    void setAuxBitrate2(int32_t value) { auxBitrate2 = value; }
};

// The SDK. Every operation of one instance runs under that instance's lock, so any thread may call.
struct IKTRSDK {
    virtual void init(uint64_t uid, int dt) = 0;
    virtual void setSceneType(int sceneType) = 0;
    virtual void setConfig(const KTRConfig& config) = 0;
    virtual void addUser(const KTRUserInfo& user) = 0;
    virtual void removeUser(const KTRUserInfo& user) = 0;
    virtual void setUsers(const std::vector<KTRUserInfo>& users) = 0;
    virtual void setSharing(bool sharing, uint64_t uid) = 0;
    virtual void setSpeaker(bool speaking, uint64_t uid) = 0;
    // Fills result (emptied first) with the select requests for the peers whose stream should change;
    // true when the requests differ from the previous adjustment's.
    virtual bool adjustDLPolicy(int channel, std::map<uint64_t, VideoStreamInfo>& result) = 0;
    // Appends the streams to publish (channel 2: the share stream); true when the camera result changed.
    virtual bool adjustULPolicy(int channel, std::vector<VideoStreamInfo>& result) = 0;
    // Adds the peers received in high definition to hdUids and those on their lower stream to ldUids.
    virtual void getHDUids(std::set<uint64_t>& hdUids, std::set<uint64_t>& ldUids) = 0;
    virtual void addSelectReq(int width, int height, int fps, int bitrate) = 0;
    virtual void clearSelectReqs() = 0;
    virtual void addPeerReport(uint64_t uid, const std::vector<VideoStreamInfo>& infos) = 0;
    virtual void clearPeerReports() = 0;
    virtual void setULNetStatus(int net_status, int score, int bitrate, int max_bitrate) = 0;
    virtual void setDLNetStatus(int net_status, int score, int bitrate, int max_bitrate) = 0;
    virtual void initStreamInfosForDft(const std::vector<VideoStreamInfo>& infos) = 0;
    virtual void getDftInfoByBitrate(int bitrate, VideoStreamInfo& out) = 0;
    virtual ~IKTRSDK() {}
};

class KTRSDKFactory {
public:
    KTRSDKFactory() {}
    KTRSDKFactory(const KTRSDKFactory&) {}
    KTRSDKFactory(KTRSDKFactory&&) {}
    KTRSDK_API KTRSDKFactory& operator=(const KTRSDKFactory& other);
    KTRSDK_API KTRSDKFactory& operator=(KTRSDKFactory&& other);

    // A new, independent instance; throws std::bad_alloc rather than returning null.
    KTRSDK_API static IKTRSDK* createKTRSDK();
    // Destroys an instance from createKTRSDK; null is ignored.
    KTRSDK_API static void releaseKTRSDK(IKTRSDK* sdk);
};

// Kept for hosts built against it; nothing in the library uses it.
class VideoSDKFactory {
public:
    VideoSDKFactory() {}
    VideoSDKFactory(const VideoSDKFactory&) {}
    VideoSDKFactory(VideoSDKFactory&&) {}
    KTRSDK_API VideoSDKFactory& operator=(const VideoSDKFactory& other);
    KTRSDK_API VideoSDKFactory& operator=(VideoSDKFactory&& other);
};

}  // namespace video
}  // namespace tarn

// A value record that the library exports for the host beside the SDK. The library defines its copy
// operations and three accessors; the default constructor and destructor are the host's side.
// The layout is part of the binary interface: never reorder or resize a member.
class ProtoMyInfo {
public:
    ProtoMyInfo()
        : m_field01(0),
          m_field02(0),
          m_field03(0),
          m_field04(0),
          m_field05(0),
          m_field06(0),
          m_field07(0),
          m_field17(0),
          m_field19(0),
          m_field21(0),
          m_uEnv(0),
          m_field32(0),
          m_field35(0),
          m_field36(0) {
        m_field27[0] = m_field27[1] = m_field27[2] = m_field27[3] = 0;
    }
    ~ProtoMyInfo() {}
    KTRSDK_API ProtoMyInfo(const ProtoMyInfo& other);
    KTRSDK_API ProtoMyInfo& operator=(const ProtoMyInfo& other);

    // Empties the assist info; the string keeps its storage.
    KTRSDK_API void clearAssistInfo();
    KTRSDK_API std::string getAssistInfo() const;
    KTRSDK_API unsigned int getEnv() const;

    int64_t m_field01;
    int64_t m_field02;
    int32_t m_field03;
    uint16_t m_field04;
    int64_t m_field05;
    uint8_t m_field06;
    uint8_t m_field07;
    std::string m_field08;
    std::string m_field09;
    std::string m_field10;
    std::string m_field11;
    std::string m_field12;
    std::string m_field13;
    std::string m_field14;
    std::string m_field15;
    std::string m_field16;
    int32_t m_field17;
    std::string m_field18;
    uint16_t m_field19;
    std::string m_field20;
    uint16_t m_field21;
    std::string m_field22;
    std::string m_field23;
    std::string m_field24;
    std::string m_strAssistInfo;
    uint32_t m_uEnv;
    int32_t m_field27[4];  // members 27 to 30
    std::string m_field31;
    int32_t m_field32;
    std::string m_field33;
    std::string m_field34;
    int64_t m_field35;
    int64_t m_field36;
};

#endif  // KTRSDK_IKTRSDK_H
