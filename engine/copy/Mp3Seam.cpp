#include "engine/copy/Mp3Seam.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavutil/intreadwrite.h>
}

#include "engine/cut/MpegAudioFrames.h"

namespace tolvane {

namespace {

// How far back main data may begin: 9 bits of MPEG-1's side information.
constexpr int kMaxMainDataBegin = 511;
// Source bytes kept for a seam: more than any frame reads back.
constexpr std::size_t kReservoirKept = 2048;
// The highest bit-rate index, which gives a frame the most room.
constexpr std::uint32_t kLargestBitRateIndex = 14;

// Zeroes the frame's side information: no main data, nothing to decode but silence.
bool Mute(AVPacket& frame) {
    const std::optional<Mp3FrameLayout> layout = ReadMp3FrameLayout(frame.data, frame.size);
    if (!layout || av_packet_make_writable(&frame) < 0)
        return false;
    std::memset(frame.data + layout->sideOffset, 0, static_cast<std::size_t>(layout->sideBytes));
    PutMpegAudioFrameCrc(frame.data, *layout);
    return true;
}

}  // namespace

void Mp3Seam::StartInput() {
    reservoir_.clear();
    seamPending_ = true;
}

void Mp3Seam::AddReservoir(const AVPacket& frame) {
    const std::optional<Mp3FrameLayout> layout = ReadMp3FrameLayout(frame.data, frame.size);
    if (!layout) {
        reservoir_.clear();  // the bytes before a frame that is none are no main data
        return;
    }
    const std::uint8_t* payload = frame.data + layout->sideOffset + layout->sideBytes;
    reservoir_.insert(reservoir_.end(), payload, payload + layout->payloadBytes);
    if (reservoir_.size() > kReservoirKept)
        reservoir_.erase(reservoir_.begin(),
                         reservoir_.end() - static_cast<std::ptrdiff_t>(kReservoirKept));
}

void Mp3Seam::OpenSeam(const AVPacket& frame) {
    ++counts_.seams;
    sinceSeam_ = 0;
    validBefore_ = 0;
    const std::optional<Mp3FrameLayout> layout = ReadMp3FrameLayout(frame.data, frame.size);
    if (!layout || layout->mainDataBegin == 0)
        return;
    if (static_cast<int>(reservoir_.size()) >= layout->mainDataBegin && Bridge(reservoir_) &&
        validBefore_ >= layout->mainDataBegin)
        ++counts_.bridged;
}

bool Mp3Seam::Bridge(const std::vector<std::uint8_t>& bytes) {
    if (!held_)
        return false;
    const std::optional<Mp3FrameLayout> layout = ReadMp3FrameLayout(held_->data, held_->size);
    if (!layout)
        return false;
    // The held frame's own main data that lies in its payload stays where it is.
    const int own = std::max(0, layout->mainDataBytes - layout->mainDataBegin);
    if (own > layout->payloadBytes)
        return false;
    const std::uint32_t word =
        (AV_RB32(held_->data) & ~(0xFu << 12) & ~(1u << 9)) | kLargestBitRateIndex << 12;
    const std::optional<MpegAudioHeader> header = ParseMpegAudioHeader(word);
    if (!header)
        return false;
    const int room = header->bytes - layout->sideOffset - layout->sideBytes - own;
    const int count = std::min({static_cast<int>(bytes.size()), room, kMaxMainDataBegin});
    if (count <= 0)
        return false;
    ff::PacketPtr rebuilt(av_packet_alloc());
    if (!rebuilt || av_new_packet(rebuilt.get(), header->bytes) < 0 ||
        av_packet_copy_props(rebuilt.get(), held_.get()) < 0)
        return false;
    std::uint8_t* out = rebuilt->data;
    std::memset(out, 0, static_cast<std::size_t>(header->bytes));
    const int kept = layout->sideOffset + layout->sideBytes + own;
    std::memcpy(out, held_->data, static_cast<std::size_t>(kept));
    AV_WB32(out, word);
    std::memcpy(out + header->bytes - count, bytes.data() + bytes.size() - count,
                static_cast<std::size_t>(count));
    PutMpegAudioFrameCrc(out, *layout);
    rebuilt->duration = held_->duration;
    held_ = std::move(rebuilt);
    validBefore_ = count;
    return true;
}

int Mp3Seam::Take(AVPacket& frame, ff::PacketPtr& ready) {
    if (seamPending_) {
        seamPending_ = false;
        OpenSeam(frame);
    }
    if (sinceSeam_ >= 0) {
        const std::optional<Mp3FrameLayout> layout = ReadMp3FrameLayout(frame.data, frame.size);
        if (layout) {
            // A frame whose main data begins before the bytes that are right there.
            if (sinceSeam_ - layout->mainDataBegin < -validBefore_ && Mute(frame))
                ++counts_.muted;
            sinceSeam_ += layout->payloadBytes;
        }
        if (!layout || sinceSeam_ > kMaxMainDataBegin)
            sinceSeam_ = -1;  // nothing after reads from before the seam
    }
    ready = std::move(held_);
    held_.reset(av_packet_alloc());
    if (!held_)
        return AVERROR(ENOMEM);
    av_packet_move_ref(held_.get(), &frame);
    return 0;
}

}  // namespace tolvane
