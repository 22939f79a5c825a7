#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

#include "Bottleneck.h"
#include "CapacityTrace.h"
#include "InputFile.h"
#include "SyntheticTrace.h"
#include "TraceGenerator.h"
#include "TraceReader.h"

namespace {

using ktr::InputError;
using ktr::Micros;
using ktr::sim::Bottleneck;
using ktr::sim::CapacityTrace;

constexpr Micros kMs = 1000;
constexpr Micros kSecond = 1000000;
constexpr Micros kMinute = 60 * kSecond;

// A capacity expected over [from, to), in bit/s.
struct Window {
    Micros from;
    Micros to;
    double bitsPerSecond;
};

void expectWindows(const CapacityTrace& trace, const std::vector<Window>& windows) {
    for (const Window& window : windows) {
        EXPECT_NEAR(trace.bitsPerSecond(window.from, window.to), window.bitsPerSecond, 1e-6 * window.bitsPerSecond)
            << trace.label() << " over [" << window.from << ", " << window.to << ") us";
    }
}

// A scratch folder of its own for every test.
class ScratchFolder : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "sim_traces_test.XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }

    std::string write(const std::string& name, const std::string& content) const {
        const std::string path = (m_dir / name).string();
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }

    std::filesystem::path m_dir;
};

// Trace files read: capacities worked by hand from the format's rules.

struct ReadCase {
    const char* what;
    std::string content;
    Micros period;
    size_t segments;
    std::vector<Window> windows;
};

void PrintTo(const ReadCase& c, std::ostream* os) {
    *os << c.what;
}

class TraceFileRead : public ScratchFolder, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(TraceFileRead, GivesTheCapacityOfTheFormatsRules) {
    const CapacityTrace trace = ktr::sim::readTrace(write("link.trace", GetParam().content));
    EXPECT_EQ(trace.label(), "link.trace");
    EXPECT_FALSE(trace.synthetic());
    EXPECT_EQ(trace.period(), GetParam().period);
    EXPECT_EQ(trace.segmentCount(), GetParam().segments);
    expectWindows(trace, GetParam().windows);
}

// One 1500-byte packet per millisecond is 12 Mbit/s.
INSTANTIATE_TEST_SUITE_P(
    Mahimahi, TraceFileRead,
    ::testing::Values(
        ReadCase{"one packet in ms 1: 12 Mbit/s for ever",
                 "1\n",
                 1 * kMs,
                 1,
                 {{0, kMs, 12e6}, {0, 500, 12e6}, {5 * kMs, 7 * kMs, 12e6}, {kMinute, kMinute + 1, 12e6}}},
        ReadCase{
            "two packets in ms 1, one in ms 2, looping",
            "1\n1\n2\n",
            2 * kMs,
            2,
            {{0, kMs, 24e6}, {kMs, 2 * kMs, 12e6}, {2 * kMs, 3 * kMs, 24e6}, {0, 2 * kMs, 18e6}, {500, 1500, 18e6}}},
        ReadCase{"a gap carries nothing", "3\n3\n", 3 * kMs, 2, {{0, 2 * kMs, 0}, {2 * kMs, 3 * kMs, 24e6}}},
        ReadCase{"time 0 is the loop's end: its packets count in the last ms",
                 "0\n2\n",
                 2 * kMs,
                 2,
                 {{0, kMs, 0}, {kMs, 2 * kMs, 24e6}}},
        ReadCase{"equal neighbours merge", "1\n2\n3\n", 3 * kMs, 1, {{0, 3 * kMs, 12e6}}},
        ReadCase{"comments, blank lines, CR LF, no final newline",
                 "# recorded on a bus\n\n  1\r\n# more\n\t\n2",
                 2 * kMs,
                 1,
                 {{0, 2 * kMs, 12e6}}},
        ReadCase{"the longest trace accepted",
                 "604800000\n",
                 604800000 * kMs,
                 2,
                 {{0, 604799999 * kMs, 0}, {604799999 * kMs, 604800000 * kMs, 12e6}}}));

// Each throughput holds until the next row; the last holds for the median spacing.
INSTANTIATE_TEST_SUITE_P(
    SecondsMbps, TraceFileRead,
    ::testing::Values(ReadCase{"evenly spaced rows, looping",
                               "0 1\n1 2\n2 4\n",
                               3 * kSecond,
                               3,
                               {{0, kSecond, 1e6},
                                {kSecond, 2 * kSecond, 2e6},
                                {2 * kSecond, 3 * kSecond, 4e6},
                                {3 * kSecond, 4 * kSecond, 1e6}}},
                      ReadCase{"times count from the first row; odd number of spacings",
                               "10 1\n10.5 2\n12 3\n12.5 4\n",
                               3 * kSecond,
                               4,
                               {{0, 500 * kMs, 1e6},
                                {500 * kMs, 2 * kSecond, 2e6},
                                {2 * kSecond, 2500 * kMs, 3e6},
                                {2500 * kMs, 3 * kSecond, 4e6},
                                {3 * kSecond, 3500 * kMs, 1e6}}},
                      ReadCase{"even number of spacings: the mean of the middle two",
                               "0 1\n1 1\n3 2\n",
                               4500 * kMs,
                               2,
                               {{0, 3 * kSecond, 1e6}, {3 * kSecond, 4500 * kMs, 2e6}, {4500 * kMs, 5500 * kMs, 1e6}}},
                      ReadCase{"one row: a constant link", "7 3\n", kSecond, 1, {{0, kMinute, 3e6}}},
                      ReadCase{"tabs, exponents, fractions without a leading digit",
                               "0\t1e0\n2.5E-1\t.5\n",
                               500 * kMs,
                               2,
                               {{0, 250 * kMs, 1e6}, {250 * kMs, 500 * kMs, 0.5e6}}},
                      ReadCase{"a zero row is an outage; 100 Gbit/s is accepted",
                               "0 0\n1 100000\n",
                               2 * kSecond,
                               2,
                               {{0, kSecond, 0}, {kSecond, 2 * kSecond, 100e9}}}));

