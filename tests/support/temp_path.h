// Temporary file names for tests. ctest runs tests side by side, each in its
// own process, so a fixed name lets one test delete another's file; the
// test's own name and the process id keep every file apart.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace tonemark::testing {

inline std::filesystem::path TestTempPath(const std::string& suffix) {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = "tonemark-";
    if (test != nullptr) name += std::string(test->test_suite_name()) + "." + test->name() + "-";
    name += std::to_string(::getpid()) + "-" + suffix;
    for (char& c : name) {
        if (c == '/') c = '_';
    }
    return std::filesystem::temp_directory_path() / name;
}

}  // namespace tonemark::testing
