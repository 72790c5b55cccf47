#pragma once
// The position slider's track pictures drawn from the loaded file: the fixed pictures
// until the first columns are read, then the file's own columns fill in from the left.

#include "engine/probe/PeakReader.h"

#include <QImage>
#include <QPixmap>

#include <memory>
#include <string>

namespace tolvane::ui {

class FileWaveform {
  public:
    FileWaveform(QPixmap fixedNormal, QPixmap fixedHighlighted);

    // Starts reading `path`; a reading under way is cancelled.
    void Load(const std::string& path);
    // Cancels any reading and goes back to the fixed pictures.
    void Clear();
    // Takes in the columns read since the last call; true when the pictures changed.
    bool Update();
    // True while columns may still arrive.
    bool Reading() const { return reader_ && !finished_; }

    QPixmap Normal() const { return QPixmap::fromImage(normal_); }
    QPixmap Highlighted() const { return QPixmap::fromImage(highlighted_); }

  private:
    void DrawColumns(QImage& picture, const QImage& background, bool highlighted,
                     const std::vector<ColumnPeak>& peaks) const;

    const QImage fixedNormal_;
    const QImage fixedHighlighted_;
    const QImage normalBackground_;
    const QImage highlightedBackground_;
    QImage normal_;
    QImage highlighted_;
    std::unique_ptr<PeakReader> reader_;
    std::size_t drawn_ = 0;  // columns of the file's own in the pictures
    bool finished_ = false;
};

}  // namespace tolvane::ui
