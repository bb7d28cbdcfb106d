// moddeck-inspect FILE: loads a module and prints its structure, or prints
// what an Ogg Vorbis stream holds.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include <vector>

#include "engine/player.h"
#include "engine/song_length.h"
#include "loaders/loaders.h"
#include "ogg/ogg_player.h"
#include "song/reader.h"

using namespace moddeck;

namespace {

const char* FormatName(const Mod& m) {
    return m.isXM ? "XM" : m.isS3M ? "S3M" : "MOD";
}

const char* LoopName(const ModSample& s, const Mod& m) {
    if (m.isXM) return s.loopType == 1 ? "forward" : s.loopType == 2 ? "ping-pong" : "none";
    return s.loopLength > 2 ? "forward" : "none";
}

void PrintSample(const Mod& m, int index, const ModSample& s) {
    char name[65] = {};
    std::memcpy(name, s.name, 22);
    std::printf("    %3d %-22s len %7d loop %7d+%-7d %-9s vol %2d fine %4d", index, name, s.length,
                s.loopStart, s.loopLength, LoopName(s, m), s.volume, s.finetune);
    if (m.isXM) std::printf(" rel %4d pan %3d", s.relativeNote, s.panning);
    if (m.isS3M) std::printf(" c2spd %5d shift %3d", s.c2spd, s.noteShift);
    std::printf("%s%s\n", s.is16Bit ? " 16-bit" : "", s.stereo ? " stereo" : "");
}

// What the pattern cells hold: how many notes, their range, and (MOD) how
// many periods found no note of the table.
void PrintCells(const Mod& m) {
    long notes = 0, unmatched = 0, cuts = 0;
    int low = 1 << 30, high = -1;
    for (int p = 0; p < m.nbPatterns; p++) {
        const ModPattern& pat = m.patterns[p];
        for (int ch = 0; ch < kMaxChannels; ch++) {
            if (!pat.tracks[ch]) continue;
            for (int row = 0; row < pat.nbRows; row++) {
                const ModCell& c = pat.tracks[ch][row];
                if (!m.isXM && !m.isS3M && c.period != 0 && c.note < 0) unmatched++;
                if (c.note < 0) continue;
                if (m.isS3M && c.note > 107) {
                    cuts++;
                    continue;
                }
                notes++;
                low = std::min<int>(low, c.note);
                high = std::max<int>(high, c.note);
            }
        }
    }
    std::printf("notes    %ld", notes);
    if (notes) std::printf(" (range %d..%d)", low, high);
    if (!m.isXM && !m.isS3M) std::printf(", periods without a note %ld", unmatched);
    if (m.isS3M) std::printf(", cuts %ld", cuts);
    std::printf("\n");
}

void Print(const Mod& m) {
    char title[65] = {};
    std::memcpy(title, m.title, 63);
    // A MOD header holds no speed or tempo: it starts at 6 ticks a row, 125 bpm.
    const bool mod = !m.isXM && !m.isS3M;
    const SongTimeline t = MeasureSong(m);
    std::printf("format   %s\ntitle    %s\nchannels %d\nlength   %d orders, %.1f s%s", FormatName(m), title,
                m.nbChannels, m.songLength, t.seconds, t.complete ? "" : " or more");
    if (t.loopSeconds >= 0) std::printf(", then again from %.1f s", t.loopSeconds);
    std::printf("\nspeed    %d  bpm %d%s\n", mod ? 6 : m.speed, mod ? 125 : m.bpm, mod ? " (a MOD starts so)" : "");
    std::printf("orders  ");
    for (int i = 0; i < m.songLength && i < kMaxOrders; i++) std::printf(" %d", m.orders[i]);
    std::printf("\npatterns %d\n", m.nbPatterns);
    for (int p = 0; p < m.nbPatterns; p++) std::printf("    %3d: %d rows\n", p, m.patterns[p].nbRows);

    PrintCells(m);
    if (m.isS3M) {
        std::printf("pans    ");
        for (int ch = 0; ch < m.nbChannels && ch < kMaxChannels; ch++)
            std::printf(" %d:%02X=%.2f", ch, m.channelSettings[ch], m.channelPan[ch]);
        std::printf("\n");
    }
    if (m.isXM) {
        std::printf("instruments %d\n", m.nbInstruments);
        for (int i = 1; i <= m.nbInstruments && i <= kMaxInstruments; i++) {
            const ModInstrument& ins = m.instruments[i];
            char name[23] = {};
            std::memcpy(name, ins.name, 22);
            std::printf("  %3d %-22s samples %d vol-env %d pan-env %d fadeout %d\n", i, name, ins.nbSamples,
                        ins.volType, ins.panType, ins.fadeout);
            for (int j = 0; j < ins.nbSamples; j++) PrintSample(m, j, ins.samples[j]);
        }
    } else {
        long frames = 0;
        for (int s = 1; s < kSampleSlots; s++) frames += m.samples[s].data ? m.samples[s].length : 0;
        std::printf("samples  %ld frames in all\n", frames);
        for (int s = 1; s < kSampleSlots; s++)
            if (m.samples[s].data) PrintSample(m, s, m.samples[s]);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 || std::strcmp(argv[1], "--help") == 0) {
        std::fprintf(stderr, "usage: moddeck-inspect FILE\n");
        return 2;
    }
    std::vector<uint8_t> bytes;
    Refusal why = Refusal::None;
    if (!ReadWholeFile(argv[1], bytes, 0x7FFFFFFF, &why)) {
        std::fprintf(stderr, "moddeck-inspect: %s: %s\n", argv[1], RefusalText(why));
        return 1;
    }
    if (IsOggImage(bytes.data(), bytes.size())) {
        OggPlayer ogg;
        if (!OpenOggBytes(ogg, bytes.data(), bytes.size(), &why)) {
            std::fprintf(stderr, "moddeck-inspect: %s: %s\n", argv[1], RefusalText(why));
            return 1;
        }
        const OggIdentity id = IdentifyOgg(bytes.data(), bytes.size());
        std::printf("format   Ogg Vorbis\nrate     %d Hz\nchannels %d\nlength   %.1f s\n", id.rate, id.channels,
                    ogg.OGG_Seconds);
        CloseOggStream(ogg);
        return 0;
    }
    Player player(VoiceBuffers::None);
    if (bytes.size() > kMaxModuleBytes || !AddMusic(player, bytes.data(), bytes.size(), &why)) {
        if (bytes.size() > kMaxModuleBytes) why = Refusal::TooLarge;
        std::fprintf(stderr, "moddeck-inspect: %s: %s\n", argv[1], RefusalText(why));
        return 1;
    }
    Print(*player.SONG);
    FreeSongList(player);
    return 0;
}
