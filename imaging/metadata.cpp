// SPDX-License-Identifier: MIT
// Reading and stamping a picture's description, author, copyright and time. A JPEG gets
// a new EXIF APP1 segment in place of its old one and keeps every other byte (its scans
// are never decoded and encoded again); a PNG gets new text chunks and keeps every other
// chunk. Both are written by temporary file and rename, so a failure leaves the file as
// it was.
#include "imaging/metadata.h"

#include "imaging/codecs/jpegmarkers.h"
#include "imaging/codecs/outputlists.h"
#include "imaging/codecs/pngtext.h"
#include "imaging/detail/source.h"
#include "imaging/is5.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <sys/stat.h>

namespace {

constexpr std::uint32_t kTypeJpeg = 3;
constexpr std::uint32_t kTypePng = 4;

constexpr std::uint16_t kTagDescription = 0x010E;
constexpr std::uint16_t kTagAuthor = 0x013B;
constexpr std::uint16_t kTagCopyright = 0x8298;
constexpr std::uint16_t kTagDateTime = 0x0132;
constexpr std::uint16_t kTagDateTimeOriginal = 0x9003;
constexpr std::uint16_t kTagExifVersion = 0x9000;
constexpr std::uint16_t kTagImageWidth = 0x0100;
constexpr std::uint16_t kTagImageLength = 0x0101;

const char* const kExifFailed = "Unable to write EXIF data.";
const char* const kPngFailed = "Unable to set description for PNG cropped image.";

struct SourceCloser {
    void operator()(Is5Source* source) const { is5_CloseSource(source); }
};
using SourcePtr = std::unique_ptr<Is5Source, SourceCloser>;

struct ReaderDeleter {
    void operator()(Is5ExifReader* reader) const { is5_EXIFDestroyReader(reader); }
};
struct WriterDeleter {
    void operator()(Is5ExifWriter* writer) const { is5_EXIFDestroyWriter(writer); }
};

/// Keeps the calling thread's JPEG output markers as the caller had them: the stamp uses
/// the list for its own segments, which must not ride along on the thread's next JPEG write.
class OutputMarkersKept {
public:
    OutputMarkersKept() : m_saved(imaging::detail::jpegOutputMarkers()) {}
    ~OutputMarkersKept() { imaging::detail::mutableJpegOutputMarkers() = std::move(m_saved); }

private:
    std::vector<imaging::detail::JpegOutputMarker> m_saved;
};

std::string formatLocalTime(std::time_t now) {
    std::tm local{};
    char text[32] = "";
    if (localtime_r(&now, &local)) std::strftime(text, sizeof text, "%Y:%m:%d %H:%M:%S", &local);
    return text;
}

/// A stored time in the record's form: EXIF "2024:05:06 07:08:09", ISO 8601
/// "2024-05-06T07:08:09" (or with a space) and RFC 1123 "Mon, 06 May 2024 07:08:09 GMT"
/// (as PNG's "Creation Time" suggests) are read; anything else gives "".
std::string recordTime(const std::string& text) {
    static constexpr std::array<const char*, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, used = 0;
    char sep = 0;
    char monthName[4] = "";
    if (std::sscanf(text.c_str(), "%4d:%2d:%2d %2d:%2d:%2d%n", &year, &month, &day, &hour, &minute, &second, &used) == 6 ||
        (std::sscanf(text.c_str(), "%4d-%2d-%2d%c%2d:%2d:%2d%n", &year, &month, &day, &sep, &hour, &minute, &second,
                     &used) == 7 &&
         (sep == 'T' || sep == ' '))) {
    } else if (std::sscanf(text.c_str(), "%*3s, %2d %3s %4d %2d:%2d:%2d%n", &day, monthName, &year, &hour, &minute,
                           &second, &used) == 6) {
        for (std::size_t i = 0; i < kMonths.size(); ++i)
            if (std::strcmp(monthName, kMonths[i]) == 0) month = static_cast<int>(i) + 1;
    } else {
        return {};
    }
    if (used == 0 || year < 1 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 ||
        second > 60 || hour < 0 || minute < 0 || second < 0)
        return {};
    char out[24];
    std::snprintf(out, sizeof out, "%04d:%02d:%02d %02d:%02d:%02d", year, month, day, hour, minute, second);
    return out;
}

/// Stored text as the record keeps it: UTF-8 (bytes that are not UTF-8 read as Latin-1),
/// without the spaces cameras pad their fields with at the end.
std::string recordText(std::string text) {
    if (!imaging::detail::validUtf8(text)) text = imaging::detail::latin1ToUtf8(text);
    const auto last = text.find_last_not_of(" \t\r\n");
    text.resize(last == std::string::npos ? 0 : last + 1);
    return text;
}

std::string exifString(Is5ExifReader* reader, std::uint32_t directory, std::uint16_t tag) {
    const std::uint32_t length = is5_EXIFGetString(reader, directory, tag, nullptr, 0);
    if (length == 0) return {};
    std::string text(length + 1, '\0');
    is5_EXIFGetString(reader, directory, tag, text.data(), length + 1);
    text.resize(length);
    return recordText(std::move(text));
}

/// Which field a PNG key names: 0 description, 1 author, 2 copyright, 3 time, or nothing.
std::optional<std::size_t> pngField(const std::string& key) {
    static constexpr const char* kNames[] = {"Description", "Author", "Copyright", "Time"};
    for (std::size_t i = 0; i < 4; ++i)
        if (key.find(kNames[i]) != std::string::npos) return i;
    return std::nullopt;
}

void readJpeg(IS5_SOURCE source, PictureMetadata& record) {
    std::unique_ptr<Is5ExifReader, ReaderDeleter> reader(is5_EXIFCreateReader(source));
    if (!reader) return;
    record.author = exifString(reader.get(), IS5_EXIF_IFD0, kTagAuthor);
    record.description = exifString(reader.get(), IS5_EXIF_IFD0, kTagDescription);
    record.copyright = exifString(reader.get(), IS5_EXIF_IFD0, kTagCopyright);
    record.time = recordTime(exifString(reader.get(), IS5_EXIF_IFD0, kTagDateTime));
    if (record.time.empty()) record.time = recordTime(exifString(reader.get(), IS5_EXIF_IFD_EXIF, kTagDateTimeOriginal));
}

void readPng(IS5_SOURCE source, PictureMetadata& record) {
    std::string* fields[] = {&record.description, &record.author, &record.copyright, &record.time};
    const char* key = nullptr;
    const char* text = nullptr;
    for (std::uint32_t i = 0; is5_GetPNGInputText(source, i, &key, &text); ++i) {
        const auto field = pngField(key);
        if (!field || !fields[*field]->empty()) continue; // the first key of a kind counts
        *fields[*field] = *field == 3 ? recordTime(recordText(text)) : recordText(text);
    }
}

bool addAscii(Is5ExifWriter* writer, std::uint32_t directory, std::uint16_t tag, const std::string& text) {
    return is5_EXIFAddTag(writer, directory, tag, 2, static_cast<std::uint32_t>(text.size() + 1), text.c_str());
}

bool addLong(Is5ExifWriter* writer, std::uint16_t tag, std::uint32_t value) {
    return is5_EXIFAddTag(writer, IS5_EXIF_IFD0, tag, 4, 1, &value);
}

const std::string& orDefault(const std::string& text, const std::string& fallback) {
    return text.empty() ? fallback : text;
}

/// Publishes what was written to `dest`: false when it failed or did not reach its name.
bool finish(IS5_DEST dest, bool written) {
    if (written) is5_MarkDestComplete(dest);
    else is5_MarkDestFailed(dest);
    return is5_CloseDest(dest) && written;
}

/// Gives the stamped file back the permissions the original had (a new file gets 0644).
void keepMode(const std::string& path, const struct stat& before) {
    struct stat after {};
    if (::stat(path.c_str(), &after) == 0 && (after.st_mode & 07777) != (before.st_mode & 07777))
        ::chmod(path.c_str(), before.st_mode & 07777);
}

StampResult stampJpeg(const PictureMetadata& record, const std::string& path, SourcePtr source,
                      const std::string& time) {
    OutputMarkersKept keep;
    std::unique_ptr<Is5ExifReader, ReaderDeleter> reader(is5_EXIFCreateReader(source.get()));
    std::unique_ptr<Is5ExifWriter, WriterDeleter> writer(is5_EXIFCreateWriter(0));
    if (!writer) return {false, kExifFailed};
    // The frame header gives the size that a file with EXIF gets in IFD0, and a file cut
    // before its scan is not stamped.
    if (!is5_ReadJPGMarkers(source.get())) return {false, kExifFailed};
    const imaging::detail::JpegLayout& layout = imaging::detail::jpegInputLayout();
    bool added = true;
    if (reader) {
        added = is5_EXIFCopyTagsToWriter(reader.get(), writer.get());
        reader.reset();
        added = added && addAscii(writer.get(), IS5_EXIF_IFD0, kTagDescription, orDefault(record.description, "Not Set")) &&
                addAscii(writer.get(), IS5_EXIF_IFD0, kTagCopyright, orDefault(record.copyright, "Copyright not set")) &&
                addAscii(writer.get(), IS5_EXIF_IFD0, kTagAuthor, orDefault(record.author, "Author not set")) &&
                addAscii(writer.get(), IS5_EXIF_IFD0, kTagDateTime, time) &&
                addLong(writer.get(), kTagImageWidth, layout.width) && addLong(writer.get(), kTagImageLength, layout.height);
    } else {
        // ExifVersion and DateTimeOriginal belong in the Exif sub-directory, where readers
        // look for them; ExifVersion is four UNDEFINED bytes.
        added = addAscii(writer.get(), IS5_EXIF_IFD_EXIF, kTagDateTimeOriginal, time) &&
                is5_EXIFAddTag(writer.get(), IS5_EXIF_IFD_EXIF, kTagExifVersion, 7, 4, "0200") &&
                addAscii(writer.get(), IS5_EXIF_IFD0, kTagDateTime, time) &&
                addAscii(writer.get(), IS5_EXIF_IFD0, kTagDescription, orDefault(record.description, "No Description")) &&
                addAscii(writer.get(), IS5_EXIF_IFD0, kTagCopyright, orDefault(record.copyright, "No Copyright set")) &&
                addAscii(writer.get(), IS5_EXIF_IFD0, kTagAuthor, orDefault(record.author, "Author not set"));
    }
    std::uint32_t size = 0;
    platform::UniqueGlobal block(added ? is5_EXIFWriteTags(writer.get(), &size) : nullptr);
    if (!block) return {false, kExifFailed};
    is5_ClearJPGOutputMarkers();
    if (!is5_CopyJPGInputMetadataToOutputMetadata() || !is5_ReplaceJPGOutputMarker(0xE1, block.data(), size))
        return {false, kExifFailed};

    struct stat before {};
    ::stat(path.c_str(), &before);
    IS5_DEST dest = is5_OpenFileDest(path.c_str(), 0);
    if (!dest) return {false, "Unable to open/create " + path};
    const bool written = imaging::detail::writeJpegWithOutputMarkers(*source, dest) == IS5_OK;
    source.reset();
    if (!finish(dest, written)) return {false, kExifFailed};
    keepMode(path, before);
    return {};
}

StampResult stampPng(const PictureMetadata& record, const std::string& path, SourcePtr source,
                     const std::string& time) {
    imaging::detail::PngLayout layout;
    if (imaging::detail::readPngLayout(*source, layout) != IS5_OK) return {false, kPngFailed};
    const std::string* values[] = {&record.description, &record.author, &record.copyright, &time};
    bool found[4] = {};
    std::vector<std::vector<std::uint8_t>> replaced(layout.texts.size());
    for (std::size_t i = 0; i < layout.texts.size(); ++i) {
        const auto& chunk = layout.texts[i];
        const auto field = chunk.key.empty() ? std::nullopt : pngField(chunk.key);
        if (!field) continue;
        replaced[i] = imaging::detail::makePngTextChunk(chunk.key, *values[*field]);
        found[*field] = true;
    }
    std::vector<std::uint8_t> added;
    static constexpr const char* kNewKeys[] = {"Description", "Author", "Copyright", "Creation Time"};
    for (std::size_t f = 0; f < 4; ++f) {
        if (found[f]) continue;
        const auto chunk = imaging::detail::makePngTextChunk(kNewKeys[f], *values[f]);
        added.insert(added.end(), chunk.begin(), chunk.end());
    }

    struct stat before {};
    ::stat(path.c_str(), &before);
    IS5_DEST dest = is5_OpenFileDest(path.c_str(), 0);
    if (!dest) return {false, kPngFailed};
    // The new chunks follow IHDR; the rest of the file is copied, the replaced text chunks
    // written anew where they stood.
    bool written = imaging::detail::copySourceRange(*source, dest, 0, layout.afterHeader) &&
                   is5_WriteDest(dest, added.data(), added.size());
    std::uint64_t position = layout.afterHeader;
    for (std::size_t i = 0; written && i < layout.texts.size(); ++i) {
        if (replaced[i].empty()) continue;
        const auto& chunk = layout.texts[i];
        written = imaging::detail::copySourceRange(*source, dest, position, chunk.offset) &&
                  is5_WriteDest(dest, replaced[i].data(), replaced[i].size());
        position = chunk.offset + 12 + chunk.length;
    }
    written = written && imaging::detail::copySourceRange(*source, dest, position, layout.fileSize);
    source.reset();
    if (!finish(dest, written)) return {false, kPngFailed};
    keepMode(path, before);
    return {};
}

} // namespace

std::string ReadPictureMetadata(const std::string& path, PictureMetadata& record) {
    record = PictureMetadata{};
    SourcePtr source(is5_OpenFileSource(path.c_str()));
    if (!source) return "The File, " + path + " could not be found. Unable to proceed reading metadata.";
    const std::uint32_t type = is5_GuessFileType(source.get());
    is5_Seek(source.get(), 0, IS5_SEEK_SET);
    if (type == kTypeJpeg) readJpeg(source.get(), record);
    else if (type == kTypePng) readPng(source.get(), record);
    return {};
}

StampResult StampPictureMetadata(const PictureMetadata& record, const std::string& path, std::time_t now) {
    SourcePtr source(is5_OpenFileSource(path.c_str()));
    if (!source) return {false, "The File, " + path + " could not be found. Unable to proceed."};
    const std::string time = formatLocalTime(now);
    const std::uint32_t type = is5_GuessFileType(source.get());
    is5_Seek(source.get(), 0, IS5_SEEK_SET);
    if (type == kTypeJpeg) return stampJpeg(record, path, std::move(source), time);
    if (type == kTypePng) return stampPng(record, path, std::move(source), time);
    return {};
}
