#include "e2e/capture.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>


namespace moddeck::test {

namespace {
std::string workDir;
std::string capturePath;

uint32_t Le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
}  // namespace

const std::string& CapturePath() { return capturePath; }
const std::string& WorkDir() { return workDir; }

std::vector<int16_t> ReadWaveSamples(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<int16_t> samples;
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0) return samples;
    size_t at = 12;
    while (at + 8 <= bytes.size()) {
        const uint32_t size = Le32(&bytes[at + 4]);
        if (std::memcmp(&bytes[at], "data", 4) == 0) {
            // A writer that was never closed leaves the size unset: take the rest.
            size_t end = at + 8 + size;
            if (size == 0 || end > bytes.size()) end = bytes.size();
            const size_t count = (end - at - 8) / 2;
            samples.resize(count);
            std::memcpy(samples.data(), &bytes[at + 8], count * 2);
            return samples;
        }
        at += 8 + size + (size & 1);
    }
    return samples;
}

long FirstLoudFrame(const std::vector<int16_t>& stereo, int threshold) {
    for (size_t i = 0; i < stereo.size(); ++i)
        if (std::abs(stereo[i]) > threshold) return static_cast<long>(i / 2);
    return -1;
}

int32_t MaxDifference(const std::vector<int16_t>& captured, long at, const std::vector<int16_t>& expected) {
    if (at < 0 || static_cast<size_t>(at) * 2 + expected.size() > captured.size()) return INT32_MAX;
    int32_t worst = 0;
    for (size_t i = 0; i < expected.size(); ++i)
        worst = std::max(worst, std::abs(int32_t(captured[at * 2 + i]) - expected[i]));
    return worst;
}

}  // namespace moddeck::test

// Sets up this process's OpenAL Soft configuration before any test runs.
// Built with MODDECK_E2E_NO_DEVICE, the only driver is a wave writer with no
// file, which cannot open: the process has no audio device at all.
int main(int argc, char** argv) {
    using namespace moddeck::test;
    char pattern[] = "/tmp/moddeck-e2e-XXXXXX";
    if (!mkdtemp(pattern)) return 2;
    workDir = pattern;
    const std::string conf = workDir + "/alsoft.conf";
    {
        std::ofstream out(conf);
        out << "drivers = wave\n"
               "sample-type = int16\n"
               "frequency = 44100\n"
               "channels = stereo\n"
               "dither = false\n";
#ifndef MODDECK_E2E_NO_DEVICE
        capturePath = workDir + "/capture.wav";
        out << "[wave]\nfile = " << capturePath << "\n";
#endif
    }
    setenv("ALSOFT_CONF", conf.c_str(), 1);
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    std::error_code ignored;
    std::filesystem::remove_all(workDir, ignored);
    return result;
}
