// SPDX-License-Identifier: MIT
// The batch engine of brimvale-resize.
//
// Parallel runs. `-j N` converts up to N pictures at once on threads of our own (the
// resampling pool's workers only ever run resampling bands), yet everything the user sees
// is what a sequential run gives. CISImageEx::Write opens, fills and publishes its
// destination by itself, so the design is:
//
//   1. A worker reads, sizes, resizes and writes picture i into a private temporary file
//      beside its output (".brimvale-resize-<pid>-<i>.part", in the output's own folder so
//      that the final rename stays on one file system). Nothing under an output name is
//      touched, so workers can run ahead of each other freely.
//   2. The main thread publishes the results strictly in input order: for picture i it
//      reports a read or resize failure, or else checks whether the output exists (refusing
//      it without --overwrite) and renames the temporary file over the output name, then
//      prints the picture's line. The exists-check of picture i therefore sees exactly the
//      outputs of pictures < i, as in a sequential run, and two inputs that map to one
//      output name behave as they do there.
//   3. After a stop (first failure without -k, or an interrupt) no further picture is
//      started, the ones in flight finish, and every unpublished temporary file is removed:
//      later pictures leave no output and no message.
//   4. A source that an earlier picture's output would replace (a run over its own output
//      folder) is not read before that earlier picture is published, so it reads the same
//      bytes as in a sequential run.
//
// Workers may run at most 2N pictures ahead of publication, which bounds the temporary
// files; each worker keeps one image object, whose large blocks the block cache recycles.
#include "cli/batch.h"

#include "browse/classify.h"
#include "browse/formatsize.h"
#include "browse/naming.h"
#include "browse/saveengine.h"
#include "browse/savetext.h"
#include "imaging/isimageex.h"

