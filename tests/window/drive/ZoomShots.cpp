// Shows the real main window on a real display (Xvfb) with a file's waveform, marks a
// stretch and saves a picture of the window at three zoom levels, zoomed by the wheel
// over the slider as a user would; the last with the start handle dragged by the mouse.
//
// drive_zoom PROGRAM_FOLDER SHOTS_FOLDER FILE

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

#include <cstdio>

#include "CBitmapSlider.h"
#include "CTolvaneDlg.h"
#include "UserPrompts.h"
#include "WindowTestSupport.h"

namespace {

using namespace tolvane;

void Wheel(QWidget* widget, int x, int notches) {
    const QPointF at(x, 60);
    QWheelEvent wheel(at, widget->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &wheel);
}

void Shoot(CTolvaneDlg& window, const QString& folder, const QString& name) {
    QTest::qWait(400);  // the zoomed columns arrive
    window.grab().save(QDir(folder).filePath(name + QStringLiteral(".png")));
    auto* slider = window.Item<CBitmapSlider>(ControlId::PositionSlider);
    std::printf("%s: view %.3f-%.3f s\n", qPrintable(name), slider->View().FromUs() / 1e6,
                slider->View().ToUs() / 1e6);
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QApplication application(argc, argv);
    const QStringList args = application.arguments();
    if (args.size() != 4) {
        std::fprintf(stderr, "usage: drive_zoom PROGRAM_FOLDER SHOTS_FOLDER FILE\n");
        return 2;
    }
    const QString shots = args[2];
    tolvane::testing::ScriptedFileChooser chooser;
    WindowServices services;
    services.programFolder = args[1].toStdString();
    services.refreshLanguageFile = [](const std::string&) {};
    services.fileChooser = &chooser;
    CTolvaneDlg window(std::move(services));
    window.move(40, 40);
    window.show();
    QTimer::singleShot(800, &window, [&] {
        chooser.answer = {args[3]};
        window.Item<QAbstractButton>(ControlId::Add)->click();
        window.Item<QAbstractButton>(ControlId::Stop)->click();
        window.Item<QLineEdit>(ControlId::StartEdit)->setText(QStringLiteral("00:00:04.550"));
        window.Item<QLineEdit>(ControlId::EndEdit)->setText(QStringLiteral("00:00:07.350"));
        auto* slider = window.Item<CBitmapSlider>(ControlId::PositionSlider);
        QTest::qWait(1500);  // the overview is read
        Shoot(window, shots, QStringLiteral("zoom-1-whole"));
        const int start = slider->HandlePixel(CBitmapSlider::kStartMark);
        Wheel(slider, start, 8);
        Shoot(window, shots, QStringLiteral("zoom-2-seconds"));
        Wheel(slider, slider->HandlePixel(CBitmapSlider::kStartMark), 24);
        const int handle = slider->HandlePixel(CBitmapSlider::kStartMark);
        QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(handle, 8));
        QTest::mouseMove(slider, QPoint(handle + 40, 40));
        QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(handle + 80, 40));
        std::printf("start after the drag: %s\n",
                    qPrintable(window.Item<QLineEdit>(ControlId::StartEdit)->text()));
        Shoot(window, shots, QStringLiteral("zoom-3-samples"));
        window.close();
    });
    return application.exec();
}
