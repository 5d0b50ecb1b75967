// SPDX-License-Identifier: MIT
// Console output of brimvale-resize. Only the thread that publishes pictures prints, so
// nothing here needs a lock.
#include "cli/console.h"

#include <cstdio>

namespace cli {

namespace {
constexpr std::size_t kBarWidth = 40;
}

Console::Console(bool progress, std::size_t total) : m_progress(progress), m_total(total) {}

Console::~Console() {
    finish();
}

void Console::clearBar() {
    if (!m_barShown) return;
    std::fputs("\r\033[K", stderr);
    m_barShown = false;
}

void Console::drawBar() {
    if (!m_progress || m_total == 0) return;
    const std::size_t filled = m_done * kBarWidth / m_total;
    std::string bar(kBarWidth, ' ');
    for (std::size_t i = 0; i < filled; ++i) bar[i] = '#';
    std::fprintf(stderr, "\r[%s] %zu/%zu", bar.c_str(), m_done, m_total);
    std::fflush(stderr);
    m_barShown = true;
}

void Console::line(const std::string& text) {
    clearBar();
    std::fputs(text.c_str(), stdout);
    std::fputc('\n', stdout);
    if (m_progress) std::fflush(stdout);
    drawBar();
}

void Console::error(const std::string& text) {
    clearBar();
    std::fflush(stdout);
    std::fprintf(stderr, "brimvale-resize: %s\n", text.c_str());
    drawBar();
}

void Console::advance(std::size_t done) {
    m_done = done;
    drawBar();
}

bool Console::ask(const std::string& question) {
    clearBar();
    std::fflush(stdout);
    std::fprintf(stderr, "brimvale-resize: %s [y/N] ", question.c_str());
    std::fflush(stderr);
    char answer[256];
    const bool given = std::fgets(answer, sizeof answer, stdin) != nullptr;
    if (!given) std::fputc('\n', stderr); // the prompt's line ends even without an answer
    drawBar();
    return given && (answer[0] == 'y' || answer[0] == 'Y');
}

void Console::finish() {
    clearBar();
    m_progress = false;
}

} // namespace cli
