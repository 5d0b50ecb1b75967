// SPDX-License-Identifier: MIT
// File type detection: content over name, the TGA footer, PhotoCD, icons, extensions.
#include "imaging/is5.h"
#include "imaging/isimageex.h"

#include "codectest.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

std::uint32_t guess(const std::string& data, const char* name) {
    IS5_SOURCE src = is5_OpenMemorySource(data.data(), data.size(), name);
    std::uint32_t type = is5_GuessFileType(src);
    is5_CloseSource(src);
    return type;
}

} // namespace

TEST(GuessFileType, MagicNumbersNamesAndFooters) {
    std::string tgaFooter = std::string(40, '\x01') + std::string(8, '\0') + "TRUEVISION-XFILE." + std::string(1, '\0');
    std::string pcd = std::string(2048, '\x07') + "PCD_IPI" + std::string(100, '\0');
    struct Row {
        std::string data;
        const char* name;
        std::uint32_t expected;
    };
    const std::vector<Row> rows = {
        {"BM" + std::string(60, '\0'), "a.tga", 1},               // content wins over the name
        {"GIF89a" + std::string(10, '\0'), nullptr, 2},
        {"GIF87a", "x", 2},
        {codectest::hex({0xFF, 0xD8, 0xFF, 0xE1, 0, 0}), "x.bin", 3},
        {codectest::hex({0x0A, 0x05, 1, 8}) + std::string(100, '\0'), "x.tga", 5},  // PCX even when named .tga
        {codectest::hex({0x0A, 0x01}) + std::string(100, '\0'), "x.pcx", 0},        // not a PCX version
        {"II*" + std::string(10, '\0'), nullptr, 6},
        {codectest::hex({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0}), nullptr, 4},
        {codectest::hex({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A}), nullptr, 0},      // too short for the PNG magic
        {codectest::hex({0x01, 0x00, 0x09, 0x00, 0x00, 0x03}), nullptr, 7},
        {codectest::hex({0xD7, 0xCD, 0xC6, 0x9A, 0}), nullptr, 7},
        {std::string(40, '\x01') + " EMF" + std::string(4, '\0'), nullptr, 8},
        {"8BPS" + std::string(30, '\0'), "x.tga", 10},
        {"P4\n1 1\n\x80", nullptr, 20},
        {"P2\n1 1\n255\n0\n", nullptr, 21},
        {"P6\n1 1\n255\n\1\2\3", nullptr, 22},
        {codectest::hex({0, 0, 1, 0, 1, 0, 16, 16}) + std::string(60, '\0'), "icon.ICO", 24},
        {codectest::hex({0, 0, 1, 0, 1, 0, 16, 16}) + std::string(60, '\0'), "icon.png", 0},  // icons only by name
        {codectest::hex({0, 0, 2, 0, 0, 0}) + std::string(60, '\0'), "pic.tga", 14},          // .tga without footer
        {codectest::hex({0, 0, 2, 0, 0, 0}) + std::string(60, '\0'), "pic.dat", 0},
        {tgaFooter, "no-extension", 14},                                              // version 2 footer
        {codectest::hex({0, 1, 2}), "pic.wbmp", 13},
        {codectest::hex({0, 1, 2}), "pic.WBM", 13},
        {codectest::hex({0, 1, 2}), "pic.cal", 23},
        {pcd, "image.dat", 16},
        {std::string(2049, '\0') + "PC", "x", 0},
        {"", "empty.jpg", 0},
        {std::string("RIFF\x20\0\0\0WEBPVP8L", 16) + std::string(20, '\0'), "a.bin", 25},
        {std::string("RIFF\x20\0\0\0AVI LIST", 16) + std::string(20, '\0'), "a.webp", 0}, // another RIFF
    };
    for (const auto& r : rows) EXPECT_EQ(guess(r.data, r.name), r.expected) << (r.name ? r.name : "(no name)") << " " << r.data.size();

    IS5_SOURCE empty = is5_OpenMemorySource("", 0, "x.jpg");
    EXPECT_EQ(is5_GuessFileType(empty), 0u);
    EXPECT_EQ(is5_GetLastError(), IS5_ERR_READ);
    is5_CloseSource(empty);
    EXPECT_EQ(is5_GuessFileType(nullptr), 0u);
    EXPECT_EQ(is5_GetLastError(), IS5_ERR_PARAM);
}

