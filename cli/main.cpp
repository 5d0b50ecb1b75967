// SPDX-License-Identifier: MIT
// brimvale-resize: makes smaller copies of pictures from the command line, by the rules
// of the window's "Save Images".
#include "cli/batch.h"
#include "cli/console.h"
#include "cli/options.h"
#include "imaging/is5.h"
#include "imaging/metadata.h"

#include <atomic>
#include <csignal>
#include <ctime>
#include <cstdio>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

std::atomic<bool> g_interrupted{false};

/// Stamps one file as a saved crop is stamped: the source's texts with " cropped section"
/// after its description, or none without a source, and the current time.
int runStamp(const cli::Options& options) {
    PictureMetadata record;
    if (!options.metadataFrom.empty()) {
        if (std::string message = ReadPictureMetadata(options.metadataFrom, record); !message.empty()) {
            std::fprintf(stderr, "brimvale-resize: %s\n", message.c_str());
            return cli::kExitFailed;
        }
        record.description += " cropped section";
    }
    const StampResult result = StampPictureMetadata(record, options.stampFile, std::time(nullptr));
    if (!result.message.empty()) std::fprintf(stderr, "brimvale-resize: %s\n", result.message.c_str());
    return result.ok ? cli::kExitOk : cli::kExitFailed;
}

extern "C" void onInterrupt(int) {
    g_interrupted.store(true);
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const cli::ParsedArguments parsed = cli::ParseArguments(arguments, std::thread::hardware_concurrency());
    if (!parsed.options) {
        std::fprintf(stderr, "brimvale-resize: %s\nTry 'brimvale-resize --help'.\n", parsed.error.c_str());
        return cli::kExitUsage;
    }
    const cli::Options& options = *parsed.options;
    if (options.help) {
        std::fputs(cli::UsageText().c_str(), stdout);
        return cli::kExitOk;
    }
    if (!options.stampFile.empty()) return runStamp(options);

    // The resampling pool; picture jobs run on threads of their own.
    is5_Initialize(0);
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    int status;
    if (options.info) {
        cli::Console console(false, options.files.size());
        status = cli::RunInfo(options, console);
    } else {
        cli::Console console(!options.quiet && ::isatty(STDERR_FILENO), options.files.size());
        status = cli::RunBatch(options, console, g_interrupted);
    }
    is5_Shutdown();
    return status;
}
