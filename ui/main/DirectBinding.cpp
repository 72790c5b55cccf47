// The libraries linked as usual: nothing to load, only FFmpeg's log level to set and
// what is to be prepared after the start to run.

#include "MediaLibraries.h"

extern "C" {
#include <libavutil/log.h>
}

namespace tolvane {

MediaLibraries::MediaLibraries() {
    av_log_set_level(AV_LOG_ERROR);
}

MediaLibraries::~MediaLibraries() {
    if (loader_.joinable())
        loader_.join();
}

void MediaLibraries::LoadInBackground(std::function<void()> prepare) {
    if (!loader_.joinable() && prepare)
        loader_ = std::thread(std::move(prepare));
}

}  // namespace tolvane
