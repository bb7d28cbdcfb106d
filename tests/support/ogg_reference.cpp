#include "support/ogg_reference.h"

#include <vorbis/vorbisfile.h>

#include <cstdlib>
#include <filesystem>

namespace moddeck::test {

DecodedOgg DecodeOggFile(const std::string& path) {
    DecodedOgg out;
    OggVorbis_File vf;
    if (ov_fopen(path.c_str(), &vf) != 0) return out;
    const vorbis_info* info = ov_info(&vf, -1);
    out.channels = info->channels;
    out.rate = info->rate;
    char buffer[4096];
    for (;;) {
        int section = 0;
        const long got = ov_read(&vf, buffer, sizeof buffer, 0, 2, 1, &section);
        if (got <= 0) break;
        const int16_t* samples = reinterpret_cast<const int16_t*>(buffer);
        out.pcm.insert(out.pcm.end(), samples, samples + got / 2);
    }
    ov_clear(&vf);
    out.ok = true;
    return out;
}

ScratchDir::ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "moddeck-test-XXXXXX").string();
    if (mkdtemp(pattern.data())) path_ = pattern;
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

int CountThreads() {
    int n = 0;
    std::error_code ignored;
    for (auto it = std::filesystem::directory_iterator("/proc/self/task", ignored);
         it != std::filesystem::directory_iterator(); it.increment(ignored))
        ++n;
    return n;
}

}  // namespace moddeck::test
