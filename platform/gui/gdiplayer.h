// SPDX-License-Identifier: MIT
// The drawing state machine behind the metafile readers: device-context state (mapping,
// objects, paths, clipping), replayed with QPainter. WMF and EMF records both land here.
#pragma once

#include "platform/gui/metafile.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QRegion>
#include <QString>
#include <QTransform>

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <vector>

namespace platform::detail {

/// Little-endian reads over one record; a read past its end returns 0 and leaves ok() false.
class RecordReader {
public:
    RecordReader(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    bool ok() const { return m_ok; }
    std::size_t size() const { return m_size; }
    std::size_t pos() const { return m_pos; }
    std::size_t remaining() const { return m_pos <= m_size ? m_size - m_pos : 0; }
    const std::uint8_t* data() const { return m_data; }
    void seek(std::size_t pos) {
        if (pos > m_size) m_ok = false;
        else m_pos = pos;
    }
    void skip(std::size_t n) { seek(n <= remaining() ? m_pos + n : m_size + 1); }
    std::uint8_t u8() { return static_cast<std::uint8_t>(take(1)); }
    std::uint16_t u16() { return static_cast<std::uint16_t>(take(2)); }
    std::int16_t i16() { return static_cast<std::int16_t>(u16()); }
    std::uint32_t u32() { return static_cast<std::uint32_t>(take(4)); }
    std::int32_t i32() { return static_cast<std::int32_t>(u32()); }
    float f32();
    /// `n` bytes at the current position (advancing), or nullptr when fewer remain.
    const std::uint8_t* bytes(std::uint64_t n);
    /// Whether [offset, offset + n) lies inside the record.
    bool contains(std::uint64_t offset, std::uint64_t n) const { return offset <= m_size && n <= m_size - offset; }

private:
    std::uint64_t take(int n);
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
    bool m_ok = true;
};

/// Caps on what one picture may cost, so a small crafted file cannot keep a reader busy.
/// Each limit is a floor that any picture gets plus a share per pixel of the picture, so the
/// work of a picture is bounded by its size, not by what its records ask for.
struct WorkBudget {
    /// Records the layout walk accepts, whatever the picture's size (it only reads sizes).
    static constexpr std::uint64_t kMaxRecords = std::uint64_t{1} << 24;
    enum class Limit { None, Records, Points, Segments, Area };

    static WorkBudget forPicture(std::uint64_t pixels);

    std::uint64_t records = 0;  ///< records replayed, over all bands
    std::uint64_t points = 0;   ///< coordinates and bitmap pixels taken from records
    std::uint64_t segments = 0; ///< lines and curves handed to the rasterizer
    double area = 0;            ///< pixels painted, each operation counted by its box on the band
    std::uint64_t recordLimit = 0, pointLimit = 0, segmentLimit = 0;
    double areaLimit = 0;

