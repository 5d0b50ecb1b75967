// SPDX-License-Identifier: MIT
// Metafile rendering: recognises WMF and EMF, works out the picture's size, and replays the
// records band by band into the caller's 24-bit buffer.
#include "platform/gui/metafile.h"

#include "platform/gui/metafileformats.h"

#include <QGuiApplication>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <mutex>
#include <new>
#include <string>

namespace platform {

namespace detail {

bool splitPackedDib(const std::uint8_t* data, std::size_t size, std::uint32_t usage, DibRef& dib) {
    if (!data || size < 12) return false;
    RecordReader r(data, size);
    const std::uint32_t headerSize = r.u32();
    std::uint64_t infoSize;
    if (headerSize == 12) {
        r.skip(6);
        const std::uint32_t bpp = r.u16();
        const std::uint64_t entries = bpp <= 8 ? std::uint64_t{1} << bpp : 0;
        infoSize = 12 + entries * (usage == 1 ? 2 : 3);
    } else if (headerSize >= 40) {
        r.skip(10);
        const std::uint32_t bpp = r.u16();
        const std::uint32_t compression = r.u32();
        r.skip(12);
        const std::uint32_t used = r.u32();
        if (!r.ok() || bpp > 32) return false;
        std::uint64_t entries = used ? used : (bpp <= 8 ? std::uint64_t{1} << bpp : 0);
        infoSize = headerSize + entries * (usage == 1 ? 2 : 4);
        if (compression == 3 && headerSize == 40) infoSize += 12;
    } else {
        return false;
    }
    if (!r.ok() || infoSize > size) return false;
    dib = DibRef{data, static_cast<std::size_t>(infoSize), data + infoSize, static_cast<std::size_t>(size - infoSize), usage};
    return true;
}

namespace {

constexpr std::uint64_t kBandPixels = std::uint64_t{1} << 22;
// Qt's rasterizer walks a slanted line's every row once for each of its own bands it
// crosses, so a line's cost grows with the square of the rows it spans; lines are cut to
// our band (gdiplayer.cpp), and a band of a narrow picture is kept this short.
constexpr std::uint64_t kMaxBandRows = 4096;

bool isEmf(const std::uint8_t* data, std::size_t size) {
    return size >= 44 && data[0] == 1 && data[1] == 0 && data[2] == 0 && data[3] == 0 && data[40] == ' ' &&
           data[41] == 'E' && data[42] == 'M' && data[43] == 'F';
}

bool isWmf(const std::uint8_t* data, std::size_t size) {
    if (size >= 4 && data[0] == 0xD7 && data[1] == 0xCD && data[2] == 0xC6 && data[3] == 0x9A) return true;
    return size >= 4 && (data[0] == 1 || data[0] == 2) && data[1] == 0 && data[2] == 9 && data[3] == 0;
}

MetafileStatus layoutOf(const std::uint8_t* data, std::size_t size, detail::MetafileLayout& layout, std::string& error) {
    if (isEmf(data, size)) return detail::readEmfLayout(data, size, layout, error);
    if (isWmf(data, size)) return detail::readWmfLayout(data, size, layout, error);
    if (size < 44) {
        error = "too short for a metafile";
        return MetafileStatus::Truncated;
    }
    error = "not a WMF or EMF file";
    return MetafileStatus::BadFormat;
}

MetafileStatus scaledSize(const detail::MetafileLayout& layout, const MetafileRequest& request, std::uint32_t& width,
                          std::uint32_t& height, std::string& error) {
    const double w = std::round(layout.naturalWidth * request.xScalePercent / 100.0);
    const double h = std::round(layout.naturalHeight * request.yScalePercent / 100.0);
    if (!std::isfinite(w) || !std::isfinite(h)) {
        error = "size is not a number";
        return MetafileStatus::BadFormat;
    }
    const double cw = std::max(1.0, w), ch = std::max(1.0, h);
    if (cw > double(1 << 30) || ch > double(1 << 30) || cw * ch > static_cast<double>(request.maxPixels)) {
        error = "picture exceeds the pixel limit";
        return MetafileStatus::TooLarge;
    }
    width = static_cast<std::uint32_t>(cw);
    height = static_cast<std::uint32_t>(ch);
    return MetafileStatus::Ok;
}

std::string tooComplexMessage(const WorkBudget& budget) {
    switch (budget.exceeded()) {
    case WorkBudget::Limit::Records: return "more records than a picture of this size may replay";
    case WorkBudget::Limit::Points: return "more points than a picture of this size may take";
    case WorkBudget::Limit::Segments: return "more path segments than a picture of this size may draw";
    case WorkBudget::Limit::Area: return "more painting than a picture of this size may cost";
    case WorkBudget::Limit::None: break;
    }
    return "records ask for too much work";
}

// Fonts need a QGuiApplication. The window has one; a program without one (the command line,
// the fuzz targets) gets one on the offscreen platform the first time a metafile is drawn,
// from whichever thread draws it, kept for the life of the process, so that text looks the
// same in both. Text itself is drawn under one lock (gdiplayer.cpp).
bool fontsAvailable() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (QCoreApplication::instance()) return;
        static int argc = 3;
        static char name[] = "brimvale", option[] = "-platform", platform[] = "offscreen";
        static char* argv[] = {name, option, platform, nullptr};
        // Qt takes the user's locale at start; the program keeps the one it had. What Qt
        // says while starting (a missing runtime folder, say) is not the program's output.
        const char* current = std::setlocale(LC_ALL, nullptr);
        const std::string saved = current ? current : "C";
        const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
        new QGuiApplication(argc, argv); // never deleted: other threads may be drawing text
        qInstallMessageHandler(previous);
        std::setlocale(LC_ALL, saved.c_str());
    });
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

MetafileStatus finish(MetafileStatus status, const std::string& message, std::string* error) {
    if (error) *error = status == MetafileStatus::Ok ? std::string() : message;
    return status;
}

} // namespace
} // namespace detail