TEST_F(ScratchFolder, AFirstCommentStartingWithSyntheticLabelsTheFileSynthetic) {
    EXPECT_TRUE(ktr::sim::readTrace(write("a", "# synthetic: made up\n1\n")).synthetic());
    EXPECT_TRUE(ktr::sim::readTrace(write("b", "#synthetic\n0 1\n")).synthetic());
    EXPECT_FALSE(ktr::sim::readTrace(write("c", "# recorded\n# synthetic\n1\n")).synthetic());
    EXPECT_FALSE(ktr::sim::readTrace(write("d", "1\n# synthetic\n")).synthetic());
    EXPECT_FALSE(ktr::sim::readTrace(write("synthetic-name", "1\n")).synthetic());
}

// Bad files: each refused with the file, the line and the problem.

struct BadFileCase {
    const char* what;
    std::string content;
    std::string message;  // after "PATH: "
};

void PrintTo(const BadFileCase& c, std::ostream* os) {
    *os << c.what;
}

class TraceFileRefused : public ScratchFolder, public ::testing::WithParamInterface<BadFileCase> {};

TEST_P(TraceFileRefused, NamesTheFileTheLineAndTheProblem) {
    const std::string path = write("bad.trace", GetParam().content);
    try {
        ktr::sim::readTrace(path);
        ADD_FAILURE() << "accepted";
    } catch (const InputError& error) {
        EXPECT_EQ(error.what(), path + ": " + GetParam().message);
    }
}

std::string repeated(const std::string& line, int times) {
    std::string lines;
    for (int i = 0; i < times; ++i) {
        lines += line;
    }
    return lines;
}

const std::string kNoData =
    "no data: expected one integer per line (Mahimahi) or two numbers per line (seconds and Mbit/s)";
const std::string kCutShort = " (the file ends inside this line: is it cut short?)";

INSTANTIATE_TEST_SUITE_P(
    EitherFormat, TraceFileRefused,
    ::testing::Values(
        BadFileCase{"empty", "", kNoData}, BadFileCase{"only comments and blanks", "# nothing\n\n  \n", kNoData},
        BadFileCase{
            "three fields", "# x\n1 2 3\n",
            R"(line 2: expected one integer (Mahimahi: a time in ms) or two numbers (seconds and Mbit/s), got "1 2 3")"},
        BadFileCase{"binary", std::string("\x01\x02\n", 3),
                    R"(line 1: expected one integer per line, a time in ms, got "??")"}));

INSTANTIATE_TEST_SUITE_P(
    Mahimahi, TraceFileRefused,
    ::testing::Values(
        BadFileCase{"a word", "1\nx\n", R"(line 2: expected one integer per line, a time in ms, got "x")"},
        BadFileCase{"two numbers after one", "1\n2 3\n",
                    R"(line 2: expected one integer per line, a time in ms, got "2 3")"},
        BadFileCase{"a fraction", "1\n1.5\n", R"(line 2: expected one integer per line, a time in ms, got "1.5")"},
        BadFileCase{"negative", "-1\n", "line 1: time -1 ms is negative"},
        BadFileCase{"going back in time", "1\n5\n5\n3\n", "line 4: time 3 ms comes before the previous line's 5 ms"},
        BadFileCase{"beyond 7 days", "604800001\n",
                    "line 1: time 604800001 ms is beyond the longest trace accepted (604800000 ms)"},
        BadFileCase{"beyond any integer", "1\n99999999999999999999999\n",
                    "line 2: time 99999999999999999999999 ms is beyond the longest trace accepted (604800000 ms)"},
        BadFileCase{"only time 0: lasts nothing", "0\n0\n",
                    "the trace lasts 0 ms: its last time must be at least 1 ms"},
        BadFileCase{"above 100 Gbit/s in one ms", repeated("1\n", 8334),
                    "line 8334: 8334 packets in ms 1 exceed 100 Gbit/s (at most 8333 per ms)"},
        BadFileCase{"a half number at the end", "1\n2\n12.",
                    R"(line 3: expected one integer per line, a time in ms, got "12.")" + kCutShort}));

INSTANTIATE_TEST_SUITE_P(
    SecondsMbps, TraceFileRefused,
    ::testing::Values(
        BadFileCase{"a word", "0 1\n1 x\n", R"(line 2: throughput "x" is not a number)"},
        BadFileCase{"three numbers", "0 1\n1 2 3\n",
                    R"(line 2: expected two numbers per line, seconds and Mbit/s, got "1 2 3")"},
        BadFileCase{"one number", "0 1\n1\n", R"(line 2: expected two numbers per line, seconds and Mbit/s, got "1")"},
        BadFileCase{"a half number inside", "0 1\n1 12.\n2 1\n", R"(line 2: throughput "12." is not a number)"},
        BadFileCase{"a half exponent at the end", "0 1\n1 3e",
                    R"(line 2: throughput "3e" is not a number)" + kCutShort},
        BadFileCase{"a row cut after its time", "0 1\n1",
                    R"(line 2: expected two numbers per line, seconds and Mbit/s, got "1")" + kCutShort},
        BadFileCase{"negative time", "0 1\n-1 2\n", "line 2: time -1 is negative"},
        BadFileCase{"negative throughput", "0 -2\n", "line 1: throughput -2 is negative"},
        BadFileCase{"infinite throughput", "0 1e999\n", "line 1: throughput 1e999 is not finite"},
        BadFileCase{"a repeated time", "0 1\n0.5 1\n0.5 2\n",
                    "line 3: time 0.5 s is not after the previous row's 0.5 s"},
        BadFileCase{"time going back", "0 1\n2 1\n1 2\n", "line 3: time 1 s is not after the previous row's 2 s"},
        BadFileCase{"above 100 Gbit/s", "0 100001\n", "line 1: throughput 100001 Mbit/s is above 100 Gbit/s"},
        BadFileCase{"time beyond 7 days", "0 1\n604801 1\n",
                    "line 2: time 604801 s is beyond the longest trace accepted (604800 s)"},
        BadFileCase{"period beyond 7 days", "0 1\n604800 1\n",
                    "the trace lasts 1209600 s, beyond the longest accepted (604800 s)"},
        BadFileCase{"all zero", "0 0\n1 0\n", "the trace carries nothing: every throughput is 0"}));

