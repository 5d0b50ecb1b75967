// SPDX-License-Identifier: MIT
// The GDI objects and bitmaps that WMF and EMF records describe alike, built once for both.
#include "platform/gui/metafileformats.h"

#include <algorithm>
#include <cmath>

namespace platform::detail {

void setDcValue(GdiPlayer& player, DcValue which, std::uint32_t value) {
    DcState& dc = player.dc();
    switch (which) {
    case DcValue::MapMode: player.setMapMode(value); break;
    case DcValue::BkMode: dc.bkOpaque = value == 2; break; // OPAQUE
    case DcValue::PolyFillMode: dc.fillRule = value == 2 ? Qt::WindingFill : Qt::OddEvenFill; break;
    case DcValue::Rop2: dc.rop2 = value; break;
    case DcValue::StretchMode: dc.stretchMode = value; break;
    case DcValue::TextAlign: dc.textAlign = value; break;
    case DcValue::TextColor: dc.textColor = colorRef(value); break;
    case DcValue::BkColor: dc.bkColor = colorRef(value); break;
    case DcValue::ArcDirection: dc.arcClockwise = value == 2; break; // AD_CLOCKWISE
    }
}

GdiObject logicalPen(std::uint32_t style, double width, QColor color) {
    GdiObject o;
    o.type = GdiObject::Type::Pen;
    o.pen.style = style;
    o.pen.null = (style & kPsStyleMask) == kPsNull;
    o.pen.cosmetic = false;
    o.pen.width = std::fabs(width);
    o.pen.color = color;
    o.pen.cap = penCap(style);
    o.pen.join = penJoin(style);
    return o;
}

GdiObject logicalBrush(std::uint32_t style, QColor color, std::uint32_t hatch) {
    GdiObject o;
    o.type = GdiObject::Type::Brush;
    o.brush.color = color;
    o.brush.hatch = hatch;
    o.brush.kind = style == kBsNull      ? BrushDesc::Kind::Null
                 : style == kBsHatched   ? BrushDesc::Kind::Hatched
                                         : BrushDesc::Kind::Solid;
    return o;
}

bool readLogFont(RecordReader& r, bool wide, GdiObject& o) {
    auto integer = [&] { return wide ? r.i32() : r.i16(); };
    o = GdiObject{};
    o.type = GdiObject::Type::Font;
    o.font.height = integer();
    integer(); // width: the face's own proportions are kept
    o.font.escapement = integer();
    integer(); // orientation
    o.font.weight = integer();
    o.font.italic = r.u8();
    o.font.underline = r.u8();
    o.font.strikeOut = r.u8();
    r.skip(5); // character set, precision, quality, pitch and family
    if (!r.ok()) return false;
    // The face name: at most 32 characters, ending at the first zero.
    const std::size_t chars = std::min<std::size_t>(r.remaining() / (wide ? 2 : 1), 32);
    for (std::size_t i = 0; i < chars; ++i) {
        const char16_t c = wide ? r.u16() : r.u8();
        if (!c) break;
        o.font.face += wide ? QChar(c) : QChar::fromLatin1(static_cast<char>(c));
    }
    return true;
}

DibDecode patternBrush(const DibRef& dib, std::uint64_t maxPixels, bool monochrome, GdiObject& o) {
    o = GdiObject{};
    o.type = GdiObject::Type::Brush;
    QImage image;
    // A pattern is small: one of more than a million pixels is not drawn.
    const DibDecode d = decodeDib(dib, DibSourceRect{}, false, std::min<std::uint64_t>(maxPixels, 1 << 20), image);
    if (d != DibDecode::Ok) return d;
    if (monochrome) // keep 0 and 1 apart for the colours chosen at fill time
        for (int y = 0; y < image.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x) line[x] = qGray(line[x]) >= 128 ? qRgb(255, 255, 255) : qRgb(0, 0, 0);
        }
    o.brush.kind = BrushDesc::Kind::Pattern;
    o.brush.pattern = image;
    o.brush.monochrome = monochrome;
    return d;
}

void drawDib(GdiPlayer& player, const DibRef& dib, const DibSourceRect& src, QRectF dest, std::uint32_t rop,
             bool keepAlpha, double opacity) {
    QImage image;
    switch (decodeDib(dib, src, keepAlpha, player.setup().maxPixels, image)) {
    case DibDecode::Ok: break;
    case DibDecode::Skip: return;
    case DibDecode::Bad: return player.fail(MetafileStatus::BadFormat);
    case DibDecode::TooLarge: return player.fail(MetafileStatus::TooLarge);
    }
    if (!player.countPoints(static_cast<std::uint64_t>(image.width()) * image.height() / 16)) return;
    player.drawBitmap(dest, image, rop, opacity);
}

} // namespace platform::detail
