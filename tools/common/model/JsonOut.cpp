#include "JsonOut.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace ktr {
namespace {

constexpr std::string_view kReplacement = "\\ufffd";
constexpr char kHexDigits[] = "0123456789abcdef";

// The length of the UTF-8 sequence at text[i], or 0 when the bytes there are not one.
size_t utf8Length(std::string_view text, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    size_t length = 0;
    uint32_t low = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, low = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, low = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, low = 0x10000;
    } else {
        return 0;
    }
    if (i + length > text.size()) {
        return 0;
    }
    uint32_t code = lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return code < low || code > 0x10FFFF || surrogate ? 0 : length;
}

// Printable ASCII but the quote and the backslash stands as it is.
constexpr std::array<bool, 256> kPlain = [] {
    std::array<bool, 256> plain{};
    for (int c = 0x20; c < 0x7F; ++c) {
        plain[static_cast<size_t>(c)] = c != '"' && c != '\\';
    }
    return plain;
}();

bool plain(unsigned char c) {
    return kPlain[c];
}

void unicodeEscape(std::string& out, uint32_t code) {
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4) {
        out += kHexDigits[(code >> shift) & 0xF];
    }
}

}  // namespace

void JsonOut::beforeValue() {
    if (m_needComma) {
        m_out += ',';
    }
    m_needComma = true;
}

void JsonOut::beginObject() {
    beforeValue();
    m_out += '{';
    m_needComma = false;
}

void JsonOut::endObject() {
    m_out += '}';
    m_needComma = true;
}

void JsonOut::beginArray() {
    beforeValue();
    m_out += '[';
    m_needComma = false;
}

void JsonOut::endArray() {
    m_out += ']';
    m_needComma = true;
}

void JsonOut::key(std::string_view name) {
    // A key is nearly always a plain name of the formats': appended in one piece.
    constexpr size_t kShortKey = 60;
    if (name.size() <= kShortKey && std::all_of(name.begin(), name.end(), [](char c) { return plain(c); })) {
        char text[kShortKey + 4];
        size_t length = 0;
        if (m_needComma) {
            text[length++] = ',';
        }
        text[length++] = '"';
        std::memcpy(text + length, name.data(), name.size());
        length += name.size();
        text[length++] = '"';
        text[length++] = ':';
        m_out.append(text, length);
        m_needComma = false;
        return;
    }
    if (m_needComma) {
        m_out += ',';
    }
    m_out += '"';
    escaped(name);
    m_out += "\":";
    m_needComma = false;
}

void JsonOut::null() {
    beforeValue();
    m_out += "null";
}

void JsonOut::boolean(bool value) {
    beforeValue();
    m_out += value ? "true" : "false";
}

void JsonOut::integer(int64_t value) {
    beforeValue();
    const fmt::format_int digits(value);
    m_out.append(digits.data(), digits.size());
}

void JsonOut::unsignedInteger(uint64_t value) {
    beforeValue();
    const fmt::format_int digits(value);
    m_out.append(digits.data(), digits.size());
}

void JsonOut::number(double value) {
    if (!std::isfinite(value)) {
        null();
        return;
    }
    beforeValue();
    fmt::format_to(std::back_inserter(m_out), "{}", value);
}

void JsonOut::string(std::string_view text) {
    beforeValue();
    m_out += '"';
    escaped(text);
    m_out += '"';
}

void JsonOut::raw(std::string_view json) {
    beforeValue();
    m_out += json;
}

void JsonOut::escaped(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        size_t run = i;
        while (run < text.size() && plain(static_cast<unsigned char>(text[run]))) {
            ++run;
        }
        m_out.append(text.data() + i, run - i);
        i = run;
        if (i == text.size()) {
            break;
        }
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            const size_t length = utf8Length(text, i);
            if (length == 0) {
                m_out += kReplacement;
                ++i;
                continue;
            }
            m_out.append(text.data() + i, length);
            i += length;
            continue;
        }
        switch (c) {
            case '"':
                m_out += "\\\"";
                break;
            case '\\':
                m_out += "\\\\";
                break;
            case '\n':
                m_out += "\\n";
                break;
            case '\r':
                m_out += "\\r";
                break;
            case '\t':
                m_out += "\\t";
                break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    unicodeEscape(m_out, c);
                } else {
                    m_out += static_cast<char>(c);
                }
        }
        ++i;
    }
}

}  // namespace ktr
