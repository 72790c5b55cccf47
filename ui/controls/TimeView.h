#pragma once
// The stretch of a file's time the position slider shows, and where its pixels lie in
// it: the whole file, or a zoomed-in part of it down to about one sample per pixel.
// Pixel x stands for the time at its left edge: x = origin + (t - from) / span * travel.

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace tolvane {

class TimeView {
  public:
    // A file of `lengthUs` on a track whose times run over `travel` pixels from `origin`;
    // `narrowestUs` is the narrowest view (0: one microsecond per pixel). Shows it whole.
    void Reset(std::int64_t lengthUs, double origin, double travel, std::int64_t narrowestUs) {
        lengthUs_ = std::max<std::int64_t>(lengthUs, 0);
        origin_ = origin;
        travel_ = std::max(travel, 1.0);
        narrowestUs_ =
            std::clamp<double>(double(narrowestUs), travel_, std::max(1.0, double(lengthUs_)));
        Fit();
    }

    bool HasFile() const { return lengthUs_ > 0; }
    std::int64_t LengthUs() const { return lengthUs_; }
    double FromUs() const { return fromUs_; }
    double ToUs() const { return fromUs_ + spanUs_; }
    double SpanUs() const { return spanUs_; }
    double NarrowestUs() const { return narrowestUs_; }
    bool Zoomed() const { return HasFile() && spanUs_ < double(lengthUs_); }

    double TimeToPixel(double us) const { return origin_ + (us - fromUs_) / spanUs_ * travel_; }
    double PixelToTime(double x) const { return fromUs_ + (x - origin_) / travel_ * spanUs_; }

    void Fit() {
        fromUs_ = 0;
        spanUs_ = std::max(1.0, double(lengthUs_));
    }
    // Narrows (factor < 1) or widens the view so that the time at pixel x stays there.
    void ZoomAround(double x, double factor) {
        if (!HasFile())
            return;
        const double pinned = PixelToTime(x);
        spanUs_ = std::clamp(spanUs_ * factor, narrowestUs_, double(lengthUs_));
        PanTo(pinned - (x - origin_) / travel_ * spanUs_);
    }
    // Shows [fromUs, fromUs + span), kept inside the file.
    void PanTo(double fromUs) { fromUs_ = std::clamp(fromUs, 0.0, double(lengthUs_) - spanUs_); }
    // Sets the view's stretch outright (e.g. restored), kept inside the file and limits.
    void Show(double fromUs, double toUs) {
        spanUs_ = std::clamp(toUs - fromUs, narrowestUs_, std::max(1.0, double(lengthUs_)));
        PanTo(fromUs);
    }
    // A play head that left the view turns the page: it shows again near the left edge.
    // True when the view moved.
    bool Follow(double us) {
        if (!Zoomed() || (us >= fromUs_ && us < fromUs_ + spanUs_))
            return false;
        PanTo(us - spanUs_ / 10);
        return true;
    }

  private:
    std::int64_t lengthUs_ = 0;
    double origin_ = 0;
    double travel_ = 1;
    double narrowestUs_ = 1;
    double fromUs_ = 0;
    double spanUs_ = 1;
};

}  // namespace tolvane
