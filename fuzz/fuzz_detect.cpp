// SPDX-License-Identifier: MIT
// Fuzz target: file type detection (content test, name rules, header readers choosing the
// depth variant) under every name the rules look at.
#include "imaging/is5.h"
#include "imaging/isimageex.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool once = (is5_SetMaxPixels(std::uint64_t{1} << 24), platform::SetBlockCacheLimit(0), true);
    (void)once;
    static const char* const kNames[] = {"x.jpg", "x.tga", "x.wbmp", "x.ico", "x.psd", "x.cal", "x.bin", "noext", ""};
    // The last byte picks the name, so the fuzzer can steer the extension rules.
    const char* name = size ? kNames[data[size - 1] % (sizeof kNames / sizeof kNames[0])] : "x.bin";
    IS5_SOURCE source = is5_OpenMemorySource(data, size, name);
    if (!source) return 0;
    const std::uint32_t content = is5_GuessFileType(source);
    if (content > 24) __builtin_trap();
    is5_Seek(source, 0, IS5_SEEK_SET);
    const int type = DetectImageType(source, name);
    if (type < 0 || type > kImagePpm) __builtin_trap();
    is5_CloseSource(source);
    return 0;
}
