#include "support/ogg_encoder.h"

#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace moddeck::test {

namespace {

void AppendPages(ogg_stream_state* os, std::vector<uint8_t>& out, bool flush) {
    ogg_page page;
    while (flush ? ogg_stream_flush(os, &page) : ogg_stream_pageout(os, &page)) {
        out.insert(out.end(), page.header, page.header + page.header_len);
        out.insert(out.end(), page.body, page.body + page.body_len);
    }
}

}  // namespace

std::vector<uint8_t> EncodeOggVorbis(const std::vector<int16_t>& pcm, const OggSpec& desc,
                                     const std::vector<std::string>& comments) {
    std::vector<uint8_t> out;
    vorbis_info vi;
    vorbis_info_init(&vi);
    if (vorbis_encode_init_vbr(&vi, desc.channels, desc.rate, desc.quality) != 0) {
        vorbis_info_clear(&vi);
        return out;
    }
    vorbis_comment vc;
    vorbis_comment_init(&vc);
    for (const std::string& c : comments) vorbis_comment_add(&vc, c.c_str());
    vorbis_dsp_state vd;
    vorbis_block vb;
    vorbis_analysis_init(&vd, &vi);
    vorbis_block_init(&vd, &vb);
    ogg_stream_state os;
    ogg_stream_init(&os, 0x4d6f6464);

    ogg_packet id, comment_header, codebooks;
    vorbis_analysis_headerout(&vd, &vc, &id, &comment_header, &codebooks);
    std::vector<uint8_t> idBytes(id.packet, id.packet + id.bytes);
    if (desc.headerRate != 0 && idBytes.size() >= 16) {
        // Identification header: type, "vorbis", version (4), channels (1),
        // then the rate as 32-bit little-endian at offset 12.
        for (int i = 0; i < 4; ++i) idBytes[12 + i] = static_cast<uint8_t>(desc.headerRate >> (8 * i));
    }
    id.packet = idBytes.data();
    ogg_stream_packetin(&os, &id);
    ogg_stream_packetin(&os, &comment_header);
    ogg_stream_packetin(&os, &codebooks);
    AppendPages(&os, out, true);

    const size_t frames = pcm.size() / static_cast<size_t>(desc.channels);
    size_t done = 0;
    bool finished = false;
    while (!finished) {
        const size_t chunk = std::min<size_t>(1024, frames - done);
        if (chunk == 0) {
            vorbis_analysis_wrote(&vd, 0);
        } else {
            float** buffer = vorbis_analysis_buffer(&vd, static_cast<int>(chunk));
            for (size_t f = 0; f < chunk; ++f)
                for (int c = 0; c < desc.channels; ++c)
                    buffer[c][f] = pcm[(done + f) * desc.channels + c] / 32768.0f;
            vorbis_analysis_wrote(&vd, static_cast<int>(chunk));
            done += chunk;
        }
        while (vorbis_analysis_blockout(&vd, &vb) == 1) {
            vorbis_analysis(&vb, nullptr);
            vorbis_bitrate_addblock(&vb);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&vd, &packet)) {
                ogg_stream_packetin(&os, &packet);
                AppendPages(&os, out, false);
                if (packet.e_o_s) finished = true;
            }
        }
    }
    AppendPages(&os, out, true);

    ogg_stream_clear(&os);
    vorbis_block_clear(&vb);
    vorbis_dsp_clear(&vd);
    vorbis_comment_clear(&vc);
    vorbis_info_clear(&vi);
    return out;
}

std::vector<int16_t> MakeTones(int frames, int channels, int rate, const std::vector<double>& freqs,
                               double amplitude) {
    std::vector<int16_t> pcm(static_cast<size_t>(frames) * channels);
    for (int f = 0; f < frames; ++f)
        for (int c = 0; c < channels; ++c) {
            const double hz = freqs.empty() ? 0.0 : freqs[c % freqs.size()];
            const double v = hz > 0 ? amplitude * std::cos(2.0 * M_PI * hz * f / rate) : 0.0;
            pcm[static_cast<size_t>(f) * channels + c] = static_cast<int16_t>(std::lround(v * 32767.0));
        }
    return pcm;
}

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

}  // namespace moddeck::test

// libvorbisenc 1.3.7 keeps a block of its setup for streams of more than two
// channels after vorbis_info_clear; the leak is the library's, in the test
// helper only, so the leak checker is told to pass over it.
extern "C" const char* __lsan_default_suppressions() { return "leak:vorbis_encode_setup_init\n"; }
