// The log reader over the prefix styles hosts write, other components' lines, unknown library lines, and
// damaged input: cut lines, CRLF, NUL bytes, invalid UTF-8, gzip and standard input; several files read as
// one log; times of day across midnight; logs without time; the prefix recognition against PCRE2.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "HostPrefix.h"
#include "InputFile.h"
#include "KTRLogFormats.h"
#include "LevelMark.h"
#include "LineSource.h"
#include "LogReader.h"
#include "Pcre2Pattern.h"
#include "TimeStamp.h"
#include "support/TestFiles.h"

namespace {

using ktr::LogLevel;
using ktr::log::LibraryLine;
using ktr::log::LogReader;

constexpr const char* kInit = "[KTRMgr::init]: ktr init, uid=1001, dt=8";
constexpr const char* kSelf = "[KTRMgr::addPeerReport]: can not add myself as a peer, uid=1001";
constexpr const char* kGetPeer = "[KTRPeerMgr::getPeer]: ktr get peer failed, uid=2002";
constexpr const char* kRequest = "    ktr request width=640, height=360, fps=15, bitrate=500000";
constexpr double kTimeTolerance = 1e-6;
// 2024-03-01T00:00:00Z: 19723 days to 2024-01-01, then 31 days of January and 29 of February.
constexpr double kMarchFirst2024 = (19723 + 31 + 29) * 86400.0;
// 10:42:07.123 as seconds since midnight.
constexpr double kTenFortyTwo = 10 * 3600 + 42 * 60 + 7.123;

std::vector<LibraryLine> readAll(LogReader& reader) {
    std::vector<LibraryLine> lines;
    LibraryLine line;
    while (reader.next(line)) {
        lines.push_back(line);
    }
    return lines;
}

struct PrefixCase {
    const char* name;
    std::string line;
    std::optional<std::string> prefix;
    std::optional<double> time;
    std::optional<LogLevel> level;
    const char* formatId;
    std::string text;
};

class PrefixStyles : public testing::TestWithParam<PrefixCase> {};

TEST_P(PrefixStyles, TimeLevelAndEntryComeFromTheLine) {
    const PrefixCase& c = GetParam();
    const std::string log = "other component starting\n" + c.line + "\n";
    LogReader reader(LogReader::FromText{}, log, c.prefix);
    const std::vector<LibraryLine> lines = readAll(reader);
    ASSERT_EQ(lines.size(), 1u);
    const LibraryLine& line = lines[0];
    EXPECT_EQ(line.number, 2u);
    ASSERT_EQ(line.time.has_value(), c.time.has_value());
    if (c.time) {
        EXPECT_NEAR(*line.time, *c.time, kTimeTolerance);
    }
    EXPECT_EQ(line.level, c.level);
    EXPECT_EQ(line.text, c.text);
    ASSERT_NE(line.parsed.format, nullptr);
    EXPECT_EQ(line.parsed.format->id, c.formatId);
    EXPECT_EQ(reader.counts().lines, 2u);
    EXPECT_EQ(reader.counts().library, 1u);
    EXPECT_EQ(reader.counts().other, 1u);
}

INSTANTIATE_TEST_SUITE_P(
    LogReader, PrefixStyles,
    testing::Values(
        // 2000-01-01 is 10957 days after the epoch.
        PrefixCase{"LogFileWriter", std::string("2000-01-01 00:00:05.000 I ktrsdk ") + kInit, std::nullopt,
                   10957 * 86400.0 + 5, LogLevel::Info, ktrlog::MgrInit::id, kInit},
        PrefixCase{"IsoWithTAndZ", std::string("2024-03-01T10:42:07.123Z W app [main] ") + kSelf, std::nullopt,
                   kMarchFirst2024 + kTenFortyTwo, LogLevel::Warning, ktrlog::MgrAddPeerReportSelf::id, kSelf},
        PrefixCase{"IsoWithCommaAndOffset", std::string("2024-03-01 10:42:07,123+02:00 INFO ") + kInit, std::nullopt,
                   kMarchFirst2024 + kTenFortyTwo - 7200, LogLevel::Info, ktrlog::MgrInit::id, kInit},
        PrefixCase{"IsoWithNegativeOffset", std::string("2024-03-01T10:42:07-0130 warning ") + kSelf, std::nullopt,
                   kMarchFirst2024 + 10 * 3600 + 42 * 60 + 7 + 5400, LogLevel::Warning,
                   ktrlog::MgrAddPeerReportSelf::id, kSelf},
        PrefixCase{"TimeOfDay", std::string("10:42:07.123 [E] ") + kGetPeer, std::nullopt, kTenFortyTwo,
                   LogLevel::Error, ktrlog::PeerGetPeerMissing::id, kGetPeer},
        PrefixCase{"TimeOfDayWholeSeconds", std::string("10:42:07 ") + kInit, std::nullopt, 10 * 3600 + 42 * 60 + 7.0,
                   std::nullopt, ktrlog::MgrInit::id, kInit},
        PrefixCase{"EpochSeconds", std::string("1709289727.5 e ") + kGetPeer, std::nullopt, 1709289727.5,
                   LogLevel::Error, ktrlog::PeerGetPeerMissing::id, kGetPeer},
        PrefixCase{"EpochMilliseconds", std::string("1709289727123 I ") + kInit, std::nullopt, 1709289727.123,
                   LogLevel::Info, ktrlog::MgrInit::id, kInit},
        PrefixCase{"AndroidLogcat", std::string("12-06 10:42:07.123  1234  5678 I ktrsdk: ") + kInit, std::nullopt,
                   kTenFortyTwo, LogLevel::Info, ktrlog::MgrInit::id, kInit},
        PrefixCase{"AndroidShort", std::string("W/ktrsdk( 1234): ") + kSelf, std::nullopt, std::nullopt,
                   LogLevel::Warning, ktrlog::MgrAddPeerReportSelf::id, kSelf},
        PrefixCase{"DumpLineKeepsItsIndent", std::string("2000-01-01 00:00:05.000 I ktrsdk ") + kRequest, std::nullopt,
                   10957 * 86400.0 + 5, LogLevel::Info, ktrlog::SelectDumpRequest::id, kRequest},
        PrefixCase{"NoPrefix", kInit, std::nullopt, std::nullopt, std::nullopt, ktrlog::MgrInit::id, kInit},
        // The prefix says W but the entry is logged at I: still the library's, with the prefix's level.
        PrefixCase{"CustomPattern", std::string("<10:42:07.123> [warn] ") + kInit,
                   std::string(R"(<(?<time>[^>]*)> \[(?<level>\w+)\] )"), kTenFortyTwo, LogLevel::Warning,
                   ktrlog::MgrInit::id, kInit},
        PrefixCase{"CustomPatternDatedTime", std::string("E|2024-03-01T00:00:01Z|") + kGetPeer,
                   std::string(R"((?<level>\w)\|(?<time>[^|]*)\|)"), kMarchFirst2024 + 1, LogLevel::Error,
                   ktrlog::PeerGetPeerMissing::id, kGetPeer},
        PrefixCase{"CustomPatternWithoutGroups", std::string("12:00:00 I ") + kInit, std::string(R"(\S+ \S+ )"),
                   std::nullopt, std::nullopt, ktrlog::MgrInit::id, kInit}),
    [](const testing::TestParamInfo<PrefixCase>& info) { return std::string(info.param.name); });

TEST(LogReader, OtherComponentsAndUnknownLibraryLinesAreCounted) {
    const std::string log =
        "2000-01-01 00:00:01.000 I net connected\n"
        "2000-01-01 00:00:01.000 I ui [KTRX] is not a tag\n"
        "2000-01-01 00:00:01.000 I ui ktr select something else\n"
        "2000-01-01 00:00:02.000 I ktrsdk [KTRMgr::init]: ktr init uid=1001\n"
        "2000-01-01 00:00:03.000 I ktrsdk [KTRMgr::init]: ktr init, uid=1001, dt=8\n"
        "2000-01-01 00:00:04.000 I ktrsdk ktr select reqs, begin=======\n";
    LogReader reader(LogReader::FromText{}, log);
    const std::vector<LibraryLine> lines = readAll(reader);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].number, 5u);
    const auto& counts = reader.counts();
    EXPECT_EQ(counts.lines, 6u);
    EXPECT_EQ(counts.library, 1u);
    EXPECT_EQ(counts.other, 3u);
    EXPECT_EQ(counts.unknownLibrary, 2u);
    EXPECT_EQ(counts.tooLong, 0u);
    const std::vector<std::pair<std::string, std::string>> samples = {{"4", "[KTRMgr::init]: ktr init uid=1001"},
                                                                      {"6", "ktr select reqs, begin======="}};
    EXPECT_EQ(counts.unknownSamples, samples);
}

