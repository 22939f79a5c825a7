// The log catalogue against the library. Every format of the library's header (KTRLogFormats.h) has
// exactly one catalogue entry, with an explanation, and every entry is one of them; a line printed from
// any entry, with extreme values too, parses back to exactly that entry and those values; and text that no
// format prints parses to nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <limits>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "KTRLogFormats.h"
#include "LogCatalogue.h"
#include "xlog/logsdk.h"

namespace {

using ktr::LogFormat;
using ktr::LogLevel;
using ktr::ParsedLine;

constexpr LogLevel kLevels[] = {LogLevel::Info, LogLevel::Warning, LogLevel::Error};
// Every field of every entry is printed with each of these in turn.
constexpr int32_t kIntValues[] = {
    std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(), 0, -1, 1, 307200};
constexpr uint64_t kUidValues[] = {std::numeric_limits<uint64_t>::max(), 0, 1, uint64_t{1} << 63};
constexpr size_t kRounds = std::max(std::size(kIntValues), std::size(kUidValues));

const char* levelName(LogLevel level) {
    return level == LogLevel::Info ? "info" : level == LogLevel::Warning ? "warning" : "error";
}

// ---- completeness -------------------------------------------------------------------------------

// A format of the library's header.
struct HeaderFormat {
    std::string_view id;
    ktrlog::Level level;
    std::string_view tag;
    std::string_view text;
};

template <typename... Formats>
std::vector<HeaderFormat> headerFormats(ktrlog::FormatList<Formats...>) {
    return {HeaderFormat{Formats::id, Formats::level, Formats::tag, Formats::text}...};
}

// The mark the logger writes before a line of the format's level: "I" for logi, "W" for logw, "E" for loge.
std::string_view markOf(ktrlog::Level level) {
    return level == ktrlog::Level::Info ? "I" : level == ktrlog::Level::Warning ? "W" : "E";
}

bool isEntryOf(const LogFormat& entry, const HeaderFormat& format) {
    return entry.id == format.id && xlog::levelMark(entry.level) == markOf(format.level) && entry.tag == format.tag &&
           entry.format == format.text;
}

TEST(LogCatalogue, HoldsEveryFormatOfTheLibraryOnceWithAnExplanation) {
    const std::vector<HeaderFormat> formats = headerFormats(ktrlog::AllFormats{});
    const std::vector<LogFormat>& catalogue = ktr::logCatalogue();
    std::set<std::string_view> ids;
    for (const HeaderFormat& format : formats) {
        EXPECT_TRUE(ids.insert(format.id).second) << format.id << " names two formats of the header";
        const auto entries = std::count_if(catalogue.begin(), catalogue.end(),
                                           [&](const LogFormat& entry) { return isEntryOf(entry, format); });
        EXPECT_EQ(entries, 1) << format.id << " has " << entries << " catalogue entries instead of one";
    }
    for (const LogFormat& entry : catalogue) {
        const bool inHeader = std::any_of(formats.begin(), formats.end(),
                                          [&](const HeaderFormat& format) { return isEntryOf(entry, format); });
        EXPECT_TRUE(inHeader) << entry.id << ": " << levelName(entry.level) << " [" << entry.tag << "] \""
                              << entry.format << "\" is no format of the library's header";
        EXPECT_FALSE(entry.explanation.empty()) << entry.id << " has no explanation";
    }
}

// ---- printing lines as the library does ---------------------------------------------------------

// A format cut after each conversion: its literal text up to and including the conversion, and the
// conversion ('s', 'd' or 'u' for %llu). What follows the last conversion is the tail.
struct Piece {
    std::string format;
    char conversion;
};

struct SplitFormat {
    std::vector<Piece> pieces;
    std::string tail;
};

SplitFormat split(std::string_view format) {
    SplitFormat parts;
    std::string literal;
    for (size_t i = 0; i < format.size(); ++i) {
        literal += format[i];
        if (format[i] != '%') {
            continue;
        }
        const std::string_view afterPercent = format.substr(i + 1);
        const char conversion = afterPercent.substr(0, 3) == "llu" ? 'u'
                                : afterPercent.substr(0, 1) == "d" ? 'd'
                                : afterPercent.substr(0, 1) == "s" ? 's'
                                                                   : 0;
        if (conversion == 0) {
            ADD_FAILURE() << "unexpected conversion in \"" << format << "\"";
            return parts;
        }
        const size_t conversionLength = conversion == 'u' ? 3 : 1;
        literal += afterPercent.substr(0, conversionLength);
        i += conversionLength;
        parts.pieces.push_back(Piece{literal, conversion});
        literal.clear();
    }
    parts.tail = literal;
    return parts;
}

template <typename Value>
std::string print(const std::string& format, Value value) {
    char buffer[512];
    const int length = std::snprintf(buffer, sizeof buffer, format.c_str(), value);
    EXPECT_TRUE(length >= 0 && static_cast<size_t>(length) < sizeof buffer) << format;
    return buffer;
}

// One value printed into a line.
struct Field {
    char conversion;
    int64_t integer;
    uint64_t uid;
    std::string text;
};

struct PrintedLine {
    std::string text;
    std::vector<Field> fields;
};

// The entry printed through snprintf, piece by piece, with the values of the given round.
PrintedLine printEntry(const LogFormat& entry, size_t round) {
    const SplitFormat parts = split(entry.format);
    PrintedLine line;
    for (const Piece& piece : parts.pieces) {
        const size_t slot = line.fields.size() + round;
        if (piece.conversion == 's') {
            line.text += print(piece.format, std::string(entry.tag).c_str());
        } else if (piece.conversion == 'd') {
            const int32_t value = kIntValues[slot % std::size(kIntValues)];
            line.fields.push_back(Field{'d', value, 0, std::to_string(value)});
            line.text += print(piece.format, value);
        } else {
            const uint64_t value = kUidValues[slot % std::size(kUidValues)];
            line.fields.push_back(Field{'u', 0, value, std::to_string(value)});
            line.text += print(piece.format, static_cast<unsigned long long>(value));
        }
    }
    line.text += parts.tail;
    return line;
}

// The entry's line with value texts that printf may never print, such as out-of-range numbers.
std::string lineWithTexts(const LogFormat& entry, const std::string& tag, const std::vector<std::string>& texts) {
    const SplitFormat parts = split(entry.format);
    std::string line;
    size_t next = 0;
    for (const Piece& piece : parts.pieces) {
        const std::string value = piece.conversion == 's' ? tag : next < texts.size() ? texts[next++] : "";
        line += piece.format.substr(0, piece.format.rfind('%')) + value;
    }
    return line + parts.tail;
}

// ---- round trip ---------------------------------------------------------------------------------

void expectFieldsByName(const ParsedLine& parsed, const LogFormat& entry, const std::vector<Field>& fields) {
    ASSERT_EQ(entry.fields.size(), fields.size()) << "one field name per conversion after the tag";
    for (size_t i = 0; i < fields.size(); ++i) {
        const std::string_view name = entry.fields[i];
        if (fields[i].conversion == 'd') {
            EXPECT_EQ(parsed.integer(name), fields[i].integer) << name;
            EXPECT_THROW(parsed.uid(name), std::out_of_range) << name << " is a %d field";
        } else {
            EXPECT_EQ(parsed.uid(name), fields[i].uid) << name;
            EXPECT_THROW(parsed.integer(name), std::out_of_range) << name << " is a %llu field";
        }
    }
}

void expectOtherLevelsRefuse(const std::string& text, LogLevel level) {
    for (LogLevel other : kLevels) {
        if (other != level) {
            EXPECT_FALSE(ktr::parseLogLine(text, other).has_value()) << "parsed at level " << levelName(other);
        }
    }
}

void expectParsesBack(const LogFormat& entry, const PrintedLine& line) {
    SCOPED_TRACE(line.text);
    const std::vector<ParsedLine> parsed = ktr::parseLogLineAll(line.text);
    ASSERT_EQ(parsed.size(), 1u);
    ASSERT_EQ(parsed[0].format, &entry) << "parsed as " << parsed[0].format->id;
    std::vector<std::string> texts;
    for (const Field& field : line.fields) {
        texts.push_back(field.text);
    }
    EXPECT_EQ(parsed[0].values, texts);
    expectFieldsByName(parsed[0], entry, line.fields);
    EXPECT_EQ(parsed[0].explanation().find('{'), std::string::npos) << parsed[0].explanation();
    const std::optional<ParsedLine> atLevel = ktr::parseLogLine(line.text, entry.level);
    EXPECT_TRUE(atLevel.has_value() && atLevel->format == &entry);
    expectOtherLevelsRefuse(line.text, entry.level);
}

TEST(LogCatalogue, EveryEntryParsesBackWithItsValues) {
    for (const LogFormat& entry : ktr::logCatalogue()) {
        SCOPED_TRACE(entry.id);
        EXPECT_EQ(&ktr::logFormat(entry.id), &entry) << "ids are unique";
        for (size_t round = 0; round < kRounds; ++round) {
            expectParsesBack(entry, printEntry(entry, round));
        }
    }
}

// ---- text that no format prints -----------------------------------------------------------------

struct Unparsable {
    const char* why;
    std::string text;
};

TEST(LogCatalogue, ParsesNothingThatNoFormatPrints) {
    const LogFormat& init = ktr::logFormat(ktrlog::MgrInit::id);  // "uid=%llu, dt=%d"
    const std::string tag(init.tag);
    const LogFormat& lowScore = ktr::logFormat(ktrlog::DlRealAdjustLowScore::id);  // ends in literal text
    const std::string lowScoreLine = lineWithTexts(lowScore, std::string(lowScore.tag), {"80"});
    const LogFormat& dumpStart = ktr::logFormat(ktrlog::SelectDumpStart::id);
    const std::vector<Unparsable> cases = {
        {"a uid one above the largest", lineWithTexts(init, tag, {"18446744073709551616", "0"})},
        {"a %d value one above the largest", lineWithTexts(init, tag, {"1", "2147483648"})},
        {"a %d value one below the smallest", lineWithTexts(init, tag, {"1", "-2147483649"})},
        {"a negative uid", lineWithTexts(init, tag, {"-1", "0"})},
        {"a number without digits", lineWithTexts(init, tag, {"1", "-"})},
        {"a missing number", lineWithTexts(init, tag, {"1", ""})},
        {"a plus sign", lineWithTexts(init, tag, {"1", "+5"})},
        {"text after the line", lineWithTexts(init, tag, {"1", "2"}) + " "},
        {"a line cut short", lowScoreLine.substr(0, lowScoreLine.size() - 1)},
        {"another tag", lineWithTexts(init, tag + "x", {"1", "2"})},
        {"the message without its tag", lineWithTexts(init, tag, {"1", "2"}).substr(tag.size() + 4)},
        {"a dump line with a tag", "[" + tag + "]: " + std::string(dumpStart.format)},
        {"an empty line", ""},
        {"an opening bracket alone", "["},
        {"a tag without a message", "[" + tag + "]"},
    };
    ASSERT_TRUE(ktr::parseLogLine(lineWithTexts(init, tag, {"1", "2"})).has_value()) << "the unchanged line parses";
    ASSERT_TRUE(ktr::parseLogLine(lowScoreLine).has_value()) << "the unchanged line parses";
    for (const Unparsable& unparsable : cases) {
        EXPECT_TRUE(ktr::parseLogLineAll(unparsable.text).empty())
            << unparsable.why << ": \"" << unparsable.text << "\"";
    }
}

TEST(LogCatalogue, UnknownIdsAndFieldsThrow) {
    EXPECT_THROW(ktr::logFormat("mgr.noSuchLine"), std::out_of_range);
    const std::optional<ParsedLine> parsed =
        ktr::parseLogLine(lineWithTexts(ktr::logFormat(ktrlog::MgrInit::id), "KTRMgr::init", {"7", "8"}));
    ASSERT_TRUE(parsed.has_value());
    EXPECT_THROW(parsed->integer("noSuchField"), std::out_of_range);
    EXPECT_THROW(parsed->uid("noSuchField"), std::out_of_range);
    EXPECT_THROW(ParsedLine().integer("uid"), std::out_of_range);
    const LogFormat copy = ktr::logFormat(ktrlog::MgrInit::id);
    EXPECT_THROW((ParsedLine{&copy, {"7", "8"}}.integer("dt")), std::out_of_range) << "not an entry of the catalogue";
}

}  // namespace
