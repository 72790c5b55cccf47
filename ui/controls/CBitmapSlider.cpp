#include "CBitmapSlider.h"

#include <QFocusEvent>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
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
    if (trackLoaded_ && view_.Zoomed())
        DrawZoomedTrack(painter);
    else if (trackLoaded_)
        DrawTrack(painter);
    DrawMarks(painter);
    if (view_.HasFile())
        DrawHandles(painter);
    if (thumbLoaded_) {
        const QPixmap& thumb = buttonDown_ && draggedMark_ < 0 ? draggingThumb_ : thumb_;
        painter.drawPixmap(ThumbPixel() - thumbWidth_ / 2, marginTop_, thumb);
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
    draggedMark_ = HandleAt(x);
    if (draggedMark_ >= 0) {
        update();
        event->accept();
        return;
    }
    if (view_.Zoomed()) {
        SeekToPixel(x);
        event->accept();
        return;
    }
    const int distance = x - PositionToPixel(position_);
    // Grabbing the thumb keeps the grab point; elsewhere the thumb jumps under the pointer.
    mouseOffset_ = std::abs(distance) <= thumbWidth_ / 2 ? distance : 0;
    MoveThumbTo(x);
    update();
    event->accept();
}

void CBitmapSlider::mouseMoveEvent(QMouseEvent* event) {
    const int x = event->position().toPoint().x();
    if (buttonDown_ && draggedMark_ >= 0) {
        markUs_[draggedMark_] = TimeAtPixel(x);
        update();
        emit markDragged(draggedMark_, markUs_[draggedMark_]);
    } else if (buttonDown_ && view_.Zoomed()) {
        SeekToPixel(x);
    } else if (buttonDown_) {
        MoveThumbTo(x);
    } else if (view_.HasFile()) {
        setCursor(HandleAt(x) >= 0 ? Qt::SizeHorCursor : Qt::ArrowCursor);
    }
    event->accept();
}

void CBitmapSlider::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    buttonDown_ = false;
    if (draggedMark_ >= 0)
        markUs_[draggedMark_] = TimeAtPixel(event->position().toPoint().x());
    const int dropped = std::exchange(draggedMark_, -1);
    update();
    if (dropped >= 0)
        emit markDropped(dropped, markUs_[dropped]);
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

