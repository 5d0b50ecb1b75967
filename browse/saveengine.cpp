// SPDX-License-Identifier: MIT
// One picture of a batch save.
#include "browse/saveengine.h"

#include "browse/classify.h"
#include "browse/foldertree.h"
#include "browse/naming.h"
#include "imaging/iccprofile.h"
#include "imaging/keepmetadata.h"
#include "platform/files.h"

#include <cerrno>
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

PreparedPicture PreparePicture(const std::string& source, const SaveOptions& settings, CISImageEx& image,
                               const std::string& tag,
                               const std::function<std::optional<std::string>(const TargetSize&)>& outputFor) {
    PreparedPicture result;
    struct ClearAfter {
        CISImageEx& image;
        ~ClearAfter() { image.Clear(); }
    } clear{image};

    result.stage = SaveStage::Read;
    result.code = image.Read(source, IsCameraRaw(source) ? kImageRaw : kImageDetect);
    if (result.code != kImageOk) return result;

    SizeRequest size = settings.size;
    size.pictureWidth = image.width;
    size.pictureHeight = image.height;
    // The name follows the choice; the size written may be the picture's own.
    const TargetSize named = ComputeTargetSize(size);
    result.target = settings.noEnlarge ? WithoutEnlarging(named, image.width, image.height) : named;
    result.stage = SaveStage::Resize;
    result.code = imaging::resizeImageWithFilter(image, ImageSize{result.target.width, result.target.height},
                                                settings.filter, settings.mode);
    if (result.code != kImageOk) return result;

    result.stage = SaveStage::Split;
    result.output = outputFor ? outputFor(named) : SaveOutputPath(source, settings, named);
    if (!result.output) return result;

    image.jpegQuality = EffectiveQuality(settings.quality);
    result.stage = SaveStage::Write;
    const std::string temp = folderOf(*result.output) + "." + tag + ".part";
    result.code = image.Write(settings.type.writerType, temp);
    if (result.code != kImageOk) {
        ::unlink(temp.c_str()); // a failed write leaves nothing, but be sure
        return result;
    }
    if (settings.keepIcc && imaging::TakesIccProfile(settings.type.writerType) &&
        !imaging::EmbedIccProfile(temp, settings.type.writerType, imaging::ReadIccProfile(source))) {
        ::unlink(temp.c_str());
        result.code = IS5_ERR_WRITE;
        return result;
    }
    if (settings.keepMetadata &&
        !imaging::EmbedKeptMetadata(temp, settings.type.writerType, imaging::ReadKeptMetadata(source),
                                    result.target.width, result.target.height, settings.stripPrivate)) {
        ::unlink(temp.c_str());
        result.code = IS5_ERR_WRITE;
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
