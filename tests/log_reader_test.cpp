// The log reader over the prefix styles hosts write, other components' lines, unknown library lines, and
// damaged input: cut lines, CRLF, NUL bytes, invalid UTF-8, gzip and standard input.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "InputFile.h"
#include "KTRLogFormats.h"
#include "LogReader.h"

namespace {

using ktr::LogLevel;
using ktr::logs::LibraryLine;
using ktr::logs::LogReader;

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
    const std::vector<std::pair<uint64_t, std::string>> samples = {{4, "[KTRMgr::init]: ktr init uid=1001"},
                                                                   {6, "ktr select reqs, begin======="}};
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
    EXPECT_EQ(reader.counts().unknownSamples.back().first, 20u);
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

}  // namespace
