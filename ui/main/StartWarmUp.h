#pragma once
// Work Qt would do on the window thread before the window first shows, begun early on
// threads of its own so that it overlaps Qt's own start (the display connection, the
// platform plugin) and the making of the controls. Nothing here changes what the
// window does; it only finds the work already done.

#include <thread>

namespace tolvane {

class StartWarmUp {
  public:
    StartWarmUp() = default;
    StartWarmUp(const StartWarmUp&) = delete;
    StartWarmUp& operator=(const StartWarmUp&) = delete;
    ~StartWarmUp() { Join(); }

    // Before QApplication: fontconfig reads its configuration and font caches, which the
    // window's first text measurement would otherwise wait for.
    void BeforeApplication();
    // Once QApplication exists: the session bus is connected, which the accessibility
    // bridge does synchronously when the first control announces itself.
    void AfterApplication();
    void Join();

  private:
    std::thread fonts_;
    std::thread sessionBus_;
};

}  // namespace tolvane