TEST_F(ScratchFolder, AFileThatCannotBeReadIsRefusedByName) {
    const std::string missing = (m_dir / "absent.trace").string();
    EXPECT_THROW(
        {
            try {
                ktr::sim::readTrace(missing);
            } catch (const InputError& error) {
                EXPECT_EQ(error.what(), missing + ": no such file");
                throw;
            }
        },
        InputError);
}

// The trace's arithmetic, on a period of 4 ms: 1 byte/us for 1 ms, nothing for 2 ms, 2 bytes/us for 1 ms
// (3000 bytes a period).
CapacityTrace handTrace() {
    return CapacityTrace("hand", false, {0, 1000, 3000}, {1e6, 0, 2e6}, 4000);
}

// 1 byte/us for 1 ms, then nothing for 1 ms: a period ending in an outage.
CapacityTrace outageAtTheEnd() {
    return CapacityTrace("outage at the end", false, {0, 1000}, {1e6, 0}, 2000);
}

struct BytesCase {
    Micros from;
    Micros to;
    double bytes;
};

TEST(CapacityTraceArithmetic, BytesBetweenAcrossSegmentsAndPeriods) {
    const CapacityTrace trace = handTrace();
    const std::vector<BytesCase> cases{{0, 0, 0},          {0, 500, 500},      {500, 1500, 500}, {900, 3100, 300},
                                       {1000, 3000, 0},    {3500, 4500, 1500}, {0, 4000, 3000},  {0, 12000, 9000},
                                       {3999, 8001, 3003}, {2500, 2500, 0},    {5000, 5000, 0},  {4000, 4500, 500},
                                       {7000, 8000, 2000}, {100, 40100, 30000}};
    for (const BytesCase& c : cases) {
        EXPECT_DOUBLE_EQ(trace.bytesBetween(c.from, c.to), c.bytes) << "[" << c.from << ", " << c.to << ")";
    }
}

// Scaled by 0.5, the hand trace carries half of each of the cases above; by 2, twice. A scale that takes a rate
// above the highest a trace may have is refused as such a trace is.
TEST(CapacityTraceArithmetic, AScaledTraceCarriesTheFactorTimesTheBytes) {
    const CapacityTrace trace = handTrace();
    const CapacityTrace half = trace.scaled(0.5);
    const CapacityTrace twice = trace.scaled(2);
    EXPECT_EQ(half.label(), trace.label() + " x0.5");
    const std::vector<BytesCase> cases{{0, 500, 500}, {900, 3100, 300}, {3999, 8001, 3003}, {100, 40100, 30000}};
    for (const BytesCase& c : cases) {
        EXPECT_DOUBLE_EQ(half.bytesBetween(c.from, c.to), c.bytes / 2) << "[" << c.from << ", " << c.to << ")";
        EXPECT_DOUBLE_EQ(twice.bytesBetween(c.from, c.to), c.bytes * 2) << "[" << c.from << ", " << c.to << ")";
    }
    EXPECT_THROW(CapacityTrace("fast", false, {0}, {CapacityTrace::kHighestBytesPerSecond}, 1000).scaled(2),
                 std::invalid_argument);
}

TEST(CapacityTraceArithmetic, WholePeriodsLaterGiveExactlyTheSameAnswer) {
    const CapacityTrace trace = handTrace();
    for (const Micros loops : {Micros{1}, Micros{7}, Micros{1000003}, Micros{900000000000}}) {
        const Micros shift = loops * trace.period();
        EXPECT_EQ(trace.bytesBetween(3500 + shift, 4500 + shift), trace.bytesBetween(3500, 4500)) << loops;
        EXPECT_EQ(trace.bytesBetween(900 + shift, 3100 + shift), trace.bytesBetween(900, 3100)) << loops;
        EXPECT_EQ(trace.timeToCarry(3999 + shift, 3), 4001 + shift) << loops;
        EXPECT_EQ(trace.timeToCarry(100 + shift, 9000), 12100 + shift) << loops;
    }
}

struct CarryCase {
    Micros from;
    double bytes;
    Micros time;
};

TEST(CapacityTraceArithmetic, TimeToCarryIsTheEarliestTimeAcrossSegmentsAndPeriods) {
    const CapacityTrace trace = handTrace();
    const std::vector<CarryCase> cases{{0, 0, 0},          {1234, 0, 1234},    {0, 500, 500},     {0, 1000, 1000},
                                       {0, 1001, 3001},    {1500, 1, 3001},    {0, 3000, 4000},   {0, 3001, 4001},
                                       {3999, 3, 4001},    {100, 9000, 12100}, {500, 2500, 4000}, {1000, 3000, 5000},
                                       {2000, 6000, 9000}, {0, 4000, 5000},    {0, 0.5, 1}};
    for (const CarryCase& c : cases) {
        EXPECT_EQ(trace.timeToCarry(c.from, c.bytes), c.time) << c.bytes << " bytes from " << c.from;
    }
    const CapacityTrace outage = outageAtTheEnd();
    const std::vector<CarryCase> outageCases{{0, 1000, 1000}, {0, 2000, 3000}, {0, 1e6, 1999000},
                                             {1500, 1, 2001}, {999, 1, 1000},  {1000, 1, 2001}};
    for (const CarryCase& c : outageCases) {
        EXPECT_EQ(outage.timeToCarry(c.from, c.bytes), c.time) << c.bytes << " bytes from " << c.from;
    }
}

