// SPDX-License-Identifier: MIT
// The version calls: the record built into brimvale, crafted records in ELF32 and ELF64
// files, and damaged files, records and buffers, which must fail cleanly.
#include "platform/versioninfo.h"
#include "elffile.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>

using platform::VersionFields;
using testutil::Bytes;
using testutil::ElfFile;
using testutil::buildRecord;
using testutil::elfWithRecord;
using testutil::makeElf;
using testutil::putLe;
using Buffer = std::vector<char>; // exactly sized, so ASan sees any access past the end

namespace {

std::optional<Buffer> loadInfo(const std::string& path) {
    DWORD handle = 7;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    EXPECT_EQ(handle, 0u);
    Buffer info(size);
    if (size == 0 || !GetFileVersionInfoA(path.c_str(), 0, size, info.data())) return std::nullopt;
    return info;
}

// VerQueryValueA's answer as bytes, which must lie inside the buffer.
std::optional<std::string_view> query(const Buffer& info, const std::string& key) {
    LPVOID value = nullptr;
    UINT len = 0;
    if (!VerQueryValueA(info.data(), key.c_str(), &value, &len)) return std::nullopt;
    const std::string_view answer(static_cast<const char*>(value), len);
    EXPECT_TRUE(answer.data() >= info.data() && answer.data() + len <= info.data() + info.size()) << key;
    return answer;
}

// A string value: NUL-terminated, its length counting the NUL.
std::optional<std::string_view> queryString(const Buffer& info, const std::string& key) {
    auto answer = query(info, "\\StringFileInfo\\" + key);
    if (!answer) return answer;
    EXPECT_EQ(answer->find('\0'), answer->size() - 1) << key;
    return answer->substr(0, answer->size() - 1);
}

// Offset of the block keyed `key` in a record.
std::size_t blockAt(const Bytes& record, std::string_view key) {
    std::string pattern;
    for (char c : key) pattern += {c, '\0'};
    const std::size_t at = record.find(pattern + std::string(2, '\0'));
    EXPECT_NE(at, std::string::npos) << key;
    return at - 6;
}

// VS_VERSION_INFO over a chain of `depth` blocks, each the only child of the one before.
Bytes nestedRecord(int depth) {
    Bytes inner;
    for (int level = depth; level >= 0; --level) {
        Bytes block(6, '\0');
        for (char c : std::string(level == 0 ? "VS_VERSION_INFO" : "a")) block += {c, '\0'};
        block.resize((block.size() + 5) & ~std::size_t{3}, '\0');
        putLe(block, 0, block.size() + inner.size(), 2);
        inner = block + inner;
    }
    return inner;
}

VersionFields makeFields(std::array<WORD, 4> file, std::array<WORD, 4> product, WORD language, WORD codePage,
                         std::vector<std::pair<std::string, std::string>> strings) {
    return {file, product, 0, VOS_NT_WINDOWS32, VFT_APP, language, codePage, std::move(strings)};
}

const VersionFields kSmall = makeFields({1, 2, 3, 4}, {1, 2, 3, 4}, 0x0409, 0x04E4,
    {{"CompanyName", "Kestrelby Software"}, {"ProductName", "Brimvale"}, {"Comments", "odd"}});

std::string repeat(const std::string& text, int times) { return times > 0 ? text + repeat(text, times - 1) : ""; }

} // namespace

TEST(VersionInfoTest, BuiltExecutableCarriesTheProjectVersion) {
    const auto info = loadInfo(BRIMVALE_EXE_PATH);
    ASSERT_TRUE(info);
    const VS_FIXEDFILEINFO expected{0xFEEF04BD, 0x00010000, 0x00010000, 0x00000001, 0x00010000, 0x00000001,
                                    0x3F, 0, 0x00040004, 1, 0, 0, 0};
    EXPECT_EQ(query(*info, "\\"), std::string_view(reinterpret_cast<const char*>(&expected), sizeof expected));
    EXPECT_EQ(query(*info, "\\VarFileInfo\\Translation"), std::string_view("\x09\x04\xE4\x04", 4));
    for (const auto& [name, value] : std::initializer_list<std::pair<const char*, const char*>>{
             {"CompanyName", "Kestrelby Software"}, {"FileDescription", "Brimvale picture resizer"},
             {"FileVersion", "1.0.0.1"}, {"InternalName", "brimvale"},
             {"LegalCopyright", "Copyright (C) 2026 Kestrelby Software"}, {"OriginalFileName", "brimvale"},
             {"ProductName", "Brimvale"}, {"ProductVersion", "1.0.0.1"}}) {
        EXPECT_EQ(queryString(*info, std::string("040904E4\\") + name), value);
    }
    EXPECT_EQ(query(*info, "\\stringfileinfo\\040904e4\\PRODUCTNAME"), std::string_view("Brimvale", 9));
    for (const char* missing : {"\\Nothing", "\\StringFileInfo", "\\StringFileInfo\\040904E4",
                                "\\StringFileInfo\\04090000\\ProductName", "\\StringFileInfo\\040904E4\\ProductNam",
                                "\\StringFileInfo\\040904E4\\ProductNameX", "\\VarFileInfo\\Translation\\More"}) {
        EXPECT_FALSE(query(*info, missing)) << missing;
    }
}

