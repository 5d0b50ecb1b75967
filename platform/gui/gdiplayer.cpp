// SPDX-License-Identifier: MIT
// Device-context state and drawing for the metafile readers: GDI's mapping, objects,
// paths and clipping, drawn with QPainter in picture pixels.
// Behaviour follows the GDI documentation: https://learn.microsoft.com/windows/win32/gdi/
#include "platform/gui/gdiplayer.h"

#include "platform/dib.h"
#include "platform/gui/pathcut.h"

#include <QFontMetricsF>
#include <QPainterPathStroker>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <numbers>

namespace platform::detail {

namespace {

constexpr std::size_t kMaxSavedStates = 1024;
constexpr int kMaxClipRects = 4096;
constexpr int kMaxClipPathElements = 1 << 13; // longer clip paths are ignored: joining them with the band costs too much
constexpr double kCoordLimit = 1 << 22; // a point or text anchor beyond this is not drawn
constexpr double kMaxDashes = 20000;     // a dashed line with more dashes than this is drawn solid
constexpr double kMaxFontPixels = 4096;
constexpr double kMaxPenWidth = 32000;
constexpr double kWidePen = 512;
// Geometry reaching further than this beyond the band is cut to the band before Qt sees it
// (see pathcut.cpp); nearer geometry is drawn as it is.
constexpr double kCutSlack = 512;
// Mitre joins reach at most this many pen widths from their corner (GDI's limit of 32).
constexpr double kMaxMiterLimit = 16;
// A figure cut to the band is cut this far outside it, beyond the reach of anti-aliasing.
constexpr double kCutMargin = 4;

// Budget: a floor that any picture gets, and a share per pixel of the picture.
// Over all limits together, the worst a file can ask for is about a microsecond of work per
// pixel beyond a floor of a few tenths of a second.
constexpr std::uint64_t kRecordFloor = std::uint64_t{1} << 18, kRecordsPerPixel = 1;
constexpr std::uint64_t kPointFloor = std::uint64_t{1} << 20, kPointsPerPixel = 16;
constexpr std::uint64_t kSegmentFloor = std::uint64_t{1} << 18, kSegmentsPerPixel = 8;
constexpr double kAreaFloor = double(1 << 26), kAreaPerPixel = 256;

bool finite(const QTransform& t) {
    for (double v : {t.m11(), t.m12(), t.m21(), t.m22(), t.dx(), t.dy()})
        if (!std::isfinite(v) || std::fabs(v) > 1e15) return false;
    return true;
}

double scaleOf(const QTransform& t) { return std::sqrt(std::fabs(t.determinant())); }

// Appends from's elements (after its first move) to `to`, continuing to's current figure.
void appendContinuation(QPainterPath& to, const QPainterPath& from) {
    for (int i = 1; i < from.elementCount(); ++i) {
        const QPainterPath::Element& e = from.elementAt(i);
        if (e.type == QPainterPath::MoveToElement) {
            to.moveTo(e.x, e.y);
        } else if (e.type == QPainterPath::LineToElement) {
            to.lineTo(e.x, e.y);
        } else if (e.type == QPainterPath::CurveToElement && i + 2 < from.elementCount()) {
            const QPainterPath::Element& c2 = from.elementAt(i + 1);
            const QPainterPath::Element& p = from.elementAt(i + 2);
            to.cubicTo(QPointF(e.x, e.y), QPointF(c2.x, c2.y), QPointF(p.x, p.y));
            i += 2;
        }
    }
}

// Sum of the lengths of the path's control polygon: an upper bound of its outline's length.
double controlLength(const QPainterPath& p) {
    double total = 0;
    for (int i = 1; i < p.elementCount(); ++i) {
        const QPainterPath::Element& e = p.elementAt(i);
        if (e.type == QPainterPath::MoveToElement) continue;
        const QPainterPath::Element& prev = p.elementAt(i - 1);
        total += std::hypot(e.x - prev.x, e.y - prev.y);
    }
    return total;
}

// Whether `box` reaches further than kCutSlack beyond `band`.
bool reachesFar(const QRectF& box, const QRectF& band) {
    return !(box.left() >= band.left() - kCutSlack && box.right() <= band.right() + kCutSlack &&
             box.top() >= band.top() - kCutSlack && box.bottom() <= band.bottom() + kCutSlack);
}

BrushDesc solidBrush(QColor c) {
    BrushDesc b;
    b.color = c;
    return b;
}

BrushDesc solidBrush(int level) { return solidBrush(QColor(level, level, level)); }

} // namespace

// ---------------------------------------------------------------------------------------
// RecordReader

std::uint64_t RecordReader::take(int n) {
    if (!m_ok || remaining() < static_cast<std::size_t>(n)) {
        m_ok = false;
        m_pos = m_size;
        return 0;
    }
    std::uint64_t v = 0;
    for (int i = 0; i < n; ++i) v |= std::uint64_t{m_data[m_pos + i]} << (8 * i);
    m_pos += n;
    return v;
}

float RecordReader::f32() {
    std::uint32_t bits = u32();
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

const std::uint8_t* RecordReader::bytes(std::uint64_t n) {
    if (!m_ok || n > remaining()) {
        m_ok = false;
        m_pos = m_size;
        return nullptr;
    }
    const std::uint8_t* p = m_data + m_pos;
    m_pos += n;
    return p;
}

// ---------------------------------------------------------------------------------------
// DIB decoding: the header through the parser the BMP reader uses, the pixels into a QImage

DibDecode decodeDib(const DibRef& dib, const DibSourceRect& src, bool keepAlpha, std::uint64_t maxPixels, QImage& out) {
    if (!dib.info || !dib.bits) return DibDecode::Bad;
    dib::Header h;
    switch (dib::parseHeader(dib.info, dib.infoSize, h)) {
    case dib::Status::Ok: break;
    case dib::Status::Unsupported: return DibDecode::Skip; // JPEG, PNG, CMYK: not drawn
    case dib::Status::Short:
    case dib::Status::Bad: return h.compression > dib::kAlphaBitfields ? DibDecode::Skip : DibDecode::Bad;
    }
    const bool rle = h.encoding == dib::Encoding::Rle4 || h.encoding == dib::Encoding::Rle8 ||
                     h.encoding == dib::Encoding::Rle24;
    if (rle) return DibDecode::Skip;
    const std::uint32_t bpp = h.bitCount;
    if (dib.usage == kDibPalColors && bpp <= 8) return DibDecode::Skip; // palette-relative colours: no palette here
    const bool bottomUp = !h.topDown;
    const std::int64_t width = h.width, rows = h.height;

    // Colour table: entries the table lacks stay black.
    std::vector<QRgb> palette;
    if (bpp <= 8) {
        palette.assign(std::size_t{1} << bpp, qRgb(0, 0, 0));
        const std::uint64_t available =
            h.paletteOffset <= dib.infoSize ? (dib.infoSize - h.paletteOffset) / h.paletteEntrySize : 0;
        const std::uint64_t count = std::min(h.paletteCount, available);
        for (std::uint64_t i = 0; i < count; ++i) {
            const std::uint8_t* e = dib.info + h.paletteOffset + i * h.paletteEntrySize;
            palette[i] = qRgb(e[2], e[1], e[0]);
        }
    }

    const std::uint64_t stride = ((static_cast<std::uint64_t>(width) * bpp + 31) / 32) * 4;
    if (stride * static_cast<std::uint64_t>(rows) > dib.bitsSize) return DibDecode::Bad;

    std::int64_t sx = 0, sy = 0, sw = width, sh = rows;
    if (!src.whole) {
        if (src.width <= 0 || src.height <= 0) return DibDecode::Skip;
        sx = src.x;
        sy = src.fromBottom && bottomUp ? rows - src.y - src.height : src.y;
        sw = src.width;
        sh = src.height;
        std::int64_t x0 = std::max<std::int64_t>(sx, 0), y0 = std::max<std::int64_t>(sy, 0);
        std::int64_t x1 = std::min<std::int64_t>(sx + sw, width), y1 = std::min<std::int64_t>(sy + sh, rows);
        if (x1 <= x0 || y1 <= y0) return DibDecode::Skip;
        sx = x0;
        sy = y0;
        sw = x1 - x0;
        sh = y1 - y0;
    }
    if (static_cast<std::uint64_t>(sw) * static_cast<std::uint64_t>(sh) > maxPixels || sw > (1 << 30) ||
        sh > (1 << 30))
        return DibDecode::TooLarge;
    out = QImage(static_cast<int>(sw), static_cast<int>(sh),
                 keepAlpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    if (out.isNull()) return DibDecode::TooLarge;

    // Alpha-blended bitmaps keep the fourth byte of plain 32-bit pixels as premultiplied alpha.
    const bool premultiplied = keepAlpha && bpp == 32 && h.compression == dib::kRgb;
    const auto& ch = h.channels;
    const std::uint32_t pixelBytes = bpp / 8;
    const std::uint32_t perByte = bpp < 8 ? 8 / bpp : 1;
    const std::uint32_t indexMask = bpp < 8 ? (1u << bpp) - 1 : 0xFF;
    for (std::int64_t oy = 0; oy < sh; ++oy) {
        const std::int64_t fileRow = bottomUp ? rows - 1 - (sy + oy) : sy + oy;
        const std::uint8_t* row = dib.bits + static_cast<std::uint64_t>(fileRow) * stride;
        auto* dst = reinterpret_cast<QRgb*>(out.scanLine(static_cast<int>(oy)));
        for (std::int64_t ox = 0; ox < sw; ++ox) {
            const std::uint64_t x = static_cast<std::uint64_t>(sx + ox);
            if (h.encoding == dib::Encoding::Indexed) {
                const std::uint32_t shift = 8 - bpp * static_cast<std::uint32_t>(x % perByte + 1);
                dst[ox] = palette[(row[x / perByte] >> shift) & indexMask];
            } else if (h.encoding == dib::Encoding::Rgb24) {
                dst[ox] = qRgb(row[x * 3 + 2], row[x * 3 + 1], row[x * 3]);
            } else if (premultiplied) {
                // Colours above their alpha are clamped to it.
                const std::uint8_t* p = row + x * 4;
                const int a = p[3];
                dst[ox] = qRgba(std::min<int>(p[2], a), std::min<int>(p[1], a), std::min<int>(p[0], a), a);
            } else {
                const std::uint8_t* p = row + x * pixelBytes;
                std::uint32_t px = 0;
                for (std::uint32_t i = 0; i < pixelBytes; ++i) px |= std::uint32_t{p[i]} << (8 * i);
                dst[ox] = qRgb(ch[0].value(px), ch[1].value(px), ch[2].value(px));
            }
        }
    }
    return DibDecode::Ok;
}

// ---------------------------------------------------------------------------------------
// GdiPlayer: state

GdiPlayer::GdiPlayer(QPainter& painter, const Setup& setup) : m_painter(painter), m_setup(setup) {
    m_objects.resize(setup.tableSize);
    m_band = QTransform::fromTranslate(0, -setup.bandTop);
    if (setup.kind == MetafileKind::Emf) m_nextSlot = 1;
    m_painter.setRenderHint(QPainter::Antialiasing, true);
}

QRegion GdiPlayer::bandRegion() const { return QRegion(0, 0, m_setup.pictureSize.width(), m_setup.bandHeight); }

QTransform GdiPlayer::pageTransform() const {
    double sx = 1, sy = 1;
    const double mmX = m_setup.pixelsPerMmX, mmY = m_setup.pixelsPerMmY;
    switch (m_dc.mapMode) {
    case kMmLoMetric: sx = 0.1 * mmX; sy = -0.1 * mmY; break;
    case kMmHiMetric: sx = 0.01 * mmX; sy = -0.01 * mmY; break;
    case kMmLoEnglish: sx = 0.254 * mmX; sy = -0.254 * mmY; break;
    case kMmHiEnglish: sx = 0.0254 * mmX; sy = -0.0254 * mmY; break;
    case kMmTwips: sx = 25.4 / 1440 * mmX; sy = -25.4 / 1440 * mmY; break;
    case kMmIsotropic:
    case kMmAnisotropic:
        sx = m_dc.viewportExt.x() / m_dc.windowExt.x();
        sy = m_dc.viewportExt.y() / m_dc.windowExt.y();
        if (m_dc.mapMode == kMmIsotropic) {
            double s = std::min(std::fabs(sx), std::fabs(sy));
            sx = std::copysign(s, sx);
            sy = std::copysign(s, sy);
        }
        break;
    default: break;
    }
    return QTransform(sx, 0, 0, sy, m_dc.viewportOrg.x() - m_dc.windowOrg.x() * sx,
                      m_dc.viewportOrg.y() - m_dc.windowOrg.y() * sy);
}

const QTransform& GdiPlayer::full() {
    if (m_fullDirty) {
        m_full = m_dc.world * pageTransform() * m_setup.deviceToOutput * m_band;
        m_fullUsable = finite(m_full) && std::fabs(m_full.determinant()) > 1e-300;
        m_fullDirty = false;
    }
    return m_full;
}

bool GdiPlayer::transformUsable() {
    full();
    return m_fullUsable;
}

void GdiPlayer::setMapMode(std::uint32_t mode) {
    if (m_setup.kind == MetafileKind::Wmf) {
        // The player owns a WMF's viewport: only the choice of keeping proportions counts.
        m_dc.mapMode = mode == kMmIsotropic ? kMmIsotropic : kMmAnisotropic;
    } else if (mode >= kMmText && mode <= kMmAnisotropic) {
        m_dc.mapMode = mode;
    }
    invalidate();
}

void GdiPlayer::setWindowOrg(QPointF p) {
    m_dc.windowOrg = p;
    invalidate();
}

void GdiPlayer::setWindowExt(QPointF e) {
    if (e.x() == 0 || e.y() == 0) return; // GDI refuses an empty extent
    m_dc.windowExt = e;
    invalidate();
}

void GdiPlayer::setViewportOrg(QPointF p) {
    if (m_setup.kind == MetafileKind::Wmf) return;
    m_dc.viewportOrg = p;
    invalidate();
}

void GdiPlayer::setViewportExt(QPointF e) {
    if (m_setup.kind == MetafileKind::Wmf || e.x() == 0 || e.y() == 0) return;
    m_dc.viewportExt = e;
    invalidate();
}

void GdiPlayer::scaleWindowExt(double xNum, double xDen, double yNum, double yDen) {
    if (xDen == 0 || yDen == 0) return;
    setWindowExt(QPointF(m_dc.windowExt.x() * xNum / xDen, m_dc.windowExt.y() * yNum / yDen));
}

void GdiPlayer::scaleViewportExt(double xNum, double xDen, double yNum, double yDen) {
    if (xDen == 0 || yDen == 0) return;
    setViewportExt(QPointF(m_dc.viewportExt.x() * xNum / xDen, m_dc.viewportExt.y() * yNum / yDen));
}

void GdiPlayer::setWorldTransform(const QTransform& t) {
    if (!finite(t)) return;
    m_dc.world = t;
    invalidate();
}

void GdiPlayer::modifyWorldTransform(const QTransform& t, std::uint32_t mode) {
    switch (mode) {
    case 1: m_dc.world = QTransform(); break;          // MWT_IDENTITY
    case 2: setWorldTransform(t * m_dc.world); break;  // MWT_LEFTMULTIPLY: t applies first
    case 3: setWorldTransform(m_dc.world * t); break;  // MWT_RIGHTMULTIPLY
    case 4: setWorldTransform(t); break;               // MWT_SET
    default: break;
    }
    invalidate();
}

void GdiPlayer::saveDc() {
    if (m_saved.size() >= kMaxSavedStates) return; // deeper nesting is ignored, as a full stack would be
    m_saved.push_back(m_dc);
}

void GdiPlayer::restoreDc(std::int32_t which) {
    const std::int64_t depth = static_cast<std::int64_t>(m_saved.size());
    std::int64_t pops;
    if (which < 0) pops = -static_cast<std::int64_t>(which);
    else if (which > 0) pops = depth - which + 1;
    else return;
    if (pops <= 0 || pops > depth) return;
    for (std::int64_t i = 1; i < pops; ++i) m_saved.pop_back();
    m_dc = std::move(m_saved.back());
    m_saved.pop_back();
    invalidate();
    applyClip();
}

// ---------------------------------------------------------------------------------------
// objects

void GdiPlayer::createObjectAt(std::uint32_t index, GdiObject object) {
    if (index == 0 || index >= m_objects.size()) return fail(MetafileStatus::BadFormat);
    m_objects[index] = std::make_unique<GdiObject>(std::move(object));
}

void GdiPlayer::createObject(GdiObject object) {
    std::uint32_t slot;
    if (!m_freeSlots.empty()) {
        slot = *m_freeSlots.begin();
        m_freeSlots.erase(m_freeSlots.begin());
    } else {
        slot = m_nextSlot++;
    }
    if (slot >= m_objects.size()) return fail(MetafileStatus::BadFormat);
    m_objects[slot] = std::make_unique<GdiObject>(std::move(object));
}

void GdiPlayer::selectObject(std::uint32_t index) {
    if (m_setup.kind == MetafileKind::Emf && (index & kStockObject)) {
        switch (index & ~kStockObject) {
        case kWhiteBrush: m_dc.brush = solidBrush(255); break;
        case kLtGrayBrush: m_dc.brush = solidBrush(192); break;
        case kGrayBrush: m_dc.brush = solidBrush(128); break;
        case kDkGrayBrush: m_dc.brush = solidBrush(64); break;
        case kBlackBrush: m_dc.brush = solidBrush(0); break;
        case kNullBrush: m_dc.brush.kind = BrushDesc::Kind::Null; break;
        case kWhitePen: m_dc.pen = PenDesc{}; m_dc.pen.color = Qt::white; break;
        case kBlackPen: m_dc.pen = PenDesc{}; break;
        case kNullPen: m_dc.pen = PenDesc{}; m_dc.pen.null = true; break;
        case kOemFixedFont: case kAnsiFixedFont: case kAnsiVarFont: case kSystemFont: case kDeviceDefaultFont:
        case kSystemFixedFont: case kDefaultGuiFont: m_dc.font = FontDesc{}; break;
        case kDcBrush: m_dc.brush = BrushDesc{}; break;
        case kDcPen: m_dc.pen = PenDesc{}; break;
        default: break;
        }
        return;
    }
    if (index >= m_objects.size()) return fail(MetafileStatus::BadFormat);
    const GdiObject* o = m_objects[index].get();
    if (!o) return; // an empty slot: GDI ignores the call
    switch (o->type) {
    case GdiObject::Type::Pen: m_dc.pen = o->pen; break;
    case GdiObject::Type::Brush: m_dc.brush = o->brush; break;
    case GdiObject::Type::Font: m_dc.font = o->font; break;
    case GdiObject::Type::Other: break;
    }
}

void GdiPlayer::deleteObject(std::uint32_t index) {
    if (m_setup.kind == MetafileKind::Emf && (index & kStockObject)) return; // stock objects stay
    if (index >= m_objects.size()) return fail(MetafileStatus::BadFormat);
    if (!m_objects[index]) return;
    m_objects[index].reset();
    if (m_setup.kind == MetafileKind::Wmf) m_freeSlots.insert(index);
}

// ---------------------------------------------------------------------------------------
// budget

WorkBudget WorkBudget::forPicture(std::uint64_t pixels) {
    WorkBudget b;
    b.recordLimit = kRecordFloor + kRecordsPerPixel * pixels;
    b.pointLimit = kPointFloor + kPointsPerPixel * pixels;
    b.segmentLimit = kSegmentFloor + kSegmentsPerPixel * pixels;
    b.areaLimit = kAreaFloor + kAreaPerPixel * static_cast<double>(pixels);
    return b;
}

bool GdiPlayer::spent() {
    if (m_setup.budget->exceeded() != WorkBudget::Limit::None) fail(MetafileStatus::TooComplex);
    return !failed();
}

bool GdiPlayer::countRecord() {
    if (!m_setup.budget) return true;
    ++m_setup.budget->records;
    return spent();
}

bool GdiPlayer::countPoints(std::uint64_t n) {
    if (!m_setup.budget) return true;
    m_setup.budget->points += n;
    return spent();
}

bool GdiPlayer::countSegments(std::uint64_t n) {
    if (!m_setup.budget) return true;
    m_setup.budget->segments += n;
    return spent();
}

bool GdiPlayer::costOf(const QPainterPath& device, bool fill, bool stroke, double penWidth) {
    if (!m_setup.budget) return true;
    const double margin = stroke ? penWidth / 2 + 2 : 2;
    QRectF box = device.controlPointRect().adjusted(-margin, -margin, margin, margin);
    QRectF band(0, 0, m_setup.pictureSize.width(), m_setup.bandHeight);
    QRectF seen = box.intersected(band);
    double area = seen.isEmpty() ? 0 : seen.width() * seen.height();
    // An outline only paints along its length; a fill may paint its whole box.
    if (!fill) area = std::min(area, (controlLength(device) + 1) * std::max(1.0, penWidth));
    m_setup.budget->area += area + 1;
    m_setup.budget->points += static_cast<std::uint64_t>(device.elementCount());
    return spent();
}

// ---------------------------------------------------------------------------------------
// drawing

QPen GdiPlayer::makePen(const PenDesc& desc) {
    if (desc.null || (desc.style & kPsStyleMask) == kPsNull) return QPen(Qt::NoPen);
    QPen pen(desc.color);
    const double deviceWidth = desc.width * scaleOf(full());
    // Qt takes widths below 32768; a wider pen covers more than any sensible picture anyway.
    pen.setWidthF(desc.cosmetic || !(deviceWidth > 1.0) ? 1.0 : std::min(deviceWidth, kMaxPenWidth));
    pen.setCapStyle(desc.cap);
    pen.setJoinStyle(desc.join);
    // GDI's limit is the mitre's length over the pen's width, Qt's the mitre's reach from
    // the corner in pen widths.
    pen.setMiterLimit(std::clamp(m_dc.miterLimit / 2, 1.0, kMaxMiterLimit));
    switch (desc.style & kPsStyleMask) {
    case kPsDash: pen.setStyle(Qt::DashLine); break;
    case kPsDot: case kPsAlternate: pen.setStyle(Qt::DotLine); break;
    case kPsDashDot: pen.setStyle(Qt::DashDotLine); break;
    case kPsDashDotDot: pen.setStyle(Qt::DashDotDotLine); break;
    case kPsUserStyle: {
        QList<qreal> pattern;
        const double unit = desc.cosmetic || desc.width <= 0 ? 1.0 : desc.width;
        for (double d : desc.dashes) pattern << std::clamp(d / unit, 0.01, 1e6);
        if (pattern.size() % 2) pattern << pattern; // Qt needs dash and gap pairs
        if (!pattern.isEmpty()) pen.setDashPattern(pattern);
        break;
    }
    default: break;
    }
    return pen;
}

void GdiPlayer::applyRop2Colour(QPen& pen, QBrush& brush, bool& skip) const {
    skip = false;
    switch (m_dc.rop2) {
    case 1: // R2_BLACK
        if (pen.style() != Qt::NoPen) pen.setColor(Qt::black);
        if (brush.style() != Qt::NoBrush) brush.setColor(Qt::black);
        break;
    case 16: // R2_WHITE
        if (pen.style() != Qt::NoPen) pen.setColor(Qt::white);
        if (brush.style() != Qt::NoBrush) brush.setColor(Qt::white);
        break;
    case 11: skip = true; break; // R2_NOP
    default: break;
    }
}

void GdiPlayer::fillWithBrush(const QPainterPath& device, const BrushDesc& desc, Qt::FillRule rule) {
    QPainterPath path = device;
    path.setFillRule(rule);
    QBrush brush;
    switch (desc.kind) {
    case BrushDesc::Kind::Null: return;
    case BrushDesc::Kind::Solid: brush = QBrush(desc.color); break;
    case BrushDesc::Kind::Hatched: {
        static constexpr Qt::BrushStyle kHatches[] = {Qt::HorPattern,   Qt::VerPattern,   Qt::FDiagPattern,
                                                      Qt::BDiagPattern, Qt::CrossPattern, Qt::DiagCrossPattern};
        if (m_dc.bkOpaque) m_painter.fillPath(path, m_dc.bkColor);
        brush = QBrush(desc.color, desc.hatch < 6 ? kHatches[desc.hatch] : Qt::SolidPattern);
        break;
    }
    case BrushDesc::Kind::Pattern: {
        QImage img = desc.pattern;
        if (desc.monochrome) {
            // 0 bits take the text colour, 1 bits the background colour
            for (int y = 0; y < img.height(); ++y) {
                auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
                for (int x = 0; x < img.width(); ++x)
                    line[x] = qRed(line[x]) ? m_dc.bkColor.rgb() : m_dc.textColor.rgb();
            }
        }
        brush = QBrush(img);
        break;
    }
    }
    QPen unusedPen(Qt::NoPen);
    bool skip = false;
    applyRop2Colour(unusedPen, brush, skip);
    if (skip) return;
    m_painter.fillPath(path, brush);
}

QRectF GdiPlayer::bandRect() const { return QRectF(0, 0, m_setup.pictureSize.width(), m_setup.bandHeight); }

std::optional<QPainterPath> GdiPlayer::fitForFill(const QPainterPath& device) {
    const QRectF band = bandRect();
    std::uint64_t segments = 0;
    std::optional<QPainterPath> fitted;
    if (!reachesFar(device.controlPointRect(), band)) {
        segments = static_cast<std::uint64_t>(device.elementCount());
        fitted = device;
    } else {
        fitted = cutForFill(device, band.adjusted(-kCutMargin, -kCutMargin, kCutMargin, kCutMargin), segments);
    }
    if (!countSegments(segments)) return std::nullopt;
    return fitted;
}

// Dashed and very wide pens: the outline is made first, then cut to the band and filled, so
// neither the dashes far outside nor the pen's reach lengthen what Qt rasterizes.
void GdiPlayer::strokeOutline(const QPainterPath& device, const QPen& pen) {
    QPainterPathStroker stroker(pen);
    std::optional<QPainterPath> outline = fitForFill(stroker.createStroke(device));
    if (outline) m_painter.fillPath(*outline, pen.color());
}

void GdiPlayer::renderDevice(const QPainterPath& device, bool fill, bool stroke) {
    QPen pen = stroke ? makePen(m_dc.pen) : QPen(Qt::NoPen);
    const double penWidth = pen.style() == Qt::NoPen ? 0 : pen.widthF();
    if (!costOf(device, fill && m_dc.brush.kind != BrushDesc::Kind::Null, pen.style() != Qt::NoPen, penWidth)) return;
    if (pen.style() != Qt::NoPen && pen.style() != Qt::SolidLine) {
        // Many thousands of dashes cost more than they show: draw such a line solid.
        double pattern = 0;
        for (qreal d : pen.dashPattern()) pattern += d;
        pattern *= std::max(1.0, penWidth);
        if (!(pattern > 0) || controlLength(device) / pattern > kMaxDashes) pen.setStyle(Qt::SolidLine);
    }
    if (fill && m_dc.brush.kind != BrushDesc::Kind::Null) {
        std::optional<QPainterPath> area = fitForFill(device);
        if (!area) return;
        fillWithBrush(*area, m_dc.brush, m_dc.fillRule);
    }
    if (pen.style() == Qt::NoPen) return;
    QBrush unusedBrush(Qt::NoBrush);
    bool skip = false;
    applyRop2Colour(pen, unusedBrush, skip);
    if (skip) return;
    if (penWidth > kWidePen) return strokeOutline(device, pen);
    // A pen reaches half its width from the line, a square cap √½ of it, a mitre up to its
    // limit in widths; geometry cut beyond that reach paints nothing on the band.
    const double reach =
        penWidth / 2 * (pen.joinStyle() == Qt::MiterJoin ? std::max(2 * pen.miterLimit(), 1.5) : 1.5) + kCutMargin;
    const QRectF band = bandRect();
    if (!reachesFar(device.controlPointRect().adjusted(-reach, -reach, reach, reach), band)) {
        if (!countSegments(static_cast<std::uint64_t>(device.elementCount()))) return;
        m_painter.strokePath(device, pen);
        return;
    }
    // Cutting a dashed line would restart its pattern at each cut.
    if (pen.style() != Qt::SolidLine) return strokeOutline(device, pen);
    std::uint64_t segments = 0;
    QPainterPath pieces = cutForStroke(device, band.adjusted(-reach, -reach, reach, reach), segments);
    if (!countSegments(segments)) return;
    m_painter.strokePath(pieces, pen);
}

void GdiPlayer::render(const QPainterPath& logical, bool fill, bool stroke) {
    if (failed()) return;
    if (m_inPath) return addFigure(logical);
    if (!transformUsable()) return;
    renderDevice(full().map(logical), fill, stroke);
}

void GdiPlayer::addFigure(const QPainterPath& logical) {
    if (!transformUsable()) return;
    if (!countPoints(static_cast<std::uint64_t>(logical.elementCount()))) return;
    m_path.addPath(full().map(logical));
    m_figureOpen = false;
}

void GdiPlayer::continueFigure(QPainterPath logical, QPointF end) {
    if (failed()) return;
    if (m_inPath) {
        if (transformUsable() && countPoints(static_cast<std::uint64_t>(logical.elementCount()))) {
            QPainterPath device = full().map(logical);
            if (!m_figureOpen) {
                m_path.moveTo(device.elementAt(0).x, device.elementAt(0).y);
                m_figureOpen = true;
            }
            appendContinuation(m_path, device);
        }
    } else {
        render(logical, false, true);
    }
    m_dc.current = end;
}

void GdiPlayer::moveTo(QPointF p) {
    m_dc.current = p;
    if (m_inPath) m_figureOpen = false;
}

void GdiPlayer::lineTo(QPointF p) {
    QPainterPath path(m_dc.current);
    path.lineTo(p);
    continueFigure(path, p);
}

void GdiPlayer::polyline(const QPolygonF& points) {
    if (points.size() < 2) return;
    QPainterPath path;
    path.addPolygon(points);
    render(path, false, true);
}

void GdiPlayer::polylineTo(const QPolygonF& points) {
    if (points.isEmpty()) return;
    QPainterPath path(m_dc.current);
    for (const QPointF& p : points) path.lineTo(p);
    continueFigure(path, points.back());
}

void GdiPlayer::polygon(const QPolygonF& points) {
    if (points.size() < 2) return;
    QPainterPath path;
    path.addPolygon(points);
    path.closeSubpath();
    render(path, true, true);
}

void GdiPlayer::polyPolygon(const std::vector<QPolygonF>& polygons) {
    QPainterPath path;
    for (const QPolygonF& poly : polygons) {
        if (poly.size() < 2) continue;
        path.addPolygon(poly);
        path.closeSubpath();
    }
    if (!path.isEmpty()) render(path, true, true);
}

void GdiPlayer::polyPolyline(const std::vector<QPolygonF>& polylines) {
    QPainterPath path;
    for (const QPolygonF& poly : polylines)
        if (poly.size() >= 2) path.addPolygon(poly);
    if (!path.isEmpty()) render(path, false, true);
}

void GdiPlayer::polyBezier(const QPolygonF& points) {
    if (points.size() < 4) return;
    QPainterPath path(points[0]);
    for (qsizetype i = 1; i + 2 < points.size(); i += 3) path.cubicTo(points[i], points[i + 1], points[i + 2]);
    render(path, false, true);
}

void GdiPlayer::polyBezierTo(const QPolygonF& points) {
    if (points.size() < 3) return;
    QPainterPath path(m_dc.current);
    QPointF end = m_dc.current;
    for (qsizetype i = 0; i + 2 < points.size(); i += 3) {
        path.cubicTo(points[i], points[i + 1], points[i + 2]);
        end = points[i + 2];
    }
    continueFigure(path, end);
}

void GdiPlayer::polyDraw(const QPolygonF& points, const std::vector<std::uint8_t>& types) {
    // PT_MOVETO 6, PT_LINETO 2, PT_BEZIERTO 4, PT_CLOSEFIGURE 1
    QPainterPath path(m_dc.current);
    QPointF start = m_dc.current, last = m_dc.current;
    for (qsizetype i = 0; i < points.size() && static_cast<std::size_t>(i) < types.size(); ++i) {
        const std::uint8_t t = types[i];
        switch (t & 6) {
        case 6: path.moveTo(points[i]); start = last = points[i]; break;
        case 2: path.lineTo(points[i]); last = points[i]; break;
        case 4:
            if (i + 2 < points.size()) {
                path.cubicTo(points[i], points[i + 1], points[i + 2]);
                i += 2;
                last = points[i];
            }
            break;
        default: break;
        }
        if ((types[std::min<std::size_t>(i, types.size() - 1)] & 1) && (t & 6) != 6) {
            path.closeSubpath();
            last = start;
        }
    }
    continueFigure(path, last);
}

void GdiPlayer::rectangle(QRectF r) {
    QPainterPath path;
    path.addRect(r.normalized());
    render(path, true, true);
}

void GdiPlayer::roundRect(QRectF r, double cornerWidth, double cornerHeight) {
    QPainterPath path;
    path.addRoundedRect(r.normalized(), std::fabs(cornerWidth) / 2, std::fabs(cornerHeight) / 2);
    render(path, true, true);
}

void GdiPlayer::ellipse(QRectF r) {
    QPainterPath path;
    path.addEllipse(r.normalized());
    render(path, true, true);
}

QPainterPath GdiPlayer::arcPath(ArcKind kind, QRectF box, QPointF start, QPointF end, QPointF* endPoint) const {
    box = box.normalized();
    QPainterPath path;
    const QPointF c = box.center();
    const double rx = box.width() / 2, ry = box.height() / 2;
    if (!(rx > 0) || !(ry > 0)) return path;
    // Angles in Qt's sense (counter-clockwise as seen with y down), on the ellipse's parameter.
    auto angleOf = [&](QPointF p) { return std::atan2(-(p.y() - c.y()) / ry, (p.x() - c.x()) / rx) * 180 / std::numbers::pi; };
    const double a0 = angleOf(start), a1 = angleOf(end);
    double sweep = a1 - a0;
    // The direction is counter-clockwise on the device; a mapping that mirrors reverses it.
    bool clockwise = m_dc.arcClockwise != (m_full.determinant() < 0);
    if (!clockwise) {
        while (sweep <= 0) sweep += 360;
    } else {
        while (sweep >= 0) sweep -= 360;
    }
    if (kind == ArcKind::Pie) {
        path.moveTo(c);
        path.arcTo(box, a0, sweep);
        path.closeSubpath();
    } else {
        path.arcMoveTo(box, a0);
        path.arcTo(box, a0, sweep);
        if (kind == ArcKind::Chord) path.closeSubpath();
    }
    if (endPoint) {
        const double rad = a1 * std::numbers::pi / 180;
        *endPoint = QPointF(c.x() + rx * std::cos(rad), c.y() - ry * std::sin(rad));
    }
    return path;
}

void GdiPlayer::arc(ArcKind kind, QRectF box, QPointF start, QPointF end) {
    full();
    QPointF endPoint;
    QPainterPath path = arcPath(kind, box, start, end, &endPoint);
    if (path.isEmpty()) return;
    if (kind == ArcKind::ArcTo) {
        QPainterPath cont(m_dc.current);
        cont.lineTo(path.elementAt(0).x, path.elementAt(0).y);
        cont.connectPath(path);
        continueFigure(cont, endPoint);
        return;
    }
    render(path, kind != ArcKind::Arc, true);
}

void GdiPlayer::setPixel(QPointF p, QColor c) {
    if (failed() || !transformUsable() || !countPoints(1)) return;
    QPointF d = full().map(p);
    if (!(std::fabs(d.x()) < kCoordLimit && std::fabs(d.y()) < kCoordLimit)) return;
    m_painter.fillRect(QRectF(std::floor(d.x()), std::floor(d.y()), 1, 1), c);
}

void GdiPlayer::fillRects(const std::vector<QRectF>& logicalRects, const BrushDesc& brush) {
    if (failed() || !transformUsable()) return;
    QPainterPath path;
    for (const QRectF& r : logicalRects) path.addRect(r.normalized());
    QPainterPath device = full().map(path);
    if (!costOf(device, true, false, 0)) return;
    std::optional<QPainterPath> area = fitForFill(device);
    if (area) fillWithBrush(*area, brush, Qt::WindingFill);
}

void GdiPlayer::patBlt(QRectF r, std::uint32_t rop) {
    if (failed() || !transformUsable()) return;
    QPainterPath path;
    path.addRect(r.normalized());
    const QPainterPath mapped = full().map(path);
    if (!costOf(mapped, true, false, 0)) return;
    std::optional<QPainterPath> fitted = fitForFill(mapped);
    if (!fitted) return;
    const QPainterPath& device = *fitted;
    switch (rop) {
    case 0x00000042: m_painter.fillPath(device, Qt::black); break; // BLACKNESS
    case 0x00FF0062: m_painter.fillPath(device, Qt::white); break; // WHITENESS
    case 0x00AA0029: break;                                        // destination unchanged
    case 0x00550009:                                               // DSTINVERT
    case 0x005A0049: {                                             // PATINVERT
        m_painter.save();
        m_painter.setRenderHint(QPainter::Antialiasing, false);
        if (rop == 0x00550009) {
            m_painter.setCompositionMode(QPainter::RasterOp_NotDestination);
            m_painter.fillPath(device, Qt::white);
        } else {
            m_painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
            fillWithBrush(device, m_dc.brush, Qt::WindingFill);
        }
        m_painter.restore();
        break;
    }
    default: fillWithBrush(device, m_dc.brush, Qt::WindingFill); break; // PATCOPY and the rest
    }
}

void GdiPlayer::drawBitmap(QRectF dest, const QImage& image, std::uint32_t rop, double opacity) {
    if (failed() || image.isNull() || !transformUsable()) return;
    if (dest.width() == 0 || dest.height() == 0) return;
    QTransform place(dest.width() / image.width(), 0, 0, dest.height() / image.height(), dest.x(), dest.y());
    QTransform t = place * full();
    if (!finite(t) || std::fabs(t.determinant()) < 1e-300) return;
    QPainterPath outline;
    outline.addRect(QRectF(0, 0, image.width(), image.height()));
    QPainterPath device = t.map(outline);
    if (!costOf(device, true, false, 0)) return;
    QRectF bounds = device.controlPointRect();
    if (!bounds.intersects(QRectF(0, 0, m_setup.pictureSize.width(), m_setup.bandHeight))) return;

    QImage img = image;
    QPainter::CompositionMode mode = QPainter::CompositionMode_SourceOver;
    switch (rop) {
    case kSrcCopy: break;
    case 0x00EE0086: mode = QPainter::RasterOp_SourceOrDestination; break;          // SRCPAINT
    case 0x008800C6: mode = QPainter::RasterOp_SourceAndDestination; break;         // SRCAND
    case 0x00660046: mode = QPainter::RasterOp_SourceXorDestination; break;         // SRCINVERT
    case 0x00440328: mode = QPainter::RasterOp_SourceAndNotDestination; break;      // SRCERASE
    case 0x00330008: img.invertPixels(); break;                                     // NOTSRCCOPY
    case 0x00BB0226: mode = QPainter::RasterOp_NotSourceOrDestination; break;       // MERGEPAINT
    case 0x001100A6: mode = QPainter::RasterOp_NotSourceAndNotDestination; break;   // NOTSRCERASE
    case 0x00AA0029: return;                                                        // destination unchanged
    default: break;
    }
    // Enlargements keep hard pixel edges unless the file asked for HALFTONE stretching;
    // reductions are smoothed so that fine detail does not alias away.
    const bool enlarging = std::fabs(t.m11()) * std::fabs(t.m22()) + std::fabs(t.m12()) * std::fabs(t.m21()) > 1.0;
    const bool smooth = m_dc.stretchMode == 4 || !enlarging;
    m_painter.save();
    m_painter.setTransform(t);
    m_painter.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
    if (mode != QPainter::CompositionMode_SourceOver) {
        m_painter.setRenderHint(QPainter::Antialiasing, false);
        m_painter.setCompositionMode(mode);
    }
    m_painter.setOpacity(std::clamp(opacity, 0.0, 1.0));
    m_painter.drawImage(QPointF(0, 0), img);
    m_painter.restore();
}

void GdiPlayer::textOut(QPointF reference, const QString& text, const std::vector<double>& dx,
                        std::uint32_t options, std::optional<QRectF> rect) {
    if (failed() || !m_setup.drawText || !transformUsable()) return;
    const QTransform& t = full();
    const bool updateCp = m_dc.textAlign & 1;
    const QPointF origin = updateCp ? m_dc.current : reference;
    const double scaleX = std::hypot(t.m11(), t.m12()), scaleY = std::hypot(t.m21(), t.m22());
    const FontDesc& fs = m_dc.font;
    double pixels;
    if (fs.height == 0) pixels = 12 * scaleOf(m_setup.deviceToOutput); // the default font's size on the device
    else pixels = std::fabs(static_cast<double>(fs.height)) * scaleY * (fs.height > 0 ? 0.8 : 1.0);
    if (!(pixels >= 1) || pixels > kMaxFontPixels) return;

    // Opaque background rectangle, even for empty text.
    if (rect && (options & kEtoOpaque)) {
        QPainterPath r;
        r.addRect(rect->normalized());
        QPainterPath device = t.map(r);
        if (!costOf(device, true, false, 0)) return;
        m_painter.fillPath(device, m_dc.bkColor);
    }
    if (text.isEmpty()) return;

    // Pictures are read on several threads at once (brimvale-resize -j); the font database,
    // font engines and glyph caches are reached by one of them at a time.
    static std::mutex fontLock;
    const std::lock_guard<std::mutex> lock(fontLock);
    QFont font(fs.face.isEmpty() ? QStringLiteral("Sans") : fs.face);
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(pixels))));
    font.setWeight(static_cast<QFont::Weight>(std::clamp(fs.weight == 0 ? 400 : fs.weight, 100, 900)));
    font.setItalic(fs.italic);
    font.setUnderline(fs.underline);
    font.setStrikeOut(fs.strikeOut);
    QFontMetricsF metrics(font);
    double width = 0, logicalWidth = 0;
    if (!dx.empty()) {
        for (double d : dx) logicalWidth += d;
        width = logicalWidth * scaleX;
    } else {
        width = metrics.horizontalAdvance(text);
        logicalWidth = scaleX > 0 ? width / scaleX : 0;
    }
    QPainterPath textBox;
    const QPointF at = t.map(origin);
    textBox.addRect(QRectF(at.x() - width, at.y() - 2 * pixels, 2 * width, 4 * pixels));
    if (!costOf(textBox, true, false, 0)) return;

