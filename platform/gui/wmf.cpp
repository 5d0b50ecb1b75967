// SPDX-License-Identifier: MIT
// Windows Metafile (WMF) records: the placeable and standard headers, and the replay of
// the drawing records onto the GDI player.
// Format: https://learn.microsoft.com/openspecs/windows_protocols/ms-wmf/
#include "platform/gui/metafileformats.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace platform::detail {

namespace {

constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr std::size_t kPlaceableSize = 22;
constexpr std::size_t kHeaderSize = 18;

std::uint16_t le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t le32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

enum : std::uint16_t {
    kEof = 0x0000,
    kSaveDc = 0x001E,
    kRealizePalette = 0x0035,
    kSetPalEntries = 0x0037,
    kCreatePalette = 0x00F7,
    kSetBkMode = 0x0102,
    kSetMapMode = 0x0103,
    kSetRop2 = 0x0104,
    kSetPolyFillMode = 0x0106,
    kSetStretchBltMode = 0x0107,
    kRestoreDc = 0x0127,
    kSelectObject = 0x012D,
    kSetTextAlign = 0x012E,
    kDibCreatePatternBrush = 0x0142,
    kDeleteObject = 0x01F0,
    kCreatePatternBrush = 0x01F9,
    kSetBkColor = 0x0201,
    kSetTextColor = 0x0209,
    kSetWindowOrg = 0x020B,
    kSetWindowExt = 0x020C,
    kSetViewportOrg = 0x020D,
    kSetViewportExt = 0x020E,
    kOffsetWindowOrg = 0x020F,
    kOffsetViewportOrg = 0x0211,
    kLineTo = 0x0213,
    kMoveTo = 0x0214,
    kCreatePenIndirect = 0x02FA,
    kCreateFontIndirect = 0x02FB,
    kCreateBrushIndirect = 0x02FC,
    kPolygon = 0x0324,
    kPolyline = 0x0325,
    kScaleWindowExt = 0x0410,
    kScaleViewportExt = 0x0412,
    kExcludeClipRect = 0x0415,
    kIntersectClipRect = 0x0416,
    kEllipse = 0x0418,
    kRectangle = 0x041B,
    kSetPixel = 0x041F,
    kTextOut = 0x0521,
    kPolyPolygon = 0x0538,
    kRoundRect = 0x061C,
    kPatBlt = 0x061D,
    kCreateRegion = 0x06FF,
    kArc = 0x0817,
    kPie = 0x081A,
    kChord = 0x0830,
    kBitBlt = 0x0922,
    kDibBitBlt = 0x0940,
    kExtTextOut = 0x0A32,
    kStretchBlt = 0x0B23,
    kDibStretchBlt = 0x0B41,
    kSetDibToDev = 0x0D33,
    kStretchDib = 0x0F43,
};

// Coordinates the drawing records touch, for sizing a file that sets no window.
struct CoordinateBox {
    double minX = std::numeric_limits<double>::max(), minY = minX;
    double maxX = std::numeric_limits<double>::lowest(), maxY = maxX;
    void add(double x, double y) {
        minX = std::min(minX, x);
        minY = std::min(minY, y);
        maxX = std::max(maxX, x);
        maxY = std::max(maxY, y);
    }
    bool valid() const { return maxX > minX && maxY > minY; }
};

// Parameters are 16-bit words; points and rectangles are stored y before x, bottom-right first.
void boxOf(std::uint16_t function, RecordReader r, CoordinateBox& box) {
    switch (function) {
    case kLineTo:
    case kMoveTo: {
        double y = r.i16(), x = r.i16();
        if (r.ok()) box.add(x, y);
        break;
    }
    case kRectangle:
    case kEllipse:
    case kRoundRect:
    case kArc:
    case kPie:
    case kChord: {
        if (function == kRoundRect) r.skip(4);
        if (function == kArc || function == kPie || function == kChord) r.skip(8);
        double b = r.i16(), rt = r.i16(), t = r.i16(), l = r.i16();
        if (r.ok()) {
            box.add(l, t);
            box.add(rt, b);
        }
        break;
    }
    case kPolygon:
    case kPolyline: {
        std::uint16_t n = r.u16();
        for (std::uint16_t i = 0; i < n && r.ok(); ++i) {
            double x = r.i16(), y = r.i16();
            if (r.ok()) box.add(x, y);
        }
        break;
    }
    case kPolyPolygon: {
        std::uint16_t polys = r.u16();
        std::uint64_t total = 0;
        for (std::uint16_t i = 0; i < polys && r.ok(); ++i) total += r.u16();
        for (std::uint64_t i = 0; i < total && r.ok(); ++i) {
            double x = r.i16(), y = r.i16();
            if (r.ok()) box.add(x, y);
        }
        break;
    }
    default: break;
    }
}

QRectF rectLTRB(double l, double t, double r, double b) { return QRectF(QPointF(l, t), QPointF(r, b)); }

bool readPolygon(RecordReader& r, std::uint64_t count, QPolygonF& out) {
    if (count * 4 > r.remaining()) return false;
    out.resize(static_cast<qsizetype>(count));
    for (std::uint64_t i = 0; i < count; ++i) {
        double x = r.i16(), y = r.i16();
        out[static_cast<qsizetype>(i)] = QPointF(x, y);
    }
    return r.ok();
}

QString ansiText(const std::uint8_t* bytes, std::size_t n) {
    return QString::fromLatin1(reinterpret_cast<const char*>(bytes), static_cast<qsizetype>(n));
}

// A packed DIB at the reader's position, drawn into a logical rectangle.
void blitDib(GdiPlayer& player, RecordReader& r, std::uint32_t usage, QRectF dest, DibSourceRect src, std::uint32_t rop) {
    DibRef dib;
    const std::uint8_t* packed = r.data() + r.pos();
    if (!splitPackedDib(packed, r.remaining(), usage, dib)) return player.fail(MetafileStatus::BadFormat);
    QImage image;
    switch (decodeDib(dib, src, false, player.setup().maxPixels, image)) {
    case DibDecode::Ok: break;
    case DibDecode::Skip: return;
    case DibDecode::Bad: return player.fail(MetafileStatus::BadFormat);
    case DibDecode::TooLarge: return player.fail(MetafileStatus::TooLarge);
    }
    if (!player.countPoints(static_cast<std::uint64_t>(image.width()) * image.height() / 16)) return;
    player.drawBitmap(dest, image, rop);
}

} // namespace

