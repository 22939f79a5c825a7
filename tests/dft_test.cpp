#include <gtest/gtest.h>

#include <climits>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "dft/KTRDFTMap.h"
#include "support/LogCapture.h"

using tarn::video::VideoStreamInfo;
using Lines = std::vector<std::string>;

namespace {

const VideoStreamInfo k240P{1, 0, 320, 240, 15, 204800, 256000, 102400};
const VideoStreamInfo k480P{1, 0, 640, 480, 20, 358400, 512000, 245760};
const VideoStreamInfo k720P{1, 0, 1080, 720, 30, 716800, 1024000, 512000};

std::vector<int> fields(const VideoStreamInfo& s) {
    return {s.channel, s.dft, s.width, s.height, s.fps, s.bitrate, s.maxbitrate, s.minbitrate};
}

// One bitrate and what both lookups by bitrate answer for it with the built-in table.
struct BitrateCase {
    int bitrate;
    int dft;      // getDftByBitrate
    int infoDft;  // getDftInfoByBitrate
    VideoStreamInfo info;
};

void PrintTo(const BitrateCase& c, std::ostream* os) {
    *os << "bitrate " << c.bitrate;
}

class LookupByBitrate : public ::testing::TestWithParam<BitrateCase> {};

TEST_P(LookupByBitrate, ClassifiesWithTheBuiltInTable) {
    const BitrateCase& c = GetParam();
    LogCapture log;
    KTRDFTMap map;
    EXPECT_EQ(map.getDftByBitrate(c.bitrate), c.dft);
    VideoStreamInfo out{};
    EXPECT_EQ(map.getDftInfoByBitrate(c.bitrate, out), c.infoDft);
    EXPECT_EQ(fields(out), fields(c.info));
    const std::string value = std::to_string(c.bitrate);
    Lines expected;
    if (c.bitrate == 0 || c.bitrate >= 3145728) {
        expected = {"E [KTRDFTMap::getDftByBitrate]: ktr dft find by bitrate failed, return 480P, bitrate=" + value,
                    "W [KTRDFTMap::getDftInfoByBitrate]: ktr dft find definition info failed, bitrate=" + value};
    }
    EXPECT_EQ(log.take(), expected);
}

// Key 0 holds the 480P range and comes first, so it shadows 480P (and overlapping 240P) by bitrate.
INSTANTIATE_TEST_SUITE_P(Thresholds, LookupByBitrate,
                         ::testing::Values(BitrateCase{0, 4, 4, k480P}, BitrateCase{3145728, 4, 4, k480P},
                                           BitrateCase{INT_MAX, 4, 4, k480P}, BitrateCase{3145727, 0, 5, k720P},
                                           BitrateCase{3072001, 0, 5, k720P}, BitrateCase{3072000, 6, 5, k720P},
                                           BitrateCase{1024001, 6, 5, k720P}, BitrateCase{1024000, 5, 5, k720P},
                                           BitrateCase{512001, 5, 5, k720P}, BitrateCase{512000, 0, 5, k720P},
                                           BitrateCase{511999, 0, 4, k480P}, BitrateCase{300000, 0, 4, k480P},
                                           BitrateCase{245760, 0, 4, k480P}, BitrateCase{245759, 3, 3, k240P},
                                           BitrateCase{102400, 3, 3, k240P}, BitrateCase{102399, 0, 3, k240P},
                                           BitrateCase{1, 0, 3, k240P}, BitrateCase{-1, 0, 3, k240P},
                                           BitrateCase{INT_MIN, 0, 3, k240P}));

TEST(DftMap, LookupByTypeReadsTheChannelTableAndCreatesMissingEntries) {
    LogCapture log;
    KTRDFTMap map;
    VideoStreamInfo out{};
    EXPECT_EQ(map.getDftInfoByDft(7, 4, out), 4) << "any channel but 2 reads the camera table";
    EXPECT_EQ(fields(out), fields(k480P));
    EXPECT_EQ(map.getDftInfoByDft(2, 5, out), 5);
    EXPECT_EQ(fields(out), fields(VideoStreamInfo{}));
    EXPECT_EQ(map.getMaxBitrateByDft(2), 1024000) << "absent: the 720P maximum";
    EXPECT_EQ(map.getMinBitrateByDft(2), 102400) << "absent: the 240P minimum";
    EXPECT_EQ(map.getMinBitrateByDft(0), 245760);
    map.getDftInfoByDft(1, 2, out);
    EXPECT_EQ(map.getMaxBitrateByDft(2), 0) << "the lookup created entry 2";
    map.dump();
    const Lines lines = log.take();
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_EQ(Lines(lines.begin(), lines.begin() + 4),
              (Lines{"I [KTRDFTMap::getDftInfoByDft]: get video stream info by dft, channel=7, dft=4, bitrate=358400, "
                     "maxbitrate=512000, minbitrate=245760, width=640, height=480",
                     "I [KTRDFTMap::getDftInfoByDft]: get video stream info by dft, channel=2, dft=5, bitrate=0, "
                     "maxbitrate=0, minbitrate=0, width=0, height=0",
                     "I [KTRDFTMap::getMaxBitrateByDft]: invalid dft, use 720P, dft=2",
                     "I [KTRDFTMap::getMinBitrateByDft]: invalid dft, use 240p, dft=2"}));
    EXPECT_EQ(lines[6],
              "I [KTRDFTMap::dump]: ktr dft map, dft=2, width=0, height=0, fps=0, min_bitrate=0, max_bitrate=0");
    EXPECT_EQ(lines[10],
              "I [KTRDFTMap::dump]: ktr dft map, dft=6, width=1920, height=1080, fps=30, "
              "min_bitrate=1024000, max_bitrate=3072000");
}

// One row of the definition table that docs/host-guide.md prints: the key, then the record's fields.
struct GuideRow {
    int key;
    VideoStreamInfo record;
};

std::vector<GuideRow> definitionTableOfTheGuide() {
    std::ifstream guide(KTRSDK_HOST_GUIDE);
    std::string line;
    while (std::getline(guide, line) && line != "<!-- definition table -->") {
    }
    std::getline(guide, line);  // the header
    std::getline(guide, line);  // the separator
    std::vector<GuideRow> rows;
    while (std::getline(guide, line) && line.rfind("| ", 0) == 0) {
        std::vector<std::string> cells;
        std::istringstream row(line.substr(1));
        for (std::string cell; std::getline(row, cell, '|');) {
            cells.push_back(cell);
        }
        if (cells.size() < 8) {
            ADD_FAILURE() << "a row of the guide's table with " << cells.size() << " cells: " << line;
            continue;
        }
        const auto at = [&cells](size_t i) { return std::stoi(cells[i]); };
        rows.push_back({at(0), VideoStreamInfo{1, 0, at(2), at(3), at(4), at(5), at(6), at(7)}});
    }
    return rows;
}

TEST(DftMap, BuiltInTableIsTheOneTheHostGuidePrints) {
    const std::vector<GuideRow> rows = definitionTableOfTheGuide();
    ASSERT_FALSE(rows.empty()) << "no definition table in " << KTRSDK_HOST_GUIDE;
    LogCapture log;
    KTRDFTMap map;
    map.dump();
    std::vector<int> tableKeys;
    const std::regex dumped("ktr dft map, dft=(-?[0-9]+),");
    for (const std::string& line : log.take()) {
        std::smatch key;
        if (std::regex_search(line, key, dumped)) {
            tableKeys.push_back(std::stoi(key[1].str()));
        }
    }
    std::vector<int> guideKeys;
    for (const GuideRow& row : rows) {
        guideKeys.push_back(row.key);
        VideoStreamInfo entry{};
        map.getDftInfoByDft(1, row.key, entry);
        EXPECT_EQ(fields(entry), fields(row.record)) << "key " << row.key;
    }
    EXPECT_EQ(guideKeys, tableKeys) << "the guide prints other entries than the table holds";
}

TEST(DftMap, HostRecordsReplaceTheEntryTheirHeightNames) {
    KTRDFTMap map;
    const VideoStreamInfo camera480{1, 0, 640, 480, 20, 1, 2, 3};
    const VideoStreamInfo camera360{1, 9, 640, 360, 25, 400000, 600000, 300000};
    const VideoStreamInfo share360{2, 0, 640, 360, 25, 1, 2, 3};
    const VideoStreamInfo share720{2, 0, 1280, 720, 10, 800000, 1500000, 200000};
    LogCapture log;
    map.initStreamInfosForDft(
        {camera480, camera360, share360, share720, {1, 0, 960, 540, 30, 1, 2, 3}, {3, 0, 640, 480, 30, 1, 2, 3}});
    const Lines lines = log.take();
    ASSERT_EQ(lines.size(), 6u) << "one line per record, skipped or not";
    EXPECT_EQ(lines[1],
              "I [KTRDFTMap::initStreamInfosForDft]: init stream infos for dft, channel=1, width=640, "
              "height=360, bitrate=400000, maxbitrate=600000, minbitrate=300000");
    VideoStreamInfo out{};
    map.getDftInfoByDft(1, 4, out);
    EXPECT_EQ(fields(out), fields(camera360)) << "360 lines file under 480P, the later record wins, dft kept";
    map.getDftInfoByDft(2, 4, out);
    EXPECT_EQ(fields(out), fields(VideoStreamInfo{})) << "no 360-line class on the share channel";
    map.getDftInfoByDft(2, 5, out);
    EXPECT_EQ(fields(out), fields(share720));
    map.getDftInfoByDft(1, 5, out);
    EXPECT_EQ(fields(out), fields(k720P)) << "540 lines and channel 3 are skipped";
}

TEST(DftMap, HostEntriesTakePartInTheLookupsByBitrate) {
    KTRDFTMap map;
    map.initStreamInfosForDft({{1, 0, 320, 180, 15, 150000, 200000, 90000}, {1, 0, 320, 240, 15, 0, 300000, 204800}});
    EXPECT_EQ(map.getDftByBitrate(150000), 2) << "180P comes before 240P";
    EXPECT_EQ(map.getDftByBitrate(220000), 3);
    EXPECT_EQ(map.getDftByBitrate(300000), 0) << "entry 0 still shadows 480P";
    VideoStreamInfo out{};
    EXPECT_EQ(map.getDftInfoByBitrate(150000, out), 3) << "below every minimum";
    EXPECT_EQ(out.minbitrate, 204800);
}

}  // namespace
