/// @file IKTRSDK.h
/// Public interface of ktrsdk, the video stream policy library.
///
/// A host creates an instance with tarn::video::KTRSDKFactory::createKTRSDK(), feeds it the events of a
/// meeting through tarn::video::IKTRSDK and asks it how to publish the local camera (adjustULPolicy) and
/// which stream of each peer to receive (adjustDLPolicy, getHDUids). Record layouts and the order of the
/// virtual operations are part of the binary interface: never reorder or resize them. docs/host-guide.md
/// explains every input and answer at length.
///
/// This header compiles on its own under C++11 and later.
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
/// Marks the names the library exports.
#define KTRSDK_API __attribute__((visibility("default")))
#endif

/// The library's namespace.
namespace tarn {
/// Video stream policy: the SDK interface, its factory and the records that cross the boundary.
namespace video {

/// Resolution classes of the definition table. Code 1 is not used.
enum VideoDefinitionType : int32_t {
    VIDEO_DFT_DEFAULT =
        0,  ///< row 0 of the built-in table holds the 480P range, so a bitrate lookup may answer 0 for 480P
    VIDEO_DFT_180P = 2,   ///< 180P
    VIDEO_DFT_240P = 3,   ///< 240P
    VIDEO_DFT_480P = 4,   ///< 480P
    VIDEO_DFT_720P = 5,   ///< 720P
    VIDEO_DFT_1080P = 6,  ///< 1080P
};

/// Network state codes of an upload or download estimate. Codes 2 and 3 report headroom, 4 and 5
/// congestion (5 the worse); they have no names of their own.
enum VideoNetStatus : int32_t {
    VIDEO_NET_ESTIMAT_NORMAL = 1,  ///< neither headroom nor congestion: the download answer is kept
};

/// One video stream: a peer's published stream, a definition table row, or a decision.
/// A record that the library fills for the host should start all zero ({}); where the library has no
/// answer it leaves the record so, and a zero bitrate means "no result".
struct VideoStreamInfo {
    int32_t channel;  ///< 1 the camera (ordinary video) channel, 2 the share channel
    int32_t dft;     ///< definition type (VideoDefinitionType); in camera upload answers the rank: 1 the only or higher
                     ///< stream, 2 the lower
    int32_t width;   ///< picture width in pixels
    int32_t height;  ///< picture height in pixels
    int32_t fps;     ///< frames per second
    int32_t bitrate;     ///< bitrate in bit/s
    int32_t maxbitrate;  ///< upper end of the stream's bitrate range, bit/s
    int32_t minbitrate;  ///< lower end of the stream's bitrate range, bit/s
};

/// A conference user as the host announces it. Two users are the same when uid and dt are both equal;
/// the peer registry and the download policy know peers by uid alone.
struct KTRUserInfo {
    uint64_t uid;     ///< the user's id
    uint16_t attr;    ///< carried and copied, never interpreted
    uint16_t dt;      ///< the user's device type, a small code the policies compare with 1, 4 and 8
    std::string ext;  ///< carried and copied, never interpreted
};

/// The local configuration, set with IKTRSDK::setConfig. Only forceHD is read by the library; the other
/// fields are stored.
struct KTRConfig {
    bool forceHD;         ///< camera upload answers are the 720P row whatever the requests
    bool auxFlag;         ///< stored, never read
    int32_t auxBitrate1;  ///< stored, never read
    int32_t auxBitrate2;  ///< stored, never read

    /// The defaults a fresh instance holds.
    KTRConfig() : forceHD(false), auxFlag(false), auxBitrate1(1572864), auxBitrate2(3145728) {}

