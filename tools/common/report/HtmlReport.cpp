#include "HtmlReport.h"

#include "JsonOut.h"
#include "ReportBundle.h"
#include "TimelineFormat.h"

namespace ktr {
namespace {

using nlohmann::json;

// Texts from the input are written with invalid UTF-8 replaced, never refused.
constexpr auto kErrorHandler = json::error_handler_t::replace;

const char* axisName(const ReportChart::Options& options) {
    return options.stepAxis ? "step" : "seconds";
}

}  // namespace

void writeReportHead(std::ostream& out) {
    out << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
           "<title>ktr report</title>\n<style>\n"
        << reportStyle() << "\n</style>\n</head>\n<body>\n";
}

void writeReportTail(std::ostream& out, const json& report) {
    out << "<script type=\"application/json\" id=\"ktr-report\">" << scriptSafeJson(report) << "</script>\n<script>\n"
        << reportScript() << "\n</script>\n</body>\n</html>\n";
}

std::string scriptSafeJson(const json& value) {
    return scriptSafe(value.dump(-1, ' ', false, kErrorHandler));
}

std::string scriptSafe(std::string_view text) {
    std::string safe;
    safe.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '<') {
            safe += "\\u003c";
        } else if (c == '>') {
            safe += "\\u003e";
        } else if (c == '&') {
            safe += "\\u0026";
        } else if (c == '\xE2' && i + 2 < text.size() && text[i + 1] == '\x80' &&
                   (text[i + 2] == '\xA8' || text[i + 2] == '\xA9')) {
            safe += text[i + 2] == '\xA8' ? "\\u2028" : "\\u2029";
            i += 2;
        } else {
            safe += c;
        }
    }
    return safe;
}

json timelineSideJson(const TimelineHeader& header, const StepBlocks& blocks, const ReportChart& chart) {
    TimelineHeader asWritten = header;
    asWritten.state = StateWriting::Changes;
    std::string text;
    JsonOut out(text);
    writeTimelineHeader(out, asWritten);
    json side = blocks.json();
    side["timeline"] = json::parse(text);
    side["unknownLine"] = kUnknownLineExplanation;
    side.update(chart.json());
    return side;
}

HtmlReport::HtmlReport(std::ostream& out, ReportChart::Options options)
    : m_out(out), m_options(options), m_chart(options), m_blocks(out, "ktr-steps-0") {}

void HtmlReport::begin(const TimelineHeader& header) {
    m_header = header;
    writeReportHead(m_out);
}

void HtmlReport::write(const TimelineStep& step) {
    m_blocks.write(step);
    m_chart.addStep(step);
}

void HtmlReport::sample(double timeS, const char* kind, uint64_t uid, double value) {
    m_chart.addSample(timeS, kind, uid, value);
}

void HtmlReport::end() {
    m_blocks.end();
    json side = timelineSideJson(m_header, m_blocks, m_chart);
    side["command"] = m_header.command;
    side["source"] = m_header.source;
    side["library"] = m_header.provenance.library.path;
    side["remarks"] = m_remarks;
    const std::string title = "ktr " + m_header.command + ": " + m_header.source;
    writeReportTail(
        m_out, {{"title", title}, {"axis", axisName(m_options)}, {"sides", json::array({side})}, {"sweep", nullptr}});
}

void writeSweepReport(std::ostream& out, const std::string& title, const SweepTable& table) {
    writeReportHead(out);
    writeReportTail(
        out,
        {{"title", title}, {"axis", "seconds"}, {"sides", json::array()}, {"sweep", json::parse(toJsonText(table))}});
}

}  // namespace ktr