    double x = 0, y = 0;
    switch (m_dc.textAlign & 6) {
    case 6: x = -width / 2; break; // TA_CENTER
    case 2: x = -width; break;     // TA_RIGHT
    default: break;
    }
    switch (m_dc.textAlign & 24) {
    case 24: break;                         // TA_BASELINE
    case 8: y = -metrics.descent(); break;  // TA_BOTTOM
    default: y = metrics.ascent(); break;   // TA_TOP
    }
    const QPointF anchor = t.map(origin);
    if (!(std::fabs(anchor.x()) < kCoordLimit && std::fabs(anchor.y()) < kCoordLimit)) return;
    m_painter.save();
    m_painter.translate(anchor);
    m_painter.rotate(-fs.escapement / 10.0);
    if (m_dc.bkOpaque && !(rect && (options & kEtoOpaque)))
        m_painter.fillRect(QRectF(x, y - metrics.ascent(), width, metrics.height()), m_dc.bkColor);
    m_painter.setFont(font);
    m_painter.setPen(m_dc.textColor);
    if (!dx.empty()) {
        double pos = x;
        for (qsizetype i = 0; i < text.size(); ++i) {
            m_painter.drawText(QPointF(pos, y), QString(text[i]));
            if (static_cast<std::size_t>(i) < dx.size()) pos += dx[i] * scaleX;
        }
    } else {
        m_painter.drawText(QPointF(x, y), text);
    }
    m_painter.restore();
    if (updateCp) m_dc.current = QPointF(m_dc.current.x() + logicalWidth, m_dc.current.y());
}

