/* Moddeck: tracker modules (MOD, S3M, XM, IT) rendered to PCM.
 *
 * A song is loaded once from bytes in memory and is read-only from then on.
 * A player plays one song: it renders stereo frames at the caller's rate, as
 * many per call as the caller asks, and holds everything playback changes
 * (position, voices, effect memories, global volume). Any number of players
 * may play one song, each on a thread of its own.
 *
 * Threads. Every call on a song may come from any thread. The calls on a
 * player are made by the thread that renders it (or by one thread at a time)
 * unless the call says "Any thread": those may run while another thread
 * renders the same player, and take effect at the renderer's next tick.
 *
 * Errors. No call throws, aborts or reads outside what it is given: a
 * refused file is a null song with its reason; a null handle or buffer
 * makes a call do nothing and return null or 0.
 *
 * The structures the calls fill may gain fields in a later version, which
 * will then carry another soname.
 */
#ifndef MODDECK_MODDECK_H
#define MODDECK_MODDECK_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define MODDECK_API __attribute__((visibility("default")))
#else
#define MODDECK_API
#endif

#define MODDECK_VERSION_MAJOR 0
#define MODDECK_VERSION_MINOR 4
#define MODDECK_VERSION_PATCH 0

/* The library's version as "MAJOR.MINOR.PATCH"; a static string. */
MODDECK_API const char *moddeck_version(void);

/* Why a file cannot be played. The library itself refuses with
 * MODDECK_EMPTY_FILE, MODDECK_TOO_LARGE, MODDECK_NOT_A_MODULE and the
 * reasons from MODDECK_TRUNCATED_PATTERNS on; the others are for programs
 * that also read files and Ogg streams, so that a whole player speaks one
 * list. */
typedef enum moddeck_refusal {
    MODDECK_OK = 0,
    MODDECK_NO_SUCH_FILE,
    MODDECK_IS_A_DIRECTORY,
    MODDECK_NOT_A_REGULAR_FILE, /* a device, a pipe or a socket */
    MODDECK_PERMISSION_DENIED,
    MODDECK_EMPTY_FILE,
    MODDECK_TOO_LARGE,          /* beyond what a module can be, or out of memory */
    MODDECK_UNREADABLE,
    MODDECK_NOT_A_MODULE,       /* no plausible IT, XM, S3M or MOD header */
    MODDECK_OGG_OPUS,
    MODDECK_OGG_FLAC,
    MODDECK_OGG_SPEEX,
    MODDECK_OGG_THEORA,
    MODDECK_NOT_OGG_VORBIS,     /* an Ogg stream whose Vorbis headers are missing or broken */
    MODDECK_PATH_TOO_LONG,
    MODDECK_TRUNCATED_PATTERNS, /* the file ends inside its patterns */
    MODDECK_TRUNCATED_SAMPLES,  /* it ends inside its samples, leaving nothing to hear */
    MODDECK_IMPULSE_TRACKER,    /* no longer returned (Impulse Tracker modules load); kept for its value */
    MODDECK_COMPRESSED_DAMAGED, /* gzip, bzip2 or xz data that does not unpack */
    MODDECK_COMPRESSED_TOO_LARGE, /* it unpacks past MODDECK_MAX_MODULE_BYTES */
    MODDECK_COMPRESSED_NOT_A_MODULE, /* it unpacks to something that is no module */
    MODDECK_ZIP_ARCHIVE         /* a zip archive, which may hold anything */
} moddeck_refusal;

/* A short lower-case phrase for people ("not a module", "empty file", ...);
 * "" for MODDECK_OK and "cannot be played" for a value outside the list. */
MODDECK_API const char *moddeck_refusal_text(moddeck_refusal why);

typedef enum moddeck_format {
    MODDECK_FORMAT_NONE = 0,
    MODDECK_FORMAT_MOD,
    MODDECK_FORMAT_S3M,
    MODDECK_FORMAT_XM,
    MODDECK_FORMAT_IT
} moddeck_format;

/* Modules larger than this are refused from their size alone; a packed
 * one is never unpacked past it. */
#define MODDECK_MAX_MODULE_BYTES ((size_t)256 << 20)

/* Tells from the first bytes of a file, without loading it, whether
 * moddeck_song_load would take it and as what: the format, or
 * MODDECK_FORMAT_NONE with the reason in *why (when why is not null). Reads
 * only headers (of a packed file, once unpacked); a file whose body is
 * broken may still be refused by the load. */
