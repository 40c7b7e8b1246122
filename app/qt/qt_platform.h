// The window system's services for the handlers.
#pragma once

#include <functional>

#include "app/main_form.h"

namespace tonemark {

class QtPlatform : public Platform {
public:
    void DoEvents() override;
    void SetBusyCursor(bool busy) override;
    void RepaintScore() override;
    void EndProgram() override;
    void ShowCircle() override;
    void ShowPractice() override;

    std::function<void()> repaintScore;  // set by the window
    std::function<void()> showCircle;    // opens or raises the circle-of-fifths window
    std::function<void()> showPractice;  // opens or raises the practice window
};

}  // namespace tonemark