TEST(LogReader, KeepsTwentyUnknownSamples) {
    std::string log;
    for (int i = 0; i < 25; ++i) {
        log += "[KTRMgr::init]: changed\n";
    }
    LogReader reader(LogReader::FromText{}, log);
    EXPECT_TRUE(readAll(reader).empty());
    EXPECT_EQ(reader.counts().unknownLibrary, 25u);
    ASSERT_EQ(reader.counts().unknownSamples.size(), 20u);
    EXPECT_EQ(reader.counts().unknownSamples.back().first, "20");
}

TEST(LogReader, LastLineWithoutNewlineAndCrlf) {
    const std::string log = std::string("I ") + kSelf + "\r\n" + "I " + kInit;
    LogReader reader(LogReader::FromText{}, log);
    const std::vector<LibraryLine> lines = readAll(reader);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].text, kSelf);
    EXPECT_EQ(lines[1].text, kInit);
    EXPECT_EQ(lines[1].number, 2u);
    EXPECT_EQ(lines[1].parsed.values, (std::vector<std::string>{"1001", "8"}));
}

TEST(LogReader, LineCutInTheMiddleIsUnknown) {
    const std::string log = std::string("I ") + kInit + "\nI [KTRMgr::init]: ktr init, uid=10";
    LogReader reader(LogReader::FromText{}, log);
    EXPECT_EQ(readAll(reader).size(), 1u);
    EXPECT_EQ(reader.counts().lines, 2u);
    EXPECT_EQ(reader.counts().unknownLibrary, 1u);
}

