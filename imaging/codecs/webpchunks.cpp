// SPDX-License-Identifier: MIT
// WebP chunks read by walking the file's top-level chunks, and written through WebPMux.
#include "imaging/codecs/webpchunks.h"

#include "imaging/detail/source.h"
#include "imaging/is5.h"

#include <cstring>
#include <memory>

#include <webp/mux.h>

namespace imaging::detail {

namespace {

constexpr std::size_t kRiffHeader = 12;

struct SourceCloser {
    void operator()(Is5Source* source) const { is5_CloseSource(source); }
};

std::uint32_t le32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}

} // namespace

bool isWebpFile(const std::uint8_t* data, std::size_t size) {
    return size >= kRiffHeader && std::memcmp(data, "RIFF", 4) == 0 && std::memcmp(data + 8, "WEBP", 4) == 0;
}

std::vector<std::uint8_t> ReadWebpChunk(const std::string& path, const char (&fourcc)[5], std::size_t limit) {
    std::unique_ptr<Is5Source, SourceCloser> source(is5_OpenFileSource(path.c_str()));
    if (!source) return {};
    std::uint8_t head[kRiffHeader];
    if (source->read(head, sizeof head) != sizeof head || !isWebpFile(head, sizeof head)) return {};
    const std::uint64_t size = source->size();
    // Chunk headers of eight bytes, payloads padded to an even length.
    for (std::uint64_t at = kRiffHeader; at + 8 <= size;) {
        std::uint8_t chunk[8];
        if (!source->seek(at) || source->read(chunk, 8) != 8) return {};
        const std::uint64_t length = le32(chunk + 4);
        if (length > size - at - 8) return {};
        if (std::memcmp(chunk, fourcc, 4) == 0) {
            if (length > limit) return {};
            std::vector<std::uint8_t> payload(static_cast<std::size_t>(length));
            if (source->read(payload.data(), payload.size()) != payload.size()) return {};
            return payload;
        }
        at += 8 + length + (length & 1);
    }
    return {};
}

bool SetWebpChunk(std::vector<std::uint8_t>& file, const char (&fourcc)[5], const std::vector<std::uint8_t>& data) {
    if (!isWebpFile(file.data(), file.size())) return false;
    const WebPData whole{file.data(), file.size()};
    std::unique_ptr<WebPMux, void (*)(WebPMux*)> mux(WebPMuxCreate(&whole, 1), &WebPMuxDelete);
    if (!mux) return false;
    const WebPData chunk{data.data(), data.size()};
    if (WebPMuxSetChunk(mux.get(), fourcc, &chunk, 1) != WEBP_MUX_OK) return false;
    WebPData assembled;
    WebPDataInit(&assembled);
    if (WebPMuxAssemble(mux.get(), &assembled) != WEBP_MUX_OK) {
        WebPDataClear(&assembled);
        return false;
    }
    file.assign(assembled.bytes, assembled.bytes + assembled.size);
    WebPDataClear(&assembled);
    return true;
}

} // namespace imaging::detail
