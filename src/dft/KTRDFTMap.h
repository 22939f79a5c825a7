#ifndef KTRSDK_DFT_KTRDFTMAP_H
#define KTRSDK_DFT_KTRDFTMAP_H

#include <map>
#include <vector>

#include "IKTRSDK.h"

// The table of definition types (resolution classes): for each type its resolution, frame rate,
// nominal bitrate and bitrate range, one table for the camera channel and one for the share channel.
// Entries are looked up by key only; the lookups that return a record create a missing entry all zero,
// which the host sees, so only the lookup by bitrate and the dump are const.
class KTRDFTMap {
public:
    KTRDFTMap();

    // The type whose range holds bitrate on the camera channel; the lowest key wins where ranges overlap.
    int getDftByBitrate(int bitrate) const;
    // The highest of 720P, 480P and 240P whose minbitrate the bitrate reaches, with its record in out.
    int getDftInfoByBitrate(int bitrate, tarn::video::VideoStreamInfo& out);
    // The record of dft in the table of channel (2: share, anything else: camera); returns dft.
    int getDftInfoByDft(int channel, int dft, tarn::video::VideoStreamInfo& out);
    int getMaxBitrateByDft(int dft);
    int getMinBitrateByDft(int dft);
    // Stores host-supplied records under the type that their height names.
    void initStreamInfosForDft(const std::vector<tarn::video::VideoStreamInfo>& infos);
    void dump() const;

private:
    using Table = std::map<int, tarn::video::VideoStreamInfo>;

    Table m_mapCh1DftInfos;
    Table m_mapCh2DftInfos;
};

#endif  // KTRSDK_DFT_KTRDFTMAP_H
