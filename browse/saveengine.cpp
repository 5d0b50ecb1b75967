// SPDX-License-Identifier: MIT
// One picture of a batch save.
#include "browse/saveengine.h"

#include "browse/classify.h"
#include "browse/foldertree.h"
#include "browse/naming.h"
#include "browse/qualitysearch.h"
#include "imaging/iccprofile.h"
#include "imaging/keepmetadata.h"
#include "platform/files.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Twice the target on each side (saturated): the least a reduced JPEG decoding must give.
ImageSize fastDecodeFloor(ImageSize target) {
    auto twice = [](std::uint32_t side) {
        return static_cast<std::uint32_t>(std::min<std::uint64_t>(std::uint64_t{side} * 2, UINT32_MAX));
    };
    return {twice(target.cx), twice(target.cy)};
}

} // namespace

std::optional<std::string> SaveOutputPath(const std::string& source, const SaveOptions& settings,
                                          const TargetSize& target) {
    OutputNameRequest name;
    name.sourcePath = source;
    name.destination = settings.destination;
    name.useSourceFolder = settings.useSourceFolder;
    name.sizeChoice = target.choice;
    name.customScale = settings.size.customScale;
    name.targetWidth = target.width;
    name.targetHeight = target.height;
    name.extension = settings.type.extension;
    name.edge = settings.size.edge;
    name.boxWidth = settings.size.boxWidth;
    name.boxHeight = settings.size.boxHeight;
    return OutputPath(name);
}

bool HasQuality(int writerType) {
    return writerType == kImageJpeg || writerType == kImageJpegGrey || writerType == kImageWebp;
}

std::uint32_t FastDecodeScale(ImageSize picture, ImageSize target) {
    const ImageSize floor = fastDecodeFloor(target);
    return ReducedDecodeScale(picture.cx, picture.cy, floor.cx, floor.cy);
}

namespace {

// What a copy gets after its pixels are written: the source's profile, metadata and dates.
std::uint32_t finishCopy(const std::string& source, const SaveOptions& settings, const TargetSize& target,
                         const std::string& temp) {
    if (settings.keepIcc && imaging::TakesIccProfile(settings.type.writerType) &&
        !imaging::EmbedIccProfile(temp, settings.type.writerType, imaging::ReadIccProfile(source)))
        return IS5_ERR_WRITE;
    if (settings.keepMetadata &&
        !imaging::EmbedKeptMetadata(temp, settings.type.writerType, imaging::ReadKeptMetadata(source), target.width,
                                    target.height, settings.stripPrivate))
        return IS5_ERR_WRITE;
    return kImageOk;
}

// Puts encoded bytes into `temp` through a file destination, which publishes them only whole.
std::uint32_t writeBytes(const std::string& temp, const std::vector<std::uint8_t>& bytes) {
    auto lastCode = [] { return is5_GetLastError() ? is5_GetLastError() : IS5_ERR_WRITE; };
    IS5_DEST dest = is5_OpenFileDest(temp.c_str(), 0);
    if (!dest) return lastCode();
    if (is5_WriteDest(dest, bytes.data(), bytes.size())) is5_MarkDestComplete(dest);
    return is5_CloseDest(dest) ? kImageOk : lastCode();
}

// The copy at the highest quality whose finished file is within settings.maxBytes. The
// profile and metadata are inserted as whole segments, the same bytes at every quality, so
// what they add is measured once, on the first encoding, and counted with every other.
std::uint32_t writeWithinSize(const std::string& source, const SaveOptions& settings, CISImageEx& image,
                              PreparedPicture& result, const std::string& temp) {
    const int type = settings.type.writerType;
    std::vector<std::uint8_t> best, lowest, encoded;
    std::int32_t bestQuality = 0, inTemp = 0;
    std::optional<std::uint64_t> added;
    const QualityChoice choice = HighestQualityWithin(settings.maxBytes, [&](std::int32_t quality, std::uint64_t& bytes) {
        image.jpegQuality = quality;
        if (const std::uint32_t rc = image.WriteToMemory(type, encoded)) return rc;
        if (!added) {
            if (const std::uint32_t rc = writeBytes(temp, encoded)) return rc;
            if (const std::uint32_t rc = finishCopy(source, settings, result.target, temp)) return rc;
            const std::uint64_t finished = platform::getFileStatus(temp).size;
            added = finished - std::min<std::uint64_t>(finished, encoded.size());
            inTemp = quality;
        }
        bytes = encoded.size() + *added;
        // Only the best fitting encoding so far, and quality 1, can end up chosen.
        if (bytes <= settings.maxBytes && quality > bestQuality) {
            best.swap(encoded);
            bestQuality = quality;
        } else if (quality == 1) {
            lowest.swap(encoded);
        }
        return kImageOk;
    });
    if (choice.code) return choice.code;
    result.quality = choice.quality;
    result.encodes = choice.encodes;
    if (choice.quality != inTemp) {
        if (const std::uint32_t rc = writeBytes(temp, choice.fits ? best : lowest)) return rc;
        if (const std::uint32_t rc = finishCopy(source, settings, result.target, temp)) return rc;
    }
    // The file itself decides, should the profile or metadata ever take other bytes.
    result.overLimit = platform::getFileStatus(temp).size > settings.maxBytes;
    return kImageOk;
}

} // namespace

