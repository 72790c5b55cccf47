#pragma once
// Position control drawn entirely from pictures: a waveform track in a normal and a
// highlighted colouring, with a play-head thumb drawn through its mask.

#include <QColor>
#include <QPixmap>
#include <QWidget>

#include <cstdint>
#include <vector>

#include "TimeView.h"

namespace tolvane {

class CBitmapSlider : public QWidget {
    Q_OBJECT
  public:
    explicit CBitmapSlider(int id, QWidget* parent = nullptr);
    ~CBitmapSlider() override;

    int controlId() const { return id_; }

    // Loads the pictures of those ids. The widget takes the normal track's size.
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

    // The file behind the track, for a track that shows the file's own waveform: the
    // wheel zooms around the pointer, the view can be panned, and the marked stretch's
    // two ends become handles to drag. A length of 0 turns all that off. The range,
    // position and selection keep their meaning; zoomed in, the thumb and the
    // highlighted stretch are drawn by time instead.
    void SetTimeline(std::int64_t lengthUs, std::int64_t narrowestUs);
    bool HasTimeline() const { return view_.HasFile(); }
    const TimeView& View() const { return view_; }
    // Zooms by `factor` (below 1: in) around track pixel x; emits viewChanged.
    void ZoomAt(double x, double factor);
    // Around the play head when it is in view, else around the view's middle.
    void ZoomIn();
    void ZoomOut();
    void ZoomToFit();
    void ShowView(double fromUs, double toUs);
    void PanTo(double fromUs);
    // The two ends of the marked stretch, in the file's time (the handles).
    void SetMarkedTimes(std::int64_t startUs, std::int64_t endUs);
    std::int64_t MarkedStartUs() const { return markUs_[0]; }
    std::int64_t MarkedEndUs() const { return markUs_[1]; }
    // The play position in the file's time; zoomed in, the thumb stands there. With
    // `follow`, a play head that leaves the view turns its page (one already outside,
    // where the user panned away from it, is left alone).
    void SetPlayTime(std::int64_t us, bool follow = false);
    // The time a press or drag of the thumb pointed at while zoomed in.
    std::int64_t TrackedTimeUs() const { return trackedUs_; }
    // The handle under track pixel x (0 start, 1 end), -1 for none.
    int HandleAt(int x) const;
    int HandlePixel(int end) const;

    static constexpr int kStartMark = 0;
    static constexpr int kEndMark = 1;
    static constexpr double kWheelStep = 0.8;  // view width per wheel notch inwards

  signals:
    // The view of a zoomable track changed (zoom or pan).
    void viewChanged(double fromUs, double toUs);
    // A handle is dragged to `us` (end: kStartMark or kEndMark), and let go there.
    void markDragged(int end, qint64 us);
    void markDropped(int end, qint64 us);

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
    void wheelEvent(QWheelEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    int Clamped(int value) const;
    void MoveThumbTo(int pointerX);
    void DrawTrack(QPainter& painter) const;
    void DrawMarks(QPainter& painter) const;
    void DrawZoomedTrack(QPainter& painter) const;
    void DrawHandles(QPainter& painter) const;
    int ThumbPixel() const;
    void SeekToPixel(int x);
    std::int64_t TimeAtPixel(int x) const;
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
    TimeView view_;
    std::int64_t markUs_[2] = {0, 0};
    std::int64_t playUs_ = 0;
    std::int64_t trackedUs_ = 0;
    int draggedMark_ = -1;  // the handle being dragged, -1 for none
};

}  // namespace tolvane
