// SPDX-License-Identifier: MIT
// CSelectedPicture.
#include "preview/selectedpicture.h"

#include "browse/classify.h"
#include "imaging/isimageex.h"

int ReadTypeFor(const std::string& path) { return IsCameraRaw(path) ? kImageRaw : kImageDetect; }

CSelectedPicture::CSelectedPicture(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        m_strName = path;
    } else {
        m_bHasFolder = true;
        m_strFolder = path.substr(0, slash);
        m_strName = path.substr(slash + 1);
    }
    CISImageEx image;
    if (image.Read(path, ReadTypeFor(path)) == kImageOk) {
        m_nWidth = static_cast<std::int32_t>(image.width);
        m_nHeight = static_cast<std::int32_t>(image.height);
    }
}

CSelectedPicture::~CSelectedPicture() = default;

std::string CSelectedPicture::GetPath() const {
    // A path without a folder gives the name; a file directly in "/" keeps its root.
    return m_bHasFolder ? m_strFolder + '/' + m_strName : m_strName;
}
