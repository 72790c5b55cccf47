#pragma once
// Reads one file's audio stream and hands it out as interleaved float samples at the
// output's rate and channel count, each chunk with the output frame index at which it
// starts (0 = the start of the stream). A chained Ogg file plays as one stream: its
// links one after another, each read as a file of its own.

#include "engine/ffmpeg/FfmpegHolders.h"
#include "engine/probe/OggLinkInput.h"

#include <memory>
#include <string>
#include <vector>

namespace tolvane::player {

class AudioDecoder {
  public:
    // False when the file cannot be opened, has no audio stream or no decoder for it.
    bool Open(const std::string& path);
    // Sets the format chunks are delivered in. False when the resampler refuses it.
    bool ConfigureOutput(int rate, int channels);

    double DurationSeconds() const { return durationSeconds_; }
    int SourceRate() const { return codec_ ? codec_->sample_rate : 0; }
    int SourceChannels() const { return codec_ ? codec_->ch_layout.nb_channels : 0; }
    bool HasVideo() const { return hasVideo_; }

    // Restarts decoding so that the next chunk starts exactly at `seconds`.
    void Seek(double seconds);
    // The next chunk; 0 frames at the end of the stream (or an unrecoverable read error).
    int Next(std::vector<float>& samples, int64_t& startFrame);

  private:
    // One link of a chained file and where it starts in the file's timeline.
    struct ChainLink {
        OggLink link;
        double startSeconds = 0;
    };

    // Takes `input`'s best audio stream and a decoder for it.
    bool OpenStream(AVFormatContext& input);
    // Reads link `index` of the chained file from now on.
    bool OpenLink(size_t index);
    bool HasNextLink() const { return !links_.empty() && link_ + 1 < links_.size(); }
    // Where a decoded frame starts in the file's timeline; NaN without a timestamp.
    double FrameSeconds(const AVFrame& frame) const;
    bool BuildResampler(const AVFrame& frame);
    int Convert(const AVFrame& frame, std::vector<float>& samples);
    int Drain(std::vector<float>& samples);
    // The output frame at which a decoded frame's timestamp places its first kept sample.
    int64_t StampedOutputFrame(const AVFrame& frame) const;
    int64_t MaxGapFrames() const;
    // Hands out the silence for a timestamp gap, then the chunk held back behind it.
    int NextAfterGap(std::vector<float>& samples, int64_t& startFrame);

    static constexpr double kMaxGapSeconds = 600;
    static constexpr int kSilenceChunkFrames = 4096;

    std::string path_;
    ff::InputFormatPtr format_;     // the file, unless it is chained
    std::vector<ChainLink> links_;  // a chained file's links, else empty
    size_t link_ = 0;
    std::unique_ptr<OggLinkInput> linkInput_;
    AVFormatContext* input_ = nullptr;  // what is read: format_ or the current link
    double linkStartSeconds_ = 0;
    ff::CodecContextPtr codec_;
    ff::ResamplerPtr resampler_;
    ff::FramePtr frame_;
    ff::PacketPtr packet_;
    int streamIndex_ = -1;
    AVRational timeBase_{1, 1};
    double startSeconds_ = 0;
    double durationSeconds_ = 0;
    bool hasVideo_ = false;

    int outRate_ = 0;
    int outChannels_ = 0;
    // Input format the resampler was built for.
    int resamplerFormat_ = -1;
    int resamplerRate_ = 0;
    int resamplerChannels_ = 0;

    int64_t nextFrame_ = 0;
    bool skipping_ = false;  // after a seek, drop samples before seekTarget_
    double seekTarget_ = 0;
    bool draining_ = false;
    bool drained_ = false;
    int64_t pendingSilence_ = 0;  // frames of silence still owed for lost frames
    std::vector<float> held_;     // the chunk that follows that silence
};

}  // namespace tolvane::player