MODDECK_API moddeck_format moddeck_probe(const void *data, size_t size, moddeck_refusal *why);

/* Decodes `length` bytes of text from a file (a name, a title, a comment)
 * to UTF-8 in `text`, cut at a character to `size` bytes with its NUL. The
 * code page is decided per text: valid UTF-8 stays as it is; otherwise
 * Latin-1 when every byte above 0x7F is a Latin-1 letter beside another
 * letter, else CP437, which most trackers wrote in. Bytes below 0x20 and
 * 0x7F become spaces. Returns the length of the whole decoded text. */
MODDECK_API size_t moddeck_text_utf8(const char *bytes, size_t length, char *text, size_t size);

/* ---- Songs ---------------------------------------------------------- */

typedef struct moddeck_song moddeck_song;

/* Loads the module held in `size` bytes at `data`, also when the whole file
 * is packed with gzip, bzip2 or xz (told by its contents); the bytes stay
 * the caller's and may go as soon as the call returns. Returns the song
 * (with MODDECK_OK in *why), or null with the reason in *why (when why is
 * not null). A module cut inside its patterns, or so early in its samples
 * that nothing would sound, is refused; one with part of its samples loads
 * and plays what there is (moddeck_song_load_report tells). */
MODDECK_API moddeck_song *moddeck_song_load(const void *data, size_t size, moddeck_refusal *why);

/* What a load found, beyond the song. */
typedef struct moddeck_load_report {
    moddeck_refusal why;       /* as moddeck_song_load's *why */
    moddeck_refusal truncated; /* MODDECK_OK for a whole file; MODDECK_TRUNCATED_PATTERNS or
                                  _SAMPLES when it ends before what it declares (a song that
                                  loads with this set lacks the end of its samples) */
    uint64_t end;              /* truncated: the byte the cut part would end at */
    uint64_t size;             /* the module's bytes (unpacked) */
    const char *packing;       /* "gzip", "bzip2", "xz", "zip"; "" for a plain file; static */
} moddeck_load_report;

/* moddeck_song_load, telling what it found in *report (when not null). */
MODDECK_API moddeck_song *moddeck_song_load_report(const void *data, size_t size, moddeck_load_report *report);

/* The report as one line for people, into `text` (cut to `size` bytes with
 * its NUL): the reason a file was refused, with the numbers of a cut one
 * ("truncated: the patterns end at byte 9260 of 3072"), or for a song that
 * loaded cut "truncated: the samples end at byte N of M"; "" for a whole
 * song. Returns the length of the whole line. */
MODDECK_API size_t moddeck_load_report_text(const moddeck_load_report *report, char *text, size_t size);

/* Lets go of the caller's hold on the song. A player keeps the song it
 * plays, so the memory goes with the last of them. Null is allowed. */
MODDECK_API void moddeck_song_free(moddeck_song *song);

/* What a song is. The texts belong to the song and live as long as it does;
 * the title and names are the file's bytes up to their field's end or first
 * NUL, as UTF-8 (as moddeck_text_utf8 decodes them): they hold no control
 * byte, so they may be printed to a terminal as they are. */
typedef struct moddeck_song_info {
    moddeck_format format;
    const char *format_name; /* "MOD", "S3M", "XM", "IT" */
    const char *tracker;     /* what the file says saved it: "FastTracker v2.00", "Scream Tracker 3.20", ...; "" when unknown */
    const char *title;
    int channels;    /* the channels the song is written for (at most 64): MOD and XM, the
                        count the file gives; S3M, the header's channels up to the last one
                        it does not mark unused (muted ones count), or, when it marks all
                        unused, those the patterns use. An S3M may play on fewer, or hold
                        events on channels its header leaves unused. IT: up to the last
                        channel its patterns use. */
    int orders;      /* entries of the order table that play (at least 1: an empty table plays its first) */
    int patterns;
    int instruments; /* XM instruments, and IT ones when the song plays by instruments; 0 for
                        MOD, S3M and IT in sample mode, whose cells name samples */
    int samples;     /* MOD, S3M and IT: sample slots (empty ones too); XM: the samples of all instruments */
} moddeck_song_info;

/* Fills *info. */
MODDECK_API void moddeck_song_describe(const moddeck_song *song, moddeck_song_info *info);

/* The name of XM or IT instrument `index` (0 .. instruments - 1), also when
 * it has no sample: composers write their messages there. Null outside. */
MODDECK_API const char *moddeck_song_instrument_name(const moddeck_song *song, int index);

