#include "app/main_form.h"
#include "app/temp_files.h"

namespace tonemark {

std::string Platform::TempDirectory() { return tonemark::TempDirectory(); }

}  // namespace tonemark
