#ifndef KTRSDK_TOOLS_COMMON_RECORDFIELDS_H
#define KTRSDK_TOOLS_COMMON_RECORDFIELDS_H

#include <string>
#include <vector>

#include "FieldReader.h"
#include "IKTRSDK.h"

namespace ktr {

// The interface's records as tool inputs write them, so that every input file spells a stream or a
// configuration the same way.

// A stream: width, height, fps, bitrate, maxbitrate, minbitrate, and channel (1 unless required) and dft (0).
tarn::video::VideoStreamInfo readStream(FieldReader& in, bool channelRequired);
// The streams of the array field name.
std::vector<tarn::video::VideoStreamInfo> readStreams(FieldReader& in, const std::string& name, bool channelRequired);
// forceHD, auxFlag, auxBitrate1, auxBitrate2; each absent one keeps the interface's default.
tarn::video::KTRConfig readConfig(FieldReader& in);

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_RECORDFIELDS_H
