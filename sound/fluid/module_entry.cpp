// The entry point of the synthesiser module (see sound/synth_module.h): the
// program's FluidSynth root with the usual SoundFont and sound output.
#include "sound/buffer_policy.h"
#include "sound/fluid/fluid_synth.h"
#include "sound/synth_module.h"

extern "C" __attribute__((visibility("default"))) tonemark::SynthRoot* tonemark_create_synth_root() {
    tonemark::FluidOptions options;
    options.bufferMemoryPath = tonemark::DefaultBufferMemoryPath();
    return tonemark::CreateFluidSynthRoot(options).release();
}
