#include "IKTRSDK.h"

// Member-wise copies in declaration order: each string becomes an independent copy, and a string
// assigned from itself is left untouched.
ProtoMyInfo::ProtoMyInfo(const ProtoMyInfo& other) = default;
ProtoMyInfo& ProtoMyInfo::operator=(const ProtoMyInfo& other) = default;

void ProtoMyInfo::clearAssistInfo() {
    m_strAssistInfo.clear();
}

std::string ProtoMyInfo::getAssistInfo() const {
    return m_strAssistInfo;
}

unsigned int ProtoMyInfo::getEnv() const {
    return m_uEnv;
}