TEST(LogReader, LongLinesAreCutAndTheRestSkipped) {
    const std::string huge(1024 * 1024, 'x');
    const std::string log = huge + "\n" + kInit + huge + "\n" + kInit + "\n" + huge;
    LogReader reader(LogReader::FromText{}, log);
    const std::vector<LibraryLine> lines = readAll(reader);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].number, 3u);
    const auto& counts = reader.counts();
    EXPECT_EQ(counts.lines, 4u);
    EXPECT_EQ(counts.tooLong, 3u);
    EXPECT_EQ(counts.other, 2u);
    EXPECT_EQ(counts.unknownLibrary, 1u);  // the library's start, cut at the limit with the x's after it
    ASSERT_EQ(counts.unknownSamples.size(), 1u);
    EXPECT_EQ(counts.unknownSamples[0].second.size(), 64u * 1024);
}

TEST(LogReader, NulBytesAndInvalidUtf8) {
    std::string log("\xff\xfe\0\0 I ktrsdk ", 14);
    log += kInit;
    log += "\n";
    log += std::string("\0\0garbage\xc3\x28 [KTR\0\xff]: x\n", 23);
    log += std::string("I \xe2\x28\xa1 ") + kSelf + "\n";
    LogReader reader(LogReader::FromText{}, log);
    const std::vector<LibraryLine> lines = readAll(reader);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].level, LogLevel::Info);
    EXPECT_EQ(lines[1].text, kSelf);
    EXPECT_EQ(reader.counts().other, 1u);
}

class LogFile : public testing::Test {
protected:
    void TearDown() override { std::filesystem::remove(m_path); }
    std::string m_path = testing::TempDir() + "log_reader_test_" + std::to_string(getpid()) + ".log";
};

TEST_F(LogFile, GzipIsReadDirectly) {
    const std::string log = std::string("2000-01-01 00:00:05.000 I ktrsdk ") + kInit + "\nnoise\n" + kSelf + "\n";
    gzFile file = gzopen(m_path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(gzwrite(file, log.data(), static_cast<unsigned>(log.size())), static_cast<int>(log.size()));
    ASSERT_EQ(gzclose(file), Z_OK);
    LogReader reader(m_path);
    const std::vector<LibraryLine> lines = readAll(reader);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].text, kInit);
    EXPECT_EQ(lines[1].number, 3u);
    EXPECT_EQ(reader.counts().other, 1u);
}

TEST_F(LogFile, PlainFileAndStandardInput) {
    const std::string log = std::string("I ") + kInit + "\n";
    std::ofstream(m_path) << log;
    LogReader fromFile(m_path);
    EXPECT_EQ(readAll(fromFile).size(), 1u);

    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    ASSERT_EQ(write(ends[1], log.data(), log.size()), static_cast<ssize_t>(log.size()));
    close(ends[1]);
    const int savedInput = dup(STDIN_FILENO);
    dup2(ends[0], STDIN_FILENO);
    close(ends[0]);
    {
        LogReader fromInput("-");
        EXPECT_EQ(readAll(fromInput).size(), 1u);
    }
    dup2(savedInput, STDIN_FILENO);
    close(savedInput);
}

TEST_F(LogFile, MissingFileOrDirectoryIsAnInputError) {
    EXPECT_THROW(LogReader{m_path + ".missing"}, ktr::InputError);
    EXPECT_THROW(LogReader{testing::TempDir()}, ktr::InputError);
}

TEST(LogReader, BadPrefixPatternGivesPcre2Message) {
    try {
        LogReader reader(LogReader::FromText{}, "", std::string("(?<time>\\d+"));
        FAIL() << "no error";
    } catch (const ktr::InputError& error) {
        EXPECT_NE(std::string(error.what()).find("missing closing parenthesis"), std::string::npos) << error.what();
    }
}

// ---- lines across read blocks ---------------------------------------------------------------------

