#include "PeerMix.h"

#include <algorithm>
#include <cmath>

namespace ktr::sim {
namespace {

// count x share carries rounding error (24 x 0.1 is 2.4000000000000004): fractional parts that differ by
// less than this are equal, and a quota this close below a whole number is that number.
constexpr double kQuotaTolerance = 1e-9;

struct Quota {
    uint16_t deviceType;
    int64_t seats;
    int64_t remainderRank;  // the fractional part in units of the tolerance
};

}  // namespace

std::vector<uint16_t> expandMix(int64_t count, const std::map<uint16_t, double>& shares) {
    std::vector<Quota> quotas;
    int64_t seated = 0;
    for (const auto& [deviceType, share] : shares) {
        const double quota = static_cast<double>(count) * share;
        const double whole = std::floor(quota + kQuotaTolerance);
        quotas.push_back({deviceType, static_cast<int64_t>(whole), std::llround((quota - whole) / kQuotaTolerance)});
        seated += quotas.back().seats;
    }
    std::vector<Quota*> byRemainder;
    byRemainder.reserve(quotas.size());
    for (Quota& quota : quotas) {
        byRemainder.push_back(&quota);
    }
    std::stable_sort(byRemainder.begin(), byRemainder.end(),
                     [](const Quota* a, const Quota* b) { return a->remainderRank > b->remainderRank; });
    for (size_t i = 0; seated < count && !byRemainder.empty(); ++i, ++seated) {
        ++byRemainder[i % byRemainder.size()]->seats;
    }
    std::vector<uint16_t> deviceTypes;
    for (const Quota& quota : quotas) {
        deviceTypes.insert(deviceTypes.end(), static_cast<size_t>(std::max<int64_t>(quota.seats, 0)), quota.deviceType);
    }
    deviceTypes.resize(std::min<size_t>(deviceTypes.size(), static_cast<size_t>(count)));
    return deviceTypes;
}

}  // namespace ktr::sim
