// SPDX-License-Identifier: MIT
// Reading and stamping a picture's description, author, copyright and time.
#include "imaging/metadata.h"

#include "imaging/is5.h"

std::string ReadPictureMetadata(const std::string& path, PictureMetadata& record) {
    record = PictureMetadata{};
    IS5_SOURCE source = is5_OpenFileSource(path.c_str());
    if (!source) return "The File, " + path + " could not be found. Unable to proceed reading metadata.";
    is5_CloseSource(source);
    return {};
}

StampResult StampPictureMetadata(const PictureMetadata&, const std::string& path, std::time_t) {
    IS5_SOURCE source = is5_OpenFileSource(path.c_str());
    if (!source) return {false, "The File, " + path + " could not be found. Unable to proceed."};
    is5_CloseSource(source);
    return {};
}
