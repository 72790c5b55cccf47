#include "JobProgressText.h"

namespace tolvane {

JobProgressView MakeJobProgressView(const QString& runningName, int progressPercent,
                                    int currentIndex, int displayCount, int completedCount,
                                    const JobProgressTexts& texts) {
    JobProgressView view;
    if (progressPercent >= 0 && currentIndex < displayCount) {
        view.runningFileText = runningName + QStringLiteral("   ") +
                               QString::number(progressPercent) + QStringLiteral("% ") +
                               texts.runningFileWord;
    }
    view.countText = QString::number(completedCount) + QLatin1Char(' ') + texts.finishedWord +
                     QLatin1Char(' ') + QString::number(displayCount) + QLatin1Char(' ') +
                     texts.filesWord;
    // A display count of 0 (no job yet) shows an empty bar rather than dividing by it.
    view.overallPercent = displayCount > 0 ? completedCount * 100 / displayCount : 0;
    if (progressPercent >= 0 && progressPercent <= 100)
        view.runningFilePercent = progressPercent;
    return view;
}

}  // namespace tolvane
