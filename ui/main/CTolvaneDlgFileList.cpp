// Adding files (file dialog and drops) and removing them: the cut tab's current file
// and the merge tab's list.

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTabBar>
#include <QComboBox>

#include "CCheckListCtrl.h"
#include "CControlButton.h"
#include "CTolvaneDlg.h"
#include "TimeCode.h"
#include "UserPrompts.h"

namespace tolvane {

namespace {

constexpr int kCutTab = 0;
constexpr int kMergeTab = 1;
constexpr int kSplitTab = 2;

// The split tab adds to the cut tab's file, which it splits.
bool TakesCutTabFile(int tab) {
    return tab == kCutTab || tab == kSplitTab;
}
constexpr int kPlayReadyBitmap = 302;
constexpr int kStopReadyBitmap = 304;
const QString kZeroTime = QStringLiteral("00:00:00.000");

QString TimeCodeText(std::int64_t microseconds) {
    return QString::fromStdString(FormatTimeCode(static_cast<std::int32_t>(microseconds / 1000)));
}

QString FileNameOf(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? path : path.mid(slash + 1);
}

ProbeSnapshot SnapshotOf(const MediaJob& job) {
    ProbeSnapshot snapshot;
    snapshot.startUs = job.probeStartUs;
    snapshot.endUs = job.probeEndUs;
    snapshot.durationUs = job.probeDurationUs;
    snapshot.sampleRate = job.audioSampleRate;
    snapshot.mislabeled = job.mislabeled;
    return snapshot;
}

// Marks the window busy with a batch for as long as it lives.
class AddingFilesScope {
  public:
    AddingFilesScope(bool& flag, QWidget* tabs) : flag_(flag), tabs_(tabs) {
        flag_ = true;
        tabs_->setEnabled(false);
    }
    ~AddingFilesScope() {
        flag_ = false;
        tabs_->setEnabled(true);
    }
    AddingFilesScope(const AddingFilesScope&) = delete;
    AddingFilesScope& operator=(const AddingFilesScope&) = delete;

  private:
    bool& flag_;
    QWidget* tabs_;
};

}  // namespace

bool CTolvaneDlg::ProbeAddedFile(const QString& path, bool checkEnd) {
    job_.probeFileName = path.toStdString();
    const ProbeResult result = runner_.Probe(job_);
    const bool rejected =
        result != ProbeResult::Usable || job_.probeStartUs < 0 || (checkEnd && job_.probeEndUs < 0);
    if (rejected) {
        ShowMessage(
            QString::fromStdString(texts_.RejectedFileMessage(FileNameOf(path).toStdString())));
    }
    return !rejected;
}

// The probed file becomes the cut tab's file, with its own probe results.
void CTolvaneDlg::AcceptCutTabFile(const QString& path) {
    currentFile_ = path;
    currentFileProbe_ = SnapshotOf(job_);
    wholeRangePending_ = true;
    Item<QLabel>(ControlId::CurrentFilePath)->setText(path);
    SetButtonBitmaps(ControlId::Play, kPlayReadyBitmap);
    SetButtonBitmaps(ControlId::Stop, kStopReadyBitmap);
    GetDlgItem(ControlId::Play)->setEnabled(true);
    GetDlgItem(ControlId::Stop)->setEnabled(true);
    ReadFileWaveform();
    SetSplitSource();
}

void CTolvaneDlg::AppendProbedRow(const QString& path) {
    CCheckListCtrl* list = FileList();
    list->SetRowSelected(0, false);
    const int row =
        list->AppendRow({path, TimeCodeText(job_.probeStartUs), TimeCodeText(job_.probeEndUs),
                         OutputFormatList()->currentText(), Text("JIEMIAN", "zb"),
                         QString::number(job_.probeDurationUs / 1000)},
                        true);
    // The list shows a long path with its middle left out; the tip shows all of it.
    list->SetItemToolTip(row, 0, path);
    list->viewport()->repaint();
}

// A rejected file ends the batch. On the cut tab the last file accepted before it is the
// one shown, played and cut; when none was, the previous file stays all three.
void CTolvaneDlg::OnAdd() {
    if (addingFiles_)
        return;
    const QStringList paths =
        fileChooser_->ChooseFiles(QString::fromStdString(texts_.OpenFileFilter()));
    AddFiles(paths);
}

// Files named on the command line: one is the cut tab's file, several go to the merge
// list; each examined as Add examines it.
void CTolvaneDlg::OpenFiles(const QStringList& paths) {
    if (addingFiles_ || paths.isEmpty())
        return;
    tabs_->setCurrentIndex(paths.size() == 1 ? kCutTab : kMergeTab);
    AddFiles(paths);
}

void CTolvaneDlg::AddFiles(const QStringList& paths) {
    if (addingFiles_ || paths.isEmpty())
        return;
    const int tab = tabs_->currentIndex();
    bool acceptedAny = false;
    {
        const AddingFilesScope busy(addingFiles_, tabs_);
        addingTab_ = tab;
        for (const QString& path : paths) {
            // The window stays responsive during a long batch; the flag keeps a second
            // batch, a job and a tab switch from starting meanwhile.
            QCoreApplication::processEvents();
            if (closing_)
                return;  // closed meanwhile: no more files, messages or playback
            if (!ProbeAddedFile(path, true))
                break;
            acceptedAny = true;
            if (TakesCutTabFile(tab)) {
                AcceptCutTabFile(path);
            } else if (tab == kMergeTab) {
                AppendProbedRow(path);
            }
        }
    }
    if (TakesCutTabFile(tab) && acceptedAny && !closing_) {
        Stop();
        Play();
    }
}

// Paths arrive whole: a path cut to some length would name another file. A rejected file
// never becomes the current file, so the current file and its probe always belong together.
// Files dropped on the merge tab become rows only; the cut tab's file stays as it is.
void CTolvaneDlg::OnDropFiles(const QStringList& paths) {
    if (addingFiles_ || paths.isEmpty())
        return;
    const int tab = tabs_->currentIndex();
    const AddingFilesScope busy(addingFiles_, tabs_);
    addingTab_ = tab;
    if (TakesCutTabFile(tab)) {
        const QString& path = paths.front();
        if (!ProbeAddedFile(path, true))
            return;
        AcceptCutTabFile(path);
        Stop();
        Play();
        return;
    }
    if (tab != kMergeTab)
        return;
    for (const QString& path : paths) {
        if (!ProbeAddedFile(path, true))
            return;
        AppendProbedRow(path);
    }
}

// Removes the first selected row only; the row now at its place (or the new last row)
// becomes the selected one.
void CTolvaneDlg::OnRemoveSelected() {
    CCheckListCtrl* list = FileList();
    const int row = list->GetFirstSelectedRow();
    if (row < 0)
        return;
    list->DeleteRow(row);
    list->viewport()->repaint();
    const int rows = list->GetRowCount();
    if (rows == 0)
        return;
    list->SelectAndFocusRow(row < rows ? row : rows - 1);
    list->setFocus();
}

// Shown on both tabs: on the cut tab it resets playback and the range texts.
void CTolvaneDlg::OnCut() {
    OnRemoveSelected();
    Stop();
    Item<QLabel>(ControlId::Duration)->setText(kZeroTime);
    ShowStoppedPosition();
    Item<QLabel>(ControlId::SelectionLength)->setText(kZeroTime);
    startEdit_->setText(kZeroTime);
    endEdit_->setText(kZeroTime);
    wholeRangePending_ = true;  // the next Play marks the whole file again
}

void CTolvaneDlg::OnDeleteAll() {
    FileList()->DeleteAllRows();
}

}  // namespace tolvane
