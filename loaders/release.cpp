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

    // Every slot and instrument is released, whatever the format: the
    // record is zero-filled, and a rejected file may have stored a count
    // the record cannot hold.
    for (ModSample& s : song->samples) {
        delete[] s.data;
        s.data = nullptr;
    }
    for (ModInstrument& ins : song->instruments) {
        for (int j = 0; ins.samples && j < ins.nbSamples; j++) delete[] ins.samples[j].data;
        delete[] ins.samples;
        ins.samples = nullptr;
    }
    delete[] song->message;
    song->message = nullptr;
    delete song;
}

}  // namespace moddeck
