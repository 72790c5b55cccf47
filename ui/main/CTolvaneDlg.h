#pragma once
// The program's main window: the cut tab (one file, preview player, start and end points,
// the round start button), the merge tab (a checked file list and the Merge button) and
// the split tab (the cut tab's file and player, its parts in a checked list).
// Every control is reachable by its id; every event goes to one handler named after its
// operation, and ConnectMessageTable() lists those connections in one place.

#include <QDialog>
#include <QHash>
#include <QImage>
#include <QPixmap>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "CAVConvertDlg.h"
#include "ControlIds.h"
#include "DialogUnits.h"
#include "FileWaveform.h"
#include "HelpPage.h"
#include "LanguageTable.h"
#include "engine/job/MediaEngine.h"
#include "engine/job/MediaJob.h"
#include "engine/naming/OutputNaming.h"
#include "engine/job/OutputProfile.h"
#include "PlayerModule.h"
#include "ProbeSnapshot.h"
#include "SilenceSearch.h"
#include "SplitPartsModel.h"
#include "engine/split/SplitJob.h"
#include "WindowDrag.h"

class QCheckBox;
class QComboBox;
class QScrollBar;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QMenu;
class QCheckBox;
class QTabBar;
class QTableWidgetItem;

namespace tolvane {

class AudioWindowSource;
class CBitmapSlider;
class CCheckListCtrl;
class CControlButton;
class CHyperLink;
class IDesktopShell;
class IFileChooser;
class IFolderChooser;
class IMessageBox;
class PlayerEndRelay;

// What the window uses from outside itself. Every member left empty takes the real
// thing, so the program passes nothing and tests replace what they need.
struct WindowServices {
    std::unique_ptr<IPlayerModule> player;  // empty: CreatePlayerModule()
    std::string programFolder;              // empty: the executable's folder
    // Refreshes "chinese.ini" in the given languages folder. Empty: the build's
    // TOLVANE_LANGUAGE_URL (no refresh when that is empty).
    std::function<void(const std::string& languagesFolder)> refreshLanguageFile;
    IMessageBox* messageBox = nullptr;
    IFileChooser* fileChooser = nullptr;
    IFolderChooser* folderChooser = nullptr;
    IDesktopShell* shell = nullptr;
    // Runs a dialog of the window modally and returns its result. Empty: exec().
    std::function<int(QDialog&)> runModal;
};

class CTolvaneDlg : public QDialog {
    Q_OBJECT

  public:
    using Services = WindowServices;

    explicit CTolvaneDlg(Services services = {}, QWidget* parent = nullptr);
    ~CTolvaneDlg() override;

    QWidget* GetDlgItem(int id) const;
    template <typename Control>
    Control* Item(int id) const {
        return qobject_cast<Control*>(GetDlgItem(id));
    }

    // The tooltip a control shows at this moment (empty: none).
    QString ToolTipText(int id) const;

    const LanguageTable& languageTable() const { return texts_; }
    const std::string& programFolder() const { return programFolder_; }
    const std::string& languageFileName() const { return languageFile_; }
    const OutputProfile& outputProfile() const { return outputProfile_; }
    OutputProfile& outputProfile() { return outputProfile_; }
    const QString& outputFolder() const { return outputFolder_; }
    bool openFolderWhenDone() const { return openFolderWhenDone_; }
    const QString& playMode() const { return playMode_; }
    bool reloadOnPlay() const { return reloadOnPlay_; }
    const QString& currentFile() const { return currentFile_; }
    // The output file the last cut or merge command named.
    const QString& outputPath() const { return outputPath_; }
    IPlayerModule& player() { return *player_; }
    bool playerOpened() const { return playerOpened_; }
    bool playSelectionActive() const { return playSelectionActive_; }
    int currentPositionMs() const { return currentPositionMs_; }
    bool addingFiles() const { return addingFiles_; }
    // The split tab's parts.
    const SplitPartsModel& splitParts() const { return splitParts_; }

    // Preview playback, also run by other operations: Stop ends playback and closes the
    // file; Play starts (opening currentFile afresh when needed), pauses or resumes.
    void Stop();
    void Play();

    // True when files can be made in `folder`: a probe file is created there (only when
    // no file of its name exists), closed and deleted again.
    bool WriteTestPasses(const QString& folder);

