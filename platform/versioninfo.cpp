// SPDX-License-Identifier: MIT
// Builds version records in the VS_VERSIONINFO layout and finds, copies and queries them
// the way the Win32 version calls do, reading the record from an ELF section.
#include "platform/versioninfo.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>
#include <span>
#include <stdexcept>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

thread_local DWORD t_lastError = ERROR_SUCCESS;

template <typename T>
T fail(LONG code, T result) {
    t_lastError = static_cast<DWORD>(code);
    return result;
}

// ---------------------------------------------------------------------------------------
// Text conversion. Bad input becomes U+FFFD rather than an error: the record is ours.

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::u16string utf8ToUtf16(std::string_view in) {
    std::u16string out;
    for (std::size_t i = 0; i < in.size();) {
        const auto lead = static_cast<unsigned char>(in[i]);
        std::size_t extra = lead < 0x80 ? 0 : (lead >> 5) == 0x6 ? 1 : (lead >> 4) == 0xE ? 2
                          : (lead >> 3) == 0x1E ? 3 : 4;
        char32_t c = extra == 0 ? lead : extra == 1 ? (lead & 0x1F) : extra == 2 ? (lead & 0x0F)
                   : (lead & 0x07);
        bool ok = extra < 4 && in.size() - i > extra;
        for (std::size_t k = 1; ok && k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(in[i + k]);
            ok = (next & 0xC0) == 0x80;
            c = (c << 6) | (next & 0x3F);
        }
        static constexpr char32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
        if (!ok || c < kMinimum[extra] || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) {
            out += u'\uFFFD';
            ++i;
            continue;
        }
        if (c >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
        i += extra + 1;
    }
    return out;
}

// ---------------------------------------------------------------------------------------
// The record layout. Every block is: WORD wLength (the block with its children, without the
// padding after it), WORD wValueLength (bytes for binary values, characters for text),
// WORD wType (0 binary, 1 text), the NUL-terminated UTF-16LE key, padding to 32 bits, the
// value, padding to 32 bits, then the child blocks, each starting on a 32-bit boundary.

constexpr std::size_t kHeaderSize = 6;
constexpr WORD kBinary = 0;
constexpr WORD kText = 1;
// The deepest real record is VS_VERSIONINFO / StringFileInfo / StringTable / String.
constexpr int kMaxDepth = 6;

constexpr std::size_t align4(std::size_t n) { return (n + 3) & ~std::size_t{3}; }

class RecordWriter {
public:
    std::size_t begin(std::string_view key, std::size_t valueLength, WORD type) {
        if (valueLength > 0xFFFF) throw std::length_error("version value too long");
        pad();
        const std::size_t start = m_bytes.size();
        put16(0);
        put16(static_cast<WORD>(valueLength));
        put16(type);
        putText(key);
        pad();
        return start;
    }
    void end(std::size_t start) {
        const std::size_t length = m_bytes.size() - start;
        if (length > 0xFFFF) throw std::length_error("version block too long");
        m_bytes[start] = static_cast<std::uint8_t>(length);
        m_bytes[start + 1] = static_cast<std::uint8_t>(length >> 8);
    }
    void put16(WORD v) {
        m_bytes.push_back(static_cast<std::uint8_t>(v));
        m_bytes.push_back(static_cast<std::uint8_t>(v >> 8));
    }
    void put32(DWORD v) {
        put16(static_cast<WORD>(v));
        put16(static_cast<WORD>(v >> 16));
    }
    void putText(std::string_view text) {
        for (char16_t unit : utf8ToUtf16(text)) put16(unit);
        put16(0);
    }
    void pad() { m_bytes.resize(align4(m_bytes.size()), 0); }
    std::vector<std::uint8_t> take() { return std::move(m_bytes); }

private:
    std::vector<std::uint8_t> m_bytes;
};

WORD read16(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<WORD>(bytes[at] | (bytes[at + 1] << 8));
}

struct Block {
    std::size_t start = 0;
    std::size_t end = 0;        // start + wLength
    WORD valueLength = 0;
    WORD type = 0;
    std::size_t keyStart = 0;
    std::size_t keyUnits = 0;   // without the NUL
    std::size_t valueStart = 0;
    std::size_t valueBytes = 0;
    std::size_t childStart = 0;
};

// Reads the block at `start`, which must lie within [start, limit) of `bytes` together with
// its key and value. Offsets are relative to the record, whose start is 32-bit aligned.
std::optional<Block> parseBlock(std::span<const std::uint8_t> bytes, std::size_t start,
                                std::size_t limit) {
    if (limit > bytes.size() || start > limit || limit - start < kHeaderSize) return std::nullopt;
    Block block;
    block.start = start;
    const WORD length = read16(bytes, start);
    if (length < kHeaderSize || length > limit - start) return std::nullopt;
    block.end = start + length;
    block.valueLength = read16(bytes, start + 2);
    block.type = read16(bytes, start + 4);

    std::size_t pos = start + kHeaderSize;
    block.keyStart = pos;
    for (;; pos += 2) {
        if (block.end - pos < 2) return std::nullopt; // key runs past the block
        if (read16(bytes, pos) == 0) break;
    }
    block.keyUnits = (pos - block.keyStart) / 2;
    block.valueStart = align4(pos + 2);
    block.valueBytes = block.type == kText ? std::size_t{block.valueLength} * 2 : block.valueLength;
    if (block.valueBytes > 0
        && (block.valueStart > block.end || block.valueBytes > block.end - block.valueStart)) {
        return std::nullopt;
    }
    block.childStart = block.valueBytes > 0 ? align4(block.valueStart + block.valueBytes)
                                            : std::min(block.valueStart, block.end);
    return block;
}

enum class Walk { done, stopped, malformed };

// Calls `visit` on each child of `parent` until it returns true.
template <typename Visit>
Walk forEachChild(std::span<const std::uint8_t> bytes, const Block& parent, Visit&& visit) {
    std::size_t pos = parent.childStart;
    // Fewer bytes than a header at the end can only be padding.
    while (pos < parent.end && parent.end - pos >= kHeaderSize) {
        const auto child = parseBlock(bytes, pos, parent.end);
        if (!child) return Walk::malformed;
        if (visit(*child)) return Walk::stopped;
        pos = align4(child->end);
    }
    return Walk::done;
}

bool validateTree(std::span<const std::uint8_t> bytes, const Block& block, int depth) {
    if (depth > kMaxDepth) return false;
    bool valid = true;
    const Walk walk = forEachChild(bytes, block, [&](const Block& child) {
        valid = validateTree(bytes, child, depth + 1);
        return !valid;
    });
    return valid && walk == Walk::done;
}

char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Decodes `units` UTF-16LE code units at `at`, stopping at the first NUL.
std::string decodeText(std::span<const std::uint8_t> bytes, std::size_t at, std::size_t units) {
    std::string out;
    for (std::size_t i = 0; i < units; ++i) {
        char32_t c = read16(bytes, at + 2 * i);
        if (c == 0) break;
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < units) {
            const char32_t low = read16(bytes, at + 2 * (i + 1));
            if (low >= 0xDC00 && low < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if (c >= 0xD800 && c < 0xE000) c = 0xFFFD; // unpaired surrogate
        appendUtf8(out, c);
    }
    return out;
}

bool keyEquals(std::span<const std::uint8_t> bytes, const Block& block, std::string_view name) {
    const std::string key = decodeText(bytes, block.keyStart, block.keyUnits);
    return std::ranges::equal(key, name, {}, asciiLower, asciiLower);
}

// ---------------------------------------------------------------------------------------
// The buffer GetFileVersionInfoA fills: the record, padding to 32 bits, a two-DWORD header
// (kSpareMagic, capacity) and the spare area. The UTF-8 copy of a string value that starts at
// record offset o and spans n bytes goes to spare offset o * 3 / 2: a UTF-16 unit never
// needs more than three UTF-8 bytes, so copies of different values never overlap, and every
// copy stays where it was put however many queries follow.

constexpr DWORD kSpareMagic = 0x38465455; // "UTF8"
constexpr std::size_t kSpareHeader = 8;

std::size_t spareNeeded(std::size_t recordLength) { return (recordLength * 3 + 1) / 2 + 4; }

// ---------------------------------------------------------------------------------------
// Finding the record in an ELF file through its section table.

class FileReader {
public:
    explicit FileReader(const char* path) : m_fd(::open(path, O_RDONLY | O_CLOEXEC)) {
        if (m_fd < 0) m_errno = errno;
    }
    ~FileReader() {
        if (m_fd >= 0) ::close(m_fd);
    }
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;

    LONG openError() const {
        if (m_fd >= 0) return ERROR_SUCCESS;
        switch (m_errno) {
        case ENOENT: return ERROR_FILE_NOT_FOUND;
        case ENOTDIR: return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM: return ERROR_ACCESS_DENIED;
        default: return ERROR_READ_FAULT;
        }
    }
    bool isRegularFile() {
        struct stat st {};
        if (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
        m_size = static_cast<std::uint64_t>(st.st_size);
        return true;
    }
    std::uint64_t size() const { return m_size; }
    bool contains(std::uint64_t offset, std::uint64_t length) const {
        return offset <= m_size && length <= m_size - offset;
    }
    // Reads exactly `length` bytes at `offset`; false when they lie past the end.
    bool read(std::uint64_t offset, void* out, std::size_t length) const {
        if (!contains(offset, length)) return false;
        auto* dst = static_cast<std::uint8_t*>(out);
        while (length > 0) {
            const ssize_t got = ::pread(m_fd, dst, length, static_cast<off_t>(offset));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return false;
            dst += got;
            offset += static_cast<std::uint64_t>(got);
            length -= static_cast<std::size_t>(got);
        }
        return true;
    }

private:
    int m_fd;
    int m_errno = 0;
    std::uint64_t m_size = 0;
};

std::uint64_t readLe(const std::uint8_t* p, std::size_t width) {
    std::uint64_t v = 0;
    for (std::size_t i = width; i-- > 0;) v = (v << 8) | p[i];
    return v;
}

struct ElfLayout {
    std::size_t sectionHeaderSize; // bytes of the fields we read
    std::size_t offsetField;       // where sh_offset sits in a section header
    std::size_t wordSize;          // width of sh_offset and sh_size
};

constexpr std::uint32_t kShtNobits = 8;
constexpr std::uint32_t kShnXindex = 0xFFFF;

struct SectionHeader {
    std::uint32_t name = 0;
    std::uint32_t type = 0;
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    std::uint32_t link = 0;
};

struct Located {
    LONG error = ERROR_SUCCESS;
    std::vector<std::uint8_t> record;
};

// Loads and checks the version record of the file at `path`.
Located loadRecord(const char* path) {
    if (!path) return {ERROR_INVALID_PARAMETER, {}};
    FileReader file(path);
    if (const LONG error = file.openError()) return {error, {}};
    if (!file.isRegularFile()) return {ERROR_BAD_EXE_FORMAT, {}};

    std::uint8_t ident[64] = {};
    if (!file.read(0, ident, 16) || std::memcmp(ident, "\x7F" "ELF", 4) != 0
        || (ident[4] != 1 && ident[4] != 2) || ident[5] != 1) {
        return {ERROR_BAD_EXE_FORMAT, {}};
    }
    const bool is64 = ident[4] == 2;
    const ElfLayout layout = is64 ? ElfLayout{64, 24, 8} : ElfLayout{40, 16, 4};
    if (!file.read(0, ident, is64 ? 64 : 52)) return {ERROR_BAD_EXE_FORMAT, {}};
    const std::uint64_t tableOffset = readLe(ident + (is64 ? 0x28 : 0x20), layout.wordSize);
    const std::size_t entrySize = readLe(ident + (is64 ? 0x3A : 0x2E), 2);
    std::uint64_t count = readLe(ident + (is64 ? 0x3C : 0x30), 2);
    std::uint32_t namesIndex = static_cast<std::uint32_t>(readLe(ident + (is64 ? 0x3E : 0x32), 2));
    if (tableOffset == 0) return {ERROR_RESOURCE_TYPE_NOT_FOUND, {}};
    if (entrySize < layout.sectionHeaderSize) return {ERROR_BAD_EXE_FORMAT, {}};

    auto readHeader = [&](std::uint64_t index, SectionHeader& out) {
        std::uint8_t raw[64];
        if (index >= (std::numeric_limits<std::uint64_t>::max() - tableOffset) / entrySize
            || !file.read(tableOffset + index * entrySize, raw, layout.sectionHeaderSize)) {
            return false;
        }
        out.name = static_cast<std::uint32_t>(readLe(raw, 4));
        out.type = static_cast<std::uint32_t>(readLe(raw + 4, 4));
        out.offset = readLe(raw + layout.offsetField, layout.wordSize);
        out.size = readLe(raw + layout.offsetField + layout.wordSize, layout.wordSize);
        out.link = static_cast<std::uint32_t>(readLe(raw + layout.offsetField + 2 * layout.wordSize, 4));
        return true;
    };

    // Files with 0xFF00 sections or more keep the count and the names index in section 0.
    if (count == 0 || namesIndex == kShnXindex) {
        SectionHeader first;
        if (!readHeader(0, first)) return {ERROR_BAD_EXE_FORMAT, {}};
        if (count == 0) count = first.size;
        if (namesIndex == kShnXindex) namesIndex = first.link;
    }
    if (count == 0 || count > file.size() / entrySize) return {ERROR_BAD_EXE_FORMAT, {}};
    SectionHeader names;
    if (namesIndex >= count || !readHeader(namesIndex, names) || names.type == kShtNobits
        || !file.contains(names.offset, names.size)) {
        return {ERROR_BAD_EXE_FORMAT, {}};
    }

    constexpr std::size_t kNameBytes = sizeof(kVersionSectionName); // with its NUL
    for (std::uint64_t i = 0; i < count; ++i) {
        SectionHeader section;
        if (!readHeader(i, section)) return {ERROR_BAD_EXE_FORMAT, {}};
        if (section.name >= names.size || names.size - section.name < kNameBytes) continue;
        char name[kNameBytes];
        if (!file.read(names.offset + section.name, name, kNameBytes)) return {ERROR_BAD_EXE_FORMAT, {}};
        if (std::memcmp(name, kVersionSectionName, kNameBytes) != 0) continue;

        if (section.type == kShtNobits) return {ERROR_INVALID_DATA, {}};
        if (!file.contains(section.offset, section.size)) return {ERROR_BAD_EXE_FORMAT, {}};
        std::uint8_t head[2];
        if (section.size < kHeaderSize || !file.read(section.offset, head, 2)) return {ERROR_INVALID_DATA, {}};
        const std::size_t length = readLe(head, 2);
        if (length < kHeaderSize || length > section.size) return {ERROR_INVALID_DATA, {}};
        Located found;
        found.record.resize(length);
        if (!file.read(section.offset, found.record.data(), length)) return {ERROR_READ_FAULT, {}};
        const std::span<const std::uint8_t> bytes(found.record);
        const auto root = parseBlock(bytes, 0, bytes.size());
        if (!root || !keyEquals(bytes, *root, "VS_VERSION_INFO") || !validateTree(bytes, *root, 0)) {
            return {ERROR_INVALID_DATA, {}};
        }
        return found;
    }
    return {ERROR_RESOURCE_TYPE_NOT_FOUND, {}};
}

std::size_t bufferSize(std::size_t recordLength) {
    return align4(recordLength) + kSpareHeader + spareNeeded(recordLength);
}

} // namespace

std::vector<std::uint8_t> BuildVersionRecord(const VersionFields& fields) {
    RecordWriter out;
    const std::size_t root = out.begin("VS_VERSION_INFO", sizeof(VS_FIXEDFILEINFO), kBinary);
    auto versionMs = [](const std::array<WORD, 4>& v) { return DWORD{v[0]} << 16 | v[1]; };
    auto versionLs = [](const std::array<WORD, 4>& v) { return DWORD{v[2]} << 16 | v[3]; };
    for (DWORD v : {VS_FFI_SIGNATURE, VS_FFI_STRUCVERSION, versionMs(fields.fileVersion),
                    versionLs(fields.fileVersion), versionMs(fields.productVersion),
                    versionLs(fields.productVersion), VS_FFI_FILEFLAGSMASK, fields.fileFlags,
                    fields.fileOS, fields.fileType, DWORD{0}, DWORD{0}, DWORD{0}}) {
        out.put32(v);
    }

    const std::size_t stringInfo = out.begin("StringFileInfo", 0, kText);
    char tableKey[9];
    std::snprintf(tableKey, sizeof tableKey, "%04X%04X", fields.language, fields.codePage);
    const std::size_t table = out.begin(tableKey, 0, kText);
    for (const auto& [name, value] : fields.strings) {
        const std::size_t units = utf8ToUtf16(value).size() + 1; // with the NUL
        const std::size_t entry = out.begin(name, units, kText);
        out.putText(value);
        out.end(entry);
    }
    out.end(table);
    out.end(stringInfo);

    const std::size_t varInfo = out.begin("VarFileInfo", 0, kText);
    const std::size_t translation = out.begin("Translation", sizeof(DWORD), kBinary);
    out.put32(DWORD{fields.codePage} << 16 | fields.language);
    out.end(translation);
    out.end(varInfo);

    out.end(root);
    return out.take();
}

DWORD LastVersionError() { return t_lastError; }

} // namespace platform

using namespace platform;

DWORD GetFileVersionInfoSizeA(LPCSTR lptstrFilename, LPDWORD lpdwHandle) {
    if (lpdwHandle) *lpdwHandle = 0;
    const Located found = loadRecord(lptstrFilename);
    if (found.error != ERROR_SUCCESS) return fail(found.error, DWORD{0});
    return static_cast<DWORD>(bufferSize(found.record.size()));
}

BOOL GetFileVersionInfoA(LPCSTR lptstrFilename, DWORD /*dwHandle*/, DWORD dwLen, LPVOID lpData) {
    if (!lpData) return fail(ERROR_INVALID_PARAMETER, FALSE);
    const Located found = loadRecord(lptstrFilename);
    if (found.error != ERROR_SUCCESS) return fail(found.error, FALSE);
    const std::size_t length = found.record.size();
    const std::size_t spareStart = align4(length) + kSpareHeader;
    if (dwLen < spareStart) return fail(ERROR_INSUFFICIENT_BUFFER, FALSE);

    auto* out = static_cast<std::uint8_t*>(lpData);
    std::memcpy(out, found.record.data(), length);
    std::memset(out + length, 0, align4(length) - length);
    const auto capacity = static_cast<DWORD>(std::min<std::size_t>(dwLen - spareStart, spareNeeded(length)));
    const DWORD header[2] = {kSpareMagic, capacity};
    std::memcpy(out + align4(length), header, sizeof header);
    return TRUE;
}

BOOL VerQueryValueA(LPCVOID pBlock, LPCSTR lpSubBlock, LPVOID* lplpBuffer, UINT* puLen) {
    if (!pBlock || !lpSubBlock || !lplpBuffer || !puLen) return fail(ERROR_INVALID_PARAMETER, FALSE);
    auto* base = static_cast<const std::uint8_t*>(pBlock);
    // The block's own length bounds every read that follows.
    const std::span<const std::uint8_t> bytes(base, read16({base, 2}, 0));
    auto block = parseBlock(bytes, 0, bytes.size());
    if (!block) return fail(ERROR_INVALID_DATA, FALSE);

    for (std::string_view rest = lpSubBlock; !rest.empty();) {
        const std::size_t cut = rest.find('\\');
        const std::string_view name = rest.substr(0, cut);
        rest = cut == std::string_view::npos ? std::string_view{} : rest.substr(cut + 1);
        if (name.empty()) continue;
        std::optional<Block> match;
        const Walk walk = forEachChild(bytes, *block, [&](const Block& child) {
            if (keyEquals(bytes, child, name)) match = child;
            return match.has_value();
        });
        if (walk == Walk::malformed) return fail(ERROR_INVALID_DATA, FALSE);
        if (!match) return fail(ERROR_RESOURCE_TYPE_NOT_FOUND, FALSE);
        block = match;
    }

    if (block->type != kText) {
        if (block->valueBytes == 0) return fail(ERROR_RESOURCE_TYPE_NOT_FOUND, FALSE);
        *lplpBuffer = const_cast<std::uint8_t*>(base + block->valueStart);
        *puLen = static_cast<UINT>(block->valueBytes);
        return TRUE;
    }
    // A text block with children (a string table, say) has no value of its own.
    if (block->valueBytes == 0 && block->childStart < block->end) {
        return fail(ERROR_RESOURCE_TYPE_NOT_FOUND, FALSE);
    }

    std::uint32_t header[2];
    std::memcpy(header, base + align4(bytes.size()), sizeof header);
    if (header[0] != kSpareMagic) return fail(ERROR_INVALID_DATA, FALSE);
    const std::string text = decodeText(bytes, block->valueStart, block->valueBytes / 2);
    const std::size_t slot = block->valueStart * 3 / 2;
    if (slot > header[1] || text.size() + 1 > header[1] - slot) {
        return fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
    }
    auto* spare = const_cast<std::uint8_t*>(base + align4(bytes.size()) + kSpareHeader);
    std::memcpy(spare + slot, text.c_str(), text.size() + 1);
    *lplpBuffer = spare + slot;
    *puLen = static_cast<UINT>(text.size() + 1);
    return TRUE;
}
