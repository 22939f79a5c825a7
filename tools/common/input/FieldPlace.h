#ifndef KTRSDK_TOOLS_COMMON_FIELDPLACE_H
#define KTRSDK_TOOLS_COMMON_FIELDPLACE_H

#include <cstddef>
#include <string>

namespace ktr {

// Where a JSON object of a scenario lies, for messages about its fields: the file and the step
// ("meeting.json: step 3 (addUser)") and the object's path below them ("" for a step itself, "local",
// "streams[1]").
class FieldPlace {
public:
    FieldPlace(std::string where, std::string path);

    // The object of a step's fields; step 0, the local user, is the file's "local" object.
    static FieldPlace ofStep(const std::string& fileName, int index, const std::string& stepName);

    // The element at index of the array field name.
    FieldPlace element(const std::string& name, size_t index) const;
    // The object of the field name.
    FieldPlace member(const std::string& name) const;

    std::string pathOf(const std::string& name) const;

    // "meeting.json: step 3 (addUser): field "dt": problem"; an empty name speaks of the object itself.
    std::string describe(const std::string& name, const std::string& problem) const;

private:
    std::string m_where;
    std::string m_path;
};

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_FIELDPLACE_H