MetafileStatus readWmfLayout(const std::uint8_t* data, std::size_t size, MetafileLayout& layout, std::string& error) {
    layout = MetafileLayout{};
    layout.kind = MetafileKind::Wmf;
    std::size_t pos = 0;
    bool placeable = false;
    QRectF bbox;
    double unitsPerInch = 0;
    if (size >= 4 && le32(data) == kPlaceableKey) {
        if (size < kPlaceableSize) return error = "placeable header cut short", MetafileStatus::Truncated;
        const double l = static_cast<std::int16_t>(le16(data + 6)), t = static_cast<std::int16_t>(le16(data + 8));
        const double r = static_cast<std::int16_t>(le16(data + 10)), b = static_cast<std::int16_t>(le16(data + 12));
        unitsPerInch = le16(data + 14);
        if (unitsPerInch == 0) return error = "placeable header: zero units per inch", MetafileStatus::BadFormat;
        bbox = rectLTRB(l, t, r, b);
        placeable = true;
        pos = kPlaceableSize;
    }
    if (size - pos < kHeaderSize) return error = "header cut short", MetafileStatus::Truncated;
    const std::uint16_t type = le16(data + pos), headerWords = le16(data + pos + 2);
    if ((type != 1 && type != 2) || headerWords != 9) return error = "not a WMF header", MetafileStatus::BadFormat;
    const std::uint64_t declaredBytes = std::uint64_t{le32(data + pos + 6)} * 2;
    layout.tableSize = le16(data + pos + 10);
    const std::size_t start = pos;
    pos += kHeaderSize;
    layout.recordsOffset = pos;

    // Walk the record chain: every size must fit, so a cut file is refused before any pixel.
    bool sawEof = false, haveWindowExt = false, haveWindowOrg = false;
    QPointF windowOrg, windowExt;
    CoordinateBox box;
    std::uint64_t records = 0;
    while (size - pos >= 6) {
        const std::uint64_t words = le32(data + pos);
        const std::uint16_t function = le16(data + pos + 4);
        if (words < 3) return error = "record shorter than its header", MetafileStatus::BadFormat;
        if (words * 2 > size - pos) return error = "record runs past the end of the file", MetafileStatus::Truncated;
        if (++records > WorkBudget::kMaxRecords) return error = "too many records", MetafileStatus::TooComplex;
        if (function == kEof) {
            sawEof = true;
            pos += static_cast<std::size_t>(words * 2);
            break;
        }
        RecordReader r(data + pos + 6, static_cast<std::size_t>(words * 2 - 6));
        if (function == kSetWindowExt && !haveWindowExt) {
            double y = r.i16(), x = r.i16();
            if (r.ok() && x != 0 && y != 0) {
                windowExt = QPointF(x, y);
                haveWindowExt = true;
            }
        } else if (function == kSetWindowOrg && !haveWindowOrg) {
            double y = r.i16(), x = r.i16();
            if (r.ok()) {
                windowOrg = QPointF(x, y);
                haveWindowOrg = true;
            }
        } else if (!placeable && !haveWindowExt) {
            boxOf(function, r, box);
        }
        pos += static_cast<std::size_t>(words * 2);
    }
    if (!sawEof && (pos < size || declaredBytes > size - start))
        return error = "file ends inside the records", MetafileStatus::Truncated;
    layout.recordsEnd = pos;

    if (placeable) {
        if (bbox.width() == 0 || bbox.height() == 0) return error = "empty bounding box", MetafileStatus::BadFormat;
        layout.naturalWidth = std::fabs(bbox.width()) * 96 / unitsPerInch;
        layout.naturalHeight = std::fabs(bbox.height()) * 96 / unitsPerInch;
        layout.window = bbox;
    } else if (haveWindowExt) {
        layout.naturalWidth = std::fabs(windowExt.x());
        layout.naturalHeight = std::fabs(windowExt.y());
        layout.window = QRectF(windowOrg, QSizeF(windowExt.x(), windowExt.y()));
    } else if (box.valid()) {
        layout.naturalWidth = box.maxX - box.minX;
        layout.naturalHeight = box.maxY - box.minY;
        layout.window = QRectF(box.minX, box.minY, box.maxX - box.minX, box.maxY - box.minY);
    } else {
        return error = "no window extent and nothing drawn", MetafileStatus::BadFormat;
    }
    return MetafileStatus::Ok;
}

