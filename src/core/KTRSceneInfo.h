#ifndef KTRSDK_CORE_KTRSCENEINFO_H
#define KTRSDK_CORE_KTRSCENEINFO_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <set>
#include <unordered_set>
#include <vector>

#include "IKTRSDK.h"

// The conference as the host describes it: the local user, the remote users, the subscription list,
// who shares and who speaks. Users are the same when uid and device type are equal.
class KTRSceneInfo {
public:
    void setUid(uint64_t uid) { m_uid = uid; }
    void setDt(int dt) { m_dt = dt; }
    void setSceneType(int sceneType) { m_sceneType = sceneType; }
    void setSharing(bool sharing, uint64_t uid);
    void setSpeaker(bool speaking, uint64_t uid);
    // Ignores the local user and a (uid, dt) pair already present.
    void addUser(const tarn::video::KTRUserInfo& user);
    void removeUser(const tarn::video::KTRUserInfo& user);
    // Replaces the subscription list; the first record of a (uid, dt) pair wins.
    void setUsers(const std::vector<tarn::video::KTRUserInfo>& users);

    uint64_t getUid() const { return m_uid; }
    int getDt() const { return m_dt; }
    bool isSharing() const { return m_bSharing; }
    bool isSpeaking() const { return m_bSpeaking; }
    uint64_t getSpeakerUid() const { return m_speakerUid; }
    size_t getUserCount() const { return m_setUsers.size(); }
    size_t getSubUserCount() const { return m_setSubUsers.size(); }
    bool isSubUser(uint64_t uid) const;
    bool hasOtherUserWithDt1() const;
    bool isSelfSharing() const { return m_bSharing && m_sharingUid == m_uid; }
    bool isSelfSpeaking() const { return m_bSpeaking && m_speakerUid == m_uid; }

private:
    // Users are the same when uid and device type are; attr and ext take no part.
    struct ByUidThenDt {
        bool operator()(const tarn::video::KTRUserInfo& a, const tarn::video::KTRUserInfo& b) const {
            return a.uid != b.uid ? a.uid < b.uid : a.dt < b.dt;
        }
    };
    struct SameUser {
        bool operator()(const tarn::video::KTRUserInfo& a, const tarn::video::KTRUserInfo& b) const {
            return a.uid == b.uid && a.dt == b.dt;
        }
    };
    struct UserHash {
        size_t operator()(const tarn::video::KTRUserInfo& user) const {
            return std::hash<uint64_t>()(user.uid * 65537u + user.dt);
        }
    };

    uint64_t m_uid = 0;
    int m_dt = 0;
    // Nothing walks the conference users in order, so a hash set serves them in constant time; the
    // subscription list is ordered so that a uid is found whatever its device types.
    std::unordered_set<tarn::video::KTRUserInfo, UserHash, SameUser> m_setUsers;
    std::set<tarn::video::KTRUserInfo, ByUidThenDt> m_setSubUsers;
    bool m_bSharing = false;
    uint64_t m_sharingUid = 0;
    bool m_bSpeaking = false;
    uint64_t m_speakerUid = 0;
    int m_sceneType = 0;
};

#endif  // KTRSDK_CORE_KTRSCENEINFO_H