#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace cli {
namespace {

namespace fs = std::filesystem;

using Converted = PreparedPicture;

struct PicturePlan {
    std::string source;
    std::optional<std::string> output; // nullopt: the source path cannot be split
    std::ptrdiff_t waitFor = -1;       // an earlier picture whose output is this source
};

// What went wrong in words, with the code in brackets for reports: " (error 5: no such file)".
std::string codeText(std::uint32_t code, const std::string& words) {
    return " (error " + std::to_string(code) + ": " + words + ")";
}
std::string codeText(std::uint32_t code) { return codeText(code, is5_ErrorText(code)); }

std::string systemText(int error) {
    std::string text = std::strerror(error);
    if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

// Why a picture could not be read. The image object reports a file that is missing or
// cannot be opened as holding no picture, so the path itself is asked first.
std::string readFailureText(const std::string& path, std::uint32_t code) {
    if ((code == kImageNoPicture || code == IS5_ERR_OPEN) && ::access(path.c_str(), R_OK) != 0)
        return codeText(code, errno == ENOENT || errno == ENOTDIR ? "no such file" : systemText(errno));
    switch (code) {
    case kImageNoPicture: return codeText(code, "not a picture of a known type");
    case IS5_ERR_READ:
    case IS5_ERR_FORMAT: return codeText(code, "damaged or cut off");
    default: return codeText(code);
    }
}

// Why a picture could not be written into `output`'s folder: the folder's own refusal
// (permission denied, read-only file system), a full disk, else what the code says.
std::string writeFailureText(const std::string& output, std::uint32_t code) {
    const std::string folder = FolderOf(output);
    std::string reason = is5_ErrorText(code);
    struct statvfs space {};
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        reason = systemText(errno);
    else if (::statvfs(folder.c_str(), &space) == 0 && space.f_bavail == 0)
        reason = systemText(ENOSPC);
    return codeText(code, "cannot write in " + folder + ": " + reason);
}

// A path in a form that compares equal for one file reached by different spellings.
std::string comparablePath(const std::string& path) {
    std::error_code ec;
    fs::path absolute = fs::absolute(path, ec);
    if (ec) return path;
    fs::path canonical = fs::weakly_canonical(absolute, ec);
    return ec ? absolute.lexically_normal().string() : canonical.string();
}

bool fileExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

class BatchRun {
public:
    BatchRun(const Options& options, Console& console, const std::atomic<bool>& interrupted)
        : m_options(options), m_console(console), m_interrupted(interrupted),
          m_outputType(*CommandLineOutputTypeFor(options.saveType)) {
        m_settings.size = sizeRequest(0, 0);
        m_settings.quality = options.quality;
        m_settings.type = m_outputType;
        m_settings.destination = options.destination;
        m_settings.useSourceFolder = options.useSourceFolder;
        m_settings.mode = options.mode;
        m_settings.filter = imaging::FilterChoice{options.filter, options.linearLight};
        m_settings.noEnlarge = options.noEnlarge;
        m_settings.keepDates = options.keepDates;
        m_settings.keepIcc = options.keepIcc;
        m_settings.keepMetadata = options.keepMetadata;
        m_settings.stripPrivate = options.stripPrivate;
        m_settings.maxBytes = options.maxBytes;
        m_settings.fast = options.fast;
        m_settings.lossless = options.lossless;
    }

    int run();

private:
    void plan();
    std::vector<FolderPicture> expandFolders() const;
    SaveOptions mirroredSettings(const std::string& relative) const;
    bool skip(const PicturePlan& picture, const std::string& output, Converted& result);
    SizeRequest sizeRequest(std::uint32_t width, std::uint32_t height) const;
    Converted convert(std::size_t index, CISImageEx& image) const;
    bool publish(std::size_t index, Converted& result);
    // Runs the pictures; the index of the picture that stopped the run, or the count.
    std::size_t runSequential();
    std::size_t runParallel(unsigned workers);
    void workerLoop();

    const Options& m_options;
    Console& m_console;
    const std::atomic<bool>& m_interrupted;
    const OutputType m_outputType;
    SaveOptions m_settings;
    std::vector<PicturePlan> m_plan;
    std::uint64_t m_savedBytes = 0;
    std::size_t m_written = 0;
    std::size_t m_failed = 0;
    std::size_t m_skipped = 0;

    // Shared between the workers and the publishing thread.
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Converted> m_results;
    std::vector<bool> m_done;
    std::size_t m_next = 0;      // next picture a worker takes
    std::size_t m_published = 0; // pictures published so far
    std::size_t m_window = 2;    // how far workers may run ahead of publication
    bool m_stop = false;
};

SizeRequest BatchRun::sizeRequest(std::uint32_t width, std::uint32_t height) const {
    SizeRequest request;
    request.choice = m_options.sizeChoice;
    request.pictureWidth = width;
    request.pictureHeight = height;
    request.customScale = m_options.customScale;
    request.widthText = m_options.widthText;
    request.heightText = m_options.heightText;
    request.screenWidth = m_options.screenWidth;
    request.screenHeight = m_options.screenHeight;
    request.edge = m_options.edge;
    request.boxWidth = m_options.boxWidth;
    request.boxHeight = m_options.boxHeight;
    return request;
}

void BatchRun::plan() {
    // The suffix names the size choice; only the dimension and screen choices put numbers
    // in it, and theirs do not depend on the picture, so every name is known up front.
    const TargetSize named = ComputeTargetSize(sizeRequest(0, 0));
    std::map<std::string, std::size_t> outputs; // comparable output path → latest picture
    const std::vector<FolderPicture> sources = expandFolders();
    m_plan.reserve(sources.size());
    for (std::size_t i = 0; i < sources.size(); ++i) {
        PicturePlan picture;
        picture.source = sources[i].path;
        picture.output = SaveOutputPath(picture.source, mirroredSettings(sources[i].relative), named);
        if (const auto earlier = outputs.find(comparablePath(picture.source)); earlier != outputs.end())
            picture.waitFor = static_cast<std::ptrdiff_t>(earlier->second);
        if (picture.output) outputs[comparablePath(*picture.output)] = i;
        m_plan.push_back(std::move(picture));
    }
}

// The files given, with every folder replaced by the pictures below it under -r.
std::vector<FolderPicture> BatchRun::expandFolders() const {
    std::vector<FolderPicture> sources;
    for (const std::string& file : m_options.files) {
        std::error_code ec;
        if (m_options.recursive && fs::is_directory(file, ec)) {
            std::vector<FolderPicture> found = PicturesBelow(file);
            sources.insert(sources.end(), std::make_move_iterator(found.begin()), std::make_move_iterator(found.end()));
        } else {
            sources.push_back({file, {}});
        }
    }
    return sources;
}

// The settings of a picture found in folder `relative` below a walked folder: the same
// folder below the destination, made when missing (beside the source it is already there).
SaveOptions BatchRun::mirroredSettings(const std::string& relative) const {
    SaveOptions settings = m_settings;
    if (relative.empty() || settings.useSourceFolder) return settings;
    settings.destination += "/" + relative;
    std::error_code ec;
    fs::create_directories(settings.destination, ec); // a failure shows when the picture is written
    return settings;
}

bool BatchRun::skip(const PicturePlan& picture, const std::string& output, Converted& result) {
    DiscardPicture(result);
    ++m_skipped;
    if (!m_options.quiet) m_console.line(picture.source + ": " + output + " exists; skipped");
    return true;
}

Converted BatchRun::convert(std::size_t index, CISImageEx& image) const {
    const PicturePlan& picture = m_plan[index];
    // Every name is planned up front, so the temporary file lies beside the planned output.
    return PreparePicture(picture.source, m_settings, image,
                          "brimvale-resize-" + std::to_string(::getpid()) + "-" + std::to_string(index),
                          [&picture](const TargetSize&) { return picture.output; });
}

bool BatchRun::publish(std::size_t index, Converted& result) {
    const PicturePlan& picture = m_plan[index];
    auto failure = [&](const std::string& message) {
        DiscardPicture(result);
        m_console.error(message);
        ++m_failed;
        return false;
    };
    switch (result.stage) {
    case SaveStage::Read:
        return failure(picture.source + ": " + kUnableToReadText + readFailureText(picture.source, result.code));
    case SaveStage::Resize: {
        const bool empty = result.target.width == 0 || result.target.height == 0;
        return failure(ResizeFailureText(picture.source) + " to " + std::to_string(result.target.width) + "x" +
                       std::to_string(result.target.height) +
                       (empty ? ": the result would be empty (error " + std::to_string(result.code) + ")"
                              : codeText(result.code)));
    }
    case SaveStage::Split: return failure(picture.source + ": " + kSplitFailureText);
    case SaveStage::Write:
    case SaveStage::Written: break;
    }
    // The window asks before writing; here the picture is already in its temporary file,
    // and a refusal just throws that away.
    std::string output = *picture.output;
    if (fileExists(output)) {
        switch (m_options.ifExists) {
        case IfExists::Refuse: return failure(output + " already exists; not replaced (--overwrite replaces it)");
        case IfExists::Overwrite: break;
        case IfExists::Skip: return skip(picture, output, result);
        case IfExists::Ask:
            if (!m_console.ask(output + " already exists. Replace it?")) return skip(picture, output, result);
            break;
        case IfExists::Rename: {
            const std::optional<std::string> free = FirstFreePath(output);
            if (!free) return failure(output + " already exists, and so do its numbered names");
            output = *free;
            result.output = output;
            break;
        }
        }
    }
    if (result.stage == SaveStage::Write)
        return failure(picture.source + ": Unable to write " + output + writeFailureText(output, result.code));
    if (std::string reason; !PublishPicture(result, &reason))
        return failure(picture.source + ": Unable to write " + output + ": " + reason);

    struct stat info {};
    const std::uint64_t size = ::stat(output.c_str(), &info) == 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
    m_savedBytes += size;
    ++m_written;
    // A picture over --max-size even at quality 1 is kept and counted as failed, so the run
    // ends with status 1; being written, it does not stop the run, with -k or without.
    const std::string quality = result.quality > 0 ? ", quality " + std::to_string(result.quality) + " after " +
                                                         std::to_string(result.encodes) + " encodings"
                                                   : std::string();
    if (result.overLimit) {
        ++m_failed;
        m_console.error(picture.source + " -> " + output + " is " + std::to_string(size) + " bytes at quality 1, over the " +
                        std::to_string(m_options.maxBytes) + "-byte limit");
        return true;
    }
    if (!m_options.quiet) {
        m_console.line(picture.source + " -> " + output + " (" + std::to_string(result.target.width) + "x" +
                       std::to_string(result.target.height) + ", " + FormatSize(size) + quality + ")");
    }
    return true;
}

std::size_t BatchRun::runSequential() {
    CISImageEx image;
    for (std::size_t i = 0; i < m_plan.size(); ++i) {
        if (m_interrupted.load()) return i;
        Converted result = convert(i, image);
        const bool ok = publish(i, result);
        m_console.advance(i + 1);
        if (!ok && !m_options.keepGoing) return i;
    }
    return m_plan.size();
}

void BatchRun::workerLoop() {
    CISImageEx image;
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [&] { return m_stop || m_next >= m_plan.size() || m_next < m_published + m_window; });
        if (m_stop || m_next >= m_plan.size()) return;
        const std::size_t index = m_next++;
        if (const std::ptrdiff_t earlier = m_plan[index].waitFor; earlier >= 0)
            m_changed.wait(lock, [&] { return m_stop || m_published > static_cast<std::size_t>(earlier); });
        if (m_stop) return;
        lock.unlock();
        Converted result = convert(index, image);
        lock.lock();
        m_results[index] = std::move(result);
        m_done[index] = true;
        m_changed.notify_all();
    }
}

