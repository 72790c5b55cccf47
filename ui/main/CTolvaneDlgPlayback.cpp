// Preview playback of the cut tab's file and the range selection over it.

#include <QLabel>
#include <QTabBar>
#include <QLineEdit>

#include <algorithm>

#include "CBitmapSlider.h"
#include "CControlButton.h"
#include "CTolvaneDlg.h"
#include "WindowText.h"
#include "TimeCode.h"

namespace tolvane {

namespace {

constexpr int kPositionTickMs = 100;
constexpr int kPlayLookBitmap = 302;
constexpr int kPauseLookBitmap = 310;
const QString kZeroTime = QStringLiteral("00:00:00.000");
const QString kPlay = QStringLiteral("PLAY");
const QString kPause = QStringLiteral("PAUSE");

std::int32_t TimeCodeOf(const QLineEdit* edit) {
    return ParseTimeCode(edit->text().toStdString());
}

// A mark in per mille of the length; a length below 1 ms puts the mark at 0.
int PerMille(std::int64_t ms, std::int64_t lengthMs) {
    if (lengthMs < 1)
        return 0;
    return static_cast<int>(std::clamp<std::int64_t>(ms * 1000 / lengthMs, INT32_MIN, INT32_MAX));
}

// value × 1000 truncated toward zero (seconds to milliseconds, a fraction to per mille); a
// value the player should not report (not a number, out of range) cannot overflow. A
// time code's seconds (n / 1000.0) times 1000 can land an ulp below n: the nudge keeps
// it n, so a selection's end read back from the player still reaches the end edit.
int Thousandths(double value) {
    const double ms = value * 1000.0 + (value > 0 ? 1e-6 : 0.0);
    if (!(ms > INT32_MIN))
        return ms != ms ? 0 : INT32_MIN;
    return ms < INT32_MAX ? static_cast<int>(ms) : INT32_MAX;
}

}  // namespace

void CTolvaneDlg::SetPlayButtonLook(int bitmapId) {
    QWidget* button = GetDlgItem(ControlId::Play);
    button->setEnabled(false);
    SetButtonBitmaps(ControlId::Play, bitmapId);
    button->setEnabled(true);
}

void CTolvaneDlg::LoadIntoPlayer() {
    playerFile_ = currentFile_;
    Stop();
    player_->PlayerModule_SetFileName(playerFile_.toStdString());
    positionTimer_.start(kPositionTickMs);
    if (player_->PlayerModule_Open() == -1)
        return;
    int first = 0;
    int second = 0;
    player_->PlayerModule_GetMideaType(&first, &second);
    playerOpened_ = true;
}

// A newly loaded file is marked whole, from its own probe.
void CTolvaneDlg::ShowWholeFileRange() {
    wholeRangePending_ = false;
    const std::int64_t startMs = currentFileProbe_.startUs / 1000;
    const std::int64_t endMs = currentFileProbe_.endUs / 1000;
    const std::int64_t lengthMs = currentFileProbe_.durationUs / 1000;
    slider_->SetSelectionStart(PerMille(startMs, lengthMs));
    slider_->SetSelectionEnd(PerMille(endMs, lengthMs));
    slider_->update();
    startEdit_->setText(TimeCodeText(startMs));
    endEdit_->setText(TimeCodeText(endMs));
    Item<QLabel>(ControlId::SelectionLength)->setText(TimeCodeText(endMs - startMs));
    ShowRangeOnSlider(TimeCodeOf(startEdit_), TimeCodeOf(endEdit_));
}

void CTolvaneDlg::Play() {
    EndSelectionStopPoint();
    if (playMode_ == kPlay) {
        if (reloadOnPlay_) {
            LoadIntoPlayer();
            // Play after Stop or a played selection keeps the marked range.
            if (wholeRangePending_)
                ShowWholeFileRange();
        }
        if (!playerOpened_)
            return;
        positionTimer_.start(kPositionTickMs);
        player_->PlayerModule_Start();
        slider_->setEnabled(true);
        playMode_ = kPause;
        SetPlayButtonLook(kPauseLookBitmap);
        return;
    }
    reloadOnPlay_ = false;
    if (!playerOpened_)
        return;
    positionTimer_.start(kPositionTickMs);
    player_->PlayerModule_Pause();
    playMode_ = kPlay;
    SetPlayButtonLook(kPlayLookBitmap);
}

void CTolvaneDlg::Stop() {
    reloadOnPlay_ = true;
    playSelectionActive_ = false;
    aroundStretchEndMs_ = -1;
    if (!playerOpened_)
        return;
    positionTimer_.stop();
    player_->PlayerModule_Stop();
    player_->PlayerModule_Close();
    slider_->setEnabled(slider_->HasTimeline());  // marks can still be dragged
    playMode_ = kPlay;
    SetPlayButtonLook(kPlayLookBitmap);
    slider_->SetPos(0);
    slider_->SetPlayTime(0);
    slider_->update();
    currentPositionMs_ = 0;
    ShowStoppedPosition();
}

// The position reads zero and the two texts keep one slash between them: a tick puts it
// before the length, the start and the end of a played selection after the position.
void CTolvaneDlg::ShowStoppedPosition() {
    const bool lengthHasSlash =
        Item<QLabel>(ControlId::Duration)->text().startsWith(QLatin1Char('/'));
    Item<QLabel>(ControlId::PlayPosition)
        ->setText(lengthHasSlash ? kZeroTime : kZeroTime + QStringLiteral(" /"));
}

void CTolvaneDlg::OnPlayPause() {
    Play();
}

void CTolvaneDlg::OnStop() {
    Stop();
}

// Runs on the window's thread; the player's callback thread waits for it and holds no
// lock of the player meanwhile.
void CTolvaneDlg::OnPlayerEnd() {
    Stop();
}

void CTolvaneDlg::OnPositionTimer() {
    if (!positionTimer_.isActive())
        return;  // a tick that was still queued when the timer was killed
    float fraction = 0.0f;
    player_->PlayerModule_GetPos(&fraction);
    const int position = Thousandths(fraction);
    double currentSec = 0.0;
    double durationSec = 0.0;
    player_->PlayerModule_GetCurrentPosition(&currentSec);
    player_->PlayerModule_GetDuration(&durationSec);
    currentPositionMs_ = Thousandths(currentSec);
    const int lengthMs = Thousandths(durationSec);

    Item<QLabel>(ControlId::PlayPosition)->setText(TimeCodeText(currentPositionMs_));
    Item<QLabel>(ControlId::Duration)->setText(QStringLiteral("/ ") + TimeCodeText(lengthMs));
    if (slider_->GetPos() != position) {
        slider_->SetPos(std::clamp(position, 0, 1000));
        slider_->update();
    }
    slider_->SetPlayTime(std::int64_t(currentPositionMs_) * 1000, playMode_ == kPause);
    JumpPastStretchWhenDue();
    if (playSelectionActive_ && playerOpened_ && currentPositionMs_ >= playedStopMs_)
        EndPlayedSelection();
}

// The end of a played selection closes the file like Stop, so the next Play opens it
// afresh instead of pausing or resuming a closed player; the Play button shows play again.
void CTolvaneDlg::EndPlayedSelection() {
    double durationSec = 0.0;
    player_->PlayerModule_GetDuration(&durationSec);
    player_->PlayerModule_Stop();
    player_->PlayerModule_Close();
    positionTimer_.stop();
    currentPositionMs_ = 0;
    // The length stays what the file has; only the position goes back to zero.
    Item<QLabel>(ControlId::PlayPosition)->setText(kZeroTime);
    Item<QLabel>(ControlId::Duration)
        ->setText(QStringLiteral("/ ") + TimeCodeText(Thousandths(durationSec)));
    slider_->SetPos(0);
    slider_->SetPlayTime(0);
    slider_->update();
    playSelectionActive_ = false;
    reloadOnPlay_ = true;
    slider_->setEnabled(slider_->HasTimeline());
    if (playMode_ == kPause) {
        playMode_ = kPlay;
        SetPlayButtonLook(kPlayLookBitmap);
    }
}

// Play and a drag play on past the end of a played selection. Stop needs no call: the
// player's Stop drops the stop point.
void CTolvaneDlg::EndSelectionStopPoint() {
    if ((playSelectionActive_ || aroundStretchEndMs_ >= 0) && playerOpened_)
        player_->PlayerModule_ClearStopPoint();
    playSelectionActive_ = false;
    aroundStretchEndMs_ = -1;
}

// A drag always leaves the player playing, also when it was paused.
void CTolvaneDlg::OnSliderTracking(int controlId, int position) {
    Q_UNUSED(position);  // the slider's position now, not the one of the report
    EndSelectionStopPoint();
    if (controlId != ControlId::PositionSlider || !playerOpened_)
        return;
    player_->PlayerModule_Pause();
    if (slider_->View().Zoomed()) {
        // Zoomed in, the pointer's time is finer than the slider's range.
        currentPositionMs_ = static_cast<int>(slider_->TrackedTimeUs() / 1000);
        player_->PlayerModule_SetCurrentPosition(currentPositionMs_ / 1000.0);
        player_->PlayerModule_Start();
        return;
    }
    const float fraction = static_cast<float>(slider_->GetPos() / 1000.0);
    player_->PlayerModule_SetPos(fraction);
    double durationSec = 0.0;
    player_->PlayerModule_GetDuration(&durationSec);
    currentPositionMs_ = Thousandths(fraction * durationSec);
    slider_->SetPlayTime(std::int64_t(currentPositionMs_) * 1000);
    player_->PlayerModule_Start();
}

void CTolvaneDlg::SeekBy(std::int64_t deltaMs) {
    SeekTo(std::int64_t(currentPositionMs_) + deltaMs);
}

// A key moves the play position and keeps playing or pausing as it was; like a drag, it
// plays on past the end of a played selection.
void CTolvaneDlg::SeekTo(std::int64_t positionMs) {
    double durationSec = 0.0;
    player_->PlayerModule_GetDuration(&durationSec);
    const std::int64_t lengthMs = std::max(Thousandths(durationSec), 0);
    const int targetMs = static_cast<int>(std::clamp<std::int64_t>(positionMs, 0, lengthMs));
    EndSelectionStopPoint();
    player_->PlayerModule_SetCurrentPosition(targetMs / 1000.0);
    currentPositionMs_ = targetMs;
    // One slash between the two texts, as the tick and Stop keep it.
    const bool lengthHasSlash =
        Item<QLabel>(ControlId::Duration)->text().startsWith(QLatin1Char('/'));
    Item<QLabel>(ControlId::PlayPosition)
        ->setText(TimeCodeText(targetMs) + (lengthHasSlash ? QString() : QStringLiteral(" /")));
    slider_->SetPos(std::clamp(PerMille(targetMs, lengthMs), 0, 1000));
    slider_->SetPlayTime(std::int64_t(targetMs) * 1000, true);
    slider_->update();
}

// --- Range selection ------------------------------------------------------------------

void CTolvaneDlg::OnTimeEditChanged() {
    const std::int32_t start = TimeCodeOf(startEdit_);
    const std::int32_t end = TimeCodeOf(endEdit_);
    if (playSelectionActive_ && playerOpened_ && tabs_->currentIndex() == 0) {
        playedStopMs_ = end;
        player_->PlayerModule_SetStopPoint(end / 1000.0);  // the played selection follows
    }
    Item<QLabel>(ControlId::SelectionLength)
        ->setText(end > start ? TimeCodeText(std::int64_t(end) - start) : kZeroTime);
    ShowRangeOnSlider(start, end);
}

// The slider marks the stretch the edits hold, however it was set: a range that runs to
// the file's end is marked from its start on, the whole file is all marked, and an empty
// or reversed range marks nothing.
void CTolvaneDlg::ShowRangeOnSlider(std::int32_t startMs, std::int32_t endMs) {
    if (currentFile_.isEmpty()) {
        slider_->SetSelectionStart(0);
        slider_->SetSelectionEnd(0);
        slider_->SetSelectionMode(0);
        slider_->update();
        return;
    }
    const std::int64_t lengthMs = currentFileProbe_.durationUs / 1000;
    const int first = std::clamp(PerMille(startMs, lengthMs), 0, 1000);
    const int last = std::clamp(PerMille(endMs, lengthMs), 0, 1000);
    slider_->SetSelectionStart(first);
    slider_->SetSelectionEnd(last);
    slider_->SetSelectionMode(last < 1000 ? 2 : (first > 0 ? 1 : 0));
    slider_->SetMarkedTimes(std::int64_t(startMs) * 1000, std::int64_t(endMs) * 1000);
    slider_->update();
}

// What the edit shows is what will be used: a typed time is written back as read.
void CTolvaneDlg::ShowTimeAsUnderstood(QLineEdit* edit) {
    const QString understood = TimeCodeText(TimeCodeOf(edit));
    if (edit->text() != understood)
        edit->setText(understood);
}

// Setting the start moves the end back to the end of the file.
void CTolvaneDlg::OnStartPoint() {
    if (currentFile_.isEmpty())
        return;
    const std::int64_t lengthMs = currentFileProbe_.durationUs / 1000;
    startEdit_->setText(TimeCodeText(currentPositionMs_));
    endEdit_->setText(TimeCodeText(lengthMs));
    Item<QLabel>(ControlId::SelectionLength)->setText(TimeCodeText(lengthMs - currentPositionMs_));
    editedMark_ = 0;
    SnapMark(0);
    ShowRangeOnSlider(TimeCodeOf(startEdit_), TimeCodeOf(endEdit_));
}

// An end before the start swaps the two texts, and the slider marks the swapped range.
void CTolvaneDlg::OnEndPoint() {
    if (currentFile_.isEmpty())
        return;
    const std::int64_t start = TimeCodeOf(startEdit_);
    const std::int64_t position = currentPositionMs_;
    auto* length = Item<QLabel>(ControlId::SelectionLength);
    if (position > start) {
        endEdit_->setText(TimeCodeText(position));
        length->setText(TimeCodeText(position - start));
    } else {
        startEdit_->setText(TimeCodeText(position));
        endEdit_->setText(TimeCodeText(start));
        length->setText(TimeCodeText(start - position));
    }
    editedMark_ = 1;
    SnapMark(position > start ? 1 : 0);
    ShowRangeOnSlider(TimeCodeOf(startEdit_), TimeCodeOf(endEdit_));
}

void CTolvaneDlg::OnPlaySelection() {
    if (currentFile_.isEmpty())
        return;
    if (RemovesStretch()) {
        PlayAroundStretch();
        return;
    }
    PlayStretch(TimeCodeOf(startEdit_), TimeCodeOf(endEdit_));
}

// The selection of the cut tab, or a part of the split tab, plays from its start and
// stops at its end.
void CTolvaneDlg::PlayStretch(std::int64_t startMs, std::int64_t endMs) {
    if (reloadOnPlay_)
        LoadIntoPlayer();
    if (!playerOpened_)
        return;
    player_->PlayerModule_Pause();
    player_->PlayerModule_SetCurrentPosition(startMs / 1000.0);
    // The player stops the sound at the end itself; the tick then sees it there.
    playedStopMs_ = endMs;
    player_->PlayerModule_SetStopPoint(endMs / 1000.0);
    player_->PlayerModule_Start();
    playSelectionActive_ = true;
    positionTimer_.start(kPositionTickMs);  // the tick finds the end
    slider_->setEnabled(true);
    // The selection plays: the Play button shows pause and pauses it, like any playing.
    if (playMode_ != kPause) {
        playMode_ = kPause;
        SetPlayButtonLook(kPauseLookBitmap);
    }
}

}  // namespace tolvane
