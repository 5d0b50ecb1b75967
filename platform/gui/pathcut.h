// SPDX-License-Identifier: MIT
// Cutting device paths down to the part of the picture they can paint, so that what Qt
// rasterizes is bounded by the picture and not by the coordinates a metafile asks for.
#pragma once

#include <QPainterPath>
#include <QRectF>

#include <cstdint>

namespace platform::detail {

/// The part of `path` that fills `rect`, as closed figures cut to it: every point inside
/// `rect` keeps its winding number, so either fill rule paints the same there as the whole
/// path would. Curves lying inside `rect` are kept as curves; curves that cross its edge
/// are flattened to a quarter of a pixel; curves outside it become their chords.
/// `segments` is increased by the number of lines and curves of the result.
QPainterPath cutForFill(const QPainterPath& path, const QRectF& rect, std::uint64_t& segments);

/// The pieces of `path`'s outline (its figures as lines, not as areas) that lie inside
/// `rect`. A figure that returns to its start and is cut keeps the join at its start, so
/// stroking the pieces with a pen that reaches less than the distance from `rect` to what
/// is shown paints the same as stroking the whole path.
QPainterPath cutForStroke(const QPainterPath& path, const QRectF& rect, std::uint64_t& segments);

} // namespace platform::detail
