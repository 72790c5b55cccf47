#pragma once
// The texts and bar positions the job timer puts on the progress dialog, worked out
// from what the job record says at one tick.

#include <QString>

#include <optional>

namespace tolvane {

struct JobProgressTexts {
    QString runningFileWord;  // "wjwc": after the running file's percentage
    QString finishedWord;     // "wjwczg": between the finished and the total count
    QString filesWord;        // "wj1": after the total count
};

struct JobProgressView {
    std::optional<QString> runningFileText;  // empty: the text stays as it was
    QString countText;
    int overallPercent = 0;
    std::optional<int> runningFilePercent;  // empty: the bar stays as it was
};

// `progressPercent` and `currentIndex` as the worker left them; `completedCount` the
// inputs already reported finished; `displayCount` the inputs the display counts.
JobProgressView MakeJobProgressView(const QString& runningName, int progressPercent,
                                    int currentIndex, int displayCount, int completedCount,
                                    const JobProgressTexts& texts);

}  // namespace tolvane
