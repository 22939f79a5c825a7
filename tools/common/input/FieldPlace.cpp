#include "FieldPlace.h"

#include <fmt/format.h>

#include <utility>

namespace ktr {

FieldPlace::FieldPlace(std::string where, std::string path) : m_where(std::move(where)), m_path(std::move(path)) {}

FieldPlace FieldPlace::ofStep(const std::string& fileName, int index, const std::string& stepName) {
    if (index == 0) {
        return FieldPlace(fileName, "local");
    }
    return FieldPlace(fmt::format("{}: step {} ({})", fileName, index, stepName), "");
}

FieldPlace FieldPlace::element(const std::string& name, size_t index) const {
    return FieldPlace(m_where, fmt::format("{}[{}]", pathOf(name), index));
}

FieldPlace FieldPlace::member(const std::string& name) const {
    return FieldPlace(m_where, pathOf(name));
}

std::string FieldPlace::pathOf(const std::string& name) const {
    if (m_path.empty() || name.empty()) {
        return m_path + name;
    }
    return m_path + "." + name;
}

std::string FieldPlace::describe(const std::string& name, const std::string& problem) const {
    const std::string path = pathOf(name);
    const std::string where = m_where.empty() ? "" : m_where + ": ";
    if (path.empty()) {
        return where + problem;
    }
    return fmt::format("{}field \"{}\": {}", where, path, problem);
}

}  // namespace ktr
