#include "KTRSelectMgr.h"

void KTRSelectMgr::addSelectReq(int, int, int, int) {}

void KTRSelectMgr::clear() {}
