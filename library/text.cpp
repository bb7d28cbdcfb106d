#include "library/text.h"

#include <iconv.h>

#include <cstdint>

namespace moddeck {

namespace {

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }
bool IsAsciiLetter(unsigned char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }
// À..ÿ without × and ÷.
bool IsLatin1Letter(unsigned char c) { return c >= 0xC0 && c != 0xD7 && c != 0xF7; }
bool IsLetter(unsigned char c) { return IsAsciiLetter(c) || IsLatin1Letter(c); }

// The length of the UTF-8 sequence at `s[i]`, or 0 when none starts there
// (a stray continuation byte, an overlong form, a surrogate, a cut end).
size_t Utf8Sequence(const unsigned char* s, size_t size, size_t i) {
    const unsigned char c = s[i];
    if (c < 0x80) return 1;
    const size_t n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? (c <= 0xEF ? 3 : 0) : c >= 0xC2 ? 2 : 0;
    if (n == 0 || i + n > size) return 0;
    for (size_t k = 1; k < n; k++)
        if ((s[i + k] & 0xC0) != 0x80) return 0;
    const unsigned char second = s[i + 1];
    if (c == 0xE0 && second < 0xA0) return 0;   // overlong
    if (c == 0xED && second >= 0xA0) return 0;  // surrogate
    if (c == 0xF0 && second < 0x90) return 0;   // overlong
    if (c == 0xF4 && second >= 0x90) return 0;  // past U+10FFFF
    return n;
}

bool IsUtf8(const unsigned char* s, size_t size) {
    for (size_t i = 0, n; i < size; i += n)
        if ((n = Utf8Sequence(s, size, i)) == 0) return false;
    return true;
}

bool LooksLatin1(const unsigned char* s, size_t size) {
    for (size_t i = 0; i < size; i++) {
        if (s[i] < 0x80) continue;
        const bool neighbour = (i > 0 && IsLetter(s[i - 1])) || (i + 1 < size && IsLetter(s[i + 1]));
        if (!IsLatin1Letter(s[i]) || !neighbour) return false;
    }
    return true;
}

void AppendLatin1(std::string& out, unsigned char c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
        return;
    }
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
}

// CP437 through the C library's converter; Latin-1 where it has none.
std::string FromCp437(const std::string& text) {
    iconv_t cd = iconv_open("UTF-8", "CP437");
    std::string out;
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        for (char c : text) AppendLatin1(out, static_cast<unsigned char>(c));
        return out;
    }
    // Every CP437 byte is one character of at most three UTF-8 bytes.
    out.resize(text.size() * 3);
    char* in = const_cast<char*>(text.data());
    char* to = out.data();
    size_t inLeft = text.size(), outLeft = out.size();
    iconv(cd, &in, &inLeft, &to, &outLeft);
    iconv_close(cd);
    out.resize(out.size() - outLeft);
    return out;
}

}  // namespace

std::string DecodeText(const char* bytes, size_t size) {
    std::string text(bytes ? bytes : "", bytes ? size : 0);
    for (char& c : text)
        if (IsControl(static_cast<unsigned char>(c))) c = ' ';
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    if (IsUtf8(s, text.size())) return text;
    if (!LooksLatin1(s, text.size())) return FromCp437(text);
    std::string out;
    for (unsigned char c : text) AppendLatin1(out, c);
    return out;
}

std::string Utf8Cut(const std::string& text, size_t bytes) {
    if (text.size() <= bytes) return text;
    while (bytes > 0 && (static_cast<unsigned char>(text[bytes]) & 0xC0) == 0x80) bytes--;
    return text.substr(0, bytes);
}

}  // namespace moddeck