struct RoundTripRow {
    const char* name;
    bool is64;
    VersionFields fields;
    DWORD fileMs, fileLs, productLs;
    std::string_view translation;
    const char* table;
};
void PrintTo(const RoundTripRow& row, std::ostream* os) { *os << row.name; }

class VersionInfoRoundTrip : public ::testing::TestWithParam<RoundTripRow> {};

TEST_P(VersionInfoRoundTrip, ReadsBackWhatWasBuilt) {
    const RoundTripRow& row = GetParam();
    testutil::TempDir dir;
    testutil::writeFile(dir / "prog", elfWithRecord(buildRecord(row.fields), row.is64).bytes);
    const auto info = loadInfo(dir / "prog");
    ASSERT_TRUE(info);
    const auto answer = query(*info, "\\");
    ASSERT_TRUE(answer && answer->size() == sizeof(VS_FIXEDFILEINFO));
    VS_FIXEDFILEINFO fixed;
    std::memcpy(&fixed, answer->data(), sizeof fixed);
    EXPECT_EQ(fixed.dwFileVersionMS, row.fileMs);
    EXPECT_EQ(fixed.dwFileVersionLS, row.fileLs);
    EXPECT_EQ(fixed.dwProductVersionLS, row.productLs);
    EXPECT_EQ(query(*info, "\\VarFileInfo\\Translation"), row.translation);
    // Ask for every string first: earlier answers must survive later queries.
    std::vector<std::optional<std::string_view>> answers;
    for (const auto& [name, value] : row.fields.strings) answers.push_back(queryString(*info, row.table + name));
    for (std::size_t i = 0; i < answers.size(); ++i) {
        EXPECT_EQ(answers[i], row.fields.strings[i].second) << row.fields.strings[i].first;
    }
    EXPECT_FALSE(queryString(*info, row.table + std::string("LegalTrademarks")));
}

INSTANTIATE_TEST_SUITE_P(Rows, VersionInfoRoundTrip, ::testing::Values(
    RoundTripRow{"Elf64", true, kSmall, 0x00010002, 0x00030004, 0x00030004, {"\x09\x04\xE4\x04", 4}, "040904E4\\"},
    RoundTripRow{"Elf32WidestParts", false,
                 makeFields({65535, 65534, 1, 0}, {0, 0, 0, 9}, 0x0407, 0x04B0,
                            {{"A", "b"}, {"Comments", ""}, {"PrivateBuild", "xyz"}}),
                 0xFFFFFFFE, 0x00010000, 0x00000009, {"\x07\x04\xB0\x04", 4}, "040704b0\\"},
    RoundTripRow{"Elf64NonAscii", true,
                 makeFields({2, 0, 0, 0}, {}, 0x0409, 0x04E4,
                            {{"FileDescription", "Größe ändern — ✓ 𝄞"}, {"Comments", std::string(3000, 'w')},
                             {"ProductName", "日本語"}, {"LegalCopyright", repeat("日本語", 100)}, {"SpecialBuild", "x"}}),
                 0x00020000, 0, 0, {"\x09\x04\xE4\x04", 4}, "040904E4\\"}),
    [](const auto& info) { return std::string(info.param.name); });

struct FileRow {
    const char* name;
    std::function<std::string()> make; // empty: no file at all
    LONG error;                        // ERROR_SUCCESS: the file's record reads back
};
void PrintTo(const FileRow& row, std::ostream* os) { *os << row.name; }

class VersionInfoFile : public ::testing::TestWithParam<FileRow> {};

