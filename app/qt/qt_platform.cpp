#include "app/qt/qt_platform.h"

#include <QApplication>
#include <QCursor>
#include <QEventLoop>

namespace tonemark {

void QtPlatform::DoEvents() {
    // Let painting and timers run; user input waits until the handler is done,
    // so no click lands in the middle of a half-finished operation.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void QtPlatform::SetBusyCursor(bool busy) {
    if (busy) QApplication::setOverrideCursor(Qt::WaitCursor);
    else QApplication::restoreOverrideCursor();
}

void QtPlatform::RepaintScore() {
    if (repaintScore) repaintScore();
}

void QtPlatform::EndProgram() { QCoreApplication::exit(0); }

void QtPlatform::ShowPractice() {
    if (showPractice) showPractice();
}

void QtPlatform::ShowCircle() {
    if (showCircle) showCircle();
}

}  // namespace tonemark