TEST(LineSource, LinesSpanningReadBlocksComeWhole) {
    const std::string input = "first line\r\nsecond, longer than any block\n\nlast without newline";
    size_t given = 0;
    ktr::log::LineSource source([&](char* data, size_t size) {
        const size_t count = std::min({size, input.size() - given, size_t{7}});
        std::copy_n(input.data() + given, count, data);
        given += count;
        return count;
    });
    std::vector<std::string> lines;
    std::string_view line;
    bool cut = true;
    while (source.next(line, cut)) {
        EXPECT_FALSE(cut);
        lines.emplace_back(line);
    }
    EXPECT_EQ(lines,
              (std::vector<std::string>{"first line", "second, longer than any block", "", "last without newline"}));
}

struct LimitCase {
    const char* name;
    size_t length;        // of the line's text
    std::string lineEnd;  // "" for a last line without newline
    bool cut;
};

class LineLimit : public testing::TestWithParam<LimitCase> {};

TEST_P(LineLimit, CutsOnlyLinesLongerThanTheLimitWhateverTheReadSize) {
    using ktr::log::LineSource;
    const LimitCase& c = GetParam();
    const std::string input = "first\n" + std::string(c.length, 'x') + c.lineEnd + (c.lineEnd.empty() ? "" : "next");
    for (const size_t readSize : {size_t{7}, size_t{1} << 20}) {
        size_t given = 0;
        LineSource source([&](char* data, size_t size) {
            const size_t count = std::min({size, input.size() - given, readSize});
            std::copy_n(input.data() + given, count, data);
            given += count;
            return count;
        });
        std::vector<std::pair<size_t, bool>> lines;  // length and cut
        std::string_view line;
        bool cut = false;
        while (source.next(line, cut)) {
            lines.emplace_back(line.size(), cut);
        }
        std::vector<std::pair<size_t, bool>> expected = {{5, false},
                                                         {c.cut ? LineSource::kMaxLineLength : c.length, c.cut}};
        if (!c.lineEnd.empty()) {
            expected.emplace_back(4, false);
        }
        EXPECT_EQ(lines, expected) << "reads of " << readSize << " bytes";
    }
}

INSTANTIATE_TEST_SUITE_P(
    LineSource, LineLimit,
    testing::Values(LimitCase{"AtTheLimit", ktr::log::LineSource::kMaxLineLength, "\n", false},
                    LimitCase{"AtTheLimitWithCrlf", ktr::log::LineSource::kMaxLineLength, "\r\n", false},
                    LimitCase{"AtTheLimitWithoutNewline", ktr::log::LineSource::kMaxLineLength, "", false},
                    LimitCase{"OneOver", ktr::log::LineSource::kMaxLineLength + 1, "\n", true},
                    LimitCase{"OneOverWithCrlf", ktr::log::LineSource::kMaxLineLength + 1, "\r\n", true},
                    LimitCase{"OneOverWithoutNewline", ktr::log::LineSource::kMaxLineLength + 1, "", true},
                    LimitCase{"SeveralBlocksLong", 3 * ktr::log::LineSource::kMaxLineLength, "\n", true}),
    [](const testing::TestParamInfo<LimitCase>& info) { return std::string(info.param.name); });

TEST(LogReader, LinesStraddlingReadBlocksAreReadWhole) {
    // Two megabytes of lines of thirteen lengths: wherever a read block ends, a line goes on after it.
    std::string log;
    uint64_t written = 0;
    while (log.size() < 2 * 1024 * 1024) {
        log += "I" + std::string(1 + written % 13, ' ') + kInit + "\n";
        ++written;
    }
    LogReader reader(LogReader::FromText{}, log);
    uint64_t whole = 0;
    LibraryLine line;
    while (reader.next(line)) {
        whole += line.text == kInit && line.level == LogLevel::Info && line.parsed.values.size() == 2 ? 1 : 0;
    }
    EXPECT_EQ(whole, written);
    EXPECT_EQ(reader.counts().lines, written);
}

// ---- several files read as one log ----------------------------------------------------------------

void writeGzip(const std::string& path, const std::string& text) {
    gzFile file = gzopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(gzwrite(file, text.data(), static_cast<unsigned>(text.size())), static_cast<int>(text.size()));
    ASSERT_EQ(gzclose(file), Z_OK);
}

class SeveralFiles : public testing::Test {
protected:
    void TearDown() override { std::filesystem::remove_all(m_dir); }
    std::string path(const std::string& name) const { return m_dir + "/" + name; }

    const std::string m_dir = ktr::test_support::makeTempDir("log_reader");
};

