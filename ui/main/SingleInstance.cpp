#include "SingleInstance.h"

#include <QDataStream>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <utility>

namespace tolvane {

namespace {
constexpr int kConnectMs = 2000;
constexpr int kTransferMs = 5000;

bool IsOwnPeer(const QLocalSocket& socket) {
    const std::optional<uid_t> peer = PeerUserId(socket);
    return peer && *peer == ::getuid();
}
}  // namespace

bool IsPrivateFolder(const std::string& folder, uid_t user) {
    struct stat status {};
    if (::lstat(folder.c_str(), &status) != 0)
        return false;
    return S_ISDIR(status.st_mode) && status.st_uid == user && (status.st_mode & 077) == 0;
}

bool MakePrivateFolder(const std::string& folder, uid_t user) {
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    return IsPrivateFolder(folder, user);
}

std::optional<uid_t> PeerUserId(const QLocalSocket& socket) {
    const qintptr descriptor = socket.socketDescriptor();
    if (descriptor < 0)
        return std::nullopt;
    ucred credentials{};
    socklen_t length = sizeof credentials;
    if (::getsockopt(int(descriptor), SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0 ||
        length != sizeof credentials)
        return std::nullopt;
    return credentials.uid;
}

QString SingleInstanceSocketPath() {
    const uid_t user = ::getuid();
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.startsWith(QLatin1Char('/')) && IsPrivateFolder(runtime.toStdString(), user))
        return runtime + QStringLiteral("/tolvane.socket");
    // Not a name in the shared temporary folder itself, which anyone could take first.
    const QString folder = QDir::tempPath() + QStringLiteral("/tolvane-%1").arg(user);
    if (MakePrivateFolder(folder.toStdString(), user))
        return folder + QStringLiteral("/tolvane.socket");
    static bool told = false;  // asked by both the hand-off and the listener
    if (!std::exchange(told, true)) {
        std::fprintf(stderr,
                     "tolvane: %s is not a folder of this user's own; a second start will "
                     "open a window of its own\n",
                     qPrintable(folder));
    }
    return {};
}

bool HandFilesToRunningWindow(const QStringList& files) {
    const QString path = SingleInstanceSocketPath();
    if (path.isEmpty())
        return false;
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(kConnectMs))
        return false;
    if (!IsOwnPeer(socket)) {
        socket.abort();
        return false;
    }
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
    if (path.isEmpty())
        return;
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
        if (!IsOwnPeer(*socket)) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
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
