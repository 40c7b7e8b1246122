// The circle-of-fifths window: a window of its own beside the main window,
// showing the circle drawing with a click area over each key. A click on a
// key shows the major scale in that key in the main window and closes the
// circle; "Close" just closes it.
#pragma once

#include <QWidget>

#include "theory/circle.h"

namespace tonemark {

class MainWindow;

class CircleWindow : public QWidget {
public:
    // A new window with no owner; it deletes itself when closed.
    explicit CircleWindow(MainWindow& main);

    // Shows the circle window, or brings the one already open to the front.
    static CircleWindow* Open(MainWindow& main);
    // The circle window now open, or null.
    static CircleWindow* Current();

    const CircleForm& Form() const { return form_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void MakeControls();
    void KeyClicked(int index);

    MainWindow& main_;
    CircleForm form_;
};

}  // namespace tonemark
