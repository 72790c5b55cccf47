#include "FileWaveform.h"

#include "WaveformTrack.h"

#include <QPainter>

namespace tolvane::ui {

FileWaveform::FileWaveform(QPixmap fixedNormal, QPixmap fixedHighlighted)
    : fixedNormal_(fixedNormal.toImage().convertToFormat(QImage::Format_RGB32)),
      fixedHighlighted_(fixedHighlighted.toImage().convertToFormat(QImage::Format_RGB32)),
      normalBackground_(TrackBackground(false)),
      highlightedBackground_(TrackBackground(true)),
      normal_(fixedNormal_),
      highlighted_(fixedHighlighted_) {}

void FileWaveform::Load(const std::string& path) {
    Clear();
    reader_ = std::make_unique<PeakReader>(path, kTrackWidth);
}

void FileWaveform::Clear() {
    reader_.reset();  // cancels and joins
    drawn_ = 0;
    finished_ = false;
    normal_ = fixedNormal_;
    highlighted_ = fixedHighlighted_;
}

bool FileWaveform::Update() {
    if (!reader_ || finished_)
        return false;
    const bool done = reader_->Done();  // before the peaks: none can come after it
    const std::vector<ColumnPeak> peaks = reader_->Peaks();
    if (done) {
        finished_ = true;
        if (reader_->Failed()) {
            // Nothing to show of the file: the fixed pictures stay.
            const bool changed = drawn_ > 0;
            normal_ = fixedNormal_;
            highlighted_ = fixedHighlighted_;
            drawn_ = 0;
            return changed;
        }
    }
    if (peaks.size() <= drawn_)
        return false;
    DrawColumns(normal_, normalBackground_, false, peaks);
    DrawColumns(highlighted_, highlightedBackground_, true, peaks);
    drawn_ = peaks.size();
    return true;
}

void FileWaveform::DrawColumns(QImage& picture, const QImage& background, bool highlighted,
                               const std::vector<ColumnPeak>& peaks) const {
    // Only the new columns are drawn, over the band they replace.
    const int from = static_cast<int>(drawn_);
    const int to = static_cast<int>(peaks.size());
    const int height = picture.height();
    QPainter painter(&picture);
    painter.drawImage(QRect(from, 0, to - from, height), background,
                      QRect(from, 0, to - from, height));
    for (int x = from; x < to; ++x)
        PaintTrackColumn(painter, highlighted, x, peaks[std::size_t(x)].high,
                         peaks[std::size_t(x)].low);
    painter.setClipRect(QRect(from, 0, to - from, height));
    PaintTrackZeroLine(painter, highlighted, to);
}

}  // namespace tolvane::ui