/* The song message an IT file may carry, as UTF-8 (each line decoded as
 * moddeck_text_utf8 does), lines ended by '\n' and no other control byte;
 * "" when the song has none, null for a null song. It belongs to the song. */
MODDECK_API const char *moddeck_song_message(const moddeck_song *song);

typedef struct moddeck_sample_info {
    const char *name;
    int instrument;  /* XM: the instrument (0-based) it belongs to; -1 for MOD, S3M and IT,
                        whose instruments share the song's samples */
    int length;      /* frames of sound; 0 for an empty slot */
    int loop;        /* 0 none, 1 forward, 2 ping-pong */
    int loop_start;  /* frames */
    int loop_length;
    int volume;      /* 0..64 */
    int finetune;    /* XM -128..127, MOD -8..7, S3M -7..7; IT 0 */
} moddeck_sample_info;

/* Fills *info for sample `index` (0 .. samples - 1: MOD, S3M and IT slots
 * from slot 1, XM samples instrument by instrument). Returns 1, or 0 outside. */
MODDECK_API int moddeck_song_sample(const moddeck_song *song, int index, moddeck_sample_info *info);

/* How long a subsong plays. */
typedef struct moddeck_duration {
    double seconds;      /* until it ends, or, for one that jumps back instead, until it first comes back to a row it has played */
    double loop_seconds; /* where one that never ends goes back to; negative for one that ends */
    int complete;        /* 0 when the scan stopped at its bound (3 hours): seconds is then a lower bound */
    int first_order;     /* the order entry it starts at */
} moddeck_duration;

/* Subsongs: the separate sequences of the order table. The first starts at
 * order 0; each further one at the first entry that no earlier one reaches.
 * Returns how many (at least 1). The first call on a song scans it (a few
 * milliseconds); later calls only read. */
MODDECK_API int moddeck_song_subsongs(const moddeck_song *song);

/* Fills *duration for subsong `subsong` (0-based), measured at 44,100 Hz
 * (a tick lasts a whole number of frames, so other rates differ by a few
 * milliseconds a minute). Returns 1, or 0 for a subsong that does not exist. */
MODDECK_API int moddeck_song_duration(const moddeck_song *song, int subsong, moddeck_duration *duration);

/* ---- Players ---------------------------------------------------------- */

typedef struct moddeck_player moddeck_player;

#define MODDECK_MIN_RATE 8000
#define MODDECK_MAX_RATE 192000

/* A player of `song` at `rate` frames per second (MODDECK_MIN_RATE ..
 * MODDECK_MAX_RATE), at the start of subsong 0, looping. Null for a rate
 * outside the range, a null song or no memory. */
MODDECK_API moddeck_player *moddeck_player_new(moddeck_song *song, int rate);

/* Frees the player (and its song, when the caller has let go of it). Null
 * is allowed. No other call on the player may run meanwhile. */
MODDECK_API void moddeck_player_free(moddeck_player *player);

/* Renders the next `frames` stereo frames into `out`, interleaved left then
 * right, as 16-bit integers or as floats within -1..1. Returns the frames of
 * song written: `frames`, or fewer once a player that does not loop has
 * come to the song's end, the rest of `out` being silence. Allocates
 * nothing, locks nothing. */
MODDECK_API size_t moddeck_render_s16(moddeck_player *player, int16_t *out, size_t frames);
MODDECK_API size_t moddeck_render_f32(moddeck_player *player, float *out, size_t frames);

/* Looping on (the default) or off. Looping, a song that ends starts again
 * from the start of its subsong, and one that never ends goes on; not
 * looping, the song plays once: to its end, or until it comes back to a row
 * it has played. Turned on again after the end, the subsong starts over.
 * Any thread. */
MODDECK_API void moddeck_player_set_loop(moddeck_player *player, int loop);

typedef struct moddeck_position {
    int order;      /* entry of the order table */
    int row;
    double seconds; /* song time, from the start of the subsong; it goes back with a song that jumps back */
    int subsong;
    int ended;      /* 1 once a player that does not loop has played the song out */
} moddeck_position;

/* Where the renderer is, as of the end of the last render (or seek): the
 * order entry and row it sequences next, and the song time of the frames it
 * has rendered. Any thread. */
MODDECK_API void moddeck_player_position(const moddeck_player *player, moddeck_position *position);

/* Plays order entry `order` from its row 0 (kept within the subsong's order
 * table), as a jump: the voices play on. Any thread: taken at the next tick. */
MODDECK_API void moddeck_player_go_to_order(moddeck_player *player, int order);

