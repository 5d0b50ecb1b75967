// SPDX-License-Identifier: MIT
// Fuzz target: file type detection (content test, name rules, header readers choosing the
// depth variant) under every name the rules look at.
#include "fuzztarget.h"

#include "imaging/isimageex.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::setUp();
    static const char* const kNames[] = {"x.jpg", "x.tga", "x.wbmp", "x.ico", "x.psd", "x.cal", "x.bin", "noext", ""};
    // The last byte picks the name, so the fuzzer can steer the extension rules.
    const char* name = size ? kNames[data[size - 1] % (sizeof kNames / sizeof kNames[0])] : "x.bin";
    return fuzz::onSource(data, size, name, [name](IS5_SOURCE source) {
        if (is5_GuessFileType(source) > 24) __builtin_trap();
        is5_Seek(source, 0, IS5_SEEK_SET);
        const int type = DetectImageType(source, name);
        if (type < 0 || type > kImagePpm) __builtin_trap();
    });
}