TEST_P(VersionInfoFile, ReadsTheRecordOrFailsCleanly) {
    testutil::TempDir dir;
    const FileRow& row = GetParam();
    const std::string path = dir / "prog";
    if (row.make) testutil::writeFile(path, row.make());
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), nullptr);
    Buffer info(std::max<DWORD>(size, 4096));
    if (row.error != ERROR_SUCCESS) {
        EXPECT_EQ(size, 0u);
        EXPECT_EQ(platform::LastVersionError(), static_cast<DWORD>(row.error));
    }
    const bool loaded = GetFileVersionInfoA(path.c_str(), 0, static_cast<DWORD>(info.size()), info.data());
    EXPECT_EQ(loaded, row.error == ERROR_SUCCESS);
    if (loaded) {
        EXPECT_EQ(queryString(info, "040904E4\\ProductName"), "Brimvale");
    }
}

// A good record in an ELF file, then `edit` applied to the file.
std::function<std::string()> editedElf(std::function<void(ElfFile&)> edit, bool is64 = true) {
    return [=] {
        ElfFile elf = elfWithRecord(buildRecord(kSmall), is64);
        edit(elf);
        return elf.bytes;
    };
}

// A good record with `edit` applied at the block keyed `key`, in a good ELF file.
using RecordEdit = std::function<void(char* block)>;
std::function<std::string()> editedRecord(const char* key, RecordEdit edit) {
    return [=] {
        Bytes record = buildRecord(kSmall);
        edit(record.data() + blockAt(record, key));
        return elfWithRecord(record).bytes;
    };
}

RecordEdit wLength(WORD v) { return [v](char* b) { putLe(b, 0, v, 2); }; }
RecordEdit growBy(int by) { return [by](char* b) { putLe(b, 0, std::uint8_t(b[0]) + (std::uint8_t(b[1]) << 8) + by, 2); }; }
RecordEdit wValueLength(WORD v) { return [v](char* b) { putLe(b, 2, v, 2); }; }
std::function<void(ElfFile&)> setField(std::function<std::size_t(const ElfFile&)> at, std::uint64_t v, std::size_t width) {
    return [=](ElfFile& e) { putLe(e.bytes, at(e), v, width ? width : e.word()); };
}
constexpr std::size_t kRecordSection = 2, kNamesSection = 3;