/* Moves `delta` entries along the order table, as the keys of a player do:
 * the steps of several calls add up, and stop at the first and last entries
 * rather than wrap. Any thread: taken at the next tick. */
MODDECK_API void moddeck_player_step_order(moddeck_player *player, int delta);

/* Plays on from `seconds` into the current subsong: the song is sequenced
 * from its start without being mixed, the voices moved on as if heard, so
 * that what follows sounds exactly as if it had been played through. It
 * lands on the tick that holds `seconds`; a time past the end of a song
 * that ends is its end, and for one that never ends it is folded into its
 * loop. Returns 1, or 0 for a time below 0 or not a number. */
MODDECK_API int moddeck_player_seek(moddeck_player *player, double seconds);

/* Starts subsong `subsong` from its start. Returns 1, or 0 when it does
 * not exist. */
MODDECK_API int moddeck_player_select_subsong(moddeck_player *player, int subsong);

/* The gain of one channel (0-based), 0 (muted) to 1 (as written; the
 * default): mute, or solo by muting the others. Values outside are taken
 * to the nearest end. Any thread. */
MODDECK_API void moddeck_player_set_channel_gain(moddeck_player *player, int channel, float gain);

/* The loudest sample (0..32767) of each channel over the last render, into
 * levels[0 .. count - 1]; channels the song lacks read 0. The player keeps
 * levels only once they have been asked for: the first call switches them
 * on and reads 0. Returns the channels the player plays (for an S3M, up
 * to the last one its patterns use). Any thread. */
MODDECK_API int moddeck_player_levels(moddeck_player *player, uint16_t *levels, int count);

/* The mixers, which all give the same output: the fast one with the best
 * instructions the processor has (the default), the fast one held to an
 * instruction set, and the plain one, frame by frame, which the others are
 * checked against. */
typedef enum moddeck_mixer {
    MODDECK_MIXER_FAST = 0,
    MODDECK_MIXER_PLAIN,
    MODDECK_MIXER_SCALAR,
    MODDECK_MIXER_SSE2,
    MODDECK_MIXER_AVX2
} moddeck_mixer;

/* Chooses the mixer. Returns 1, or 0 (changing nothing) when the processor
 * lacks its instructions or the plain mixer's buffers cannot be had. */
MODDECK_API int moddeck_player_set_mixer(moddeck_player *player, moddeck_mixer mixer);

/* ---- Choices of sound ----------------------------------------------- */

/* How a player reads between the frames of a sample when it plays it at
 * another pitch. */
typedef enum moddeck_interpolation {
    MODDECK_INTERPOLATION_NONE = 0, /* each frame held until the next: the grit of early trackers */
    MODDECK_INTERPOLATION_LINEAR,   /* a straight line between two frames (the default) */
    MODDECK_INTERPOLATION_CUBIC,    /* a cubic through four frames */
    MODDECK_INTERPOLATION_SINC      /* a windowed sinc over eight frames: the cleanest */
} moddeck_interpolation;

/* Chooses the interpolation. Returns 1, or 0 (changing nothing) for a value
 * outside the list. Any thread: taken at the next tick. */
MODDECK_API int moddeck_player_set_interpolation(moddeck_player *player, moddeck_interpolation interpolation);

/* Volume ramping off (the default) or on. On, every change of a voice's
 * volume or panning, and every note's start and stop, is spread over 1.5 ms,
 * which removes the clicks of sudden steps; a note cut by the next one fades
 * out beside it. Any thread: taken at the next tick. */
MODDECK_API void moddeck_player_set_ramping(moddeck_player *player, int on);

/* Stereo separation in percent: 0 plays every channel in the middle (mono),
 * 100 as the song pans them (the default), up to 200 twice as far from the
 * middle (kept within the sides). Values outside 0..200 are taken to the
 * nearest end. Any thread: taken at the next tick. */
MODDECK_API void moddeck_player_set_stereo_separation(moddeck_player *player, int percent);

/* Amiga mode for MOD files, off (the default) or on. On, a MOD plays at the
 * PAL Amiga's clock (7,093,789.2 Hz, 16 cents below the default's) and its
 * channels hard left, right, right, left as the Amiga's did, whatever the
 * song's panning effects. S3M and XM songs are not changed. Any thread:
 * taken at the next tick. */
MODDECK_API void moddeck_player_set_amiga(moddeck_player *player, int on);

#ifdef __cplusplus
}
#endif

#endif /* MODDECK_MODDECK_H */
