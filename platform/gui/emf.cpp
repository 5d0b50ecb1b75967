// SPDX-License-Identifier: MIT
// Enhanced Metafile (EMF) records: the header with its frame and reference device, and the
// replay of the drawing records onto the GDI player.
// Format: https://learn.microsoft.com/openspecs/windows_protocols/ms-emf/
#include "platform/gui/metafileformats.h"

#include <algorithm>
#include <cmath>

namespace platform::detail {

namespace {

constexpr std::uint32_t kSignature = 0x464D4520; // " EMF"
constexpr std::size_t kMinHeader = 88;

std::uint32_t le32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::int32_t sle32(const std::uint8_t* p) { return static_cast<std::int32_t>(le32(p)); }

enum : std::uint32_t {
    kHeader = 1, kPolyBezier = 2, kPolygon = 3, kPolyline = 4, kPolyBezierTo = 5, kPolylineTo = 6,
    kPolyPolyline = 7, kPolyPolygon = 8, kSetWindowExtEx = 9, kSetWindowOrgEx = 10, kSetViewportExtEx = 11,
    kSetViewportOrgEx = 12, kEof = 14, kSetPixelV = 15, kSetMapMode = 17, kSetBkMode = 18,
    kSetPolyFillMode = 19, kSetRop2 = 20, kSetStretchBltMode = 21, kSetTextAlign = 22, kSetTextColor = 24,
    kSetBkColor = 25, kMoveToEx = 27, kExcludeClipRect = 29, kIntersectClipRect = 30,
    kScaleViewportExtEx = 31, kScaleWindowExtEx = 32, kSaveDc = 33, kRestoreDc = 34, kSetWorldTransform = 35,
    kModifyWorldTransform = 36, kSelectObject = 37, kCreatePen = 38, kCreateBrushIndirect = 39,
    kDeleteObject = 40, kAngleArc = 41, kEllipse = 42, kRectangle = 43, kRoundRect = 44, kArc = 45,
    kChord = 46, kPie = 47, kCreatePalette = 49, kLineTo = 54, kArcTo = 55, kPolyDraw = 56,
    kSetArcDirection = 57, kSetMiterLimit = 58, kBeginPath = 59, kEndPath = 60, kCloseFigure = 61,
    kFillPath = 62, kStrokeAndFillPath = 63, kStrokePath = 64, kSelectClipPath = 67, kAbortPath = 68,
    kFillRgn = 71, kPaintRgn = 74, kExtSelectClipRgn = 75, kBitBlt = 76, kStretchBlt = 77,
    kSetDiBitsToDevice = 80, kStretchDiBits = 81, kExtCreateFontIndirectW = 82, kExtTextOutA = 83,
    kExtTextOutW = 84, kPolyBezier16 = 85, kPolygon16 = 86, kPolyline16 = 87, kPolyBezierTo16 = 88,
    kPolylineTo16 = 89, kPolyPolyline16 = 90, kPolyPolygon16 = 91, kPolyDraw16 = 92, kCreateMonoBrush = 93,
    kCreateDibPatternBrushPt = 94, kExtCreatePen = 95, kCreateColorSpace = 99, kAlphaBlend = 114,
    kCreateColorSpaceW = 122,
};

bool readPoints(RecordReader& r, std::uint64_t count, bool small, QPolygonF& out) {
    if (count * (small ? 4 : 8) > r.remaining()) return false;
    out.resize(static_cast<qsizetype>(count));
    for (std::uint64_t i = 0; i < count; ++i) {
        double x = small ? r.i16() : r.i32();
        double y = small ? r.i16() : r.i32();
        out[static_cast<qsizetype>(i)] = QPointF(x, y);
    }
    return r.ok();
}

QRectF readRectL(RecordReader& r) {
    double l = r.i32(), t = r.i32(), rt = r.i32(), b = r.i32();
    return QRectF(QPointF(l, t), QPointF(rt, b));
}

QTransform readXform(RecordReader& r) {
    double m11 = r.f32(), m12 = r.f32(), m21 = r.f32(), m22 = r.f32(), dx = r.f32(), dy = r.f32();
    return QTransform(m11, m12, m21, m22, dx, dy);
}

// A DIB that the record locates by offsets from its own start.
bool dibAt(const RecordReader& r, std::uint32_t offBmi, std::uint32_t cbBmi, std::uint32_t offBits, std::uint32_t cbBits,
           std::uint32_t usage, DibRef& dib) {
    if (!r.contains(offBmi, cbBmi) || !r.contains(offBits, cbBits)) return false;
    dib = DibRef{r.data() + offBmi, cbBmi, r.data() + offBits, cbBits, usage};
    return true;
}

// Rectangles of an RGNDATA block at the reader's position; false when it does not fit.
bool readRegion(RecordReader& r, std::uint32_t cbRgnData, std::vector<QRect>& rects) {
    if (cbRgnData < 32 || cbRgnData > r.remaining()) return false;
    r.u32();
    r.u32();
    std::uint32_t count = r.u32();
    r.skip(20);
    if (std::uint64_t{count} * 16 > cbRgnData - 32) return false;
    rects.resize(count);
    for (QRect& q : rects) {
        std::int32_t l = r.i32(), t = r.i32(), rt = r.i32(), b = r.i32();
        q = QRect(QPoint(l, t), QPoint(rt - 1, b - 1)); // RECTL's right and bottom are exclusive
    }
    return r.ok();
}

void failRecord(GdiPlayer& player, std::string& error, const char* what) {
    if (!player.failed()) error = what;
    player.fail(MetafileStatus::BadFormat);
}

// One record being replayed: its type, a reader over it (past the type and size) and the
// player it draws on.
struct Record {
    std::uint32_t type;
    RecordReader& r;
    GdiPlayer& player;
    std::string& error;

