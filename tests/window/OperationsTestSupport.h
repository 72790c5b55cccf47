#pragma once
// Shared pieces of the window-operation tests: a window with fakes on a standard program
// folder, media fixtures, and the user's actions (Add, drop, clicks) as one-liners.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QTest>
#include <QUrl>

#include <string>
#include <vector>

#include "CBitmapSlider.h"
#include "CCheckListCtrl.h"
#include "WindowTestSupport.h"

namespace tolvane::testing {

namespace Id = ControlId;

inline const QString kZero = QStringLiteral("00:00:00.000");

inline QString Q(const fs::path& path) {
    return QString::fromStdString(path.string());
}

inline QString LabelText(CTolvaneDlg& window, int id) {
    return window.Item<QLabel>(id)->text();
}

inline QString EditText(CTolvaneDlg& window, int id) {
    return window.Item<QLineEdit>(id)->text();
}

inline void Click(CTolvaneDlg& window, int id) {
    window.Item<QAbstractButton>(id)->click();
}

inline void AddFiles(WindowUnderTest& window, const QStringList& paths) {
    window.fileChooser.answer = paths;
    Click(*window, Id::Add);
}

// Drops file URLs on the window as the desktop would.
inline void DropFiles(CTolvaneDlg& window, const QStringList& paths) {
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls << QUrl::fromLocalFile(path);
    data.setUrls(urls);
    const QPoint spot(20, 20);
    QDragEnterEvent enter(spot, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &enter);
    QDropEvent drop(QPointF(spot), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &drop);
}

// The player's commands since the window started (Initialize left out).
inline std::vector<std::string> CommandsAfterStart(const RecordingPlayerModule& player) {
    std::vector<std::string> commands = player.Commands();
    if (!commands.empty() && commands.front().rfind("Initialize", 0) == 0)
        commands.erase(commands.begin());
    return commands;
}

// Waits until the position timer has ticked `ticks` more times (false on time-out).
inline bool WaitForTicks(RecordingPlayerModule& player, int ticks) {
    const int before = player.Count("GetPos");
    for (int i = 0; i < 300; ++i) {
        if (player.Count("GetPos") >= before + ticks)
            return true;
        QTest::qWait(10);
    }
    return false;
}

class WindowOperations : public ::testing::Test {
  protected:
    WindowOperations() { WriteStandardProgramFolder(folder); }

    // A mono 8 kHz WAV: its probed length is exact to the millisecond.
    fs::path Wav(const std::string& name, double seconds) {
        return MakeTone(media.path(), name, seconds, 8000, 1);
    }

    ProgramFolderFixture folder;
    TempDir media;
    Fixtures fixtures{media.path()};
};

}  // namespace tolvane::testing
