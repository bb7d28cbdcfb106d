/* The public header as its users call it, from C: renders that match
 * moddeck-render's, another rate in both sample types, seeking, the choices
 * of sound, refusals, packed and cut modules, the decoding of texts.
 * The first argument names the case (see main). */
#include <moddeck/moddeck.h>

#include <bzlib.h>
#include <lzma.h>
#include <math.h>
#include <zlib.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define CHECK(cond) \
    do { if (!(cond)) { fprintf(stderr, "%s:%d: CHECK failed: %s\n", __FILE__, __LINE__, #cond); exit(1); } } while (0)

/* The first of `n` samples where `got` differs from `want`, if any, fails. */
static void check_same(const int16_t *got, const int16_t *want, size_t n, const char *what, double seconds) {
    size_t i = 0;
    while (i < n && got[i] == want[i]) i++;
    if (i < n) fprintf(stderr, "%s from %.6f s, frame %zu: %d, not %d\n", what, seconds, i / 2, got[i], want[i]);
    CHECK(i == n);
}

static unsigned char *read_file(const char *path, size_t *size) {
    FILE *f = fopen(path, "rb");
    CHECK(f && fseek(f, 0, SEEK_END) == 0);
    long n = ftell(f);
    unsigned char *bytes = malloc((size_t)n + 1);
    CHECK(n >= 0 && bytes && fseek(f, 0, SEEK_SET) == 0 && fread(bytes, 1, (size_t)n, f) == (size_t)n);
    fclose(f);
    *size = (size_t)n;
    return bytes;
}

/* The song of the module at `path`; the probe of its bytes names its format. */
static moddeck_song *load(const char *path) {
    size_t size;
    unsigned char *bytes = read_file(path, &size);
    moddeck_song *song = moddeck_song_load(bytes, size, NULL);
    CHECK(song);
    moddeck_song_info info;
    moddeck_song_describe(song, &info);
    CHECK(moddeck_probe(bytes, size, NULL) == info.format);
    CHECK(strcmp(moddeck_song_message(song), "") == 0 && !moddeck_song_message(NULL));
    free(bytes);
    return song;
}

/* A player that holds its song alone, as in a program that lets go of the song at once. */
static moddeck_player *player_of(const char *path, int rate) {
    moddeck_song *song = load(path);
    moddeck_player *player = moddeck_player_new(song, rate);
    moddeck_song_free(song);
    CHECK(player);
    return player;
}

/* 44,100 Hz in calls of 4,410 frames: moddeck-render's blocks, after its
 * 44-byte header. */
static void matches_renderer(const char *module, const char *wav) {
    enum { CALL = 4410 };
    size_t size;
    unsigned char *bytes = read_file(wav, &size);
    const size_t samples = (size - 44) / 2;
    CHECK(size > 44 && samples % (2 * CALL) == 0);
    int16_t *expected = malloc(samples * sizeof(int16_t)), *got = malloc(samples * sizeof(int16_t));
    for (size_t i = 0; i < samples; i++) expected[i] = (int16_t)(bytes[44 + 2 * i] | bytes[45 + 2 * i] << 8);
    moddeck_player *player = player_of(module, 44100);
    for (size_t at = 0; at < samples; at += 2 * CALL) CHECK(moddeck_render_s16(player, got + at, CALL) == CALL);
    check_same(got, expected, samples, module, 0);
    moddeck_player_free(player);
    free(bytes);
    free(expected);
    free(got);
}

/* Played once at 48,000 Hz in calls of 1,000 frames, the song lasts what
 * moddeck_song_duration says (within what ticks of whole frames allow at
 * either rate), is heard, then silent; the floats are the integers / 32768. */
static void other_rate(const char *module) {
    enum { RATE = 48000, CALL = 1000 };
    moddeck_song *song = load(module);  /* two players of one song */
    moddeck_player *ints = moddeck_player_new(song, RATE), *floats = moddeck_player_new(song, RATE);
    moddeck_duration length;
    CHECK(ints && floats && moddeck_song_duration(song, 0, &length) && length.complete);
    moddeck_song_free(song);
    moddeck_player_set_loop(ints, 0);
    moddeck_player_set_loop(floats, 0);
    int16_t s[2 * CALL];
    float f[2 * CALL];
    size_t frames = 0, got, peak = 0;
    do {
        got = moddeck_render_s16(ints, s, CALL);
        CHECK(moddeck_render_f32(floats, f, CALL) == got && (frames += got) < RATE * 600);
        for (size_t i = 0; i < 2 * CALL; i++) {
            CHECK(fabsf(f[i] * 32768 - s[i]) <= 1 && (i < 2 * got || s[i] == 0));
            if ((size_t)abs(s[i]) > peak) peak = (size_t)abs(s[i]);
        }
    } while (got == CALL);
    CHECK(peak > 1000 && fabs((double)frames / RATE - length.seconds) <= 0.005 * length.seconds + 0.001);
    moddeck_position end;
    moddeck_player_position(ints, &end);
    CHECK(end.ended && moddeck_render_s16(ints, s, CALL) == 0);
    moddeck_player_free(ints);
    moddeck_player_free(floats);
}

/* A seek to the moment some row has started, a few seconds in, lands on the
 * start of the tick that holds it, the row's first, and from there gives
 * sample for sample what playing through gave. */
static void seek_matches_play_through(const char *module) {
    enum { RATE = 48000, PLAYED = 8 * RATE, AFTER = 2 * RATE };
    moddeck_player *through = player_of(module, RATE), *seeker = player_of(module, RATE);
    int16_t *heard = malloc(sizeof(int16_t) * 2 * PLAYED), *after = malloc(sizeof(int16_t) * 2 * AFTER);
    moddeck_position at, before = {0}, row = {0};
    for (size_t done = 0; done < PLAYED; done++) {
        moddeck_render_s16(through, heard + 2 * done, 1);
        moddeck_player_position(through, &at);
        if (!row.seconds && done > 4 * RATE && (at.row != before.row || at.order != before.order)) row = at;
        before = at;
    }
    CHECK(row.seconds > 4 && !moddeck_player_seek(seeker, -1) && !moddeck_player_seek(seeker, NAN));
    CHECK(moddeck_player_seek(seeker, row.seconds));
    moddeck_player_position(seeker, &at);
    /* A tick lasts at most 2.5 s / 32, at the slowest tempo. */
    CHECK(at.order == row.order && at.row == row.row && at.seconds <= row.seconds && at.seconds > row.seconds - 0.08);
    const size_t from = (size_t)llround(at.seconds * RATE);
    CHECK(from + AFTER <= PLAYED && moddeck_render_s16(seeker, after, AFTER) == AFTER);
    check_same(after, heard + 2 * from, 2 * AFTER, "seek", at.seconds);
    /* Where a player says it is, a seek lands again, though that time is a
     * double a hair away from the frame. */
    moddeck_position again;
    CHECK(moddeck_player_seek(through, at.seconds));
    moddeck_player_position(through, &again);
    if (again.seconds != at.seconds) fprintf(stderr, "a seek to %.9f s went to %.9f s\n", at.seconds, again.seconds);
    CHECK(again.order == at.order && again.row == at.row && again.seconds == at.seconds);
    free(heard);
    free(after);
    moddeck_player_free(through);
    moddeck_player_free(seeker);
}

/* Choice `which` of sound (0: none, as by default). */
static void choose(moddeck_player *player, int which) {
    static const moddeck_interpolation how[] = {MODDECK_INTERPOLATION_NONE, MODDECK_INTERPOLATION_CUBIC,
                                                MODDECK_INTERPOLATION_SINC};
    if (which >= 1 && which <= 3) CHECK(moddeck_player_set_interpolation(player, how[which - 1]));
    if (which == 4) moddeck_player_set_ramping(player, 1);
    if (which == 5) moddeck_player_set_stereo_separation(player, -40); /* taken as 0: mono */
    if (which == 6) moddeck_player_set_amiga(player, 1);
}

/* Each choice of sound changes what is heard and leaves it loud, but Amiga
 * mode, which changes only a MOD; mono gives both sides one value (to the
 * rounding of each channel's split); an interpolation outside the list is
 * refused. */
static void sound_choices(const char *module) {
    enum { FRAMES = 2 * 44100, CHOICES = 7 };
    moddeck_song *song = load(module);
    moddeck_song_info info;
    moddeck_song_describe(song, &info);
    int16_t *heard[CHOICES];
    for (int which = 0; which < CHOICES; which++) {
        moddeck_player *player = moddeck_player_new(song, 44100);
        CHECK(player && !moddeck_player_set_interpolation(player, (moddeck_interpolation)4));
        choose(player, which);
        heard[which] = malloc(sizeof(int16_t) * 2 * FRAMES);
        CHECK(heard[which] && moddeck_render_s16(player, heard[which], FRAMES) == FRAMES);
        moddeck_player_free(player);
        int peak = 0;
        for (size_t i = 0; i < 2 * FRAMES; i++) peak = abs(heard[which][i]) > peak ? abs(heard[which][i]) : peak;
        const int same = which > 0 && !memcmp(heard[which], heard[0], sizeof(int16_t) * 2 * FRAMES);
        CHECK(peak > 1000 && same == (which == 6 && info.format != MODDECK_FORMAT_MOD));
    }
    for (size_t i = 0; i < FRAMES; i++) CHECK(abs(heard[5][2 * i] - heard[5][2 * i + 1]) <= info.channels);
    for (int which = 0; which < CHOICES; which++) free(heard[which]);
    moddeck_song_free(song);
}

/* What the library refuses it refuses with its reason, and the probe of the
 * same bytes agrees without loading them. */
static void refusals(void) {
    static const char line[] = "Notes for the next release.\n";
    char text[2048];
    for (size_t i = 0; i < sizeof text; i++) text[i] = line[i % (sizeof line - 1)];
    const struct { const void *data; size_t size; moddeck_refusal why; const char *says; } refused[] = {
        {"", 0, MODDECK_EMPTY_FILE, "empty file"},
        {text, sizeof text, MODDECK_NOT_A_MODULE, "not a module"},
        {"IMPMa song", 10, MODDECK_NOT_A_MODULE, "not a module"},
        {"PK\3\4tune.mod", 12, MODDECK_ZIP_ARCHIVE, "compressed: a zip archive (unpack it first)"},
        {"\x1f\x8bnot gzip", 10, MODDECK_COMPRESSED_DAMAGED, "compressed: the packed data is damaged or cut"},
    };
    for (size_t i = 0; i < sizeof refused / sizeof refused[0]; i++) {
        moddeck_refusal loaded = MODDECK_OK, probed = MODDECK_OK;
        CHECK(!moddeck_song_load(refused[i].data, refused[i].size, &loaded) && loaded == refused[i].why);
        CHECK(moddeck_probe(refused[i].data, refused[i].size, &probed) == MODDECK_FORMAT_NONE && probed == loaded);
        CHECK(strcmp(moddeck_refusal_text(loaded), refused[i].says) == 0);
    }
    CHECK(!moddeck_song_load(NULL, 0, NULL) && !moddeck_player_new(NULL, 44100));
    CHECK(!strcmp(moddeck_refusal_text(MODDECK_OK), "") && !strcmp(moddeck_refusal_text(1000), "cannot be played"));
    char version[32];
    snprintf(version, sizeof version, "%d.%d.%d", MODDECK_VERSION_MAJOR, MODDECK_VERSION_MINOR, MODDECK_VERSION_PATCH);
    CHECK(strcmp(moddeck_version(), version) == 0);
}

/* `size` bytes gzipped into a new block of *packed bytes; `bytes` null
 * packs that many zeros. */
static unsigned char *gzip_of(const unsigned char *bytes, size_t size, size_t *packed) {
    static unsigned char zeros[1 << 16];
    size_t room = size / 100 + (bytes ? size : 0) + 4096;
    unsigned char *out = malloc(room);
    z_stream z;
    memset(&z, 0, sizeof z);
    CHECK(out && deflateInit2(&z, 1, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK);
    z.next_out = out;
    z.avail_out = (uInt)room;
    for (size_t done = 0; done < size;) {
        size_t n = bytes ? size : sizeof zeros < size - done ? sizeof zeros : size - done;
        z.next_in = (Bytef *)(bytes ? bytes : zeros);
        z.avail_in = (uInt)n;
        done += n;
        CHECK(deflate(&z, done == size ? Z_FINISH : Z_NO_FLUSH) != Z_STREAM_ERROR && z.avail_in == 0);
    }
    *packed = room - z.avail_out;
    deflateEnd(&z);
    return out;
}

/* The module at `path` packed whole with gzip, bzip2 or xz loads as itself
 * and says how; packed data cut short, or unpacking past the largest
 * module, is refused; the module itself cut in its patterns is refused,
 * and cut in its samples plays, each with where it ends. */
static void packed(const char *path) {
    size_t size, n[3];
    unsigned char *bytes = read_file(path, &size), *packs[3];
    unsigned int bz = (unsigned int)(size + size / 100 + 600);
    packs[0] = gzip_of(bytes, size, &n[0]);
    CHECK((packs[1] = malloc(bz)) && BZ2_bzBuffToBuffCompress((char *)packs[1], &bz, (char *)bytes, (unsigned)size, 9, 0, 0) == BZ_OK);
    n[1] = bz;
    n[2] = 0;
    CHECK((packs[2] = malloc(size + 4096)) && lzma_easy_buffer_encode(6, LZMA_CHECK_CRC64, NULL, bytes, size, packs[2], &n[2], size + 4096) == LZMA_OK);
    const char *names[3] = {"gzip", "bzip2", "xz"};
    moddeck_load_report report;
    char text[200];
    for (int i = 0; i < 3; i++) {
        moddeck_song *song = moddeck_song_load_report(packs[i], n[i], &report);
        CHECK(song && report.why == MODDECK_OK && !strcmp(report.packing, names[i]) && report.size == size);
        CHECK(moddeck_probe(packs[i], n[i], NULL) != MODDECK_FORMAT_NONE);
        CHECK(moddeck_load_report_text(&report, text, sizeof text) == 0 && text[0] == '\0');
        moddeck_song_free(song);
        CHECK(!moddeck_song_load_report(packs[i], n[i] / 2, &report) && report.why == MODDECK_COMPRESSED_DAMAGED);
        free(packs[i]);
    }
    size_t bomb_size;
    unsigned char *bomb = gzip_of(NULL, MODDECK_MAX_MODULE_BYTES + 1, &bomb_size);
    CHECK(!moddeck_song_load_report(bomb, bomb_size, &report) && report.why == MODDECK_COMPRESSED_TOO_LARGE);
    free(bomb);

    char want[200];
    const size_t cuts[2] = {1084 + 100, size - 100};
    for (int i = 0; i < 2; i++) {
        moddeck_song *song = moddeck_song_load_report(bytes, cuts[i], &report);
        CHECK(report.truncated == (i ? MODDECK_TRUNCATED_SAMPLES : MODDECK_TRUNCATED_PATTERNS) && report.size == cuts[i]);
        CHECK(i ? song && report.end == size : !song && report.why == MODDECK_TRUNCATED_PATTERNS && report.end > cuts[i]);
        snprintf(want, sizeof want, "truncated: the %s end at byte %llu of %zu", i ? "samples" : "patterns",
                 (unsigned long long)report.end, cuts[i]);
        CHECK(moddeck_load_report_text(&report, text, 12) == strlen(want) && !strncmp(text, want, 11) && text[11] == '\0');
        moddeck_load_report_text(&report, text, sizeof text);
        CHECK(!strcmp(text, want));
        moddeck_song_free(song);
    }
    free(bytes);
}

/* Texts as UTF-8, decided per text, never cut inside a character. */
static void texts(void) {
    char out[64];
    const struct { const char *in, *want; } cases[] = {
        {"caf\x82 \xb0\xb1\xb2", "caf\xc3\xa9 \xe2\x96\x91\xe2\x96\x92\xe2\x96\x93"}, /* CP437 */
        {"Kj\xe6ll \xd8stby", "Kj\xc3\xa6ll \xc3\x98stby"},                            /* Latin-1 */
        {"\xc3\xa9t\xc3\xa9\x1b[2J\x7f", "\xc3\xa9t\xc3\xa9 [2J "},                  /* UTF-8, controls */
        {"\xc3(", "\xe2\x94\x9c("},                                                /* broken UTF-8 */
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; i++) {
        CHECK(moddeck_text_utf8(cases[i].in, strlen(cases[i].in), out, sizeof out) == strlen(cases[i].want));
        CHECK(!strcmp(out, cases[i].want));
    }
    CHECK(moddeck_text_utf8("ab\x82", 3, out, 4) == 4 && !strcmp(out, "ab"));
}

int main(int argc, char **argv) {
    const char *what = argc > 1 ? argv[1] : "";
    if (!strcmp(what, "renderer") && argc == 4) matches_renderer(argv[2], argv[3]);
    else if (!strcmp(what, "rate") && argc == 3) other_rate(argv[2]);
    else if (!strcmp(what, "seek") && argc == 3) seek_matches_play_through(argv[2]);
    else if (!strcmp(what, "refusals") && argc == 2) refusals();
    else if (!strcmp(what, "choices") && argc == 3) sound_choices(argv[2]);
    else if (!strcmp(what, "packed") && argc == 3) packed(argv[2]);
    else if (!strcmp(what, "texts") && argc == 2) texts();
    else {
        fprintf(stderr, "usage: library_header_test renderer MODULE WAV | rate MODULE | seek MODULE | choices MODULE"
                        " | refusals | packed MOD | texts\n");
        return 2;
    }
    return 0;
}
