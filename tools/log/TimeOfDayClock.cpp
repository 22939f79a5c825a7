#include "TimeOfDayClock.h"

namespace ktr::log {
namespace {

constexpr double kSecondsPerDay = 86400;
constexpr double kHalfDay = kSecondsPerDay / 2;

}  // namespace

double TimeOfDayClock::continued(double timeOfDay) {
    double time = timeOfDay + m_days;
    if (m_previous && time < *m_previous - kHalfDay) {
        m_days += kSecondsPerDay;
        time += kSecondsPerDay;
    }
    m_previous = time;
    return time;
}

}  // namespace ktr::log
