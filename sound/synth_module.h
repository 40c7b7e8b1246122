// The synthesiser comes from a module of its own, beside the program, which
// is read while the window is being built: FluidSynth and the sound and file
// libraries it brings take longer to load than the program's window does to
// appear, and nothing on screen needs them. Without the module (or without
// the libraries it needs) the program runs without sound and says why.
#pragma once

#include <memory>
#include <string>

#include "sound/synth.h"

namespace tonemark {

// The module's one entry point: a new synthesiser root, or null when none
// could be made. The caller owns it.
using CreateSynthRootFunction = SynthRoot* (*)();
inline constexpr char kSynthModuleEntry[] = "tonemark_create_synth_root";
inline constexpr char kSynthModuleFile[] = "tonemark-sound.so";

struct LoadedSynth {
    std::unique_ptr<SynthRoot> root;  // null: no synthesiser
    std::string problem;              // why, when there is none
};

// Loads the module at `path` (it stays loaded to the end of the run, as the
// root's code lives in it) and makes a root with it.
LoadedSynth LoadSynthModule(const std::string& path);

// Where the module of this program lies: next to its executable.
std::string SynthModuleBesideProgram();

}  // namespace tonemark
