// moddeck-inspect FILE: prints what libmoddeck says of a module (format,
// names, sizes, subsongs and their lengths, instruments and samples, an IT
// song's message), or
// what an Ogg Vorbis stream holds and its comments. Every text it prints is
// UTF-8 without control bytes.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "audio/file_name.h"
#include "audio/input_file.h"
#include "audio/ogg_player.h"
#include "moddeck/moddeck.h"

using namespace moddeck;

namespace {

// A name from the library, which holds no control byte; "" for none.
std::string Printable(const char* text) { return text ? text : ""; }

const char* LoopName(int loop) { return loop == 1 ? "forward" : loop == 2 ? "ping-pong" : "none"; }

void PrintSample(int number, const moddeck_sample_info& s) {
    std::printf("    %3d %-22s len %7d loop %7d+%-7d %-9s vol %2d fine %4d\n", number, Printable(s.name).c_str(),
                s.length, s.loop_start, s.loop_length, LoopName(s.loop), s.volume, s.finetune);
}

// The song message, each of its lines indented under its heading.
void PrintMessage(const std::string& message) {
    if (message.empty()) return;
    std::printf("message\n");
    for (size_t start = 0; start < message.size();) {
        const size_t end = std::min(message.find('\n', start), message.size());
        std::printf("    %s\n", message.substr(start, end - start).c_str());
        start = end + 1;
    }
}

void PrintLength(const moddeck_duration& d) {
    std::printf("%.1f s%s", d.seconds, d.complete ? "" : " or more");
    if (d.loop_seconds >= 0) std::printf(", then again from %.1f s", d.loop_seconds);
}

void Print(const moddeck_song* song) {
    moddeck_song_info info;
    moddeck_song_describe(song, &info);
    std::printf("format   %s\n", info.format_name);
    if (info.tracker[0]) std::printf("tracker  %s\n", Printable(info.tracker).c_str());
    std::printf("title    %s\nchannels %d\norders   %d\npatterns %d\n", Printable(info.title).c_str(), info.channels,
                info.orders, info.patterns);
    PrintMessage(Printable(moddeck_song_message(song)));
    const int subsongs = moddeck_song_subsongs(song);
    moddeck_duration d;
    if (subsongs == 1 && moddeck_song_duration(song, 0, &d)) {
        std::printf("length   ");
        PrintLength(d);
        std::printf("\n");
    } else {
        std::printf("subsongs %d\n", subsongs);
        for (int i = 0; i < subsongs && moddeck_song_duration(song, i, &d); i++) {
            std::printf("    %3d from order %d: ", i + 1, d.first_order);
            PrintLength(d);
            std::printf("\n");
        }
    }

    std::vector<moddeck_sample_info> samples(static_cast<size_t>(info.samples));
    long frames = 0;
    for (int i = 0; i < info.samples; i++) {
        if (!moddeck_song_sample(song, i, &samples[size_t(i)])) samples[size_t(i)] = {};
        frames += samples[size_t(i)].length;
    }
    if (info.format == MODDECK_FORMAT_XM) {
        std::printf("instruments %d, samples %d (%ld frames in all)\n", info.instruments, info.samples, frames);
        for (int i = 0; i < info.instruments; i++) {
            std::printf("  %3d %s\n", i + 1, Printable(moddeck_song_instrument_name(song, i)).c_str());
            int number = 0;
            for (const moddeck_sample_info& s : samples)
                if (s.instrument == i) PrintSample(++number, s);
        }
        return;
    }
    // IT instruments name the song's sample slots rather than own samples.
    if (info.format == MODDECK_FORMAT_IT && info.instruments > 0) std::printf("instruments %d\n", info.instruments);
    for (int i = 0; info.format == MODDECK_FORMAT_IT && i < info.instruments; i++)
        std::printf("  %3d %s\n", i + 1, Printable(moddeck_song_instrument_name(song, i)).c_str());
    std::printf("samples  %d slots (%ld frames in all)\n", info.samples, frames);
    for (size_t i = 0; i < samples.size(); i++)
        if (samples[i].length > 0) PrintSample(int(i) + 1, samples[i]);
}

int Refused(const char* path, const char* why) {
    std::fprintf(stderr, "moddeck-inspect: %s: %s\n", ReadableFileName(path).c_str(), why);
    return 1;
}

int Refused(const char* path, moddeck_refusal why) { return Refused(path, moddeck_refusal_text(why)); }

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 || std::strcmp(argv[1], "--help") == 0) {
        std::fprintf(stderr, "usage: moddeck-inspect FILE\n");
        return 2;
    }
    std::vector<uint8_t> bytes;
    moddeck_refusal why = MODDECK_OK;
    if (!ReadWholeFile(argv[1], bytes, 0x7FFFFFFF, &why)) return Refused(argv[1], why);
    if (IsOggImage(bytes.data(), bytes.size())) {
        OggPlayer ogg;
        if (!OpenOggBytes(ogg, bytes.data(), bytes.size(), &why)) return Refused(argv[1], why);
        const OggIdentity id = IdentifyOgg(bytes.data(), bytes.size());
        std::printf("format   Ogg Vorbis\nrate     %d Hz\nchannels %d\nlength   %.1f s\n", id.rate, id.channels,
                    ogg.OGG_Seconds);
        for (const std::string& comment : ogg.OGG_Comments) std::printf("comment  %s\n", comment.c_str());
        return 0;
    }
    moddeck_load_report report;
    moddeck_song* song = moddeck_song_load_report(bytes.data(), bytes.size(), &report);
    char reason[160];
    moddeck_load_report_text(&report, reason, sizeof reason);
    if (!song) return Refused(argv[1], reason);
    if (report.packing[0]) std::printf("packed   %s, %llu bytes unpacked\n", report.packing, (unsigned long long)report.size);
    if (reason[0]) std::printf("damage   %s\n", reason);
    Print(song);
    moddeck_song_free(song);
    return 0;
}
