#pragma once
// FFmpeg, SDL and curl: the window needs them only once a file is opened, played or a
// language file fetched, yet loading them and the hundred-odd libraries they depend on
// takes longer than the whole rest of the start. Where the build binds them lazily
// (x86-64, see cmake/lazy-stubs.sh), the program starts without them; they are loaded
// on first use, or by a background thread soon after the window shows, whichever comes
// first. Elsewhere they are linked as usual and this only sets FFmpeg's log level.

#include <functional>
#include <thread>

namespace tolvane {

class MediaLibraries {
  public:
    // Keeps FFmpeg's stream dumps and notes off the terminal the window was started
    // from, from its first call on; its errors still show there.
    MediaLibraries();
    ~MediaLibraries();  // waits for the background load
    MediaLibraries(const MediaLibraries&) = delete;
    MediaLibraries& operator=(const MediaLibraries&) = delete;

    // Loads every library on a thread of its own, then runs `prepare` there, so the
    // first file opens and plays without the wait. Call it once the window shows: the
    // loader lock it holds would stall Qt's own plug-in loading during the start.
    void LoadInBackground(std::function<void()> prepare);

  private:
    std::thread loader_;
};

}  // namespace tolvane
