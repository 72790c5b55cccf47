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

void FileWaveform::Load(const std::string& path, std::int64_t lengthUs) {
    Clear();
    reader_ = std::make_unique<PeakWindows>(path);
    span_ = {0, lengthUs, lengthUs > 0 ? kTrackWidth : 0};
}

void FileWaveform::SetView(std::int64_t fromUs, std::int64_t toUs) {
    const PeakSpan span{fromUs, toUs, kTrackWidth};
    if (!reader_ || span == span_)
        return;
    span_ = span;
    finished_ = false;
}

void FileWaveform::Clear() {
    reader_.reset();  // cancels and joins
    shown_.clear();
    span_ = {};
    finished_ = false;
    normal_ = fixedNormal_;
    highlighted_ = fixedHighlighted_;
}

bool FileWaveform::Update() {
    if (!reader_ || finished_)
        return false;
    if (span_.columns == 0) {
        const std::int64_t lengthUs = reader_->LengthUs();
        if (lengthUs > 0)
            span_ = {0, lengthUs, kTrackWidth};
    }
    if (reader_->Failed()) {
        // Nothing to show of the file: the fixed pictures stay.
        finished_ = true;
        const bool changed = !shown_.empty();
        shown_.clear();
        normal_ = fixedNormal_;
        highlighted_ = fixedHighlighted_;
        return changed;
    }
    if (span_.columns == 0)
        return false;
    PeakAnswer answer = reader_->Peaks(span_);
    finished_ = answer.final;
    if (answer.peaks == shown_)
        return false;
    shown_ = std::move(answer.peaks);
    Draw(normal_, fixedNormal_, normalBackground_, false);
    Draw(highlighted_, fixedHighlighted_, highlightedBackground_, true);
    return true;
}

// The file's columns over the band, the fixed picture right of them while they arrive.
void FileWaveform::Draw(QImage& picture, const QImage& fixed, const QImage& background,
                        bool highlighted) const {
    const int to = static_cast<int>(shown_.size());
    picture = fixed;
    const int height = picture.height();
    QPainter painter(&picture);
    painter.drawImage(QRect(0, 0, to, height), background, QRect(0, 0, to, height));
    for (int x = 0; x < to; ++x)
        PaintTrackColumn(painter, highlighted, x, shown_[std::size_t(x)].high,
                         shown_[std::size_t(x)].low);
    painter.setClipRect(QRect(0, 0, to, height));
    PaintTrackZeroLine(painter, highlighted, to);
}

}  // namespace tolvane::ui
