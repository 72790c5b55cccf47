// Drives the real main window on a real display (Xvfb): a cut and a merge through the
// window's own buttons, with the real progress dialog and message boxes, saving
// screenshots of the screen along the way. Only the file chooser is scripted (it hands
// back the files named on the command line) and the shell only reports what it would
// open.
//
// drive_window PROGRAM_FOLDER OUTPUT_FOLDER SHOTS_FOLDER CUT_FILE MERGE_FILE...
//
// Keys and the mouse go through Qt Test as the user's would: Enter and Delete in the
// edits, times typed and left with Tab and Enter, the slider's keys, Tab round each tab
// (a picture per stop), Space on list rows, a row dragged to another place; the settings
// dialog chosen from and opened again; then a merge that is cancelled and one that fails.

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QTest>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QScreen>
#include <QSet>
#include <QTabBar>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <memory>

#include "CAVConvertDlg.h"
#include "CCheckListCtrl.h"
#include "CSettings.h"
#include "CTolvaneDlg.h"
#include "DialogIds.h"
#include "DesktopShell.h"
#include "UserPrompts.h"
#include "WindowTestSupport.h"

namespace {

using namespace tolvane;

class ReportingShell final : public IDesktopShell {
  public:
    bool Open(const QString& target) override {
        std::printf("shell would open: %s\n", qPrintable(target));
        return true;
    }
};

// Watches the screen while a command runs: photographs the progress dialog while it is
// up and each message box, which it then answers with OK.
class Photographer : public QObject {
  public:
    explicit Photographer(QString folder) : folder_(std::move(folder)) {
        connect(&timer_, &QTimer::timeout, this, [this] { Look(); });
        timer_.start(100);
    }
    // Names for the next job's pictures, e.g. "cut".
    void Expect(const QString& job, int cancelAfterMs = -1) {
        job_ = job;
        progressShots_ = 0;
        cancelAfterMs_ = cancelAfterMs;
    }
    void Shoot(const QString& name) {
        QScreen* screen = QGuiApplication::primaryScreen();
        const QString path = folder_ + QLatin1Char('/') + name + QStringLiteral(".png");
        screen->grabWindow(0).save(path);
        if (!shotNames_.contains(name)) {
            shotNames_.insert(name);
            std::printf("screenshot: %s\n", qPrintable(path));
        }
    }

  private:
    void Look() {
        QWidget* modal = QApplication::activeModalWidget();
        if (qobject_cast<CAVConvertDlg*>(modal) != nullptr) {
            if (!progressSeen_.isValid())
                progressSeen_.start();
            // Overwritten every tick so the last picture is the latest state; the first
            // after a second is kept too.
            if (progressSeen_.elapsed() >= 300) {
                Shoot(job_ + QStringLiteral("-progress"));
                if (progressShots_++ == 5)
                    Shoot(job_ + QStringLiteral("-progress-early"));
            }
            if (cancelAfterMs_ >= 0 && progressSeen_.elapsed() >= cancelAfterMs_) {
                cancelAfterMs_ = -1;
                auto* dialog = static_cast<CAVConvertDlg*>(modal);
                QTest::mouseClick(
                    static_cast<QWidget*>(dialog->GetDlgItem(ProgressDialogId::Cancel)),
                    Qt::LeftButton);
            }
            return;
        }
        progressSeen_.invalidate();
        if (auto* settings = qobject_cast<CSettings*>(modal)) {
            if (!boxSeen_.isValid()) {
                boxSeen_.start();
            } else if (boxSeen_.elapsed() >= 400) {
                ++settingsShown_;
                if (onSettings)
                    onSettings(*settings, settingsShown_);
                QApplication::processEvents();
                Shoot(settingsShown_ == 1 ? QStringLiteral("settings")
                                          : QStringLiteral("settings-reopened"));
                boxSeen_.invalidate();
                static_cast<QAbstractButton*>(settings->GetDlgItem(SettingsDialogId::Ok))->click();
            }
            return;
        }
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            if (!boxSeen_.isValid()) {
                boxSeen_.start();
                return;
            }
            if (boxSeen_.elapsed() < 400)
                return;  // painted first
            Shoot(job_ + QStringLiteral("-result"));
            std::printf("%s message: %s\n", qPrintable(job_), qPrintable(box->text()));
            boxSeen_.invalidate();
            box->accept();
        }
    }

