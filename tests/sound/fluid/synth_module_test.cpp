// The synthesiser module the program loads at start-up, and what it says when
// it cannot be loaded.
#include "sound/synth_module.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/temp_path.h"

namespace tonemark {
namespace {

TEST(SynthModule, MakesAWorkingSynthesiser) {
    LoadedSynth made = LoadSynthModule(TONEMARK_SOUND_MODULE);
    ASSERT_NE(made.root, nullptr) << made.problem;
    EXPECT_TRUE(made.problem.empty());
    ASSERT_TRUE(made.root->StatusNow().has_value());
    auto player = made.root->CreatePlayer();
    ASSERT_NE(player, nullptr);
    EXPECT_TRUE(player->SendMidi(0, 1, 0, 144, 60, 100));
    EXPECT_NE(made.root->CreateLoader(), nullptr);
}

TEST(SynthModule, LiesBesideTheProgram) {
    const std::filesystem::path beside = SynthModuleBesideProgram();
    EXPECT_EQ(beside.filename(), kSynthModuleFile);
    EXPECT_EQ(beside.parent_path(), std::filesystem::canonical("/proc/self/exe").parent_path());
}

TEST(SynthModule, SaysWhyWhenItCannotBeLoaded) {
    const std::string missing = testing::TestTempPath("no-such-module.so").string();
    LoadedSynth made = LoadSynthModule(missing);
    EXPECT_EQ(made.root, nullptr);
    EXPECT_NE(made.problem.find("no-such-module.so"), std::string::npos) << made.problem;

    const std::string notALibrary = testing::TestTempPath("text-module.so").string();
    std::ofstream(notALibrary) << "not a library\n";
    made = LoadSynthModule(notALibrary);
    EXPECT_EQ(made.root, nullptr);
    EXPECT_FALSE(made.problem.empty());
    std::filesystem::remove(notALibrary);

    made = LoadSynthModule("libm.so.6");  // a library, but not the module
    EXPECT_EQ(made.root, nullptr);
    EXPECT_NE(made.problem.find("is not the synthesiser module"), std::string::npos) << made.problem;
}

}  // namespace
}  // namespace tonemark
