// Which MIDI sources the program connects itself to. A keyboard on USB or a
// sound card's MIDI port is taken as soon as it appears; the sequencer's own
// ports, "through" ports, the program's own ports and ports marked not to be
// used by others are passed over. A source the user connected by hand once is
// taken again by its name when it comes back.
#pragma once

#include <set>
#include <string>

namespace tonemark {

// The ALSA sequencer's port capabilities and types that matter here (the
// values are those of <alsa/seq.h>; the backend checks that they agree).
inline constexpr unsigned kSeqCapRead = 1U << 0;
inline constexpr unsigned kSeqCapSubsRead = 1U << 5;
inline constexpr unsigned kSeqCapNoExport = 1U << 7;
inline constexpr unsigned kSeqTypeHardware = 1U << 16;
inline constexpr unsigned kSeqTypePort = 1U << 19;
inline constexpr unsigned kSeqTypeMidiGeneric = 1U << 1;

struct SeqSource {
    int client = 0;
    int port = 0;
    std::string clientName;
    std::string portName;
    unsigned capability = 0;
    unsigned type = 0;
};

// Whether to connect the ALSA sequencer port `source` to the program's
// input, whose client number is `ownClient`.
bool ShouldConnectSeqSource(const SeqSource& source, int ownClient, const std::set<std::string>& remembered);

// The name a sequencer source is known by: "client:port", by name, not number.
std::string SeqSourceName(const SeqSource& source);

struct JackSource {
    std::string name;  // "client:port"
    bool output = false;
    bool physical = false;
    bool midi = false;
};

bool ShouldConnectJackSource(const JackSource& source, const std::string& ownClient,
                             const std::set<std::string>& remembered);

}  // namespace tonemark
