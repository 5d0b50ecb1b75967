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
    if (!splitPackedDib(r.data() + r.pos(), r.remaining(), usage, dib)) return player.fail(MetafileStatus::BadFormat);
    drawDib(player, dib, src, dest, rop);
}

DibSourceRect sourceRect(double x, double y, double w, double h, bool fromBottom) {
    return {static_cast<std::int64_t>(x), static_cast<std::int64_t>(y), static_cast<std::int64_t>(w),
            static_cast<std::int64_t>(h), false, fromBottom};
}

// One record being replayed: its function, a reader over its parameters and the player it
// draws on. Parameters are 16-bit words, stored last first.
struct Record {
    std::uint16_t function;
    std::size_t bytes; // the whole record's
    RecordReader& r;
    GdiPlayer& player;
    std::string& error;

    void fail(const char* what = nullptr) {
        player.fail(MetafileStatus::BadFormat);
        if (what) error = what;
    }
};

// Colours are 32-bit COLORREFs, every other value a 16-bit word.
constexpr std::pair<std::uint16_t, DcValue> kDcValueRecords[] = {
    {kSetMapMode, DcValue::MapMode}, {kSetBkMode, DcValue::BkMode}, {kSetPolyFillMode, DcValue::PolyFillMode},
    {kSetRop2, DcValue::Rop2}, {kSetStretchBltMode, DcValue::StretchMode}, {kSetTextAlign, DcValue::TextAlign},
    {kSetTextColor, DcValue::TextColor}, {kSetBkColor, DcValue::BkColor}};

void playDcValue(Record& rec) {
    const DcValue which = *lookup(kDcValueRecords, rec.function);
    const bool colour = which == DcValue::TextColor || which == DcValue::BkColor;
    setDcValue(rec.player, which, colour ? rec.r.u32() : rec.r.u16());
}

// The other records that change the device context's state.
void playSetting(Record& rec) {
    RecordReader& r = rec.r;
    GdiPlayer& player = rec.player;
    switch (rec.function) {
    case kSaveDc: player.saveDc(); break;
    case kRestoreDc: player.restoreDc(r.i16()); break;
    case kSelectObject: player.selectObject(r.u16()); break;
    case kDeleteObject: player.deleteObject(r.u16()); break;
    case kSetPixel: {
        QColor c = colorRef(r.u32());
        double y = r.i16(), x = r.i16();
        if (r.ok()) player.setPixel(QPointF(x, y), c);
        break;
    }
    default: break;
    }
}

constexpr std::pair<std::uint16_t, PointCall> kPointRecords[] = {
    {kSetWindowOrg, &GdiPlayer::setWindowOrg}, {kSetWindowExt, &GdiPlayer::setWindowExt},
    {kSetViewportOrg, &GdiPlayer::setViewportOrg}, {kSetViewportExt, &GdiPlayer::setViewportExt},
    {kOffsetWindowOrg, &GdiPlayer::offsetWindowOrg}, {kOffsetViewportOrg, &GdiPlayer::offsetViewportOrg},
    {kLineTo, &GdiPlayer::lineTo}, {kMoveTo, &GdiPlayer::moveTo}};

// Records of one point: the window and viewport, and the current position.
void playPoint(Record& rec) {
    double y = rec.r.i16(), x = rec.r.i16();
    if (rec.r.ok()) (rec.player.*(*lookup(kPointRecords, rec.function)))(QPointF(x, y));
}

void playCreateObject(Record& rec) {
    RecordReader& r = rec.r;
    GdiObject o;
    switch (rec.function) {
    case kCreatePenIndirect: {
        const std::uint16_t style = r.u16();
        const double width = r.i16();
        r.i16(); // the height of a pen's width is not used
        o = logicalPen(style, width, colorRef(r.u32()));
        break;
    }
    case kCreateBrushIndirect: {
        const std::uint16_t style = r.u16();
        const QColor color = colorRef(r.u32());
        o = logicalBrush(style, color, r.u16());
        break;
    }
    case kDibCreatePatternBrush: {
        r.u16(); // style: the bitmap says all
        const std::uint32_t usage = r.u16();
        DibRef dib;
        o.type = GdiObject::Type::Brush;
        if (r.ok() && splitPackedDib(r.data() + r.pos(), r.remaining(), usage, dib))
            patternBrush(dib, rec.player.setup().maxPixels, false, o);
        break;
    }
    case kCreateFontIndirect: readLogFont(r, false, o); break;
    case kCreatePatternBrush: // a device-dependent pattern, not drawn: a black brush holds its slot
        o.type = GdiObject::Type::Brush;
        o.brush.color = Qt::black;
        break;
    default: break; // palettes and regions still take their slot in the table
    }
    rec.player.createObject(std::move(o));
}

