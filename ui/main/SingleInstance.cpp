#include "SingleInstance.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

namespace tolvane {

namespace {
constexpr int kConnectMs = 2000;
constexpr int kTransferMs = 5000;
// Far more than any command line gives: a peer sending more is dropped.
constexpr qsizetype kMaxMessageBytes = 16 << 20;

// A socket closed when it goes.
class SocketHolder {
  public:
    explicit SocketHolder(int socket) : socket_(socket) {}
    ~SocketHolder() {
        if (socket_ >= 0)
            ::close(socket_);
    }
    SocketHolder(const SocketHolder&) = delete;
    SocketHolder& operator=(const SocketHolder&) = delete;
    int get() const { return socket_; }
    int release() { return std::exchange(socket_, -1); }

  private:
    int socket_;
};

bool IsOwnPeer(int socket) {
    const std::optional<uid_t> peer = PeerUserId(socket);
    return peer && *peer == ::getuid();
}

// The address of the socket file `path`; false when the name is too long for one.
bool AddressOf(const std::string& path, sockaddr_un& address) {
    address = {};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.data(), path.size());
    return true;
}

void SetTimeout(int socket, int option, int ms) {
    const timeval limit{ms / 1000, (ms % 1000) * 1000};
    ::setsockopt(socket, SOL_SOCKET, option, &limit, sizeof limit);
}

bool SendAll(int socket, const QByteArray& bytes) {
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        const ssize_t count = ::send(socket, bytes.constData() + sent,
                                     static_cast<std::size_t>(bytes.size() - sent), MSG_NOSIGNAL);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        sent += count;
    }
    return true;
}

// One later start's connection: its bytes up to its end, then the files they hold.
class IncomingFiles : public QObject {
  public:
    IncomingFiles(int socket, std::function<void(const QStringList&)> onFiles, QObject* parent)
        : QObject(parent), socket_(socket), onFiles_(std::move(onFiles)) {
        auto* notifier = new QSocketNotifier(socket_.get(), QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, &IncomingFiles::Read);
        // A peer that sends nothing and stays does not hold its socket for good.
        QTimer::singleShot(kTransferMs, this, [this] { Drop(); });
    }

  private:
    void Read() {
        char buffer[4096];
        for (;;) {
            const ssize_t count = ::read(socket_.get(), buffer, sizeof buffer);
            if (count > 0) {
                bytes_.append(buffer, count);
                if (bytes_.size() > kMaxMessageBytes)
                    return Drop();
                continue;
            }
            if (count < 0 && errno == EINTR)
                continue;
            if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                return;  // more to come
            if (count < 0)
                return Drop();
            break;  // the peer has sent everything
        }
        QStringList files;
        QDataStream in(bytes_);
        in >> files;
        // The window may run a dialog of its own with the files: nothing of this object
        // is used after it is let go.
        const std::function<void(const QStringList&)> deliver = onFiles_;
        Drop();
        if (in.status() == QDataStream::Ok && deliver)
            deliver(files);
    }

    void Drop() {
        for (QSocketNotifier* notifier : findChildren<QSocketNotifier*>())
            notifier->setEnabled(false);
        deleteLater();
    }

    SocketHolder socket_;
    std::function<void(const QStringList&)> onFiles_;
    QByteArray bytes_;
};

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

std::optional<uid_t> PeerUserId(int socket) {
    if (socket < 0)
        return std::nullopt;
    ucred credentials{};
    socklen_t length = sizeof credentials;
    if (::getsockopt(socket, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0 ||
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
    sockaddr_un address;
    if (!AddressOf(QFile::encodeName(SingleInstanceSocketPath()).toStdString(), address))
        return false;
    const SocketHolder socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (socket.get() < 0)
        return false;
    // A window too busy to take the connection does not hold this start for long.
    SetTimeout(socket.get(), SO_SNDTIMEO, kConnectMs);
    if (::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return false;  // nobody listens: a socket left by a window that died, or none
    if (!IsOwnPeer(socket.get()))
        return false;
    QByteArray message;
    QDataStream out(&message, QIODevice::WriteOnly);
    out << files;
    SetTimeout(socket.get(), SO_SNDTIMEO, kTransferMs);
    if (!SendAll(socket.get(), message) || ::shutdown(socket.get(), SHUT_WR) != 0)
        return false;
    // The window closes its end once it has read everything.
    SetTimeout(socket.get(), SO_RCVTIMEO, kTransferMs);
    char rest = 0;
    while (::read(socket.get(), &rest, 1) > 0) {
    }
    return true;
}

SingleInstanceListener::SingleInstanceListener(std::function<void(const QStringList&)> onFiles,
                                               QObject* parent)
    : QObject(parent), onFiles_(std::move(onFiles)) {
    const std::string path = QFile::encodeName(SingleInstanceSocketPath()).toStdString();
    sockaddr_un address;
    if (!AddressOf(path, address))
        return;
    SocketHolder socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (socket.get() < 0)
        return;
    const auto* name = reinterpret_cast<const sockaddr*>(&address);
    if (::bind(socket.get(), name, sizeof address) != 0) {
        // A socket left by a window that died: nobody answered on it just now.
        ::unlink(path.c_str());
        if (::bind(socket.get(), name, sizeof address) != 0)
            return;
    }
    ::chmod(path.c_str(), 0600);
    if (::listen(socket.get(), SOMAXCONN) != 0) {
        ::unlink(path.c_str());
        return;
    }
    path_ = path;
    socket_ = socket.release();
    notifier_ = new QSocketNotifier(socket_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &SingleInstanceListener::OnConnection);
}

SingleInstanceListener::~SingleInstanceListener() {
    if (socket_ < 0)
        return;
    delete notifier_;  // before its socket goes
    ::close(socket_);
    ::unlink(path_.c_str());
}

void SingleInstanceListener::OnConnection() {
    for (;;) {
        const int connection = ::accept4(socket_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (connection < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            return;  // no more waiting (EAGAIN), or out of descriptors for now
        }
        if (!IsOwnPeer(connection)) {
            ::close(connection);
            continue;
        }
        new IncomingFiles(connection, onFiles_, this);
    }
}

}  // namespace tolvane