INSTANTIATE_TEST_SUITE_P(Rows, VersionInfoFile, ::testing::Values(
    // Files with very many sections keep their count and names index in section 0.
    FileRow{"ExtendedNumbering", editedElf([](ElfFile& e) {
                putLe(e.bytes, e.shnum(), 0, 2);
                putLe(e.bytes, e.shnum() + 2, 0xFFFF, 2);
                putLe(e.bytes, e.shSize(0), 4, 8);
                putLe(e.bytes, e.header(0) + 40, kNamesSection, 4); // sh_link
            }), ERROR_SUCCESS},
    FileRow{"TheTestsThemselves", [] { return testutil::readFile("/proc/self/exe"); }, ERROR_RESOURCE_TYPE_NOT_FOUND},
    FileRow{"HalfOfBrimvale", [] { const auto exe = testutil::readFile(BRIMVALE_EXE_PATH); return exe.substr(0, exe.size() / 2); },
            ERROR_BAD_EXE_FORMAT},
    FileRow{"Missing", {}, ERROR_FILE_NOT_FOUND},
    FileRow{"Text", [] { return std::string("#!/bin/sh\necho not a program\n"); }, ERROR_BAD_EXE_FORMAT},
    FileRow{"BigEndian", editedElf([](ElfFile& e) { e.bytes[5] = 2; }), ERROR_BAD_EXE_FORMAT},
    FileRow{"OnlyALongerName", [] { return makeElf(true, {{std::string(platform::kVersionSectionName) + ".old", buildRecord(kSmall)}}).bytes; },
            ERROR_RESOURCE_TYPE_NOT_FOUND},
    FileRow{"NoSectionTable", editedElf(setField(&ElfFile::shoff, 0, 0)), ERROR_RESOURCE_TYPE_NOT_FOUND},
    FileRow{"CutInHeader", editedElf([](ElfFile& e) { e.bytes.resize(40); }), ERROR_BAD_EXE_FORMAT},
    FileRow{"CutInTable", editedElf([](ElfFile& e) { e.bytes.resize(e.header(2) + 9); }, false), ERROR_BAD_EXE_FORMAT},
    FileRow{"CutInRecord", editedElf([](ElfFile& e) { e.bytes.resize(e.bytes.size() - 30); }), ERROR_BAD_EXE_FORMAT},
    FileRow{"TableOffsetWraps", editedElf(setField(&ElfFile::shoff, ~std::uint64_t{63}, 0)), ERROR_BAD_EXE_FORMAT},
    FileRow{"CountPastEnd", editedElf(setField(&ElfFile::shnum, 0xFEFF, 2)), ERROR_BAD_EXE_FORMAT},
    FileRow{"NamesIndexOutOfRange", editedElf(setField([](auto& e) { return e.shnum() + 2; }, 9, 2)), ERROR_BAD_EXE_FORMAT},
    FileRow{"EntrySizeTooSmall", editedElf(setField([](auto& e) { return e.shnum() - 2; }, 16, 2)), ERROR_BAD_EXE_FORMAT},
    // The names table ends inside "brimvale_version": the name must not be read past it.
    FileRow{"NameCutByTableEnd", editedElf(setField([](auto& e) { return e.shSize(kNamesSection); }, 14, 0)), ERROR_RESOURCE_TYPE_NOT_FOUND},
    FileRow{"NameOffsetPastNames", editedElf(setField([](auto& e) { return e.header(kRecordSection); }, 0xFFFFFFF0, 4)), ERROR_RESOURCE_TYPE_NOT_FOUND},
    FileRow{"SectionNobits", editedElf(setField([](auto& e) { return e.header(kRecordSection) + 4; }, 8, 4)), ERROR_INVALID_DATA},
    FileRow{"SectionOffsetWraps32", editedElf(setField([](auto& e) { return e.shOffset(kRecordSection); }, 0xFFFFFFF0, 0), false), ERROR_BAD_EXE_FORMAT},
    FileRow{"SectionShorterThanHeader", editedElf(setField([](auto& e) { return e.shSize(kRecordSection); }, 4, 0)), ERROR_INVALID_DATA},
    FileRow{"RootLongerThanSection", editedRecord("VS_VERSION_INFO", growBy(4)), ERROR_INVALID_DATA},
    FileRow{"RootEndsInKey", editedRecord("VS_VERSION_INFO", wLength(20)), ERROR_INVALID_DATA},
    FileRow{"RootEndsInChild", editedRecord("VS_VERSION_INFO", growBy(-10)), ERROR_INVALID_DATA},
    FileRow{"WrongRootKey", editedRecord("VS_VERSION_INFO", [](char* b) { b[6] = 'W'; }), ERROR_INVALID_DATA},
    FileRow{"ChildLengthZero", editedRecord("StringFileInfo", wLength(0)), ERROR_INVALID_DATA},
    FileRow{"TableOverrunsItsParent", editedRecord("040904E4", growBy(16)), ERROR_INVALID_DATA},
    FileRow{"StringPastParent", editedRecord("ProductName", wValueLength(0x7FFF)), ERROR_INVALID_DATA},
    FileRow{"NestedTooDeep", [] { return elfWithRecord(nestedRecord(12)).bytes; }, ERROR_INVALID_DATA}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(VersionInfoTest, DamageInTheLoadedBufferNeverReadsOutside) {
    testutil::TempDir dir;
    testutil::writeFile(dir / "prog", elfWithRecord(buildRecord(kSmall)).bytes);
    const auto good = loadInfo(dir / "prog");
    ASSERT_TRUE(good);
    const Bytes record = buildRecord(kSmall);
    const std::pair<const char*, RecordEdit> damages[] = {
        {"StringFileInfo", wLength(0)}, {"040904E4", wLength(0xFFF0)}, {"CompanyName", wLength(3)},
        {"ProductName", wValueLength(0x4000)}, {"ProductName", wLength(14)}, {"VS_VERSION_INFO", growBy(-8)}};
    for (const auto& [key, damage] : damages) {
        Buffer info = *good;
        damage(info.data() + blockAt(record, key));
        EXPECT_FALSE(queryString(info, "040904E4\\ProductName")) << key;
        EXPECT_TRUE(query(info, "\\")) << key; // the fixed part lies before the damage
    }
}

TEST(VersionInfoTest, EveryBufferLengthEitherFailsOrAnswersWithinIt) {
    testutil::TempDir dir;
    const std::string path = dir / "prog";
    testutil::writeFile(path, elfWithRecord(buildRecord(kSmall)).bytes);
    const DWORD full = GetFileVersionInfoSizeA(path.c_str(), nullptr);
    const auto recordLength = static_cast<DWORD>(buildRecord(kSmall).size());
    for (DWORD len = recordLength - 1; len <= full; ++len) {
        Buffer info(len);
        if (!GetFileVersionInfoA(path.c_str(), 0, len, info.data())) {
            EXPECT_EQ(platform::LastVersionError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
            continue;
        }
        EXPECT_GE(len, recordLength);
        EXPECT_TRUE(query(info, "\\"));
        for (const auto& [name, value] : kSmall.strings) {
            const auto text = queryString(info, "040904E4\\" + name);
            EXPECT_TRUE(text ? *text == value : len < full) << name << " at " << len;
        }
    }
}
