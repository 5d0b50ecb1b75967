// SPDX-License-Identifier: MIT
// Small ELF files built in memory for the version record tests: a header, a section table,
// the section names, and each section's bytes.
#pragma once

#include "platform/versioninfo.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace testutil {

using Bytes = std::string; // records and files

template <typename T>
inline void putLe(T& bytes, std::size_t at, std::uint64_t value, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

// A small ELF file: header, section table, names, then each section's data. Sections are
// the null one, those given, and the names last.
struct ElfFile {
    bool is64 = true;
    std::string bytes;
    std::size_t table() const { return is64 ? 64 : 52; }
    std::size_t header(std::size_t s) const { return table() + s * (is64 ? 64 : 40); }
    std::size_t shoff() const { return is64 ? 0x28 : 0x20; }
    std::size_t shnum() const { return is64 ? 0x3C : 0x30; }
    std::size_t word() const { return is64 ? 8 : 4; }
    std::size_t shOffset(std::size_t s) const { return header(s) + (is64 ? 24 : 16); }
    std::size_t shSize(std::size_t s) const { return shOffset(s) + word(); }
};

struct Section { std::string name, data; std::uint32_t type = 1; };

inline ElfFile makeElf(bool is64, std::vector<Section> sections) {
    ElfFile elf{is64, {}};
    sections.insert(sections.begin(), Section{});
    sections.push_back({".shstrtab", std::string(1, '\0'), 3});
    std::vector<std::size_t> nameAt(sections.size(), 0);
    for (std::size_t i = 1; i < sections.size(); ++i) {
        nameAt[i] = sections.back().data.size();
        sections.back().data += sections[i].name + '\0';
    }
    const std::size_t count = sections.size();
    std::string& b = elf.bytes;
    b.assign(elf.header(count), '\0');
    b.replace(0, 7, std::string("\x7F" "ELF") + char(is64 ? 2 : 1) + "\x01\x01");
    putLe(b, elf.shoff(), elf.table(), elf.word());
    putLe(b, elf.shnum() - 2, is64 ? 64 : 40, 2);
    putLe(b, elf.shnum(), count, 2);
    putLe(b, elf.shnum() + 2, count - 1, 2);
    // The names go first, so cutting the file inside the last section's data leaves the
    // table and the names whole.
    std::vector<std::size_t> order{count - 1};
    for (std::size_t i = 1; i + 1 < count; ++i) order.push_back(i);
    for (std::size_t i : order) {
        b.resize((b.size() + 3) & ~std::size_t{3}, '\0');
        putLe(b, elf.header(i), nameAt[i], 4);
        putLe(b, elf.header(i) + 4, sections[i].type, 4);
        putLe(b, elf.shOffset(i), b.size(), elf.word());
        putLe(b, elf.shSize(i), sections[i].data.size(), elf.word());
        b += sections[i].data;
    }
    return elf;
}

inline Bytes buildRecord(const platform::VersionFields& fields) {
    const auto record = platform::BuildVersionRecord(fields);
    return {record.begin(), record.end()};
}

inline ElfFile elfWithRecord(const Bytes& record, bool is64 = true) {
    return makeElf(is64, {{".text", std::string(20, '\x90')}, {platform::kVersionSectionName, record}});
}

} // namespace testutil
