#pragma once
// Push button drawn from pictures and cut to the non-white pixels of its shape picture.

#include <QAbstractButton>
#include <QImage>
#include <QPixmap>
#include <QRegion>
#include <QTimer>

class QPainter;

namespace tolvane {

class CControlButton : public QAbstractButton {
    Q_OBJECT
  public:
    explicit CControlButton(int id, QWidget* parent = nullptr);
    ~CControlButton() override;

    int controlId() const { return id_; }

    // Shape = every pixel of the picture that is not exactly white (255, 255, 255).
    // A missing picture leaves the button rectangular; an all-white one makes it
    // invisible and unclickable.
    void SetShape(int bitmapId);
    void SetShape(const QImage& picture);
    static QRegion RegionFromPicture(const QImage& picture);
    bool HasShape() const { return hasShape_; }
    QRegion GetShape() const { return shape_; }

    // Loads the picture of each id for its state; a missing picture leaves that state
    // undrawn. The fourth picture is kept but never drawn.
    void SetBitmaps(int hoverId, int normalId, int pressedId, int fourthId);
    void SetBitmaps(int bitmapId) { SetBitmaps(bitmapId, bitmapId, bitmapId, bitmapId); }
    void SetBitmaps(const QPixmap& hover, const QPixmap& normal, const QPixmap& pressed,
                    const QPixmap& fourth);

    const QPixmap& HoverBitmap() const { return hover_; }
    const QPixmap& NormalBitmap() const { return normal_; }
    const QPixmap& PressedBitmap() const { return pressed_; }

    bool IsHovering() const { return hovering_; }
    bool IsTracking() const { return tracking_; }

    QSize sizeHint() const override;

  signals:
    void hoverChanged(bool hovering);

  protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    void DrawPressedLook(QPainter& painter) const;
    void DrawFocusMark(QPainter& painter) const;
    void StartTracking();
    void OnHover();

    int id_;
    QPixmap hover_;
    QPixmap normal_;
    QPixmap pressed_;
    QPixmap fourth_;
    QRegion shape_;
    bool hasShape_ = false;
    bool hovering_ = false;
    bool tracking_ = false;
    QTimer hoverTimer_;
};

}  // namespace tolvane
