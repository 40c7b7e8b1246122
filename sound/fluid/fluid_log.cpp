#include "sound/fluid/fluid_log.h"

#include <dlfcn.h>

#include <mutex>

#include <fluidsynth.h>

namespace tonemark {
namespace {

void IgnoreMessage(int /*level*/, const char* /*message*/, void* /*data*/) {}

void IgnoreAlsaError(const char* /*file*/, int /*line*/, const char* /*function*/, int /*error*/,
                     const char* /*format*/, ...) {}

// ALSA comes in with FluidSynth's ALSA driver; it is looked up rather than
// linked so that the program does not depend on it directly.
void QuietAlsa() {
    using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
    using SetHandler = int (*)(Handler);
    if (auto set = reinterpret_cast<SetHandler>(dlsym(RTLD_DEFAULT, "snd_lib_error_set_handler"))) {
        set(IgnoreAlsaError);
    }
}

}  // namespace

void QuietFluidLog() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (int level : {FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG}) {
            fluid_set_log_function(level, IgnoreMessage, nullptr);
        }
        QuietAlsa();
    });
}

}  // namespace tonemark
