#include "KTRSceneInfo.h"
#include "core/KTRCodes.h"

using tarn::video::KTRUserInfo;

void KTRSceneInfo::setSharing(bool sharing, uint64_t uid) {
    m_bSharing = sharing;
    m_sharingUid = uid;
}

void KTRSceneInfo::setSpeaker(bool speaking, uint64_t uid) {
    m_bSpeaking = speaking;
    m_speakerUid = uid;
}

void KTRSceneInfo::addUser(const KTRUserInfo& user) {
    if (user.uid == m_uid) {
        return;
    }
    m_setUsers.insert(user);
}

void KTRSceneInfo::removeUser(const KTRUserInfo& user) {
    m_setUsers.erase(user);
}

void KTRSceneInfo::setUsers(const std::vector<KTRUserInfo>& users) {
    m_setSubUsers.clear();
    m_setSubUsers.insert(users.begin(), users.end());
}

bool KTRSceneInfo::isSubUser(uint64_t uid) const {
    // The smallest record of this uid, whatever its device type.
    const auto it = m_setSubUsers.lower_bound(KTRUserInfo{uid, 0, 0, std::string()});
    return it != m_setSubUsers.end() && it->uid == uid;
}

bool KTRSceneInfo::hasOtherUserWithDt1() const {
    for (const KTRUserInfo& user : m_setUsers) {
        if (user.uid != m_uid && user.dt == ktrcodes::kDeviceType1) {
            return true;
        }
    }
    return false;
}
