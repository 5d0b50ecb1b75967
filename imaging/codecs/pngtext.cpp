// SPDX-License-Identifier: MIT
// Walking a PNG's chunks for its texts, and making text chunks.
#include "imaging/codecs/pngtext.h"

#include "imaging/detail/bytereader.h"
#include "imaging/detail/lasterror.h"
#include "imaging/detail/source.h"

#include <cstring>
#include <new>
#include <optional>

#include <zlib.h>

namespace imaging::detail {

namespace {

constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::uint32_t kMaxChunkLength = 0x7FFFFFFF;
// Largest text chunk read, compressed or not; bigger ones are kept but not read.
constexpr std::uint32_t kMaxTextBytes = 8u << 20;
// Most text chunks read from one file.
constexpr std::size_t kMaxTexts = 4096;
constexpr std::size_t kMaxKeyword = 79;

constexpr std::uint32_t chunkType(const char (&name)[5]) {
    return std::uint32_t(std::uint8_t(name[0])) << 24 | std::uint32_t(std::uint8_t(name[1])) << 16 |
           std::uint32_t(std::uint8_t(name[2])) << 8 | std::uint8_t(name[3]);
}
constexpr std::uint32_t kIhdr = chunkType("IHDR"), kIend = chunkType("IEND"), kText = chunkType("tEXt"),
                        kZtxt = chunkType("zTXt"), kItxt = chunkType("iTXt");

/// zlib data inflated, or nothing when it is damaged or inflates past the text limit.
std::optional<std::string> inflateText(const std::uint8_t* data, std::size_t size) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return std::nullopt;
    std::string out;
    char buffer[16384];
    z.next_in = const_cast<Bytef*>(data);
    z.avail_in = static_cast<uInt>(size);
    int rc = Z_OK;
    while (rc == Z_OK) {
        z.next_out = reinterpret_cast<Bytef*>(buffer);
        z.avail_out = sizeof buffer;
        rc = inflate(&z, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END) break;
        out.append(buffer, sizeof buffer - z.avail_out);
        if (out.size() > kMaxTextBytes) rc = Z_MEM_ERROR;
        else if (rc == Z_OK && z.avail_in == 0 && z.avail_out != 0) rc = Z_DATA_ERROR; // ends early
    }
    inflateEnd(&z);
    if (rc != Z_STREAM_END) return std::nullopt;
    return out;
}

/// The text as Latin-1 when every character of it has a Latin-1 code.
std::optional<std::string> utf8ToLatin1(const std::string& s) {
    if (!validUtf8(s)) return std::nullopt;
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) out += static_cast<char>(c);
        else if (c == 0xC2 || c == 0xC3) out += static_cast<char>(((c & 0x03) << 6) | (s[++i] & 0x3F));
        else return std::nullopt;
    }
    return out;
}

/// Reads the key and text of a text chunk's data.
void decodeText(std::uint32_t type, const std::string& data, PngTextChunk& chunk) {
    const std::size_t zero = data.find('\0');
    if (zero == std::string::npos || zero == 0 || zero > kMaxKeyword) return;
    chunk.key = data.substr(0, zero);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.data());
    if (type == kText) {
        chunk.text = latin1ToUtf8(data.substr(zero + 1));
        chunk.textRead = true;
    } else if (type == kZtxt) {
        if (zero + 2 > data.size() || data[zero + 1] != 0) return;
        if (auto text = inflateText(bytes + zero + 2, data.size() - zero - 2)) {
            chunk.text = latin1ToUtf8(*text);
            chunk.textRead = true;
        }
    } else {
        // iTXt: key, 0, compression flag, method, language tag, 0, translated key, 0, text
        if (zero + 3 > data.size()) return;
        const bool compressed = data[zero + 1] != 0;
        const std::size_t language = data.find('\0', zero + 3);
        const std::size_t translated = language == std::string::npos ? language : data.find('\0', language + 1);
        if (translated == std::string::npos) return;
        std::optional<std::string> text = data.substr(translated + 1);
        if (compressed) text = data[zero + 2] == 0 ? inflateText(bytes + translated + 1, data.size() - translated - 1)
                                                   : std::nullopt;
        if (text && validUtf8(*text)) {
            chunk.text = std::move(*text);
            chunk.textRead = true;
        }
    }
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

} // namespace

