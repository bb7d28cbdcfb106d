/* render_wav: the first 30 seconds of a tracker module (MOD, S3M or XM) as
 * a WAV file, 16-bit stereo at 48,000 Hz. A song shorter than that starts
 * again from its start, as a player does by default.
 *
 *   cc -o render_wav render_wav.c $(pkg-config --cflags --libs moddeck)
 *   ./render_wav MODULE OUT.wav
 */
#include <moddeck/moddeck.h>
#include <stdio.h>
#include <stdlib.h>

/* 20 ms a call, as an audio callback might ask for. */
enum { RATE = 48000, SECONDS = 30, FRAMES_PER_CALL = 960 };

/* WAV numbers are little-endian whatever the machine. */
static void put_le(FILE *f, unsigned long value, int bytes) {
    for (int i = 0; i < bytes; i++) fputc((int)(value >> (8 * i)) & 0xFF, f);
}

int main(int argc, char **argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: render_wav MODULE OUT.wav\n");
        return 2;
    }
    /* The library reads modules from memory: load the whole file. */
    FILE *in = fopen(argv[1], "rb");
    long size = in && fseek(in, 0, SEEK_END) == 0 ? ftell(in) : -1;
    char *bytes = size >= 0 ? malloc(size + 1) : NULL;
    if (!bytes || fseek(in, 0, SEEK_SET) != 0 || fread(bytes, 1, size, in) != (size_t)size) {
        perror(argv[1]);
        return 1;
    }
    fclose(in);
    moddeck_refusal why;
    moddeck_song *song = moddeck_song_load(bytes, size, &why);
    free(bytes); /* the song has its own copy */
    if (!song) {
        fprintf(stderr, "%s: %s\n", argv[1], moddeck_refusal_text(why));
        return 1;
    }
    moddeck_player *player = moddeck_player_new(song, RATE);
    moddeck_song_free(song); /* the player holds on to it */
    FILE *out = player ? fopen(argv[2], "wb") : NULL;
    if (!out) {
        perror(argv[2]);
        return 1;
    }

    /* The 44-byte header of a PCM WAV file: 16-bit stereo at RATE. */
    const unsigned long data_bytes = (unsigned long)RATE * SECONDS * 4;
    fputs("RIFF", out); put_le(out, 36 + data_bytes, 4); fputs("WAVE", out);
    fputs("fmt ", out); put_le(out, 16, 4); put_le(out, 1, 2); put_le(out, 2, 2);
    put_le(out, RATE, 4); put_le(out, RATE * 4, 4); put_le(out, 4, 2); put_le(out, 16, 2);
    fputs("data", out); put_le(out, data_bytes, 4);

    int16_t pcm[2 * FRAMES_PER_CALL];
    for (int call = 0; call < RATE / FRAMES_PER_CALL * SECONDS; call++) {
        moddeck_render_s16(player, pcm, FRAMES_PER_CALL);
        for (int i = 0; i < 2 * FRAMES_PER_CALL; i++) put_le(out, (uint16_t)pcm[i], 2);
    }
    moddeck_player_free(player);
    if (fclose(out) != 0) {
        perror(argv[2]);
        return 1;
    }
    return 0;
}
