#include "SingleInstance.h"

#include <QDataStream>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

#include <unistd.h>

namespace tolvane {

namespace {
constexpr int kConnectMs = 2000;
constexpr int kTransferMs = 5000;
}  // namespace

QString SingleInstanceSocketPath() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.startsWith(QLatin1Char('/')) && QDir(runtime).exists())
        return runtime + QStringLiteral("/tolvane.socket");
    return QDir::tempPath() + QStringLiteral("/tolvane-%1.socket").arg(::getuid());
}

bool HandFilesToRunningWindow(const QStringList& files) {
    QLocalSocket socket;
    socket.connectToServer(SingleInstanceSocketPath());
    if (!socket.waitForConnected(kConnectMs))
        return false;
    QByteArray message;
    QDataStream out(&message, QIODevice::WriteOnly);
    out << files;
    socket.write(message);
    if (!socket.waitForBytesWritten(kTransferMs))
        return false;
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(kTransferMs);
    return true;
}

SingleInstanceListener::SingleInstanceListener(std::function<void(const QStringList&)> onFiles,
                                               QObject* parent)
    : QObject(parent), onFiles_(std::move(onFiles)), server_(new QLocalServer(this)) {
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    const QString path = SingleInstanceSocketPath();
    if (!server_->listen(path)) {
        // A socket left by a window that died: nobody answered on it just now.
        QLocalServer::removeServer(path);
        server_->listen(path);
    }
    connect(server_, &QLocalServer::newConnection, this, &SingleInstanceListener::OnConnection);
}

SingleInstanceListener::~SingleInstanceListener() = default;

bool SingleInstanceListener::listening() const {
    return server_->isListening();
}

void SingleInstanceListener::OnConnection() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, [this, socket] {
            QStringList files;
            QDataStream in(socket->readAll());
            in >> files;
            socket->deleteLater();
            if (onFiles_)
                onFiles_(files);
        });
    }
}

}  // namespace tolvane
