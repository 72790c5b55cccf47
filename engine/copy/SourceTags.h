#pragma once
// The tags a source file carries itself (title, artist ...), to be copied into what is
// cut from it when the user asks for it.

#include <string>
#include <utility>
#include <vector>

struct AVFormatContext;

namespace tolvane {

using TagList = std::vector<std::pair<std::string, std::string>>;

// The container's tags, then those of its first audio stream the container lacks (Ogg
// and FLAC keep them there); the muxer's own notes (encoder, MP4 brands) and the
// whole file's length and gapless trim (TLEN, iTunSMPB) left out.
TagList ReadSourceTags(const AVFormatContext& input);

// `tags` with those of `over` put in their place or added.
TagList MergeTags(TagList tags, const TagList& over);

}  // namespace tolvane