void playScale(Record& rec) {
    double yDen = rec.r.i16(), yNum = rec.r.i16(), xDen = rec.r.i16(), xNum = rec.r.i16();
    if (rec.r.ok()) scaleExtent(rec.player, rec.function == kScaleWindowExt, xNum, xDen, yNum, yDen);
}

void playPolygon(Record& rec) {
    RecordReader& r = rec.r;
    std::uint16_t n = r.u16();
    QPolygonF poly;
    if (!readPolygon(r, n, poly)) return rec.fail("polygon longer than its record");
    if (rec.function == kPolygon) rec.player.polygon(poly);
    else rec.player.polyline(poly);
}

void playPolyPolygon(Record& rec) {
    RecordReader& r = rec.r;
    std::uint16_t count = r.u16();
    if (std::uint64_t{count} * 2 > r.remaining()) return rec.fail();
    std::vector<std::uint16_t> sizes(count);
    std::uint64_t total = 0;
    for (auto& s : sizes) total += s = r.u16();
    if (total * 4 > r.remaining()) return rec.fail("polygons longer than their record");
    std::vector<QPolygonF> polys(count);
    for (std::size_t i = 0; i < count; ++i) readPolygon(r, sizes[i], polys[i]);
    rec.player.polyPolygon(polys);
}

constexpr std::pair<std::uint16_t, RectCall> kRectRecords[] = {
    {kRectangle, &GdiPlayer::rectangle}, {kEllipse, &GdiPlayer::ellipse},
    {kIntersectClipRect, &GdiPlayer::intersectClipRect}, {kExcludeClipRect, &GdiPlayer::excludeClipRect}};

void playShape(Record& rec) {
    RecordReader& r = rec.r;
    GdiPlayer& player = rec.player;
    switch (rec.function) {
    case kRoundRect: {
        double h = r.i16(), w = r.i16(), b = r.i16(), rt = r.i16(), t = r.i16(), l = r.i16();
        if (r.ok()) player.roundRect(rectLTRB(l, t, rt, b), w, h);
        return;
    }
    case kArc: case kPie: case kChord: {
        double ye = r.i16(), xe = r.i16(), ys = r.i16(), xs = r.i16();
        double b = r.i16(), rt = r.i16(), t = r.i16(), l = r.i16();
        if (!r.ok()) return;
        ArcKind kind = rec.function == kArc ? ArcKind::Arc : rec.function == kPie ? ArcKind::Pie : ArcKind::Chord;
        player.arc(kind, rectLTRB(l, t, rt, b), QPointF(xs, ys), QPointF(xe, ye));
        return;
    }
    default: break;
    }
    double b = r.i16(), rt = r.i16(), t = r.i16(), l = r.i16();
    if (r.ok()) (player.*(*lookup(kRectRecords, rec.function)))(rectLTRB(l, t, rt, b));
}

void playPatBlt(Record& rec) {
    RecordReader& r = rec.r;
    std::uint32_t rop = r.u32();
    double h = r.i16(), w = r.i16(), y = r.i16(), x = r.i16();
    if (r.ok()) rec.player.patBlt(QRectF(x, y, w, h), rop);
}

void playBlit(Record& rec) {
    RecordReader& r = rec.r;
    const std::uint16_t function = rec.function;
    // A bitmap record without its bitmap is as long as its fixed parameters.
    const bool noBitmap = rec.bytes / 2 == (function >> 8) + 3u;
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
    if (!r.ok()) return rec.fail();
    if (!stretch) {
        sw = w;
        sh = h;
    }
    if (noBitmap) rec.player.patBlt(QRectF(x, y, w, h), rop);
    else if (function == kDibBitBlt || function == kDibStretchBlt)
        blitDib(rec.player, r, kDibRgbColors, QRectF(x, y, w, h), sourceRect(xs, ys, sw, sh, false), rop);
    // BITBLT and STRETCHBLT with a device-dependent bitmap are not drawn.
}

