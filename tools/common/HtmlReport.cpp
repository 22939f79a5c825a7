#include "HtmlReport.h"

#include "JsonOut.h"
#include "ReportBundle.h"
#include "TimelineFormat.h"

namespace ktr {
namespace {

using nlohmann::json;

// Texts from the input are written with invalid UTF-8 replaced, never refused.
constexpr auto kErrorHandler = json::error_handler_t::replace;

// The page's data: the steps of each side in blocks of kStepsPerBlock (the page parses a block only when it
// shows one of its steps, and no block nears a browser's limit on the length of one string), then the
// report (title, axis, each side's chart, a sweep's table). Steps are written as the timeline's JSON Lines
// write them; the first step of every block carries the whole state, so the page rebuilds the state at
// any step from its block alone.
constexpr size_t kStepsPerBlock = 1000;
constexpr const char* kStepsBlockEnd = "]</script>\n";

void writeHead(std::ostream& out) {
    out << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
           "<title>ktr report</title>\n<style>\n"
        << reportStyle() << "\n</style>\n</head>\n<body>\n";
}

void writeTail(std::ostream& out, const json& report) {
    out << "<script type=\"application/json\" id=\"ktr-report\">" << scriptSafeJson(report) << "</script>\n<script>\n"
        << reportScript() << "\n</script>\n</body>\n</html>\n";
}

const char* axisName(const ReportChart::Options& options) {
    return options.stepAxis ? "step" : "seconds";
}

}  // namespace

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

HtmlReport::HtmlReport(std::ostream& out, ReportChart::Options options)
    : m_out(out), m_options(options), m_chart(options) {}

void HtmlReport::begin(const TimelineHeader& header) {
    std::string catalogue;
    JsonOut out(catalogue);
    writeTimelineHeader(out, header);
    m_side = {{"command", header.command},
              {"source", header.source},
              {"library", header.provenance.library.path},
              {"stepsPerBlock", kStepsPerBlock},
              {"timeline", json::parse(catalogue)}};
    writeHead(m_out);
}

void HtmlReport::write(const TimelineStep& step) {
    const size_t inBlock = m_steps % kStepsPerBlock;
    if (inBlock == 0) {
        m_out << (m_steps > 0 ? kStepsBlockEnd : "") << "<script type=\"application/json\" id=\"ktr-steps-0-"
              << m_steps / kStepsPerBlock << "\">[";
    }
    m_line.clear();
    JsonOut out(m_line);
    writeTimelineStep(out, step, inBlock == 0);
    m_out << (inBlock == 0 ? "\n" : ",\n") << scriptSafe(m_line);
    ++m_steps;
    m_chart.addStep(step);
}

void HtmlReport::sample(double timeS, const char* kind, uint64_t uid, double value) {
    m_chart.addSample(timeS, kind, uid, value);
}

void HtmlReport::end() {
    m_out << (m_steps > 0 ? kStepsBlockEnd : "");
    json side = m_side;
    side.update(m_chart.json());
    side["remarks"] = m_remarks;
    const std::string title =
        "ktr " + m_side.at("command").get<std::string>() + ": " + m_side.at("source").get<std::string>();
    writeTail(m_out,
              {{"title", title}, {"axis", axisName(m_options)}, {"sides", json::array({side})}, {"sweep", nullptr}});
}

void writeSweepReport(std::ostream& out, const std::string& title, const SweepTable& table) {
    writeHead(out);
    writeTail(
        out,
        {{"title", title}, {"axis", "seconds"}, {"sides", json::array()}, {"sweep", json::parse(toJsonText(table))}});
}

void writeDiffReport(std::ostream& out, const std::string& title, const json& diff) {
    writeHead(out);
    writeTail(out, {{"title", title}, {"axis", "step"}, {"sides", json::array()}, {"sweep", nullptr}, {"diff", diff}});
}

}  // namespace ktr
