#pragma once
// What a probe of a file whose name ends in ".mp3" (any case) found it really holds.
// Several can be set when the file has several streams.

namespace tolvane {

struct MislabelFlags {
    bool aac = false;
    bool mp2 = false;
    bool wav = false;  // 16-bit PCM
    bool flac = false;
};

}  // namespace tolvane
