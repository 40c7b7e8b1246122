// Fuzz target for the MIDI reader: any bytes, read as a song file and as the
// image whose tempo is taken back. The reader must stay inside the data and
// leave the note arrays in their documented shape.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/main_form.h"
#include "midifile/reader.h"

namespace {

// NoteEvents always keeps at least its first element; GoodTrack, when rebuilt,
// has one element per note, that is one fewer than NoteEvents.
void CheckShape(const tonemark::MainState& s, tonemark::ReadStatus status) {
    if (s.NoteEvents.empty()) std::abort();
    const bool rebuilt = s.NoteEvents.size() > 1 &&
                         (status == tonemark::ReadStatus::Ok || status == tonemark::ReadStatus::Truncated);
    if (rebuilt && s.GoodTrack.size() != s.NoteEvents.size() - 1) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    tonemark::MainState fresh;
    fresh.NoteValueTicks = 192;
    CheckShape(fresh, tonemark::ReadFourBytes(fresh, bytes));

    tonemark::Main m;
    m.state.NoteValueTicks = 48;
    m.state.SmfImage.assign(bytes);
    tonemark::ReadFile(m);
    CheckShape(m.state, tonemark::ReadFourBytes(m.state, bytes));
    return 0;
}
