#include <gtest/gtest.h>

#include <climits>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "dft/KTRDFTMap.h"
#include "support/LogCapture.h"
#include "support/Records.h"

using tarn::video::VideoStreamInfo;
using Lines = std::vector<std::string>;

namespace {

// An entry of a definition table: its key and the record it holds. These three are built in.
struct Entry {
    int key;
    VideoStreamInfo record;
};
const Entry k240P{3, camera(320, 240).fps(15).bitrate(204800).between(102400, 256000)};
const Entry k480P{4, camera(640, 480).fps(20).bitrate(358400).between(245760, 512000)};
const Entry k720P{5, camera(1080, 720).fps(30).bitrate(716800).between(512000, 1024000)};

// One bitrate and what both lookups by bitrate answer for it with the built-in table.
struct BitrateCase {
    std::string name;
    int bitrate = 0;
    int key = 0;   // getDftByBitrate
    Entry info{};  // getDftInfoByBitrate
    bool refused = false;
    BitrateCase keyIs(int value) const { return {name, bitrate, value, info, refused}; }
    BitrateCase infoIs(const Entry& entry) const { return {name, bitrate, key, entry, refused}; }
    // Outside the classified range both lookups log and answer 480P.
    BitrateCase refusedAs480P() const { return {name, bitrate, k480P.key, k480P, true}; }
};

BitrateCase at(const std::string& name, int bitrate) {
    return {name, bitrate};
}

void PrintTo(const BitrateCase& c, std::ostream* os) {
    *os << "bitrate " << c.bitrate;
}

class LookupByBitrate : public ::testing::TestWithParam<BitrateCase> {};

TEST_P(LookupByBitrate, ClassifiesWithTheBuiltInTable) {
    const BitrateCase& c = GetParam();
    LogCapture log;
    KTRDFTMap map;
    EXPECT_EQ(map.getDftByBitrate(c.bitrate), c.key);
    VideoStreamInfo out{};
    EXPECT_EQ(map.getDftInfoByBitrate(c.bitrate, out), c.info.key);
    EXPECT_EQ(out, c.info.record);
    const std::string value = std::to_string(c.bitrate);
    Lines expected;
    if (c.refused) {
        expected = {"E [KTRDFTMap::getDftByBitrate]: ktr dft find by bitrate failed, return 480P, bitrate=" + value,
                    "W [KTRDFTMap::getDftInfoByBitrate]: ktr dft find definition info failed, bitrate=" + value};
    }
    EXPECT_EQ(log.take(), expected);
}

// Key 0 holds the 480P range and comes first, so it shadows 480P (and overlapping 240P) by bitrate; a
// bitrate in no range answers key 0 too.
INSTANTIATE_TEST_SUITE_P(Thresholds, LookupByBitrate,
                         ::testing::ValuesIn(std::vector<BitrateCase>{
                             at("ZeroIsRefused", 0).refusedAs480P(),
                             at("CeilingIsRefused", 3145728).refusedAs480P(),
                             at("IntMaxIsRefused", INT_MAX).refusedAs480P(),
                             at("BelowCeilingIsKey0", 3145727).keyIs(0).infoIs(k720P),
                             at("Above1080PRangeIsKey0", 3072001).keyIs(0).infoIs(k720P),
                             at("Top1080PIs1080P", 3072000).keyIs(6).infoIs(k720P),
                             at("Above720PRangeIs1080P", 1024001).keyIs(6).infoIs(k720P),
                             at("Top720PIs720P", 1024000).keyIs(5).infoIs(k720P),
                             at("Above480PRangeIs720P", 512001).keyIs(5).infoIs(k720P),
                             at("Top480PIsKey0", 512000).keyIs(0).infoIs(k720P),
                             at("Below720PMinimumIsKey0", 511999).keyIs(0).infoIs(k480P),
                             at("Inside480PIsKey0", 300000).keyIs(0).infoIs(k480P),
                             at("Bottom480PIsKey0", 245760).keyIs(0).infoIs(k480P),
                             at("Below480PRangeIs240P", 245759).keyIs(3).infoIs(k240P),
                             at("Bottom240PIs240P", 102400).keyIs(3).infoIs(k240P),
                             at("Below240PRangeIsKey0", 102399).keyIs(0).infoIs(k240P),
                             at("OneIsKey0", 1).keyIs(0).infoIs(k240P),
                             at("MinusOneIsKey0", -1).keyIs(0).infoIs(k240P),
                             at("IntMinIsKey0", INT_MIN).keyIs(0).infoIs(k240P),
                         }),
                         [](const auto& row) { return row.param.name; });

TEST(DftMap, LookupByTypeReadsTheChannelTableAndCreatesMissingEntries) {
    LogCapture log;
    KTRDFTMap map;
    VideoStreamInfo out{};
    EXPECT_EQ(map.getDftInfoByDft(7, 4, out), 4) << "any channel but 2 reads the camera table";
    EXPECT_EQ(out, k480P.record);
    EXPECT_EQ(map.getDftInfoByDft(2, 5, out), 5);
    EXPECT_EQ(out, VideoStreamInfo{});
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

// The rows of the definition table that docs/host-guide.md prints: the key, then the record's fields.
std::vector<Entry> definitionTableOfTheGuide() {
    std::ifstream guide(KTRSDK_HOST_GUIDE);
    std::string line;
    while (std::getline(guide, line) && line != "<!-- definition table -->") {
    }
    std::getline(guide, line);  // the header
    std::getline(guide, line);  // the separator
    std::vector<Entry> rows;
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
        const auto number = [&cells](size_t i) { return std::stoi(cells[i]); };
        rows.push_back(
            {number(0), camera(number(2), number(3)).fps(number(4)).bitrate(number(5)).between(number(7), number(6))});
    }
    return rows;
}

TEST(DftMap, BuiltInTableIsTheOneTheHostGuidePrints) {
    const std::vector<Entry> rows = definitionTableOfTheGuide();
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
    for (const Entry& row : rows) {
        guideKeys.push_back(row.key);
        VideoStreamInfo entry{};
        map.getDftInfoByDft(1, row.key, entry);
        EXPECT_EQ(entry, row.record) << "key " << row.key;
    }
    EXPECT_EQ(guideKeys, tableKeys) << "the guide prints other entries than the table holds";
}

TEST(DftMap, HostRecordsReplaceTheEntryTheirHeightNames) {
    KTRDFTMap map;
    const VideoStreamInfo camera480 = camera(640, 480).fps(20).bitrate(1).between(3, 2);
    const VideoStreamInfo camera360 = camera(640, 360).dft(9).fps(25).bitrate(400000).between(300000, 600000);
    const VideoStreamInfo share360 = share(640, 360).fps(25).bitrate(1).between(3, 2);
    const VideoStreamInfo share720 = share(1280, 720).fps(10).bitrate(800000).between(200000, 1500000);
    const VideoStreamInfo camera540 = camera(960, 540).fps(30).bitrate(1).between(3, 2);
    const VideoStreamInfo channel3 = StreamRecord(3, 640, 480).fps(30).bitrate(1).between(3, 2);
    LogCapture log;
    map.initStreamInfosForDft({camera480, camera360, share360, share720, camera540, channel3});
    const Lines lines = log.take();
    ASSERT_EQ(lines.size(), 6u) << "one line per record, skipped or not";
    EXPECT_EQ(lines[1],
              "I [KTRDFTMap::initStreamInfosForDft]: init stream infos for dft, channel=1, width=640, "
              "height=360, bitrate=400000, maxbitrate=600000, minbitrate=300000");
    VideoStreamInfo out{};
    map.getDftInfoByDft(1, 4, out);
    EXPECT_EQ(out, camera360) << "360 lines file under 480P, the later record wins, dft kept";
    map.getDftInfoByDft(2, 4, out);
    EXPECT_EQ(out, VideoStreamInfo{}) << "no 360-line class on the share channel";
    map.getDftInfoByDft(2, 5, out);
    EXPECT_EQ(out, share720);
    map.getDftInfoByDft(1, 5, out);
    EXPECT_EQ(out, k720P.record) << "540 lines and channel 3 are skipped";
}

TEST(DftMap, HostEntriesTakePartInTheLookupsByBitrate) {
    KTRDFTMap map;
    map.initStreamInfosForDft({camera(320, 180).fps(15).bitrate(150000).between(90000, 200000),
                               camera(320, 240).fps(15).between(204800, 300000)});
    EXPECT_EQ(map.getDftByBitrate(150000), 2) << "180P comes before 240P";
    EXPECT_EQ(map.getDftByBitrate(220000), 3);
    EXPECT_EQ(map.getDftByBitrate(300000), 0) << "entry 0 still shadows 480P";
    VideoStreamInfo out{};
    EXPECT_EQ(map.getDftInfoByBitrate(150000, out), 3) << "below every minimum";
    EXPECT_EQ(out.minbitrate, 204800);
}

}  // namespace