    QString folder_;

  public:
    // Runs on each showing of the settings dialog before its picture; its number from 1.
    std::function<void(CSettings&, int)> onSettings;

  private:
    int settingsShown_ = 0;
    QString job_;
    QTimer timer_;
    QElapsedTimer progressSeen_;
    QElapsedTimer boxSeen_;
    int progressShots_ = 0;
    int cancelAfterMs_ = -1;
    QSet<QString> shotNames_;
};

// The id of the window's control that holds the focus.
int FocusedControl(CTolvaneDlg& window) {
    QWidget* widget = QApplication::focusWidget();
    while (widget && widget->parentWidget() != &window)
        widget = widget->parentWidget();
    return widget ? widget->objectName().toInt() : 0;
}

// Tab round the shown controls, a picture per stop, until the focus is back where it
// started.
void TabRound(CTolvaneDlg& window, Photographer& camera, const QString& name) {
    // A message box closed last leaves no window active where no window manager runs.
    window.activateWindow();
    if (!QTest::qWaitForWindowActive(&window))
        std::printf("the window did not become active\n");
    window.Item<QTabBar>(ControlId::Tabs)->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    const int first = FocusedControl(window);
    std::printf("%s: Tab stops:", qPrintable(name));
    for (int stop = 1; stop <= 30; ++stop) {
        QWidget* focused = QApplication::focusWidget();
        QTest::keyClick(focused ? focused : &window, Qt::Key_Tab);
        QApplication::processEvents();
        const int id = FocusedControl(window);
        std::printf(" %d", id);
        camera.Shoot(
            QStringLiteral("%1-%2-%3").arg(name).arg(stop, 2, 10, QLatin1Char('0')).arg(id));
        if (id == first)
            break;
    }
    std::printf("\n");
}

