// SPDX-License-Identifier: MIT
// REGEDIT4 reading and writing for the registry hives.
#include "platform/hivefile.h"
#include "platform/winreg.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace platform::detail {

namespace {

char upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && equalsNoCase(s.substr(0, prefix.size()), prefix);
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads a quoted string starting at s[0] == '"'; escapes are \\ and \". Returns the
// position after the closing quote, or npos when the string is not closed.
std::size_t readQuoted(std::string_view s, std::string& out) {
    out.clear();
    for (std::size_t i = 1; i < s.size(); ++i) {
        char c = s[i];
        if (c == '\\') {
            if (i + 1 >= s.size()) return std::string_view::npos;
            out.push_back(s[++i]);
        } else if (c == '"') {
            return i + 1;
        } else {
            out.push_back(c);
        }
    }
    return std::string_view::npos;
}

bool parseHexList(std::string_view s, std::vector<std::uint8_t>& out) {
    out.clear();
    s = trim(s);
    if (s.empty()) return true;
    while (true) {
        s = trim(s);
        if (s.size() < 2) return false;
        int hi = hexDigit(s[0]), lo = hexDigit(s[1]);
        if (hi < 0 || lo < 0) return false;
        out.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
        s = trim(s.substr(2));
        if (s.empty()) return true;
        if (s.front() != ',') return false;
        s.remove_prefix(1);
    }
}

bool parseValueData(std::string_view s, RegValue& v) {
    if (!s.empty() && s.front() == '"') {
        std::string text;
        std::size_t end = readQuoted(s, text);
        if (end == std::string_view::npos || !trim(s.substr(end)).empty()) return false;
        v.type = REG_SZ;
        v.data.assign(text.begin(), text.end());
        v.data.push_back(0);
        return true;
    }
    if (startsWithNoCase(s, "dword:")) {
        std::string_view digits = trim(s.substr(6));
        if (digits.size() != 8) return false;
        DWORD value = 0;
        for (char c : digits) {
            int d = hexDigit(c);
            if (d < 0) return false;
            value = value * 16 + static_cast<DWORD>(d);
        }
        v.type = REG_DWORD;
        v.data = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                  static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
        return true;
    }
    if (startsWithNoCase(s, "hex:")) {
        v.type = REG_BINARY;
        return parseHexList(s.substr(4), v.data);
    }
    if (startsWithNoCase(s, "hex(")) {
        std::size_t close = s.find(')');
        if (close == std::string_view::npos || close == 4 || close > 12 || close + 1 >= s.size() ||
            s[close + 1] != ':')
            return false;
        DWORD type = 0;
        for (char c : s.substr(4, close - 4)) {
            int d = hexDigit(c);
            if (d < 0) return false;
            type = type * 16 + static_cast<DWORD>(d);
        }
        v.type = type;
        return parseHexList(s.substr(close + 2), v.data);
    }
    return false;
}

void appendQuoted(std::string& out, std::string_view text) {
    out.push_back('"');
    for (char c : text) {
        if (c == '\\' || c == '"') out.push_back('\\');
        out.push_back(c);
    }
    out.push_back('"');
}

// A REG_SZ is written as a quoted string when that form gives the same bytes back:
// exactly one terminating zero and no line breaks inside.
bool writableAsString(const RegValue& v) {
    if (v.type != REG_SZ || v.data.empty() || v.data.back() != 0) return false;
    return std::none_of(v.data.begin(), v.data.end() - 1,
                        [](std::uint8_t b) { return b == 0 || b == '\n' || b == '\r'; });
}

void appendHexList(std::string& out, std::size_t lineStart, const std::vector<std::uint8_t>& data) {
    char buf[4];
    for (std::size_t i = 0; i < data.size(); ++i) {
        std::snprintf(buf, sizeof buf, "%02x", data[i]);
        out += buf;
        if (i + 1 < data.size()) {
            out.push_back(',');
            // Long lists wrap at about 80 columns, continued with a backslash as exports do.
            if (out.size() - lineStart > 76) {
                out += "\\\n  ";
                lineStart = out.size() - 2;
            }
        }
    }
}

} // namespace

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (upper(a[i]) != upper(b[i])) return false;
    return true;
}

RegValue* findValue(RegKey& key, std::string_view name) {
    for (auto& v : key.values)
        if (equalsNoCase(v.name, name)) return &v;
    return nullptr;
}

RegKey* Hive::findKey(std::string_view path) {
    for (auto& k : keys)
        if (equalsNoCase(k.path, path)) return &k;
    return nullptr;
}

bool Hive::keyExists(std::string_view path) const {
    if (path.empty()) return true;
    for (const auto& k : keys) {
        if (equalsNoCase(k.path, path)) return true;
        if (k.path.size() > path.size() && k.path[path.size()] == '\\' &&
            equalsNoCase(std::string_view(k.path).substr(0, path.size()), path))
            return true;
    }
    return false;
}

RegKey& Hive::createKey(std::string_view path, bool* created) {
    if (created) *created = false;
    // Parents first, so a written hive lists every key from the top down.
    for (std::size_t pos = path.find('\\'); pos != std::string_view::npos; pos = path.find('\\', pos + 1)) {
        if (!findKey(path.substr(0, pos))) keys.push_back(RegKey{std::string(path.substr(0, pos)), {}});
    }
    if (RegKey* k = findKey(path)) return *k;
    if (created) *created = !keyExists(path);
    keys.push_back(RegKey{std::string(path), {}});
    return keys.back();
}

