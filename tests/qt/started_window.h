// The main window just after start-up, on a fake synthesiser and a test
// platform of its own (C major loaded at 120 BPM), shown offscreen.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

#include "app/lifecycle.h"
#include "app/qt/main_window.h"
#include "qt/qt_application.h"
#include "support/fake_synth.h"

namespace tonemark::testing {

class StartedWindow : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApplication();
        m.platform = &platform;
        synth = InstallFakeSynth(m);
        window = std::make_unique<MainWindow>(m);
        Form_Load(m);
        window->Sync();
        window->show();
        QCoreApplication::processEvents();
    }
    void TearDown() override { window.reset(); }

    TestPlatform platform;  // outlives the program that uses it
    Main m;
    std::shared_ptr<FakeSynthState> synth;
    std::unique_ptr<MainWindow> window;
};

}  // namespace tonemark::testing