    // Reads the main-window texts of the language file in force and puts them on the
    // window.
    void ApplyLanguageTexts();
    // The language list's selection became the language file in force.
    void SelectLanguage();
    // The window's context menu: a "Language" submenu of the list's entries, each
    // switching to its language (CTolvaneDlgLanguage.cpp).
    std::unique_ptr<QMenu> MakeWindowMenu();

    // Opens the files the program was started with: one becomes the cut tab's file,
    // several are added to the merge list; rejected files are told as Add tells them.
    void OpenFiles(const QStringList& paths);

    // Ends the window as its close box does, from whatever it is doing (a termination
    // signal): the dialogs over it close first, the progress dialog as by its own close
    // box, so a running job is stopped and its output kept as a cancel keeps it.
    void CloseFromAnyState();

    // Dialog data exchange: true reads the controls into the window's copies, false
    // writes the copies to the controls.
    void UpdateData(bool saveAndValidate);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void CreateControls();
    void RegisterControl(int id, QWidget* control);
    void WatchForToolTip(QWidget* control, int id);
    // The merge tab's list, the split tab's controls and the hidden output format list
    // are made once the window has first been drawn, or earlier when first asked for:
    // the window shows sooner without them. The accessors make them when they are not.
    void MakeListTabs();
    void EnsureListTabs() const;
    void ApplyListTabTexts();
    CCheckListCtrl* FileList() const;
    CCheckListCtrl* PartsList() const;
    QComboBox* OutputFormatList() const;
    QLineEdit* ThresholdEdit() const;
    QLineEdit* MinimumEdit() const;
    QLineEdit* EveryEdit() const;
    QCheckBox* KeepTagsBox() const;
    void ConnectMessageTable();
    void OnInitDialog();
    void ReadSettings();
    void SetUpFileList();
    void SetUpPictureButtons();
    QImage ButtonPicture(int id, int bitmapId, Qt::TransformationMode mode) const;
    void SetButtonShape(int id, int bitmapId);
    // Gives a picture button one picture for all its states.
    void SetButtonBitmaps(int id, int bitmapId);
    void FitControlsToTexts();
    void ApplyTabOrder();
    bool DeleteRemovesListRow(const QWidget* receiver) const;
    void SetUpPositionSlider();
    // The file's own waveform on the slider (CTolvaneDlgWaveform.cpp).
    void SetUpFileWaveform();
    void ShowSliderMenu(const QPoint& at);
    void SetShowFileWaveform(bool show);
    void ReadFileWaveform();  // of currentFile_, when the option is on
    void OnWaveformTimer();
    void StopFileWaveform();
    // Zoom and marks on the waveform (CTolvaneDlgMarks.cpp).
    void CreateZoomControls();
    void PlaceZoomControls();
    void ApplyZoomTexts();
    void UpdateSliderTimeline();
    bool SliderFollowsPlayer() const;
    void OnSliderView(double fromUs, double toUs);
    QLineEdit* MarkEdit(int end) const;
    void OnMarkDragged(int end, qint64 us);
    void OnMarkDropped(int end, qint64 us);
    void SnapTypedMark(int end);
    void SnapMark(int end);
    void NudgeMark(std::int64_t deltaUs);
    // Zoom keys, and the keys that move a mark while the slider has the focus.
    bool HandleMarkKey(QWidget* receiver, const QKeyEvent& key);
    void InitialisePreview();
    void ShowMessage(const QString& text);
    int RunModal(QDialog& dialog);
    QString Text(const char* section, const char* key) const;
    // <program folder>/help: the pages a language file's "url" may name.
    QString HelpFolder() const;
    QString ProgramFolderPath() const;
    QString LanguageFilePath() const;
    QString DefaultOutputFolderText() const;
    // What the user is told when the desktop has no program to open `address`.
    QString NothingOpenedMessage(const QString& address) const;

