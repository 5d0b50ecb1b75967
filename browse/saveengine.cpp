// SPDX-License-Identifier: MIT
// One picture of a batch save.
#include "browse/saveengine.h"

#include "browse/classify.h"
#include "browse/naming.h"

#include <cerrno>
#include <cstring>
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
    result.code = image.ResizeInPlace(ImageSize{result.target.width, result.target.height}, settings.mode);
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