// ---------------------------------------------------------------------------------------
// paths

void GdiPlayer::beginPath() {
    m_path = QPainterPath();
    m_inPath = true;
    m_figureOpen = false;
}

void GdiPlayer::abortPath() {
    m_path = QPainterPath();
    m_inPath = false;
    m_figureOpen = false;
}

void GdiPlayer::closeFigure() {
    if (!m_inPath) return;
    m_path.closeSubpath();
    m_figureOpen = false;
}

void GdiPlayer::fillPath() {
    m_inPath = false;
    if (!failed() && !m_path.isEmpty()) {
        QPainterPath closed;
        for (const QPolygonF& poly : m_path.toSubpathPolygons()) {
            closed.addPolygon(poly);
            closed.closeSubpath();
        }
        if (countPoints(static_cast<std::uint64_t>(closed.elementCount()))) renderDevice(closed, true, false);
    }
    m_path = QPainterPath();
}

void GdiPlayer::strokePath() {
    m_inPath = false;
    if (!failed() && !m_path.isEmpty() && transformUsable()) renderDevice(m_path, false, true);
    m_path = QPainterPath();
}

void GdiPlayer::strokeAndFillPath() {
    m_inPath = false;
    if (!failed() && !m_path.isEmpty() && transformUsable()) {
        // Fill every figure as if closed, then outline the figures as they were drawn.
        QPainterPath closed;
        for (const QPolygonF& poly : m_path.toSubpathPolygons()) {
            closed.addPolygon(poly);
            closed.closeSubpath();
        }
        PenDesc saved = m_dc.pen;
        m_dc.pen.null = true;
        renderDevice(closed, true, false);
        m_dc.pen = saved;
        renderDevice(m_path, false, true);
    }
    m_path = QPainterPath();
}

