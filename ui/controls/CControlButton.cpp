#include "CControlButton.h"

#include <QMouseEvent>
#include <QPainter>
#include <vector>

#include "BitmapLoader.h"
#include "FocusMark.h"

namespace tolvane {

namespace {

constexpr int kHoverDelayMs = 1;
constexpr QRgb kWhite = 0xFFFFFFu;
// Rectangles are joined into the region in batches, which keeps the union cheap.
constexpr std::size_t kRectsPerBatch = 2000;

}  // namespace

CControlButton::CControlButton(int id, QWidget* parent) : QAbstractButton(parent), id_(id) {
    setObjectName(QString::number(id));
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);  // like any push button
    hoverTimer_.setSingleShot(true);
    hoverTimer_.setInterval(kHoverDelayMs);
    connect(&hoverTimer_, &QTimer::timeout, this, &CControlButton::OnHover);
}

CControlButton::~CControlButton() = default;

QRegion CControlButton::RegionFromPicture(const QImage& picture) {
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    QRegion region;
    std::vector<QRect> runs;
    runs.reserve(100);
    auto flush = [&] {
        if (runs.empty())
            return;
        QRegion batch;
        batch.setRects(runs.data(), int(runs.size()));
        region = region.united(batch);
        runs.clear();
    };
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        int x = 0;
        while (x < image.width()) {
            if ((line[x] & 0xFFFFFFu) == kWhite) {
                ++x;
                continue;
            }
            const int start = x;
            while (x < image.width() && (line[x] & 0xFFFFFFu) != kWhite)
                ++x;
            runs.emplace_back(start, y, x - start, 1);
            if (runs.size() >= kRectsPerBatch)
                flush();
        }
    }
    flush();
    return region;
}

void CControlButton::SetShape(int bitmapId) {
    const QImage picture = LoadBitmapImage(bitmapId);
    if (picture.isNull())
        return;  // keeps its rectangular shape
    SetShape(picture);
}

void CControlButton::SetShape(const QImage& picture) {
    if (picture.isNull())
        return;
    shape_ = RegionFromPicture(picture);
    hasShape_ = true;
    if (shape_.isEmpty()) {
        // Qt reads an empty mask as "no mask"; a mask outside the widget hides it all.
        setMask(QRegion(-1, -1, 1, 1));
    } else {
        setMask(shape_);
    }
    update();
}

void CControlButton::SetBitmaps(int hoverId, int normalId, int pressedId, int fourthId) {
    SetBitmaps(LoadBitmapResource(hoverId), LoadBitmapResource(normalId),
               LoadBitmapResource(pressedId), LoadBitmapResource(fourthId));
}

void CControlButton::SetBitmaps(const QPixmap& hover, const QPixmap& normal, const QPixmap& pressed,
                                const QPixmap& fourth) {
    hover_ = hover;
    normal_ = normal;
    pressed_ = pressed;
    fourth_ = fourth;
    update();
}

QSize CControlButton::sizeHint() const {
    if (!normal_.isNull())
        return normal_.size() / normal_.devicePixelRatio();
    return QSize(23, 23);
}

void CControlButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect area = rect();
    // Only the part of a picture that fits the button is drawn, from its top-left corner.
    auto draw = [&](const QPixmap& picture) {
        if (picture.isNull())
            return;
        painter.drawPixmap(area.topLeft(), picture, area);
    };
    draw(hovering_ ? hover_ : normal_);
    if (isDown()) {
        draw(pressed_);
        // A pressed picture of its own is the pressed look; the same picture as the
        // normal one would show no press at all.
        if (pressed_.isNull() || pressed_.cacheKey() == normal_.cacheKey() ||
            pressed_.cacheKey() == hover_.cacheKey()) {
            DrawPressedLook(painter);
        }
    }
    if (hasFocus())
        DrawFocusMark(painter);
}

// Held down, the picture sinks: its shape darkens and a shadow lines its top and left.
void CControlButton::DrawPressedLook(QPainter& painter) const {
    const QRegion shape = hasShape_ ? shape_ : QRegion(rect());
    painter.save();
    painter.setClipRegion(shape);
    painter.fillRect(rect(), QColor(0, 0, 0, 70));
    painter.setPen(QPen(QColor(0, 0, 0, 120), 2));
    const QRect box = shape.boundingRect();
    painter.drawLine(box.topLeft(), box.topRight());
    painter.drawLine(box.topLeft(), box.bottomLeft());
    painter.restore();
}

// A dotted rectangle, black over white so it shows on any picture, inside the picture's
// outline: inset by a sixth, its corners stay inside a round picture too.
void CControlButton::DrawFocusMark(QPainter& painter) const {
    const QRect box = hasShape_ && !shape_.isEmpty() ? shape_.boundingRect() : rect();
    const int dx = qMax(2, box.width() / 6);
    const int dy = qMax(2, box.height() / 6);
    tolvane::DrawFocusMark(painter, box.adjusted(dx, dy, -dx - 1, -dy - 1));
}

void CControlButton::focusInEvent(QFocusEvent* event) {
    update();
    QAbstractButton::focusInEvent(event);
}

void CControlButton::focusOutEvent(QFocusEvent* event) {
    update();
    QAbstractButton::focusOutEvent(event);
}

bool CControlButton::hitButton(const QPoint& pos) const {
    if (!rect().contains(pos))
        return false;
    return !hasShape_ || shape_.contains(pos);
}

void CControlButton::StartTracking() {
    if (tracking_)
        return;
    tracking_ = true;
    hoverTimer_.start();
}

void CControlButton::OnHover() {
    if (!tracking_)
        return;
    hovering_ = true;
    update();
    emit hoverChanged(true);
}

void CControlButton::mouseMoveEvent(QMouseEvent* event) {
    StartTracking();
    QAbstractButton::mouseMoveEvent(event);
}

void CControlButton::enterEvent(QEnterEvent* event) {
    // Entering is the first move over the button.
    StartTracking();
    QAbstractButton::enterEvent(event);
}

void CControlButton::leaveEvent(QEvent* event) {
    hoverTimer_.stop();
    const bool wasHovering = hovering_;
    hovering_ = false;
    tracking_ = false;
    update();
    if (wasHovering)
        emit hoverChanged(false);
    QAbstractButton::leaveEvent(event);
}

}  // namespace tolvane
