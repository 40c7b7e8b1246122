#include "midi_input/source_policy.h"

namespace tonemark {
namespace {

bool Contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

bool IsThrough(const std::string& name) { return Contains(name, "Through") || Contains(name, "through"); }

}  // namespace

std::string SeqSourceName(const SeqSource& source) { return source.clientName + ":" + source.portName; }

bool ShouldConnectSeqSource(const SeqSource& source, int ownClient, const std::set<std::string>& remembered) {
    if (source.client == ownClient || source.client == 0) return false;  // ourselves; the system's timer and announcements
    const unsigned readable = kSeqCapRead | kSeqCapSubsRead;
    if ((source.capability & readable) != readable || (source.capability & kSeqCapNoExport) != 0) return false;
    if (IsThrough(source.clientName) || IsThrough(source.portName)) return false;
    if (remembered.count(SeqSourceName(source)) != 0) return true;
    return (source.type & (kSeqTypeHardware | kSeqTypePort)) != 0 && (source.type & kSeqTypeMidiGeneric) != 0;
}

bool ShouldConnectJackSource(const JackSource& source, const std::string& ownClient,
                             const std::set<std::string>& remembered) {
    if (!source.output || !source.midi) return false;
    if (source.name.rfind(ownClient + ":", 0) == 0) return false;
    if (IsThrough(source.name)) return false;
    return source.physical || remembered.count(source.name) != 0;
}

}  // namespace tonemark
