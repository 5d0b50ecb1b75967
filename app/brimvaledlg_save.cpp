// SPDX-License-Identifier: MIT
// The main window's destination folders and its batch save: the destination combo and its
// history, "Set Folder", "Show Folder", "Use source folder", the check (and creation) of the
// destination before a run, and "Save Images", which writes every selected picture resized.
//
// A run reads and writes each picture on a worker thread while the window keeps repainting;
// clicks and keys meant for the window are dropped until the run ends, and a request to close
// the window stops the run after the picture being written. Message boxes (a failure, the
// question before an existing file is replaced) come from this thread, in the run's order.
#include "app/brimvaledlg.h"

#include "browse/destinations.h"
#include "browse/folderdialog.h"
#include "browse/naming.h"
#include "browse/saveengine.h"
#include "browse/savetext.h"
#include "controls/label.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/services.h"
#include "platform/widgets/busy.h"
#include "platform/widgets/controls.h"
#include "preview/selectedpicture.h"
#include "res/resource.h"

#include <QApplication>
#include <QProgressBar>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <future>
#include <mutex>
#include <unistd.h>

namespace {

// Colours of "Saved picture: %d", by the picture's index mod 4: navy, blue, green, red.
constexpr COLORREF kProgressColours[4] = {RGB(0, 0, 128), RGB(0, 0, 255), RGB(0, 192, 0), RGB(255, 0, 0)};
constexpr COLORREF kFailureColour = RGB(255, 0, 0);
constexpr COLORREF kSummaryColour = RGB(0, 192, 0);

std::vector<std::string> toStrings(const QStringList& list) {
    std::vector<std::string> out;
    for (const QString& s : list) out.push_back(s.toStdString());
    return out;
}
QStringList toQStrings(const std::vector<std::string>& list) {
    QStringList out;
    for (const std::string& s : list) out << QString::fromStdString(s);
    return out;
}

// Anything at a path, a dangling symbolic link included.
bool somethingAt(const std::string& path) {
    std::error_code error;
    return std::filesystem::symlink_status(path, error).type() != std::filesystem::file_type::not_found;
}

// A message box asked during a run shows the normal cursor over it.
int askDuringRun(const std::string& text, UINT type) {
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    const int answer = AfxMessageBox(text, type);
    QApplication::restoreOverrideCursor();
    return answer;
}

// The worker's question whether an existing output may be replaced, answered on this thread.
struct OverwriteQuestion {
    std::mutex mutex;
    std::condition_variable answered;
    std::string outputPath; // non-empty while the worker waits
    std::optional<bool> answer;
};

} // namespace

// ---- Destination folders ---------------------------------------------------------------

void CBrimvaleDlg::OnSetFolder() {
    if (m_bBusy) return;
    CFolderDialog dialog(m_strDestination, this);
    if (dialog.DoModal() == IDOK) {
        m_strDestination = dialog.m_szFolderPath;
        m_bSettingsChanged = true;
        m_comboDestinations->InsertString(0, m_strDestination);
        m_comboDestinations->SelectString(-1, m_strDestination);
        std::vector<std::string> history = toStrings(m_astrDestinations);
        HistoryAfterSet(history, m_strDestination.toStdString());
        m_astrDestinations = toQStrings(history);
    } else {
        m_strDestination.clear();
    }
    m_lblDestination->SetText(m_strDestination);
}

void CBrimvaleDlg::OnDestinationSelChange() {
    if (m_bBusy) return;
    const int index = m_comboDestinations->GetCurSel();
    if (index < 0) return;
    const QString chosen = m_comboDestinations->GetLBText(index);
    std::vector<std::string> history = toStrings(m_astrDestinations);
    HistoryAfterChoice(history, chosen.toStdString());
    m_astrDestinations = toQStrings(history);
    m_strDestination = chosen;
    m_bSettingsChanged = true;
    m_lblDestination->SetText(chosen);
}

