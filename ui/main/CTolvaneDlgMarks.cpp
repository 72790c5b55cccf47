// Marking on the file's waveform (cut tab, with the slider's waveform option on): zoom
// by the wheel, the keys and three small buttons under the slider, a scroll bar that
// pans, the marked stretch's ends dragged as handles or nudged by keys, and an option
// that moves a mark to the quiet point near it.

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTabBar>
#include <QToolButton>

#include <algorithm>
#include <cmath>
#include <utility>

#include "CBitmapSlider.h"
#include "CTolvaneDlg.h"
#include "Settings.h"
#include "TimeCode.h"
#include "WaveformTrack.h"
#include "WindowText.h"
#include "engine/cut/MarkStep.h"
#include "engine/probe/AudioWindow.h"
#include "engine/probe/QuietPoint.h"

namespace tolvane {

namespace {

// In pixels. The window has no room under the slider: while the zoom row shows, the
// track is drawn that much lower and the row takes the strip freed below it.
constexpr int kZoomRowHeight = 20;
constexpr int kZoomButtonSize = 18;
// The narrowest view: this many samples over the track.
constexpr int kSamplesInNarrowestView = ui::kTrackWidth;
constexpr int kCutTab = 0;

std::int64_t MsOf(std::int64_t us) {
    return us >= 0 ? (us + 500) / 1000 : -((-us + 500) / 1000);
}

}  // namespace

void CTolvaneDlg::CreateZoomControls() {
    const auto makeButton = [this](int id, const QString& caption) {
        auto* button = new QToolButton(this);
        button->setText(caption);
        button->setFocusPolicy(Qt::StrongFocus);
        button->setAutoRaise(false);
        RegisterControl(id, button);
        return button;
    };
    connect(makeButton(ControlId::ZoomIn, QStringLiteral("+")), &QToolButton::clicked, this,
            [this] { slider_->ZoomIn(); });
    connect(makeButton(ControlId::ZoomOut, QStringLiteral("\u2212")), &QToolButton::clicked, this,
            [this] { slider_->ZoomOut(); });
    connect(makeButton(ControlId::ZoomFit, QStringLiteral("\u2194")), &QToolButton::clicked, this,
            [this] { slider_->ZoomToFit(); });
    zoomBar_ = new QScrollBar(Qt::Horizontal, this);
    zoomBar_->setFocusPolicy(Qt::StrongFocus);
    RegisterControl(ControlId::ZoomBar, zoomBar_);
    connect(zoomBar_, &QScrollBar::valueChanged, this,
            [this](int fromMs) { slider_->PanTo(fromMs * 1000.0); });
    snapBox_ = new QCheckBox(this);
    RegisterControl(ControlId::SnapMarks, snapBox_);
    snapBox_->setChecked(SettingsFile(programFolder_).SnapMarks());
    connect(snapBox_, &QCheckBox::toggled, this,
            [this](bool on) { SettingsFile(programFolder_).SetSnapMarks(on); });

    connect(slider_, &CBitmapSlider::viewChanged, this, &CTolvaneDlg::OnSliderView);
    connect(slider_, &CBitmapSlider::markDragged, this, &CTolvaneDlg::OnMarkDragged);
    connect(slider_, &CBitmapSlider::markDropped, this, &CTolvaneDlg::OnMarkDropped);
    for (const int end : {CBitmapSlider::kStartMark, CBitmapSlider::kEndMark}) {
        connect(MarkEdit(end), &QLineEdit::textEdited, this, [this, end] {
            typedMark_[end] = true;
            editedMark_ = end;
        });
        connect(MarkEdit(end), &QLineEdit::editingFinished, this,
                [this, end] { SnapTypedMark(end); });
    }
    connect(tabs_, &QTabBar::currentChanged, this, [this] { UpdateSliderTimeline(); });
    ApplyZoomTexts();
    UpdateSliderTimeline();
}

// In the strip under the lowered track: the buttons, the scroll bar, the snap option.
void CTolvaneDlg::PlaceZoomControls() {
    const QRect track = slider_->geometry();
    const int y = track.top() + ui::kTrackHeight - kZoomRowHeight + 2;
    int x = track.left();
    for (const int id : {ControlId::ZoomIn, ControlId::ZoomOut, ControlId::ZoomFit}) {
        GetDlgItem(id)->setGeometry(x, y, kZoomButtonSize, kZoomButtonSize);
        x += kZoomButtonSize + 2;
    }
    snapBox_->adjustSize();
    const int snapWidth = snapBox_->sizeHint().width();
    const int barRight = track.left() + ui::kTrackWidth;
    const int barWidth = std::max(barRight - x - snapWidth - 8, 60);
    zoomBar_->setGeometry(x + 2, y + 1, barWidth, kZoomButtonSize - 2);
    snapBox_->setGeometry(x + 2 + barWidth + 6, y, snapWidth, kZoomButtonSize);
}

void CTolvaneDlg::ApplyZoomTexts() {
    if (snapBox_ == nullptr)
        return;
    GetDlgItem(ControlId::ZoomIn)->setToolTip(Text("TISHI", "bx_in"));
    GetDlgItem(ControlId::ZoomOut)->setToolTip(Text("TISHI", "bx_out"));
    GetDlgItem(ControlId::ZoomFit)->setToolTip(Text("TISHI", "bx_fit"));
    for (const int id : {ControlId::ZoomIn, ControlId::ZoomOut, ControlId::ZoomFit})
        GetDlgItem(id)->setAccessibleName(GetDlgItem(id)->toolTip());
    zoomBar_->setToolTip(Text("TISHI", "bx_pan"));
    zoomBar_->setAccessibleName(zoomBar_->toolTip());
    snapBox_->setText(Text("TISHI", "bx_snap"));
    snapBox_->setToolTip(Text("TISHI", "bx_snaptip"));
    PlaceZoomControls();
}

// The slider knows the file's time while the cut tab shows the file's waveform; the
// zoom controls show with it.
void CTolvaneDlg::UpdateSliderTimeline() {
    if (snapBox_ == nullptr)
        return;
    const bool cutTab = tabs_->currentIndex() == kCutTab;
    const bool on =
        cutTab && showFileWaveform_ && !currentFile_.isEmpty() && currentFileProbe_.durationUs > 0;
    const bool rowShown = cutTab && showFileWaveform_;
    for (const int id : {ControlId::ZoomIn, ControlId::ZoomOut, ControlId::ZoomFit,
                         ControlId::ZoomBar, ControlId::SnapMarks})
        GetDlgItem(id)->setVisible(rowShown);
    if (cutTab)
        slider_->SetTrackDisplayHeight(rowShown ? ui::kTrackHeight - kZoomRowHeight : 0);
    for (const int id :
         {ControlId::ZoomIn, ControlId::ZoomOut, ControlId::ZoomFit, ControlId::SnapMarks})
        GetDlgItem(id)->setEnabled(on);
    const std::int64_t lengthUs = on ? currentFileProbe_.durationUs : 0;
    if (lengthUs != slider_->View().LengthUs() || (on && timelineFile_ != currentFile_)) {
        const int rate = currentFileProbe_.sampleRate > 0 ? currentFileProbe_.sampleRate : 44100;
        slider_->SetTimeline(lengthUs, std::int64_t(kSamplesInNarrowestView) * 1000000 / rate);
        timelineFile_ = on ? currentFile_ : QString();
        snapSource_.reset();
        markStepUs_ = on ? MarkStepUs(Utf8(currentFile_)) : kExactMarkStepUs;
        ShowRangeOnSlider(ParseTimeCode(Utf8(startEdit_->text())),
                          ParseTimeCode(Utf8(endEdit_->text())));
    }
    // Marks can be dragged whether or not the file plays.
    if (on) {
        slider_->setEnabled(true);
        OnSliderView(slider_->View().FromUs(), slider_->View().ToUs());
    } else if (!SliderFollowsPlayer())
        slider_->setEnabled(false);
    ApplyTabOrder();
}

bool CTolvaneDlg::SliderFollowsPlayer() const {
    return playerOpened_ && (playMode_ == QStringLiteral("PAUSE") || !reloadOnPlay_);
}

void CTolvaneDlg::OnSliderView(double fromUs, double toUs) {
    const TimeView& view = slider_->View();
    {
        const QSignalBlocker block(zoomBar_);
        const auto lengthMs =
            static_cast<int>(std::min<std::int64_t>(view.LengthUs() / 1000, INT32_MAX));
        const int spanMs = static_cast<int>(std::lround(view.SpanUs() / 1000));
        zoomBar_->setRange(0, view.Zoomed() ? std::max(lengthMs - spanMs, 0) : 0);
        zoomBar_->setPageStep(std::max(spanMs, 1));
        zoomBar_->setSingleStep(std::max(spanMs / 10, 1));
        zoomBar_->setValue(static_cast<int>(std::lround(fromUs / 1000)));
        zoomBar_->setEnabled(view.Zoomed());
    }
    if (!fileWaveform_)
        return;
    fileWaveform_->SetView(static_cast<std::int64_t>(fromUs), static_cast<std::int64_t>(toUs));
    OnWaveformTimer();  // what can be shown at once shows now
    if (fileWaveform_->Reading())
        waveformTimer_.start();
}

QLineEdit* CTolvaneDlg::MarkEdit(int end) const {
    return end == CBitmapSlider::kStartMark ? startEdit_ : endEdit_;
}

void CTolvaneDlg::OnMarkDragged(int end, qint64 us) {
    editedMark_ = end;
    MarkEdit(end)->setText(TimeCodeText(MsOf(us)));
}

void CTolvaneDlg::OnMarkDropped(int end, qint64 us) {
    OnMarkDragged(end, us);
    SnapMark(end);
    ShowRangeOnSlider(ParseTimeCode(Utf8(startEdit_->text())),
                      ParseTimeCode(Utf8(endEdit_->text())));
}

// Only a time the user typed moves: leaving the edit without typing leaves it be.
void CTolvaneDlg::SnapTypedMark(int end) {
    if (!std::exchange(typedMark_[end], false))
        return;
    SnapMark(end);
}

// Moves the mark in the edit to the quiet point near it, when the option is on; the edit
// shows where it went.
void CTolvaneDlg::SnapMark(int end) {
    if (snapBox_ == nullptr || !snapBox_->isChecked() || !snapBox_->isEnabled() ||
        currentFile_.isEmpty())
        return;
    QLineEdit* edit = MarkEdit(end);
    const std::int64_t atMs = ParseTimeCode(Utf8(edit->text()));
    QuietPointSearch search;
    search.atUs = atMs * 1000;
    if (!snapSource_)
        snapSource_ = std::make_unique<AudioWindowSource>(Utf8(currentFile_));
    const QuietPoint point = FindQuietPoint(*snapSource_, search);
    if (!point.found)
        return;
    const std::int64_t lengthMs = currentFileProbe_.durationUs / 1000;
    const QString snapped = TimeCodeText(std::clamp<std::int64_t>(MsOf(point.us), 0, lengthMs));
    if (edit->text() != snapped)
        edit->setText(snapped);
}

// Shift+Left/Right: a millisecond; Alt+Left/Right: one step of the format (a packet where
// the cut lands on whole packets, else a millisecond).
void CTolvaneDlg::NudgeMark(std::int64_t deltaUs) {
    QLineEdit* edit = MarkEdit(editedMark_);
    const std::int64_t lengthMs = currentFileProbe_.durationUs / 1000;
    const std::int64_t atUs = std::int64_t(ParseTimeCode(Utf8(edit->text()))) * 1000;
    edit->setText(TimeCodeText(std::clamp<std::int64_t>(MsOf(atUs + deltaUs), 0, lengthMs)));
}

bool CTolvaneDlg::HandleMarkKey(QWidget* receiver, const QKeyEvent& key) {
    if (!slider_->HasTimeline())
        return false;
    const Qt::KeyboardModifiers modifiers = key.modifiers() & ~Qt::KeypadModifier;
    const bool ctrl =
        modifiers == Qt::ControlModifier || modifiers == (Qt::ControlModifier | Qt::ShiftModifier);
    if (ctrl && (key.key() == Qt::Key_Plus || key.key() == Qt::Key_Equal)) {
        slider_->ZoomIn();
        return true;
    }
    if (ctrl && key.key() == Qt::Key_Minus) {
        slider_->ZoomOut();
        return true;
    }
    if (modifiers == Qt::ControlModifier && key.key() == Qt::Key_0) {
        slider_->ZoomToFit();
        return true;
    }
    if (receiver != slider_ || (key.key() != Qt::Key_Left && key.key() != Qt::Key_Right))
        return false;
    const std::int64_t direction = key.key() == Qt::Key_Left ? -1 : 1;
    if (modifiers == Qt::ShiftModifier)
        NudgeMark(direction * kExactMarkStepUs);
    else if (modifiers == Qt::AltModifier)
        NudgeMark(direction * markStepUs_);
    else if (modifiers == (Qt::ShiftModifier | Qt::ControlModifier))
        editedMark_ = direction < 0 ? CBitmapSlider::kStartMark : CBitmapSlider::kEndMark;
    else
        return false;
    return true;
}

}  // namespace tolvane
