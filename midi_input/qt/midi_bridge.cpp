#include "midi_input/qt/midi_bridge.h"

#include <QMetaObject>
#include <QTimer>

#include "app/qt/main_window.h"
#include "keyboard/midi_keys.h"
#include "midi_input/devices/open_midi_input.h"

namespace tonemark {

MidiBridge::MidiBridge(MainWindow& window, int delayMs)
    : QObject(&window), window_(window), hub_([this] {
          // On the input's thread: the window takes everything waiting in one go.
          QMetaObject::invokeMethod(this, [this] { Deliver(); }, Qt::QueuedConnection);
      }) {
    QTimer::singleShot(delayMs, this, [this] { Open(); });
}

MidiBridge::~MidiBridge() {
    backends_.clear();  // their threads end here, before the hub goes
}

void MidiBridge::Open() {
    std::vector<std::string> problems;
    backends_ = OpenMidiInputs(hub_, problems);
}

void MidiBridge::Deliver() {
    // A handler that lets events run (a rebuild) finishes first; the events
    // keep the moments they happened at, so a take loses nothing by waiting.
    if (window_.Busy()) {
        if (!deliveryPosted_) {
            deliveryPosted_ = true;
            QTimer::singleShot(1, this, [this] {
                deliveryPosted_ = false;
                Deliver();
            });
        }
        return;
    }
    std::vector<MidiInputEvent> events = hub_.TakeEvents();
    std::vector<std::string> messages = hub_.TakeMessages();
    if (events.empty() && messages.empty()) return;
    window_.Handle([&events, &messages](Main& m) {
        for (const MidiInputEvent& event : events) MidiNoteAt(m, event);
        for (const std::string& text : messages) m.Notify(text);
    });
}

}  // namespace tonemark
