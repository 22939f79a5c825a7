#ifndef KTRSDK_UPLOAD_VIDEOSELECTREQUEST_H
#define KTRSDK_UPLOAD_VIDEOSELECTREQUEST_H

#include <cstdint>

// One subscriber's wish for the local camera video. Only the bitrate takes part in decisions: the
// published stream takes its resolution and frame rate from the definition table.
struct VideoSelectRequest {
    int32_t width = 0;
    int32_t height = 0;
    int32_t fps = 0;
    int32_t bitrate = 0;
};

#endif  // KTRSDK_UPLOAD_VIDEOSELECTREQUEST_H
