// One QApplication for every Qt test, on the offscreen platform unless the
// environment names another. It is never destroyed: Qt's own teardown at exit
// must come after the tests.
#pragma once

#include <QApplication>

namespace tonemark::testing {

inline void EnsureApplication() {
    if (QCoreApplication::instance()) return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "qt_tests";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
}

}  // namespace tonemark::testing