    // Handlers, one per event of the message table.
    void OnAdd();
    // Adds files to the current tab as Add does with the files chosen.
    void AddFiles(const QStringList& paths);
    void OnRemoveSelected();
    void OnCut();
    void OnDeleteAll();
    void OnConvert();
    void OnMerge();
    void OnPlayPause();
    void OnStop();
    void OnStartPoint();
    void OnEndPoint();
    void OnPlaySelection();
    // The cut tab's removal of the marked stretch (CTolvaneDlgRemove.cpp).
    void CreateRemoveStretchControls();
    void ApplyRemoveStretchTexts();
    bool RemovesStretch() const;
    void PlayAroundStretch();
    // Past the stretch's start, playing around it goes on from its end.
    void JumpPastStretchWhenDue();
    void EndSelectionStopPoint();
    void OnTimeEditChanged();
    void OnBrowse();
    void OnFindTarget();
    void OnAbout();
    void OnSetting();
    void OnTabChanged(int index);
    void OnPlayerEnd();
    void OnSliderTracking(int controlId, int position);
    void OnPositionTimer();
    void OnJobTimer();
    void OnDropFiles(const QStringList& paths);

    // Job commands.
    bool JobCommandAllowed() const;
    bool CheckOutputFolder();
    bool CopyJoinAllowed();
    MislabelFlags ProbedMislabel(const QString& path);
    void RunJob(bool joinMode);
    CAVConvertDlg& ProgressDialog();
    void CloseProgressDialog();
    void ShowFinishedRows(int currentIndex);
    enum class MergeOutcome { Kept, Lost };  // the merge's output stays, or is gone
    void ShowRowsAfterMerge(MergeOutcome outcome);
    void ReportJob(bool succeeded);
    QString CannotNameMessage(const QString& input, OutputNamingError why) const;
    QString TooManyInputsMessage(std::size_t checked) const;
    QString FailureMessage() const;
    QString CancelMessage() const;

    // File list.
    // Probes `path` into job_; false (after telling the user) when it is rejected.
    bool ProbeAddedFile(const QString& path, bool checkEnd);
    void AcceptCutTabFile(const QString& path);
    void AppendProbedRow(const QString& path);
    // Preview playback and range selection.
    void LoadIntoPlayer();
    void ShowWholeFileRange();
    void SetPlayButtonLook(int bitmapId);
    void ShowStoppedPosition();
    void EndPlayedSelection();
    void ShowRangeOnSlider(std::int32_t startMs, std::int32_t endMs);
    void ShowTimeAsUnderstood(QLineEdit* edit);
    // Keys of the play position, the range and playback; true when the key was used.
    bool HandlePlaybackKey(QWidget* receiver, const QKeyEvent& key);
    void SeekBy(std::int64_t deltaMs);
    void SeekTo(std::int64_t positionMs);
    // Tells the user why the typed range cannot be cut; true when it can.
    bool RangeCanBeCut();

    // The split tab (CTolvaneDlgSplit.cpp).
    void CreateSplitControls();
    void ConnectSplitTab();
    void SetUpPartsList();
    void ApplySplitTexts();
    void LayOutSplitFields();
    void FitPartsColumns();
    void ShowSplitTab(bool shown);
    void SetSplitSource();
    void FillPartsList();
    void ShowSplitMarks();
    bool SplitSourceReady();
    void TakeSplitPlan(split::SplitPlan plan, split::PartNameStyle style, const QString& subject);
    QString PlanFailureMessage(const split::PlanFailure& failure, const QString& subject) const;
    void OnSplitHere();
    void OnCueSheet();
    void OnFindSilences();
    void OnEvery();
    void OnPartEdited(QTableWidgetItem* item);
    void OnPartDoubleClicked(int row);
    void OnSplitStart();
    void OnSplitTimer();
    void OnSilenceTimer();
    void ShowSplitRows(bool finished);
    void ReportSplit();
    QString SplitFailureMessage() const;
    // Plays [startMs, endMs) of the current file and stops there.
    void PlayStretch(std::int64_t startMs, std::int64_t endMs);

  signals:
    // The player's end of file, raised on the player's thread, handled on the window's.
    void playerEnded();

  private:
    Services services_;
    std::unique_ptr<PlayerEndRelay> endRelay_;
    std::unique_ptr<IPlayerModule> player_;
    IMessageBox* messageBox_;
    IFileChooser* fileChooser_;
    IFolderChooser* folderChooser_;
    IDesktopShell* shell_;
    // The link and the About button open through this: web addresses or help pages.
    std::unique_ptr<HelpOpeningShell> helpShell_;

