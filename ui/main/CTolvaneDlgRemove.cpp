// The cut tab's removal of the marked stretch: the check box that makes Start write the
// file without the stretch, and Play Selection's counterpart then, which plays around
// the stretch (two seconds before it, then on from its end) so the seam can be heard.

#include <QCheckBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTabBar>

#include <algorithm>

#include "CBitmapSlider.h"
#include "CControlButton.h"
#include "CTolvaneDlg.h"
#include "TimeCode.h"

namespace tolvane {

namespace {

constexpr int kLeadInMs = 2000;  // heard before the stretch
// The position is looked at often while the jump past the stretch is due, so little
// silence lies between the start and the end.
constexpr int kAroundTickMs = 20;
constexpr int kTickMs = 100;
constexpr int kPauseLookBitmapId = 310;
// In dialog units: beside the start button, under the commands above it.
constexpr int kBoxX = 307, kBoxY = 112, kBoxSize = 10;
constexpr int kLabelX = 318, kLabelWidth = 52, kLabelHeight = 40;

// A click on the box's text ticks the box, as a check box's own text would.
class TextTicksBox : public QObject {
  public:
    TextTicksBox(QCheckBox* box, QObject* parent) : QObject(parent), box_(box) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonRelease &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton && box_->isEnabled()) {
            box_->toggle();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    QCheckBox* box_;
};

}  // namespace

void CTolvaneDlg::CreateRemoveStretchControls() {
    // The label wraps the text the template's narrow column cannot hold on one line.
    removeStretch_ = new QCheckBox(this);
    RegisterControl(ControlId::RemoveStretch, removeStretch_);
    removeStretch_->setGeometry(units_.ToPixels(kBoxX, kBoxY, kBoxSize, kBoxSize));
    removeStretchLabel_ = new QLabel(this);
    removeStretchLabel_->setWordWrap(true);
    removeStretchLabel_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    removeStretchLabel_->setGeometry(units_.ToPixels(kLabelX, kBoxY, kLabelWidth, kLabelHeight));
    removeStretchLabel_->installEventFilter(new TextTicksBox(removeStretch_, removeStretchLabel_));
    const auto showOnCutTab = [this] {
        const bool cutTab = tabs_->currentIndex() == 0;
        removeStretch_->setVisible(cutTab);
        removeStretchLabel_->setVisible(cutTab);
    };
    connect(tabs_, &QTabBar::currentChanged, this, showOnCutTab);
    showOnCutTab();
    ApplyRemoveStretchTexts();
}

void CTolvaneDlg::ApplyRemoveStretchTexts() {
    if (removeStretch_ == nullptr)
        return;
    const QString text = Text("TISHI", "sc_stretch");
    removeStretch_->setAccessibleName(text);
    removeStretchLabel_->setText(text);
    // Play Selection plays around the stretch while the box is ticked.
    removeStretch_->setToolTip(Text("TISHI", "bf_around"));
    removeStretchLabel_->setToolTip(Text("TISHI", "bf_around"));
}

bool CTolvaneDlg::RemovesStretch() const {
    return removeStretch_ != nullptr && removeStretch_->isChecked();
}

void CTolvaneDlg::PlayAroundStretch() {
    const std::int32_t start = ParseTimeCode(startEdit_->text().toStdString());
    const std::int32_t end = ParseTimeCode(endEdit_->text().toStdString());
    if (reloadOnPlay_)
        LoadIntoPlayer();
    if (!playerOpened_)
        return;
    EndSelectionStopPoint();
    player_->PlayerModule_Pause();
    player_->PlayerModule_SetCurrentPosition(std::max(0, start - kLeadInMs) / 1000.0);
    // The sound stops at the start; the tick then goes on from the end.
    player_->PlayerModule_SetStopPoint(start / 1000.0);
    aroundStretchStartMs_ = start;
    aroundStretchEndMs_ = end;
    player_->PlayerModule_Start();
    positionTimer_.start(kAroundTickMs);
    slider_->setEnabled(true);
    if (playMode_ != QStringLiteral("PAUSE")) {
        playMode_ = QStringLiteral("PAUSE");
        SetPlayButtonLook(kPauseLookBitmapId);
    }
}

void CTolvaneDlg::JumpPastStretchWhenDue() {
    if (aroundStretchEndMs_ < 0 || !playerOpened_ || currentPositionMs_ < aroundStretchStartMs_)
        return;
    const std::int32_t end = aroundStretchEndMs_;
    aroundStretchEndMs_ = -1;
    player_->PlayerModule_Pause();
    player_->PlayerModule_ClearStopPoint();
    player_->PlayerModule_SetCurrentPosition(end / 1000.0);
    player_->PlayerModule_Start();
    positionTimer_.start(kTickMs);
}

}  // namespace tolvane
