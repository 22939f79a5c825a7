// The item of a JSON list whose "name" is name (a chart's series, a lane), for the tests that read a report.
#ifndef KTRSDK_TESTS_SUPPORT_NAMEDITEM_H
#define KTRSDK_TESTS_SUPPORT_NAMEDITEM_H

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

namespace ktr::test_support {

inline const nlohmann::json& namedItem(const nlohmann::json& list, const std::string& name) {
    for (const nlohmann::json& item : list) {
        if (item.at("name") == name) {
            return item;
        }
    }
    static const nlohmann::json none;
    ADD_FAILURE() << "no " << name << " in " << list.dump();
    return none;
}

}  // namespace ktr::test_support

#endif  // KTRSDK_TESTS_SUPPORT_NAMEDITEM_H
