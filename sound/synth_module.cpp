#include "sound/synth_module.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <filesystem>

namespace tonemark {

LoadedSynth LoadSynthModule(const std::string& path) {
    // Local: the module's own copies of the program's classes stay its own.
    void* module = dlopen(path.c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (module == nullptr) {
        const char* why = dlerror();
        return {nullptr, why != nullptr ? why : "cannot open " + path};
    }
    auto create = reinterpret_cast<CreateSynthRootFunction>(dlsym(module, kSynthModuleEntry));
    if (create == nullptr) {
        dlclose(module);
        return {nullptr, path + " is not the synthesiser module of this program"};
    }
    std::unique_ptr<SynthRoot> root(create());
    if (!root) return {nullptr, "FluidSynth could not make a synthesiser"};
    return {std::move(root), ""};
}

std::string SynthModuleBesideProgram() {
    char self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return kSynthModuleFile;
    return (std::filesystem::path(std::string(self, static_cast<size_t>(n))).parent_path() / kSynthModuleFile).string();
}

}  // namespace tonemark
