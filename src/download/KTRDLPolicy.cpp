#include "KTRDLPolicy.h"

void KTRDLPolicy::addPeer(uint64_t, const std::vector<tarn::video::VideoStreamInfo>&) {}

void KTRDLPolicy::removePeer(uint64_t) {}

void KTRDLPolicy::clear() {}

bool KTRDLPolicy::hasPeer(uint64_t) const {
    return false;
}

void KTRDLPolicy::getHDUids(std::set<uint64_t>&) {}

void KTRDLPolicy::getLDUids(std::set<uint64_t>&) {}

bool KTRDLPolicy::adjust(int, std::map<uint64_t, tarn::video::VideoStreamInfo>&) {
    return false;
}