PreparedPicture PreparePicture(const std::string& source, const SaveOptions& settings, CISImageEx& image,
                               const std::string& tag,
                               const std::function<std::optional<std::string>(const TargetSize&)>& outputFor) {
    PreparedPicture result;
    struct ClearAfter {
        CISImageEx& image;
        ~ClearAfter() { image.Clear(); }
    } clear{image};

    // The name follows the choice; the size written may be the picture's own.
    TargetSize named;
    auto sizePicture = [&](ImageSize picture) {
        SizeRequest size = settings.size;
        size.pictureWidth = picture.cx;
        size.pictureHeight = picture.cy;
        named = ComputeTargetSize(size);
        result.target = settings.noEnlarge ? WithoutEnlarging(named, picture.cx, picture.cy) : named;
    };
    result.stage = SaveStage::Read;
    const int type = IsCameraRaw(source) ? kImageRaw : kImageDetect;
    if (settings.fast) {
        // The display read hands over the full upright size (a JPEG's from its header, before
        // decoding) and decodes a JPEG at the smallest scale covering the size answered.
        result.code = image.ReadForDisplay(
            source, type,
            [&](ImageSize picture) {
                sizePicture(picture);
                return fastDecodeFloor({result.target.width, result.target.height});
            },
            nullptr);
    } else {
        result.code = image.Read(source, type);
        if (result.code == kImageOk) sizePicture({image.width, image.height});
    }
    if (result.code != kImageOk) return result;

    result.stage = SaveStage::Resize;
    result.code = imaging::resizeImageWithFilter(image, ImageSize{result.target.width, result.target.height},
                                                settings.filter, settings.mode);
    if (result.code != kImageOk) return result;

    result.stage = SaveStage::Split;
    result.output = outputFor ? outputFor(named) : SaveOutputPath(source, settings, named);
    if (!result.output) return result;

    image.jpegQuality = EffectiveQuality(settings.quality);
    image.webpLossless = settings.lossless;
    result.stage = SaveStage::Write;
    const std::string temp = folderOf(*result.output) + "." + tag + ".part";
    if (settings.maxBytes > 0 && HasQuality(settings.type.writerType) && !settings.lossless) {
        result.code = writeWithinSize(source, settings, image, result, temp);
    } else {
        result.code = image.Write(settings.type.writerType, temp);
        if (result.code == kImageOk) result.code = finishCopy(source, settings, result.target, temp);
    }
    if (result.code != kImageOk) {
        ::unlink(temp.c_str()); // a failed write leaves nothing, but be sure
        return result;
    }
    if (settings.keepDates) CopyFileTimes(source, temp); // a rename keeps them
    result.stage = SaveStage::Written;
    result.tempPath = temp;
    return result;
}

bool PublishPicture(PreparedPicture& picture, std::string* error) {
    if (picture.stage != SaveStage::Written || picture.tempPath.empty() || !picture.output) {
        if (error) *error = "nothing to publish";
        DiscardPicture(picture);
        return false;
    }
    if (::rename(picture.tempPath.c_str(), picture.output->c_str()) != 0) {
        if (error) *error = std::strerror(errno);
        DiscardPicture(picture);
        return false;
    }
    picture.tempPath.clear();
    return true;
}

void DiscardPicture(PreparedPicture& picture) {
    if (!picture.tempPath.empty()) ::unlink(picture.tempPath.c_str());
    picture.tempPath.clear();
}

std::string NumberedPath(const std::string& path, std::uint32_t number) {
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    const std::size_t at = hasExtension ? dot : path.size();
    return path.substr(0, at) + " (" + std::to_string(number) + ")" + path.substr(at);
}

std::optional<std::string> FirstFreePath(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return path;
    for (std::uint32_t number = 1; number <= 1000000; ++number) {
        std::string candidate = NumberedPath(path, number);
        if (::lstat(candidate.c_str(), &info) != 0) return candidate;
    }
    return std::nullopt;
}

bool CopyFileTimes(const std::string& source, const std::string& target) {
    struct stat info {};
    if (::stat(source.c_str(), &info) != 0) return false;
    const struct timespec times[2] = {info.st_atim, info.st_mtim};
    return ::utimensat(AT_FDCWD, target.c_str(), times, 0) == 0;
}

std::vector<FolderPicture> PicturesBelow(const std::string& folder) {
    std::vector<FolderPicture> pictures;
    auto addPictures = [&pictures](const std::string& path, const std::string& relative) {
        for (const platform::DirEntry& entry : platform::listDirectory(path).entries) {
            if (entry.isDirectory || entry.isSymlink || entry.isMountPoint || entry.name.empty() ||
                entry.name.front() == '.' || ClassifyExtension(entry.name) == 0)
                continue;
            pictures.push_back({JoinPath(path, entry.name), relative});
        }
    };
    // The walk hands each subfolder to `add` before entering it, so its relative path can be
    // kept as the folder's token and its pictures listed in walk order. Links and folders of
    // other file systems are handed over too, to be shown but not entered: they are not read.
    struct stat top {};
    if (::stat(folder.c_str(), &top) != 0) return pictures;
    std::vector<std::unique_ptr<std::string>> relatives;
    addPictures(folder, {});
    WalkSubfolders(folder, nullptr, [&](FolderToken parent, const std::string& name) -> FolderToken {
        const std::string* above = static_cast<const std::string*>(parent);
        auto relative = std::make_unique<std::string>(above ? *above + "/" + name : name);
        struct stat info {};
        const std::string path = JoinPath(folder, *relative);
        if (::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_dev == top.st_dev)
            addPictures(path, *relative);
        relatives.push_back(std::move(relative));
        return relatives.back().get();
    });
    return pictures;
}
