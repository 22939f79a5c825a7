// Helpers the tool tests share: a scratch folder, a file written in it, and the message of an InputError.
#ifndef KTRSDK_TESTS_SUPPORT_TESTFILES_H
#define KTRSDK_TESTS_SUPPORT_TESTFILES_H

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <functional>
#include <string>

#include "InputFile.h"

namespace ktr::test_support {

// A new folder under the test's temporary folder, named after prefix.
inline std::string makeTempDir(const std::string& prefix) {
    std::string pattern = ::testing::TempDir() + prefix + "_XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        ADD_FAILURE() << "cannot create a temporary folder";
    }
    return pattern;
}

// Writes content to path and returns the path.
inline std::string writeFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
    return path;
}

// The message of the InputError that call throws, or "(no error)".
inline std::string inputErrorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const InputError& error) {
        return error.what();
    }
    return "(no error)";
}

}  // namespace ktr::test_support

#endif  // KTRSDK_TESTS_SUPPORT_TESTFILES_H
