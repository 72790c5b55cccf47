#pragma once
// The position slider's track pictures drawn from the loaded file: the fixed pictures
// until the first columns are read, then the file's own columns fill in from the left.
// The pictures show a view of the file (the whole of it, or a zoomed-in stretch), whose
// columns come from the peak windows' reader without waiting for it.

#include "engine/probe/PeakWindows.h"

#include <QImage>
#include <QPixmap>

#include <memory>
#include <string>

namespace tolvane::ui {

class FileWaveform {
  public:
    FileWaveform(QPixmap fixedNormal, QPixmap fixedHighlighted);

    // Starts reading `path`, `lengthUs` long, shown whole; a reading under way is
    // cancelled. A length of 0 is taken from the file once it is known.
    void Load(const std::string& path, std::int64_t lengthUs = 0);
    // The stretch of the file the pictures show from the next Update() on.
    void SetView(std::int64_t fromUs, std::int64_t toUs);
    // Cancels any reading and goes back to the fixed pictures.
    void Clear();
    // Takes in the columns read since the last call; true when the pictures changed.
    bool Update();
    // True while columns may still arrive for the view.
    bool Reading() const { return reader_ && !finished_; }
    // The view's columns shown now are final (the overview's or the decoded ones).
    bool ShowsFinalColumns() const { return finished_ && reader_ != nullptr; }

    QPixmap Normal() const { return QPixmap::fromImage(normal_); }
    QPixmap Highlighted() const { return QPixmap::fromImage(highlighted_); }

  private:
    void Draw(QImage& picture, const QImage& fixed, const QImage& background,
              bool highlighted) const;

    const QImage fixedNormal_;
    const QImage fixedHighlighted_;
    const QImage normalBackground_;
    const QImage highlightedBackground_;
    QImage normal_;
    QImage highlighted_;
    std::unique_ptr<PeakWindows> reader_;
    PeakSpan span_;                  // columns 0: the whole file, once its length is known
    std::vector<ColumnPeak> shown_;  // the file's own columns in the pictures, from the left
    bool finished_ = false;
};

}  // namespace tolvane::ui
