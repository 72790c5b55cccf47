#pragma once
// One window per user: a second start hands the files it was given to the window that
// runs already, over a local socket, and ends. The socket lives in a folder only the
// user may enter: $XDG_RUNTIME_DIR, or, without it, a folder "tolvane-<uid>" of the
// user's own in the temporary folder. Each end checks that the other runs as the same
// user; a folder or a peer that fails its check is never used, and the window then runs
// without the hand-off.

#include <QObject>
#include <QStringList>

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>

class QSocketNotifier;

namespace tolvane {

// True when `folder` is a real folder (not a link) owned by `user` that no one else may
// enter or list (no group or other permission bits).
bool IsPrivateFolder(const std::string& folder, uid_t user);

// Makes `folder` (mode 0700) when it is missing, then checks it with IsPrivateFolder.
bool MakePrivateFolder(const std::string& folder, uid_t user);

// The user id of the process at the other end of the connected local socket `socket`.
std::optional<uid_t> PeerUserId(int socket);

// The socket's path for this user; empty when no private folder could be had.
QString SingleInstanceSocketPath();

// Hands `files` to the running window; false when none answers, or the one that answers
// is not this user's (this start runs the window itself).
bool HandFilesToRunningWindow(const QStringList& files);

// Listens for later starts while the window runs; `onFiles` gets each one's files on the
// window's thread. Connections of other users are closed unread. Plain sockets watched by
// the event loop: Qt's own local sockets would bring its network library and the
// libraries that one needs into every start.
class SingleInstanceListener : public QObject {
  public:
    explicit SingleInstanceListener(std::function<void(const QStringList&)> onFiles,
                                    QObject* parent = nullptr);
    ~SingleInstanceListener() override;
    bool listening() const { return socket_ >= 0; }

  private:
    void OnConnection();

    std::function<void(const QStringList&)> onFiles_;
    std::string path_;  // removed when the window ends
    int socket_ = -1;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace tolvane
