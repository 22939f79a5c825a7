// Timelines as JSON Lines, schema 2: a header line (what the timeline came from, and the log catalogue
// once), then one line per step. A step's rules carry each line's format id, level and field values; its
// state carries only what the step changed, unless the header says every step holds the whole state.
#ifndef KTRSDK_TOOLS_COMMON_MODEL_TIMELINEFORMAT_H
#define KTRSDK_TOOLS_COMMON_MODEL_TIMELINEFORMAT_H

#include <istream>
#include <map>
#include <string>
#include <vector>

#include "JsonOut.h"
#include "LogPattern.h"
#include "Timeline.h"

namespace ktr {

// Raised when a key changes meaning or goes away.
constexpr int kTimelineSchema = 2;

void writeTimelineHeader(JsonOut& out, const TimelineHeader& header);
// wholeState writes step.state whole in place of step.change.
void writeTimelineStep(JsonOut& out, const TimelineStep& step, bool wholeState);

// Reads a timeline line by line: memory holds one step and the state, whatever the timeline's length.
class TimelineReader {
public:
    // Reads the header; throws InputError naming source for input that is not a timeline of this schema.
    TimelineReader(std::istream& in, std::string source);

    const TimelineHeader& header() const { return m_header; }
    // The next step, its state merged into what the reader holds (step.state points there); false at the end.
    // Throws InputError naming the source and the line.
    bool next(TimelineStep& step);
    // Whether a whole line was read ahead from the stream and waits: next() needs nothing more from it.
    bool lineBuffered() const;
    // How many lines were read, the header included.
    size_t lineNumber() const { return m_line; }

private:
    struct HeaderFormat {
        std::string tag;
        LogPattern body;  // the format after the tag's "[%s]: "
        std::vector<std::string> fields;
    };

    bool readLine(std::string& line);
    void readHeader();
    std::vector<FiredRule> readRules(FieldReader& in);
    FiredRule readRule(FieldReader& in);
    const HeaderFormat& formatNamed(FieldReader& in, const std::string& id) const;

    std::istream& m_in;
    std::string m_block;  // read ahead of the lines handed out
    size_t m_blockPos = 0;
    std::string m_source;
    size_t m_line = 0;
    TimelineHeader m_header;
    std::map<std::string, HeaderFormat, std::less<>> m_formats;  // the header's catalogue, by id
    StateSnapshot m_state;
};

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_MODEL_TIMELINEFORMAT_H
