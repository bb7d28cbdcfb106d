// libmoddeck on any bytes: each of the three module formats, cut, corrupted
// or made up, either loads into a song that renders 20 blocks or is
// refused. On a quarter of the inputs (told by their last byte) the
// subsongs are measured too, and the song is sought into before its blocks.
// The byte before the last chooses the interpolation, ramping and Amiga
// mode, so that every choice of sound reads the samples' ends and loops.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "moddeck/moddeck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    moddeck_refusal why = MODDECK_OK;
    moddeck_song* song = moddeck_song_load(data, size, &why);
    if (!song) {
        if (why == MODDECK_OK) std::abort();  // a refusal always says why
        return 0;
    }
    moddeck_player* player = moddeck_player_new(song, 44100);
    if (!player) std::abort();
    const uint8_t choice = size > 1 ? data[size - 2] : 0;
    moddeck_player_set_interpolation(player, static_cast<moddeck_interpolation>(choice % 4));
    moddeck_player_set_ramping(player, choice & 4);
    moddeck_player_set_amiga(player, choice & 8);
    if (size > 0 && data[size - 1] % 4 == 0) {
        // Bounded by the scan's own limit; the seek is a few seconds in so
        // that it stays cheap to sequence.
        const int subsongs = moddeck_song_subsongs(song);
        moddeck_duration duration;
        for (int i = 0; i < subsongs; i++)
            if (!moddeck_song_duration(song, i, &duration)) std::abort();
        moddeck_player_seek(player, data[0] % 8);
    }
    static int16_t block[2 * 4410];
    for (int b = 0; b < 20; b++) moddeck_render_s16(player, block, 4410);
    moddeck_player_free(player);
    moddeck_song_free(song);
    return 0;
}
