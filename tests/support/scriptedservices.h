// SPDX-License-Identifier: MIT
// Scripted message-box and shell services for tests: they record every call, answer from a
// queue the test fills, and fail the running test on a message box nobody expected.
#pragma once

#include "platform/services.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace testutil {

struct MessageBoxCall {
    std::string text;
    UINT type = MB_OK;
};

struct ShellCall {
    std::string target;
    std::string verb;
};

/// Answers message boxes from a queue. A box with no answer queued fails the test (and gets
/// platform::defaultAnswer); so does a queued answer that is not a button of the box, and an
/// answer still queued when the script is destroyed (an expected box never appeared).
class ScriptedMessageBoxes : public platform::MessageBoxService {
public:
    ScriptedMessageBoxes() = default;
    ~ScriptedMessageBoxes() override {
        if (!m_answers.empty())
            ADD_FAILURE() << m_answers.size() << " scripted message-box answer(s) never used; first: "
                          << m_answers.front();
    }
    ScriptedMessageBoxes(const ScriptedMessageBoxes&) = delete;
    ScriptedMessageBoxes& operator=(const ScriptedMessageBoxes&) = delete;

    /// Queues the answer to the next message box.
    ScriptedMessageBoxes& answer(int button) {
        std::lock_guard lock(m_mutex);
        m_answers.push_back(button);
        return *this;
    }

    /// Runs when a box appears, before it is answered: a look at the program at that moment.
    void onShow(std::function<void(const std::string& text)> hook) { m_onShow = std::move(hook); }

    int show(const std::string& text, UINT type) override {
        if (m_onShow) m_onShow(text);
        std::lock_guard lock(m_mutex);
        m_calls.push_back({text, type});
        if (m_answers.empty()) {
            ADD_FAILURE() << "unexpected message box (type " << type << "): \"" << text << "\"";
            return platform::defaultAnswer(type);
        }
        const int button = m_answers.front();
        m_answers.pop_front();
        if (!platform::isValidAnswer(type, button))
            ADD_FAILURE() << "scripted answer " << button << " is no button of the box (type " << type << "): \""
                          << text << "\"";
        return button;
    }

    std::vector<MessageBoxCall> calls() const {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }
    std::vector<std::string> texts() const {
        std::lock_guard lock(m_mutex);
        std::vector<std::string> out;
        for (const MessageBoxCall& call : m_calls) out.push_back(call.text);
        return out;
    }
    std::size_t pendingAnswers() const {
        std::lock_guard lock(m_mutex);
        return m_answers.size();
    }

private:
    mutable std::mutex m_mutex;
    std::deque<int> m_answers;
    std::vector<MessageBoxCall> m_calls;
    std::function<void(const std::string&)> m_onShow;
};

/// Records what the program asks the desktop to open; answers with a settable result.
class ScriptedShell : public platform::ShellService {
public:
    /// What open() answers from now on (true at first).
    void setResult(bool handedOn) {
        std::lock_guard lock(m_mutex);
        m_result = handedOn;
    }

    bool open(const std::string& pathOrUrl, const std::string& verb) override {
        std::lock_guard lock(m_mutex);
        m_calls.push_back({pathOrUrl, verb});
        return m_result;
    }

    std::vector<ShellCall> calls() const {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }

private:
    mutable std::mutex m_mutex;
    bool m_result = true;
    std::vector<ShellCall> m_calls;
};

/// A ScriptedMessageBoxes installed for its lifetime; the previous service comes back after.
class ScopedMessageBoxScript : public ScriptedMessageBoxes {
public:
    ScopedMessageBoxScript() : m_install(this) {}

private:
    platform::ScopedMessageBoxService m_install;
};

/// A ScriptedShell installed for its lifetime; the previous service comes back after.
class ScopedShellScript : public ScriptedShell {
public:
    ScopedShellScript() : m_install(this) {}

private:
    platform::ScopedShellService m_install;
};

} // namespace testutil
