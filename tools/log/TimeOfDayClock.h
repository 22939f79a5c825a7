// Times of day made to continue forward across midnight: a stamp without a date restarts at 00:00:00 every
// day, so a time more than 12 hours earlier than the previous one is taken as the next day.
#ifndef KTRSDK_TOOLS_LOG_TIMEOFDAYCLOCK_H
#define KTRSDK_TOOLS_LOG_TIMEOFDAYCLOCK_H

#include <optional>

namespace ktr::log {

class TimeOfDayClock {
public:
    // The time of day (seconds since midnight) as seconds since the midnight before the first one.
    double continued(double timeOfDay);

private:
    double m_days = 0;                 // whole days added to the times of day, in seconds
    std::optional<double> m_previous;  // the previous time, continued
};

}  // namespace ktr::log

#endif  // KTRSDK_TOOLS_LOG_TIMEOFDAYCLOCK_H
