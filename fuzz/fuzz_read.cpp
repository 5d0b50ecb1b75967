// SPDX-License-Identifier: MIT
// Fuzz target: the whole read path over a memory source, as CISImageEx::Read takes it:
// the type detected from the content (or camera raw), then the reader of that type with
// its palette and resolution calls.
#include "fuzztarget.h"

#include "imaging/isimageex.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::setUp();
    return fuzz::onSource(data, size, "fuzz.dat", [&](IS5_SOURCE source) {
        // A first byte of 0xFF sends the data to the camera-raw reader, as a raw extension would.
        int type = size && data[0] == 0xFF && size > 1 && data[1] == 0xFF ? kImageRaw : DetectImageType(source, "fuzz.dat");
        is5_Seek(source, 0, IS5_SEEK_SET);
        CISImageEx img;
        if (type == kImageWmf || type == kImageEmf) {
            // Metafiles are rendered from their bytes, as Read does from their path.
            std::uint32_t w = 0, h = 0;
            if (HGLOBAL block = is5_ReadMetafileFromMemory(data, size, &w, &h, 100, 100)) GlobalFree(block);
        } else if (type != kImageDetect && img.ReadFromSource(source, type) == 0) {
            // A picture that reads is whole: its rows and palette are all there.
            if (!img.HasPicture() || img.width == 0 || img.height == 0) __builtin_trap();
            const std::uint8_t* px = img.GetPixels();
            volatile std::uint8_t sink = px[std::size_t{img.GetRowBytes()} * img.height - 1];
            (void)sink;
            if (img.bitsPerPixel != 24 && img.paletteColours > 256) __builtin_trap();
        }
    });
}