    Limit exceeded() const {
        if (records > recordLimit) return Limit::Records;
        if (points > pointLimit) return Limit::Points;
        if (segments > segmentLimit) return Limit::Segments;
        if (area > areaLimit) return Limit::Area;
        return Limit::None;
    }
};

struct PenDesc {
    bool null = false;
    bool cosmetic = true;   // one device pixel whatever the mapping
    double width = 0;       // logical units
    QColor color = Qt::black;
    std::uint32_t style = 0; // PS_SOLID …
    Qt::PenCapStyle cap = Qt::RoundCap;
    Qt::PenJoinStyle join = Qt::RoundJoin;
    std::vector<double> dashes; // PS_USERSTYLE, logical units
};

struct BrushDesc {
    enum class Kind { Solid, Null, Hatched, Pattern };
    Kind kind = Kind::Solid;
    QColor color = Qt::white;
    std::uint32_t hatch = 0;
    QImage pattern;
    bool monochrome = false; // a 1-bit pattern takes the text and background colours
};

struct FontDesc {
    std::int32_t height = 0;
    std::int32_t escapement = 0; // tenths of a degree, counter-clockwise
    std::int32_t weight = 400;
    bool italic = false, underline = false, strikeOut = false;
    QString face;
};

struct GdiObject {
    enum class Type { Pen, Brush, Font, Other };
    Type type = Type::Other;
    PenDesc pen;
    BrushDesc brush;
    FontDesc font;
};

// GDI's numbers that records carry, by name.
inline constexpr std::uint32_t kPsStyleMask = 0x0000000F;   // PS_SOLID … PS_ALTERNATE
inline constexpr std::uint32_t kPsTypeMask = 0x000F0000;    // PS_COSMETIC (0) or PS_GEOMETRIC
enum PenStyle : std::uint32_t {
    kPsSolid = 0, kPsDash, kPsDot, kPsDashDot, kPsDashDotDot, kPsNull, kPsInsideFrame, kPsUserStyle, kPsAlternate
};
enum BrushStyle : std::uint32_t { kBsSolid = 0, kBsNull = 1, kBsHatched = 2 };
/// Stock objects are named by this bit and their number.
inline constexpr std::uint32_t kStockObject = 0x80000000;
enum StockObject : std::uint32_t {
    kWhiteBrush = 0, kLtGrayBrush, kGrayBrush, kDkGrayBrush, kBlackBrush, kNullBrush, kWhitePen, kBlackPen, kNullPen,
    kOemFixedFont = 10, kAnsiFixedFont, kAnsiVarFont, kSystemFont, kDeviceDefaultFont, kSystemFixedFont = 16,
    kDefaultGuiFont, kDcBrush, kDcPen,
};
/// How a new clipping region combines with the current one.
enum RegionMode : std::uint32_t { kRgnAnd = 1, kRgnOr, kRgnXor, kRgnDiff, kRgnCopy };
inline constexpr std::uint32_t kSrcCopy = 0x00CC0020;
/// ExtTextOut options: an opaque background, clipping to the rectangle, x and y advances.
inline constexpr std::uint32_t kEtoOpaque = 0x0002, kEtoClipped = 0x0004, kEtoPdy = 0x2000;
inline constexpr std::uint32_t kDibRgbColors = 0, kDibPalColors = 1;

/// A device-independent bitmap as a record carries it.
struct DibRef {
    const std::uint8_t* info = nullptr;
    std::size_t infoSize = 0;
    const std::uint8_t* bits = nullptr;
    std::size_t bitsSize = 0;
    std::uint32_t usage = kDibRgbColors; // or kDibPalColors
};

/// The part of a bitmap a blit takes: x, y, width, height in the bitmap's pixels.
struct DibSourceRect {
    std::int64_t x = 0, y = 0, width = 0, height = 0;
    bool whole = true;       // ignore x, y, width, height
    bool fromBottom = false; // y counts from the last row of a bottom-up bitmap
};

enum class DibDecode { Ok, Skip, Bad, TooLarge };

/// Decodes the requested part of `dib` into `out` (ARGB32 when `keepAlpha`, else RGB32).
/// Uncompressed and bit-field bitmaps are drawn; compressed ones are Skip. Every size is
/// checked against the bytes the record holds.
DibDecode decodeDib(const DibRef& dib, const DibSourceRect& src, bool keepAlpha, std::uint64_t maxPixels, QImage& out);

/// GDI's mapping modes.
enum MapMode : std::uint32_t {
    kMmText = 1, kMmLoMetric, kMmHiMetric, kMmLoEnglish, kMmHiEnglish, kMmTwips, kMmIsotropic, kMmAnisotropic
};

struct DcState {
    std::uint32_t mapMode = kMmText;
    QPointF windowOrg{0, 0}, windowExt{1, 1}, viewportOrg{0, 0}, viewportExt{1, 1};
    QTransform world;
    PenDesc pen;
    BrushDesc brush;
    FontDesc font;
    QColor textColor = Qt::black, bkColor = Qt::white;
    bool bkOpaque = true;
    Qt::FillRule fillRule = Qt::OddEvenFill;
    QPointF current{0, 0};
    std::uint32_t textAlign = 0;
    bool arcClockwise = false;
    std::uint32_t stretchMode = 1;
    std::uint32_t rop2 = 13;
    double miterLimit = 10;
    std::optional<QRegion> clip; // in band pixels; none = the whole band
};

enum class ArcKind { Arc, Chord, Pie, ArcTo };

/// Replays GDI calls onto one band of the output picture.
class GdiPlayer {
public:
    struct Setup {
        MetafileKind kind = MetafileKind::Emf;
        QTransform deviceToOutput; // reference-device pixels (EMF) or the player's viewport (WMF) to picture pixels
        QSize pictureSize;
        int bandTop = 0;
        int bandHeight = 0;
        double pixelsPerMmX = 96 / 25.4, pixelsPerMmY = 96 / 25.4; // reference device, for the metric modes
        std::uint32_t tableSize = 0;
        std::uint64_t maxPixels = 0;
        bool drawText = false;
        WorkBudget* budget = nullptr;
    };

    GdiPlayer(QPainter& painter, const Setup& setup);

    MetafileStatus status() const { return m_status; }
    bool failed() const { return m_status != MetafileStatus::Ok; }
    void fail(MetafileStatus status) {
        if (m_status == MetafileStatus::Ok) m_status = status;
    }
    DcState& dc() { return m_dc; }
    const Setup& setup() const { return m_setup; }

    // ---- mapping
    void setMapMode(std::uint32_t mode);
    void setWindowOrg(QPointF p);
    void setWindowExt(QPointF e);
    void setViewportOrg(QPointF p);
    void setViewportExt(QPointF e);
    void offsetWindowOrg(QPointF d) { setWindowOrg(m_dc.windowOrg + d); }
    void offsetViewportOrg(QPointF d) { setViewportOrg(m_dc.viewportOrg + d); }
    void scaleWindowExt(double xNum, double xDen, double yNum, double yDen);
    void scaleViewportExt(double xNum, double xDen, double yNum, double yDen);
    void setWorldTransform(const QTransform& t);
    void modifyWorldTransform(const QTransform& t, std::uint32_t mode);
    void saveDc();
    void restoreDc(std::int32_t which);

