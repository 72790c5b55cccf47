// The job commands: the cut of the current file (round start button), the merge of the
// checked list rows, and the job timer that follows a running job to its result.

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QTabBar>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "CAVConvertDlg.h"
#include "CCheckListCtrl.h"
#include "CSettings.h"
#include "CTolvaneDlg.h"
#include "WindowText.h"
#include "DesktopShell.h"
#include "engine/copy/CopyJoinCheck.h"
#include "engine/job/JobBuilders.h"
#include "engine/job/JobFailureReading.h"
#include "JobProgressText.h"
#include "engine/cut/MislabelledCut.h"
#include "engine/naming/OutputNaming.h"
#include "TimeCode.h"

namespace tolvane {

namespace {

constexpr int kJobTimerMs = 500;
constexpr int kPathColumn = 0;
constexpr int kStartColumn = 1;
constexpr int kEndColumn = 2;
constexpr int kStatusColumn = 4;

const QString kUnwritableFolder =
    QStringLiteral("MP3文件生成失败，请点击浏览按钮选择保存到其他目录!");

double SecondsOf(const QString& timeCode) {
    return ParseTimeCode(Utf8(timeCode)) / 1000.0;
}

const char* NamingErrorKey(OutputNamingError why) {
    switch (why) {
        case OutputNamingError::BadFormatEntry:
            return "mc_format";
        case OutputNamingError::NameTooLong:
            return "mc_long";
        case OutputNamingError::FolderUnusable:
            return "mc_folder";
        case OutputNamingError::NoFreeName:
            return "mc_taken";
        case OutputNamingError::None:
        case OutputNamingError::NoExtension:
            break;
    }
    return "mc_noext";
}

}  // namespace

QString CTolvaneDlg::CannotNameMessage(const QString& input, OutputNamingError why) const {
    return Text("TISHI", "mcsb")
        .arg(QDir::toNativeSeparators(input), Text("TISHI", NamingErrorKey(why)));
}

QString CTolvaneDlg::TooManyInputsMessage(std::size_t checked) const {
    return Text("TISHI", "zdwj").arg(kMaxJobInputs).arg(checked);
}

// The first file of a failed job that is to blame (the output, or the input that
// failed), and why, in the user's language.
QString CTolvaneDlg::FailureMessage() const {
    const JobFailureReading failure = ReadJobFailure(
        job_.failureCode.load(), job_.failureOnOutput.load(), job_.failureStep.load());
    QString file = outputPath_;
    if (!failure.onOutput) {
        for (int i = 0; i < job_.fileCount && i < kJobStatusSlots; ++i) {
            if (job_.fileStatus[std::size_t(i)].load() == kInputFailed &&
                std::size_t(i) < job_.inputNames.size()) {
                file = FromUtf8(job_.inputNames[std::size_t(i)]);
                break;
            }
        }
    }
    QString reason;
    switch (failure.kind) {
        case JobFailureKind::None:
            reason = Text("TISHI", "yy_none");
            break;
        case JobFailureKind::Missing:
            reason = Text("TISHI", "yy_missing");
            break;
        case JobFailureKind::Access:
            reason = Text("TISHI", "yy_access");
            break;
        case JobFailureKind::DiskFull:
            reason = Text("TISHI", "yy_full");
            break;
        case JobFailureKind::TooLarge:
            reason = Text("TISHI", "yy_big");
            break;
        case JobFailureKind::Damaged:
            reason = Text("TISHI", "yy_damaged");
            break;
        case JobFailureKind::NoAudio:
            reason = Text("TISHI", "yy_noaudio");
            break;
        case JobFailureKind::SourceChanged:
            reason = Text("TISHI", "yy_changed");
            break;
        case JobFailureKind::Other:
            // FFmpeg's English description and the step it failed in are the detail
            // in the reason's parentheses.
            reason = Text("TISHI", "yy_other").arg(FromUtf8(failure.detail));
            break;
    }
    return Text("TISHI", job_.joinMode ? "hbsb" : "jqsb") + QLatin1Char('\n') +
           Text("TISHI", "sbwj").arg(file, reason);
}

// Where a cancelled job's output stands: the part written so far, or nothing.
QString CTolvaneDlg::CancelMessage() const {
    if (!outputPath_.isEmpty() && QFileInfo::exists(outputPath_))
        return Text("TISHI", job_.joinMode ? "hbqx" : "jqqx").arg(outputPath_);
    return Text("TISHI", "qxwbl");
}

CAVConvertDlg& CTolvaneDlg::ProgressDialog() {
    if (!progressDialog_) {
        progressDialog_ = std::make_unique<CAVConvertDlg>(this, programFolder_);
        connect(progressDialog_.get(), &CAVConvertDlg::jobTimerStopRequested, &jobTimer_,
                &QTimer::stop);
        connect(progressDialog_.get(), &CAVConvertDlg::openFolderWhenDoneChanged, this,
                [this](bool open) { openFolderWhenDone_ = open; });
    }
    return *progressDialog_;
}

void CTolvaneDlg::CloseProgressDialog() {
    if (progressDialog_)
        progressDialog_->CloseDialog();
}

// A range that ends at or before its start, or starts at or past the file's end, holds no
// audio: the user hears so before the job, and the marks stay for correcting.
bool CTolvaneDlg::RangeCanBeCut() {
    const std::int64_t start = ParseTimeCode(Utf8(startEdit_->text()));
    const std::int64_t end = ParseTimeCode(Utf8(endEdit_->text()));
    const std::int64_t lengthMs = currentFileProbe_.durationUs / 1000;
    if (end <= start) {
        ShowMessage(Text("TISHI", "jsqks").arg(TimeCodeText(start), TimeCodeText(end)));
        return false;
    }
    if (start >= lengthMs) {
        ShowMessage(Text("TISHI", "kswjw").arg(TimeCodeText(start), TimeCodeText(lengthMs)));
        return false;
    }
    return true;
}

bool CTolvaneDlg::JobCommandAllowed() const {
    // A batch of files being examined, or a job whose dialog is still up, comes first.
    return !addingFiles_ && !(progressDialog_ && progressDialog_->isVisible());
}

// The checks both commands make of the output folder; true when a job may go there.
bool CTolvaneDlg::CheckOutputFolder() {
    if (outputFolderBoxText_.isEmpty()) {
        // An emptied box means the default folder, not a missing one.
        outputFolderBoxText_ = DefaultOutputFolderText();
        UpdateData(false);
    }
    const QString folder = outputFolderBoxText_;
    if (folder == QStringLiteral("\\"))
        return false;
    if (!QFileInfo::exists(folder)) {
        ShowMessage(Text("TISHI", "mlbcz"));
        return false;
    }
    outputFolder_ = folder;
    if (!WriteTestPasses(folder)) {
        ShowMessage(kUnwritableFolder);
        return false;
    }
    return true;
}

void CTolvaneDlg::OnConvert() {
    if (!JobCommandAllowed())
        return;
    UpdateData(true);
    Stop();
    if (currentFile_.isEmpty()) {
        ShowMessage(Text("TISHI", "qxtjsp"));
        return;
    }
    if (!RangeCanBeCut())
        return;
    if (!CheckOutputFolder())
        return;
    // A cancelled job's worker may still be writing its last packet.
    runner_.WaitForWorker();

    completedCount_ = 0;
    checkedRows_.clear();

    // The source keeps its name; a mislabelled ".mp3" is cut into a file of its true
    // extension, named from the current file's own probe.
    const std::string input = Utf8(currentFile_);
    OutputNamingError why = OutputNamingError::None;
    const std::optional<std::string> output =
        MakeCutOutputPath(Utf8(outputFolder_), input, currentFileProbe_.mislabeled, &why);
    if (!output) {
        ShowMessage(CannotNameMessage(currentFile_, why));
        return;
    }
    outputPath_ = FromUtf8(*output);
    const double startSec = SecondsOf(startEdit_->text());
    const double endSec = SecondsOf(endEdit_->text());
    if (RemovesStretch()) {
        const double lengthSec = static_cast<double>(currentFileProbe_.durationUs) / 1e6;
        if (!(startSec > 0) && !(endSec < lengthSec - kRemoveEndSlackSec)) {
            ShowMessage(Text("TISHI", "sc_all"));
            return;
        }
        PrepareRemoveJob(job_, input, *output, startSec, endSec, lengthSec);
    } else {
        PrepareCutJob(job_, input, *output, startSec, endSec);
    }

    RunJob(false);
}

void CTolvaneDlg::OnMerge() {
    if (!JobCommandAllowed())
        return;
    UpdateData(true);
    Stop();
    CCheckListCtrl* list = FileList();
    const int rows = list->GetRowCount();
    if (rows == 0) {
        ShowMessage(Text("TISHI", "qxtjsp"));
        return;
    }
    checkedRows_.clear();
    for (int row = 0; row < rows; ++row) {
        if (list->GetCheck(row))
            checkedRows_.push_back(row);
    }
    if (checkedRows_.size() < 2) {
        ShowMessage(Text("TISHI", "zslgwj"));
        return;
    }
    if (checkedRows_.size() > std::size_t(kMaxJobInputs)) {
        ShowMessage(TooManyInputsMessage(checkedRows_.size()));
        return;
    }
    if (!CheckOutputFolder())
        return;

    // Every input needs a name the output could be made from; the output is named after
    // the first.
    const std::string formatEntry = Utf8(OutputFormatList()->currentText());
    std::string output;
    for (std::size_t j = 0; j < checkedRows_.size(); ++j) {
        const QString input = list->GetItemText(checkedRows_[j], kPathColumn);
        OutputNamingError why = OutputNamingError::NoExtension;
        std::optional<std::string> name;
        if (j == 0 && outputProfile_.copy) {
            // A copy takes the first input's true format and so its extension, as a cut
            // does: an AAC file named ".mp3" is joined into an M4A file.
            name = MakeCutOutputPath(Utf8(outputFolder_), Utf8(input), ProbedMislabel(input), &why);
        } else if (j == 0) {
            name = MakeJoinOutputPath(Utf8(outputFolder_), Utf8(input), formatEntry, &why);
        } else {
            name = OutputBaseName(Utf8(input));
        }
        if (!name) {
            ShowMessage(CannotNameMessage(input, why));
            return;
        }
        if (j == 0)
            output = *name;
    }
    if (outputProfile_.copy && !CopyJoinAllowed())
        return;
    runner_.WaitForWorker();

    // Words of an earlier merge go: every input waits again.
    for (const int row : checkedRows_)
        list->SetItemText(row, kStatusColumn, Text("JIEMIAN", "zb"));
    completedCount_ = 0;
    std::vector<JoinRange> ranges;
    for (const int row : checkedRows_) {
        ranges.push_back({Utf8(list->GetItemText(row, kPathColumn)),
                          SecondsOf(list->GetItemText(row, kStartColumn)),
                          SecondsOf(list->GetItemText(row, kEndColumn))});
    }
    outputPath_ = FromUtf8(output);
    if (outputProfile_.copy)
        PrepareCopyJoinJob(job_, ranges, output);
    else
        PrepareJoinJob(
            job_, ranges, output,
            {outputProfile_.bitRate, outputProfile_.sampleRate, outputProfile_.channels});

    RunJob(true);
}

// What the file named `path` really holds when its ".mp3" name says otherwise.
MislabelFlags CTolvaneDlg::ProbedMislabel(const QString& path) {
    job_.probeFileName = Utf8(path);
    return runner_.Probe(job_) == ProbeResult::Usable ? job_.mislabeled : MislabelFlags{};
}

// A join without re-encoding takes only like inputs: the first that differs is named
// with how, before anything is written.
bool CTolvaneDlg::CopyJoinAllowed() {
    std::vector<std::string> inputs;
    for (const int row : checkedRows_)
        inputs.push_back(Utf8(FileList()->GetItemText(row, kPathColumn)));
    const std::optional<CopyJoinRefusal> refusal =
        CheckCopyJoin(inputs, MediaJob{}.chainOggStreams);
    if (!refusal)
        return true;
    ShowMessage(Text("TISHI", "hb_unlike")
                    .arg(FromUtf8(inputs[refusal->input]), FromUtf8(refusal->reason)));
    return false;
}

// Starts the worker and the job timer and keeps the progress dialog up until the job
// has been reported or the user stopped it.
void CTolvaneDlg::RunJob(bool joinMode) {
    switch (runner_.StartMediaJob(job_, joinMode)) {
        case JobStartResult::Started:
            break;
        case JobStartResult::TooManyInputs:
            ShowMessage(TooManyInputsMessage(std::size_t(job_.fileCount)));
            return;
        case JobStartResult::EmptyRange:
            ShowMessage(tr("The start of the cut equals its end: there is nothing to cut."));
            return;
    }
    jobTimer_.start(kJobTimerMs);
    CAVConvertDlg& dialog = ProgressDialog();
    if (dialog.isVisible())
        return;
    dialog.SetJob(&job_);
    RunModal(dialog);
    if (dialog.closedByUser() || dialog.endReason() == CAVConvertDlg::EndReason::None) {
        // Cancelled or closed by hand (or the dialog never ran): nothing is reported,
        // and nothing new starts before the worker has let go of the record.
        jobTimer_.stop();
        job_.cancelRequested.store(true);
        runner_.WaitForWorker();
        if (joinMode)
            ShowRowsAfterMerge(outputPath_.isEmpty() || !QFileInfo::exists(outputPath_)
                                   ? MergeOutcome::Lost
                                   : MergeOutcome::Kept);
        // The window itself was closed meanwhile (a termination signal): the output is
        // kept as by a cancel, but no message may hold up the end of the program.
        if (dialog.closedByUser() && !closing_)
            ShowMessage(CancelMessage());
    }
}

void CTolvaneDlg::OnJobTimer() {
    const bool join = job_.joinMode;
    const int currentIndex = job_.currentIndex.load();
    if (!join)
        job_.displayCount.store(1);
    const int displayCount = job_.displayCount.load();

    QString runningName;
    if (!join) {
        runningName = currentFile_;
    } else if (currentIndex >= 0 && std::size_t(currentIndex) < checkedRows_.size()) {
        runningName = FileList()->GetItemText(checkedRows_[std::size_t(currentIndex)], kPathColumn);
    }
    const JobProgressView view = MakeJobProgressView(
        runningName, job_.progressPercent.load(), currentIndex, displayCount, completedCount_,
        {Text("TISHI", "wjwc"), Text("TISHI", "wjwczg"), Text("TISHI", "wj1")});
    CAVConvertDlg& dialog = ProgressDialog();
    if (view.runningFileText)
        dialog.SetRunningFileText(*view.runningFileText);
    dialog.SetCountText(view.countText);
    dialog.SetOverallProgress(view.overallPercent);
    if (view.runningFilePercent)
        dialog.SetRunningFileProgress(*view.runningFilePercent);

    if (job_.cancelRequested.load()) {
        jobTimer_.stop();
        CloseProgressDialog();
        return;
    }
    for (int i = 0; i < displayCount && i < kJobStatusSlots; ++i) {
        if (job_.fileStatus[std::size_t(i)].load() == kInputFailed) {
            jobTimer_.stop();
            CloseProgressDialog();
            // The rows show which input failed before the user reads the message; the
            // others wait again, since no file holds them.
            if (join)
                ShowRowsAfterMerge(MergeOutcome::Lost);
            ShowMessage(FailureMessage());
            return;
        }
    }
    if (join) {
        ShowFinishedRows(currentIndex);
        if (currentIndex == displayCount && currentIndex > 0)
            ReportJob(true);
    } else if (currentIndex == displayCount) {
        ReportJob(job_.fileStatus[0].load() == kInputDone);
    }
}

// While the merge runs, the status column follows the inputs the worker has finished;
// their ticks stay until the output holding them is complete.
void CTolvaneDlg::ShowFinishedRows(int currentIndex) {
    CCheckListCtrl* list = FileList();
    for (int i = 0; i < currentIndex && std::size_t(i) < checkedRows_.size(); ++i) {
        const int row = checkedRows_[std::size_t(i)];
        const std::int8_t status = job_.fileStatus[std::size_t(i)].load();
        if (status == kInputFailed) {
            list->SetItemText(row, kStatusColumn, Text("TISHI", "sb"));
        } else if (status == kInputDone) {
            completedCount_ = currentIndex;
            list->SetItemText(row, kStatusColumn, Text("TISHI", "wc"));
        }
    }
}

// At the end of a merge a row is done, and unticked, only when its audio is in an output
// that stays; a failed input says so, and every other row waits to be merged again.
void CTolvaneDlg::ShowRowsAfterMerge(MergeOutcome outcome) {
    CCheckListCtrl* list = FileList();
    for (std::size_t i = 0; i < checkedRows_.size() && i < std::size_t(kJobStatusSlots); ++i) {
        const int row = checkedRows_[i];
        const std::int8_t status = job_.fileStatus[i].load();
        if (status == kInputFailed) {
            list->SetItemText(row, kStatusColumn, Text("TISHI", "sb"));
        } else if (status == kInputDone && outcome == MergeOutcome::Kept) {
            list->SetItemText(row, kStatusColumn, Text("TISHI", "wc"));
            list->SetCheck(row, false);
        } else {
            list->SetItemText(row, kStatusColumn, Text("JIEMIAN", "zb"));
        }
    }
}

// All inputs are done: the job is marked reported, the dialog closes and the user hears
// of the result.
void CTolvaneDlg::ReportJob(bool succeeded) {
    const bool join = job_.joinMode;
    job_.currentIndex.fetch_add(1);
    jobTimer_.stop();
    CloseProgressDialog();
    if (!succeeded)
        return;
    if (join)
        ShowRowsAfterMerge(MergeOutcome::Kept);
    if (!join) {
        // The worker is done with the output; a mislabelled source's cut takes the
        // ".mp3" name when it is free.
        runner_.WaitForWorker();
        outputPath_ = FromUtf8(FinishMislabelledCut(job_.inputNames[0], Utf8(outputPath_),
                                                    currentFileProbe_.mislabeled));
    }
    // The user reads what was written and where.
    ShowMessage(Text("TISHI", join ? "hbcg" : "jqcg") + QLatin1Char('\n') +
                QDir::toNativeSeparators(outputPath_));
    if (openFolderWhenDone_)
        shell_->Open(outputFolderBoxText_);
}

// The output settings dialog edits the join's OutputProfile in place.
void CTolvaneDlg::OnSetting() {
    CSettings dialog(outputProfile_, this, programFolder_);
    RunModal(dialog);
}

}  // namespace tolvane
