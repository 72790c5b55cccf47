#pragma once
// Receives the slider's reports through a queued connection, the way the window does.

#include <QObject>
#include <utility>
#include <vector>

#include "CBitmapSlider.h"

namespace tolvane::test {

class SignalRecorder : public QObject {
  public:
    explicit SignalRecorder(CBitmapSlider& slider) {
        connect(
            &slider, &CBitmapSlider::sliderTracking, this,
            [this](int id, int position) { tracking.emplace_back(id, position); },
            Qt::QueuedConnection);
        connect(
            &slider, &CBitmapSlider::sliderSettled, this,
            [this](int id, int position) { settled.emplace_back(id, position); },
            Qt::QueuedConnection);
    }

    std::vector<std::pair<int, int>> tracking;
    std::vector<std::pair<int, int>> settled;
};

}  // namespace tolvane::test
