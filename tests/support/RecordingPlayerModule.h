#pragma once
// A recording stand-in for the preview player, for the window's tests. It writes
// every call, in order, as a line of text ("SetFileName /tmp/a.mp3", "Open",
// "Start", "SetPos 0.5", ...), answers with the values a test sets, and fires the
// end callback on a thread of its own, as the real player does.
//
// Header-only; a test needs the include folder of tolvane_player for PlayerModule.h.

#include "PlayerModule.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace tolvane::testing {

class RecordingPlayerModule : public IPlayerModule {
  public:
    RecordingPlayerModule() = default;
    RecordingPlayerModule(const RecordingPlayerModule&) = delete;
    RecordingPlayerModule& operator=(const RecordingPlayerModule&) = delete;
    ~RecordingPlayerModule() override { JoinEndThread(); }

    // --- what the fake answers -------------------------------------------------
    void SetOpenResult(int result) { openResult_ = result; }
    void SetMideaType(int first, int second) {
        mideaFirst_ = first;
        mideaSecond_ = second;
    }
    void SetReportedPos(float fraction) { pos_ = fraction; }
    void SetReportedCurrentPosition(double seconds) { currentPosition_ = seconds; }
    void SetReportedDuration(double seconds) { duration_ = seconds; }
    // When on (the default), SetPos and SetCurrentPosition also change what GetPos
    // and GetCurrentPosition report, consistently with the reported duration.
    void SetSeeksMoveReportedPosition(bool on) { seeksMovePosition_ = on; }

    // --- what was called -------------------------------------------------------
    // Every call in order, queries (GetPos, GetCurrentPosition, GetDuration) included.
    std::vector<std::string> Calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    // The calls without the position and length queries the window makes on every
    // timer tick: what a test usually wants to compare against.
    std::vector<std::string> Commands() const {
        std::vector<std::string> result;
        for (const auto& call : Calls()) {
            if (!IsQuery(call))
                result.push_back(call);
        }
        return result;
    }
    // How often a call whose line starts with `name` (e.g. "Start", "SetPos") was made.
    int Count(const std::string& name) const {
        const auto calls = Calls();
        return static_cast<int>(std::count_if(calls.begin(), calls.end(), [&](const auto& call) {
            return call == name || call.rfind(name + " ", 0) == 0;
        }));
    }
    void ClearCalls() {
        std::lock_guard lock(mutex_);
        calls_.clear();
    }
    bool Initialized() const { return initialized_; }
    std::string FixedText() const {
        std::lock_guard lock(mutex_);
        return fixedText_;
    }
    std::string FileName() const {
        std::lock_guard lock(mutex_);
        return fileName_;
    }

    // --- callbacks -------------------------------------------------------------
    // Starts the end callback on a thread of the fake's own and returns at once,
    // so a window that answers it with a blocking call to its own thread can do so
    // while the test's event loop runs. EndCallbackReturned() tells when it is done.
    void FireEndCallback() {
        JoinEndThread();
        endReturned_ = false;
        EndCallback callback;
        {
            std::lock_guard lock(mutex_);
            callback = onEnd_;
        }
        endThreadId_ = std::thread::id{};
        endThread_ = std::thread([this, callback] {
            endThreadId_ = std::this_thread::get_id();
            if (callback)
                callback();
            endReturned_ = true;
        });
    }
    bool EndCallbackReturned() const { return endReturned_; }
    // Waits for the end callback's thread; call only once the callback can return.
    void JoinEndThread() {
        if (endThread_.joinable())
            endThread_.join();
    }
    void FireSecondCallback(int value) {
        SecondCallback callback;
        {
            std::lock_guard lock(mutex_);
            callback = onSecond_;
        }
        if (callback)
            callback(value);
    }

    // --- IPlayerModule ---------------------------------------------------------
    void PlayerModule_Initialize(EndCallback onEnd, SecondCallback onSecond,
                                 const std::string& fixedText) override {
        {
            std::lock_guard lock(mutex_);
            onEnd_ = std::move(onEnd);
            onSecond_ = std::move(onSecond);
            fixedText_ = fixedText;
        }
        initialized_ = true;
        Record("Initialize " + fixedText);
    }
    void PlayerModule_SetFileName(const std::string& path) override {
        {
            std::lock_guard lock(mutex_);
            fileName_ = path;
        }
        Record("SetFileName " + path);
    }
    int PlayerModule_Open() override {
        Record("Open");
        return openResult_;
    }
    void PlayerModule_GetMideaType(int* first, int* second) override {
        Record("GetMideaType");
        if (first)
            *first = mideaFirst_;
        if (second)
            *second = mideaSecond_;
    }
    void PlayerModule_Start() override { Record("Start"); }
    void PlayerModule_Pause() override { Record("Pause"); }
    void PlayerModule_Stop() override { Record("Stop"); }
    void PlayerModule_Close() override { Record("Close"); }
    void PlayerModule_GetPos(float* fraction) override {
        Record("GetPos");
        if (fraction)
            *fraction = pos_;
    }
    void PlayerModule_SetPos(float fraction) override {
        Record("SetPos " + Number(fraction));
        if (seeksMovePosition_) {
            pos_ = fraction;
            currentPosition_ = fraction * duration_;
        }
    }
    void PlayerModule_GetCurrentPosition(double* seconds) override {
        Record("GetCurrentPosition");
        if (seconds)
            *seconds = currentPosition_;
    }
    void PlayerModule_SetCurrentPosition(double seconds) override {
        Record("SetCurrentPosition " + Number(seconds));
        if (seeksMovePosition_) {
            currentPosition_ = seconds;
            const double duration = duration_;
            pos_ = duration > 0 ? static_cast<float>(seconds / duration) : 0.0f;
        }
    }
    void PlayerModule_GetDuration(double* seconds) override {
        Record("GetDuration");
        if (seconds)
            *seconds = duration_;
    }

    void PlayerModule_SetStopPoint(double seconds) override {
        Record("SetStopPoint " + Number(seconds));
    }
    void PlayerModule_ClearStopPoint() override { Record("ClearStopPoint"); }

    // The thread the last end callback ran on (default id before the first one).
    std::thread::id EndCallbackThread() const { return endThreadId_; }

    static bool IsQuery(const std::string& call) {
        return call == "GetPos" || call == "GetCurrentPosition" || call == "GetDuration";
    }

  private:
    void Record(std::string call) {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::move(call));
    }
    static std::string Number(double value) {
        std::ostringstream text;
        text << value;
        return text.str();
    }

    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
    EndCallback onEnd_;
    SecondCallback onSecond_;
    std::string fixedText_;
    std::string fileName_;

    std::atomic<int> openResult_{0};
    std::atomic<int> mideaFirst_{1};
    std::atomic<int> mideaSecond_{0};
    std::atomic<float> pos_{0.0f};
    std::atomic<double> currentPosition_{0.0};
    std::atomic<double> duration_{0.0};
    std::atomic<bool> seeksMovePosition_{true};
    std::atomic<bool> initialized_{false};

    std::thread endThread_;
    std::atomic<bool> endReturned_{false};
    std::atomic<std::thread::id> endThreadId_{};
};

}  // namespace tolvane::testing
