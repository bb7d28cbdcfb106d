// The library's C face (include/moddeck/moddeck.h) over the engine: a song
// is a loaded record with its texts and its map, shared by its players
// through a count of holders; a player is the engine's replay of it.
#include "moddeck/moddeck.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "engine/mixer.h"
#include "engine/player.h"
#include "engine/replay.h"
#include "engine/sequencer.h"
#include "engine/song_length.h"
#include "library/text.h"
#include "library/unpack.h"
#include "loaders/loaders.h"
#include "song/format.h"
#include "song/refusal.h"

using namespace moddeck;

#define MODDECK_STRINGIFY2(x) #x
#define MODDECK_STRINGIFY(x) MODDECK_STRINGIFY2(x)

namespace {

// The public reasons are the engine's, value for value.
constexpr bool SameRefusal(Refusal r, moddeck_refusal m) { return static_cast<int>(r) == static_cast<int>(m); }
static_assert(SameRefusal(Refusal::None, MODDECK_OK) && SameRefusal(Refusal::NoSuchFile, MODDECK_NO_SUCH_FILE) &&
              SameRefusal(Refusal::IsADirectory, MODDECK_IS_A_DIRECTORY) &&
              SameRefusal(Refusal::NotARegularFile, MODDECK_NOT_A_REGULAR_FILE) &&
              SameRefusal(Refusal::PermissionDenied, MODDECK_PERMISSION_DENIED) &&
              SameRefusal(Refusal::EmptyFile, MODDECK_EMPTY_FILE) && SameRefusal(Refusal::TooLarge, MODDECK_TOO_LARGE) &&
              SameRefusal(Refusal::Unreadable, MODDECK_UNREADABLE) &&
              SameRefusal(Refusal::NotAModule, MODDECK_NOT_A_MODULE) && SameRefusal(Refusal::OggOpus, MODDECK_OGG_OPUS) &&
              SameRefusal(Refusal::OggFlac, MODDECK_OGG_FLAC) && SameRefusal(Refusal::OggSpeex, MODDECK_OGG_SPEEX) &&
              SameRefusal(Refusal::OggTheora, MODDECK_OGG_THEORA) &&
              SameRefusal(Refusal::NotOggVorbis, MODDECK_NOT_OGG_VORBIS) &&
              SameRefusal(Refusal::PathTooLong, MODDECK_PATH_TOO_LONG) &&
              SameRefusal(Refusal::TruncatedPatterns, MODDECK_TRUNCATED_PATTERNS) &&
              SameRefusal(Refusal::TruncatedSamples, MODDECK_TRUNCATED_SAMPLES) &&
              SameRefusal(Refusal::ImpulseTracker, MODDECK_IMPULSE_TRACKER) &&
              SameRefusal(Refusal::CompressedDamaged, MODDECK_COMPRESSED_DAMAGED) &&
              SameRefusal(Refusal::CompressedTooLarge, MODDECK_COMPRESSED_TOO_LARGE) &&
              SameRefusal(Refusal::CompressedNotAModule, MODDECK_COMPRESSED_NOT_A_MODULE) &&
              SameRefusal(Refusal::ZipArchive, MODDECK_ZIP_ARCHIVE));
static_assert(MODDECK_MAX_MODULE_BYTES == kMaxModuleBytes && MODDECK_MIN_RATE == kMinRate &&
              MODDECK_MAX_RATE == kMaxRate);

moddeck_format PublicFormat(FileFormat format) {
    switch (format) {
        case FileFormat::MOD: return MODDECK_FORMAT_MOD;
        case FileFormat::S3M: return MODDECK_FORMAT_S3M;
        case FileFormat::XM: return MODDECK_FORMAT_XM;
        case FileFormat::IT: return MODDECK_FORMAT_IT;
        default: return MODDECK_FORMAT_NONE;
    }
}

// The value a caller passed for an enumeration, read as the int that C
// passes: a value outside the enumeration is the caller's mistake, to be
// answered, not undefined behaviour here.
template <typename Enum>
int ValueOf(const Enum& e) {
    static_assert(sizeof(Enum) == sizeof(int));
    int value;
    std::memcpy(&value, &e, sizeof value);
    return value;
}

void Tell(moddeck_refusal* why, Refusal reason) {
    if (why) *why = static_cast<moddeck_refusal>(reason);
}

// The module a file holds: its own bytes, or those it unpacks to.
struct ModuleBytes {
    const uint8_t* data;
    size_t size;
    Packing packing = Packing::None;
    Refusal refusal = Refusal::None;  // the file cannot be unpacked
    UnpackedBytes unpacked;
};

ModuleBytes ModuleOf(const void* data, size_t size) {
    ModuleBytes m{static_cast<const uint8_t*>(data), size, Packing::None, Refusal::None, {}};
    m.packing = PackingOf(m.data, size);
    if (m.packing == Packing::None) return m;
    m.refusal = Unpack(m.packing, m.data, size, kMaxModuleBytes, m.unpacked, &m.size);
    m.data = m.unpacked.data();
    return m;
}

// A packed file's reason: what is inside is no module.
Refusal InnerRefusal(const ModuleBytes& m, Refusal inner) {
    if (m.packing == Packing::None || m.refusal != Refusal::None) return m.packing == Packing::None ? inner : m.refusal;
    return inner == Refusal::NotAModule || inner == Refusal::EmptyFile ? Refusal::CompressedNotAModule : inner;
}

// A fixed-size text field as UTF-8: up to its first NUL or its end.
std::string FieldText(const char* field, size_t size) { return DecodeText(field, strnlen(field, size)); }

struct SampleEntry {
    std::string name;
    moddeck_sample_info info;
};

int32_t LoopKind(const ModSample& s, bool namedLoops) {
    if (namedLoops) return s.loopType == 1 || s.loopType == 2 ? s.loopType : 0;
    // A loop of one word is how the trackers write "no loop".
    return s.loopLength > 2 ? 1 : 0;
}

SampleEntry Entry(const ModSample& s, int instrument, bool namedLoops) {
    SampleEntry e{FieldText(s.name, sizeof s.name), {}};
    e.info.instrument = instrument;
    e.info.length = s.data ? s.length : 0;
    e.info.loop = LoopKind(s, namedLoops);
    e.info.loop_start = e.info.loop ? s.loopStart : 0;
    e.info.loop_length = e.info.loop ? s.loopLength : 0;
    e.info.volume = s.volume;
    e.info.finetune = s.finetune;
    return e;
}

}  // namespace

