#pragma once
// The preview player as the window sees it: the operations of the playback
// library, behind an interface so window tests can put a recording fake in its place.

#include <functional>
#include <memory>
#include <string>

namespace tolvane {

class IPlayerModule {
  public:
    using EndCallback = std::function<void()>;
    using SecondCallback = std::function<void(int)>;

    virtual ~IPlayerModule() = default;

    // Called once. The end callback comes once when the end of the file has been
    // heard, from the player's own thread.
    virtual void PlayerModule_Initialize(EndCallback onEnd, SecondCallback onSecond,
                                         const std::string& fixedText) = 0;
    // Names the file (UTF-8 path) for the next Open.
    virtual void PlayerModule_SetFileName(const std::string& path) = 0;
    // -1: the file was not opened (missing, undecodable, no audio); else opened.
    virtual int PlayerModule_Open() = 0;
    // first: 1 while an audio file is open, else 0; second: 1 when it also holds video.
    virtual void PlayerModule_GetMideaType(int* first, int* second) = 0;
    virtual void PlayerModule_Start() = 0;  // start or resume at the current position
    virtual void PlayerModule_Pause() = 0;  // halt, keeping the position
    virtual void PlayerModule_Stop() = 0;   // halt and return to 0; the file stays open
    virtual void PlayerModule_Close() = 0;  // releases the file
    virtual void PlayerModule_GetPos(float* fraction) = 0;  // 0.0 .. 1.0 of the length
    virtual void PlayerModule_SetPos(float fraction) = 0;
    virtual void PlayerModule_GetCurrentPosition(double* seconds) = 0;
    virtual void PlayerModule_SetCurrentPosition(double seconds) = 0;
    virtual void PlayerModule_GetDuration(double* seconds) = 0;
    // The sound ends at `seconds` (fading out over the last few milliseconds before it)
    // and the position then reads `seconds`. Kept over seeks and pauses; moving it later
    // after the sound stopped plays on from where it stopped.
    virtual void PlayerModule_SetStopPoint(double seconds) = 0;
    // Plays on past the stop point again. Stop, Close and Open clear it too.
    virtual void PlayerModule_ClearStopPoint() = 0;
};

// The real player: FFmpeg decoding, SDL2 sound output.
std::unique_ptr<IPlayerModule> CreatePlayerModule();

}  // namespace tolvane