void playStretchDib(Record& rec) {
    RecordReader& r = rec.r;
    std::uint32_t rop = r.u32();
    std::uint32_t usage = r.u16();
    double sh = r.i16(), sw = r.i16(), ys = r.i16(), xs = r.i16();
    double h = r.i16(), w = r.i16(), y = r.i16(), x = r.i16();
    if (!r.ok()) return rec.fail();
    blitDib(rec.player, r, usage, QRectF(x, y, w, h), sourceRect(xs, ys, sw, sh, true), rop);
}

void playSetDibToDev(Record& rec) {
    RecordReader& r = rec.r;
    std::uint32_t usage = r.u16();
    r.skip(4); // scan count and first scan line: the bits hold the lines drawn
    double ys = r.i16(), xs = r.i16(), h = r.i16(), w = r.i16(), y = r.i16(), x = r.i16();
    if (!r.ok()) return rec.fail();
    blitDib(rec.player, r, usage, QRectF(x, y, w, h), sourceRect(xs, ys, w, h, true), kSrcCopy);
}

void playTextOut(Record& rec) {
    RecordReader& r = rec.r;
    std::uint16_t n = r.u16();
    const std::uint8_t* text = r.bytes(n + (n & 1u));
    double y = r.i16(), x = r.i16();
    if (!r.ok() || !text) return rec.fail();
    rec.player.textOut(QPointF(x, y), ansiText(text, n), {}, 0, std::nullopt);
}

void playExtTextOut(Record& rec) {
    RecordReader& r = rec.r;
    double y = r.i16(), x = r.i16();
    std::uint16_t n = r.u16();
    std::uint16_t options = r.u16();
    std::optional<QRectF> rect;
    if (options & (kEtoOpaque | kEtoClipped)) { // these carry a rectangle
        double l = r.i16(), t = r.i16(), rt = r.i16(), b = r.i16();
        rect = rectLTRB(l, t, rt, b);
    }
    const std::uint8_t* text = r.bytes(n + (n & 1u));
    if (!r.ok() || !text) return rec.fail();
    std::vector<double> dx;
    if (r.remaining() >= std::size_t{n} * 2) {
        dx.resize(n);
        for (auto& d : dx) d = r.i16();
    }
    rec.player.textOut(QPointF(x, y), ansiText(text, n), dx, options, rect);
}

using Handler = void (*)(Record&);

// The handler of each record function the player draws; other records are skipped by their size.
Handler handlerFor(std::uint16_t function) {
    switch (function) {
    case kSetBkMode: case kSetMapMode: case kSetRop2: case kSetPolyFillMode: case kSetStretchBltMode:
    case kSetTextAlign: case kSetBkColor: case kSetTextColor: return playDcValue;
    case kSaveDc: case kRestoreDc: case kSelectObject: case kDeleteObject: case kSetPixel: return playSetting;
    case kSetWindowOrg: case kSetWindowExt: case kSetViewportOrg: case kSetViewportExt:
    case kOffsetWindowOrg: case kOffsetViewportOrg: case kLineTo: case kMoveTo: return playPoint;
    case kScaleWindowExt: case kScaleViewportExt: return playScale;
    case kCreatePenIndirect: case kCreateBrushIndirect: case kDibCreatePatternBrush: case kCreateFontIndirect:
    case kCreatePalette: case kCreatePatternBrush: case kCreateRegion: return playCreateObject;
    case kPolygon: case kPolyline: return playPolygon;
    case kPolyPolygon: return playPolyPolygon;
    case kRectangle: case kEllipse: case kIntersectClipRect: case kExcludeClipRect: case kRoundRect:
    case kArc: case kPie: case kChord: return playShape;
    case kPatBlt: return playPatBlt;
    case kBitBlt: case kStretchBlt: case kDibBitBlt: case kDibStretchBlt: return playBlit;
    case kStretchDib: return playStretchDib;
    case kSetDibToDev: return playSetDibToDev;
    case kTextOut: return playTextOut;
    case kExtTextOut: return playExtTextOut;
    default: return nullptr;
    }
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
        if (Handler handler = handlerFor(function)) {
            Record record{function, bytes, r, player, error};
            handler(record);
        }
    }
}

} // namespace platform::detail