std::size_t BatchRun::runParallel(unsigned workers) {
    m_results.assign(m_plan.size(), Converted{});
    m_done.assign(m_plan.size(), false);
    m_window = 2 * static_cast<std::size_t>(workers);
    std::vector<std::thread> threads;
    threads.reserve(workers);
    for (unsigned i = 0; i < workers; ++i) threads.emplace_back([this] { workerLoop(); });

    std::size_t stoppedAt = m_plan.size();
    for (std::size_t i = 0; i < m_plan.size(); ++i) {
        Converted result;
        {
            std::unique_lock lock(m_mutex);
            while (!m_done[i] && !m_interrupted.load())
                m_changed.wait_for(lock, std::chrono::milliseconds(100));
            if (!m_done[i]) {
                stoppedAt = i;
                break;
            }
            result = std::move(m_results[i]);
        }
        const bool ok = publish(i, result);
        m_console.advance(i + 1);
        {
            std::lock_guard lock(m_mutex);
            m_published = i + 1;
            if (!ok && !m_options.keepGoing) m_stop = true;
        }
        m_changed.notify_all();
        if (!ok && !m_options.keepGoing) {
            stoppedAt = i;
            break;
        }
    }

    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    for (std::thread& thread : threads) thread.join();
    // Pictures finished after the stop are discarded.
    for (std::size_t i = 0; i < m_plan.size(); ++i)
        if (m_done[i]) DiscardPicture(m_results[i]);
    return stoppedAt;
}

