// Linked with fuzz_replay.cpp: turns the fuzz target's trace on before the stored inputs replay, so that
// every call, answer and log line is printed for the golden files that pin the library's behaviour
// (tests/golden).
#include <cstdio>

extern "C" void ktrsdkFuzzTraceTo(std::FILE* file);

namespace {

const bool kTraced = (ktrsdkFuzzTraceTo(stdout), true);

}  // namespace
