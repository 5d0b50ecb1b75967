// SPDX-License-Identifier: MIT
// The quality a copy is saved at to stay within a file size.
#include "browse/qualitysearch.h"

QualityChoice HighestQualityWithin(std::uint64_t limit, const QualityEncoder& encode) {
    QualityChoice choice;
    std::uint64_t lowestBytes = 0; // the size at quality 1, once tried
    auto fits = [&](std::int32_t quality) -> bool {
        std::uint64_t bytes = 0;
        ++choice.encodes;
        choice.code = encode(quality, bytes);
        if (choice.code != 0) return false;
        if (quality == 1) lowestBytes = bytes;
        if (bytes > limit) return false;
        choice.quality = quality;
        choice.bytes = bytes;
        choice.fits = true;
        return true;
    };
    // Most limits either take the best quality or need a real search: try 100 first.
    if (fits(100) || choice.code) return choice;
    // `below` fits (0: nothing yet), `above` does not; halve the gap until they meet.
    std::int32_t below = 0, above = 100;
    while (above - below > 1) {
        const std::int32_t middle = (below + above) / 2;
        if (fits(middle)) below = middle;
        else if (choice.code) return choice;
        else above = middle;
    }
    if (below == 0) {
        // Quality 1 was the last one tried, and even it is too large.
        choice.quality = 1;
        choice.bytes = lowestBytes;
    }
    return choice;
}