    bool getForceHD() const { return forceHD; }                  ///< reads forceHD
    void setForceHD(bool value) { forceHD = value; }             ///< writes forceHD
    bool getAuxFlag() const { return auxFlag; }                  ///< reads auxFlag
    void setAuxFlag(bool value) { auxFlag = value; }             ///< writes auxFlag
    int32_t getAuxBitrate1() const { return auxBitrate1; }       ///< reads auxBitrate1
    void setAuxBitrate1(int32_t value) { auxBitrate1 = value; }  ///< writes auxBitrate1
    int32_t getAuxBitrate2() const { return auxBitrate2; }       ///< reads auxBitrate2
    void setAuxBitrate2(int32_t value) { auxBitrate2 = value; }  ///< writes auxBitrate2
};

/// The SDK. Every operation of one instance runs under that instance's lock, so any thread may call;
/// separate instances share nothing. No operation must come first: a fresh instance has local uid 0,
/// device type 0, no users, peers or requests, and the KTRConfig defaults. Bitrates are in bit/s.
struct IKTRSDK {
    /// Sets the local user's uid and device type (a small code; the policies compare it with 1, 4 and 8).
    virtual void init(uint64_t uid, int dt) = 0;
    /// Stores the value; nothing in the library reads it.
    virtual void setSceneType(int sceneType) = 0;
    /// Copies the four fields into the instance's configuration.
    virtual void setConfig(const KTRConfig& config) = 0;
    /// Adds a remote user to the meeting; the number of users sets the camera's scene default.
    virtual void addUser(const KTRUserInfo& user) = 0;
    /// Drops the user from the meeting, the peer registry and the download policy.
    virtual void removeUser(const KTRUserInfo& user) = 0;
    /// Replaces the list of users whose video the client receives and rebuilds the download policy's peers.
    virtual void setUsers(const std::vector<KTRUserInfo>& users) = 0;
    /// Records whether uid shares its screen (sharing false: nobody does).
    virtual void setSharing(bool sharing, uint64_t uid) = 0;
    /// Records whether uid speaks (speaking false: nobody does).
    virtual void setSpeaker(bool speaking, uint64_t uid) = 0;
    /// The download question. Empties result, then fills it with the stream to request from each peer
    /// whose request should change, as the download estimate's status asks (raise on 2 and 3, cut on 4
    /// and 5). channel is not read. Returns true when the requests differ from the previous adjustment's
    /// in number, in peers, or by a bitrate moved 30720 or more; false otherwise and when no peer has
    /// reported streams.
    virtual bool adjustDLPolicy(int channel, std::map<uint64_t, VideoStreamInfo>& result) = 0;
    /// The upload question. Appends to result, without emptying it, the streams to publish: for channel 2
    /// the share stream; otherwise one camera stream or a higher and a lower one, their dft field holding
    /// the rank (1 the only or higher, 2 the lower). Returns true for channel 2; for the camera, true when
    /// result, whatever it already held included, differs from the previous camera answer in number of
    /// records or by a bitrate moved 30720 or more.
    virtual bool adjustULPolicy(int channel, std::vector<VideoStreamInfo>& result) = 0;
    /// Adds, without emptying either set, the peers received in high definition to hdUids and those
    /// received on their lower stream to ldUids.
    virtual void getHDUids(std::set<uint64_t>& hdUids, std::set<uint64_t>& ldUids) = 0;
    /// Hands over one subscriber's wish for the local camera; its bitrate is amended into the range the
    /// definition table allows for its size. Requests are kept, in arrival order, until clearSelectReqs.
    virtual void addSelectReq(int width, int height, int fps, int bitrate) = 0;
    /// Forgets the collected select requests; the next ones start a new collection.
    virtual void clearSelectReqs() = 0;
    /// Stores the streams peer uid publishes, in the host's order (the first two count), and for a user
    /// in the setUsers list chooses which of them to request.
    virtual void addPeerReport(uint64_t uid, const std::vector<VideoStreamInfo>& infos) = 0;
    /// Empties the peer registry.
    virtual void clearPeerReports() = 0;
    /// Stores the upload estimate (status code, score, bitrate, maximum bitrate); no decision reads it.
    virtual void setULNetStatus(int net_status, int score, int bitrate, int max_bitrate) = 0;
    /// Stores the download estimate (status code as VideoNetStatus, score, bitrate, maximum bitrate) that
    /// the next adjustDLPolicy acts on.
    virtual void setDLNetStatus(int net_status, int score, int bitrate, int max_bitrate) = 0;
    /// Installs definition table rows: each record's channel (1 camera, 2 share) and height (180, 240, 360
    /// on channel 1 only, 480, 720, 1080) name the row it replaces; other records are skipped.
    virtual void initStreamInfosForDft(const std::vector<VideoStreamInfo>& infos) = 0;
    /// Fills out with the camera table's row of the highest of 720P, 480P and 240P whose minbitrate bitrate
    /// reaches (the 480P row for 0 and for 3145728 and above).
    virtual void getDftInfoByBitrate(int bitrate, VideoStreamInfo& out) = 0;
    /// Use KTRSDKFactory::releaseKTRSDK rather than delete.
    virtual ~IKTRSDK() {}
};

/// Creates and destroys SDK instances.
class KTRSDKFactory {
public:
    KTRSDKFactory() {}                                                ///< the class holds no state
    KTRSDKFactory(const KTRSDKFactory&) {}                            ///< the class holds no state
    KTRSDKFactory(KTRSDKFactory&&) {}                                 ///< the class holds no state
    KTRSDK_API KTRSDKFactory& operator=(const KTRSDKFactory& other);  ///< nothing to copy
    KTRSDK_API KTRSDKFactory& operator=(KTRSDKFactory&& other);       ///< nothing to copy

