#pragma once
// Position control drawn entirely from pictures: a waveform track in a normal and a
// highlighted colouring, with a play-head thumb drawn through its mask.

#include <QColor>
#include <QPixmap>
#include <QWidget>

#include <vector>

namespace tolvane {

class CBitmapSlider : public QWidget {
    Q_OBJECT
  public:
    explicit CBitmapSlider(int id, QWidget* parent = nullptr);
    ~CBitmapSlider() override;

    int controlId() const { return id_; }

    // Loads ":/bitmaps/<id>.png". The widget takes the normal track's size.
    // False (and no track) when either picture is missing.
    bool SetTrackBitmaps(int normalId, int highlightedId);
    bool SetTrackBitmaps(const QPixmap& normal, const QPixmap& highlighted);
    const QPixmap& NormalTrack() const { return normalTrack_; }
    const QPixmap& HighlightedTrack() const { return highlightedTrack_; }
    // The colour of each thumb picture's top-left pixel is transparent.
    bool SetThumbBitmaps(int normalId, int draggingId);
    bool SetThumbBitmaps(const QPixmap& normal, const QPixmap& dragging);

    void ShowFocusRect(bool show);
    bool IsFocusRectShown() const { return showFocusRect_; }

    void SetRange(int minimum, int maximum);
    int GetRangeMin() const { return minimum_; }
    int GetRangeMax() const { return maximum_; }

    // Clamped into [minimum, maximum]; repaints; emits nothing.
    void SetPos(int position);
    int GetPos() const { return position_; }

    void SetPageSize(int pageSize) { pageSize_ = pageSize; }
    int GetPageSize() const { return pageSize_; }

    void SetMargins(int left, int top, int right, int bottom);
    int GetMarginLeft() const { return marginLeft_; }
    int GetMarginTop() const { return marginTop_; }
    int GetMarginRight() const { return marginRight_; }
    int GetMarginBottom() const { return marginBottom_; }

    // Both clamped into [minimum, maximum]; start may lie after end.
    void SetSelectionStart(int position);
    void SetSelectionEnd(int position);
    int GetSelectionStart() const { return selectionStart_; }
    int GetSelectionEnd() const { return selectionEnd_; }
    // 0: all highlighted, 1: highlighted from the start, 2: between start and end.
    // Anything else becomes 0.
    void SetSelectionMode(int mode);
    int GetSelectionMode() const { return selectionMode_; }

    // The track drawn squeezed (or stretched) to `height` pixels, the widget as high;
    // 0 (the default): the pictures' own height. The thumb is cut at the widget's edge.
    void SetTrackDisplayHeight(int height);
    int GetTrackDisplayHeight() const { return displayHeight_; }

    // Marks drawn over the track as thin upright lines, at positions of the slider's
    // range (e.g. where parts of a file meet); kept as given, drawn when in the range.
    void SetMarks(std::vector<int> positions);
    const std::vector<int>& GetMarks() const { return marks_; }
    void SetMarkColour(const QColor& colour);

    // x of the thumb centre for a position, and back; both truncate.
    int PositionToPixel(int position) const;
    int PixelToPosition(int x) const;

    int GetTrackWidth() const { return trackWidth_; }
    int GetTrackHeight() const { return trackHeight_; }
    int GetThumbWidth() const { return thumbWidth_; }
    int GetThumbHeight() const { return thumbHeight_; }
    bool IsTrackLoaded() const { return trackLoaded_; }
    bool IsThumbLoaded() const { return thumbLoaded_; }
    // The left button went down on the control and has not been released yet.
    bool IsDragging() const { return buttonDown_; }

    QSize sizeHint() const override;

  signals:
    // The thumb moved to another pixel during a drag (or on the press that starts it).
    void sliderTracking(int controlId, int position);
    // Every left-button release and every handled key.
    void sliderSettled(int controlId, int position);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    int Clamped(int value) const;
    void MoveThumbTo(int pointerX);
    void DrawTrack(QPainter& painter) const;
    void DrawMarks(QPainter& painter) const;
    int ShownTrackHeight() const;

    int id_;
    int maximum_ = 100;
    int minimum_ = 0;
    int position_ = 0;
    int pageSize_ = 20;
    int trackWidth_ = 0;
    int trackHeight_ = 0;
    int displayHeight_ = 0;
    int thumbWidth_ = 0;
    int thumbHeight_ = 0;
    int marginLeft_ = 0;
    int marginTop_ = 0;
    int marginRight_ = 0;
    int marginBottom_ = 0;
    int mouseOffset_ = 0;
    int selectionStart_ = 0;
    int selectionEnd_ = 0;
    int selectionMode_ = 0;
    bool trackLoaded_ = false;
    bool thumbLoaded_ = false;
    bool buttonDown_ = false;
    bool focused_ = false;
    bool showFocusRect_ = true;
    QPixmap normalTrack_;
    QPixmap highlightedTrack_;
    QPixmap thumb_;
    QPixmap draggingThumb_;
    std::vector<int> marks_;
    QColor markColour_{255, 214, 0};  // apart from the red thumb
};

}  // namespace tolvane
