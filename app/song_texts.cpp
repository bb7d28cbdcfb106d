#include "app/song_texts.h"

#include <cstdio>

namespace moddeck {

namespace {

bool IsUtf8Continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// A name as the instrument view shows it: "-" for none. The library's names
// hold no control byte.
std::string NameOf(const char* name) { return name && *name ? name : "-"; }

// A name as one line of the message: without the spaces that pad it.
std::string TrimmedName(const char* name) {
    std::string text = name ? name : "";
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

std::string LoopOf(const moddeck_sample_info& s, bool xm) {
    // A MOD or S3M loop of one word is how trackers write "no loop".
    if (s.loop == 0 || s.loop_length <= (xm ? 0 : 2)) return "no loop";
    return std::string(s.loop == 2 ? "ping-pong " : "loop ") + std::to_string(s.loop_start) + "+" +
           std::to_string(s.loop_length);
}

// `text` in a column of `width` characters: cut or padded with spaces.
std::string Column(const std::string& text, size_t width) {
    std::string out;
    size_t characters = 0;
    for (char c : text) {
        const bool starts = !IsUtf8Continuation(static_cast<unsigned char>(c));
        if (starts && characters == width) break;
        characters += starts ? 1 : 0;
        out += c;
    }
    return out + std::string(width - characters, ' ');
}

std::string SampleLine(const char* number, const moddeck_sample_info& s, bool xm) {
    char line[160];
    std::snprintf(line, sizeof line, "%s %s %7d  %-20s vol %2d  fine %+4d", number, Column(NameOf(s.name), 22).c_str(),
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
    texts.title = Utf8Prefix(TrimmedName(info.title), kTitleBytes);
    for (int i = 0; i < info.instruments; i++) texts.samples += TrimmedName(moddeck_song_instrument_name(song, i)) + "\n";
    std::string names;
    bool written = false;
    for (const moddeck_sample_info& s : Samples(song, info)) {
        const std::string name = TrimmedName(s.name);
        names += name + "\n";
        // An XM's samples are mostly nameless, or named as their instrument.
        const char* instrument = s.instrument >= 0 ? moddeck_song_instrument_name(song, s.instrument) : nullptr;
        written = written || (!name.empty() && name != TrimmedName(instrument));
    }
    if (info.format != MODDECK_FORMAT_XM || written) texts.samples += (texts.samples.empty() ? "" : "\n") + names;
    // An IT song may carry a message of its own, which comes first.
    const std::string message = moddeck_song_message(song) ? moddeck_song_message(song) : "";
    if (!message.empty()) texts.samples = message + (message.back() == '\n' ? "\n" : "\n\n") + texts.samples;
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
    // An IT song's instruments share its sample slots: the instruments
    // come first, then the slots, each part under its heading.
    const bool it = info.format == MODDECK_FORMAT_IT;
    if (it && info.instruments > 0) lines.push_back("Instruments:");
    for (int i = 0; it && i < info.instruments; i++) {
        std::snprintf(number, sizeof number, "%3d", i + 1);
        lines.push_back(std::string(number) + " " + NameOf(moddeck_song_instrument_name(song, i)));
    }
    if (it && !lines.empty()) lines.push_back("");
    if (it) lines.push_back("Samples:");
    size_t last = 0;
    for (size_t i = 0; i < samples.size(); i++)
        if (samples[i].length > 0 || (samples[i].name && samples[i].name[0])) last = i + 1;
    for (size_t i = 0; i < last; i++) {
        std::snprintf(number, sizeof number, "%3d", int(i + 1));
        lines.push_back(SampleLine(number, samples[i], it));
    }
    return lines;
}

}  // namespace moddeck