    /// A new, independent instance; throws std::bad_alloc rather than returning null.
    KTRSDK_API static IKTRSDK* createKTRSDK();
    /// Destroys an instance from createKTRSDK; null is ignored. No thread may still be inside one of its
    /// operations.
    KTRSDK_API static void releaseKTRSDK(IKTRSDK* sdk);
};

/// Kept for hosts built against it; nothing in the library uses it.
class VideoSDKFactory {
public:
    VideoSDKFactory() {}                                                  ///< the class holds no state
    VideoSDKFactory(const VideoSDKFactory&) {}                            ///< the class holds no state
    VideoSDKFactory(VideoSDKFactory&&) {}                                 ///< the class holds no state
    KTRSDK_API VideoSDKFactory& operator=(const VideoSDKFactory& other);  ///< nothing to copy
    KTRSDK_API VideoSDKFactory& operator=(VideoSDKFactory&& other);       ///< nothing to copy
};

}  // namespace video
}  // namespace tarn

/// A value record that the library exports for the host beside the SDK. The library defines its copy
/// operations and three accessors; the default constructor and destructor are the host's side.
/// The layout is part of the binary interface: never reorder or resize a member.
class ProtoMyInfo {
public:
    /// All numbers zero, all strings empty.
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
    /// Copies every member.
    KTRSDK_API ProtoMyInfo(const ProtoMyInfo& other);
    /// Copies every member.
    KTRSDK_API ProtoMyInfo& operator=(const ProtoMyInfo& other);

    /// Empties the assist info; the string keeps its storage.
    KTRSDK_API void clearAssistInfo();
    /// A copy of the assist info (m_strAssistInfo).
    KTRSDK_API std::string getAssistInfo() const;
    /// The environment code (m_uEnv).
    KTRSDK_API unsigned int getEnv() const;

    int64_t m_field01;            ///< the host's; the library only copies it
    int64_t m_field02;            ///< the host's; the library only copies it
    int32_t m_field03;            ///< the host's; the library only copies it
    uint16_t m_field04;           ///< the host's; the library only copies it
    int64_t m_field05;            ///< the host's; the library only copies it
    uint8_t m_field06;            ///< the host's; the library only copies it
    uint8_t m_field07;            ///< the host's; the library only copies it
    std::string m_field08;        ///< the host's; the library only copies it
    std::string m_field09;        ///< the host's; the library only copies it
    std::string m_field10;        ///< the host's; the library only copies it
    std::string m_field11;        ///< the host's; the library only copies it
    std::string m_field12;        ///< the host's; the library only copies it
    std::string m_field13;        ///< the host's; the library only copies it
    std::string m_field14;        ///< the host's; the library only copies it
    std::string m_field15;        ///< the host's; the library only copies it
    std::string m_field16;        ///< the host's; the library only copies it
    int32_t m_field17;            ///< the host's; the library only copies it
    std::string m_field18;        ///< the host's; the library only copies it
    uint16_t m_field19;           ///< the host's; the library only copies it
    std::string m_field20;        ///< the host's; the library only copies it
    uint16_t m_field21;           ///< the host's; the library only copies it
    std::string m_field22;        ///< the host's; the library only copies it
    std::string m_field23;        ///< the host's; the library only copies it
    std::string m_field24;        ///< the host's; the library only copies it
    std::string m_strAssistInfo;  ///< the assist info that getAssistInfo returns and clearAssistInfo empties
    uint32_t m_uEnv;              ///< the environment code that getEnv returns
    int32_t m_field27[4];         ///< members 27 to 30, the host's
    std::string m_field31;        ///< the host's; the library only copies it
    int32_t m_field32;            ///< the host's; the library only copies it
    std::string m_field33;        ///< the host's; the library only copies it
    std::string m_field34;        ///< the host's; the library only copies it
    int64_t m_field35;            ///< the host's; the library only copies it
    int64_t m_field36;            ///< the host's; the library only copies it
};

#endif  // KTRSDK_IKTRSDK_H
