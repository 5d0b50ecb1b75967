// SPDX-License-Identifier: MIT
// The shared picture corpus: where it is and what its manifest expects of each file.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "testutil.h"

namespace testutil {

struct CorpusEntry {
    std::string path;   // relative to the corpus folder, e.g. "bmpsuite/g/pal8.bmp"
    std::string expect; // ok, bad, nocrash, unsupported, reference
    std::string suite;  // first path component
};

/// The corpus folder: $BRIMVALE_CORPUS, else ../shared/corpus beside the checkout;
/// nullopt when it is missing.
inline std::optional<std::filesystem::path> corpusDir() {
    std::filesystem::path dir;
    if (const char* env = std::getenv("BRIMVALE_CORPUS"); env && *env) dir = env;
    else dir = BRIMVALE_DEFAULT_CORPUS;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(dir / "MANIFEST.tsv", ec)) return std::nullopt;
    return dir;
}

/// Skips the calling test when the corpus is missing, or fails it when CI=true.
#define REQUIRE_CORPUS(dirVar)                                                              \
    auto dirVar##Opt = ::testutil::corpusDir();                                             \
    REQUIRE_OR_SKIP(dirVar##Opt, "the picture corpus (set BRIMVALE_CORPUS)")                \
    const std::filesystem::path dirVar = *dirVar##Opt

inline std::vector<CorpusEntry> readManifest(const std::filesystem::path& dir) {
    std::vector<CorpusEntry> out;
    std::ifstream in(dir / "MANIFEST.tsv");
    std::string line;
    std::getline(in, line); // header
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        CorpusEntry e;
        if (!std::getline(fields, e.path, '\t') || !std::getline(fields, e.expect, '\t')) continue;
        e.suite = e.path.substr(0, e.path.find('/'));
        out.push_back(std::move(e));
    }
    return out;
}

} // namespace testutil
