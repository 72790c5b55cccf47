#pragma once
// One window per user: a second start hands the files it was given to the window that
// runs already, over a local socket, and ends. The socket lives in $XDG_RUNTIME_DIR (the
// user's own folder) or, without it, in the temporary folder under a name holding the
// user's id.

#include <QObject>
#include <QStringList>

#include <functional>

class QLocalServer;

namespace tolvane {

// The socket's path for this user.
QString SingleInstanceSocketPath();

// Hands `files` to the running window; false when none answers (this start runs the
// window itself).
bool HandFilesToRunningWindow(const QStringList& files);

// Listens for later starts while the window runs; `onFiles` gets each one's files on the
// window's thread.
class SingleInstanceListener : public QObject {
  public:
    explicit SingleInstanceListener(std::function<void(const QStringList&)> onFiles,
                                    QObject* parent = nullptr);
    ~SingleInstanceListener() override;
    bool listening() const;

  private:
    void OnConnection();

    std::function<void(const QStringList&)> onFiles_;
    QLocalServer* server_ = nullptr;
};

}  // namespace tolvane