TEST(CapacityTraceArithmetic, TimeToCarryBeyondTheRangeOfMicrosIsNever) {
    const CapacityTrace slow("1 byte/s", false, {0}, {1}, kSecond);
    EXPECT_EQ(slow.timeToCarry(0, 1e9), Micros{1000000000000000});
    EXPECT_EQ(slow.timeToCarry(0, 1e30), CapacityTrace::kNever);
    EXPECT_EQ(slow.timeToCarry(CapacityTrace::kNever - 10, 1), CapacityTrace::kNever);
}

// The earliest-time rule against bytesBetween itself, at random places of a trace with many segments.
TEST(CapacityTraceArithmetic, TimeToCarryAgreesWithBytesBetweenEverywhere) {
    std::mt19937_64 engine(11);
    std::vector<Micros> starts;
    std::vector<double> rates;
    for (Micros start = 0; start < 10 * kSecond; start += 1 + static_cast<Micros>(engine() % 20000)) {
        starts.push_back(start);
        rates.push_back(engine() % 4 == 0 ? 0 : static_cast<double>(engine() % 2000000));
    }
    const CapacityTrace trace("random", false, starts, rates, 10 * kSecond);
    for (int i = 0; i < 20000; ++i) {
        const Micros from = static_cast<Micros>(engine() % (100 * kSecond));
        const double bytes = static_cast<double>(engine() % 5000000) / 7;
        const Micros time = trace.timeToCarry(from, bytes);
        ASSERT_GE(trace.bytesBetween(from, time), bytes) << bytes << " from " << from;
        if (time > from) {
            ASSERT_LT(trace.bytesBetween(from, time - 1), bytes) << bytes << " from " << from;
        }
    }
}

TEST(CapacityTraceArithmetic, MeanCapacityInBitsPerSecond) {
    const CapacityTrace trace = handTrace();
    expectWindows(trace, {{0, 4000, 6e6}, {0, 1000, 8e6}, {3000, 5000, 12e6}, {4000, 16000, 6e6}});
    EXPECT_EQ(trace.bitsPerSecond(1000, 3000), 0);
    EXPECT_EQ(trace.bitsPerSecond(500, 500), 8e6);
    EXPECT_EQ(trace.bitsPerSecond(3000, 3000), 16e6);
    EXPECT_EQ(trace.bitsPerSecond(2999, 2999), 0);
    EXPECT_EQ(trace.bitsPerSecond(4500, 4500), 8e6);
}

TEST(CapacityTraceArithmetic, RefusesQueriesOutsideItsDomain) {
    const CapacityTrace trace = handTrace();
    EXPECT_THROW(trace.bytesBetween(-1, 0), std::invalid_argument);
    EXPECT_THROW(trace.bytesBetween(5, 4), std::invalid_argument);
    EXPECT_THROW(trace.timeToCarry(-1, 1), std::invalid_argument);
    EXPECT_THROW(trace.timeToCarry(0, -1), std::invalid_argument);
    EXPECT_THROW(trace.timeToCarry(0, std::nan("")), std::invalid_argument);
    EXPECT_THROW(trace.bitsPerSecond(-1, -1), std::invalid_argument);
}

struct BadSegmentsCase {
    const char* what;
    std::vector<Micros> starts;
    std::vector<double> rates;
    Micros period;
};

TEST(CapacityTraceConstruction, RefusesWhatIsNotAPiecewiseConstantTrace) {
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<BadSegmentsCase> cases{
        {"no segment", {}, {}, 1000},
        {"a rate missing", {0, 10}, {1}, 1000},
        {"not starting at 0", {5}, {1}, 1000},
        {"starts not increasing", {0, 10, 10}, {1, 2, 3}, 1000},
        {"a start beyond the period", {0, 1000}, {1, 2}, 1000},
        {"no period", {0}, {1}, 0},
        {"a period beyond 7 days", {0}, {1}, CapacityTrace::kLongestPeriod + 1},
        {"a negative rate", {0, 10}, {1, -1}, 1000},
        {"an infinite rate", {0}, {inf}, 1000},
        {"a rate that is not a number", {0}, {std::nan("")}, 1000},
        {"above 100 Gbit/s", {0}, {CapacityTrace::kHighestBytesPerSecond * 1.001}, 1000},
        {"carrying nothing", {0, 10}, {0, 0}, 1000}};
    for (const BadSegmentsCase& c : cases) {
        EXPECT_THROW(CapacityTrace("bad", false, c.starts, c.rates, c.period), std::invalid_argument) << c.what;
    }
    EXPECT_NO_THROW(CapacityTrace("good", false, {0, 10}, {0, CapacityTrace::kHighestBytesPerSecond},
                                  CapacityTrace::kLongestPeriod));
}

// The bottleneck on a link of 1 byte/us (8 Mbit/s) unless said otherwise.

CapacityTrace oneBytePerMicro() {
    return CapacityTrace("1 byte/us", false, {0}, {1e6}, kSecond);
}

static_assert(!std::is_constructible_v<Bottleneck, CapacityTrace&&, int64_t>,
              "a bottleneck must not keep a reference to a temporary trace");

struct Send {
    Micros arrival;
    int64_t bytes;
    bool dropped;
    Micros departure;
};

