// Writes the fuzzers' seed files (see support/minimal_files.h) into the
// two corpus folders:  make_seeds LOADER_DIR OGG_DIR
#include <cstdio>
#include <string>

#include "support/minimal_files.h"
#include "support/ogg_encoder.h"

using namespace moddeck::test;

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_seeds LOADER_DIR OGG_DIR\n");
        return 2;
    }
    bool ok = true;
    auto put = [&](const std::string& dir, const MinimalFile& f) {
        ok = !f.bytes.empty() && WriteBytes(dir + "/" + f.name, f.bytes) && ok;
    };
    for (const MinimalFile& f : MinimalModules()) put(argv[1], f);
    for (const MinimalFile& f : MinimalOggFiles()) put(argv[2], f);
    if (!ok) std::fprintf(stderr, "make_seeds: a seed could not be made or written\n");
    return ok ? 0 : 1;
}
