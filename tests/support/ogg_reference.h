// Independent views of an Ogg Vorbis file for the tests: its whole decoded
// PCM straight from libvorbisfile, and a scratch folder for made files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace moddeck::test {

struct DecodedOgg {
    bool ok = false;
    int channels = 0;
    long rate = 0;
    std::vector<int16_t> pcm;  // interleaved, as libvorbisfile delivers it
};

// Decodes the whole file at path with ov_fopen and ov_read (4,096-byte
// reads); stops at the first error, as the player does.
DecodedOgg DecodeOggFile(const std::string& path);

// A fresh folder under the system's temporary folder, removed with its
// files when the object goes.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// Number of threads of this process.
int CountThreads();

}  // namespace moddeck::test
