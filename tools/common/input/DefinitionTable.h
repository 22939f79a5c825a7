// The tools' picture of the library's definition tables: the built-in channel-1 table, the records the
// host supplied, and the empty entries that lookups of absent definitions create. It lets the state
// tracker classify bitrates the way the download policy does.
#ifndef KTRSDK_TOOLS_COMMON_DEFINITIONTABLE_H
#define KTRSDK_TOOLS_COMMON_DEFINITIONTABLE_H

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "IKTRSDK.h"

namespace ktr {

class DefinitionTable {
public:
    DefinitionTable();

    // Stores the host's records as the library does: keyed by height, per channel; others skipped.
    void supply(const std::vector<tarn::video::VideoStreamInfo>& records);
    // A lookup of an absent entry leaves an all-zero one behind; returns whether it did.
    bool touch(int32_t channel, int32_t dft);

    // The definition class of a bitrate on channel 1 (the class that decides high or low definition).
    int32_t classOf(int32_t bitrate) const;
    std::optional<tarn::video::VideoStreamInfo> entry(int32_t channel, int32_t dft) const;

private:
    std::map<int32_t, tarn::video::VideoStreamInfo>& table(int32_t channel);

    std::map<int32_t, tarn::video::VideoStreamInfo> m_channel1;
    std::map<int32_t, tarn::video::VideoStreamInfo> m_channel2;
};

// "180P", "720P", ... ("dft 7" for codes without a name).
std::string definitionLabel(int32_t dft);

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_DEFINITIONTABLE_H