void CBitmapSlider::wheelEvent(QWheelEvent* event) {
    const int notches = event->angleDelta().y();
    if (!view_.HasFile() || notches == 0) {
        QWidget::wheelEvent(event);
        return;
    }
    ZoomAt(event->position().x(), std::pow(kWheelStep, notches / 120.0));
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

// --- The file's time: zoom and the marked stretch's handles ----------------------------

void CBitmapSlider::SetTimeline(std::int64_t lengthUs, std::int64_t narrowestUs) {
    // The same pixels as PositionToPixel() while the whole file shows.
    const double origin = marginLeft_ + thumbWidth_ / 2;
    const double travel = double(trackWidth_) - marginRight_ - thumbWidth_ - marginLeft_;
    view_.Reset(lengthUs, origin, travel, narrowestUs);
    draggedMark_ = -1;
    setMouseTracking(view_.HasFile());
    if (!view_.HasFile())
        unsetCursor();
    update();
    emit viewChanged(view_.FromUs(), view_.ToUs());
}

void CBitmapSlider::ZoomAt(double x, double factor) {
    view_.ZoomAround(x, factor);
    update();
    emit viewChanged(view_.FromUs(), view_.ToUs());
}

void CBitmapSlider::ZoomIn() {
    const double head = view_.TimeToPixel(double(playUs_));
    const bool headShows = head >= 0 && head < trackWidth_;
    ZoomAt(headShows ? head : trackWidth_ / 2.0, kWheelStep * kWheelStep);
}

void CBitmapSlider::ZoomOut() {
    const double head = view_.TimeToPixel(double(playUs_));
    const bool headShows = head >= 0 && head < trackWidth_;
    ZoomAt(headShows ? head : trackWidth_ / 2.0, 1.0 / (kWheelStep * kWheelStep));
}

void CBitmapSlider::ZoomToFit() {
    view_.Fit();
    update();
    emit viewChanged(view_.FromUs(), view_.ToUs());
}

void CBitmapSlider::ShowView(double fromUs, double toUs) {
    view_.Show(fromUs, toUs);
    update();
    emit viewChanged(view_.FromUs(), view_.ToUs());
}

void CBitmapSlider::PanTo(double fromUs) {
    const double before = view_.FromUs();
    view_.PanTo(fromUs);
    if (view_.FromUs() == before)
        return;
    update();
    emit viewChanged(view_.FromUs(), view_.ToUs());
}

void CBitmapSlider::SetMarkedTimes(std::int64_t startUs, std::int64_t endUs) {
    if (draggedMark_ >= 0)
        return;  // the drag in hand decides until the button is let go
    markUs_[kStartMark] = startUs;
    markUs_[kEndMark] = endUs;
    update();
}

void CBitmapSlider::SetPlayTime(std::int64_t us, bool follow) {
    const double before = double(playUs_);
    const bool wasInView = before >= view_.FromUs() && before < view_.ToUs();
    playUs_ = us;
    if (follow && wasInView && !buttonDown_ && view_.Follow(double(us)))
        emit viewChanged(view_.FromUs(), view_.ToUs());
    update();
}

std::int64_t CBitmapSlider::TimeAtPixel(int x) const {
    const double us = std::round(view_.PixelToTime(x));
    return static_cast<std::int64_t>(std::clamp(us, 0.0, double(view_.LengthUs())));
}

int CBitmapSlider::HandlePixel(int end) const {
    return TruncateToInt(std::floor(view_.TimeToPixel(double(markUs_[end]))));
}

// Within a few pixels of a handle's line; where both are that close, the nearer (the end
// handle for a press right of a shared pixel, so an empty stretch can be opened).
int CBitmapSlider::HandleAt(int x) const {
    if (!view_.HasFile())
        return -1;
    constexpr int kReach = 4;
    const int start = std::abs(x - HandlePixel(kStartMark));
    const int end = std::abs(x - HandlePixel(kEndMark));
    if (start > kReach && end > kReach)
        return -1;
    if (start == end)
        return x > HandlePixel(kEndMark) ? kEndMark : kStartMark;
    return start < end ? kStartMark : kEndMark;
}

int CBitmapSlider::ThumbPixel() const {
    if (!view_.Zoomed())
        return PositionToPixel(position_);
    const double x = view_.TimeToPixel(double(playUs_));
    return TruncateToInt(std::clamp(x, -1000.0, trackWidth_ + 1000.0));
}

// Zoomed in, a press or drag on the track seeks to the time under the pointer.
void CBitmapSlider::SeekToPixel(int x) {
    trackedUs_ = TimeAtPixel(std::clamp(x, 0, trackWidth_ - 1));
    playUs_ = trackedUs_;
    const double span = double(maximum_) - minimum_;
    const double fraction = view_.LengthUs() > 0 ? double(trackedUs_) / view_.LengthUs() : 0.0;
    position_ = Clamped(TruncateToInt(minimum_ + fraction * span));
    update();
    emit sliderTracking(id_, position_);
}

void CBitmapSlider::DrawZoomedTrack(QPainter& painter) const {
    const int height = ShownTrackHeight();
    painter.drawPixmap(QRect(0, 0, trackWidth_, height), normalTrack_,
                       QRect(0, 0, trackWidth_, trackHeight_));
    const int from = std::clamp(HandlePixel(kStartMark), 0, trackWidth_);
    const int to = std::clamp(HandlePixel(kEndMark), 0, trackWidth_);
    if (to > from)
        painter.drawPixmap(QRect(from, 0, to - from, height), highlightedTrack_,
                           QRect(from, 0, to - from, trackHeight_));
}

// A line at each end of the marked stretch with a grip at the top and the bottom,
// pointing into the stretch.
void CBitmapSlider::DrawHandles(QPainter& painter) const {
    const int height = trackLoaded_ ? ShownTrackHeight() : this->height();
    const QColor line(255, 255, 255);
    const QColor grip(255, 140, 0);
    for (const int end : {kStartMark, kEndMark}) {
        const int x = HandlePixel(end);
        if (x < -8 || x > trackWidth_ + 8)
            continue;
        painter.fillRect(QRect(x, 0, 1, height), line);
        const int gripX = end == kStartMark ? x : x - 6;
        for (const int y : {0, height - 12}) {
            painter.fillRect(QRect(gripX, y, 7, 12), grip);
            painter.fillRect(QRect(x, y, 1, 12), line);
        }
    }
}

}  // namespace tolvane
