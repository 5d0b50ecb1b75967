// SPDX-License-Identifier: MIT
// The QImage behind a CDC, for widgets that paint it.
#pragma once

#include "platform/gui/cdc.h"

#include <QImage>

struct CDC::Surface {
    QImage image;
    std::uint64_t generation = 0;
};

inline const QImage& surfaceImage(CDC& dc) { return dc.surface().image; }
