#include "engine/module_start.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "engine/mixer.h"
#include "engine/periods.h"
#include "engine/sequencer.h"
#include "engine/state.h"

namespace moddeck {

namespace {

// Appends up to `len` bytes of `text` to the NUL-terminated `dst` of `size`
// bytes. What does not fit is cut, never inside a UTF-8 sequence. Returns
// false once something had to be cut.
bool AppendBounded(char* dst, size_t size, size_t& used, const char* text, size_t len) {
    size_t room = size - 1 - used;
    bool fits = len <= room;
    size_t take = fits ? len : room;
    // Do not end on a lead or continuation byte whose sequence is cut.
    if (!fits)
        while (take > 0 && (static_cast<unsigned char>(text[take]) & 0xC0) == 0x80) take--;
    std::memcpy(dst + used, text, take);
    used += take;
    dst[used] = '\0';
    return fits;
}

void BuildAboutTexts(const Mod& song) {
    size_t used = 0;
    TitleSong[0] = '\0';
    AppendBounded(TitleSong, kTitleSize, used, song.title, strnlen(song.title, sizeof song.title));

    used = 0;
    SamplesSong[0] = '\0';
    for (const ModSample& s : song.samples) {
        if (!s.data) continue;
        if (!AppendBounded(SamplesSong, kSamplesSize, used, s.name, strnlen(s.name, sizeof s.name))) break;
        if (!AppendBounded(SamplesSong, kSamplesSize, used, "\n", 1)) break;
    }
}

}  // namespace

void StartModule() {
    Mod* song = SONG;
    if (!song) return;
    BuildAboutTexts(*song);
    base = 0;
    CalculesPeriodes();
    BuildSaturation();
    PLAYER_ON = 0;

    // A new file starts from silence whatever played before: no effect
    // memory, loop count or row delay carries over from another song.
    std::memset(Voices, 0, sizeof Voices);
    looppattern = 0;
    raw_jump = 0;
    patterndelay = 0;
    ResetForSongStart(*song);
    NVoices = std::clamp(song->nbChannels, 0, kMaxChannels);

    for (int16_t*& buf : ptrVoices) {
        if (buf)
            std::memset(buf, 0, kVoiceBufferBytes);
        else
            buf = static_cast<int16_t*>(std::calloc(1, kVoiceBufferBytes));
    }
    ResetMixerTracking();

    ApplySongSpeedAndTempo(*song);
    PLAYER_ON = 1;
    EXITMIXER = 0;
    new_song = 0;
    pattern = 0;
    raw = 0;
    ticks = 0;
}

void StopModule() {
    FreeSaturation();
    for (int16_t*& buf : ptrVoices) {
        std::free(buf);
        buf = nullptr;
    }
    PLAYER_ON = 0;
}

}  // namespace moddeck
