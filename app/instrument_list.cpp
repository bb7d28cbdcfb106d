#include "app/instrument_list.h"

#include <cstdio>
#include <cstring>

#include "song/format.h"

namespace moddeck {

namespace {

// A fixed-size name field as text: up to its first NUL, control bytes
// shown as '?' so that a song cannot drive the terminal.
std::string NameOf(const char* field, size_t size) {
    std::string name(field, strnlen(field, size));
    for (char& c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    return name.empty() ? "-" : name;
}

std::string LoopOf(const ModSample& s, bool xm) {
    // A MOD loop of one word is how trackers write "no loop".
    const bool loops = xm ? s.loopType != 0 && s.loopLength > 0 : s.loopLength > 2;
    if (!loops) return "no loop";
    return std::string(xm && s.loopType == 2 ? "ping-pong " : "loop ") + std::to_string(s.loopStart) + "+" +
           std::to_string(s.loopLength);
}

std::string SampleLine(const char* number, const ModSample& s, bool xm) {
    char line[160];
    std::snprintf(line, sizeof line, "%s %-22.22s %7d  %-20s vol %2d  fine %+4d", number,
                  NameOf(s.name, sizeof s.name).c_str(), s.data ? s.length : 0, LoopOf(s, xm).c_str(), s.volume,
                  s.finetune);
    return line;
}

}  // namespace

std::vector<std::string> InstrumentLines(const Mod& song) {
    std::vector<std::string> lines;
    char number[16];
    if (FormatOf(song) == FileFormat::XM) {
        for (int i = 1; i <= song.nbInstruments && i <= kMaxInstruments; i++) {
            const ModInstrument& ins = song.instruments[i];
            std::snprintf(number, sizeof number, "%3d", i);
            lines.push_back(std::string(number) + " " + NameOf(ins.name, sizeof ins.name) + "  (" +
                            std::to_string(ins.nbSamples) + (ins.nbSamples == 1 ? " sample)" : " samples)"));
            for (int k = 0; ins.samples && k < ins.nbSamples; k++) {
                std::snprintf(number, sizeof number, "    %2d", k + 1);
                lines.push_back(SampleLine(number, ins.samples[k], true));
            }
        }
        return lines;
    }
    int last = 0;
    for (int i = 1; i < kSampleSlots; i++)
        if (song.samples[i].data || song.samples[i].name[0]) last = i;
    for (int i = 1; i <= last; i++) {
        std::snprintf(number, sizeof number, "%3d", i);
        lines.push_back(SampleLine(number, song.samples[i], false));
    }
    return lines;
}

}  // namespace moddeck
