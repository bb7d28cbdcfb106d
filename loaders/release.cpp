#include <algorithm>

#include "loaders/loaders.h"

namespace moddeck {

void FreeModSong(Mod* song) {
    if (!song) return;
    if (song->patterns) {
        for (int p = 0; p < song->nbPatterns; p++)
            for (ModCell*& track : song->patterns[p].tracks) {
                delete[] track;
                track = nullptr;
            }
        delete[] song->patterns;
        song->patterns = nullptr;
    }

    // Counts are bounded by the arrays: a rejected file may have stored a
    // count the record cannot hold.
    if (song->isS3M) {
        int last = std::min(song->nbInstruments, kSampleSlots - 1);
        for (int s = 1; s <= last; s++) {
            delete[] song->samples[s].data;
            song->samples[s].data = nullptr;
        }
    } else if (song->isXM) {
        int last = std::min(song->nbInstruments, kMaxInstruments);
        for (int i = 1; i <= last; i++) {
            ModInstrument& ins = song->instruments[i];
            if (!ins.samples) continue;
            for (int j = 0; j < ins.nbSamples; j++) {
                delete[] ins.samples[j].data;
                ins.samples[j].data = nullptr;
            }
            delete[] ins.samples;
            ins.samples = nullptr;
        }
    } else {
        for (int s = 1; s <= 31; s++) {
            delete[] song->samples[s].data;
            song->samples[s].data = nullptr;
        }
    }
    delete song;
}

}  // namespace moddeck
