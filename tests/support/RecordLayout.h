// The records' sizes and member offsets as each platform's C++ ABI lays them out, worked out by hand so that
// the layout checks compare the compiler with the rules, not with itself:
//  - LP64, x86-64 (System V) and 64-bit ARM (AAPCS64), which agree on every type the records use: int64_t
//    and pointers are 8 bytes aligned to 8; libstdc++'s std::string is a pointer, a size and a 16-byte
//    buffer, 32 bytes aligned to 8.
//  - 32-bit ARM (AAPCS, EABI hard-float): pointers and size_t are 4 bytes; int64_t is 8 bytes aligned to 8
//    (not 4 as on i386); std::string is 24 bytes aligned to 4, so a record holding an int64_t is aligned
//    to 8 and strings may start at any multiple of 4.
// A member starts at the previous member's end rounded up to its own alignment; a record's size is its last
// member's end rounded up to its largest member alignment.
#ifndef KTRSDK_TESTS_SUPPORT_RECORDLAYOUT_H
#define KTRSDK_TESTS_SUPPORT_RECORDLAYOUT_H

#include <cstddef>

namespace layout {

// The value of this platform's column: the LP64 one or the 32-bit ARM one.
#if defined(__x86_64__) || defined(__aarch64__)
constexpr std::size_t onThisPlatform(std::size_t lp64, std::size_t /*arm32*/) {
    return lp64;
}
#elif defined(__arm__) && defined(__ARM_EABI__)
constexpr std::size_t onThisPlatform(std::size_t /*lp64*/, std::size_t arm32) {
    return arm32;
}
#else
#error "no record layout is written down for this platform: work it out from its ABI and add a column"
#endif

}  // namespace layout

#endif  // KTRSDK_TESTS_SUPPORT_RECORDLAYOUT_H