bool parseHive(std::string_view text, std::string_view rootName, Hive& hive, std::string* error) {
    auto fail = [&](std::string why, std::size_t line) {
        if (error) *error = "line " + std::to_string(line) + ": " + why;
        return false;
    };
    hive.keys.clear();
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);

    bool sawHeader = false;
    RegKey* current = nullptr;
    std::size_t lineNo = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        // Gather one logical line: a trailing backslash continues it on the next line.
        std::string logical;
        std::size_t firstLine = lineNo + 1;
        while (true) {
            std::size_t nl = text.find('\n', pos);
            std::string_view line = text.substr(pos, nl == std::string_view::npos ? std::string_view::npos : nl - pos);
            pos = nl == std::string_view::npos ? text.size() : nl + 1;
            ++lineNo;
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            std::string_view piece = logical.empty() ? line : trim(line);
            bool continues = false;
            if (!piece.empty() && piece.back() == '\\') {
                std::string upto = logical + std::string(piece);
                std::transform(upto.begin(), upto.end(), upto.begin(), upper);
                continues = upto.find("=HEX") != std::string::npos;
            }
            if (continues) {
                piece.remove_suffix(1);
                logical += piece;
                if (pos >= text.size()) return fail("continuation at end of file", lineNo);
                continue;
            }
            logical += piece;
            break;
        }
        std::string_view line = trim(logical);
        if (line.empty()) continue;
        if (!sawHeader) {
            if (line != "REGEDIT4") return fail("missing REGEDIT4 header", firstLine);
            sawHeader = true;
            continue;
        }
        if (line.front() == ';') continue;
        if (line.front() == '[') {
            if (line.back() != ']' || line.size() < 2) return fail("bad section", firstLine);
            std::string_view path = line.substr(1, line.size() - 2);
            if (!path.empty() && path.front() == '-') return fail("key deletion is not supported", firstLine);
            if (equalsNoCase(path, rootName)) path = {};
            else if (startsWithNoCase(path, rootName) && path.size() > rootName.size() && path[rootName.size()] == '\\')
                path.remove_prefix(rootName.size() + 1);
            if (!path.empty() && (path.front() == '\\' || path.back() == '\\' ||
                                  path.find("\\\\") != std::string_view::npos))
                return fail("bad key path", firstLine);
            current = &hive.createKey(path);
            continue;
        }
        if (!current) return fail("value outside a key", firstLine);
        RegValue value;
        std::size_t after;
        if (line.front() == '@') {
            after = 1;
        } else if (line.front() == '"') {
            after = readQuoted(line, value.name);
            if (after == std::string_view::npos) return fail("unterminated value name", firstLine);
        } else {
            return fail("unexpected text", firstLine);
        }
        std::string_view rest = trim(line.substr(after));
        if (rest.empty() || rest.front() != '=') return fail("missing '='", firstLine);
        if (!parseValueData(trim(rest.substr(1)), value)) return fail("bad value data", firstLine);
        if (RegValue* existing = findValue(*current, value.name)) *existing = std::move(value);
        else current->values.push_back(std::move(value));
    }
    return true;
}

std::string formatHive(const Hive& hive) {
    std::vector<const RegKey*> sorted;
    for (const auto& k : hive.keys)
        if (!k.path.empty() || !k.values.empty()) sorted.push_back(&k);
    std::stable_sort(sorted.begin(), sorted.end(), [](const RegKey* a, const RegKey* b) {
        std::size_t n = std::min(a->path.size(), b->path.size());
        for (std::size_t i = 0; i < n; ++i) {
            // The separator sorts before every other character, so a key precedes its children.
            char ca = a->path[i] == '\\' ? '\0' : upper(a->path[i]);
            char cb = b->path[i] == '\\' ? '\0' : upper(b->path[i]);
            if (ca != cb) return static_cast<unsigned char>(ca) < static_cast<unsigned char>(cb);
        }
        return a->path.size() < b->path.size();
    });

    std::string out = "REGEDIT4\n";
    for (const RegKey* k : sorted) {
        out += "\n[";
        out += k->path;
        out += "]\n";
        for (const auto& v : k->values) {
            std::size_t lineStart = out.size();
            if (v.name.empty()) out += "@";
            else appendQuoted(out, v.name);
            out += "=";
            if (writableAsString(v)) {
                appendQuoted(out, std::string_view(reinterpret_cast<const char*>(v.data.data()), v.data.size() - 1));
            } else if (v.type == REG_DWORD && v.data.size() == 4) {
                char buf[16];
                DWORD value = v.data[0] | (DWORD{v.data[1]} << 8) | (DWORD{v.data[2]} << 16) | (DWORD{v.data[3]} << 24);
                std::snprintf(buf, sizeof buf, "dword:%08x", value);
                out += buf;
            } else {
                if (v.type == REG_BINARY) {
                    out += "hex:";
                } else {
                    char buf[24];
                    std::snprintf(buf, sizeof buf, "hex(%x):", v.type);
                    out += buf;
                }
                appendHexList(out, lineStart, v.data);
            }
            out += "\n";
        }
    }
    return out;
}

} // namespace platform::detail
