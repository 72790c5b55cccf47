#pragma once
// The modal progress dialog shown while a cut or join runs. It has no timer of its own:
// the main window's job timer writes its texts and bars and closes it. Cancelling or
// closing it asks the worker to stop; the owner waits for the worker before it starts
// anything new (closedByUser() tells it the job was stopped from here).

#include <atomic>
#include <filesystem>

#include <QDialog>

#include "DialogTemplate.h"

class QCheckBox;
class QProgressBar;
class QPushButton;

namespace tolvane {

struct MediaJob;
class CLabel;

class CAVConvertDlg : public QDialog {
    Q_OBJECT
  public:
    // How the last showing ended.
    enum class EndReason { None, Cancelled, ClosedByUser, ClosedByOwner };

    // `programFolder` holds setting.ini and languages/; empty: the program's own folder.
    explicit CAVConvertDlg(QWidget* owner = nullptr, std::filesystem::path programFolder = {});
    ~CAVConvertDlg() override;

    // The record whose stop request Cancel and Close set. Set before each showing.
    void SetJob(MediaJob* job);
    // The same for a job that is not a MediaJob (a split, a search for silences): the
    // flag Cancel and Close set.
    void SetStopFlag(std::atomic<bool>* stop) { stop_ = stop; }

    // The control with a template id (ProgressDialogId), or nullptr.
    QWidget* GetDlgItem(int id) const { return items_.Get(id); }

    // What the job timer writes.
    void SetRunningFileText(const QString& text);
    void SetCountText(const QString& text);
    void SetRunningFileProgress(int percent);  // bar 1011, 0..100
    void SetOverallProgress(int percent);      // bar 1012, 0..100

    // The close action the job timer uses once it has reported a job: stores the open-folder
    // check box in setting.ini, sets the stop request, stops the job timer, ends the dialog.
    void CloseDialog();

    // State of check box 1148 when the dialog was last closed.
    bool openFolderState() const { return openFolderState_; }
    EndReason endReason() const { return endReason_; }
    // True when the user ended the last showing (Cancel or the title-bar close) rather than
    // the job timer.
    bool closedByUser() const {
        return endReason_ == EndReason::Cancelled || endReason_ == EndReason::ClosedByUser;
    }

  signals:
    // The user clicked check box 1148: the owner's openFolderWhenDone follows at once.
    void openFolderWhenDoneChanged(bool open);
    // The owner stops its job timer (emitted by Cancel and Close, before the dialog ends).
    void jobTimerStopRequested();

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void CreateControls();
    void ConnectMessageTable();
    void OnInitDialog();
    void OnCancel();
    void OnClose(EndReason reason);
    void RequestStop();
    std::filesystem::path ProgramFolderInUse() const;

    std::filesystem::path programFolder_;
    dialogs::DialogItems items_;
    std::atomic<bool>* stop_ = nullptr;
    bool openFolderState_ = true;
    EndReason endReason_ = EndReason::None;

    QProgressBar* runningFileBar_ = nullptr;
    QProgressBar* overallBar_ = nullptr;
    CLabel* runningFileText_ = nullptr;
    CLabel* countText_ = nullptr;
    QCheckBox* openFolder_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

}  // namespace tolvane