TEST_F(SeveralFiles, AreReadInTheOrderGivenAsOneLog) {
    using ktr::test_support::writeFile;
    const std::string a =
        writeFile(path("a.log"), std::string("10:00:00.000 I ") + kInit + "\n10:00:01.000 I net up\n");
    const std::string b = path("b.log.gz");
    writeGzip(b, std::string("10:00:02.000 W ") + kSelf + "\r\n10:00:03.000 I [KTRMgr::init]: changed\r\n" +
                     "10:00:04.000 E " + kGetPeer + "\r\n");
    const std::string c = writeFile(path("c.log"), std::string(70 * 1024, 'x') + "\n10:00:05.000 I " + kInit);

    LogReader reader(std::vector<std::string>{a, b, c});
    const std::vector<LibraryLine> lines = readAll(reader);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {a + ":1", kInit}, {b + ":1", kSelf}, {b + ":3", kGetPeer}, {c + ":2", kInit}};
    const std::vector<double> times = {36000, 36002, 36004, 36005};
    ASSERT_EQ(lines.size(), expected.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].place(), expected[i].first);
        EXPECT_EQ(lines[i].text, expected[i].second);
        ASSERT_TRUE(lines[i].time.has_value()) << expected[i].first;
        EXPECT_NEAR(*lines[i].time, times[i], kTimeTolerance) << expected[i].first;
    }
    const ktr::log::ReadCounts& counts = reader.counts();
    EXPECT_EQ(counts.lines, 7u);
    EXPECT_EQ(counts.library, 4u);
    EXPECT_EQ(counts.timed, 4u);
    EXPECT_EQ(counts.other, 2u);  // "net up" and the cut line of x's
    EXPECT_EQ(counts.unknownLibrary, 1u);
    EXPECT_EQ(counts.tooLong, 1u);
    EXPECT_EQ(counts.unknownSamples,
              (std::vector<std::pair<std::string, std::string>>{{b + ":2", "[KTRMgr::init]: changed"}}));

    LogReader alone(std::vector<std::string>{a});
    const std::vector<LibraryLine> one = readAll(alone);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].place(), "1") << "a log of one file names its lines by number";
}

TEST_F(SeveralFiles, MidnightIsCrossedBetweenFiles) {
    using ktr::test_support::writeFile;
    const std::string a = writeFile(path("a.log"), std::string("23:59:59.9 I ") + kInit + "\n");
    const std::string b = writeFile(path("b.log"), std::string("00:00:00.1 W ") + kSelf + "\n");
    LogReader reader(std::vector<std::string>{a, b});
    const std::vector<LibraryLine> lines = readAll(reader);
    ASSERT_EQ(lines.size(), 2u);
    ASSERT_TRUE(lines[0].time && lines[1].time);
    EXPECT_NEAR(*lines[1].time - *lines[0].time, 0.2, kTimeTolerance);
}

TEST_F(SeveralFiles, StandardInputOnceAndEveryFileReadableBeforeAnyLineIsRead) {
    using ktr::test_support::inputErrorOf;
    const std::string a = ktr::test_support::writeFile(path("a.log"), std::string(kInit) + "\n");
    EXPECT_EQ(inputErrorOf([] {
                  LogReader reader(std::vector<std::string>{"-", "-"});
              }),
              "standard input (-) can be read only once");
    const std::string missing = path("missing.log");
    const std::string message = inputErrorOf([&] { LogReader reader(std::vector<std::string>{a, missing}); });
    EXPECT_EQ(message.rfind(missing + ": cannot read: ", 0), 0u) << message;
}

// ---- times of day across midnight -----------------------------------------------------------------

struct ClockCase {
    const char* name;
    std::vector<std::string> stamps;
    std::vector<double> times;
};

class TimesOfDay : public testing::TestWithParam<ClockCase> {};

TEST_P(TimesOfDay, KeepIncreasingAcrossMidnight) {
    const ClockCase& c = GetParam();
    std::string log;
    for (const std::string& stamp : c.stamps) {
        log += stamp + " I " + kInit + "\n";
    }
    LogReader reader(LogReader::FromText{}, log);
    const std::vector<LibraryLine> lines = readAll(reader);
    ASSERT_EQ(lines.size(), c.times.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        ASSERT_TRUE(lines[i].time.has_value()) << c.stamps[i];
        EXPECT_NEAR(*lines[i].time, c.times[i], kTimeTolerance) << c.stamps[i];
    }
}