void PrintRows(CCheckListCtrl& list, const char* when) {
    std::printf("rows %s:", when);
    for (int row = 0; row < list.GetRowCount(); ++row) {
        const QString path = list.GetItemText(row, 0);
        std::printf(" [%s %s %s]", qPrintable(path.mid(path.lastIndexOf(QLatin1Char('/')) + 1)),
                    list.GetCheck(row) ? "checked" : "unchecked",
                    qPrintable(list.GetItemText(row, 4)));
    }
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QApplication application(argc, argv);
    const QStringList args = application.arguments();
    if (args.size() < 7) {
        std::fprintf(stderr,
                     "usage: drive_window PROGRAM_FOLDER OUTPUT_FOLDER SHOTS_FOLDER CUT_FILE "
                     "MERGE_FILE MERGE_FILE...\n");
        return 2;
    }
    const QString outputFolder = args[2];
    const QString shots = args[3];
    const QString cutFile = args[4];
    const QStringList mergeFiles = args.mid(5);

    tolvane::testing::ScriptedFileChooser chooser;
    ReportingShell shell;
    WindowServices services;
    services.programFolder = args[1].toStdString();
    services.refreshLanguageFile = [](const std::string&) {};
    services.fileChooser = &chooser;
    services.shell = &shell;
    CTolvaneDlg window(std::move(services));
    window.move(40, 40);
    window.show();
    Photographer camera(shots);

    const auto click = [&window](int id) {
        window.Item<QAbstractButton>(id)->click();
        QApplication::processEvents();
    };
    QTimer::singleShot(800, &window, [&] {
        window.Item<QComboBox>(ControlId::OutputFolderBox)->setEditText(outputFolder);
        chooser.answer = {cutFile};
        click(ControlId::Add);
        click(ControlId::Stop);
        window.Item<QLineEdit>(ControlId::StartEdit)->setText(QStringLiteral("00:00:01.000"));
        window.Item<QLineEdit>(ControlId::EndEdit)->setText(QStringLiteral("00:00:03.000"));
        camera.Shoot(QStringLiteral("cut-window"));
        camera.Expect(QStringLiteral("cut"));
        click(ControlId::Convert);  // returns when the job is reported
        std::printf("cut output: %s\n", qPrintable(window.outputPath()));

        // Times typed leniently, written back as read when the edit is left (Tab) or
        // Enter is pressed; the slider marks the typed range.
        window.activateWindow();
        if (!QTest::qWaitForWindowActive(&window))
            std::printf("the window did not become active\n");
        auto* typedStart = window.Item<QLineEdit>(ControlId::StartEdit);
        typedStart->setFocus(Qt::MouseFocusReason);
        typedStart->selectAll();
        QTest::keyClicks(typedStart, QStringLiteral("2"));
        QTest::keyClick(typedStart, Qt::Key_Tab);
        auto* typedEnd = window.Item<QLineEdit>(ControlId::EndEdit);
        typedEnd->setFocus(Qt::MouseFocusReason);
        typedEnd->selectAll();
        QTest::keyClicks(typedEnd, QStringLiteral("00:00:04.5"));
        QTest::keyClick(typedEnd, Qt::Key_Return);
        QApplication::processEvents();
        camera.Shoot(QStringLiteral("slider-typed-times"));
        std::printf("typed \"2\" and \"00:00:04.5\": start %s, end %s\n",
                    qPrintable(typedStart->text()), qPrintable(typedEnd->text()));

        // Playing, the focused slider shows the focus mark and its keys move the play
        // position: Home, then Right twice.
        click(ControlId::Play);
        auto* slider = window.GetDlgItem(ControlId::PositionSlider);
        slider->setFocus(Qt::TabFocusReason);
        QTest::keyClick(slider, Qt::Key_Home);
        QTest::keyClick(slider, Qt::Key_Right);
        QTest::keyClick(slider, Qt::Key_Right);
        QApplication::processEvents();
        camera.Shoot(QStringLiteral("slider-focus"));
        std::printf("slider keys: position %s\n",
                    qPrintable(window.Item<QLabel>(ControlId::PlayPosition)->text()));
        click(ControlId::Stop);

        window.Item<QTabBar>(ControlId::Tabs)->setCurrentIndex(1);
        chooser.answer = mergeFiles;
        click(ControlId::Add);
        // The settings dialog: 22050 Hz with 320 kbps chosen moves to 160 kbps with a
        // note; opened again, it shows what is in force.
        camera.onSettings = [](CSettings& dialog, int showing) {
            if (showing != 1)
                return;
            dialog.List(SettingsDialogId::BitRate)->setCurrentText(QStringLiteral("320 kbps"));
            dialog.List(SettingsDialogId::SampleRate)->setCurrentText(QStringLiteral("22050 Hz"));
            dialog.List(SettingsDialogId::Channels)
                ->setCurrentText(QStringLiteral("1 Channel Mono"));
        };
        click(ControlId::Setting);  // shown, chosen from, photographed and confirmed with OK
        click(ControlId::Setting);  // shown again, photographed and confirmed with OK
        std::printf("settings in force: %d bit/s, %d Hz, %d channels\n",
                    window.outputProfile().bitRate, window.outputProfile().sampleRate,
                    window.outputProfile().channels);
        camera.Shoot(QStringLiteral("merge-window"));
        camera.Expect(QStringLiteral("merge"));
        click(ControlId::Merge);
        std::printf("merge output: %s\n", qPrintable(window.outputPath()));
        QApplication::processEvents();
        camera.Shoot(QStringLiteral("merge-window-after"));
        auto* list = window.Item<CCheckListCtrl>(ControlId::FileList);
        PrintRows(*list, "after the merge");

        // The keys go to the active window, as the user's do.
        window.activateWindow();
        if (!QTest::qWaitForWindowActive(&window))
            std::printf("the window did not become active\n");

        // Tab round the merge tab from the tab bar.
        TabRound(window, camera, QStringLiteral("tab-merge"));

        // Delete in the output folder's edit while a row is selected: a character goes,
        // the rows stay. The cursor goes before an "x" typed at the end, so the path
        // comes back whole.
        list->SelectAndFocusRow(0);
        QLineEdit* folderEdit = window.Item<QComboBox>(ControlId::OutputFolderBox)->lineEdit();
        folderEdit->setFocus(Qt::MouseFocusReason);
        QTest::keyClick(folderEdit, Qt::Key_End);
        QTest::keyClicks(folderEdit, QStringLiteral("x"));
        QTest::keyClick(folderEdit, Qt::Key_Left);
        camera.Shoot(QStringLiteral("delete-in-folder-edit-before"));
        QTest::keyClick(folderEdit, Qt::Key_Delete);
        camera.Shoot(QStringLiteral("delete-in-folder-edit-after"));
        std::printf("Delete in the folder edit: %d rows, edit \"%s\"\n", list->GetRowCount(),
                    qPrintable(folderEdit->text()));

        // Space on each row, from whatever cell is current, checks it again.
        list->setFocus(Qt::TabFocusReason);
        for (int row = 0; row < list->GetRowCount(); ++row) {
            list->setCurrentCell(row, 2);
            QTest::keyClick(list, Qt::Key_Space);
        }
        PrintRows(*list, "after Space on each");

        // Drag the last row to the top.
        QWidget* area = list->viewport();
        const int last = list->GetRowCount() - 1;
        const QPoint from = list->visualRect(list->model()->index(last, 1)).center();
        const QRect top = list->visualRect(list->model()->index(0, 1));
        const QPoint to(top.center().x(), top.top() + 2);
        QTest::mousePress(area, Qt::LeftButton, Qt::NoModifier, from);
        QTest::mouseMove(area, from - QPoint(0, 8));
        QTest::mouseMove(area, to);
        QApplication::processEvents();
        camera.Shoot(QStringLiteral("reorder-dragging"));
        QTest::mouseRelease(area, Qt::LeftButton, Qt::NoModifier, to);
        QApplication::processEvents();
        camera.Shoot(QStringLiteral("reorder-dropped"));
        PrintRows(*list, "after the drag");
        // And the new first row one place down again by Ctrl+Down.
        QTest::keyClick(list, Qt::Key_Down, Qt::ControlModifier);
        QApplication::processEvents();
        camera.Shoot(QStringLiteral("reorder-ctrl-down"));
        PrintRows(*list, "after Ctrl+Down");

        // A merge cancelled after a second and a half.
        camera.Expect(QStringLiteral("merge-cancel"), 1500);
        click(ControlId::Merge);
        PrintRows(*list, "after the cancelled merge");
        camera.Shoot(QStringLiteral("merge-cancel-window-after"));

        // A merge whose second input is gone when it runs: no row is marked done.
        click(ControlId::DeleteAll);
        const QString doomed = outputFolder + QStringLiteral("/../gone-before-the-merge.wav");
        QFile::remove(doomed);
        QFile::copy(mergeFiles.back(), doomed);
        chooser.answer = {mergeFiles.front(), doomed, mergeFiles.back()};
        click(ControlId::Add);
        QFile::remove(doomed);
        camera.Expect(QStringLiteral("merge-fail"));
        click(ControlId::Merge);
        PrintRows(*list, "after the failed merge");
        camera.Shoot(QStringLiteral("merge-fail-window-after"));

        // Back on the cut tab: Enter in the end edit takes the typed time and the window
        // stays; Delete in the start edit deletes a character while a merge row is
        // selected out of sight.
        window.Item<QTabBar>(ControlId::Tabs)->setCurrentIndex(0);
        list->SelectAndFocusRow(0);
        window.activateWindow();
        if (!QTest::qWaitForWindowActive(&window))
            std::printf("the window did not become active\n");
        auto* endEdit = window.Item<QLineEdit>(ControlId::EndEdit);
        endEdit->setFocus(Qt::MouseFocusReason);
        endEdit->selectAll();
        QTest::keyClicks(endEdit, QStringLiteral("00:00:04.500"));
        QTest::keyClick(endEdit, Qt::Key_Return);
        QApplication::processEvents();
        camera.Shoot(QStringLiteral("enter-in-end-edit"));
        std::printf("Enter in the end edit: window %s, length %s\n",
                    window.isVisible() ? "open" : "closed",
                    qPrintable(window.Item<QLabel>(ControlId::SelectionLength)->text()));
        auto* startEdit = window.Item<QLineEdit>(ControlId::StartEdit);
        startEdit->setFocus(Qt::MouseFocusReason);
        startEdit->setCursorPosition(0);
        QTest::keyClick(startEdit, Qt::Key_Delete);
        QApplication::processEvents();
        camera.Shoot(QStringLiteral("delete-in-start-edit"));
        std::printf("Delete in the start edit: \"%s\", %d merge rows\n",
                    qPrintable(startEdit->text()), list->GetRowCount());

        // Tab round the cut tab from the tab bar.
        TabRound(window, camera, QStringLiteral("tab-cut"));
        window.close();
        application.quit();
    });
    return application.exec();
}
