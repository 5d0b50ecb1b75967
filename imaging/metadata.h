// SPDX-License-Identifier: MIT
// The description, author, copyright and time of a picture: read from a JPEG's EXIF block
// or a PNG's text chunks, and stamped into a written JPEG or PNG without touching its
// pixels. Qt-free: the window shows the returned messages, the command line prints them.
#pragma once

#include <ctime>
#include <string>

struct PictureMetadata {
    std::string description, author, copyright;
    std::string time; // "%Y:%m:%d %H:%M:%S", or empty when the source has none
};

/// Fills `record` from a JPEG's EXIF or a PNG's text chunks (other types: left empty).
/// Returns the message to show, empty when there is none.
std::string ReadPictureMetadata(const std::string& path, PictureMetadata& record);

struct StampResult {
    bool ok = true;        // false: the file is unchanged (byte for byte) and `message` says why
    std::string message;   // the message to show, empty when none
};

/// Stamps the record's texts (or the defaults) and `now` (formatted in local time) into the
/// JPEG or PNG at `path`; any other type is left unchanged with ok = true.
StampResult StampPictureMetadata(const PictureMetadata& record, const std::string& path, std::time_t now);
