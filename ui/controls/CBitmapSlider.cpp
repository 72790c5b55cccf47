#include "CBitmapSlider.h"

#include <QFocusEvent>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "BitmapLoader.h"
#include "FocusMark.h"
#include "XCMemDC.h"

namespace tolvane {

namespace {

int TruncateToInt(double value) {
    if (!std::isfinite(value))
        return 0;
    constexpr double kLow = std::numeric_limits<int>::min();
    constexpr double kHigh = std::numeric_limits<int>::max();
    return static_cast<int>(std::trunc(std::clamp(value, kLow, kHigh)));
}

// The colour of the top-left pixel becomes transparent.
QPixmap WithTopLeftColourTransparent(const QPixmap& picture) {
    QImage image = picture.toImage().convertToFormat(QImage::Format_ARGB32);
    const QRgb transparent = image.pixel(0, 0) | 0xFF000000u;
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if ((line[x] | 0xFF000000u) == transparent)
                line[x] = 0;
        }
    }
    return QPixmap::fromImage(image);
}

}  // namespace

CBitmapSlider::CBitmapSlider(int id, QWidget* parent) : QWidget(parent), id_(id) {
    setObjectName(QString::number(id));
    setFocusPolicy(Qt::StrongFocus);
    // Every frame is painted whole from the off-screen buffer.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

CBitmapSlider::~CBitmapSlider() = default;

bool CBitmapSlider::SetTrackBitmaps(int normalId, int highlightedId) {
    return SetTrackBitmaps(LoadBitmapResource(normalId), LoadBitmapResource(highlightedId));
}

bool CBitmapSlider::SetTrackBitmaps(const QPixmap& normal, const QPixmap& highlighted) {
    normalTrack_ = normal;
    if (normalTrack_.isNull()) {
        trackLoaded_ = false;
        return false;
    }
    highlightedTrack_ = highlighted;
    if (highlightedTrack_.isNull()) {
        normalTrack_ = QPixmap();
        trackLoaded_ = false;
        return false;
    }
    trackWidth_ = normalTrack_.width();
    trackHeight_ = normalTrack_.height();
    resize(trackWidth_, ShownTrackHeight());
    trackLoaded_ = true;
    update();
    return true;
}

bool CBitmapSlider::SetThumbBitmaps(int normalId, int draggingId) {
    return SetThumbBitmaps(LoadBitmapResource(normalId), LoadBitmapResource(draggingId));
}

bool CBitmapSlider::SetThumbBitmaps(const QPixmap& normal, const QPixmap& dragging) {
    if (normal.isNull() || dragging.isNull()) {
        thumb_ = QPixmap();
        draggingThumb_ = QPixmap();
        thumbLoaded_ = false;
        return false;
    }
    thumb_ = WithTopLeftColourTransparent(normal);
    draggingThumb_ = WithTopLeftColourTransparent(dragging);
    thumbWidth_ = thumb_.width();
    thumbHeight_ = thumb_.height();
    if (!trackLoaded_) {
        trackWidth_ = width();
        trackHeight_ = height();
    }
    thumbLoaded_ = true;
    update();
    return true;
}

void CBitmapSlider::ShowFocusRect(bool show) {
    showFocusRect_ = show;
    update();
}

void CBitmapSlider::SetRange(int minimum, int maximum) {
    minimum_ = minimum;
    maximum_ = maximum;
    // Keeps the position inside the new range, as every setter does.
    position_ = Clamped(position_);
    update();
}

int CBitmapSlider::Clamped(int value) const {
    // Upper bound first, so a reversed range ends at the minimum.
    if (value > maximum_)
        value = maximum_;
    if (value < minimum_)
        value = minimum_;
    return value;
}

void CBitmapSlider::SetPos(int position) {
    position_ = Clamped(position);
    update();
}

void CBitmapSlider::SetMargins(int left, int top, int right, int bottom) {
    marginLeft_ = left;
    marginTop_ = top;
    marginRight_ = right;
    marginBottom_ = bottom;
    update();
}

void CBitmapSlider::SetSelectionStart(int position) {
    selectionStart_ = Clamped(position);
    update();
}

void CBitmapSlider::SetSelectionEnd(int position) {
    selectionEnd_ = Clamped(position);
    update();
}

void CBitmapSlider::SetSelectionMode(int mode) {
    selectionMode_ = (mode < 0 || mode > 2) ? 0 : mode;
    update();
}

// An empty range or travel would divide by zero; both then map onto the start.
int CBitmapSlider::PositionToPixel(int position) const {
    const double travel = double(trackWidth_) - marginRight_ - thumbWidth_ - marginLeft_;
    const double span = double(maximum_) - minimum_;
    const double fraction = span != 0 ? (double(position) - minimum_) / span : 0.0;
    return marginLeft_ + TruncateToInt(fraction * travel) + thumbWidth_ / 2;
}

int CBitmapSlider::PixelToPosition(int x) const {
    const double travel = double(trackWidth_) - marginRight_ - thumbWidth_ - marginLeft_;
    const double span = double(maximum_) - minimum_;
    const double offset = double(x) - thumbWidth_ / 2 - marginLeft_;
    const double fraction = travel != 0 ? offset / travel : 0.0;
    return TruncateToInt(fraction * span + minimum_);
}

QSize CBitmapSlider::sizeHint() const {
    if (trackLoaded_)
        return QSize(trackWidth_, ShownTrackHeight());
    return QWidget::sizeHint();
}

void CBitmapSlider::DrawTrack(QPainter& painter) const {
    const int width = trackWidth_;
    auto copy = [&](const QPixmap& source, int from, int to) {
        // A reversed selection gives a piece of negative width: draw nothing for it.
        if (to <= from)
            return;
        painter.drawPixmap(QRect(from, 0, to - from, ShownTrackHeight()), source,
                           QRect(from, 0, to - from, trackHeight_));
    };
    const int start = PositionToPixel(selectionStart_);
    const int end = PositionToPixel(selectionEnd_);
    switch (selectionMode_) {
        case 1:
            if (selectionStart_ == 0) {
                copy(highlightedTrack_, 0, width);
            } else {
                copy(normalTrack_, 0, start);
                copy(highlightedTrack_, start, width);
            }
            break;
        case 2:
            if (selectionStart_ != 0)
                copy(normalTrack_, 0, start);
            if (selectionEnd_ == maximum_) {
                copy(highlightedTrack_, selectionStart_ == 0 ? 0 : start, width);
            } else {
                copy(normalTrack_, end, width);
                copy(highlightedTrack_, selectionStart_ == 0 ? 0 : start, end);
            }
            break;
        default:
            copy(highlightedTrack_, 0, width);
            break;
    }
}

void CBitmapSlider::SetTrackDisplayHeight(int height) {
    displayHeight_ = std::max(height, 0);
    if (trackLoaded_)
        resize(trackWidth_, ShownTrackHeight());
    update();
}

int CBitmapSlider::ShownTrackHeight() const {
    return displayHeight_ > 0 ? displayHeight_ : trackHeight_;
}

void CBitmapSlider::SetMarks(std::vector<int> positions) {
    marks_ = std::move(positions);
    update();
}

void CBitmapSlider::SetMarkColour(const QColor& colour) {
    markColour_ = colour;
    update();
}

// Under the thumb, so the play head stays readable where it passes a mark.
void CBitmapSlider::DrawMarks(QPainter& painter) const {
    const int height = trackLoaded_ ? ShownTrackHeight() : this->height();
    // Marks closer than a few pixels to the last one drawn are left out, so that
    // thousands of marks still leave the track visible between them.
    constexpr int kMinimumGap = 4;
    int lastX = std::numeric_limits<int>::min();
    for (const int position : marks_) {
        if (position < minimum_ || position > maximum_)
            continue;
        const int x = PositionToPixel(position);
        if (lastX != std::numeric_limits<int>::min() && std::abs(x - lastX) < kMinimumGap)
            continue;
        painter.fillRect(QRect(x - 1, 0, 2, height), markColour_);
        lastX = x;
    }
}

void CBitmapSlider::paintEvent(QPaintEvent*) {
    QPainter target(this);
    XCMemDC dc(target, rect(), palette().color(QPalette::Window));
    QPainter& painter = dc.painter();
    if (!painter.isActive())
        return;
    if (trackLoaded_)
        DrawTrack(painter);
    DrawMarks(painter);
    if (thumbLoaded_) {
        const QPixmap& thumb = buttonDown_ ? draggingThumb_ : thumb_;
        painter.drawPixmap(PositionToPixel(position_) - thumbWidth_ / 2, marginTop_, thumb);
    }
    // Inside the track, where its white and black show on any picture.
    if (showFocusRect_ && focused_) {
        const QRect track =
            trackLoaded_ ? QRect(0, 0, trackWidth_, ShownTrackHeight()) & rect() : rect();
        DrawFocusMark(painter, track.adjusted(2, 2, -3, -3));
    }
}

void CBitmapSlider::MoveThumbTo(int pointerX) {
    int x = pointerX - mouseOffset_;
    x = std::max(x, marginLeft_ + thumbWidth_ / 2);
    x = std::min(x, trackWidth_ - marginRight_ - thumbWidth_ / 2);
    if (x == PositionToPixel(position_))
        return;
    position_ = Clamped(PixelToPosition(x));
    update();
    emit sliderTracking(id_, position_);
}

void CBitmapSlider::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    buttonDown_ = true;
    const int x = event->position().toPoint().x();
    const int distance = x - PositionToPixel(position_);
    // Grabbing the thumb keeps the grab point; elsewhere the thumb jumps under the pointer.
    mouseOffset_ = std::abs(distance) <= thumbWidth_ / 2 ? distance : 0;
    MoveThumbTo(x);
    update();
    event->accept();
}

