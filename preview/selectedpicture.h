// SPDX-License-Identifier: MIT
// CSelectedPicture: one picture of the "Selected Pictures" list: its folder and name and
// its upright size, learnt by reading it once. It keeps no pixels.
#pragma once

#include <cstdint>
#include <string>

class CSelectedPicture {
public:
    /// Splits the path at its last '/' and reads the picture for its size (0 x 0 when it
    /// cannot be read): camera raw by the name's extension, else by the file's content.
    explicit CSelectedPicture(const std::string& path);
    virtual ~CSelectedPicture();

    /// "folder/name"; the name alone when there is no folder.
    std::string GetPath() const;
    std::string GetName() const { return m_strName; }

    std::string m_strName;
    std::string m_strFolder;
    std::int32_t m_nWidth = 0;
    std::int32_t m_nHeight = 0;

private:
    bool m_bHasFolder = false;
};

/// The image type a picture is read with: camera raw (23) by its extension, else 22 (by content).
int ReadTypeFor(const std::string& path);
