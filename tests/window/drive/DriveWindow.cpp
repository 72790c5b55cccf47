// Drives the real main window on a real display (Xvfb): a cut and a merge through the
// window's own buttons, with the real progress dialog and message boxes, saving
// screenshots of the screen along the way. Only the file chooser is scripted (it hands
// back the files named on the command line) and the shell only reports what it would
// open.
//
// drive_window PROGRAM_FOLDER OUTPUT_FOLDER SHOTS_FOLDER CUT_FILE MERGE_FILE...

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QScreen>
#include <QSet>
#include <QTabBar>
#include <QTimer>

#include <cstdio>
#include <memory>

#include "CAVConvertDlg.h"
#include "CSettings.h"
#include "CTolvaneDlg.h"
#include "DialogIds.h"
#include "DesktopShell.h"
#include "UserPrompts.h"

namespace {

using namespace tolvane;

class ScriptedChooser final : public IFileChooser {
  public:
    QStringList ChooseFiles(const QString&) override { return next; }
    QStringList next;
};

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
    void Expect(const QString& job) {
        job_ = job;
        progressShots_ = 0;
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
            return;
        }
        progressSeen_.invalidate();
        if (auto* settings = qobject_cast<CSettings*>(modal)) {
            if (!boxSeen_.isValid()) {
                boxSeen_.start();
            } else if (boxSeen_.elapsed() >= 400) {
                Shoot(QStringLiteral("settings"));
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
    QString job_;
    QTimer timer_;
    QElapsedTimer progressSeen_;
    QElapsedTimer boxSeen_;
    int progressShots_ = 0;
    QSet<QString> shotNames_;
};

}  // namespace

int main(int argc, char** argv) {
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

    ScriptedChooser chooser;
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
        chooser.next = {cutFile};
        click(ControlId::Add);
        click(ControlId::Stop);
        window.Item<QLineEdit>(ControlId::StartEdit)->setText(QStringLiteral("00:00:01.000"));
        window.Item<QLineEdit>(ControlId::EndEdit)->setText(QStringLiteral("00:00:03.000"));
        camera.Shoot(QStringLiteral("cut-window"));
        camera.Expect(QStringLiteral("cut"));
        click(ControlId::Convert);  // returns when the job is reported
        std::printf("cut output: %s\n", qPrintable(window.outputPath()));

        window.Item<QTabBar>(ControlId::Tabs)->setCurrentIndex(1);
        chooser.next = mergeFiles;
        click(ControlId::Add);
        click(ControlId::Setting);  // shown, photographed and confirmed with OK
        camera.Shoot(QStringLiteral("merge-window"));
        camera.Expect(QStringLiteral("merge"));
        click(ControlId::Merge);
        std::printf("merge output: %s\n", qPrintable(window.outputPath()));
        QApplication::processEvents();
        camera.Shoot(QStringLiteral("merge-window-after"));
        window.close();
        application.quit();
    });
    return application.exec();
}