void CBitmapSlider::mouseMoveEvent(QMouseEvent* event) {
    if (buttonDown_)
        MoveThumbTo(event->position().toPoint().x());
    event->accept();
}

void CBitmapSlider::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    buttonDown_ = false;
    update();
    emit sliderSettled(id_, position_);
    event->accept();
}

void CBitmapSlider::keyPressEvent(QKeyEvent* event) {
    long long value = position_;
    switch (event->key()) {
        case Qt::Key_Left:
        case Qt::Key_Up:
            value -= 1;
            break;
        case Qt::Key_Right:
        case Qt::Key_Down:
            value += 1;
            break;
        case Qt::Key_PageUp:
            value -= pageSize_;
            break;
        case Qt::Key_PageDown:
            value += pageSize_;
            break;
        case Qt::Key_Home:
            value = minimum_;
            break;
        case Qt::Key_End:
            value = maximum_;
            break;
        default:
            QWidget::keyPressEvent(event);
            return;
    }
    value = std::clamp<long long>(value, std::numeric_limits<int>::min(),
                                  std::numeric_limits<int>::max());
    SetPos(static_cast<int>(value));
    emit sliderSettled(id_, position_);
    event->accept();
}

void CBitmapSlider::focusInEvent(QFocusEvent* event) {
    focused_ = true;
    update();
    QWidget::focusInEvent(event);
}

void CBitmapSlider::focusOutEvent(QFocusEvent* event) {
    focused_ = false;
    update();
    QWidget::focusOutEvent(event);
}

}  // namespace tolvane
