// A platform whose temporary directory is a folder of the benchmark's own.
#pragma once

#include <filesystem>
#include <string>

#include "app/main_form.h"

namespace tonemark {

class BenchPlatform : public Platform {
public:
    explicit BenchPlatform(const std::string& name) {
        dir = std::filesystem::temp_directory_path() / name;
        std::filesystem::create_directories(dir);
    }
    std::string TempDirectory() override { return dir.string() + "/"; }
    std::filesystem::path dir;
};

}  // namespace tonemark