void expectSends(Bottleneck& bottleneck, const std::vector<Send>& sends) {
    for (const Send& send : sends) {
        const Bottleneck::Outcome outcome = bottleneck.send(send.arrival, send.bytes);
        EXPECT_EQ(outcome.dropped, send.dropped) << send.bytes << " bytes at " << send.arrival;
        EXPECT_EQ(outcome.departure, send.departure) << send.bytes << " bytes at " << send.arrival;
    }
}

TEST(BottleneckQueue, PacketsLeaveAtTheLinksRateOneAfterAnother) {
    const CapacityTrace trace = oneBytePerMicro();
    Bottleneck bottleneck(trace, 10000);
    expectSends(bottleneck, {{0, 1000, false, 1000},
                             {0, 500, false, 1500},
                             {200, 300, false, 1800},
                             {2000, 1000, false, 3000},
                             {2500, 100, false, 3100}});
}

TEST(BottleneckQueue, QueuedBytesDrainContinuously) {
    const CapacityTrace trace = oneBytePerMicro();
    Bottleneck bottleneck(trace, 10000);
    bottleneck.send(0, 1000);
    bottleneck.send(0, 500);
    const std::vector<std::pair<Micros, int64_t>> queued{{0, 1500},   {1, 1499}, {600, 900}, {999, 501}, {1000, 500},
                                                         {1200, 300}, {1499, 1}, {1500, 0},  {9000, 0}};
    for (const auto& [now, bytes] : queued) {
        EXPECT_EQ(bottleneck.queuedBytes(now), bytes) << now;
    }
}

// The bytes that have left count as they are carried, not at a packet's last byte; with the queued ones
// they make every accepted byte (a dropped packet is neither).
TEST(BottleneckQueue, BytesLeaveAsTheyAreCarried) {
    const CapacityTrace trace = outageAtTheEnd();  // 1 byte/us for 1 ms, nothing for the next ms
    Bottleneck bottleneck(trace, 1500);
    bottleneck.send(0, 1000);
    bottleneck.send(0, 500);
    EXPECT_TRUE(bottleneck.send(0, 1).dropped);
    const std::vector<std::pair<Micros, double>> left{{0, 0},       {1, 1},       {600, 600},   {999, 999},
                                                      {1000, 1000}, {1500, 1000}, {2000, 1000}, {2200, 1200},
                                                      {2500, 1500}, {9000, 1500}};
    for (const auto& [now, bytes] : left) {
        EXPECT_DOUBLE_EQ(bottleneck.leftBytes(now), bytes) << now;
        EXPECT_EQ(bottleneck.leftBytes(now) + static_cast<double>(bottleneck.queuedBytes(now)), 1500.0) << now;
    }
}

TEST(BottleneckQueue, DropsAtTheTailWhenTheBufferWouldOverflow) {
    const CapacityTrace trace = oneBytePerMicro();
    Bottleneck bottleneck(trace, 3000);
    expectSends(bottleneck, {{0, 1500, false, 1500},
                             {0, 1500, false, 3000},
                             {0, 1, true, 0},
                             {500, 500, false, 3500},  // 2500 queued: exactly full
                             {500, 1, true, 500},
                             {1500, 1000, false, 4500},  // 2000 queued
                             {1500, 1, true, 1500},
                             {4500, 3000, false, 7500},  // empty: a packet of the whole buffer
                             {7500, 3001, true, 7500}});
}

TEST(BottleneckQueue, AZeroBufferDropsEverything) {
    const CapacityTrace trace = oneBytePerMicro();
    Bottleneck bottleneck(trace, 0);
    expectSends(bottleneck, {{0, 1, true, 0}, {kSecond, 1, true, kSecond}});
    EXPECT_EQ(bottleneck.queuedBytes(kSecond), 0);
}

TEST(BottleneckQueue, FollowsTheTracesRateThroughAnOutage) {
    const CapacityTrace trace = outageAtTheEnd();
    Bottleneck bottleneck(trace, 10000);
    // 1000 bytes by 1 ms, nothing until 2 ms, the last 500 by 2.5 ms.
    expectSends(bottleneck, {{0, 1500, false, 2500}, {1200, 100, false, 2600}, {4100, 100, false, 4200}});
    EXPECT_EQ(bottleneck.queuedBytes(4100), 100);
}

TEST(BottleneckQueue, HoldsNoMoreThanTheBufferUnderOverload) {
    const CapacityTrace trace = oneBytePerMicro();
    const int64_t buffer = 10000;
    const int64_t packet = 1000;
    Bottleneck bottleneck(trace, buffer);
    size_t mostHeld = 0;
    int dropped = 0;
    Micros lastDeparture = 0;
    // Twice what the link carries: one packet every 500 us.
    for (int i = 0; i < 100000; ++i) {
        const Bottleneck::Outcome outcome = bottleneck.send(i * 500, packet);
        mostHeld = std::max(mostHeld, bottleneck.heldPackets());
        if (outcome.dropped) {
            ++dropped;
        } else {
            EXPECT_EQ(outcome.departure, std::max<Micros>(i * 500, lastDeparture) + 1000);
            lastDeparture = outcome.departure;
        }
        ASSERT_LE(bottleneck.queuedBytes(i * 500), buffer);
    }
    EXPECT_LE(mostHeld, static_cast<size_t>(buffer / packet) + 1);
    EXPECT_NEAR(dropped, 50000, 20);
    bottleneck.send(1000 * kSecond, packet);
    EXPECT_EQ(bottleneck.heldPackets(), 1u);
}

TEST(BottleneckQueue, RefusesMisuse) {
    const CapacityTrace trace = oneBytePerMicro();
    EXPECT_THROW(Bottleneck(trace, -1), std::invalid_argument);
    Bottleneck bottleneck(trace, 10000);
    bottleneck.send(100, 10);
    EXPECT_THROW(bottleneck.send(99, 10), std::invalid_argument);
    EXPECT_THROW(bottleneck.send(100, 0), std::invalid_argument);
    EXPECT_THROW(bottleneck.queuedBytes(99), std::invalid_argument);
}