INSTANTIATE_TEST_SUITE_P(
    LogReader, TimesOfDay,
    testing::Values(ClockCase{"CrossingMidnight", {"23:59:59.9", "00:00:00.1"}, {86399.9, 86400.1}},
                    ClockCase{"TwelveHoursEarlierIsTheSameDay", {"12:00:00", "00:00:00"}, {43200, 0}},
                    ClockCase{"MoreThanTwelveHoursEarlierIsTheNextDay", {"12:00:00.5", "00:00:00"}, {43200.5, 86400}},
                    ClockCase{"LinesOutOfOrderByAMinute", {"10:00:00", "09:59:00", "10:00:30"}, {36000, 35940, 36030}},
                    ClockCase{"TwoMidnights",
                              {"23:00:00", "01:00:00", "13:00:00", "23:30:00", "00:30:00"},
                              {82800, 90000, 133200, 171000, 174600}},
                    ClockCase{"DatedStampsKeepTheirDates",
                              {"2024-03-02 00:00:00", "2024-03-01 00:00:00", "2024-03-01 23:59:59.9"},
                              {kMarchFirst2024 + 86400, kMarchFirst2024, kMarchFirst2024 + 86399.9}},
                    ClockCase{
                        "EpochSecondsKeepTheirValues", {"1709289727.5", "1709200000"}, {1709289727.5, 1709200000}}),
    [](const testing::TestParamInfo<ClockCase>& info) { return std::string(info.param.name); });

// ---- logs without time ----------------------------------------------------------------------------

constexpr const char* kNoTimeWarning = "the log carries no time: durations are counted in steps";

struct TimelessCase {
    const char* name;
    std::string log;
    std::optional<std::string> prefix;
    uint64_t library;
    uint64_t timed;
    bool warned;
};

class TimeInTheLog : public testing::TestWithParam<TimelessCase> {};

