#include "song/reader.h"

#include <cstring>
#include <sys/stat.h>

namespace moddeck {

char fname_tmp[kPathSize];

namespace {
const uint8_t* module_image = nullptr;
size_t module_image_size = 0;
bool module_image_set = false;
}  // namespace

SNDMyFILE* OpenReader(const char* path) {
    FILE* f = std::fopen(path, "rb");
    if (!f) return nullptr;
    // A directory opens on Linux but reads nothing: refuse it like a missing file.
    struct stat st;
    if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) {
        std::fclose(f);
        return nullptr;
    }
    return new SNDMyFILE{f, nullptr, 0, static_cast<int64_t>(st.st_size), 0};
}

SNDMyFILE* OpenMemoryReader(const uint8_t* data, size_t size) {
    return new SNDMyFILE{nullptr, data, 0, static_cast<int64_t>(size), 0};
}

void UseModuleImage(const uint8_t* data, size_t size) {
    module_image = data;
    module_image_size = size;
    module_image_set = true;
}

void UseModuleFile() {
    module_image = nullptr;
    module_image_size = 0;
    module_image_set = false;
}

SNDMyFILE* OpenModuleReader() {
    if (module_image_set) return OpenMemoryReader(module_image, module_image_size);
    return OpenReader(fname_tmp);
}

size_t ReaderRead(SNDMyFILE* r, void* dst, size_t n) {
    if (n == 0) return 0;
    uint8_t* out = static_cast<uint8_t*>(dst);
    int64_t left = ReaderRemaining(r);
    size_t want = static_cast<int64_t>(n) < left ? n : static_cast<size_t>(left);
    size_t got = 0;
    if (want > 0) {
        if (r->file) {
            // Seek only after a skip or a seek: sequential reads stay buffered.
            if (r->filePos == r->pos || std::fseek(r->file, static_cast<long>(r->pos), SEEK_SET) == 0) {
                got = std::fread(out, 1, want, r->file);
                r->filePos = r->pos + static_cast<int64_t>(got);
            }
        } else {
            std::memcpy(out, r->data + r->pos, want);
            got = want;
        }
    }
    if (got < n) std::memset(out + got, 0, n - got);
    r->pos += static_cast<int64_t>(n);
    return got;
}

void ReaderSkip(SNDMyFILE* r, int64_t n) {
    if (n > 0) r->pos += n;
}

void ReaderSeek(SNDMyFILE* r, int64_t offset) {
    r->pos = offset < 0 ? 0 : offset;
}

int64_t ReaderRemaining(const SNDMyFILE* r) {
    return r->pos < r->size ? r->size - r->pos : 0;
}

void CloseReader(SNDMyFILE* r) {
    if (!r) return;
    if (r->file) std::fclose(r->file);
    delete r;
}

uint8_t ReadU8(SNDMyFILE* r) {
    uint8_t b = 0;
    ReaderRead(r, &b, 1);
    return b;
}

uint16_t ReadU16(SNDMyFILE* r) {
    uint8_t b[2];
    ReaderRead(r, b, 2);
    return static_cast<uint16_t>(b[0] | (b[1] << 8));
}

uint32_t ReadU32(SNDMyFILE* r) {
    uint8_t b[4];
    ReaderRead(r, b, 4);
    return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
           (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

}  // namespace moddeck
