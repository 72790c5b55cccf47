#include "StartWarmUp.h"

#include <QDBusConnection>
#include <QGuiApplication>

#include <fontconfig/fontconfig.h>

#include <clocale>

namespace tolvane {

void StartWarmUp::BeforeApplication() {
    // QApplication sets the user's locale as it starts; set here first, so the
    // configuration parser (which reads numbers by the locale's decimal point) never
    // sees the locale change under it.
    std::setlocale(LC_ALL, "");
    // FcInit publishes its configuration atomically; Qt's own FcInit then takes it.
    fonts_ = std::thread([] { FcInit(); });
}

void StartWarmUp::AfterApplication() {
    // Only where Qt's accessibility bridge would connect to the bus anyway: elsewhere
    // (offscreen) the connection would be work of our own, and the window would wait
    // for it when the thread is joined.
    const QString platform = QGuiApplication::platformName();
    if (platform != QStringLiteral("xcb") && !platform.startsWith(QStringLiteral("wayland")))
        return;
    // Qt's bus connections are shared per process and may be opened from any thread.
    sessionBus_ = std::thread([] { QDBusConnection::sessionBus(); });
}

void StartWarmUp::Join() {
    for (std::thread* worker : {&fonts_, &sessionBus_}) {
        if (worker->joinable())
            worker->join();
    }
}

}  // namespace tolvane
