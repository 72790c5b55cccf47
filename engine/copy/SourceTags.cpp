#include "engine/copy/SourceTags.h"

#include <algorithm>
#include <array>
#include <string_view>

extern "C" {
#include <libavformat/avformat.h>
}

namespace tolvane {

namespace {

// Written by muxers about themselves, not about the recording, or about the whole
// file's length and gapless trim, which a part of it must not carry.
constexpr std::array<std::string_view, 7> kMuxerNotes = {
    "encoder",       "major_brand", "minor_version", "compatible_brands",
    "creation_time", "TLEN",        "iTunSMPB"};

bool IsMuxerNote(std::string_view key) {
    return std::any_of(kMuxerNotes.begin(), kMuxerNotes.end(), [key](std::string_view note) {
        return key.size() == note.size() &&
               std::equal(key.begin(), key.end(), note.begin(),
                          [](char a, char b) { return (a | 0x20) == (b | 0x20); });
    });
}

void AddTags(TagList& tags, const AVDictionary* dictionary) {
    const AVDictionaryEntry* entry = nullptr;
    while ((entry = av_dict_get(dictionary, "", entry, AV_DICT_IGNORE_SUFFIX)) != nullptr) {
        if (IsMuxerNote(entry->key))
            continue;
        const bool known = std::any_of(
            tags.begin(), tags.end(), [entry](const auto& tag) { return tag.first == entry->key; });
        if (!known)
            tags.emplace_back(entry->key, entry->value);
    }
}

}  // namespace

TagList ReadSourceTags(const AVFormatContext& input) {
    TagList tags;
    AddTags(tags, input.metadata);
    for (unsigned i = 0; i < input.nb_streams; ++i) {
        if (input.streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
            AddTags(tags, input.streams[i]->metadata);
            break;
        }
    }
    return tags;
}

TagList MergeTags(TagList tags, const TagList& over) {
    for (const auto& entry : over) {
        auto same = std::find_if(tags.begin(), tags.end(),
                                 [&entry](const auto& tag) { return tag.first == entry.first; });
        if (same != tags.end())
            same->second = entry.second;
        else
            tags.push_back(entry);
    }
    return tags;
}

}  // namespace tolvane
