// A JSON writer that appends to a string as it goes: no document is built, so writing a step costs what
// its text costs. Strings are escaped as JSON requires; bytes that are not UTF-8 become U+FFFD (text from
// a host's log may hold any bytes).
#ifndef KTRSDK_TOOLS_COMMON_MODEL_JSONOUT_H
#define KTRSDK_TOOLS_COMMON_MODEL_JSONOUT_H

#include <cstdint>
#include <string>
#include <string_view>

namespace ktr {

class JsonOut {
public:
    explicit JsonOut(std::string& buffer) : m_out(buffer) {}

    void beginObject();
    void endObject();
    void beginArray();
    void endArray();
    // The key of the next value inside an object.
    void key(std::string_view name);

    void null();
    void boolean(bool value);
    void integer(int64_t value);
    void unsignedInteger(uint64_t value);
    // Shortest text that reads back as the same double; a value that is not finite is written as null.
    void number(double value);
    void string(std::string_view text);
    // Text that is already JSON (a value written by another JsonOut).
    void raw(std::string_view json);

    std::string& buffer() { return m_out; }

private:
    void beforeValue();
    void escaped(std::string_view text);

    std::string& m_out;
    bool m_needComma = false;
};

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_MODEL_JSONOUT_H
