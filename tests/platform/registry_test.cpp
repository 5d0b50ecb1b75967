// SPDX-License-Identifier: MIT
// The registry calls over hive files: value forms, Win32 answers, read-only and corrupt
// hives, and writers in several processes.
#include "platform/hivefile.h"
#include "platform/winreg.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using testutil::readFile;
using testutil::writeFile;

namespace {

class RegistryTest : public ::testing::Test {
protected:
    testutil::TempDir dir;
    testutil::ScopedEnv env{"BRIMVALE_REGISTRY_DIR", dir.str()};
    std::string hivePath = dir / "HKEY_LOCAL_MACHINE.reg";

    void TearDown() override { platform::SetHiveWritableCheck({}); }

    HKEY create(const char* path = "Software\\Brimvale", REGSAM access = KEY_ALL_ACCESS, LONG expect = ERROR_SUCCESS) {
        HKEY key = nullptr;
        DWORD disposition = 0;
        EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr,
                                  &key, &disposition),
                  expect);
        return key;
    }
    static std::vector<BYTE> query(HKEY key, const char* name, DWORD* type = nullptr, LONG expect = ERROR_SUCCESS) {
        std::vector<BYTE> data(1024);
        DWORD size = static_cast<DWORD>(data.size());
        EXPECT_EQ(RegQueryValueExA(key, name, nullptr, type, data.data(), &size), expect) << name;
        data.resize(expect == ERROR_SUCCESS ? size : 0);
        return data;
    }
};

std::vector<BYTE> bytes(std::string_view s, bool withZero) {
    std::vector<BYTE> v(s.begin(), s.end());
    if (withZero) v.push_back(0);
    return v;
}

} // namespace

TEST_F(RegistryTest, ValuesSurviveTheTextFormExactly) {
    struct Row {
        const char* name;
        DWORD type;
        std::vector<BYTE> data;
        const char* line; // the line the hive file must hold, or nullptr when any form will do
    };
    std::vector<BYTE> longBinary(100);
    for (std::size_t i = 0; i < longBinary.size(); ++i) longBinary[i] = static_cast<BYTE>(i * 7);
    const std::vector<Row> rows = {
        {"Quality", REG_BINARY, {0x4b, 0, 0, 0}, "\"Quality\"=hex:4b,00,00,00"},
        {"Count", REG_DWORD, {0x4b, 0, 0, 0}, "\"Count\"=dword:0000004b"},
        {"Destination0", REG_SZ, bytes("/home/u/\"my\" pics\\x", true), "\"Destination0\"=\"/home/u/\\\"my\\\" pics\\\\x\""},
        {"Empty", REG_SZ, bytes("", true), "\"Empty\"=\"\""},
        {"Unicode", REG_SZ, bytes("Bilder/Größe ✓", true), "\"Unicode\"=\"Bilder/Größe ✓\""},
        {"Expand", REG_EXPAND_SZ, bytes("%HOME%", true), "\"Expand\"=hex(2):25,48,4f,4d,45,25,00"},
        {"Multi\"Line", REG_SZ, bytes("a\nb", true), "\"Multi\\\"Line\"=hex(1):61,0a,62,00"},
        {"NoZero", REG_SZ, bytes("abc", false), "\"NoZero\"=hex(1):61,62,63"},
        {"Qword", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}, "\"Qword\"=hex(b):01,02,03,04,05,06,07,08"},
        {"Nothing", REG_BINARY, {}, "\"Nothing\"=hex:"},
        {"Long", REG_BINARY, longBinary, nullptr},
        {"", REG_SZ, bytes("default", true), "@=\"default\""},
    };
    HKEY key = create();
    for (const auto& r : rows)
        ASSERT_EQ(RegSetValueExA(key, r.name, 0, r.type, r.data.data(), static_cast<DWORD>(r.data.size())),
                  ERROR_SUCCESS) << r.name;
    RegCloseKey(key);

    const std::string text = readFile(hivePath);
    EXPECT_EQ(text.rfind("REGEDIT4\n\n[Software]\n\n[Software\\Brimvale]\n", 0), 0u) << text;
    for (const auto& r : rows) {
        if (!r.line) continue;
        EXPECT_NE(text.find(std::string("\n") + r.line + "\n"), std::string::npos) << r.line << "\n" << text;
    }
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        EXPECT_LE(line.size(), 80u) << line;

    // Read back through a fresh handle: same type, same bytes.
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\brimvale", 0, KEY_READ, &key), ERROR_SUCCESS);
    for (const auto& r : rows) {
        DWORD type = 0;
        EXPECT_EQ(query(key, r.name, &type), r.data) << r.name;
        EXPECT_EQ(type, r.type) << r.name;
    }
    RegCloseKey(key);
}

