// SPDX-License-Identifier: MIT
// Folder listings in NTFS order, file status, drive roots from a crafted mount table, the
// user's folders from user-dirs.dirs, folder creation and the program's own path.
#include "platform/files.h"

#include "testutil.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::vector<std::string> namesOf(const platform::DirListing& listing) {
    std::vector<std::string> names;
    for (const auto& e : listing.entries) names.push_back(e.name);
    return names;
}

const platform::DirEntry* find(const platform::DirListing& listing, const std::string& name) {
    for (const auto& e : listing.entries)
        if (e.name == name) return &e;
    return nullptr;
}

void setTimes(const std::string& path, std::int64_t access, std::int64_t write) {
    const timespec times[2] = {{static_cast<time_t>(access), 250}, {static_cast<time_t>(write), 500}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
}

// ---- Listings ---------------------------------------------------------------------------------

struct OrderRow {
    std::vector<std::string> created;
    std::vector<std::string> listed; // after "." and ".."
};

void PrintTo(const OrderRow& row, std::ostream* os) {
    for (std::size_t i = 0; i < row.listed.size(); ++i) *os << (i ? " " : "") << row.listed[i];
}

class ListingOrder : public ::testing::TestWithParam<OrderRow> {};

TEST_P(ListingOrder, FollowsNtfsOrderAfterDotAndDotDot) {
    testutil::TempDir dir;
    for (const std::string& name : GetParam().created) testutil::writeFile(dir / name, "x");
    const platform::DirListing listing = platform::listDirectory(dir.str());
    ASSERT_TRUE(listing.ok());
    std::vector<std::string> expected = {".", ".."};
    expected.insert(expected.end(), GetParam().listed.begin(), GetParam().listed.end());
    EXPECT_EQ(namesOf(listing), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Names, ListingOrder,
    ::testing::Values(
        // '_' (0x5F) follows every letter once they are folded to upper case.
        OrderRow{{"_x", "Z", "a", "B"}, {"a", "B", "Z", "_x"}},
        OrderRow{{"a9", "a10", "A1", "ab"}, {"A1", "a10", "a9", "ab"}},
        // '[' and '^' sit between 'Z' and '_', '~' after it; digits and '!' before letters.
        OrderRow{{"~t", "^c", "[b", "_a", "zz", "9", "!e"}, {"!e", "9", "zz", "[b", "^c", "_a", "~t"}},
        // A shorter name sorts first; names equal after folding keep byte order.
        OrderRow{{"photo.jpg", "Photo", "photo", "PHOTO.JPG"}, {"Photo", "photo", "PHOTO.JPG", "photo.jpg"}},
        // Bytes of UTF-8 names are not folded and sort after ASCII.
        OrderRow{{"\xc3\xa9t\xc3\xa9", "zeta", "Eta"}, {"Eta", "zeta", "\xc3\xa9t\xc3\xa9"}}));

// "name dir link mount size": what a listing says of an entry; folders carry no size.
std::string describe(const platform::DirEntry& e) {
    std::string text = e.name;
    if (e.isDirectory) text += " dir";
    if (e.isSymlink) text += " link";
    if (e.isMountPoint) text += " mount";
    if (!e.isDirectory) text += " " + std::to_string(e.size);
    return text;
}

TEST(ListDirectory, DescribesFilesFoldersLinksSizesAndTimes) {
    testutil::TempDir dir;
    testutil::writeFile(dir / "five.jpg", "12345");
    const std::uint64_t big = (std::uint64_t{5} << 30) + 7; // sparse: takes no disk space
    testutil::writeFile(dir / "big.tif", "");
    fs::resize_file(dir / "big.tif", big);
    fs::create_directory(dir / "sub");
    fs::create_symlink(dir / "five.jpg", dir / "tofile");
    fs::create_symlink(dir / "sub", dir / "todir");
    fs::create_symlink(dir / "missing", dir / "dangling");
    const std::int64_t written = 1294239845; // 2011-01-05 15:04:05 UTC
    setTimes(dir / "five.jpg", written + 3600, written);

    const platform::DirListing listing = platform::listDirectory(dir.str() + "/");
    ASSERT_TRUE(listing.ok());
    std::vector<std::string> described;
    for (const auto& entry : listing.entries) described.push_back(describe(entry));
    // A link is described by its target (a picture's size, a folder), a dangling one by itself.
    const std::vector<std::string> expected = {
        ". dir", ".. dir", "big.tif " + std::to_string(big), "dangling link " + std::to_string((dir / "missing").size()),
        "five.jpg 5", "sub dir", "todir dir link", "tofile link 5"};
    EXPECT_EQ(described, expected);
    EXPECT_EQ(platform::getFileStatus(dir / "big.tif").size, big);

    const auto* entry = find(listing, "five.jpg");
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->lastWriteTime, (platform::FileTime{written, 500}));
    EXPECT_EQ(entry->lastAccessTime, (platform::FileTime{written + 3600, 250}));
    // The birth time is when the file was made (just now); without one, the last-write time.
    const auto now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    const bool birth = entry->creationTime.seconds > now - 300 && entry->creationTime.seconds <= now;
    EXPECT_TRUE(birth || entry->creationTime == entry->lastWriteTime) << entry->creationTime.seconds;

    const platform::DirListing root = platform::listDirectory("/");
    const auto* proc = find(root, "proc"); // procfs is never the root's file system
    ASSERT_TRUE(proc);
    EXPECT_TRUE(proc->isMountPoint);
}

TEST(ListDirectory, ReportsFoldersThatCannotBeRead) {
    testutil::TempDir dir;
    testutil::writeFile(dir / "file", "x");
    EXPECT_EQ(platform::listDirectory(dir / "missing").error, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(platform::listDirectory(dir / "file").error, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(platform::listDirectory(dir / "file/below").error, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_FALSE(platform::listDirectory("").ok());
    EXPECT_TRUE(platform::listDirectory(dir / "missing").entries.empty());
}

// ---- Status ------------------------------------------------------------------------------------

TEST(GetFileStatus, ReportsFilesFoldersAndWhatIsNotThere) {
    testutil::TempDir dir;
    const std::string file = dir / "a.png";
    testutil::writeFile(file, "123");
    setTimes(file, 1000000000, 1100000000);

    const platform::FileStatus status = platform::getFileStatus(file);
    EXPECT_TRUE(status.exists);
    EXPECT_FALSE(status.isDirectory);
    EXPECT_EQ(status.size, 3u);
    EXPECT_EQ(status.lastWriteTime.seconds, 1100000000);
    EXPECT_EQ(status.lastAccessTime.seconds, 1000000000);

    const platform::FileStatus folder = platform::getFileStatus(dir.str());
    EXPECT_TRUE(folder.exists);
    EXPECT_TRUE(folder.isDirectory);

    EXPECT_FALSE(platform::getFileStatus(dir / "none.png").exists);
    EXPECT_FALSE(platform::getFileStatus(file + "/below").exists);
    EXPECT_FALSE(platform::getFileStatus("").exists);
}

// ---- Folder creation -------------------------------------------------------------------------

TEST(CreateDirectory, CreatesOneLevelWithWindowsErrors) {
    testutil::TempDir dir;
    testutil::writeFile(dir / "file", "x");
    EXPECT_EQ(platform::createDirectory(dir / "new"), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_TRUE(fs::is_directory(dir / "new"));
    EXPECT_EQ(platform::createDirectory(dir / "new"), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(platform::createDirectory(dir / "file"), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(platform::createDirectory(dir / "a/b"), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_FALSE(fs::exists(dir / "a"));
    EXPECT_EQ(platform::createDirectory(dir / "file/sub"), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(platform::createDirectory(""), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

// ---- Drive roots ---------------------------------------------------------------------------

class DriveRoots : public ::testing::Test {
protected:
    void SetUp() override {
        testutil::writeFile(m_dir / "hosts", "127.0.0.1 localhost\n");
        fs::create_directory(m_dir / "disk");
        testutil::writeFile(m_mounts,
                            "proc /proc proc rw,relatime 0 0\n"
                            "sysfs /sys sysfs rw 0 0\n"
                            "/dev/sda1 / ext4 rw 0 0\n"
                            "/dev/sda2 /mnt/my\\040photos ext4 rw 0 0\n"
                            "/dev/sdb1 /media/anna/STICK vfat rw 0 0\n"
                            "/dev/sdc1 /run/media/anna/CARD exfat rw 0 0\n"
                            "tmpfs /tmp tmpfs rw 0 0\n"
                            "server:/export /net/photos nfs4 rw 0 0\n"
                            "//nas/share /mnt/nas cifs rw 0 0\n"
                            "anna@host: /mnt/remote fuse.sshfs rw 0 0\n"
                            "/dev/sda3 /home btrfs rw 0 0\n"
                            "/dev/sda3 /home btrfs rw 0 0\n"
                            "overlay /var/lib/docker/overlay2/x/merged overlay rw 0 0\n"
                            "/dev/loop0 /snap/core/1 squashfs ro 0 0\n"
                            "/dev/sr0 /mnt/cdrom iso9660 ro 0 0\n"
                            "/dev/sda4 /data ext4 rw 0 0\n"
                            "tmpfs /data tmpfs rw 0 0\n"
                            "/dev/sda1 " + (m_dir / "hosts") + " ext4 rw 0 0\n"
                            "/dev/sda5 " + (m_dir / "disk") + " xfs rw 0 0\n"
                            "cgroup2 /sys/fs/cgroup cgroup2 rw 0 0\n");
        m_previous = platform::setMountsFile(m_mounts);
    }
    void TearDown() override { platform::setMountsFile(m_previous); }

    testutil::TempDir m_dir;
    std::string m_mounts = m_dir / "mounts";
    std::string m_previous;
};

TEST_F(DriveRoots, KeepsDiskAndNetworkMountsWithRootFirst) {
    const std::vector<platform::DriveRoot> expected = {
        {"/", DRIVE_FIXED},           {"/home/", DRIVE_FIXED},      {"/mnt/my photos/", DRIVE_FIXED},
        {"/mnt/nas/", DRIVE_REMOTE},  {"/mnt/remote/", DRIVE_REMOTE}, {"/net/photos/", DRIVE_REMOTE},
        {m_dir / "disk/", DRIVE_FIXED}};
    EXPECT_EQ(platform::driveRoots(m_mounts), expected);
}

struct TypeRow {
    const char* root;
    UINT type;
};

void PrintTo(const TypeRow& row, std::ostream* os) { *os << row.root << " is " << row.type; }

class DriveTypes : public DriveRoots, public ::testing::WithParamInterface<TypeRow> {};

TEST_P(DriveTypes, ClassifiesTheMountAtTheRoot) { EXPECT_EQ(GetDriveTypeA(GetParam().root), GetParam().type); }

INSTANTIATE_TEST_SUITE_P(Mounts, DriveTypes,
                         ::testing::Values(TypeRow{"/", DRIVE_FIXED}, TypeRow{"/home/", DRIVE_FIXED},
                                           TypeRow{"/home", DRIVE_FIXED}, TypeRow{"/mnt/my photos/", DRIVE_FIXED},
                                           TypeRow{"/net/photos/", DRIVE_REMOTE}, TypeRow{"/mnt/remote/", DRIVE_REMOTE},
                                           TypeRow{"/media/anna/STICK/", DRIVE_REMOVABLE},
                                           TypeRow{"/run/media/anna/CARD/", DRIVE_REMOVABLE},
                                           TypeRow{"/mnt/cdrom/", DRIVE_CDROM}, TypeRow{"/tmp/", DRIVE_RAMDISK},
                                           TypeRow{"/data/", DRIVE_RAMDISK}, TypeRow{"/proc/", DRIVE_UNKNOWN},
                                           TypeRow{"/snap/core/1/", DRIVE_UNKNOWN},
                                           TypeRow{"/home/anna/", DRIVE_NO_ROOT_DIR},
                                           TypeRow{"relative/", DRIVE_NO_ROOT_DIR}));

TEST_F(DriveRoots, LogicalDriveStringsAreNulSeparatedWithAClosingNul) {
    std::string expected;
    for (const auto& drive : platform::driveRoots(m_mounts)) expected += drive.root + '\0';
    const DWORD length = static_cast<DWORD>(expected.size());

    std::vector<char> buffer(length + 1, 'x');
    EXPECT_EQ(GetLogicalDriveStringsA(length + 1, buffer.data()), length);
    EXPECT_EQ(std::string(buffer.data(), length), expected);
    EXPECT_EQ(buffer[length], '\0');

    std::vector<char> small(length, 'x'); // one short: asks for more and writes nothing
    EXPECT_EQ(GetLogicalDriveStringsA(length, small.data()), length + 1);
    EXPECT_EQ(small.front(), 'x');
}

TEST(DriveRootsFallback, RootIsAlwaysOffered) {
    testutil::TempDir dir;
    const std::vector<platform::DriveRoot> onlyRoot = {{"/", DRIVE_FIXED}};
    EXPECT_EQ(platform::driveRoots(dir / "no-such-file"), onlyRoot);

    testutil::writeFile(dir / "mounts", "server:/ / nfs rw 0 0\n");
    const std::vector<platform::DriveRoot> remoteRoot = {{"/", DRIVE_REMOTE}};
    EXPECT_EQ(platform::driveRoots(dir / "mounts"), remoteRoot);
}

// ---- The user's folders ----------------------------------------------------------------------

// One home folder per row: `made` are folders made in it ("=name" makes a file), `userDirs`
// is written to $HOME/.config/user-dirs.dirs, `config` (if set) is XDG_CONFIG_HOME below the
// home and gets `ownDirs`, and `env` (if set) is XDG_PICTURES_DIR below the home.
TEST(KnownFolders, UserDirsConfigHomeEnvironmentAndFallback) {
    using platform::KnownFolder;
    const std::string dirs = "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Desk top\"\n"
                             "XDG_DOCUMENTS_DIR=\"$HOME/My \\\"Docs\\\"\"\nXDG_PICTURES_DIR=\"$HOME/Old\"\n"
                             "  XDG_PICTURES_DIR=\"${HOME}/Bilder/\"\n";
    struct Row {
        const char* what;
        std::vector<std::string> made;
        std::string userDirs;
        std::optional<std::string> config, env;
        std::string ownDirs;
        KnownFolder folder;
        std::string expected; // below the home
        bool ok;
    } const rows[] = {
        {"the last line wins, braces", {"Bilder", "Old"}, dirs, {}, {}, "", KnownFolder::Pictures, "Bilder", true},
        {"a quoted blank", {"Desk top"}, dirs, {}, {}, "", KnownFolder::Desktop, "Desk top", true},
        {"escaped quotes", {"My \"Docs\""}, dirs, {}, {}, "", KnownFolder::Documents, "My \"Docs\"", true},
        {"XDG_CONFIG_HOME is read first", {"cfg", "pics"}, "XDG_PICTURES_DIR=\"$HOME/Wrong\"\n", "cfg", {},
         "XDG_PICTURES_DIR=\"$HOME/pics\"\n", KnownFolder::Pictures, "pics", true},
        {"the environment overrides both", {"cfg", "pics", "docs"}, "", "cfg", "docs",
         "XDG_PICTURES_DIR=\"$HOME/pics\"\n", KnownFolder::Pictures, "docs", true},
        {"a relative value falls back", {}, "XDG_PICTURES_DIR=Pictures-elsewhere\n", {}, {}, "",
         KnownFolder::Pictures, "Pictures", false},
        {"the fallback exists", {"Pictures"}, "XDG_PICTURES_DIR=Pictures-elsewhere\n", {}, {}, "",
         KnownFolder::Pictures, "Pictures", true},
        {"documents fallback", {"Documents"}, "", {}, {}, "", KnownFolder::Documents, "Documents", true},
        {"a file is not a folder", {"=Desktop"}, "", {}, {}, "", KnownFolder::Desktop, "Desktop", false},
        {"a configured folder that is missing", {"Pictures"}, "XDG_PICTURES_DIR=\"$HOME/Gone\"\n", {}, {}, "",
         KnownFolder::Pictures, "Gone", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        testutil::TempDir home;
        auto below = [&](const std::optional<std::string>& name) {
            return name ? std::optional<std::string>(home / *name) : std::nullopt;
        };
        testutil::ScopedEnv homeEnv("HOME", home.str()), config("XDG_CONFIG_HOME", below(row.config)),
            pictures("XDG_PICTURES_DIR", below(row.env)), documents("XDG_DOCUMENTS_DIR", std::nullopt),
            desktop("XDG_DESKTOP_DIR", std::nullopt);
        for (const std::string& name : row.made) {
            if (name[0] == '=') testutil::writeFile(home / name.substr(1), "a file, not a folder");
            else fs::create_directories(home / name);
        }
        fs::create_directories(home / ".config");
        testutil::writeFile(home / ".config/user-dirs.dirs", row.userDirs);
        if (row.config) testutil::writeFile(home / (*row.config + "/user-dirs.dirs"), row.ownDirs);
        const auto found = platform::knownFolderPath(row.folder);
        EXPECT_EQ(found.path, home / row.expected);
        EXPECT_EQ(found.ok(), row.ok);
        if (!row.ok) { EXPECT_EQ(found.error, static_cast<DWORD>(ERROR_PATH_NOT_FOUND)); }
    }
}

// ---- The program's own path ------------------------------------------------------------------

TEST(ModuleFileName, IsThisTestProgramTruncatedToTheBuffer) {
    const std::string path = platform::modulePath();
    EXPECT_EQ(fs::path(path).filename(), "platform_tests");
    EXPECT_TRUE(fs::is_regular_file(path));
    const DWORD length = static_cast<DWORD>(path.size());
    std::vector<char> buffer(length + 8, 'x');

    EXPECT_EQ(GetModuleFileNameA(nullptr, buffer.data(), length + 1), length);
    EXPECT_EQ(std::string(buffer.data()), path);

    std::fill(buffer.begin(), buffer.end(), 'x');
    EXPECT_EQ(GetModuleFileNameA(nullptr, buffer.data(), length), length); // no room for the NUL
    EXPECT_EQ(std::string(buffer.data()), path.substr(0, length - 1));

    EXPECT_EQ(GetModuleFileNameA(nullptr, buffer.data(), 5), 5u);
    EXPECT_EQ(std::string(buffer.data()), path.substr(0, 4));

    int otherModule = 0;
    EXPECT_EQ(GetModuleFileNameA(&otherModule, buffer.data(), length + 1), 0u);
}

} // namespace
