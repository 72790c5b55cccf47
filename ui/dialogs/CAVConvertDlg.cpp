#include "CAVConvertDlg.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>

#include "CLabel.h"
#include "DialogIds.h"
#include "KeySwallower.h"
#include "LanguageTable.h"
#include "engine/job/MediaJob.h"
#include "ProgramFolder.h"
#include "Settings.h"

namespace tolvane {

namespace {

// Size of the template in dialog units.
constexpr int kTemplateWidth = 319;
constexpr int kTemplateHeight = 90;

QFont DialogFont() {
    QFont font(QStringLiteral("Microsoft Sans Serif"), 8);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

QProgressBar* MakeBar(QWidget* parent) {
    auto* bar = new QProgressBar(parent);
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(false);
    return bar;
}

}  // namespace

CAVConvertDlg::CAVConvertDlg(QWidget* owner, std::filesystem::path programFolder)
    : QDialog(owner), programFolder_(std::move(programFolder)), items_(DialogUnits(DialogFont())) {
    setFont(DialogFont());
    setModal(true);
    CreateControls();
    ConnectMessageTable();

    // Neither Esc nor Enter ends the dialog or presses a button while a job runs.
    auto* keys = new dialogs::KeySwallower({Qt::Key_Escape, Qt::Key_Return}, this);
    keys->Watch(this);
}

CAVConvertDlg::~CAVConvertDlg() = default;

void CAVConvertDlg::CreateControls() {
    using namespace ProgressDialogId;
    const auto& scale = items_.scale();
    setFixedSize(scale.ToPixelsX(kTemplateWidth), scale.ToPixelsY(kTemplateHeight));

    auto* frame = items_.Place(Frame, new QGroupBox(this), 4, 2, 311, 58);
    frame->hide();

    items_.Place(RunningFileCaption, new QLabel(this), 10, 8, 62, 9);
    runningFileText_ =
        items_.Place(RunningFileText, new CLabel(RunningFileText, this), 74, 8, 236, 9);
    runningFileBar_ = items_.Place(RunningFileBar, MakeBar(this), 10, 19, 300, 9);

    items_.Place(CountCaption, new QLabel(this), 10, 34, 62, 9);
    countText_ = items_.Place(CountText, new CLabel(CountText, this), 74, 34, 236, 9);
    overallBar_ = items_.Place(OverallBar, MakeBar(this), 10, 45, 300, 9);

    openFolder_ = items_.Place(OpenFolder, new QCheckBox(QStringLiteral("完成后打开文件夹"), this),
                               10, 69, 150, 10);

    auto* preview = items_.Place(ShowPreview, new QCheckBox(QStringLiteral("Show preview"), this),
                                 165, 69, 28, 10);
    preview->hide();
    auto* pause =
        items_.Place(Pause, new QPushButton(QStringLiteral("Pause"), this), 196, 67, 55, 15);
    pause->setAutoDefault(false);
    pause->hide();

    cancel_ = items_.Place(Cancel, new QPushButton(this), 255, 67, 55, 15);
    cancel_->setAutoDefault(false);
}

// The dialog's message table: every control and its handler, in one place.
void CAVConvertDlg::ConnectMessageTable() {
    connect(cancel_, &QPushButton::clicked, this, &CAVConvertDlg::OnCancel);
    // The title-bar close arrives in closeEvent. Pause (1082) and Show preview (1120) do
    // nothing.
    connect(openFolder_, &QCheckBox::clicked, this,
            [this](bool checked) { emit openFolderWhenDoneChanged(checked); });
}

std::filesystem::path CAVConvertDlg::ProgramFolderInUse() const {
    return programFolder_.empty() ? ProgramFolder() : programFolder_;
}

// Runs at every showing, so the texts and the check box follow setting.ini and the
// language file as they are at that moment.
void CAVConvertDlg::OnInitDialog() {
    using namespace ProgressDialogId;
    endReason_ = EndReason::None;

    const SettingsFile settings(ProgramFolderInUse());
    openFolder_->setChecked(settings.OpenFolderWhenDone());

    const auto texts = ProgressDialogTexts::Read(settings.LanguageFileInForce());
    static_cast<QCheckBox*>(GetDlgItem(ShowPreview))->setChecked(true);
    const QString stop = QString::fromStdString(texts.stop);
    cancel_->setToolTip(stop);
    static_cast<QLabel*>(GetDlgItem(RunningFileCaption))
        ->setText(QString::fromStdString(texts.currentFile));
    static_cast<QLabel*>(GetDlgItem(CountCaption))->setText(QString::fromStdString(texts.overall));
    cancel_->setText(stop);
    setWindowTitle(QString::fromStdString(texts.title));
}

void CAVConvertDlg::showEvent(QShowEvent* event) {
    if (!event->spontaneous())
        OnInitDialog();
    QDialog::showEvent(event);
}

void CAVConvertDlg::closeEvent(QCloseEvent* event) {
    // The title-bar close: handled here rather than by QDialog's reject().
    event->accept();
    OnClose(EndReason::ClosedByUser);
}

void CAVConvertDlg::SetRunningFileText(const QString& text) {
    runningFileText_->SetText(text);
}

void CAVConvertDlg::SetCountText(const QString& text) {
    countText_->SetText(text);
}

void CAVConvertDlg::SetRunningFileProgress(int percent) {
    runningFileBar_->setValue(percent);
}

void CAVConvertDlg::SetOverallProgress(int percent) {
    overallBar_->setValue(percent);
}

void CAVConvertDlg::CloseDialog() {
    OnClose(EndReason::ClosedByOwner);
}

void CAVConvertDlg::SetJob(MediaJob* job) {
    stop_ = job != nullptr ? &job->cancelRequested : nullptr;
}

void CAVConvertDlg::RequestStop() {
    if (stop_ != nullptr)
        stop_->store(true);
    // No waiting here: the owner joins the worker before its next job or probe.
    emit jobTimerStopRequested();
}

void CAVConvertDlg::OnCancel() {
    RequestStop();
    endReason_ = EndReason::Cancelled;
    done(QDialog::Rejected);
}

void CAVConvertDlg::OnClose(EndReason reason) {
    const bool open = openFolder_->isChecked();
    SettingsFile(ProgramFolderInUse()).SetOpenFolderWhenDone(open);
    openFolderState_ = open;
    RequestStop();
    endReason_ = reason;
    if (isVisible())
        done(reason == EndReason::ClosedByOwner ? QDialog::Accepted : QDialog::Rejected);
}

}  // namespace tolvane
