#include "KTRULPolicy.h"

bool KTRULPolicy::adjust(int, std::vector<tarn::video::VideoStreamInfo>&) {
    return false;
}
