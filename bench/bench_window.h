// The main window as the window benchmarks run it: offscreen, on a
// DeviceLikeRoot, with the first scale loaded and shown.
#pragma once

#include <QApplication>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <memory>

#include "app/lifecycle.h"
#include "app/qt/main_window.h"
#include "realtime_device.h"

namespace tonemark {

// Gives `m` a DeviceLikeRoot reporting `latencyMs`; `root` points to it once made.
inline void UseDeviceLikeRoot(Main& m, DeviceLikeRoot*& root, int latencyMs) {
    m.makeSynthRoot = [&root, latencyMs](SoundStatus& status) -> std::unique_ptr<SynthRoot> {
        auto made = std::make_unique<DeviceLikeRoot>(CreateFluidSynthRoot({FluidOptions::Audio::Offline, ""}), latencyMs);
        status = made->Status();
        root = made.get();
        return made;
    };
}

// Loads and shows the first scale; false, having said so, when the
// synthesiser or the song could not be started.
inline bool StartShown(Main& m, MainWindow& window, const DeviceLikeRoot* const& root) {
    Form_Load(m);
    window.Sync();
    window.show();
    if (root != nullptr && m.state.DeviceReady) return true;
    std::printf("the synthesiser or the song could not be started\n");
    return false;
}

// Runs the event loop until `done` is set from another thread.
inline void RunUntil(const std::atomic<bool>& done) {
    QTimer finish;
    QObject::connect(&finish, &QTimer::timeout, [&done] {
        if (done) QCoreApplication::quit();
    });
    finish.start(20);
    QApplication::exec();
}

}  // namespace tonemark
