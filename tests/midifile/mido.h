// Files checked by an independent reader: Python's mido, run as a program.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace tonemark::testing {

inline std::string Python() { return std::filesystem::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3"; }

inline bool MidoAvailable() { return std::system((Python() + " -c 'import mido' >/dev/null 2>&1").c_str()) == 0; }

// What `script` prints for the file at `path` (given to it as sys.argv[1]), with its errors.
inline std::string RunMido(const std::string& script, const std::string& path) {
    const std::string command = Python() + " -c \"" + script + "\" '" + path + "' 2>&1";
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
        pclose(pipe);
    }
    return output;
}

}  // namespace tonemark::testing
