// The HTML report's page script and style: the charting package and the report's own script, built into
// ktr from tools/html/web so that a report opens with nothing to fetch.
#ifndef KTRSDK_TOOLS_HTML_REPORTBUNDLE_H
#define KTRSDK_TOOLS_HTML_REPORTBUNDLE_H

#include <string_view>

namespace ktr {

std::string_view reportScript();
std::string_view reportStyle();

}  // namespace ktr

#endif  // KTRSDK_TOOLS_HTML_REPORTBUNDLE_H
