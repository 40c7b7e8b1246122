#include "app/controls.h"

namespace tonemark {
namespace {

Control Make(ControlKind kind, std::string name, std::string caption, int left, int top, int width,
             int height, int index = -1) {
    Control c;
    c.kind = kind;
    c.name = std::move(name);
    c.index = index;
    c.caption = std::move(caption);
    c.rect = {Px(left), Px(top), Px(width), Px(height)};
    return c;
}

Control Label(std::string name, std::string caption, int left, int top, int width, int height) {
    Control c = Make(ControlKind::Label, std::move(name), std::move(caption), left, top, width, height);
    c.transparent = true;
    return c;
}

// A value display: white, single border, centred.
Control Display(std::string name, std::string caption, int left, int top, int width, int height) {
    Control c = Make(ControlKind::Label, std::move(name), std::move(caption), left, top, width, height);
    c.backColor = kWhite;
    c.border = true;
    c.centered = true;
    return c;
}

Control Button(std::string name, std::string caption, int left, int top, int width, int height,
               int index = -1) {
    return Make(ControlKind::Button, std::move(name), std::move(caption), left, top, width, height, index);
}

Control Lamp(std::string name, ShapeKind shape, Color color, int left, int top, int width, int height,
             int index = -1) {
    Control c = Make(ControlKind::Shape, std::move(name), "", left, top, width, height, index);
    c.shape = shape;
    c.filled = true;
    c.backColor = color;
    return c;
}

Control ScrollBar(std::string name, int left, int top, int width, int height, int top_value,
                  int bottom_value, int value) {
    Control c = Make(ControlKind::ScrollBar, std::move(name), "", left, top, width, height);
    c.max = top_value;
    c.min = bottom_value;
    c.value = value;
    return c;
}

Control List(std::string name, int left, int top, int width, int height, Color back) {
    Control c = Make(ControlKind::List, std::move(name), "", left, top, width, height);
    c.backColor = back;
    return c;
}

Control Frame(std::string name, int left, int top, int width, int height) {
    Control c = Make(ControlKind::Shape, std::move(name), "", left, top, width, height);
    c.filled = false;
    c.foreColor = kBlack;
    return c;
}

constexpr std::array<int, 25> kKeyLefts = {2700, 3060, 3180, 3540, 3660, 4140, 4500, 4620, 4980,
                                          5100, 5460, 5580, 6060, 6420, 6540, 6900, 7020, 7500,
                                          7860, 7980, 8340, 8460, 8790, 8910, 9390};

Control Key(int index) {
    const bool black = IsBlackKey(index);
    Control c = Make(ControlKind::KeyButton, "key", "", kKeyLefts[static_cast<size_t>(index)], 5970,
                     black ? 255 : 495, black ? 1335 : 2175, index);
    if (black) {
        c.backColor = kMenuText;
        c.foreColor = kHighlightText;
    } else {
        c.backColor = index == 23 ? kWhite : kCaptionText;
    }
    return c;
}

}  // namespace

bool IsBlackKey(int keyIndex) {
    switch (keyIndex % 12) {
        case 1: case 3: case 6: case 8: case 10: return true;
        default: return false;
    }
}

MainControls DesignedControls() {
    MainControls m;
    m.Labella = Make(ControlKind::Label, "Labella", "", 240, 150, 9675, 435);
    m.Labella.backColor = Rgb(255, 255, 192);
    m.Labella.border = true;
    m.Labella.centered = true;
    m.Labella.font = {"MS Sans Serif", 12, true};

    m.Screenno = Make(ControlKind::Picture, "Screenno", "", 240, 630, 9675, 1905);
    m.Screenno.backColor = kWhite;
    m.Pic2 = Make(ControlKind::Picture, "Pic2", "", 0, 180, 1380, 1680);
    m.Pic2.font = {"Keep", 18, false};
    m.PicScore = Make(ControlKind::Picture, "PicScore", "", 1300, 180, 245745, 1980);
    m.PicScore.font = {"MusicalSymbols", 18, false};
    m.LabNote = Label("LabNote", "", 570, 1380, 885, 195);
    m.Line1 = Make(ControlKind::Line, "Line1", "", 0, 0, 0, 0);
    m.Line1.x1 = Px(480), m.Line1.y1 = Px(960), m.Line1.x2 = Px(480), m.Line1.y2 = Px(480);
    m.Line1.foreColor = kRed;
    m.Line1.lineWidth = 2;

    m.Tonality = ScrollBar("Tonality", 240, 2880, 225, 1065, 11, 0, 0);
    m.Label1 = Label("Label1", "Transpose", 540, 2880, 900, 225);
    m.TransLab = Display("TransLab", "0", 570, 3180, 600, 225);
    m.SpeedValue = ScrollBar("SpeedValue", 1560, 2880, 225, 1065, 250, 50, 120);
    m.Label3 = Label("Label3", "BPM", 1890, 2880, 900, 225);
    m.LabSpeed = Display("LabSpeed", "120", 1860, 3180, 600, 225);

    constexpr std::array<int, 4> kBeatLefts = {1860, 2020, 2180, 2340};
    constexpr std::array<int, 4> kValLefts = {2610, 3240, 3870, 4500};
    constexpr std::array<const char*, 4> kValCaptions = {"h", "q", "e", "x"};
    for (int i = 0; i < 4; ++i) {
        m.Beat[i] = Lamp("Beat", ShapeKind::Circle, kBeatGrey, kBeatLefts[i], 3510, 120, 195, i);
        m.ValNote[i] = Button("ValNote", kValCaptions[i], kValLefts[i], 2880, 615, 675, i);
        m.ValNote[i].font = {"Keep", 15.75, false};
    }

    m.BtnPlay = Button("BtnPlay", "Play", 5520, 2880, 885, 555);
    m.PlayLed = Lamp("PlayLed", ShapeKind::Rectangle, kLampGrey, 6450, 2880, 195, 540);
    m.BtnStop = Button("BtnStop", "Stop", 6690, 2880, 885, 555);
    m.Command1 = Button("Command1", "Mostra Ciclo", 7650, 2880, 1305, 555);
    m.BtnRec = Button("BtnRec", "Exit", 9000, 2880, 885, 555);

    m.Label11 = Label("Label11", "Bars:", 2610, 3645, 900, 225);
    m.Label10 = Display("Label10", "", 3585, 3645, 990, 225);
    m.Label12 = Label("Label12", "BPM:", 2610, 3915, 900, 225);
    m.Label9 = Display("Label9", "", 3585, 3915, 990, 225);
    m.Label14 = Label("Label14", "Length:", 2610, 4170, 900, 225);
    m.Label7 = Display("Label7", "", 3585, 4170, 990, 225);
    m.Label13 = Label("Label13", "Time:", 2610, 4440, 900, 225);
    m.Label8 = Display("Label8", "", 3585, 4440, 990, 225);

    constexpr std::array<const char*, 5> kHeads = {"Time", "Status", "Note", "Velocity", "Description"};
    constexpr std::array<int, 5> kHeadLefts = {5520, 6210, 6990, 7680, 8580};
    constexpr std::array<int, 5> kHeadWidths = {480, 480, 480, 630, 960};
    for (int i = 0; i < 5; ++i) {
        m.Label2[i] = Label("Label2", kHeads[i], kHeadLefts[i], 3570, kHeadWidths[i], 225);
        m.Label2[i].index = i;
    }

    m.List2 = List("List2", 5520, 3810, 4365, 2010, kWindowBackground);
    // Each field of an event row stands under its column head.
    for (const Control& head : m.Label2) m.List2.tabStops.push_back(head.rect.left - m.List2.rect.left);
    m.List1 = List("List1", 240, 4050, 2235, 3180, Rgb(255, 255, 192));
    m.List4 = List("List4", 240, 7290, 2235, 840, Rgb(192, 255, 255));

    m.Command2 = Button("Command2", "Rec", 2700, 5460, 735, 375);
    m.RecLed = Lamp("RecLed", ShapeKind::Rectangle, kLampGrey, 3450, 5460, 195, 375);
    m.Command3 = Button("Command3", "Stop", 3675, 5460, 735, 375);
    m.Command3.enabled = false;
    m.Command4 = Button("Command4", "Play", 4440, 5460, 735, 375);
    m.Command4.enabled = false;

    for (int i = 0; i < 25; ++i) m.key[static_cast<size_t>(i)] = Key(i);

    m.List3 = List("List3", 4380, 4890, 975, 255, kWindowBackground);
    m.List3.visible = false;
    m.OpenMIDI = Button("OpenMIDI", "Open SMF", 1590, 8370, 1005, 555);
    m.OpenMIDI.visible = false;
    m.SaveFilex = Button("SaveFilex", "Saved SMF", 2760, 8340, 1005, 435);
    m.SaveFilex.visible = false;
    m.SaveFilex.enabled = false;
    m.Shape1 = Frame("Shape1", 120, 60, 9915, 2595);
    m.Shape2 = Frame("Shape2", 90, 2760, 9945, 5535);

    m.StatusLine = Make(ControlKind::Label, "StatusLine", "", 240, 8385, 9675, 555);
    m.StatusLine.transparent = true;
    m.StatusLine.foreColor = kDarkRed;

    m.Practice = Button("Practice", "Practice", 4170, 4980, 1005, 375);
    m.LabNext = Label("LabNext", "", 570, 1545, 885, 180);
    m.LabNext.foreColor = kAheadBlue;
    return m;
}

std::vector<Control*> MainControls::WindowControls() {
    std::vector<Control*> all = {&Shape1, &Shape2, &Labella, &Screenno, &Tonality, &Label1, &TransLab,
                                 &SpeedValue, &Label3, &LabSpeed};
    for (auto& c : Beat) all.push_back(&c);
    for (auto& c : ValNote) all.push_back(&c);
    for (Control* c : {&BtnPlay, &PlayLed, &BtnStop, &Command1, &BtnRec, &Label11, &Label10, &Label12,
                       &Label9, &Label14, &Label7, &Label13, &Label8})
        all.push_back(c);
    for (auto& c : Label2) all.push_back(&c);
    for (Control* c : {&List2, &List1, &List4, &Command2, &RecLed, &Command3, &Command4}) all.push_back(c);
    // White keys first so the black keys lie on top of them.
    for (auto& c : key)
        if (!IsBlackKey(c.index)) all.push_back(&c);
    for (auto& c : key)
        if (IsBlackKey(c.index)) all.push_back(&c);
    for (Control* c : {&List3, &OpenMIDI, &SaveFilex, &StatusLine, &Practice}) all.push_back(c);
    return all;
}

}  // namespace tonemark
