#include "app/main_form.h"
#include "app/temp_files.h"

namespace tonemark {

std::string Platform::TempDirectory() { return tonemark::TempDirectory(); }

std::string Platform::WriteWorkingFile(const std::string& path, const std::string& bytes) {
    return WriteWholeFile(path, bytes);
}

}  // namespace tonemark
