// The data elements of a ktr HTML report, as the page reads them: a JSON element as it stands, a block of
// steps (its JSON deflated and in base64) inflated first.
#ifndef KTRSDK_TESTS_SUPPORT_REPORTDATA_H
#define KTRSDK_TESTS_SUPPORT_REPORTDATA_H

#include <zlib.h>

#include <cstdint>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>

namespace ktr::test_support {

inline std::string fromBase64(const std::string& text) {
    const std::string digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string bytes;
    uint32_t group = 0;
    int bits = 0;
    for (char c : text) {
        if (c == '=') {
            break;
        }
        group = (group << 6) | static_cast<uint32_t>(digits.find(c));
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes += static_cast<char>((group >> bits) & 0xFF);
        }
    }
    return bytes;
}

// The element of that id, parsed; null when the page has none.
inline nlohmann::json reportData(const std::string& html, const std::string& id) {
    const std::string start = "id=\"" + id + "\">";
    const size_t from = html.find(start);
    if (from == std::string::npos) {
        return nullptr;
    }
    const size_t begin = from + start.size();
    const std::string text = html.substr(begin, html.find("</script>", begin) - begin);
    const std::string blockTag = "<script type=\"application/octet-stream\"";
    const bool steps = html.compare(html.rfind("<script", from), blockTag.size(), blockTag) == 0;
    if (!steps) {
        return nlohmann::json::parse(text);
    }
    const std::string bytes = fromBase64(text);
    std::string inflated(size_t{256} << 20, '\0');
    uLongf size = inflated.size();
    if (uncompress(reinterpret_cast<Bytef*>(inflated.data()), &size, reinterpret_cast<const Bytef*>(bytes.data()),
                   bytes.size()) != Z_OK) {
        throw std::runtime_error("a block of steps that does not inflate: " + id);
    }
    inflated.resize(size);
    return nlohmann::json::parse(inflated);
}

}  // namespace ktr::test_support

#endif  // KTRSDK_TESTS_SUPPORT_REPORTDATA_H
