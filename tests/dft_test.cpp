#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "dft/KTRDFTMap.h"
#include "support/LogCapture.h"

using tarn::video::VideoStreamInfo;

namespace {

const VideoStreamInfo k240P{1, 0, 320, 240, 15, 204800, 256000, 102400};
const VideoStreamInfo k480P{1, 0, 640, 480, 20, 358400, 512000, 245760};
const VideoStreamInfo k720P{1, 0, 1080, 720, 30, 716800, 1024000, 512000};

bool same(const VideoStreamInfo& a, const VideoStreamInfo& b) {
    return a.channel == b.channel && a.dft == b.dft && a.width == b.width && a.height == b.height && a.fps == b.fps &&
           a.bitrate == b.bitrate && a.maxbitrate == b.maxbitrate && a.minbitrate == b.minbitrate;
}

std::string show(const VideoStreamInfo& s) {
    return "{" + std::to_string(s.channel) + "," + std::to_string(s.dft) + "," + std::to_string(s.width) + "x" +
           std::to_string(s.height) + "@" + std::to_string(s.fps) + "," + std::to_string(s.bitrate) + "," +
           std::to_string(s.maxbitrate) + "," + std::to_string(s.minbitrate) + "}";
}

struct ByBitrateCase {
    int bitrate;
    int dft;
    std::vector<std::string> log;
};

void PrintTo(const ByBitrateCase& c, std::ostream* os) {
    *os << "bitrate " << c.bitrate;
}

class DftByBitrate : public ::testing::TestWithParam<ByBitrateCase> {};

TEST_P(DftByBitrate, AnswersLowestKeyWhoseRangeHoldsTheBitrate) {
    const ByBitrateCase& c = GetParam();
    LogCapture log;
    KTRDFTMap map;
    EXPECT_EQ(map.getDftByBitrate(c.bitrate), c.dft) << "bitrate " << c.bitrate;
    EXPECT_EQ(log.take(), c.log);
}

std::vector<std::string> findFailed(int bitrate) {
    return {"E [KTRDFTMap::getDftByBitrate]: ktr dft find by bitrate failed, return 480P, bitrate=" +
            std::to_string(bitrate)};
}

INSTANTIATE_TEST_SUITE_P(
    BuiltInTable, DftByBitrate,
    ::testing::Values(ByBitrateCase{0, 4, findFailed(0)}, ByBitrateCase{3145728, 4, findFailed(3145728)},
                      ByBitrateCase{INT_MAX, 4, findFailed(INT_MAX)}, ByBitrateCase{3145727, 0, {}},
                      ByBitrateCase{102399, 0, {}}, ByBitrateCase{102400, 3, {}}, ByBitrateCase{245759, 3, {}},
                      ByBitrateCase{245760, 0, {}}, ByBitrateCase{300000, 0, {}}, ByBitrateCase{512000, 0, {}},
                      ByBitrateCase{512001, 5, {}}, ByBitrateCase{1024000, 5, {}}, ByBitrateCase{1024001, 6, {}},
                      ByBitrateCase{3072000, 6, {}}, ByBitrateCase{3072001, 0, {}}, ByBitrateCase{-1, 0, {}},
                      ByBitrateCase{INT_MIN, 0, {}}));

struct InfoByBitrateCase {
    int bitrate;
    int dft;
    VideoStreamInfo record;
    bool warns;
};

void PrintTo(const InfoByBitrateCase& c, std::ostream* os) {
    *os << "bitrate " << c.bitrate;
}

class DftInfoByBitrate : public ::testing::TestWithParam<InfoByBitrateCase> {};

TEST_P(DftInfoByBitrate, AnswersHighestClassWhoseMinimumTheBitrateReaches) {
    const InfoByBitrateCase& c = GetParam();
    LogCapture log;
    KTRDFTMap map;
    VideoStreamInfo out{};
    EXPECT_EQ(map.getDftInfoByBitrate(c.bitrate, out), c.dft) << "bitrate " << c.bitrate;
    EXPECT_TRUE(same(out, c.record)) << "bitrate " << c.bitrate << " gave " << show(out);
    std::vector<std::string> expected;
    if (c.warns) {
        expected.push_back("W [KTRDFTMap::getDftInfoByBitrate]: ktr dft find definition info failed, bitrate=" +
                           std::to_string(c.bitrate));
    }
    EXPECT_EQ(log.take(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    BuiltInTable, DftInfoByBitrate,
    ::testing::Values(InfoByBitrateCase{3145728, 4, k480P, true}, InfoByBitrateCase{0, 4, k480P, true},
                      InfoByBitrateCase{3145727, 5, k720P, false}, InfoByBitrateCase{3072000, 5, k720P, false},
                      InfoByBitrateCase{512000, 5, k720P, false}, InfoByBitrateCase{511999, 4, k480P, false},
                      InfoByBitrateCase{245760, 4, k480P, false}, InfoByBitrateCase{245759, 3, k240P, false},
                      InfoByBitrateCase{1, 3, k240P, false}, InfoByBitrateCase{-1, 3, k240P, false},
                      InfoByBitrateCase{INT_MIN, 3, k240P, false}));

TEST(DftByDft, ReadsTheChosenChannelTableAndLogsTheArgumentsAsPassed) {
    LogCapture log;
    KTRDFTMap map;
    VideoStreamInfo out{};
    EXPECT_EQ(map.getDftInfoByDft(1, 5, out), 5);
    EXPECT_TRUE(same(out, k720P)) << show(out);
    EXPECT_EQ(map.getDftInfoByDft(7, 4, out), 4);
    EXPECT_TRUE(same(out, k480P)) << show(out);
    EXPECT_EQ(map.getDftInfoByDft(2, 5, out), 5);
    EXPECT_TRUE(same(out, VideoStreamInfo{})) << show(out);
    EXPECT_EQ(log.take(), (std::vector<std::string>{
                              "I [KTRDFTMap::getDftInfoByDft]: get video stream info by dft, channel=1, dft=5, "
                              "bitrate=716800, maxbitrate=1024000, minbitrate=512000, width=1080, height=720",
                              "I [KTRDFTMap::getDftInfoByDft]: get video stream info by dft, channel=7, dft=4, "
                              "bitrate=358400, maxbitrate=512000, minbitrate=245760, width=640, height=480",
                              "I [KTRDFTMap::getDftInfoByDft]: get video stream info by dft, channel=2, dft=5, "
                              "bitrate=0, maxbitrate=0, minbitrate=0, width=0, height=0",
                          }));
}

TEST(DftByDft, MissingEntryIsCreatedAllZeroAndStaysInTheTable) {
    KTRDFTMap map;
    VideoStreamInfo out{};
    map.getDftInfoByDft(1, 2, out);
    LogCapture log;
    EXPECT_EQ(map.getMaxBitrateByDft(2), 0) << "entry 2 now exists, so no fallback";
    map.dump();
    EXPECT_EQ(log.take(),
              (std::vector<std::string>{
                  "I [KTRDFTMap::dump]: ktr dft map, dft=0, width=640, height=480, fps=20, min_bitrate=245760, "
                  "max_bitrate=512000",
                  "I [KTRDFTMap::dump]: ktr dft map, dft=2, width=0, height=0, fps=0, min_bitrate=0, max_bitrate=0",
                  "I [KTRDFTMap::dump]: ktr dft map, dft=3, width=320, height=240, fps=15, min_bitrate=102400, "
                  "max_bitrate=256000",
                  "I [KTRDFTMap::dump]: ktr dft map, dft=4, width=640, height=480, fps=20, min_bitrate=245760, "
                  "max_bitrate=512000",
                  "I [KTRDFTMap::dump]: ktr dft map, dft=5, width=1080, height=720, fps=30, min_bitrate=512000, "
                  "max_bitrate=1024000",
                  "I [KTRDFTMap::dump]: ktr dft map, dft=6, width=1920, height=1080, fps=30, min_bitrate=1024000, "
                  "max_bitrate=3072000",
              }));
}

TEST(DftBounds, MissingEntryFallsBackTo720PMaximumAnd240PMinimum) {
    LogCapture log;
    KTRDFTMap map;
    EXPECT_EQ(map.getMaxBitrateByDft(2), 1024000);
    EXPECT_EQ(map.getMinBitrateByDft(2), 102400);
    EXPECT_EQ(map.getMinBitrateByDft(0), 245760);
    EXPECT_EQ(map.getMaxBitrateByDft(6), 3072000);
    EXPECT_EQ(log.take(), (std::vector<std::string>{
                              "I [KTRDFTMap::getMaxBitrateByDft]: invalid dft, use 720P, dft=2",
                              "I [KTRDFTMap::getMinBitrateByDft]: invalid dft, use 240p, dft=2",
                          }));
}

TEST(DftHostRecords, HeightNamesTheEntryPerChannel) {
    KTRDFTMap map;
    const VideoStreamInfo camera360{1, 9, 640, 360, 25, 400000, 600000, 300000};
    const VideoStreamInfo share360{2, 0, 640, 360, 25, 400000, 600000, 300000};
    const VideoStreamInfo share720{2, 0, 1280, 720, 10, 800000, 1500000, 200000};
    const VideoStreamInfo odd540{1, 0, 960, 540, 30, 1, 2, 3};
    const VideoStreamInfo channel3{3, 0, 640, 480, 30, 1, 2, 3};
    LogCapture log;
    map.initStreamInfosForDft({camera360, share360, share720, odd540, channel3});
    EXPECT_EQ(log.take().size(), 5u) << "one line per record, skipped or not";

    VideoStreamInfo out{};
    map.getDftInfoByDft(1, 4, out);
    EXPECT_TRUE(same(out, camera360)) << "360 lines file under 480P and keep the host's dft field: " << show(out);
    map.getDftInfoByDft(2, 4, out);
    EXPECT_TRUE(same(out, VideoStreamInfo{})) << "the share channel has no 360-line class: " << show(out);
    map.getDftInfoByDft(2, 5, out);
    EXPECT_TRUE(same(out, share720)) << show(out);
    map.getDftInfoByDft(1, 5, out);
    EXPECT_TRUE(same(out, k720P)) << "540 lines and channel 3 are skipped: " << show(out);
}

TEST(DftHostRecords, LaterRecordForTheSameEntryWinsAndLogsItsValues) {
    KTRDFTMap map;
    const VideoStreamInfo camera480{1, 0, 640, 480, 20, 1, 2, 3};
    const VideoStreamInfo camera360{1, 0, 640, 360, 20, 4, 5, 6};
    LogCapture log;
    map.initStreamInfosForDft({camera480, camera360});
    EXPECT_EQ(log.take(), (std::vector<std::string>{
                              "I [KTRDFTMap::initStreamInfosForDft]: init stream infos for dft, channel=1, "
                              "width=640, height=480, bitrate=1, maxbitrate=2, minbitrate=3",
                              "I [KTRDFTMap::initStreamInfosForDft]: init stream infos for dft, channel=1, "
                              "width=640, height=360, bitrate=4, maxbitrate=5, minbitrate=6",
                          }));
    EXPECT_EQ(map.getMaxBitrateByDft(4), 5);
}

TEST(DftHostRecords, A180LineEntryIsConsideredBefore240P) {
    KTRDFTMap map;
    map.initStreamInfosForDft({VideoStreamInfo{1, 0, 320, 180, 15, 150000, 200000, 90000}});
    EXPECT_EQ(map.getDftByBitrate(150000), 2) << "180P and 240P overlap; the lower key wins";
    EXPECT_EQ(map.getDftByBitrate(90000), 2);
    EXPECT_EQ(map.getDftByBitrate(220000), 3);
    EXPECT_EQ(map.getDftByBitrate(300000), 0) << "entry 0 still shadows 480P";
}

TEST(DftHostRecords, Replaced240PMinimumMovesTheLookupsByBitrate) {
    KTRDFTMap map;
    map.initStreamInfosForDft({VideoStreamInfo{1, 0, 320, 240, 15, 250000, 300000, 204800}});
    VideoStreamInfo out{};
    EXPECT_EQ(map.getDftInfoByBitrate(150000, out), 3) << "below every minimum still answers 240P";
    EXPECT_EQ(out.minbitrate, 204800);
    EXPECT_EQ(map.getMinBitrateByDft(3), 204800);
}

}  // namespace