// ---------------------------------------------------------------------------------------
// clipping

void GdiPlayer::applyClip() {
    if (m_dc.clip) m_painter.setClipRegion(*m_dc.clip);
    else m_painter.setClipping(false);
}

void GdiPlayer::setClip(std::optional<QRegion> clip) {
    m_dc.clip = std::move(clip);
    applyClip();
}

QRegion GdiPlayer::regionOfLogicalRect(QRectF r) {
    if (!transformUsable()) return QRegion();
    const QRectF band(-2, -2, m_setup.pictureSize.width() + 4, m_setup.bandHeight + 4);
    QPolygonF poly = full().map(QPolygonF(r.normalized()));
    if (full().m12() == 0 && full().m21() == 0) {
        QRectF box = poly.boundingRect().intersected(band);
        if (box.isEmpty()) return QRegion();
        const int left = static_cast<int>(std::lround(box.left())), top = static_cast<int>(std::lround(box.top()));
        const int right = static_cast<int>(std::lround(box.right())), bottom = static_cast<int>(std::lround(box.bottom()));
        return QRegion(left, top, right - left, bottom - top);
    }
    QPolygonF cut = poly.intersected(QPolygonF(band));
    return QRegion(cut.toPolygon());
}

void GdiPlayer::intersectClipRect(QRectF r) {
    QRegion base = m_dc.clip ? *m_dc.clip : bandRegion();
    setClip(base.intersected(regionOfLogicalRect(r)));
}