    // ---- objects
    /// EMF: stores `object` at `index` (1 … tableSize − 1).
    void createObjectAt(std::uint32_t index, GdiObject object);
    /// WMF: stores `object` in the lowest free slot.
    void createObject(GdiObject object);
    void selectObject(std::uint32_t index);
    void deleteObject(std::uint32_t index);

    // ---- drawing (logical coordinates)
    void moveTo(QPointF p);
    void lineTo(QPointF p);
    void polyline(const QPolygonF& points);
    void polylineTo(const QPolygonF& points);
    void polygon(const QPolygonF& points);
    void polyPolygon(const std::vector<QPolygonF>& polygons);
    void polyPolyline(const std::vector<QPolygonF>& polylines);
    void polyBezier(const QPolygonF& points);
    void polyBezierTo(const QPolygonF& points);
    void polyDraw(const QPolygonF& points, const std::vector<std::uint8_t>& types);
    void rectangle(QRectF r);
    void roundRect(QRectF r, double cornerWidth, double cornerHeight);
    void ellipse(QRectF r);
    void arc(ArcKind kind, QRectF box, QPointF start, QPointF end);
    void setPixel(QPointF p, QColor c);
    void fillRects(const std::vector<QRectF>& logicalRects, const BrushDesc& brush);
    /// A raster operation without a source bitmap over a logical rectangle.
    void patBlt(QRectF r, std::uint32_t rop);
    /// Draws `image` (already cut to the source rectangle) into the logical rectangle.
    void drawBitmap(QRectF dest, const QImage& image, std::uint32_t rop, double opacity = 1.0);
    void textOut(QPointF reference, const QString& text, const std::vector<double>& dx, std::uint32_t options,
                 std::optional<QRectF> rect);

    // ---- paths
    void beginPath();
    void endPath() { m_inPath = false; }
    void abortPath();
    void closeFigure();
    void fillPath();
    void strokePath();
    void strokeAndFillPath();
    void selectClipPath(std::uint32_t mode);

    // ---- clipping
    void intersectClipRect(QRectF r);
    void excludeClipRect(QRectF r);
    /// Region rectangles in reference-device units; mode RGN_AND … RGN_COPY.
    void selectClipRegion(const std::vector<QRect>& deviceRects, std::uint32_t mode, bool hasRegion);

    /// Spends one record of the budget; false (and TooComplex) when the budget is gone.
    bool countRecord();
    bool countPoints(std::uint64_t n);
    /// Spends `n` segments of the budget (lines and curves drawn); false when it is gone.
    bool countSegments(std::uint64_t n);

private:
    const QTransform& full();
    bool transformUsable();
    QTransform pageTransform() const;
    void invalidate() { m_fullDirty = true; }
    QPen makePen(const PenDesc& desc);
    bool costOf(const QPainterPath& devicePath, bool fill, bool stroke, double penWidth);
    bool spent();
    QRectF bandRect() const;
    /// `device` to be filled, cut to the band when it reaches far beyond it; nullopt when the
    /// budget ran out.
    std::optional<QPainterPath> fitForFill(const QPainterPath& device);
    void strokeOutline(const QPainterPath& device, const QPen& pen);
    void render(const QPainterPath& logical, bool fill, bool stroke);
    void renderDevice(const QPainterPath& device, bool fill, bool stroke);
    void fillWithBrush(const QPainterPath& device, const BrushDesc& brush, Qt::FillRule rule);
    void addFigure(const QPainterPath& logical); // a whole figure into the open path
    void continueFigure(QPainterPath logicalContinuation, QPointF end);
    void applyClip();
    void setClip(std::optional<QRegion> clip);
    /// Combines `region` with the current clipping region by `mode` (kRgnAnd … kRgnCopy).
    void combineClip(const QRegion& region, std::uint32_t mode);
    QRegion bandRegion() const;
    QRegion regionOfLogicalRect(QRectF r);
    QPainterPath arcPath(ArcKind kind, QRectF box, QPointF start, QPointF end, QPointF* endPoint) const;
    void applyRop2Colour(QPen& pen, QBrush& brush, bool& skip) const;

    QPainter& m_painter;
    Setup m_setup;
    MetafileStatus m_status = MetafileStatus::Ok;
    DcState m_dc;
    std::vector<DcState> m_saved;
    std::vector<std::unique_ptr<GdiObject>> m_objects;
    std::set<std::uint32_t> m_freeSlots; // WMF: freed slots below m_nextSlot
    std::uint32_t m_nextSlot = 0;
    QTransform m_band;   // picture pixels to band pixels
    QTransform m_full;   // logical to band pixels
    bool m_fullDirty = true;
    bool m_fullUsable = true;
    bool m_inPath = false;
    bool m_figureOpen = false;
    QPainterPath m_path; // in band pixels
};

} // namespace platform::detail
