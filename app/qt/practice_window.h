// The practice window: a second top-level window beside the main one, like
// the circle window, that never blocks it. It holds the practice options
// (mode, "hear it too", tempo, tap-along, loop, step up), starts and stops a
// pass, and shows the summary of the last pass and a chart of the last
// thirty passes of the material on show. The pass itself runs in the main
// window's record (practice/session.h); this window only mirrors it.
#pragma once

#include <QWidget>
#include <cstdint>
#include <string>
#include <vector>

#include "practice/history.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace tonemark {

class MainWindow;
struct Main;

// The last passes as two lines against pass number: notes right (in % of the
// notes asked for) and the 90th percentile of |onset error|.
class PassChart : public QWidget {
public:
    explicit PassChart(QWidget* parent);
    void SetPoints(std::vector<practice::PassPoint> points);
    const std::vector<practice::PassPoint>& Points() const { return points_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<practice::PassPoint> points_;
};

class PracticeWindow : public QWidget {
public:
    PracticeWindow(MainWindow& main, Main& m);

    // Shows the practice window, or brings the one open to the front.
    static PracticeWindow* Open(MainWindow& main, Main& m);
    // The practice window now open, or null.
    static PracticeWindow* Current();

    // Brings every control up to date with the record (the main window calls
    // this after each handler).
    void Refresh();

private:
    void MakeControls();

    MainWindow& main_;
    Main& m_;
    QRadioButton* keepGoing_ = nullptr;
    QRadioButton* waitForMe_ = nullptr;
    QCheckBox* hearItToo_ = nullptr;
    QSpinBox* tempo_ = nullptr;
    QPushButton* tapAlong_ = nullptr;
    QLabel* offset_ = nullptr;
    QCheckBox* loopWeakest_ = nullptr;
    QCheckBox* stepUp_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* stop_ = nullptr;
    QLabel* progress_ = nullptr;
    QLabel* summary_ = nullptr;
    PassChart* chart_ = nullptr;
    bool refreshing_ = false;
    int chartPasses_ = -1;
    std::uint64_t chartScore_ = 0;
    std::string chartMaterial_;
};

}  // namespace tonemark