void GdiPlayer::excludeClipRect(QRectF r) {
    QRegion base = m_dc.clip ? *m_dc.clip : bandRegion();
    setClip(base.subtracted(regionOfLogicalRect(r)));
}

void GdiPlayer::selectClipRegion(const std::vector<QRect>& deviceRects, std::uint32_t mode, bool hasRegion) {
    if (!hasRegion) {
        if (mode == kRgnCopy) setClip(std::nullopt); // no region: no clipping
        return;
    }
    const QTransform toBand = m_setup.deviceToOutput * m_band;
    if (!finite(toBand)) return;
    const QRectF band(-2, -2, m_setup.pictureSize.width() + 4, m_setup.bandHeight + 4);
    QRegion region;
    if (static_cast<int>(deviceRects.size()) > kMaxClipRects) {
        // Too many pieces to join one by one: clip to their common box.
        QRect box;
        for (const QRect& r : deviceRects) box = box.united(r);
        QRectF b = toBand.mapRect(QRectF(box)).intersected(band);
        if (!b.isEmpty()) region = QRegion(b.toAlignedRect());
    } else {
        for (const QRect& r : deviceRects) {
            QRectF b = toBand.mapRect(QRectF(r)).intersected(band);
            if (b.isEmpty()) continue;
            const int left = static_cast<int>(std::lround(b.left())), top = static_cast<int>(std::lround(b.top()));
            const int right = static_cast<int>(std::lround(b.right())), bottom = static_cast<int>(std::lround(b.bottom()));
            region = region.united(QRect(left, top, right - left, bottom - top));
        }
    }
    combineClip(region, mode);
}

