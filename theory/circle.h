// The circle-of-fifths window CICLO: its controls as data, the circle drawing
// and the click on a key, which selects the major scale in that key in the
// main window.
#pragma once

#include <array>
#include <string>

#include "app/controls.h"
#include "app/main_form.h"
#include "score/canvas.h"

namespace tonemark {

inline constexpr int kCircleKeys = 12;
inline constexpr char kCircleCaption[] = "CICLO DELLE QUARTE E DELLE QUINTE";
// The circle drawing at the window's top left, in pixels.
inline constexpr int kCirclePictureWidth = 700;
inline constexpr int kCirclePictureHeight = 505;
// The window's client area.
inline constexpr int kCircleClientWidthTwips = 10170;
inline constexpr int kCircleClientHeightTwips = 8415;

// The window's controls; positions in pixels of the client area.
struct CircleForm {
    std::string caption;
    int width = 0, height = 0;  // client area
    Control Label1, Label2;
    Control Command1;  // "Close"
    // Invisible click areas, one over each key of the drawing.
    std::array<Control, kCircleKeys> Image1;
    RecordingCanvas picture{kCirclePictureWidth};
};

// The window as designed, before it loads: the picture is still empty.
CircleForm MakeCircleForm();

// Centres "Close" and draws the circle on the picture.
void CICLO_Form_Load(CircleForm& f);

// The circle: twelve keys with their relative minors and key signatures, each
// under its click area, and the two arrows of fifths and fourths.
void DrawCircle(Canvas& picture);

// The key (semitones above C) that click area `index` selects.
int CircleAreaKey(int index);

// A click on area `index`: the main window shows "Scala maggiore" in that key.
// Closing the circle window is the view's part.
void Image1_Click(Main& m, int index);

}  // namespace tonemark
