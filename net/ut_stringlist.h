// SPDX-License-Identifier: MIT
// CUT_StringList: an ordered list of text lines, each held as its own copy.
#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>

class CUT_StringList {
public:
    /// Adds a copy of the text at the end.
    void AddString(std::string_view text) { m_lines.emplace_back(text); }
    std::size_t GetCount() const { return m_lines.size(); }
    /// The line at `index`, or null past the end. Stays valid until that line is deleted or
    /// the list emptied.
    const char* GetString(std::size_t index) const {
        return index < m_lines.size() ? m_lines[index].c_str() : nullptr;
    }
    /// False when the index is past the end.
    bool DeleteString(std::size_t index) {
        if (index >= m_lines.size()) return false;
        m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(index));
        return true;
    }
    void ClearList() { m_lines.clear(); }

private:
    // A deque never moves its elements on push_back, so returned pointers stay valid.
    std::deque<std::string> m_lines;
};
