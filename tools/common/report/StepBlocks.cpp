#include "StepBlocks.h"

#include <zlib.h>

#include <stdexcept>

#include "JsonOut.h"
#include "TimelineFormat.h"

namespace ktr {
namespace {

constexpr char kBase64Digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string deflated(const std::string& text) {
    uLongf size = compressBound(static_cast<uLong>(text.size()));
    std::string bytes(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(bytes.data()), &size, reinterpret_cast<const Bytef*>(text.data()),
                  static_cast<uLong>(text.size()), Z_DEFAULT_COMPRESSION) != Z_OK) {
        throw std::runtime_error("a block of steps could not be compressed");
    }
    bytes.resize(size);
    return bytes;
}

std::string base64(const std::string& bytes) {
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t left = bytes.size() - i;
        const auto byte = [&](size_t k) { return k < left ? static_cast<unsigned char>(bytes[i + k]) : 0u; };
        const uint32_t group = (byte(0) << 16) | (byte(1) << 8) | byte(2);
        text += kBase64Digits[(group >> 18) & 63];
        text += kBase64Digits[(group >> 12) & 63];
        text += left > 1 ? kBase64Digits[(group >> 6) & 63] : '=';
        text += left > 2 ? kBase64Digits[group & 63] : '=';
    }
    return text;
}

}  // namespace

void StepBlocks::write(const TimelineStep& step) {
    const size_t inBlock = m_steps % kStepsPerBlock;
    if (inBlock == 0) {
        end();
        m_block = "[";
    } else {
        m_block += ",\n";
    }
    JsonOut out(m_block);
    writeTimelineStep(out, step, inBlock == 0);
    ++m_steps;
}

// A block is its steps' JSON deflated (zlib) and in base64: a tenth of the text, and nothing in it can end
// the element.
void StepBlocks::end() {
    if (!m_block.empty()) {
        m_block += "]";
        const size_t block = (m_steps - 1) / kStepsPerBlock;
        m_out << "<script type=\"application/octet-stream\" id=\"" << m_id << "-" << block << "\">"
              << base64(deflated(m_block)) << "</script>\n";
        m_block.clear();
    }
}

nlohmann::json StepBlocks::json() const {
    return {{"blocks", m_id}, {"stepsPerBlock", kStepsPerBlock}};
}

}  // namespace ktr
