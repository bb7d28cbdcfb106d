// Writes the fuzzers' seed files into the corpus folders under CORPUS_DIR:
// the minimal modules and Ogg files (see support/minimal_files.h), open
// messages of the single-instance socket, and key sequences over minimal
// modules.   make_seeds CORPUS_DIR
#include <cstdio>
#include <string>
#include <vector>

#include "app/message.h"
#include "support/minimal_files.h"
#include "support/ogg_encoder.h"

using namespace moddeck;
using namespace moddeck::test;

namespace {

// The keys target's input: the module's length, the module, then the keys.
std::vector<uint8_t> KeysOver(const std::vector<uint8_t>& module, const std::string& keys) {
    std::vector<uint8_t> out;
    out.reserve(2 + module.size() + keys.size());
    out.push_back(static_cast<uint8_t>(module.size()));
    out.push_back(static_cast<uint8_t>(module.size() >> 8));
    for (uint8_t b : module) out.push_back(b);
    for (char k : keys) out.push_back(static_cast<uint8_t>(k));
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds CORPUS_DIR\n");
        return 2;
    }
    const std::string root = argv[1];
    bool ok = true;
    auto put = [&](const std::string& target, const std::string& name, const std::vector<uint8_t>& bytes) {
        ok = !bytes.empty() && WriteBytes(root + "/" + target + "/" + name, bytes) && ok;
    };
    const std::vector<MinimalFile> modules = MinimalModules();
    for (const MinimalFile& f : modules) put("loader_fuzz", f.name, f.bytes);
    for (const MinimalFile& f : MinimalOggFiles()) put("ogg_fuzz", f.name, f.bytes);

    put("message_fuzz", "short.msg", BuildMessage({Command::Open, {"/a.xm"}}));
    put("message_fuzz", "music.msg", BuildMessage({Command::Enqueue, {"/home/user/Music/song name.s3m", "/b.mod"}}));
    put("message_fuzz", "long.msg", BuildMessage({Command::Open, {"/" + std::string(kMaxMessagePath - 1, 'x')}}));
    put("message_fuzz", "quit.msg", BuildMessage({Command::Quit, {}}));

    const std::string keys = "++-- +++++-----+-+-x+ -";
    for (const MinimalFile& f : modules)
        if (f.name == "mk.mod" || f.name == "s3m-stereo.s3m" || f.name == "xm-envelopes.xm" || f.name == "it-packed8.it")
            put("keys_fuzz", f.name + ".keys", KeysOver(f.bytes, keys));
    if (!ok) std::fprintf(stderr, "make_seeds: a seed could not be made or written\n");
    return ok ? 0 : 1;
}