bool validUtf8(const std::string& s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t n;
        std::uint32_t code;
        if (c >= 0xC2 && c <= 0xDF) n = 1, code = c & 0x1F;
        else if (c >= 0xE0 && c <= 0xEF) n = 2, code = c & 0x0F;
        else if (c >= 0xF0 && c <= 0xF4) n = 3, code = c & 0x07;
        else return false;
        if (n > s.size() - i - 1) return false;
        for (std::size_t k = 1; k <= n; ++k) {
            const auto b = static_cast<unsigned char>(s[i + k]);
            if ((b & 0xC0) != 0x80) return false;
            code = code << 6 | (b & 0x3F);
        }
        // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8.
        if ((n == 2 && code < 0x800) || (n == 3 && (code < 0x10000 || code > 0x10FFFF)) ||
            (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += n + 1;
    }
    return true;
}

std::string latin1ToUtf8(const std::string& latin1) {
    std::string out;
    out.reserve(latin1.size());
    for (char ch : latin1) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += ch;
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::uint32_t readPngLayout(Is5Source& source, PngLayout& layout) {
    layout = PngLayout{};
    if (!source.seek(0)) return IS5_ERR_READ;
    layout.fileSize = source.size();
    ByteReader in(source);
    std::uint8_t signature[8];
    if (!in.read(signature, sizeof signature) || std::memcmp(signature, kSignature, sizeof signature) != 0)
        return IS5_ERR_FORMAT;
    for (bool first = true;; first = false) {
        const std::uint64_t offset = in.tell();
        const std::uint32_t length = in.u32be();
        const std::uint32_t type = in.u32be();
        if (!in.ok()) return IS5_ERR_READ;
        if (length > kMaxChunkLength || first != (type == kIhdr)) return IS5_ERR_FORMAT;
        if (std::uint64_t{length} + 4 > in.remaining()) return IS5_ERR_READ;
        const std::uint64_t end = offset + 12 + length;
        if (type == kIend) return IS5_OK;
        if (first) layout.afterHeader = end;
        if ((type == kText || type == kZtxt || type == kItxt) && layout.texts.size() < kMaxTexts) {
            PngTextChunk chunk;
            chunk.offset = offset;
            chunk.length = length;
            if (length <= kMaxTextBytes) {
                std::string data(length, '\0');
                in.read(data.data(), length);
                const std::uint32_t stored = in.u32be();
                std::uint8_t typeBytes[4] = {std::uint8_t(type >> 24), std::uint8_t(type >> 16), std::uint8_t(type >> 8),
                                             std::uint8_t(type)};
                uLong crc = crc32(0L, typeBytes, 4);
                crc = crc32(crc, reinterpret_cast<const Bytef*>(data.data()), length);
                if (in.ok() && crc == stored) decodeText(type, data, chunk);
            }
            layout.texts.push_back(std::move(chunk));
        }
        if (!in.seek(end)) return IS5_ERR_READ;
    }
}

std::vector<std::uint8_t> makePngTextChunk(const std::string& key, const std::string& text) {
    std::vector<std::uint8_t> out;
    const std::optional<std::string> latin1 = utf8ToLatin1(text);
    // Text that is not valid UTF-8 goes as it is into tEXt: there is nothing better to do with it.
    const bool plain = latin1 || !validUtf8(text);
    const std::string& body = latin1 ? *latin1 : text;
    const std::uint32_t type = plain ? kText : kItxt;
    // iTXt after the key: not compressed, method 0, no language tag, no translated key.
    const std::size_t extra = plain ? 1 : 5;
    put32(out, static_cast<std::uint32_t>(key.size() + extra + body.size()));
    put32(out, type);
    out.insert(out.end(), key.begin(), key.end());
    out.push_back(0);
    if (!plain) out.insert(out.end(), {0, 0, 0, 0});
    out.insert(out.end(), body.begin(), body.end());
    const uLong crc = crc32(0L, out.data() + 4, static_cast<uInt>(out.size() - 4));
    put32(out, static_cast<std::uint32_t>(crc));
    return out;
}

} // namespace imaging::detail

namespace {

thread_local std::vector<imaging::detail::PngTextChunk> t_inputTexts;
thread_local std::string t_key;

} // namespace

BOOL is5_GetPNGInputText(IS5_SOURCE source, std::uint32_t index, const char** key, const char** text) {
    constexpr const char* kName = "is5_GetPNGInputText";
    using imaging::detail::failBool;
    if (!source || !key || !text) return failBool(IS5_ERR_PARAM, kName);
    try {
        if (index == 0) {
            imaging::detail::PngLayout layout;
            t_inputTexts.clear();
            if (std::uint32_t rc = imaging::detail::readPngLayout(*source, layout)) return failBool(rc, kName);
            for (auto& chunk : layout.texts)
                if (!chunk.key.empty()) t_inputTexts.push_back(std::move(chunk));
        }
        if (index >= t_inputTexts.size()) return failBool(IS5_ERR_PARAM, kName);
        t_key = imaging::detail::latin1ToUtf8(t_inputTexts[index].key);
        *key = t_key.c_str();
        *text = t_inputTexts[index].text.c_str();
        return imaging::detail::succeed<BOOL>(kName, TRUE);
    } catch (const std::bad_alloc&) {
        return failBool(IS5_ERR_MEMORY, kName);
    }
}