// Synthetic shapes from their text form.

struct ShapeCase {
    std::string text;
    std::string label;
    Micros period;
    size_t segments;
    std::vector<Window> windows;
};

void PrintTo(const ShapeCase& c, std::ostream* os) {
    *os << c.text;
}

class SyntheticShape : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(SyntheticShape, HasTheShapesCapacityAndItsLabelGivesItAgain) {
    const CapacityTrace trace = ktr::sim::parseSyntheticTrace(GetParam().text);
    EXPECT_TRUE(trace.synthetic());
    EXPECT_EQ(trace.label(), GetParam().label);
    EXPECT_EQ(trace.period(), GetParam().period);
    EXPECT_EQ(trace.segmentCount(), GetParam().segments);
    expectWindows(trace, GetParam().windows);
    const CapacityTrace again = ktr::sim::parseSyntheticTrace(trace.label());
    EXPECT_EQ(again.label(), trace.label());
    EXPECT_EQ(again.period(), trace.period());
    expectWindows(again, GetParam().windows);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, SyntheticShape,
    ::testing::Values(
        ShapeCase{"constant:2mbps", "constant:2mbps", kSecond, 1, {{0, kSecond, 2e6}, {kMinute, kMinute, 2e6}}},
        ShapeCase{"constant:1.5Mbps", "constant:1.5mbps", kSecond, 1, {{0, kSecond, 1.5e6}}},
        ShapeCase{"constant:800BPS", "constant:800bps", kSecond, 1, {{0, kSecond, 800}}},
        ShapeCase{"constant:2gbps", "constant:2gbps", kSecond, 1, {{0, kSecond, 2e9}}},
        ShapeCase{"steps:30s@2mbps,10s@300kbps",
                  "steps:30s@2mbps,10s@300kbps",
                  40 * kSecond,
                  2,
                  {{0, 30 * kSecond, 2e6},
                   {30 * kSecond, 40 * kSecond, 300e3},
                   {40 * kSecond, 70 * kSecond, 2e6},
                   {0, 40 * kSecond, 1.575e6}}},
        ShapeCase{"steps:500ms@1mbps,120s@0mbps,0.25s@1mbps",
                  "steps:500ms@1mbps,2min@0bps,250ms@1mbps",
                  120750 * kMs,
                  3,
                  {{0, 500 * kMs, 1e6}, {500 * kMs, 120500 * kMs, 0}, {120500 * kMs, 120750 * kMs, 1e6}}},
        ShapeCase{
            "ramp:1mbps-2mbps/1s",
            "ramp:1mbps-2mbps/1s",
            kSecond,
            10,
            {{0, 100 * kMs, 1.05e6}, {900 * kMs, kSecond, 1.95e6}, {0, kSecond, 1.5e6}, {kSecond, 1100 * kMs, 1.05e6}}},
        ShapeCase{"ramp:3mbps-1mbps/250ms",
                  "ramp:3mbps-1mbps/250ms",
                  250 * kMs,
                  3,
                  {{0, 100 * kMs, 2.6e6}, {100 * kMs, 200 * kMs, 1.8e6}, {200 * kMs, 250 * kMs, 1.2e6}}},
        ShapeCase{"outage:2mbps/30s/5s",
                  "outage:2mbps/30s/5s",
                  30 * kSecond,
                  2,
                  {{0, 25 * kSecond, 2e6}, {25 * kSecond, 30 * kSecond, 0}, {0, 30 * kSecond, 2e6 * 25 / 30}}},
        ShapeCase{"walk:1mbps/1mbps-1mbps/seed=3/every=2s/for=10s",
                  "walk:1mbps/1mbps-1mbps/seed=3/step=200kbps/every=2s/for=10s",
                  10 * kSecond,
                  1,
                  {{0, 10 * kSecond, 1e6}}},
        ShapeCase{"walk:2mbps/0bps-3mbps/step=0bps/for=2500ms",
                  "walk:2mbps/0bps-3mbps/seed=1/step=0bps/every=1s/for=2500ms",
                  2500 * kMs,
                  1,
                  {{0, 2500 * kMs, 2e6}}}));

TEST(SyntheticWalk, TheDefaultsFillWhatTheTextLeavesOut) {
    const CapacityTrace walk = ktr::sim::parseSyntheticTrace("walk:1.5mbps/300kbps-4mbps/seed=7");
    EXPECT_EQ(walk.label(), "walk:1.5mbps/300kbps-4mbps/seed=7/step=200kbps/every=1s/for=10min");
    EXPECT_EQ(walk.period(), 10 * kMinute);
}

std::vector<double> ratePerSecond(const CapacityTrace& trace) {
    std::vector<double> rates;
    for (Micros start = 0; start < trace.period(); start += kSecond) {
        rates.push_back(trace.bitsPerSecond(start, start + kSecond));
    }
    return rates;
}

TEST(SyntheticWalk, TheSameSeedGivesTheSameTraceAndAnotherSeedAnother) {
    const std::string base = "walk:1.5mbps/300kbps-4mbps/step=300kbps/for=5min";
    const std::vector<double> seven = ratePerSecond(ktr::sim::parseSyntheticTrace(base + "/seed=7"));
    EXPECT_EQ(ratePerSecond(ktr::sim::parseSyntheticTrace(base + "/seed=7")), seven);
    EXPECT_NE(ratePerSecond(ktr::sim::parseSyntheticTrace(base + "/seed=8")), seven);
    ASSERT_EQ(seven.size(), 300u);
    EXPECT_EQ(seven.front(), 1.5e6);
    for (const double rate : seven) {
        EXPECT_GE(rate, 300e3);
        EXPECT_LE(rate, 4e6);
    }
}

