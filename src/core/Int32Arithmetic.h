// Bitrates are signed 32-bit values from the host, and the policies' arithmetic on them wraps as two's
// complement. These helpers compute wide and wrap back, so no expression overflows.
#ifndef KTRSDK_CORE_INT32ARITHMETIC_H
#define KTRSDK_CORE_INT32ARITHMETIC_H

#include <cstdint>

inline int32_t wrap32(int64_t value) {
    const uint32_t low = static_cast<uint32_t>(value);
    return low <= INT32_MAX ? static_cast<int32_t>(low) : static_cast<int32_t>(int64_t{low} - (int64_t{1} << 32));
}

inline int32_t add32(int32_t a, int32_t b) {
    return wrap32(int64_t{a} + b);
}

inline int32_t sub32(int32_t a, int32_t b) {
    return wrap32(int64_t{a} - b);
}

inline int32_t mul32(int32_t a, int32_t b) {
    return wrap32(int64_t{a} * b);
}

#endif  // KTRSDK_CORE_INT32ARITHMETIC_H