    void fail(const char* what) { failRecord(player, error, what); }
};

void playPoints(Record& rec) {
    RecordReader& r = rec.r;
    const bool small = rec.type >= kPolyBezier16;
    const std::uint32_t base = small ? rec.type - kPolyBezier16 + kPolyBezier : rec.type;
    r.skip(16); // bounds
    std::uint32_t count = r.u32();
    QPolygonF points;
    if (!r.ok() || !readPoints(r, count, small, points)) return rec.fail("points longer than their record");
    switch (base) {
    case kPolyBezier: rec.player.polyBezier(points); break;
    case kPolygon: rec.player.polygon(points); break;
    case kPolyline: rec.player.polyline(points); break;
    case kPolyBezierTo: rec.player.polyBezierTo(points); break;
    default: rec.player.polylineTo(points); break;
    }
}

void playScale(Record& rec) {
    double xNum = rec.r.i32(), xDen = rec.r.i32(), yNum = rec.r.i32(), yDen = rec.r.i32();
    if (rec.r.ok()) scaleExtent(rec.player, rec.type == kScaleWindowExtEx, xNum, xDen, yNum, yDen);
}

void playPolyPolygon(Record& rec) {
    RecordReader& r = rec.r;
    const bool small = rec.type == kPolyPolyline16 || rec.type == kPolyPolygon16;
    r.skip(16);
    const std::uint32_t polys = r.u32(), total = r.u32();
    if (!r.ok() || std::uint64_t{polys} * 4 + std::uint64_t{total} * (small ? 4 : 8) > r.remaining())
        return rec.fail("polygons longer than their record");
    std::vector<std::uint32_t> counts(polys);
    std::uint64_t sum = 0;
    for (auto& c : counts) sum += c = r.u32();
    if (sum > total) return rec.fail("polygon counts exceed the point total");
    std::vector<QPolygonF> shapes(polys);
    for (std::size_t i = 0; i < polys; ++i) readPoints(r, counts[i], small, shapes[i]);
    if (rec.type == kPolyPolygon || rec.type == kPolyPolygon16) rec.player.polyPolygon(shapes);
    else rec.player.polyPolyline(shapes);
}

void playPolyDraw(Record& rec) {
    RecordReader& r = rec.r;
    const bool small = rec.type == kPolyDraw16;
    r.skip(16);
    const std::uint32_t count = r.u32();
    QPolygonF points;
    if (!r.ok() || std::uint64_t{count} * (small ? 5 : 9) > r.remaining() || !readPoints(r, count, small, points))
        return rec.fail("points longer than their record");
    std::vector<std::uint8_t> types(count);
    for (auto& t : types) t = r.u8();
    rec.player.polyDraw(points, types);
}

constexpr std::pair<std::uint32_t, PointCall> kPointRecords[] = {
    {kSetWindowExtEx, &GdiPlayer::setWindowExt}, {kSetWindowOrgEx, &GdiPlayer::setWindowOrg},
    {kSetViewportExtEx, &GdiPlayer::setViewportExt}, {kSetViewportOrgEx, &GdiPlayer::setViewportOrg},
    {kMoveToEx, &GdiPlayer::moveTo}, {kLineTo, &GdiPlayer::lineTo}};

// Records of one point: the window and viewport, and the current position.
void playPoint(Record& rec) {
    double x = rec.r.i32(), y = rec.r.i32();
    if (rec.r.ok()) (rec.player.*(*lookup(kPointRecords, rec.type)))(QPointF(x, y));
}

constexpr std::pair<std::uint32_t, DcValue> kDcValueRecords[] = {
    {kSetMapMode, DcValue::MapMode}, {kSetBkMode, DcValue::BkMode}, {kSetPolyFillMode, DcValue::PolyFillMode},
    {kSetRop2, DcValue::Rop2}, {kSetStretchBltMode, DcValue::StretchMode}, {kSetTextAlign, DcValue::TextAlign},
    {kSetTextColor, DcValue::TextColor}, {kSetBkColor, DcValue::BkColor}, {kSetArcDirection, DcValue::ArcDirection}};

void playDcValue(Record& rec) {
    const std::uint32_t value = rec.r.u32();
    setDcValue(rec.player, *lookup(kDcValueRecords, rec.type), value);
}

// The other records that change the device context's state.
void playSetting(Record& rec) {
    RecordReader& r = rec.r;
    GdiPlayer& player = rec.player;
    DcState& dc = player.dc();
    switch (rec.type) {
    case kSetPixelV: {
        double x = r.i32(), y = r.i32();
        QColor c = colorRef(r.u32());
        if (r.ok()) player.setPixel(QPointF(x, y), c);
        break;
    }
    case kSetMiterLimit: {
        std::uint32_t limit = r.u32();
        if (r.ok() && limit > 0 && limit < 1000) dc.miterLimit = limit;
        break;
    }
    case kSaveDc: player.saveDc(); break;
    case kRestoreDc: player.restoreDc(r.i32()); break;
    case kSetWorldTransform: {
        QTransform t = readXform(r);
        if (r.ok()) player.setWorldTransform(t);
        break;
    }
    case kModifyWorldTransform: {
        QTransform t = readXform(r);
        std::uint32_t mode = r.u32();
        if (r.ok()) player.modifyWorldTransform(t, mode);
        break;
    }
    case kSelectObject: player.selectObject(r.u32()); break;
    case kDeleteObject: player.deleteObject(r.u32()); break;
    default: break;
    }
}

void playCreatePen(Record& rec) {
    RecordReader& r = rec.r;
    const std::uint32_t index = r.u32();
    const std::uint32_t style = r.u32();
    const double width = r.i32();
    r.i32(); // the height of a pen's width is not used
    const QColor color = colorRef(r.u32());
    if (!r.ok()) return rec.fail("pen record cut short");
    rec.player.createObjectAt(index, logicalPen(style, width, color));
}

void playExtCreatePen(Record& rec) {
    RecordReader& r = rec.r;
    const std::uint32_t index = r.u32();
    r.skip(16); // the pattern bitmap of a pattern pen is not used
    const std::uint32_t style = r.u32();
    const std::uint32_t width = r.u32();
    const std::uint32_t brushStyle = r.u32();
    const QColor color = colorRef(r.u32());
    r.u32(); // hatch
    const std::uint32_t entries = r.u32();
    if (!r.ok() || std::uint64_t{entries} * 4 > r.remaining()) return rec.fail("pen record cut short");
    GdiObject o = logicalPen(style, width, color);
    for (std::uint32_t i = 0; i < std::min<std::uint32_t>(entries, 32); ++i) o.pen.dashes.push_back(r.u32());
    o.pen.cosmetic = (style & kPsTypeMask) == 0;
    o.pen.null = o.pen.null || brushStyle == kBsNull;
    rec.player.createObjectAt(index, std::move(o));
}

void playCreateBrush(Record& rec) {
    RecordReader& r = rec.r;
    const std::uint32_t index = r.u32();
    const std::uint32_t style = r.u32();
    const QColor color = colorRef(r.u32());
    const std::uint32_t hatch = r.u32();
    if (!r.ok()) return rec.fail("brush record cut short");
    rec.player.createObjectAt(index, logicalBrush(style, color, hatch));
}

void playCreatePatternBrush(Record& rec) {
    RecordReader& r = rec.r;
    const std::uint32_t index = r.u32(), usage = r.u32();
    const std::uint32_t offBmi = r.u32(), cbBmi = r.u32(), offBits = r.u32(), cbBits = r.u32();
    DibRef dib;
    if (!r.ok() || !dibAt(r, offBmi, cbBmi, offBits, cbBits, usage, dib))
        return rec.fail("pattern bitmap outside its record");
    GdiObject o;
    if (patternBrush(dib, rec.player.setup().maxPixels, rec.type == kCreateMonoBrush, o) == DibDecode::Bad)
        return rec.fail("pattern bitmap does not fit its header");
    rec.player.createObjectAt(index, std::move(o));
}

void playCreateFont(Record& rec) {
    const std::uint32_t index = rec.r.u32();
    GdiObject o;
    if (!readLogFont(rec.r, true, o)) return rec.fail("font record cut short");
    rec.player.createObjectAt(index, std::move(o));
}

// Objects the player does not draw with still take their slot in the table.
void playCreateOther(Record& rec) {
    const std::uint32_t index = rec.r.u32();
    if (rec.r.ok()) rec.player.createObjectAt(index, GdiObject{});
}

constexpr std::pair<std::uint32_t, RectCall> kRectRecords[] = {
    {kExcludeClipRect, &GdiPlayer::excludeClipRect}, {kIntersectClipRect, &GdiPlayer::intersectClipRect},
    {kEllipse, &GdiPlayer::ellipse}, {kRectangle, &GdiPlayer::rectangle}};

void playShape(Record& rec) {
    RecordReader& r = rec.r;
    GdiPlayer& player = rec.player;
    QRectF box = readRectL(r);
    if (const RectCall* call = lookup(kRectRecords, rec.type)) {
        if (r.ok()) (player.*(*call))(box);
        return;
    }
    switch (rec.type) {
    case kRoundRect: {
        double w = r.i32(), h = r.i32();
        if (r.ok()) player.roundRect(box, w, h);
        break;
    }
    default: { // the arcs
        double xs = r.i32(), ys = r.i32(), xe = r.i32(), ye = r.i32();
        if (!r.ok()) break;
        const ArcKind kind = rec.type == kArc    ? ArcKind::Arc
                           : rec.type == kChord  ? ArcKind::Chord
                           : rec.type == kPie    ? ArcKind::Pie
                                                 : ArcKind::ArcTo;
        player.arc(kind, box, QPointF(xs, ys), QPointF(xe, ye));
        break;
    }
    }
}

void playAngleArc(Record& rec) {
    RecordReader& r = rec.r;
    double cx = r.i32(), cy = r.i32();
    double radius = r.u32();
    double start = r.f32(), sweep = r.f32();
    if (!r.ok() || !std::isfinite(start) || !std::isfinite(sweep)) return;
    sweep = std::clamp(sweep, -3600.0, 3600.0);
    QRectF box(cx - radius, cy - radius, 2 * radius, 2 * radius);
    QPainterPath path(rec.player.dc().current);
    path.arcTo(box, start, sweep);
    QPolygonF poly = path.toFillPolygon();
    if (poly.size() > 1) {
        poly.removeFirst();
        if (poly.size() > 1) poly.removeLast(); // the polygon closes itself; the arc does not
        rec.player.polylineTo(poly);
    }
}

void playPath(Record& rec) {
    GdiPlayer& player = rec.player;
    switch (rec.type) {
    case kBeginPath: player.beginPath(); break;
    case kEndPath: player.endPath(); break;
    case kCloseFigure: player.closeFigure(); break;
    case kFillPath: player.fillPath(); break;
    case kStrokePath: player.strokePath(); break;
    case kStrokeAndFillPath: player.strokeAndFillPath(); break;
    case kAbortPath: player.abortPath(); break;
    default: player.selectClipPath(rec.r.u32()); break;
    }
}

void playSelectClipRegion(Record& rec) {
    RecordReader& r = rec.r;
    const std::uint32_t cb = r.u32(), mode = r.u32();
    if (!r.ok()) return;
    std::vector<QRect> rects;
    if (cb == 0) rec.player.selectClipRegion(rects, mode, false);
    else if (readRegion(r, cb, rects)) rec.player.selectClipRegion(rects, mode, true);
    else rec.fail("region longer than its record");
}

void playFillRegion(Record& rec) {
    RecordReader& r = rec.r;
    GdiPlayer& player = rec.player;
    DcState& dc = player.dc();
    r.skip(16);
    const std::uint32_t cb = r.u32();
    const std::uint32_t brushIndex = rec.type == kFillRgn ? r.u32() : 0;
    std::vector<QRect> rects;
    if (!r.ok() || !readRegion(r, cb, rects)) return rec.fail("region longer than its record");
    std::vector<QRectF> logical;
    logical.reserve(rects.size());
    for (const QRect& q : rects) logical.emplace_back(q.x(), q.y(), q.width(), q.height());
    if (rec.type == kFillRgn) {
        // The record's brush fills without staying selected.
        BrushDesc saved = dc.brush;
        player.selectObject(brushIndex);
        BrushDesc chosen = dc.brush;
        dc.brush = saved;
        player.fillRects(logical, chosen);
    } else {
        player.fillRects(logical, dc.brush);
    }
}

void playBlit(Record& rec) {
    RecordReader& r = rec.r;
    r.skip(16);
    double x = r.i32(), y = r.i32(), w = r.i32(), h = r.i32();
    const std::uint32_t rop = r.u32();
    const std::int64_t xs = r.i32(), ys = r.i32();
    r.skip(24); // the source transform: the bitmap was recorded in its own pixels
    r.u32();
    const std::uint32_t usage = r.u32();
    const std::uint32_t offBmi = r.u32(), cbBmi = r.u32(), offBits = r.u32(), cbBits = r.u32();
    std::int64_t sw = static_cast<std::int64_t>(w), sh = static_cast<std::int64_t>(h);
    if (rec.type != kBitBlt) {
        sw = r.i32();
        sh = r.i32();
    }
    if (!r.ok()) return rec.fail("blit record cut short");
    if (cbBmi == 0) {
        if (rec.type == kBitBlt) rec.player.patBlt(QRectF(x, y, w, h), rop);
        return;
    }
    DibRef dib;
    if (!dibAt(r, offBmi, cbBmi, offBits, cbBits, usage, dib)) return rec.fail("bitmap outside its record");
    DibSourceRect src{xs, ys, sw, sh, false, false};
    if (rec.type == kAlphaBlend) {
        const double constant = ((rop >> 16) & 0xFF) / 255.0;
        const bool perPixel = (rop >> 24) & 1; // AC_SRC_ALPHA
        drawDib(rec.player, dib, src, QRectF(x, y, w, h), kSrcCopy, perPixel, constant);
    } else {
        drawDib(rec.player, dib, src, QRectF(x, y, w, h), rop);
    }
}

void playDiBits(Record& rec) {
    RecordReader& r = rec.r;
    r.skip(16);
    double x = r.i32(), y = r.i32();
    const std::int64_t xs = r.i32(), ys = r.i32(), sw = r.i32(), sh = r.i32();
    const std::uint32_t offBmi = r.u32(), cbBmi = r.u32(), offBits = r.u32(), cbBits = r.u32();
    const std::uint32_t usage = r.u32();
    std::uint32_t rop = kSrcCopy;
    double w = static_cast<double>(sw), h = static_cast<double>(sh);
    if (rec.type == kStretchDiBits) {
        rop = r.u32();
        w = r.i32();
        h = r.i32();
    } else {
        r.skip(8); // first scan line and scan count: the bits hold the lines drawn
    }
    if (!r.ok()) return rec.fail("bitmap record cut short");
    if (cbBmi == 0) return;
    DibRef dib;
    if (!dibAt(r, offBmi, cbBmi, offBits, cbBits, usage, dib)) return rec.fail("bitmap outside its record");
    drawDib(rec.player, dib, DibSourceRect{xs, ys, sw, sh, false, true}, QRectF(x, y, w, h), rop);
}

void playText(Record& rec) {
    RecordReader& r = rec.r;
    r.skip(16); // bounds
    r.u32();    // graphics mode
    r.f32();    // scale
    r.f32();
    double x = r.i32(), y = r.i32();
    const std::uint32_t chars = r.u32(), offString = r.u32(), options = r.u32();
    QRectF rect = readRectL(r);
    const std::uint32_t offDx = r.u32();
    const bool wide = rec.type == kExtTextOutW;
    const std::uint64_t charBytes = std::uint64_t{chars} * (wide ? 2 : 1);
    if (!r.ok() || !r.contains(offString, charBytes)) return rec.fail("text outside its record");
    QString text;
    const std::uint8_t* s = r.data() + offString;
    if (wide) {
        text.resize(static_cast<qsizetype>(chars));
        for (std::uint32_t i = 0; i < chars; ++i) text[i] = QChar(static_cast<char16_t>(s[2 * i] | (s[2 * i + 1] << 8)));
    } else {
        text = QString::fromLatin1(reinterpret_cast<const char*>(s), static_cast<qsizetype>(chars));
    }
    std::vector<double> dx;
    const std::uint32_t stride = (options & kEtoPdy) ? 8 : 4; // x and y advances
    if (offDx && r.contains(offDx, std::uint64_t{chars} * stride)) {
        dx.resize(chars);
        for (std::uint32_t i = 0; i < chars; ++i) dx[i] = sle32(r.data() + offDx + std::uint64_t{i} * stride);
    }
    std::optional<QRectF> opaque;
    if (options & (kEtoOpaque | kEtoClipped)) opaque = rect;
    rec.player.textOut(QPointF(x, y), text, dx, options, opaque);
}

using Handler = void (*)(Record&);

// The handler of each record type the player draws; other records are skipped by their size.
Handler handlerFor(std::uint32_t type) {
    switch (type) {
    case kPolyBezier: case kPolygon: case kPolyline: case kPolyBezierTo: case kPolylineTo:
    case kPolyBezier16: case kPolygon16: case kPolyline16: case kPolyBezierTo16: case kPolylineTo16:
        return playPoints;
    case kPolyPolyline: case kPolyPolygon: case kPolyPolyline16: case kPolyPolygon16: return playPolyPolygon;
    case kPolyDraw: case kPolyDraw16: return playPolyDraw;
    case kSetWindowExtEx: case kSetWindowOrgEx: case kSetViewportExtEx: case kSetViewportOrgEx:
    case kMoveToEx: case kLineTo: return playPoint;
    case kScaleViewportExtEx: case kScaleWindowExtEx: return playScale;
    case kSetMapMode: case kSetBkMode: case kSetPolyFillMode: case kSetRop2: case kSetStretchBltMode:
    case kSetTextAlign: case kSetTextColor: case kSetBkColor: case kSetArcDirection: return playDcValue;
    case kSetPixelV: case kSetMiterLimit: case kSaveDc: case kRestoreDc: case kSetWorldTransform: case kModifyWorldTransform:
    case kSelectObject: case kDeleteObject: return playSetting;
    case kCreatePen: return playCreatePen;
    case kExtCreatePen: return playExtCreatePen;
    case kCreateBrushIndirect: return playCreateBrush;
    case kCreateMonoBrush: case kCreateDibPatternBrushPt: return playCreatePatternBrush;
    case kExtCreateFontIndirectW: return playCreateFont;
    case kCreatePalette: case kCreateColorSpace: case kCreateColorSpaceW: return playCreateOther;
    case kExcludeClipRect: case kIntersectClipRect: case kEllipse: case kRectangle: case kRoundRect:
    case kArc: case kChord: case kPie: case kArcTo: return playShape;
    case kAngleArc: return playAngleArc;
    case kBeginPath: case kEndPath: case kCloseFigure: case kFillPath: case kStrokePath:
    case kStrokeAndFillPath: case kAbortPath: case kSelectClipPath: return playPath;
    case kExtSelectClipRgn: return playSelectClipRegion;
    case kFillRgn: case kPaintRgn: return playFillRegion;
    case kBitBlt: case kStretchBlt: case kAlphaBlend: return playBlit;
    case kStretchDiBits: case kSetDiBitsToDevice: return playDiBits;
    case kExtTextOutA: case kExtTextOutW: return playText;
    default: return nullptr;
    }
}

} // namespace

MetafileStatus readEmfLayout(const std::uint8_t* data, std::size_t size, MetafileLayout& layout, std::string& error) {
    layout = MetafileLayout{};
    layout.kind = MetafileKind::Emf;
    if (size < kMinHeader) return error = "header cut short", MetafileStatus::Truncated;
    const std::uint32_t headerSize = le32(data + 4);
    if (le32(data) != kHeader || le32(data + 40) != kSignature || headerSize < kMinHeader || headerSize % 4)
        return error = "not an EMF header", MetafileStatus::BadFormat;
    if (headerSize > size) return error = "header cut short", MetafileStatus::Truncated;
    const std::uint32_t declaredBytes = le32(data + 48);
    if (declaredBytes > size) return error = "file shorter than its header says", MetafileStatus::Truncated;
    layout.tableSize = std::max<std::uint32_t>(1, data[56] | (data[57] << 8));

    // The reference device's resolution, from its size in pixels and in millimetres (or
    // micrometres, when the longer header has them).
    const double devW = sle32(data + 72), devH = sle32(data + 76);
    double mmW = sle32(data + 80), mmH = sle32(data + 84);
    if (headerSize >= 108 && sle32(data + 100) > 0 && sle32(data + 104) > 0) {
        mmW = sle32(data + 100) / 1000.0;
        mmH = sle32(data + 104) / 1000.0;
    }
    if (devW > 0 && devH > 0 && mmW > 0 && mmH > 0 && devW / mmW < 1e5 && devH / mmH < 1e5) {
        layout.pixelsPerMmX = devW / mmW;
        layout.pixelsPerMmY = devH / mmH;
    }

    const double bl = sle32(data + 8), bt = sle32(data + 12), br = sle32(data + 16), bb = sle32(data + 20);
    const double fl = sle32(data + 24), ft = sle32(data + 28), fr = sle32(data + 32), fb = sle32(data + 36);
    if (fr > fl && fb > ft) {
        layout.naturalWidth = (fr - fl) * 96 / 2540;
        layout.naturalHeight = (fb - ft) * 96 / 2540;
        layout.frameDevice = QRectF(fl / 100 * layout.pixelsPerMmX, ft / 100 * layout.pixelsPerMmY,
                                    (fr - fl) / 100 * layout.pixelsPerMmX, (fb - ft) / 100 * layout.pixelsPerMmY);
    } else if (br >= bl && bb >= bt) {
        layout.frameDevice = QRectF(bl, bt, br - bl + 1, bb - bt + 1);
        layout.naturalWidth = layout.frameDevice.width() / layout.pixelsPerMmX * 96 / 25.4;
        layout.naturalHeight = layout.frameDevice.height() / layout.pixelsPerMmY * 96 / 25.4;
    } else {
        return error = "neither frame nor bounds", MetafileStatus::BadFormat;
    }

    // Walk the record chain: every size must fit, so a cut file is refused before any pixel.
    const std::size_t end = declaredBytes >= headerSize ? declaredBytes : size;
    std::size_t pos = headerSize;
    layout.recordsOffset = pos;
    bool sawEof = false;
    std::uint64_t records = 0;
    while (end - pos >= 8) {
        const std::uint32_t type = le32(data + pos), recordSize = le32(data + pos + 4);
        if (recordSize < 8 || recordSize % 4) return error = "record size not a multiple of 4", MetafileStatus::BadFormat;
        if (recordSize > end - pos) return error = "record runs past the end of the file", MetafileStatus::Truncated;
        if (++records > WorkBudget::kMaxRecords) return error = "too many records", MetafileStatus::TooComplex;
        pos += recordSize;
        if (type == kEof) {
            sawEof = true;
            break;
        }
    }
    if (!sawEof && pos < end) return error = "file ends inside a record", MetafileStatus::Truncated;
    layout.recordsEnd = pos;
    return MetafileStatus::Ok;
}

void playEmf(const std::uint8_t* data, const MetafileLayout& layout, GdiPlayer& player, std::string& error) {
    std::size_t pos = layout.recordsOffset;
    while (pos + 8 <= layout.recordsEnd && !player.failed()) {
        const std::uint32_t type = le32(data + pos), recordSize = le32(data + pos + 4);
        RecordReader r(data + pos, recordSize);
        pos += recordSize;
        if (!player.countRecord()) break;
        if (type == kEof) break;
        r.seek(8);
        if (Handler handler = handlerFor(type)) {
            Record record{type, r, player, error};
            handler(record);
        }
    }
}

} // namespace platform::detail
