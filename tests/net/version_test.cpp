// SPDX-License-Identifier: MIT
// The version record reader: which translation it reads for the user's language, records
// with and without their parts, this test program's own record; the version file writer.
#include "elffile.h"
#include "net/fileversioninfo.h"
#include "net/versionfilewriter.h"
#include "platform/langid.h"
#include "scriptedservices.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <optional>

namespace {

struct LocaleRow {
    std::optional<std::string> all, messages, lang;
    WORD id;
};

TEST(LangIdTest, FirstLocaleVariableSetDecides) {
    const LocaleRow rows[] = {
        {std::nullopt, std::nullopt, "de_DE.UTF-8", 0x0407}, {"", std::nullopt, "de_AT", 0x0C07},
        {"C", "fr_FR", "de_DE", 0x0409}, {std::nullopt, "fr_CA.UTF-8@x", "de_DE", 0x0C0C},
        {std::nullopt, std::nullopt, std::nullopt, 0x0409}, {"POSIX", std::nullopt, std::nullopt, 0x0409},
        {"C.UTF-8", std::nullopt, std::nullopt, 0x0409}, {"pt_BR", std::nullopt, std::nullopt, 0x0416},
        {"en_GB.ISO-8859-1", std::nullopt, std::nullopt, 0x0809}, {"de", std::nullopt, std::nullopt, 0x0407},
        {"es_ES", std::nullopt, std::nullopt, 0x0C0A}, {"xx_YY", std::nullopt, std::nullopt, 0x0409},
        {"de_XX", std::nullopt, std::nullopt, 0x0407}};
    for (const LocaleRow& row : rows) {
        testutil::ScopedEnv all("LC_ALL", row.all), messages("LC_MESSAGES", row.messages), lang("LANG", row.lang);
        EXPECT_EQ(GetUserDefaultLangID(), row.id) << row.all.value_or("-") << " " << row.lang.value_or("-");
    }
}

TEST(TranslationTest, ChoiceFollowsTheFiveSteps) {
    const struct {
        const char* name;
        std::vector<DWORD> entries;
        WORD user;
        std::size_t chosen;
    } rows[] = {
        {"SameLanguage", {0x04E40409, 0x04B00407}, 0x0407, 1},
        {"SamePrimaryLanguage", {0x04E40409, 0x04B00C07}, 0x0407, 1},
        {"Neutral", {0x04E40C0C, 0x04B00000, 0x04E40409}, 0x0407, 1},
        {"NeutralOfARegion", {0x04E40C0C, 0x04B00400, 0x04E40809}, 0x0407, 1},
        {"NeutralEnglish", {0x04E40C0C, 0x04E40809, 0x04B00009}, 0x0407, 2},
        {"EnglishOfAnyRegion", {0x04E40C0C, 0x04E40809}, 0x0407, 1},
        {"First", {0x04E40C0C, 0x04E40410}, 0x0407, 0},
    };
    for (const auto& row : rows) EXPECT_EQ(net::chooseTranslation(row.entries, row.user), row.chosen) << row.name;
}

const std::vector<std::pair<std::string, std::string>> kStrings = {
    {"CompanyName", "Kestrelby Software"}, {"FileDescription", "Picture resizer"}, {"FileVersion", "1.2.3.4"},
    {"InternalName", "brimvale"}, {"LegalCopyright", "(C) Kestrelby"}, {"OriginalFileName", "brimvale"},
    {"ProductName", "Brimvale"}, {"ProductVersion", "1.2"}, {"Comments", "c"}, {"LegalTrademarks", "t"},
    {"PrivateBuild", "p"}, {"SpecialBuild", "s"}};

platform::VersionFields fields(WORD language, WORD codePage) {
    return {{1, 2, 3, 4}, {1, 2, 0, 0}, 0, VOS_NT_WINDOWS32, VFT_APP, language, codePage, kStrings};
}

std::vector<std::string> stringsOf(const CFileVersionInfo& info) {
    return {info.m_strCompanyName, info.m_strFileDescription, info.m_strFileVersion, info.m_strInternalName,
            info.m_strLegalCopyright, info.m_strOriginalFileName, info.m_strProductName, info.m_strProductVersion,
            info.m_strComments, info.m_strLegalTrademarks, info.m_strPrivateBuild, info.m_strSpecialBuild};
}

std::vector<std::string> valuesOf(const std::vector<std::pair<std::string, std::string>>& strings) {
    std::vector<std::string> out;
    for (const auto& [name, value] : strings) out.push_back(value);
    return out;
}

// The record with its fixed block cut from 52 to 48 bytes.
testutil::Bytes withFixedBlockOf48(testutil::Bytes record) {
    constexpr std::size_t kValueAt = 40; // after the header and the key "VS_VERSION_INFO"
    EXPECT_EQ(static_cast<unsigned char>(record[2]), 52u);
    record.erase(kValueAt + 48, 4);
    testutil::putLe(record, 2, 48, 2);
    testutil::putLe(record, 0, record.size(), 2);
    return record;
}

struct RecordRow {
    const char* name;
    std::optional<testutil::Bytes> file; // none: no file at all
    const char* lang;
    BOOL created;
    std::array<WORD, 4> version;
    std::vector<std::string> strings;
};
void PrintTo(const RecordRow& row, std::ostream* os) { *os << row.name; }

class RecordRows : public ::testing::TestWithParam<RecordRow> {};

TEST_P(RecordRows, ReadAsExpected) {
    const RecordRow& row = GetParam();
    testutil::ScopedEnv all("LC_ALL", std::nullopt), messages("LC_MESSAGES", std::nullopt), lang("LANG", row.lang);
    testutil::TempDir dir;
    if (row.file) testutil::writeFile(dir / "prog", *row.file);
    CFileVersionInfo info;
    ASSERT_TRUE(info.Create("/proc/self/exe")); // something read before, which a failure must reset
    EXPECT_EQ(info.Create((dir / "prog").c_str()), row.created);
    EXPECT_EQ(info.GetFileVersion(), row.version);
    EXPECT_EQ(stringsOf(info), row.strings);
    if (row.version == std::array<WORD, 4>{}) {
        VS_FIXEDFILEINFO zero{};
        EXPECT_EQ(std::memcmp(&info.m_FileInfo, &zero, sizeof zero), 0);
    } else {
        EXPECT_EQ(info.m_FileInfo.dwSignature, VS_FFI_SIGNATURE);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, RecordRows, ::testing::Values(
    RecordRow{"EnglishRecordUnderGerman", testutil::elfWithRecord(testutil::buildRecord(fields(0x0409, 0x04E4))).bytes,
              "de_DE.UTF-8", TRUE, {1, 2, 3, 4}, valuesOf(kStrings)},
    RecordRow{"GermanRecordUnderFrench", testutil::elfWithRecord(testutil::buildRecord(fields(0x0407, 0x04B0)), false).bytes,
              "fr_FR", TRUE, {1, 2, 3, 4}, valuesOf(kStrings)},
    RecordRow{"FixedBlockOf48", testutil::elfWithRecord(withFixedBlockOf48(testutil::buildRecord(fields(0x0409, 0x04E4)))).bytes,
              "en_US", TRUE, {0, 0, 0, 0}, valuesOf(kStrings)},
    RecordRow{"NoRecord", testutil::makeElf(true, {{".text", "code"}}).bytes, "en_US", FALSE, {}, std::vector<std::string>(12)},
    RecordRow{"NoFile", std::nullopt, "en_US", FALSE, {}, std::vector<std::string>(12)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FileVersionInfoTest, ReadsTheRunningProgramsOwnRecord) {
    CFileVersionInfo info;
    ASSERT_TRUE(info.Create());
    const auto v = info.GetFileVersion();
    char text[32];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", v[0], v[1], v[2], v[3]);
    EXPECT_EQ(std::string(text), BRIMVALE_VERSION);
    EXPECT_EQ(info.GetProductName(), "Brimvale");
    EXPECT_EQ(info.GetFileDescription(), "Brimvale network tests");
}

} // namespace

namespace {

struct WriterRow {
    const char* name;
    const char* program;             // the program's path in the tree
    std::vector<std::string> folders; // made before; "a->b" makes a a link to b
    bool cacheAt;                     // a CMakeCache.txt in "build/"
    bool result;
    const char* written;              // the file that must hold the four lines, or null
    bool message;
};
void PrintTo(const WriterRow& row, std::ostream* os) { *os << row.name; }

class WriterRows : public ::testing::TestWithParam<WriterRow> {};

TEST_P(WriterRows, WriteOnlyIntoABuildTree) {
    const WriterRow& row = GetParam();
    testutil::TempDir dir;
    const std::filesystem::path root = dir.path();
    const std::string program = (root / row.program).string();
    std::filesystem::create_directories(std::filesystem::path(program).parent_path());
    for (const std::string& folder : row.folders) {
        if (const auto arrow = folder.find("->"); arrow != std::string::npos)
            std::filesystem::create_directory_symlink(root / folder.substr(arrow + 2), root / folder.substr(0, arrow));
        else
            std::filesystem::create_directories(root / folder);
    }
    if (row.cacheAt) testutil::writeFile(root / "build/CMakeCache.txt", "# cache\n");
    testutil::writeFile(program, testutil::elfWithRecord(testutil::buildRecord(
        {{1, 4, 0, 12}, {1, 4, 0, 12}, 0, VOS_NT_WINDOWS32, VFT_APP, 0x0409, 0x04E4, {}})).bytes);

    const auto previous = net::setProgramPathSource([&] { return program; });
    testutil::ScopedMessageBoxScript boxes;
    if (row.message) boxes.answer(IDOK);
    EXPECT_EQ(WriteVersionFile(), row.result);
    net::setProgramPathSource(previous);

    std::size_t versionFiles = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
        versionFiles += entry.path().filename() == "brimvaleVersion.txt";
    EXPECT_EQ(versionFiles, row.written ? 1u : 0u);
    if (row.written) {
        EXPECT_EQ(testutil::readFile(root / row.written), "1\r\n4\r\n0\r\n12\r\n");
    }
    if (row.message) {
        ASSERT_EQ(boxes.texts().size(), 1u);
        EXPECT_EQ(boxes.texts()[0], "Unable to open " + (root / "build/brimvaleSetup/brimvaleVersion.txt").string() +
                                        " to write version file.");
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, WriterRows, ::testing::Values(
    WriterRow{"FromBin", "build/bin/brimvale", {"build/brimvaleSetup"}, true, true, "build/brimvaleSetup/brimvaleVersion.txt", false},
    WriterRow{"Direct", "build/brimvale", {"build/brimvaleSetup"}, true, true, "build/brimvaleSetup/brimvaleVersion.txt", false},
    WriterRow{"NoBuildTree", "build/bin/brimvale", {"build/brimvaleSetup"}, false, false, nullptr, false},
    WriterRow{"DeeperThanBin", "build/bin/x/brimvale", {"build/brimvaleSetup"}, true, false, nullptr, false},
    WriterRow{"MissingSetupFolder", "build/bin/brimvale", {}, true, true, nullptr, true},
    WriterRow{"SetupFolderALink", "build/bin/brimvale", {"elsewhere", "build/brimvaleSetup->elsewhere"}, true, true, nullptr, true}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