void GdiPlayer::combineClip(const QRegion& region, std::uint32_t mode) {
    const QRegion base = m_dc.clip ? *m_dc.clip : bandRegion();
    switch (mode) {
    case kRgnAnd: setClip(base.intersected(region)); break;
    case kRgnOr: setClip(base.united(region)); break;
    case kRgnXor: setClip(base.xored(region)); break;
    case kRgnDiff: setClip(base.subtracted(region)); break;
    case kRgnCopy: setClip(region); break;
    default: break;
    }
}

void GdiPlayer::selectClipPath(std::uint32_t mode) {
    m_inPath = false;
    QPainterPath path = m_path;
    m_path = QPainterPath();
    if (failed() || path.isEmpty() || path.elementCount() > kMaxClipPathElements) return;
    if (!countPoints(static_cast<std::uint64_t>(path.elementCount()))) return;
    QPainterPath bandPath;
    bandPath.addRect(QRectF(-2, -2, m_setup.pictureSize.width() + 4, m_setup.bandHeight + 4));
    path.setFillRule(m_dc.fillRule);
    QPainterPath cut = path.intersected(bandPath);
    QRegion region(cut.toFillPolygon().toPolygon(), m_dc.fillRule);
    combineClip(region, mode);
}

} // namespace platform::detail