void CBrimvaleDlg::OnDestinationEditChange() {
    if (m_bBusy) return;
    const QString typed = m_comboDestinations->GetWindowText();
    if (!typed.isEmpty()) {
        m_strDestination = typed;
    } else {
        // Erasing the text deletes the current destination from the list and the history.
        const int entry = m_comboDestinations->FindStringExact(-1, m_strDestination);
        if (entry >= 0) m_comboDestinations->DeleteString(entry);
        if (m_astrDestinations.contains(m_strDestination)) {
            std::vector<std::string> history = toStrings(m_astrDestinations);
            m_strDestination = QString::fromStdString(HistoryAfterErase(history, m_strDestination.toStdString()));
            m_astrDestinations = toQStrings(history);
            if (!m_strDestination.isEmpty())
                m_comboDestinations->SetCurSel(m_comboDestinations->FindStringExact(-1, m_strDestination));
        }
    }
    m_lblDestination->SetText(m_strDestination);
}

void CBrimvaleDlg::OnUseSourceFolder() {
    if (m_bBusy) return;
    m_bUseSourceFolder = IsDlgButtonChecked(IDC_USESOURCEFOLDER) > 0;
}

void CBrimvaleDlg::OnShowFolder() {
    if (m_bBusy) return;
    if (m_strDestination.isEmpty()) {
        AfxMessageBox("The destination folder has not been set.");
        return;
    }
    ShellExecuteA(nullptr, "explore", m_strDestination.toStdString().c_str(), nullptr, nullptr, SW_SHOW);
}

bool CBrimvaleDlg::CheckDestination() {
    // No destination: nothing to check (the run then stops at its first picture, unless the
    // pictures go beside their sources).
    const std::string destination = m_strDestination.toStdString();
    if (destination.empty() || platform::listDirectory(destination).ok()) return true;
    const std::string question =
        "It appears the folder: " + destination + "\ndoes not exist. Do you wish to create it?";
    if (AfxMessageBox(question, MB_YESNO) != IDYES) return true;
    return CreateDestination();
}

bool CBrimvaleDlg::CreateDestination() {
    const std::optional<std::string> failed = CreateFolders(m_strDestination.toStdString());
    if (!failed) return true;
    AfxMessageBox("Creating Folder: " + *failed + " failed.");
    return false;
}

// ---- Batch resize and save -------------------------------------------------------------

SaveOptions CBrimvaleDlg::currentSaveOptions() const {
    SaveOptions options;
    options.size = sizeRequest();
    options.quality = m_nQuality;
    options.type = OutputTypeFor(m_nSaveType).value_or(OutputType{"jpg", 0});
    options.destination = m_strDestination.toStdString();
    options.useSourceFolder = m_bUseSourceFolder;
    // A wide-gamut photograph keeps its colours: its profile goes into every copy that can hold one.
    options.keepIcc = true;
    return options;
}

void CBrimvaleDlg::showSaveProgress(int done, int total) {
    if (!m_progressSave) {
        // In the free strip right of "Use source folder", as wide as the controls above it.
        m_progressSave = new QProgressBar(this);
        const QRect box = GetDlgItem(IDC_USESOURCEFOLDER)->geometry();
        const QRect right = GetDlgItem(IDC_SHOWFOLDER)->geometry();
        const int left = box.right() + 16;
        m_progressSave->setGeometry(left, box.top(), right.right() - left + 1, box.height());
        m_progressSave->setTextVisible(true);
    }
    if (total <= 0) {
        m_progressSave->hide();
        return;
    }
    m_progressSave->setRange(0, total);
    m_progressSave->setValue(done);
    m_progressSave->setFormat(QStringLiteral("Saving picture %1 of %2").arg(std::min(done + 1, total)).arg(total));
    m_progressSave->show();
    m_progressSave->repaint();
}

