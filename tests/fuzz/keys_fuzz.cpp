// Keys and the song position: a module from the first part of the input,
// then the rest as key presses interleaved with rendering, as the player's
// Right/"+" and Left/"-" reach libmoddeck; every fourth byte a block is
// rendered. The position must stay inside the order table.
//   input: length L (2 bytes, little-endian), L bytes of module, keys
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "moddeck/moddeck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    size_t length = data[0] | size_t{data[1]} << 8;
    if (length > size - 2) length = size - 2;
    moddeck_song* song = moddeck_song_load(data + 2, length, nullptr);
    if (!song) return 0;
    moddeck_song_info info;
    moddeck_song_describe(song, &info);
    moddeck_player* player = moddeck_player_new(song, 44100);
    static int16_t block[2 * 4410];
    for (size_t i = 2 + length; i < size; i++) {
        if (data[i] == '+' || data[i] == '-') moddeck_player_step_order(player, data[i] == '+' ? 1 : -1);
        if (i % 4 == 0) moddeck_render_s16(player, block, 4410);
        moddeck_position position;
        moddeck_player_position(player, &position);
        if (position.order < 0 || position.order >= info.orders) std::abort();
    }
    moddeck_player_free(player);
    moddeck_song_free(song);
    return 0;
}