// Far from its bounds, the walk's changes are normal with the step as their standard deviation.
TEST(SyntheticWalk, ChangesHaveTheStepAsTheirStandardDeviation) {
    ktr::sim::synthetic::Walk parameters;
    parameters.startBitsPerSecond = 50e9;
    parameters.minBitsPerSecond = 0;
    parameters.maxBitsPerSecond = 100e9;
    parameters.stepBitsPerSecond = 1e6;
    parameters.interval = kSecond;
    parameters.duration = 100000 * kSecond;
    parameters.seed = 5;
    const CapacityTrace walk = ktr::sim::synthetic::randomWalk(parameters);
    double sum = 0;
    double squares = 0;
    double previous = walk.bitsPerSecond(0, 0);
    const int changes = 99999;
    for (int i = 1; i <= changes; ++i) {
        const double rate = walk.bitsPerSecond(i * kSecond, i * kSecond);
        sum += rate - previous;
        squares += (rate - previous) * (rate - previous);
        previous = rate;
    }
    const double mean = sum / changes;
    EXPECT_NEAR(mean, 0, 0.02e6);
    EXPECT_NEAR(std::sqrt(squares / changes - mean * mean), 1e6, 0.02e6);
}

struct BadTextCase {
    std::string text;
    std::string problem;  // after: synthetic trace "TEXT":
};

void PrintTo(const BadTextCase& c, std::ostream* os) {
    *os << c.text;
}

class SyntheticTextRefused : public ::testing::TestWithParam<BadTextCase> {};

TEST_P(SyntheticTextRefused, NamesTheTextAndThePart) {
    try {
        ktr::sim::parseSyntheticTrace(GetParam().text);
        ADD_FAILURE() << "accepted";
    } catch (const InputError& error) {
        EXPECT_EQ(error.what(), "synthetic trace \"" + GetParam().text + "\": " + GetParam().problem);
    }
}

const std::string kShapes = "valid shapes: constant, outage, ramp, steps, walk";

INSTANTIATE_TEST_SUITE_P(
    Texts, SyntheticTextRefused,
    ::testing::Values(
        BadTextCase{"constant", "expected SHAPE:PARAMETERS, e.g. constant:2mbps; " + kShapes},
        BadTextCase{"wave:1mbps", "unknown shape \"wave\"; " + kShapes},
        BadTextCase{"constnt:1mbps", "unknown shape \"constnt\"; did you mean \"constant\"? " + kShapes},
        BadTextCase{"constant:2mbit",
                    R"(rate "2mbit": expected a number and a unit (gbps, mbps, kbps, bps), e.g. 2mbps)"},
        BadTextCase{"constant:mbps",
                    R"(rate "mbps": expected a number and a unit (gbps, mbps, kbps, bps), e.g. 2mbps)"},
        BadTextCase{"constant:2.mbps",
                    R"(rate "2.mbps": expected a number and a unit (gbps, mbps, kbps, bps), e.g. 2mbps)"},
        BadTextCase{"constant:0mbps", "rate 0bps: must be above 0"},
        BadTextCase{"constant:-1mbps", "rate -1mbps: must be from 0 to 100gbps"},
        BadTextCase{"constant:200gbps", "rate 200gbps: must be from 0 to 100gbps"},
        BadTextCase{"steps:", R"(step 1 "": expected DURATION@RATE, e.g. 30s@2mbps)"},
        BadTextCase{"steps:30s@2mbps,10s", R"(step 2 "10s": expected DURATION@RATE, e.g. 30s@2mbps)"},
        BadTextCase{"steps:30x@2mbps", R"(step 1 duration "30x": expected a number and a unit (min, ms, s), e.g. 30s)"},
        BadTextCase{"steps:30s@2mbps,0.5ms@1mbps", "step 2 duration 0.5ms: must be from 1ms to 10080min"},
        BadTextCase{"steps:30s@0mbps,1s@0bps", "every step's rate is 0: the trace carries nothing"},
        BadTextCase{"steps:10000min@1mbps,81min@1mbps", "the steps' total 10081min: must be from 1ms to 10080min"},
        BadTextCase{"ramp:1mbps/10s", "expected FROM-TO/DURATION, e.g. ramp:300kbps-3mbps/60s"},
        BadTextCase{"ramp:1mbps-2mbps", "expected FROM-TO/DURATION, e.g. ramp:300kbps-3mbps/60s"},
        BadTextCase{"ramp:0mbps-0kbps/10s", "from and to are 0: the trace carries nothing"},
        BadTextCase{"ramp:1mbps-2mbps/1e30s", "duration 1000000000000s: must be from 1ms to 10080min"},
        BadTextCase{"ramp:1mbps-2mbps/2000min", "duration 2000min: more than 1000000 steps of 100ms"},
        BadTextCase{"outage:2mbps/30s", "expected RATE/PERIOD/OUTAGE, e.g. outage:2mbps/30s/5s"},
        BadTextCase{"outage:2mbps/30s/30s", "outage 30s: must be shorter than the period 30s"},
        BadTextCase{"outage:2mbps/30s/0s", "outage 0s: must be from 1ms to 10080min"},
        BadTextCase{"walk:1mbps",
                    "expected START/MIN-MAX[/seed=N][/step=RATE][/every=DURATION][/for=DURATION], e.g. "
                    "walk:1.5mbps/300kbps-4mbps/seed=7"},
        BadTextCase{"walk:5mbps/1mbps-4mbps", "start 5mbps: must be from min 1mbps to max 4mbps"},
        BadTextCase{"walk:1mbps/2mbps-1mbps", "min 2mbps: must not be above max 1mbps"},
        BadTextCase{"walk:0mbps/0mbps-0mbps", "max 0bps: must be above 0"},
        BadTextCase{"walk:1mbps/1mbps-2mbps/sead=3",
                    R"(unknown option "sead"; did you mean "seed"? valid options: every, for, seed, step)"},
        BadTextCase{"walk:1mbps/1mbps-2mbps/seed=x", R"(seed "x": expected an integer from 0 to 18446744073709551615)"},
        BadTextCase{"walk:1mbps/1mbps-2mbps/seed=-1",
                    R"(seed "-1": expected an integer from 0 to 18446744073709551615)"},
        BadTextCase{"walk:1mbps/1mbps-2mbps/seed", R"(expected an option NAME=VALUE, got "seed")"},
        BadTextCase{"walk:1mbps/1mbps-2mbps/every=1ms/for=10080min", "for 10080min: more than 1000000 steps of 1ms"}));

