// The libraries linked as usual: nothing to load, only FFmpeg's log level to set.

#include "MediaLibraries.h"

extern "C" {
#include <libavutil/log.h>
}

namespace tolvane {

MediaLibraries::MediaLibraries() {
    av_log_set_level(AV_LOG_ERROR);
}

MediaLibraries::~MediaLibraries() = default;

void MediaLibraries::LoadInBackground() {}

}  // namespace tolvane
