#include "app/song_texts.h"

#include <cstdio>

namespace moddeck {

namespace {

bool IsUtf8Continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// A name as text: control bytes shown as '?' so that a song cannot drive
// the terminal.
std::string NameOf(const char* name) {
    std::string text = name ? name : "";
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    return text.empty() ? "-" : text;
}

std::string LoopOf(const moddeck_sample_info& s, bool xm) {
    // A MOD or S3M loop of one word is how trackers write "no loop".
    if (s.loop == 0 || s.loop_length <= (xm ? 0 : 2)) return "no loop";
    return std::string(s.loop == 2 ? "ping-pong " : "loop ") + std::to_string(s.loop_start) + "+" +
           std::to_string(s.loop_length);
}

std::string SampleLine(const char* number, const moddeck_sample_info& s, bool xm) {
    char line[160];
    std::snprintf(line, sizeof line, "%s %-22.22s %7d  %-20s vol %2d  fine %+4d", number, NameOf(s.name).c_str(),
                  s.length, LoopOf(s, xm).c_str(), s.volume, s.finetune);
    return line;
}

std::vector<moddeck_sample_info> Samples(const moddeck_song* song, const moddeck_song_info& info) {
    std::vector<moddeck_sample_info> samples(static_cast<size_t>(info.samples));
    for (int i = 0; i < info.samples; i++)
        if (!moddeck_song_sample(song, i, &samples[size_t(i)])) samples[size_t(i)] = {};
    return samples;
}

}  // namespace

std::string Utf8Prefix(const std::string& text, size_t bytes) {
    if (text.size() <= bytes) return text;
    while (bytes > 0 && IsUtf8Continuation(static_cast<unsigned char>(text[bytes]))) bytes--;
    return text.substr(0, bytes);
}

AboutTexts AboutTextsOf(const moddeck_song* song) {
    moddeck_song_info info;
    moddeck_song_describe(song, &info);
    AboutTexts texts;
    texts.title = Utf8Prefix(info.title ? info.title : "", kTitleBytes);
    if (info.format != MODDECK_FORMAT_XM)
        for (const moddeck_sample_info& s : Samples(song, info))
            if (s.length > 0) texts.samples += std::string(s.name ? s.name : "") + "\n";
    texts.samples = Utf8Prefix(texts.samples, kSampleNamesBytes);
    return texts;
}

std::vector<std::string> InstrumentLines(const moddeck_song* song) {
    moddeck_song_info info;
    moddeck_song_describe(song, &info);
    const std::vector<moddeck_sample_info> samples = Samples(song, info);
    std::vector<std::string> lines;
    char number[16];
    if (info.format == MODDECK_FORMAT_XM) {
        for (int i = 0; i < info.instruments; i++) {
            std::vector<const moddeck_sample_info*> own;
            for (const moddeck_sample_info& s : samples)
                if (s.instrument == i) own.push_back(&s);
            std::snprintf(number, sizeof number, "%3d", i + 1);
            lines.push_back(std::string(number) + " " + NameOf(moddeck_song_instrument_name(song, i)) + "  (" +
                            std::to_string(own.size()) + (own.size() == 1 ? " sample)" : " samples)"));
            for (size_t k = 0; k < own.size(); k++) {
                std::snprintf(number, sizeof number, "    %2d", int(k + 1));
                lines.push_back(SampleLine(number, *own[k], true));
            }
        }
        return lines;
    }
    size_t last = 0;
    for (size_t i = 0; i < samples.size(); i++)
        if (samples[i].length > 0 || (samples[i].name && samples[i].name[0])) last = i + 1;
    for (size_t i = 0; i < last; i++) {
        std::snprintf(number, sizeof number, "%3d", int(i + 1));
        lines.push_back(SampleLine(number, samples[i], false));
    }
    return lines;
}

}  // namespace moddeck