struct moddeck_song {
    Mod* mod = nullptr;
    FileFormat format = FileFormat::None;
    std::atomic<int> holders{1};  // the caller and each player
    // Made by the first call that needs it, from any thread: a thread that
    // loses the race drops its own.
    mutable std::atomic<const SongMap*> map{nullptr};
    std::string title, tracker, message;
    std::vector<std::string> instruments;
    std::vector<SampleEntry> samples;

    ~moddeck_song() {
        FreeModSong(mod);
        delete map.load();
    }
};

struct moddeck_player {
    moddeck_song* song;
    Player replay;
    moddeck_player(moddeck_song* s, int rate) : song(s), replay(*s->mod, rate) {}
};

namespace {

void Release(moddeck_song* song) {
    if (song && song->holders.fetch_sub(1, std::memory_order_acq_rel) == 1) delete song;
}

// The song's map, made the first time it is asked for; null without memory.
const SongMap* MapOf(const moddeck_song* song) {
    if (const SongMap* map = song->map.load(std::memory_order_acquire)) return map;
    SongMap* made = nullptr;
    try {
        made = new SongMap(MapSong(*song->mod));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    const SongMap* expected = nullptr;
    if (song->map.compare_exchange_strong(expected, made, std::memory_order_acq_rel)) return made;
    delete made;
    return expected;
}

// The song message line by line, so that its line ends stay.
std::string MessageText(const char* message) {
    std::string text;
    for (const char* line = message; line && *line;) {
        const char* end = std::strchr(line, '\n');
        const size_t length = end ? size_t(end - line) : std::strlen(line);
        text += DecodeText(line, length);
        if (end) text += '\n';
        line += length + (end ? 1 : 0);
    }
    return text;
}

void Describe(moddeck_song& song) {
    const Mod& m = *song.mod;
    const bool xm = song.format == FileFormat::XM, it = song.format == FileFormat::IT;
    const bool namedLoops = m.behaviour.samplesNameTheirLoop;
    song.title = FieldText(m.title, sizeof m.title);
    song.tracker = FieldText(m.tracker, sizeof m.tracker);
    song.message = MessageText(m.message);
    if (xm) {
        for (int i = 1; i <= std::min(m.nbInstruments, kMaxInstruments); i++) {
            const ModInstrument& ins = m.instruments[i];
            song.instruments.push_back(FieldText(ins.name, sizeof ins.name));
            for (int k = 0; ins.samples && k < ins.nbSamples; k++)
                song.samples.push_back(Entry(ins.samples[k], i - 1, namedLoops));
        }
        return;
    }
    // IT instruments name the song's sample slots, so both are listed.
    for (int i = 1; it && i <= std::min(m.nbInstruments, kMaxInstruments); i++)
        song.instruments.push_back(FieldText(m.instruments[i].name, sizeof m.instruments[i].name));
    // S3M and IT list their samples; a MOD has 15 or 31 slots, listed up to
    // the last that holds sound or a name.
    int last = song.format == FileFormat::S3M ? std::min(m.nbInstruments, kSampleSlots - 1)
               : it                           ? std::min(m.nbSamples, kSampleSlots - 1)
                                              : 0;
    for (int i = 1; song.format == FileFormat::MOD && i < kSampleSlots; i++)
        if (m.samples[i].data || m.samples[i].name[0]) last = i;
    for (int i = 1; i <= last; i++) song.samples.push_back(Entry(m.samples[i], -1, namedLoops));
}

}  // namespace

extern "C" {

const char* moddeck_version(void) {
    return MODDECK_STRINGIFY(MODDECK_VERSION_MAJOR) "." MODDECK_STRINGIFY(MODDECK_VERSION_MINOR) "." MODDECK_STRINGIFY(
        MODDECK_VERSION_PATCH);
}

const char* moddeck_refusal_text(moddeck_refusal why) {
    const int value = ValueOf(why);
    if (value < MODDECK_OK || value > MODDECK_ZIP_ARCHIVE) return "cannot be played";
    return RefusalText(static_cast<Refusal>(value));
}

moddeck_format moddeck_probe(const void* data, size_t size, moddeck_refusal* why) {
    const ModuleBytes module = ModuleOf(data, size);
    Refusal reason = Refusal::None;
    FileFormat format = FileFormat::None;
    if (module.refusal == Refusal::None) format = ProbeSong(module.data, module.size, &reason);
    Tell(why, InnerRefusal(module, reason));
    return PublicFormat(format);
}

moddeck_song* moddeck_song_load(const void* data, size_t size, moddeck_refusal* why) {
    moddeck_load_report report;
    moddeck_song* song = moddeck_song_load_report(data, size, &report);
    if (why) *why = report.why;
    return song;
}

moddeck_song* moddeck_song_load_report(const void* data, size_t size, moddeck_load_report* report) {
    moddeck_load_report scratch;
    moddeck_load_report& r = report ? *report : scratch;
    moddeck_refusal* why = &r.why;
    const ModuleBytes module = ModuleOf(data, size);
    Refusal reason = module.refusal;
    Truncation cut;
    Mod* mod = reason == Refusal::None ? LoadSong(module.data, module.size, &reason, &cut) : nullptr;
    r = {MODDECK_OK, static_cast<moddeck_refusal>(cut.part), static_cast<uint64_t>(cut.end), module.size,
         PackingName(module.packing)};
    Tell(why, InnerRefusal(module, reason));
    if (!mod) return nullptr;
    moddeck_song* song = nullptr;
    try {
        song = new moddeck_song();
        song->mod = mod;
        song->format = FormatOf(*mod);
        Describe(*song);
    } catch (const std::bad_alloc&) {
        if (song)
            delete song;
        else
            FreeModSong(mod);
        Tell(why, Refusal::TooLarge);
        return nullptr;
    }
    return song;
}

size_t moddeck_load_report_text(const moddeck_load_report* report, char* text, size_t size) {
    if (!report) return 0;
    const int why = ValueOf(report->why), cut = ValueOf(report->truncated);
    const bool numbered = why == MODDECK_OK ? cut == MODDECK_TRUNCATED_SAMPLES || cut == MODDECK_TRUNCATED_PATTERNS
                                            : why == cut && why != MODDECK_OK;
    std::string line = why == MODDECK_OK ? "" : moddeck_refusal_text(report->why);
    if (numbered)
        line = std::string("truncated: the ") + (cut == MODDECK_TRUNCATED_PATTERNS ? "patterns" : "samples") +
               " end at byte " + std::to_string(report->end) + " of " + std::to_string(report->size);
    if (text && size > 0) {
        const size_t n = std::min(line.size(), size - 1);
        std::memcpy(text, line.data(), n);
        text[n] = '\0';
    }
    return line.size();
}

size_t moddeck_text_utf8(const char* bytes, size_t length, char* text, size_t size) {
    try {
        const std::string decoded = DecodeText(bytes, length);
        if (text && size > 0) {
            const std::string cut = Utf8Cut(decoded, size - 1);
            std::memcpy(text, cut.data(), cut.size());
            text[cut.size()] = '\0';
        }
        return decoded.size();
    } catch (const std::bad_alloc&) {
        if (text && size > 0) text[0] = '\0';
        return 0;
    }
}

void moddeck_song_free(moddeck_song* song) { Release(song); }

void moddeck_song_describe(const moddeck_song* song, moddeck_song_info* info) {
    if (!song || !info) return;
    const Mod& m = *song->mod;
    info->format = PublicFormat(song->format);
    info->format_name = FormatName(song->format);
    info->tracker = song->tracker.c_str();
    info->title = song->title.c_str();
    info->channels = std::clamp(m.declaredChannels, 0, kMaxChannels);
    info->orders = PlayedOrders(m);
    info->patterns = std::max(m.nbPatterns, 0);
    info->instruments = static_cast<int>(song->instruments.size());
    info->samples = static_cast<int>(song->samples.size());
}

const char* moddeck_song_instrument_name(const moddeck_song* song, int index) {
    if (!song || index < 0 || index >= static_cast<int>(song->instruments.size())) return nullptr;
    return song->instruments[size_t(index)].c_str();
}

const char* moddeck_song_message(const moddeck_song* song) { return song ? song->message.c_str() : nullptr; }

int moddeck_song_sample(const moddeck_song* song, int index, moddeck_sample_info* info) {
    if (!song || !info || index < 0 || index >= static_cast<int>(song->samples.size())) return 0;
    const SampleEntry& e = song->samples[size_t(index)];
    *info = e.info;
    info->name = e.name.c_str();
    return 1;
}

int moddeck_song_subsongs(const moddeck_song* song) {
    if (!song) return 0;
    // Without the memory for its map, a song is one song.
    const SongMap* map = MapOf(song);
    return map ? static_cast<int>(map->subsongs.size()) : 1;
}

int moddeck_song_duration(const moddeck_song* song, int subsong, moddeck_duration* duration) {
    const SongMap* map = song ? MapOf(song) : nullptr;
    if (!map || !duration || subsong < 0 || subsong >= static_cast<int>(map->subsongs.size())) return 0;
    const SubsongLength& s = map->subsongs[size_t(subsong)];
    *duration = moddeck_duration{s.seconds, s.loopSeconds, s.complete ? 1 : 0, s.firstOrder};
    return 1;
}

moddeck_player* moddeck_player_new(moddeck_song* song, int rate) {
    if (!song || rate < kMinRate || rate > kMaxRate) return nullptr;
    try {
        // The map first: the renderer reads it and must not have to make it.
        const SongMap* map = MapOf(song);
        auto* player = new moddeck_player(song, rate);
        song->holders.fetch_add(1, std::memory_order_relaxed);
        StartSubsong(player->replay, map, 0);
        return player;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void moddeck_player_free(moddeck_player* player) {
    if (!player) return;
    moddeck_song* song = player->song;
    delete player;
    Release(song);
}

size_t moddeck_render_s16(moddeck_player* player, int16_t* out, size_t frames) {
    if (!player || !out) return 0;
    return MixNext(player->replay, out, frames);
}

size_t moddeck_render_f32(moddeck_player* player, float* out, size_t frames) {
    if (!player || !out) return 0;
    // Rendered as 16-bit values in pieces, then widened.
    int16_t block[2 * kMixChunkFrames];
    size_t done = 0, sounded = 0;
    while (done < frames) {
        const size_t n = std::min(frames - done, size_t{kMixChunkFrames});
        sounded += RenderFrames(player->replay, block, n);
        for (size_t i = 0; i < 2 * n; i++) out[2 * done + i] = static_cast<float>(block[i]) * (1.0f / 32768.0f);
        done += n;
    }
    Publish(player->replay);
    return sounded;
}

void moddeck_player_set_loop(moddeck_player* player, int loop) {
    if (player) player->replay.loop.store(loop != 0, std::memory_order_relaxed);
}

void moddeck_player_position(const moddeck_player* player, moddeck_position* position) {
    if (!player || !position) return;
    const PublishedPosition& at = player->replay.published;
    position->ended = at.ended.load(std::memory_order_acquire) ? 1 : 0;
    position->order = at.order.load(std::memory_order_relaxed);
    position->row = at.row.load(std::memory_order_relaxed);
    position->seconds = static_cast<double>(at.frames.load(std::memory_order_relaxed)) / player->replay.rate;
    position->subsong = at.subsong.load(std::memory_order_relaxed);
}

void moddeck_player_go_to_order(moddeck_player* player, int order) {
    if (player) player->replay.orderRequest.store(std::clamp(order, 0, kMaxOrders - 1), std::memory_order_relaxed);
}

void moddeck_player_step_order(moddeck_player* player, int delta) {
    if (player) player->replay.orderSteps.fetch_add(std::clamp(delta, -kMaxOrders, kMaxOrders), std::memory_order_relaxed);
}

int moddeck_player_seek(moddeck_player* player, double seconds) {
    if (!player || !(seconds >= 0)) return 0;
    // Beyond the longest song that is measured, a time is all the same.
    // Rounded: a time read from moddeck_player_position comes back to the
    // same frame.
    const double frames = std::min(seconds, 2 * kMaxMeasuredSeconds) * player->replay.rate;
    SeekFrames(player->replay, std::llround(frames));
    return 1;
}

int moddeck_player_select_subsong(moddeck_player* player, int subsong) {
    if (!player || subsong < 0 || subsong >= moddeck_song_subsongs(player->song)) return 0;
    StartSubsong(player->replay, MapOf(player->song), subsong);
    return 1;
}

void moddeck_player_set_channel_gain(moddeck_player* player, int channel, float gain) {
    if (!player || channel < 0 || channel >= kMaxChannels) return;
    player->replay.channelGain[channel].store(gain >= 0.0f ? std::min(gain, 1.0f) : 0.0f, std::memory_order_relaxed);
}

int moddeck_player_levels(moddeck_player* player, uint16_t* levels, int count) {
    if (!player) return 0;
    Player& p = player->replay;
    p.levelsWanted.store(true, std::memory_order_relaxed);
    for (int c = 0; levels && c < count; c++)
        levels[c] = c < kMaxChannels ? p.levels[c].load(std::memory_order_relaxed) : 0;
    return std::clamp(p.SONG.nbChannels, 0, kMaxChannels);
}

int moddeck_player_set_mixer(moddeck_player* player, moddeck_mixer mixer) {
    if (!player) return 0;
    Player& p = player->replay;
    switch (ValueOf(mixer)) {
        case MODDECK_MIXER_FAST: UseFastMixer(p, BestMixerIsa()); return 1;
        case MODDECK_MIXER_PLAIN: return UsePlainMixer(p) ? 1 : 0;
        case MODDECK_MIXER_SCALAR:
        case MODDECK_MIXER_SSE2:
        case MODDECK_MIXER_AVX2: {
            const MixerIsa isa = mixer == MODDECK_MIXER_SCALAR ? MixerIsa::Scalar
                                 : mixer == MODDECK_MIXER_SSE2 ? MixerIsa::Sse2
                                                               : MixerIsa::Avx2;
            if (!MixerIsaAvailable(isa)) return 0;
            UseFastMixer(p, isa);
            return 1;
        }
    }
    return 0;
}

int moddeck_player_set_interpolation(moddeck_player* player, moddeck_interpolation interpolation) {
    static_assert(static_cast<int>(Interpolation::None) == MODDECK_INTERPOLATION_NONE &&
                  static_cast<int>(Interpolation::Linear) == MODDECK_INTERPOLATION_LINEAR &&
                  static_cast<int>(Interpolation::Cubic) == MODDECK_INTERPOLATION_CUBIC &&
                  static_cast<int>(Interpolation::Sinc) == MODDECK_INTERPOLATION_SINC);
    const int how = ValueOf(interpolation);
    if (!player || how < MODDECK_INTERPOLATION_NONE || how > MODDECK_INTERPOLATION_SINC) return 0;
    player->replay.sound.interpolation.store(static_cast<Interpolation>(how), std::memory_order_relaxed);
    return 1;
}

void moddeck_player_set_ramping(moddeck_player* player, int on) {
    if (player) player->replay.sound.ramping.store(on != 0, std::memory_order_relaxed);
}

void moddeck_player_set_stereo_separation(moddeck_player* player, int percent) {
    if (player) player->replay.sound.separation.store(std::clamp(percent, 0, 200), std::memory_order_relaxed);
}

void moddeck_player_set_amiga(moddeck_player* player, int on) {
    if (player) player->replay.sound.amiga.store(on != 0, std::memory_order_relaxed);
}

}  // extern "C"