TEST(ImageTypeFromExtension, TableAndUnknowns) {
    const std::vector<std::pair<const char*, int>> rows = {
        {"a.bmp", 2},  {"A.JPG", 0},   {"b.jpeg", 0}, {"dir.v2/x.TIFF", 8}, {"x.tif", 8}, {"x.wbmp", 16},
        {"x.wbm", 16}, {"x.tga", 10},  {"x.pcx", 4},  {"x.gif", 21},        {"x.png", 6}, {"x.wmf", 12},
        {"x.emf", 13}, {"x.PSD", 14},  {"x.ico", 22}, {"x.pgm", 22},        {"noext", 22}, {"x.jpg.bak", 22},
        {"x.WebP", 27},
    };
    for (const auto& [name, type] : rows) EXPECT_EQ(ImageTypeFromExtension(name), type) << name;
}

TEST(DetectImageType, FallsBackOnTheNameWhenContentIsUnknown) {
    const std::string unknown(64, '\x5a');
    for (auto [path, type] : std::vector<std::pair<const char*, int>>{{"photo.psd", 14}, {"photo.xyz", 22}, {"", 0},
                                                                        {"icon.ico", 22}}) {
        IS5_SOURCE src = is5_OpenMemorySource(unknown.data(), unknown.size(), path);
        // Unreadable headers leave the type the content or name gave.
        EXPECT_EQ(DetectImageType(src, path), type) << path;
        is5_CloseSource(src);
    }
}

TEST(Sources, SeekReadAndBounds) {
    const std::string data = "0123456789";
    IS5_SOURCE src = is5_OpenMemorySource(data.data(), data.size(), "mem.bin");
    ASSERT_NE(src, nullptr);
    EXPECT_STREQ(is5_GetSourceFileName(src), "mem.bin");
    char buf[4] = {};
    EXPECT_TRUE(is5_Seek(src, -3, IS5_SEEK_END));
    EXPECT_EQ(is5_Read(src, buf, 4), 3u);
    EXPECT_EQ(is5_GetLastError(), IS5_ERR_READ);
    EXPECT_EQ(std::string(buf, 3), "789");
    EXPECT_FALSE(is5_Seek(src, 11, IS5_SEEK_SET));
    EXPECT_FALSE(is5_Seek(src, -11, IS5_SEEK_END));
    EXPECT_FALSE(is5_Seek(src, 0, 7));
    EXPECT_TRUE(is5_Seek(src, 10, IS5_SEEK_SET));
    EXPECT_EQ(is5_Read(src, buf, 1), 0u);
    is5_CloseSource(src);

    EXPECT_EQ(is5_OpenFileSource("/nonexistent/file.jpg"), nullptr);
    EXPECT_EQ(is5_GetLastError(), IS5_ERR_OPEN);
    EXPECT_STREQ(is5_GetLastErrorFunction(), "is5_OpenFileSource");
    EXPECT_EQ(is5_OpenFileSource("/"), nullptr);  // a folder is no picture
}

TEST(ImageObject, EmptyPathAndUnknownType) {
    CISImageEx img;
    EXPECT_EQ(img.Read("", 22), 2u);
    EXPECT_EQ(img.Read("/nonexistent/x.jpg", 22), 5u);
    EXPECT_FALSE(img.HasPicture());
    EXPECT_EQ(img.imageType, 22);
    EXPECT_EQ(img.resolutionUnit, 1);
    EXPECT_EQ(img.outputXResolution, 300.0);
    EXPECT_EQ(img.jpegQuality, 75);
}

// Anything but a regular file is refused at once with its own code, by every way in: a named
// pipe with no writer would otherwise block the open for good. Each row runs in a child
// process, so a blocking open fails the row instead of hanging the suite.
TEST(Sources, OnlyRegularFilesOpenAndNothingBlocks) {
    testutil::TempDir dir;
    const std::string fifo = dir / "pipe.jpg", socketPath = dir / "socket.jpg";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    for (const std::string& path : {fifo, dir.str(), std::string("/dev/zero"), socketPath}) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ::alarm(10); // a read that blocks is ended here by the alarm's signal
            int failures = 0;
            failures += is5_OpenFileSource(path.c_str()) != nullptr || is5_GetLastError() != IS5_ERR_NOT_FILE;
            CISImageEx image;
            for (int type : {kImageDetect, kImageJpeg, kImageRaw, kImageEmf}) failures += image.Read(path, type) != IS5_ERR_NOT_FILE;
            failures += std::string(is5_ErrorText(IS5_ERR_NOT_FILE)) != "not a regular file";
            ::_exit(failures);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status)) << path << ": the read blocked or crashed, signal " << WTERMSIG(status);
        EXPECT_EQ(WEXITSTATUS(status), 0) << path;
    }
    ::close(sock);
}