TEST_P(TimeInTheLog, IsCountedAndItsAbsenceSaid) {
    const TimelessCase& c = GetParam();
    LogReader reader(LogReader::FromText{}, c.log, c.prefix);
    const std::vector<LibraryLine> lines = readAll(reader);
    EXPECT_EQ(lines.size(), c.library);
    EXPECT_EQ(reader.counts().library, c.library);
    EXPECT_EQ(reader.counts().timed, c.timed);
    const auto timed = std::count_if(lines.begin(), lines.end(), [](const LibraryLine& line) { return line.time; });
    EXPECT_EQ(static_cast<uint64_t>(timed), c.timed);
    EXPECT_EQ(reader.warnings(), c.warned ? std::vector<std::string>{kNoTimeWarning} : std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    LogReader, TimeInTheLog,
    testing::Values(TimelessCase{"NoStampInThePrefix", std::string("I ktrsdk ") + kInit + "\nW ktrsdk " + kSelf + "\n",
                                 std::nullopt, 2, 0, true},
                    TimelessCase{"PatternWithoutTimeGroup",
                                 std::string("12:00:00 I ") + kInit + "\n12:00:01 W " + kSelf + "\n",
                                 std::string(R"(\S+ (?<level>\w) )"), 2, 0, true},
                    TimelessCase{"TimeGroupThatNeverTakesPart", std::string("I ") + kInit + "\nW " + kSelf + "\n",
                                 std::string(R"((?:<(?<time>[^>]*)> )?(?<level>\w) )"), 2, 0, true},
                    TimelessCase{"TimeGroupWithoutAStamp",
                                 std::string("<boot+5> I ") + kInit + "\n<boot+6> W " + kSelf + "\n",
                                 std::string(R"(<(?<time>[^>]*)> (?<level>\w) )"), 2, 0, true},
                    TimelessCase{"PartlyTimed", std::string("12:00:00 I ") + kInit + "\nW " + kSelf + "\n",
                                 std::nullopt, 2, 1, false},
                    TimelessCase{"Timed", std::string("12:00:00 I ") + kInit + "\n12:00:01 W " + kSelf + "\n",
                                 std::nullopt, 2, 2, false},
                    TimelessCase{"NoLibraryLines", "12:00:00 I net up\nboot done\n", std::nullopt, 0, 0, false}),
    [](const testing::TestParamInfo<TimelessCase>& info) { return std::string(info.param.name); });

// ---- the prefix recognition against PCRE2 ---------------------------------------------------------

struct RecognitionCase {
    const char* name;
    std::vector<std::string> prefixes;  // one per line, before kInit, kRequest and kGetPeer
    std::string pattern;                // the same layout as a --prefix
    bool timed;
};

class PrefixRecognition : public testing::TestWithParam<RecognitionCase> {};

TEST_P(PrefixRecognition, GivesTheLinesThatAPatternOfTheLayoutGives) {
    const RecognitionCase& c = GetParam();
    const char* const texts[] = {kInit, kRequest, kGetPeer};
    std::string log = "component starting up\n";
    for (size_t i = 0; i < c.prefixes.size(); ++i) {
        log += c.prefixes[i] + texts[i] + "\r\n";
    }
    LogReader recognised(LogReader::FromText{}, log);
    LogReader matched(LogReader::FromText{}, log, c.pattern);
    const std::vector<LibraryLine> fast = readAll(recognised);
    const std::vector<LibraryLine> pcre2 = readAll(matched);
    ASSERT_EQ(fast.size(), 3u);
    ASSERT_EQ(pcre2.size(), 3u);
    for (size_t i = 0; i < fast.size(); ++i) {
        SCOPED_TRACE(c.prefixes[i]);
        EXPECT_EQ(fast[i].number, pcre2[i].number);
        ASSERT_EQ(fast[i].time.has_value(), c.timed);
        ASSERT_EQ(pcre2[i].time.has_value(), c.timed);
        if (c.timed) {
            EXPECT_NEAR(*fast[i].time, *pcre2[i].time, kTimeTolerance);
        }
        ASSERT_TRUE(fast[i].level.has_value());
        EXPECT_EQ(fast[i].level, pcre2[i].level);
        EXPECT_EQ(fast[i].text, texts[i]);
        EXPECT_EQ(pcre2[i].text, texts[i]);
        EXPECT_EQ(fast[i].parsed.format, pcre2[i].parsed.format);
        EXPECT_EQ(fast[i].parsed.values, pcre2[i].parsed.values);
    }
    EXPECT_EQ(recognised.counts().timed, matched.counts().timed);
    EXPECT_EQ(recognised.counts().other, 1u);
    EXPECT_EQ(matched.counts().other, 1u);
}

INSTANTIATE_TEST_SUITE_P(
    LogReader, PrefixRecognition,
    testing::Values(
        RecognitionCase{"IsoDateTimeWithZone",
                        {"2024-03-01T10:42:07.123+02:00 I app: ", "2024-03-01T10:42:08.5-0130 I app: ",
                         "2024-03-01T10:42:09Z E app: "},
                        R"((?<time>\S+) (?<level>\w) app: )",
                        true},
        RecognitionCase{
            "IsoDateTimeWithoutZone",
            {"2024-03-01 10:42:07,123 INFO ", "2024-03-01 10:42:08.000 INFO ", "2024-03-01 10:42:09 ERROR "},
            R"((?<time>\S+ \S+) (?<level>\w+) )",
            true},
        RecognitionCase{"TimeOfDayAcrossMidnight",
                        {"23:59:59.900 I ", "00:00:00.100 I ", "00:00:01 E "},
                        R"((?<time>\S+) (?<level>\w) )",
                        true},
        RecognitionCase{"EpochSeconds",
                        {"1709289727.5 info ", "1709289728 info ", "1709289729,25 error "},
                        R"((?<time>\S+) (?<level>\w+) )",
                        true},
        RecognitionCase{"EpochMilliseconds",
                        {"1709289727123 I/ktrsdk: ", "1709289728000 I/ktrsdk: ", "1709289729999 E/ktrsdk: "},
                        R"((?<time>\d+) (?<level>\w)/ktrsdk: )",
                        true},
        RecognitionCase{"Bracketed",
                        {"[2024-03-01 10:42:07.123] [INFO] ", "[2024-03-01 10:42:07.124] [INFO] ",
                         "[2024-03-01 10:42:07.125] [ERROR] "},
                        R"(\[(?<time>[^\]]+)\] \[(?<level>\w+)\] )",
                        true},
        RecognitionCase{"LogcatLevelLetters",
                        {"12-06 10:42:07.123  1234  5678 I ktrsdk: ", "12-06 10:42:07.124  1234  5678 I ktrsdk: ",
                         "12-06 10:42:07.125  1234  5678 E ktrsdk: "},
                        R"(\d\d-\d\d (?<time>\S+) +\d+ +\d+ (?<level>\w) ktrsdk: )",
                        true},
        RecognitionCase{"LevelLettersWithoutTime",
                        {"I/ktrsdk( 1234): ", "I/ktrsdk( 1234): ", "E/ktrsdk( 1234): "},
                        R"((?<level>\w)/ktrsdk\( *\d+\): )",
                        false}),
    [](const testing::TestParamInfo<RecognitionCase>& info) { return std::string(info.param.name); });

// The grammar of the stamps and level marks as PCRE2 patterns: leftmost match wins, and at one place a date
// and time is preferred to a time of day, and that to an epoch number. The recognition is held to them.
constexpr const char* kStampGrammar = R"((?<!\d)(?:(?<year>\d{4})-(?<month>\d{2})-(?<day>\d{2})[T ])?)"
                                      R"((?<hour>\d{2}):(?<minute>\d{2}):(?<second>\d{2})(?:[.,](?<fraction>\d{1,9}))?)"
                                      R"((?<zone>Z|[+-]\d{2}(?::?\d{2})?)?(?!\d))"
                                      R"(|(?<!\d)(?<milliseconds>\d{13})(?![\d.,]))"
                                      R"(|(?<!\d)(?<epoch>\d{10}(?:[.,]\d{1,9})?)(?!\d))";
constexpr const char* kMarkGrammar = R"((?<![^\s\[(|])(?<mark>[IWEiwe]|(?i:INFO|WARNING|WARN|ERROR))(?=[\s\]):|/]|$))";

// A prefix put together from pieces of stamps, marks and what stands around them in hosts' prefixes.
std::string randomPrefix(std::mt19937& random) {
    static const std::vector<std::string> pieces = {
        "2024-03-01",  "1999-12-31", "2024-13-40", "T",     " ",           "10:42:07",
        "25:61:61",    "23:59:60",   ".123",       ",5",    ".1234567890", "Z",
        "+02:00",      "-0130",      "+02",        "+0",    "1709289727",  "1709289727123",
        "12345678901", "12-06",      "0",          "7",     "-",           ":",
        ".",           ",",          "I",          "W",     "E",           "i",
        "w",           "e",          "INFO",       "warn",  "Warning",     "ERROR",
        "INFOS",       "[",          "]",          "(",     ")",           "|",
        "/",           "\t",         "x",          "ktrsdk"};
    std::string text;
    for (size_t count = random() % 10; count > 0; --count) {
        text += pieces[random() % pieces.size()];
    }
    return text;
}

TEST(HostPrefix, FindsTheStampAndMarkThatTheGrammarFinds) {
    ktr::log::Pcre2Pattern stamps(kStampGrammar);
    ktr::log::Pcre2Pattern marks(kMarkGrammar);
    const std::optional<int> markGroup = marks.groupNumber("mark");
    std::mt19937 random(20240301);
    for (int i = 0; i < 200000; ++i) {
        const std::string text = randomPrefix(random);
        const ktr::log::HostPrefix::Facts facts = ktr::log::HostPrefix::read(text);
        std::optional<ktr::log::TimeStamp::Time> time;
        if (stamps.match(text)) {
            const std::optional<ktr::log::TimeStamp::Found> found = ktr::log::TimeStamp::at(text, stamps.matchStart());
            ASSERT_TRUE(found && found->end == stamps.matchEnd())
                << "\"" << text << "\": the grammar's stamp ends at " << stamps.matchEnd();
            time = found->time;
        }
        ASSERT_EQ(facts.time.has_value(), time.has_value()) << "\"" << text << "\"";
        if (time) {
            EXPECT_EQ(facts.time->seconds, time->seconds) << "\"" << text << "\"";
            EXPECT_EQ(facts.time->timeOfDay, time->timeOfDay) << "\"" << text << "\"";
        }
        const std::optional<LogLevel> level =
            marks.match(text) ? ktr::log::LevelMark::parse(*marks.group(markGroup)) : std::nullopt;
        ASSERT_EQ(facts.level, level) << "\"" << text << "\"";
    }
}

struct StampCase {
    const char* text;
    std::optional<double> seconds;  // nothing: not one stamp, or a field out of range
    bool timeOfDay;
};

class Stamps : public testing::TestWithParam<StampCase> {};

TEST_P(Stamps, ReadAsOneStamp) {
    const StampCase& c = GetParam();
    const std::optional<ktr::log::TimeStamp::Time> time = ktr::log::TimeStamp::parse(c.text);
    ASSERT_EQ(time.has_value(), c.seconds.has_value()) << c.text;
    if (time) {
        EXPECT_NEAR(time->seconds, *c.seconds, kTimeTolerance) << c.text;
        EXPECT_EQ(time->timeOfDay, c.timeOfDay) << c.text;
    }
}

// 10:42:07 is 38527 seconds after midnight.
INSTANTIATE_TEST_SUITE_P(
    TimeStamp, Stamps,
    testing::Values(StampCase{"2024-03-01T10:42:07.123Z", kMarchFirst2024 + kTenFortyTwo, false},
                    StampCase{"2024-03-01 10:42:07,123+02:00", kMarchFirst2024 + kTenFortyTwo - 7200, false},
                    StampCase{"2024-03-01T10:42:07+0200", kMarchFirst2024 + 38527 - 7200, false},
                    StampCase{"2024-03-01T10:42:07-01", kMarchFirst2024 + 38527 + 3600, false},
                    StampCase{"23:59:60", 86400, true}, StampCase{"00:00:00.000000001", 1e-9, true},
                    StampCase{"10:42:07+02:00", 38527, true}, StampCase{"1709289727", 1709289727, false},
                    StampCase{"1709289727.25", 1709289727.25, false}, StampCase{"1709289727123", 1709289727.123, false},
                    StampCase{"24:00:00", std::nullopt, false}, StampCase{"10:60:00", std::nullopt, false},
                    StampCase{"2024-13-01 00:00:00", std::nullopt, false},
                    StampCase{"2024-02-00 00:00:00", std::nullopt, false},
                    StampCase{"10:42:07.1234567890", std::nullopt, false},
                    StampCase{"1709289727123.5", std::nullopt, false}, StampCase{"10:42:07 ", std::nullopt, false},
                    StampCase{"2024-03-01", std::nullopt, false}, StampCase{"10:42", std::nullopt, false}));

}  // namespace