void playWmf(const std::uint8_t* data, const MetafileLayout& layout, GdiPlayer& player, std::string& error) {
    // The window fills the picture until the records set their own.
    DcState& dc = player.dc();
    dc.mapMode = kMmAnisotropic;
    dc.viewportOrg = QPointF(0, 0);
    dc.viewportExt = QPointF(player.setup().pictureSize.width(), player.setup().pictureSize.height());
    player.setWindowOrg(layout.window.topLeft());
    player.setWindowExt(QPointF(layout.window.width(), layout.window.height()));

    std::size_t pos = layout.recordsOffset;
    while (pos + 6 <= layout.recordsEnd && !player.failed()) {
        const std::size_t bytes = static_cast<std::size_t>(le32(data + pos)) * 2;
        const std::uint16_t function = le16(data + pos + 4);
        RecordReader r(data + pos + 6, bytes - 6);
        pos += bytes;
        if (!player.countRecord()) break;
        if (function == kEof) break;
        // A bitmap record without its bitmap is as long as its fixed parameters.
        const bool noBitmap = bytes / 2 == (function >> 8) + 3u;
        switch (function) {
        case kSaveDc: player.saveDc(); break;
        case kRestoreDc: player.restoreDc(r.i16()); break;
        case kSetBkMode: dc.bkOpaque = r.u16() == 2; break;
        case kSetMapMode: player.setMapMode(r.u16()); break;
        case kSetRop2: dc.rop2 = r.u16(); break;
        case kSetPolyFillMode: dc.fillRule = r.u16() == 2 ? Qt::WindingFill : Qt::OddEvenFill; break;
        case kSetStretchBltMode: dc.stretchMode = r.u16(); break;
        case kSetTextAlign: dc.textAlign = r.u16(); break;
        case kSetBkColor: dc.bkColor = colorRef(r.u32()); break;
        case kSetTextColor: dc.textColor = colorRef(r.u32()); break;
        case kSetWindowOrg: case kSetWindowExt: case kSetViewportOrg: case kSetViewportExt:
        case kOffsetWindowOrg: case kOffsetViewportOrg: case kLineTo: case kMoveTo: {
            double y = r.i16(), x = r.i16();
            if (!r.ok()) break;
            QPointF p(x, y);
            if (function == kSetWindowOrg) player.setWindowOrg(p);
            else if (function == kSetWindowExt) player.setWindowExt(p);
            else if (function == kSetViewportOrg) player.setViewportOrg(p);
            else if (function == kSetViewportExt) player.setViewportExt(p);
            else if (function == kOffsetWindowOrg) player.offsetWindowOrg(p);
            else if (function == kOffsetViewportOrg) player.offsetViewportOrg(p);
            else if (function == kLineTo) player.lineTo(p);
            else player.moveTo(p);
            break;
        }
        case kScaleWindowExt:
        case kScaleViewportExt: {
            double yDen = r.i16(), yNum = r.i16(), xDen = r.i16(), xNum = r.i16();
            if (!r.ok()) break;
            if (function == kScaleWindowExt) player.scaleWindowExt(xNum, xDen, yNum, yDen);
            else player.scaleViewportExt(xNum, xDen, yNum, yDen);
            break;
        }
        case kSelectObject: player.selectObject(r.u16()); break;
        case kDeleteObject: player.deleteObject(r.u16()); break;
        case kCreatePenIndirect: {
            GdiObject o;
            o.type = GdiObject::Type::Pen;
            std::uint16_t style = r.u16();
            std::int16_t width = r.i16();
            r.i16();
            o.pen.color = colorRef(r.u32());
            o.pen.style = style;
            o.pen.null = (style & 0xF) == 5;
            o.pen.cosmetic = false;
            o.pen.width = std::abs(static_cast<int>(width));
            o.pen.cap = penCap(style);
            o.pen.join = penJoin(style);
            player.createObject(std::move(o));
            break;
        }
        case kCreateBrushIndirect: {
            GdiObject o;
            o.type = GdiObject::Type::Brush;
            std::uint16_t style = r.u16();
            o.brush.color = colorRef(r.u32());
            o.brush.hatch = r.u16();
            o.brush.kind = style == 1 ? BrushSpec::Kind::Null
                         : style == 2 ? BrushSpec::Kind::Hatched
                                      : BrushSpec::Kind::Solid;
            player.createObject(std::move(o));
            break;
        }
        case kDibCreatePatternBrush: {
            GdiObject o;
            o.type = GdiObject::Type::Brush;
            r.u16();
            std::uint32_t usage = r.u16();
            DibRef dib;
            QImage image;
            if (r.ok() && splitPackedDib(r.data() + r.pos(), r.remaining(), usage, dib) &&
                decodeDib(dib, DibSourceRect{}, false, std::min<std::uint64_t>(player.setup().maxPixels, 1 << 20), image) ==
                    DibDecode::Ok) {
                o.brush.kind = BrushSpec::Kind::Pattern;
                o.brush.pattern = image;
            }
            player.createObject(std::move(o));
            break;
        }
        case kCreateFontIndirect: {
            GdiObject o;
            o.type = GdiObject::Type::Font;
            o.font.height = r.i16();
            r.i16();
            o.font.escapement = r.i16();
            r.i16();
            o.font.weight = r.i16();
            o.font.italic = r.u8();
            o.font.underline = r.u8();
            o.font.strikeOut = r.u8();
            r.skip(5);
            if (r.ok()) {
                std::size_t n = std::min<std::size_t>(r.remaining(), 32);
                const std::uint8_t* face = r.bytes(n);
                std::size_t len = 0;
                while (len < n && face[len]) ++len;
                o.font.face = ansiText(face, len);
            }
            player.createObject(std::move(o));
            break;
        }
        case kCreatePalette:
        case kCreatePatternBrush:
        case kCreateRegion: {
            // Objects the player does not draw with still take their slot in the table.
            GdiObject o;
            if (function == kCreatePatternBrush) {
                o.type = GdiObject::Type::Brush;
                o.brush.color = Qt::black;
            }
            player.createObject(std::move(o));
            break;
        }
        case kPolygon:
        case kPolyline: {
            std::uint16_t n = r.u16();
            QPolygonF poly;
            if (!readPolygon(r, n, poly)) {
                player.fail(MetafileStatus::BadFormat);
                error = "polygon longer than its record";
                break;
            }
            if (function == kPolygon) player.polygon(poly);
            else player.polyline(poly);
            break;
        }
        case kPolyPolygon: {
            std::uint16_t count = r.u16();
            if (std::uint64_t{count} * 2 > r.remaining()) {
                player.fail(MetafileStatus::BadFormat);
                break;
            }
            std::vector<std::uint16_t> sizes(count);
            std::uint64_t total = 0;
            for (auto& s : sizes) total += s = r.u16();
            if (total * 4 > r.remaining()) {
                player.fail(MetafileStatus::BadFormat);
                error = "polygons longer than their record";
                break;
            }
            std::vector<QPolygonF> polys(count);
            for (std::size_t i = 0; i < count; ++i) readPolygon(r, sizes[i], polys[i]);
            player.polyPolygon(polys);
            break;
        }
        case kRectangle:
        case kEllipse:
        case kIntersectClipRect:
        case kExcludeClipRect: {
            double b = r.i16(), rt = r.i16(), t = r.i16(), l = r.i16();
            if (!r.ok()) break;
            QRectF rect = rectLTRB(l, t, rt, b);
            if (function == kRectangle) player.rectangle(rect);
            else if (function == kEllipse) player.ellipse(rect);
            else if (function == kIntersectClipRect) player.intersectClipRect(rect);
            else player.excludeClipRect(rect);
            break;
        }
        case kRoundRect: {
            double h = r.i16(), w = r.i16(), b = r.i16(), rt = r.i16(), t = r.i16(), l = r.i16();
            if (r.ok()) player.roundRect(rectLTRB(l, t, rt, b), w, h);
            break;
        }
        case kArc:
        case kPie:
        case kChord: {
            double ye = r.i16(), xe = r.i16(), ys = r.i16(), xs = r.i16();
            double b = r.i16(), rt = r.i16(), t = r.i16(), l = r.i16();
            if (!r.ok()) break;
            ArcKind kind = function == kArc ? ArcKind::Arc : function == kPie ? ArcKind::Pie : ArcKind::Chord;
            player.arc(kind, rectLTRB(l, t, rt, b), QPointF(xs, ys), QPointF(xe, ye));
            break;
        }
        case kSetPixel: {
            QColor c = colorRef(r.u32());
            double y = r.i16(), x = r.i16();
            if (r.ok()) player.setPixel(QPointF(x, y), c);
            break;
        }
        case kPatBlt: {
            std::uint32_t rop = r.u32();
            double h = r.i16(), w = r.i16(), y = r.i16(), x = r.i16();
            if (r.ok()) player.patBlt(QRectF(x, y, w, h), rop);
            break;
        }
        case kBitBlt:
        case kStretchBlt:
        case kDibBitBlt:
        case kDibStretchBlt: {
            const bool stretch = function == kStretchBlt || function == kDibStretchBlt;
            std::uint32_t rop = r.u32();
            double sh = 0, sw = 0;
            if (stretch) {
                sh = r.i16();
                sw = r.i16();
            }
            double ys = r.i16(), xs = r.i16();
            if (noBitmap) r.u16();
            double h = r.i16(), w = r.i16(), y = r.i16(), x = r.i16();
            if (!r.ok()) {
                player.fail(MetafileStatus::BadFormat);
                break;
            }
            if (!stretch) {
                sw = w;
                sh = h;
            }
            if (noBitmap) {
                player.patBlt(QRectF(x, y, w, h), rop);
            } else if (function == kDibBitBlt || function == kDibStretchBlt) {
                DibSourceRect src{static_cast<std::int64_t>(xs), static_cast<std::int64_t>(ys),
                                  static_cast<std::int64_t>(sw), static_cast<std::int64_t>(sh), false, false};
                blitDib(player, r, 0, QRectF(x, y, w, h), src, rop);
            }
            // BITBLT and STRETCHBLT with a device-dependent bitmap are not drawn.
            break;
        }
        case kStretchDib: {
            std::uint32_t rop = r.u32();
            std::uint32_t usage = r.u16();
            double sh = r.i16(), sw = r.i16(), ys = r.i16(), xs = r.i16();
            double h = r.i16(), w = r.i16(), y = r.i16(), x = r.i16();
            if (!r.ok()) {
                player.fail(MetafileStatus::BadFormat);
                break;
            }
            DibSourceRect src{static_cast<std::int64_t>(xs), static_cast<std::int64_t>(ys),
                              static_cast<std::int64_t>(sw), static_cast<std::int64_t>(sh), false, true};
            blitDib(player, r, usage, QRectF(x, y, w, h), src, rop);
            break;
        }
        case kSetDibToDev: {
            std::uint32_t usage = r.u16();
            r.u16();
            r.u16();
            double ys = r.i16(), xs = r.i16(), h = r.i16(), w = r.i16(), y = r.i16(), x = r.i16();
            if (!r.ok()) {
                player.fail(MetafileStatus::BadFormat);
                break;
            }
            DibSourceRect src{static_cast<std::int64_t>(xs), static_cast<std::int64_t>(ys),
                              static_cast<std::int64_t>(w), static_cast<std::int64_t>(h), false, true};
            blitDib(player, r, usage, QRectF(x, y, w, h), src, 0x00CC0020);
            break;
        }
        case kTextOut: {
            std::uint16_t n = r.u16();
            const std::uint8_t* text = r.bytes(n + (n & 1u));
            double y = r.i16(), x = r.i16();
            if (!r.ok() || !text) {
                player.fail(MetafileStatus::BadFormat);
                break;
            }
            player.textOut(QPointF(x, y), ansiText(text, n), {}, 0, std::nullopt);
            break;
        }
        case kExtTextOut: {
            double y = r.i16(), x = r.i16();
            std::uint16_t n = r.u16();
            std::uint16_t options = r.u16();
            std::optional<QRectF> rect;
            if (options & 6) { // ETO_OPAQUE or ETO_CLIPPED carry a rectangle
                double l = r.i16(), t = r.i16(), rt = r.i16(), b = r.i16();
                rect = rectLTRB(l, t, rt, b);
            }
            const std::uint8_t* text = r.bytes(n + (n & 1u));
            if (!r.ok() || !text) {
                player.fail(MetafileStatus::BadFormat);
                break;
            }
            std::vector<double> dx;
            if (r.remaining() >= std::size_t{n} * 2) {
                dx.resize(n);
                for (auto& d : dx) d = r.i16();
            }
            player.textOut(QPointF(x, y), ansiText(text, n), dx, options, rect);
            break;
        }
        default: break; // skipped by its size
        }
    }
}

} // namespace platform::detail