MetafileStatus MetafileSize(const std::uint8_t* data, std::size_t size, const MetafileRequest& request,
                            std::uint32_t& width, std::uint32_t& height, MetafileKind* kind, std::string* error) {
    std::string message;
    if (!data || request.xScalePercent == 0 || request.yScalePercent == 0 || request.maxPixels == 0)
        return detail::finish(MetafileStatus::BadParam, "bad parameter", error);
    try {
        detail::MetafileLayout layout;
        MetafileStatus status = detail::layoutOf(data, size, layout, message);
        if (status == MetafileStatus::Ok) status = detail::scaledSize(layout, request, width, height, message);
        if (status == MetafileStatus::Ok && kind) *kind = layout.kind;
        return detail::finish(status, message, error);
    } catch (const std::bad_alloc&) {
        return detail::finish(MetafileStatus::NoMemory, "out of memory", error);
    }
}

MetafileStatus RenderMetafile(const std::uint8_t* data, std::size_t size, const MetafileRequest& request,
                              const MetafilePixelAllocator& allocate, std::string* error) {
    std::string message;
    if (!data || !allocate || request.xScalePercent == 0 || request.yScalePercent == 0 || request.maxPixels == 0)
        return detail::finish(MetafileStatus::BadParam, "bad parameter", error);
    try {
        detail::MetafileLayout layout;
        std::uint32_t width = 0, height = 0;
        MetafileStatus status = detail::layoutOf(data, size, layout, message);
        if (status == MetafileStatus::Ok) status = detail::scaledSize(layout, request, width, height, message);
        if (status != MetafileStatus::Ok) return detail::finish(status, message, error);

        std::uint8_t* out = allocate(width, height);
        if (!out) return detail::finish(MetafileStatus::NoMemory, "no memory for the picture", error);

        // Rendered in bands so the working picture stays small whatever the output size.
        const std::uint32_t bandRows = static_cast<std::uint32_t>(
            std::clamp<std::uint64_t>(detail::kBandPixels / width, 1, std::min<std::uint64_t>(height, detail::kMaxBandRows)));
        QImage band(static_cast<int>(width), static_cast<int>(bandRows), QImage::Format_RGB32);
        if (band.isNull()) return detail::finish(MetafileStatus::NoMemory, "no memory for drawing", error);

        detail::WorkBudget budget = detail::WorkBudget::forPicture(std::uint64_t{width} * height);
        if (request.maxPaintedPixels) budget.areaLimit = static_cast<double>(request.maxPaintedPixels);
        const bool text = detail::fontsAvailable();

        QTransform deviceToOutput;
        if (layout.kind == MetafileKind::Emf) {
            const QRectF& f = layout.frameDevice;
            const double sx = width / f.width(), sy = height / f.height();
            deviceToOutput = QTransform(sx, 0, 0, sy, -f.left() * sx, -f.top() * sy);
        }

        for (std::uint32_t top = 0; top < height; top += bandRows) {
            const std::uint32_t rows = std::min(bandRows, height - top);
            band.fill(Qt::white);
            detail::GdiPlayer::Setup setup;
            setup.kind = layout.kind;
            setup.deviceToOutput = deviceToOutput;
            setup.pictureSize = QSize(static_cast<int>(width), static_cast<int>(height));
            setup.bandTop = static_cast<int>(top);
            setup.bandHeight = static_cast<int>(rows);
            setup.pixelsPerMmX = layout.pixelsPerMmX;
            setup.pixelsPerMmY = layout.pixelsPerMmY;
            setup.tableSize = layout.tableSize;
            setup.maxPixels = request.maxPixels;
            setup.drawText = text;
            setup.budget = &budget;
            {
                QPainter painter(&band);
                detail::GdiPlayer player(painter, setup);
                if (layout.kind == MetafileKind::Emf) detail::playEmf(data, layout, player, message);
                else detail::playWmf(data, layout, player, message);
                painter.end();
                if (player.failed()) {
                    if (message.empty()) {
                        switch (player.status()) {
                        case MetafileStatus::TooComplex: message = detail::tooComplexMessage(budget); break;
                        case MetafileStatus::TooLarge: message = "bitmap exceeds the pixel limit"; break;
                        default: message = "bad record"; break;
                        }
                    }
                    return detail::finish(player.status(), message, error);
                }
            }
            for (std::uint32_t y = 0; y < rows; ++y) {
                const auto* src = reinterpret_cast<const QRgb*>(band.constScanLine(static_cast<int>(y)));
                std::uint8_t* dst = out + (std::size_t{top} + y) * width * 3;
                for (std::uint32_t x = 0; x < width; ++x) {
                    dst[3 * x] = static_cast<std::uint8_t>(qRed(src[x]));
                    dst[3 * x + 1] = static_cast<std::uint8_t>(qGreen(src[x]));
                    dst[3 * x + 2] = static_cast<std::uint8_t>(qBlue(src[x]));
                }
            }
        }
        return detail::finish(MetafileStatus::Ok, message, error);
    } catch (const std::bad_alloc&) {
        return detail::finish(MetafileStatus::NoMemory, "out of memory", error);
    }
}

} // namespace platform

#if defined(__SANITIZE_ADDRESS__)
#define BRIMVALE_LEAK_CHECKED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define BRIMVALE_LEAK_CHECKED 1
#endif
#endif
#if defined(BRIMVALE_LEAK_CHECKED)
// Fontconfig loses a block of its own while parsing its configuration; the leak checker of
// the sanitizer builds is told to pass over it, quietly.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
extern "C" const char* __lsan_default_options() { return "print_suppressions=0"; }
#endif