TEST_F(RegistryTest, QueriesAnswerAsWin32Does) {
    HKEY key = create();
    const BYTE four[4] = {1, 2, 3, 4};
    ASSERT_EQ(RegSetValueExA(key, "Size", 0, REG_BINARY, four, 4), ERROR_SUCCESS);

    // Existence without a buffer, then the size alone.
    EXPECT_EQ(RegQueryValueExA(key, "size", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    DWORD size = 0, type = 0;
    EXPECT_EQ(RegQueryValueExA(key, "SIZE", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(type, REG_BINARY);
    // A short buffer: ERROR_MORE_DATA with the size needed.
    BYTE two[2];
    size = sizeof two;
    EXPECT_EQ(RegQueryValueExA(key, "Size", nullptr, nullptr, two, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(RegQueryValueExA(key, "Size", nullptr, nullptr, two, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExA(key, "Missing", nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);

    EXPECT_EQ(RegDeleteValueA(key, "SiZe"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(key, "Size"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegFlushKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);

    HKEY other = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Elsewhere", 0, KEY_READ, &other), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(other, nullptr);
    // A parent made implicitly by its child opens; access rights limit what a handle does.
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_QUERY_VALUE, &other), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(other, "x", 0, REG_BINARY, four, 4), ERROR_ACCESS_DENIED);
    RegCloseKey(other);
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Brimvale", 0, KEY_SET_VALUE, &other), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExA(other, "x", nullptr, nullptr, nullptr, nullptr), ERROR_ACCESS_DENIED);
    RegCloseKey(other);

    DWORD disposition = 0;
    HKEY again = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "software\\BRIMVALE", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &again,
                              &disposition), ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    RegCloseKey(again);
    // The hive keeps the case the key was created with.
    EXPECT_NE(readFile(hivePath).find("[Software\\Brimvale]"), std::string::npos);
}

TEST_F(RegistryTest, ReadOnlyHiveRefusesEveryChange) {
    HKEY key = create();
    const BYTE four[4] = {9, 0, 0, 0};
    ASSERT_EQ(RegSetValueExA(key, "Quality", 0, REG_BINARY, four, 4), ERROR_SUCCESS);
    const std::string before = readFile(hivePath);

    struct Way {
        const char* what;
        std::function<void()> makeReadOnly;
        std::function<void()> undo;
    };
    const std::vector<Way> ways = {
        {"flag file", [&] { writeFile(hivePath + ".readonly", ""); }, [&] { fs::remove(hivePath + ".readonly"); }},
        {"injected check", [] { platform::SetHiveWritableCheck([](const std::string&) { return false; }); },
         [] { platform::SetHiveWritableCheck({}); }},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.what);
        way.makeReadOnly();
        EXPECT_FALSE(platform::IsHiveWritable(HKEY_LOCAL_MACHINE));
        HKEY h = nullptr;
        EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Brimvale", 0, KEY_ALL_ACCESS, &h), ERROR_ACCESS_DENIED);
        EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Brimvale", 0, KEY_WRITE, &h), ERROR_ACCESS_DENIED);
        create("Software\\Brimvale", KEY_ALL_ACCESS, ERROR_ACCESS_DENIED);
        create("Software\\New", KEY_READ, ERROR_ACCESS_DENIED);
        // Reading still works, through a handle opened for reading or one opened before.
        HKEY reader = create("Software\\Brimvale", KEY_READ);
        EXPECT_EQ(query(reader, "Quality"), std::vector<BYTE>(four, four + 4));
        RegCloseKey(reader);
        EXPECT_EQ(RegSetValueExA(key, "Quality", 0, REG_BINARY, four, 4), ERROR_ACCESS_DENIED);
        EXPECT_EQ(RegDeleteValueA(key, "Quality"), ERROR_ACCESS_DENIED);
        EXPECT_EQ(readFile(hivePath), before);
        way.undo();
        EXPECT_TRUE(platform::IsHiveWritable(HKEY_LOCAL_MACHINE));
    }
    RegCloseKey(key);
}

TEST(RegistryFolder, FolderThatCannotBeMadeIsReadOnly) {
    testutil::TempDir dir;
    writeFile(dir.path() / "file", "not a folder");
    testutil::ScopedEnv env("BRIMVALE_REGISTRY_DIR", dir / "file/registry");
    EXPECT_FALSE(platform::IsHiveWritable(HKEY_LOCAL_MACHINE));
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Brimvale", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Brimvale", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
}

TEST(RegistryFolder, ResolvedFromTheEnvironment) {
    struct Row {
        std::optional<std::string> own, xdg, home;
        std::string expected;
    };
    const std::vector<Row> rows = {
        {"/r", "/x", "/h", "/r"},
        {std::nullopt, "/x", "/h", "/x/brimvale"},
        {"", "/x", "/h", "/x/brimvale"},
        {std::nullopt, "relative", "/h", "/h/.config/brimvale"},
        {std::nullopt, std::nullopt, "/h", "/h/.config/brimvale"},
    };
    for (const auto& r : rows) {
        testutil::ScopedEnv a("BRIMVALE_REGISTRY_DIR", r.own), b("XDG_CONFIG_HOME", r.xdg), c("HOME", r.home);
        EXPECT_EQ(platform::RegistryDirectory(), r.expected);
        EXPECT_EQ(platform::HiveFilePath(HKEY_CURRENT_USER), r.expected + "/HKEY_CURRENT_USER.reg");
    }
}

TEST_F(RegistryTest, CorruptHiveIsMovedAsideNeverOverwritten) {
    writeFile(hivePath, "REGEDIT4\n\n[Software\\Brimvale]\n\"Quality\"=hex:zz\n");
    writeFile(hivePath + ".corrupt", "an earlier broken copy");
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Brimvale", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(readFile(hivePath + ".corrupt"), "an earlier broken copy");
    EXPECT_EQ(readFile(hivePath + ".corrupt.2"), "REGEDIT4\n\n[Software\\Brimvale]\n\"Quality\"=hex:zz\n");
    EXPECT_FALSE(fs::exists(hivePath));

    // A read-only hive that does not parse is left where it is, and reads as empty.
    writeFile(hivePath, "garbage");
    platform::SetHiveWritableCheck([](const std::string&) { return false; });
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Brimvale", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(readFile(hivePath), "garbage");
    platform::SetHiveWritableCheck({});

    // The next change starts a new hive and keeps the broken one.
    key = create();
    RegCloseKey(key);
    EXPECT_EQ(readFile(hivePath + ".corrupt.3"), "garbage");
    EXPECT_EQ(readFile(hivePath), "REGEDIT4\n\n[Software]\n\n[Software\\Brimvale]\n");
}

TEST(HiveText, ParsesWhatExportsWriteAndRejectsTheRest) {
    struct Row {
        const char* text;
        bool parses;
    };
    const std::vector<Row> rows = {
        {"", true},
        {"\n\n", true},
        {"REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Brimvale]\r\n\"A\"=\"x\"\r\n", true},
        {"\xEF\xBB\xBFREGEDIT4\n; a comment\n[Software]\n\"A\"=hex:01,02,\\\n  03,04\n", true},
        {"REGEDIT4\n[Software]\n@=dword:0000000A\n", true},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE]\n\"A\"=hex(2):41,00\n", true},
        {"Windows Registry Editor Version 5.00\n", false},
        {"; comment first\nREGEDIT4\n", false},
        {"REGEDIT4\n\"A\"=\"outside a key\"\n", false},
        {"REGEDIT4\n[Software\n", false},
        {"REGEDIT4\n[-Software]\n", false},
        {"REGEDIT4\n[Software\\\\Double]\n", false},
        {"REGEDIT4\n[Software]\n\"A\"=\"unterminated\n", false},
        {"REGEDIT4\n[Software]\n\"A\"=\"x\" trailing\n", false},
        {"REGEDIT4\n[Software]\n\"A\"=dword:123\n", false},
        {"REGEDIT4\n[Software]\n\"A\"=hex:1,02\n", false},
        {"REGEDIT4\n[Software]\n\"A\"=hex:01,,02\n", false},
        {"REGEDIT4\n[Software]\n\"A\"=hex(zz):01\n", false},
        {"REGEDIT4\n[Software]\n\"A\"=hex:01,\\\n", false},
        {"REGEDIT4\n[Software]\n\"A\"=-\n", false},
        {"REGEDIT4\n[Software]\nA=\"unquoted name\"\n", false},
    };
    for (const auto& r : rows) {
        platform::detail::Hive hive;
        std::string error;
        EXPECT_EQ(platform::detail::parseHive(r.text, "HKEY_LOCAL_MACHINE", hive, &error), r.parses)
            << r.text << " -> " << error;
    }
    platform::detail::Hive hive;
    ASSERT_TRUE(platform::detail::parseHive("REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\Brimvale]\n\"A\"=hex:01,\\\n  02\n",
                                            "HKEY_LOCAL_MACHINE", hive, nullptr));
    auto* key = hive.findKey("software\\brimvale");
    ASSERT_NE(key, nullptr);
    ASSERT_EQ(key->values.size(), 1u);
    EXPECT_EQ(key->values[0].data, (std::vector<std::uint8_t>{1, 2}));
    EXPECT_TRUE(hive.keyExists("Software"));
}

// Several processes change the hive at once; with the lock and the re-read under it, no
// process's values are lost.
TEST_F(RegistryTest, ConcurrentWritersKeepEachOthersValues) {
    HKEY key = create();
    RegCloseKey(key);
    constexpr int kWriters = 4, kValues = 25;
    std::vector<pid_t> children;
    for (int w = 0; w < kWriters; ++w) {
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            int failures = 0;
            for (int i = 0; i < kValues; ++i) {
                HKEY k = nullptr;
                if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Brimvale", 0, KEY_WRITE, &k) != ERROR_SUCCESS) {
                    ++failures;
                    continue;
                }
                std::string name = "W" + std::to_string(w) + "_" + std::to_string(i);
                BYTE v[4] = {static_cast<BYTE>(w), static_cast<BYTE>(i), 0, 0};
                failures += RegSetValueExA(k, name.c_str(), 0, REG_BINARY, v, 4) != ERROR_SUCCESS;
                RegCloseKey(k);
            }
            ::_exit(failures == 0 ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Brimvale", 0, KEY_READ, &key), ERROR_SUCCESS);
    for (int w = 0; w < kWriters; ++w)
        for (int i = 0; i < kValues; ++i) {
            std::string name = "W" + std::to_string(w) + "_" + std::to_string(i);
            EXPECT_EQ(query(key, name.c_str()), (std::vector<BYTE>{BYTE(w), BYTE(i), 0, 0})) << name;
        }
    RegCloseKey(key);
    // No temporary file is left behind.
    for (const auto& entry : fs::directory_iterator(dir.path()))
        EXPECT_EQ(entry.path().filename().string().find(".tmp."), std::string::npos) << entry.path();
}
