// The file being played: the one way a file comes to be played, and what
// the screen shows of it.
//
// Opening stops and releases whatever played before; then the file's
// contents choose: an Ogg page starts an Ogg Vorbis stream (whatever the
// name), anything else goes to libmoddeck, which tells XM, S3M and MOD
// apart and refuses what is none of them. A module plays through its own
// song and player, streamed by the module output; everything the screen
// shows of the file (texts, length) is gathered at the open, and where it
// plays is asked of the player.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/song_texts.h"
#include "audio/module_output.h"
#include "audio/ogg_player.h"
#include "audio/sound_options.h"
#include "moddeck/moddeck.h"

namespace moddeck {

// What the last open did.
enum class OpenStatus {
    Idle,           // nothing opened yet
    ModulePlaying,  // a module loaded and its output thread runs
    OggPlaying,     // an Ogg Vorbis stream opened and its output thread runs
    Refused,        // nothing plays: `refusal` says why
};

// The file as the screen shows it, gathered when it is opened.
struct OpenedFile {
    OpenStatus status = OpenStatus::Idle;
    moddeck_refusal refusal = MODDECK_OK;
    std::string reason;      // refused: why, for people (with the numbers of a cut file)
    std::string damage;      // a module that plays with its samples cut: says so; else empty
    std::string format;      // "XM", "S3M", "MOD", "Ogg Vorbis"; empty when refused
    int channels = 0;        // module channels
    int orders = 0;          // entries of the order table
    int oggRate = 0;         // Ogg: sample rate and channels of the stream, 0 when unknown
    int oggChannels = 0;
    double seconds = 0;      // its length (an Ogg stream's, 0 when unknown; a module's subsong's)
    double loopSeconds = -1; // a module that never ends: where it goes back to
    bool lengthComplete = true;  // false: the module lasts at least `seconds`
    int subsong = 0;         // module: the subsong that plays (0-based) of `subsongs`
    int subsongs = 0;
    AboutTexts about;        // an Ogg file: its title (or path) and its Vorbis comments
    std::vector<std::string> instruments;  // the instrument view's lines (modules)
};

// Files are read whole up to this: an Ogg Vorbis image may reach 2 GiB
// (its positions are 32-bit); libmoddeck refuses a larger module itself.
constexpr size_t kMaxOggBytes = 0x7FFFFFFF;

// Main thread only; the output threads read nothing of it but the player
// and the Ogg stream they play.
class FilePlayer {
public:
    FilePlayer() = default;
    ~FilePlayer() { Stop(); }
    FilePlayer(const FilePlayer&) = delete;
    FilePlayer& operator=(const FilePlayer&) = delete;

    // Stops what plays and plays the file at `path` (UTF-8); what happened
    // is in opened().status and, when nothing plays, opened().refusal.
    void Open(const std::string& path);
    // The same for a file already read into memory (standard input): `name`
    // stands for its path in the texts.
    void OpenImage(const std::string& name, const std::vector<uint8_t>& bytes);
    // Stops and releases what plays; the status goes back to Idle.
    void Stop();

    // Pauses or resumes the output of what plays (a new file starts unpaused).
    void SetPaused(bool paused);
    // Modules loop (the default) or play once; kept for the files to come.
    void SetLoop(bool loop);
    // The choices of sound the next modules play with.
    void SetSound(const SoundOptions& sound) { sound_ = sound; }
    // Plays on from `seconds` into the module's subsong or the Ogg stream
    // (the output thread moves it within a poll). False when nothing plays
    // that can move: no file, an Ogg stream of unknown length or that ended.
    bool SeekTo(double seconds);
    // Starts subsong `subsong` of the module from its start, and takes its
    // length. False outside the module's subsongs or without a module.
    bool SelectSubsong(int subsong);
    // Stops the output threads but keeps the file and where it was, so that
    // nothing is rendered or held open while nothing is heard.
    void StopOutput();
    // Streams the module again from where it was; false without one.
    bool RestartOutput();
    // True while a seek or subsong asked of the output has not been taken.
    bool MovePending() const { return moduleOutput_.RequestPending() || ogg_.OGG_SeekRequest.load() >= 0; }

    const OpenedFile& opened() const { return opened_; }
    // The playing module's player, for its "any thread" calls (position,
    // levels, order steps); null unless a module plays.
    moddeck_player* player() const { return player_; }
    // True once the Ogg stream that plays has been decoded to its end.
    bool OggEnded() const {
        return opened_.status == OpenStatus::OggPlaying && ogg_.OGG_Ended.load(std::memory_order_acquire) != 0;
    }
    const ModuleOutput& moduleOutput() const { return moduleOutput_; }
    const OggPlayer& ogg() const { return ogg_; }

private:
    void Play(const std::string& name, const std::vector<uint8_t>& bytes);
    void PlayOgg(const std::string& name, const std::vector<uint8_t>& bytes);
    void PlayModule(const std::string& name, const std::vector<uint8_t>& bytes);
    void Refuse(moddeck_refusal why, std::string reason = "");
    void TakeLength(int subsong);

    OpenedFile opened_;
    moddeck_song* song_ = nullptr;
    moddeck_player* player_ = nullptr;
    ModuleOutput moduleOutput_;
    OggPlayer ogg_;
    bool loop_ = true;
    SoundOptions sound_;
};

// Whether `path` would play, without playing it or touching what plays: the
// file is read and recognised as FilePlayer::Open does (an Ogg stream
// opened, a module loaded) and let go. MODDECK_OK when it would play.
moddeck_refusal CheckPlayable(const char* path);

// The text after the last '.' of `path` (the whole path without one; folder
// names count), a..z upper-cased.
std::string ExtensionOf(const std::string& path);

}  // namespace moddeck
