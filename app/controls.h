// The controls of the main window as plain data: what each one shows, where it
// stands and whether it can be used. Handlers change these fields; the Qt view
// only mirrors them. Positions are pixels of the control's container.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tonemark {

// 32-bit colour: a plain RGB value (R + 256 G + 65536 B) or, with the high bit
// set, a reference to a system colour whose index is the low byte.
using Color = std::uint32_t;

constexpr Color Rgb(int r, int g, int b) {
    return static_cast<Color>(r) | (static_cast<Color>(g) << 8) | (static_cast<Color>(b) << 16);
}
constexpr Color SystemColor(int index) { return 0x80000000u | static_cast<Color>(index); }
constexpr bool IsSystemColor(Color c) { return (c & 0x80000000u) != 0; }
constexpr int SystemColorIndex(Color c) { return static_cast<int>(c & 0xFFu); }

constexpr Color kWindowBackground = SystemColor(5);
constexpr Color kMenuText = SystemColor(7);
constexpr Color kWindowText = SystemColor(8);
constexpr Color kCaptionText = SystemColor(9);
constexpr Color kHighlightText = SystemColor(14);
constexpr Color kDarkRed = Rgb(192, 0, 0);
constexpr Color kLampGrey = Rgb(128, 128, 128);
constexpr Color kBeatGrey = Rgb(192, 192, 192);
constexpr Color kGreen = Rgb(0, 128, 0);
constexpr Color kRed = Rgb(255, 0, 0);
constexpr Color kWhite = Rgb(255, 255, 255);
constexpr Color kBlack = Rgb(0, 0, 0);
// The key and the name of the note coming next in a practice pass.
constexpr Color kAheadBlue = Rgb(40, 110, 220);

// Layout is designed in twips; 15 twips make one pixel.
constexpr int kTwipsPerPixel = 15;
constexpr int Px(int twips) { return twips / kTwipsPerPixel; }

enum class ControlKind { Label, Picture, Line, ScrollBar, Button, Shape, List, KeyButton };
enum class ShapeKind { Rectangle, Circle };

struct Rect {
    int left = 0, top = 0, width = 0, height = 0;
    bool operator==(const Rect&) const = default;
};

struct Font {
    std::string name = "MS Sans Serif";
    double points = 8.25;
    bool bold = false;
    bool operator==(const Font&) const = default;
};

struct Control {
    std::string name;
    int index = -1;  // position in an indexed group, -1 when the control stands alone
    ControlKind kind = ControlKind::Label;
    std::string caption;
    Rect rect;
    bool enabled = true;
    bool visible = true;
    Color backColor = kWindowBackground;
    Color foreColor = kWindowText;
    Font font;
    bool transparent = false;
    bool border = false;
    bool centered = false;
    bool filled = false;  // shapes
    ShapeKind shape = ShapeKind::Rectangle;
    // Lists
    std::vector<std::string> rows;
    int listIndex = -1;
    // Where the tab-separated fields of a row begin, in pixels from the list's left edge.
    std::vector<int> tabStops;
    // Vertical scroll bars: `max` is shown at the top and the upper arrow raises the value.
    int min = 0, max = 0, value = 0;
    // Lines: end points in the container's pixels.
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    int lineWidth = 1;
    // Key buttons: pressed state.
    bool pressed = false;

    bool operator==(const Control&) const = default;
};

struct Timer {
    int intervalMs = 1;
    bool enabled = false;
};

// Every control of the main window, by its design name.
struct MainControls {
    Control Labella, Screenno, Pic2, PicScore, LabNote, Line1;
    Control Tonality, Label1, TransLab, SpeedValue, Label3, LabSpeed;
    std::array<Control, 4> Beat, ValNote;
    Control BtnPlay, PlayLed, BtnStop, Command1, BtnRec;
    Control Label11, Label10, Label12, Label9, Label14, Label7, Label13, Label8;
    std::array<Control, 5> Label2;
    Control List2, List1, List4;
    Control Command2, RecLed, Command3, Command4;
    std::array<Control, 25> key;
    Control List3, OpenMIDI, SaveFilex, Shape1, Shape2;
    // Not part of the musical design: where the program tells the user what went wrong.
    Control StatusLine;
    // Practice: the button that starts a pass, and the next note's name, shown
    // under the score before it is due (on PicScore, like LabNote).
    Control Practice, LabNext;
    Timer Timer1{1, false}, Timer2{100, false}, Timer3{1, false};

    // Controls lying directly on the window, in drawing order (frames first).
    std::vector<Control*> WindowControls();
};

// The window's client area.
constexpr int kClientWidthTwips = 10170;
constexpr int kClientHeightTwips = 9090;

// The controls as designed, before the window loads.
MainControls DesignedControls();

// MIDI note played by each key of the on-screen keyboard.
constexpr int KeyNote(int keyIndex) { return keyIndex + 60; }
bool IsBlackKey(int keyIndex);

}  // namespace tonemark