int BatchRun::run() {
    if (!m_options.useSourceFolder) {
        std::error_code ec;
        if (!fs::is_directory(m_options.destination, ec)) {
            fs::create_directories(m_options.destination, ec);
            if (ec || !fs::is_directory(m_options.destination)) {
                m_console.error("Unable to create the folder " + m_options.destination +
                                (ec ? ": " + ec.message() : std::string()));
                return kExitFailed;
            }
        }
    }
    plan();
    m_console.setTotal(m_plan.size());

    const unsigned workers = static_cast<unsigned>(std::min<std::size_t>(m_options.jobs, m_plan.size()));
    const std::size_t stoppedAt = workers > 1 ? runParallel(workers) : runSequential();
    m_console.finish();

    const bool interrupted = stoppedAt < m_plan.size() && m_interrupted.load();
    if (interrupted)
        m_console.error("interrupted; the pictures from number " + std::to_string(stoppedAt + 1) + " on were not saved");
    else if (stoppedAt < m_plan.size())
        m_console.error(SaveErrorText(static_cast<std::int32_t>(stoppedAt + 1)) + "; stopped (-k goes on)");
    std::printf("%s\n", RunSummaryText(static_cast<std::int32_t>(m_written), m_options.useSourceFolder,
                                       m_options.destination, m_savedBytes)
                            .c_str());
    if (m_skipped > 0)
        std::printf("%zu %s skipped: %s output already existed.\n", m_skipped, m_skipped == 1 ? "picture" : "pictures",
                    m_skipped == 1 ? "its" : "their");
    std::fflush(stdout);
    if (interrupted) return kExitInterrupted;
    return m_written + m_skipped == m_plan.size() && m_failed == 0 ? kExitOk : kExitFailed;
}

std::string formatResolution(double value) {
    char text[64];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
    return ec == std::errc() ? std::string(text, end) : std::string("0");
}

} // namespace

int RunBatch(const Options& options, Console& console, const std::atomic<bool>& interrupted) {
    BatchRun run(options, console, interrupted);
    return run.run();
}

std::string InfoLine(const std::string& path, bool& ok) {
    CISImageEx image;
    const std::uint32_t code = image.Read(path, IsCameraRaw(path) ? kImageRaw : kImageDetect);
    ok = code == kImageOk;
    if (!ok) return path + "\terror=" + std::to_string(code);
    return path + "\ttype=" + std::to_string(image.imageType) + "\twidth=" + std::to_string(image.width) +
           "\theight=" + std::to_string(image.height) + "\tbits=" + std::to_string(image.bitsPerPixel) +
           "\tcolours=" + std::to_string(image.paletteColours) + "\txres=" + formatResolution(image.xResolution) +
           "\tyres=" + formatResolution(image.yResolution) + "\tunit=" + std::to_string(image.resolutionUnit);
}

int RunInfo(const Options& options, Console& console) {
    int status = kExitOk;
    for (const std::string& file : options.files) {
        bool ok = false;
        console.line(InfoLine(file, ok));
        if (!ok) status = kExitFailed;
    }
    return status;
}

} // namespace cli