TEST(SyntheticShapeFunctions, RefuseAnEmptyListOfSteps) {
    EXPECT_THROW(ktr::sim::synthetic::steps({}), InputError);
}

// Files written from traces, and the bundled ones.

TEST(TraceText, MahimahiLinesAreThePacketsByTheEndOfEachMillisecond) {
    const std::vector<std::string> comments{"synthetic: test", "second line"};
    EXPECT_EQ(ktr::sim::mahimahiText(ktr::sim::synthetic::constant(12e6), 3 * kMs, comments),
              "# synthetic: test\n# second line\n1\n2\n3\n");
    EXPECT_EQ(ktr::sim::mahimahiText(ktr::sim::synthetic::constant(24e6), 2 * kMs, {}), "1\n1\n2\n2\n");
    // 6 Mbit/s: a packet every 2 ms.
    EXPECT_EQ(ktr::sim::mahimahiText(ktr::sim::synthetic::constant(6e6), 6 * kMs, {}), "2\n4\n6\n");
    // Nothing carried at the end: the last packet still marks the period.
    EXPECT_EQ(ktr::sim::mahimahiText(ktr::sim::parseSyntheticTrace("outage:12mbps/4ms/2ms"), 4 * kMs, {}), "1\n4\n");
}

TEST(TraceText, MbpsRowsHoldTheMeanOfTheirInterval) {
    const CapacityTrace steps = ktr::sim::parseSyntheticTrace("steps:1s@1mbps,1s@2mbps");
    EXPECT_EQ(ktr::sim::mbpsText(steps, 4 * kSecond, kSecond, {"synthetic"}),
              "# synthetic\n0.000 1.000\n1.000 2.000\n2.000 1.000\n3.000 2.000\n");
    EXPECT_EQ(ktr::sim::mbpsText(steps, 4 * kSecond, 2 * kSecond, {}), "0.000 1.500\n2.000 1.500\n");
    EXPECT_EQ(ktr::sim::mbpsText(ktr::sim::synthetic::constant(1234.4), 500 * kMs, 250 * kMs, {}),
              "0.000 0.001\n0.250 0.001\n");
    EXPECT_THROW(ktr::sim::mbpsText(steps, 4 * kSecond, 3 * kSecond, {}), std::invalid_argument);
    EXPECT_THROW(ktr::sim::mahimahiText(steps, 1500, {}), std::invalid_argument);
}

class WrittenTrace : public ScratchFolder {};

TEST_F(WrittenTrace, ReadsBackAsTheTraceItWasWrittenFrom) {
    const CapacityTrace walk = ktr::sim::parseSyntheticTrace("walk:2mbps/500kbps-5mbps/seed=3/for=1min");
    const CapacityTrace mahimahi =
        ktr::sim::readTrace(write("walk.mahimahi", ktr::sim::mahimahiText(walk, kMinute, {"synthetic"})));
    const CapacityTrace mbps =
        ktr::sim::readTrace(write("walk.mbps", ktr::sim::mbpsText(walk, kMinute, kSecond, {"synthetic"})));
    for (const CapacityTrace* read : {&mahimahi, &mbps}) {
        EXPECT_TRUE(read->synthetic());
        EXPECT_EQ(read->period(), kMinute);
        for (Micros start = 0; start < kMinute; start += kSecond) {
            // Mahimahi carries whole packets, rounded to their millisecond and scaled so that a whole number
            // of them fills the minute: one packet apart, and a little.
            EXPECT_NEAR(read->bytesBetween(start, start + kSecond), walk.bytesBetween(start, start + kSecond), 1600)
                << read->label() << " second " << start / kSecond;
        }
    }
}

std::string fileContent(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

TEST(BundledTraces, AreTheGeneratorsOutputAndReadAsSynthetic) {
    const std::vector<ktr::sim::BundledTrace> bundled = ktr::sim::bundledTraces();
    ASSERT_EQ(bundled.size(), 4u);
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(KTR_TRACE_DIR)) {
        files += entry.is_regular_file() ? 1 : 0;
    }
    EXPECT_EQ(files, bundled.size()) << "a file in " << KTR_TRACE_DIR << " that the generator does not make";
    for (const ktr::sim::BundledTrace& trace : bundled) {
        const std::string path = std::string(KTR_TRACE_DIR) + "/" + trace.fileName;
        EXPECT_TRUE(fileContent(path) == trace.text)
            << path << " differs from the generator's output: run ktr_generate_traces examples/traces";
        const CapacityTrace read = ktr::sim::readTrace(path);
        EXPECT_TRUE(read.synthetic()) << path;
        EXPECT_EQ(read.label().rfind("synthetic-", 0), 0u) << path;
        EXPECT_GE(read.period(), 5 * kMinute) << path;
        EXPECT_LE(read.period(), 10 * kMinute) << path;
    }
}

}  // namespace