    DialogUnits units_{1, 1};
    QHash<int, QWidget*> controls_;
    QHash<const QObject*, int> idOfWatched_;  // control (or its viewport) → id

    QTabBar* tabs_ = nullptr;
    CHyperLink* link_ = nullptr;
    QComboBox* languageList_ = nullptr;
    // Made by MakeListTabs, with the split tab's controls below.
    bool listTabsMade_ = false;
    QComboBox* outputFormatList_ = nullptr;
    CCheckListCtrl* fileList_ = nullptr;
    CBitmapSlider* slider_ = nullptr;
    QComboBox* outputFolderBox_ = nullptr;
    QLineEdit* startEdit_ = nullptr;
    QLineEdit* endEdit_ = nullptr;

    LanguageTable texts_;
    std::string programFolder_;  // where setting.ini and languages/ are read and written
    std::string installFolder_;  // the program's own folder (help pages)
    std::string languageFile_;
    OutputProfile outputProfile_;
    QString outputFolder_;
    QString outputFolderBoxText_;  // the text exchanged with box 1077
    bool openFolderWhenDone_ = true;
    QString currentFile_;
    ProbeSnapshot currentFileProbe_;  // the probe of currentFile_

    // The window's one job record and the worker that runs it (declared after the
    // record, so the worker is joined before the record goes).
    MediaJob job_;
    MediaJobRunner runner_;
    bool addingFiles_ = false;  // a batch of files is being examined
    bool closing_ = false;      // the window was closed; the player is closed for good
    int addingTab_ = 0;         // the tab the batch adds to

    // Preview state.
    QString playMode_ = QStringLiteral("PLAY");
    bool reloadOnPlay_ = true;
    bool playerOpened_ = false;
    bool playSelectionActive_ = false;
    // Playing around the marked stretch: where it starts, and where the sound goes on
    // (-1: not playing around it).
    int aroundStretchStartMs_ = 0;
    int aroundStretchEndMs_ = -1;
    QCheckBox* removeStretch_ = nullptr;
    QLabel* removeStretchLabel_ = nullptr;
    // The next fresh start marks the whole file: set when a file is loaded and when the
    // range texts are reset, so Stop and Play keep what the user marked.
    bool wholeRangePending_ = true;
    int currentPositionMs_ = 0;
    QString playerFile_;
    QTimer positionTimer_;
    QTimer jobTimer_;

    // The slider's pictures drawn from the file, while the option is on.
    bool showFileWaveform_ = false;
    std::unique_ptr<ui::FileWaveform> fileWaveform_;
    QTimer waveformTimer_;
    // Zoom and marks on it.
    QScrollBar* zoomBar_ = nullptr;
    QCheckBox* snapBox_ = nullptr;
    QString timelineFile_;                           // the file the slider's timeline is of
    std::int64_t markStepUs_ = 1000;                 // Alt+Left/Right
    int editedMark_ = 0;                             // the end the nudge keys move: 0 start, 1 end
    bool typedMark_[2] = {false, false};             // typed into since the edit was last left
    std::unique_ptr<AudioWindowSource> snapSource_;  // currentFile_, opened at the first snap

    // Job commands.
    std::unique_ptr<CAVConvertDlg> progressDialog_;  // made at the first job
    std::vector<int> checkedRows_;  // merge: the list rows of the job's inputs, in order
    int completedCount_ = 0;        // inputs reported finished
    QString outputPath_;

    // The split tab.
    CCheckListCtrl* partsList_ = nullptr;
    QLineEdit* thresholdEdit_ = nullptr;
    QLineEdit* minimumEdit_ = nullptr;
    QLineEdit* everyEdit_ = nullptr;
    QCheckBox* keepTags_ = nullptr;
    SplitPartsModel splitParts_;
    bool fillingPartsList_ = false;       // the list is being written from the parts
    std::vector<std::size_t> splitRows_;  // the rows of the running split's parts, in order
    std::unique_ptr<split::SplitJob> splitJob_;
    split::SplitJobRunner splitRunner_;  // after the job: joined before the job goes
    QTimer splitTimer_;
    SilenceSearch silenceSearch_;
    QTimer silenceTimer_;
    // Where a played selection or part stops, in milliseconds.
    std::int64_t playedStopMs_ = 0;

    WindowDrag drag_;  // a press on a free spot moves the window
};

}  // namespace tolvane
