#include "engine/module_start.h"

#include <algorithm>
#include <cstring>

#include "engine/meters.h"
#include "engine/mixer.h"
#include "engine/sequencer.h"

namespace moddeck {

void StartModule(Player& p) {
    Mod* song = p.SONG;
    if (!song) return;
    p.base = 0;
    p.PLAYER_ON = 0;

    // A new file starts from silence whatever played before: no effect
    // memory, loop count or row delay carries over from another song.
    std::memset(p.Voices, 0, sizeof p.Voices);
    p.raw_jump = -1;
    p.patterndelay = 0;
    ResetForSongStart(p, *song);
    p.NVoices = std::clamp(song->nbChannels, 0, kMaxChannels);
    ClearVoiceBuffers(p);
    ResetMeters(p.meters);
    p.orderSteps = 0;
    p.songEnds = 0;

    ApplySongSpeedAndTempo(p, *song);
    p.PLAYER_ON = 1;
    p.EXITMIXER = 0;
    p.new_song = 0;
    p.pattern = 0;
    p.raw = 0;
    p.ticks = 0;
}

void StartModule() { StartModule(ProcessPlayer()); }

void StopModule(Player& p) {
    p.PLAYER_ON = 0;
    ResetMeters(p.meters);
}

void StopModule() { StopModule(ProcessPlayer()); }

}  // namespace moddeck
