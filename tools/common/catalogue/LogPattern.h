// One printf format of the library, split into its literal text and the conversions between, for
// matching logged lines against it.
#ifndef KTRSDK_TOOLS_COMMON_LOGPATTERN_H
#define KTRSDK_TOOLS_COMMON_LOGPATTERN_H

#include <string>
#include <string_view>
#include <vector>

namespace ktr {

class LogPattern {
public:
    enum class Conversion { Int32, Uint64 };  // %d and %llu

    // format holds %d, %llu and %% only (the tag's "[%s]: " is not part of it); anything else throws
    // std::invalid_argument.
    explicit LogPattern(std::string_view format);

    // Whether text is exactly what the format prints for some values in range; on success values holds
    // the text of each conversion, in order (views into text).
    bool match(std::string_view text, std::vector<std::string_view>& values) const;

    const std::vector<Conversion>& conversions() const { return m_conversions; }
    // The text the format prints for these values (one per conversion).
    std::string print(const std::vector<std::string>& values) const;

private:
    std::vector<std::string> m_literals;  // one more than the conversions: before, between and after them
    std::vector<Conversion> m_conversions;
};

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_LOGPATTERN_H
