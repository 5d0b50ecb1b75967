// SPDX-License-Identifier: MIT
// What brimvale-resize prints: a line per picture on stdout, messages on stderr, and a
// progress bar on stderr when that is a terminal.
#pragma once

#include <cstddef>
#include <string>

namespace cli {

class Console {
public:
    /// `progress` shows the bar (the caller decides: a terminal, and not --quiet).
    Console(bool progress, std::size_t total);
    ~Console();
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    /// A line on stdout.
    void line(const std::string& text);
    /// "brimvale-resize: <text>" on stderr.
    void error(const std::string& text);
    /// Moves the bar to `done` of the total.
    void advance(std::size_t done);
    /// Takes the bar off the screen.
    void finish();
    /// Changes the bar's total (a recursive run knows it only once the folders are read).
    void setTotal(std::size_t total) { m_total = total; }
    /// Asks "brimvale-resize: <question> [y/N] " on stderr and reads a line from stdin:
    /// true for an answer starting with 'y' or 'Y'; anything else, or no answer, is no.
    bool ask(const std::string& question);

private:
    void clearBar();
    void drawBar();

    bool m_progress;
    bool m_barShown = false;
    std::size_t m_total;
    std::size_t m_done = 0;
};

} // namespace cli