void CBrimvaleDlg::OnSaveImages() {
    if (m_bBusy || m_bInitializing) return;
    const int count = static_cast<int>(m_aSelectedPictures.size());
    if (count == 0) {
        AfxMessageBox(kNoPicturesText);
        return;
    }
    if (!CheckDestination()) return;

    m_lblPreview->SetText(QStringLiteral("Status:"));
    m_lblStatus->SetTextColor(kProgressColours[0]).SetText(QString::fromStdString(SavingText(count)));
    m_nSavedBytes = 0;
    // What every picture is saved with is read once: nothing can change it during the run.
    m_runOptions = currentSaveOptions();

    BusyScope busy(this);
    busy.setCloseButton(GetDlgItem(IDOK));
    m_pRunBusy = &busy;
    m_bBusy = true;
    bool allSaved = true;
    for (int i = 0; i < count; ++i) {
        showSaveProgress(i, count);
        busy.pump();
        if (!SavePicture(i)) {
            m_lblStatus->SetTextColor(kFailureColour).SetText(QString::fromStdString(SaveErrorText(i + 1)));
            allSaved = false;
            break;
        }
        m_lblStatus->SetTextColor(kProgressColours[i % 4]).SetText(QString::fromStdString(SavedPictureText(i + 1)));
        m_lblStatus->repaint();
        // Asked to close: stop after this picture; the rest are not started.
        if (busy.closeRequested() && i + 1 < count) {
            allSaved = false;
            break;
        }
    }
    if (allSaved) {
        m_lblStatus->SetTextColor(kSummaryColour)
            .SetText(QString::fromStdString(RunSummaryText(count, m_runOptions.useSourceFolder,
                                                           m_runOptions.destination, m_nSavedBytes)));
    }
    showSaveProgress(0, 0);
    m_bBusy = false;
    m_pRunBusy = nullptr;
    ClearSelection();
    m_lblSelected->SetText(QStringLiteral("List cleared; no pictures currently selected."));

    switch (busy.closeRequest()) {
    case BusyScope::CloseRequest::None: break;
    case BusyScope::CloseRequest::CloseBox: OnSysCommand(SC_CLOSE, 0); break;
    case BusyScope::CloseRequest::Escape: OnCancel(); break;
    case BusyScope::CloseRequest::CloseButton: OnOK(); break;
    }
}

bool CBrimvaleDlg::SavePicture(int index) {
    if (index < 0 || index >= static_cast<int>(m_aSelectedPictures.size())) return false;
    const SaveOptions& options = m_runOptions;
    if (options.destination.empty() && !options.useSourceFolder) {
        AfxMessageBox(kDestinationNotSetText);
        return false;
    }
    const std::string source = m_aSelectedPictures[index]->GetPath();

    // The worker asks before a picture goes where something exists already; the answer
    // comes from this thread, which shows the question.
    OverwriteQuestion question;
    std::atomic<bool> declined = false;
    auto outputFor = [&](const TargetSize& target) -> std::optional<std::string> {
        std::optional<std::string> output = SaveOutputPath(source, options, target);
        if (!output || !somethingAt(*output)) return output;
        std::unique_lock lock(question.mutex);
        question.outputPath = *output;
        question.answered.wait(lock, [&] { return question.answer.has_value(); });
        if (*question.answer) return output;
        declined = true;
        return std::nullopt;
    };
    static std::atomic<unsigned> runCounter = 0;
    const std::string tag = "brimvale-" + std::to_string(::getpid()) + "-" + std::to_string(++runCounter);
    CISImageEx image;
    std::future<PreparedPicture> work = std::async(std::launch::async, [&] {
        return PreparePicture(source, options, image, tag, outputFor);
    });
    while (work.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready) {
        std::string ask;
        {
            std::lock_guard lock(question.mutex);
            if (!question.answer) ask = question.outputPath;
        }
        if (!ask.empty()) {
            const bool yes = askDuringRun(OverwriteQuestionText(ask), MB_YESNO) == IDYES;
            std::lock_guard lock(question.mutex);
            question.answer = yes;
            question.answered.notify_all();
        }
        if (m_pRunBusy) m_pRunBusy->pump();
    }
    PreparedPicture picture = work.get();

    switch (picture.stage) {
    case SaveStage::Read: askDuringRun(kUnableToReadText, MB_OK); return false;
    case SaveStage::Resize: askDuringRun(ResizeFailureText(source), MB_OK); return false;
    case SaveStage::Split:
        if (!declined) askDuringRun(kSplitFailureText, MB_OK);
        return false;
    case SaveStage::Write:
    case SaveStage::Written: break;
    }
    const std::string& output = *picture.output;
    if (picture.stage != SaveStage::Written || !PublishPicture(picture)) {
        DiscardPicture(picture);
        const std::string suffix =
            SizeSuffix(picture.target.choice, options.size.customScale, picture.target.width, picture.target.height);
        askDuringRun(WriteFailureText(platform::splitPath(source).fname, suffix, options.type.extension, FolderOf(output)),
                     MB_OK);
        return false;
    }
    m_nSavedBytes += platform::getFileStatus(output).size;
    return true;
}
