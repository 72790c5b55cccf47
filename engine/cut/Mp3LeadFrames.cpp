#include "engine/cut/Mp3LeadFrames.h"

#include <optional>

#include "engine/cut/Mp3FrameLayout.h"

namespace tolvane {

namespace {

// Main data kept: what a frame reads back (511 bytes at most) before the payloads of
// the two largest frames after it.
constexpr std::size_t kMainDataKept = 4096;

}  // namespace

int Mp3LeadFrames::Add(const AVPacket& frame, bool hold) {
    if (const std::optional<Mp3FrameLayout> layout = ReadMp3FrameLayout(frame.data, frame.size)) {
        const std::uint8_t* payload = frame.data + layout->sideOffset + layout->sideBytes;
        mainData_.insert(mainData_.end(), payload, payload + layout->payloadBytes);
        if (mainData_.size() > 2 * kMainDataKept)
            mainData_.erase(mainData_.begin(),
                            mainData_.end() - static_cast<std::ptrdiff_t>(kMainDataKept));
    } else {
        mainData_.clear();  // the bytes before a frame that is none are no main data
    }
    if (!hold)
        return 0;
    ff::PacketPtr copy(av_packet_alloc());
    if (!copy)
        return AVERROR(ENOMEM);
    if (const int ret = av_packet_ref(copy.get(), &frame); ret < 0)
        return ret;
    held_.push_back(std::move(copy));
    return 0;
}

std::vector<std::uint8_t> Mp3LeadFrames::CarrierBefore(std::size_t index,
                                                       const AVPacket& next) const {
    if (index > held_.size())
        return {};
    const AVPacket& frame = index < held_.size() ? *held_[index] : next;
    const std::optional<Mp3FrameLayout> layout = ReadMp3FrameLayout(frame.data, frame.size);
    if (!layout)
        return {};
    // The main data read after the frame's own payload began.
    std::size_t after = 0;
    for (std::size_t i = index; i < held_.size(); ++i) {
        const std::optional<Mp3FrameLayout> later =
            ReadMp3FrameLayout(held_[i]->data, held_[i]->size);
        if (!later)
            return {};
        after += static_cast<std::size_t>(later->payloadBytes);
    }
    const auto reach = static_cast<std::size_t>(layout->mainDataBegin);
    if (mainData_.size() < after + reach)
        return {};
    const std::uint8_t* bytes = mainData_.data() + (mainData_.size() - after - reach);
    return Mp3CarrierFrame(frame.data, frame.size, bytes, layout->mainDataBegin);
}

}  // namespace tolvane
