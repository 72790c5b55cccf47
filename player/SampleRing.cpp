#include "SampleRing.h"

#include <algorithm>
#include <cstring>

namespace tolvane::player {

SampleRing::SampleRing(int channels, int capacityFrames)
    : channels_(std::max(channels, 1)),
      capacity_(std::max(capacityFrames, 1)),
      data_(static_cast<size_t>(channels_) * capacity_) {}

void SampleRing::Reset(uint64_t generation, int64_t startFrame, bool fadeOutTail) {
    {
        std::lock_guard lock(mutex_);
        tail_.clear();
        tailRead_ = 0;
        const int tailFrames = fadeOutTail ? std::min(count_, kTailFrames) : 0;
        for (int i = 0; i < tailFrames; ++i) {
            const float gain = 1.0f - static_cast<float>(i + 1) / static_cast<float>(tailFrames);
            const size_t at = static_cast<size_t>((readIndex_ + i) % capacity_) * channels_;
            for (int ch = 0; ch < channels_; ++ch)
                tail_.push_back(data_[at + ch] * gain);
        }
        generation_ = generation;
        readIndex_ = 0;
        count_ = 0;
        readFrame_ = startFrame;
        primed_ = false;
        complete_ = false;
    }
    spaceFreed_.notify_all();
}

void SampleRing::MarkComplete(uint64_t generation) {
    std::lock_guard lock(mutex_);
    if (generation_ == generation) {
        complete_ = true;
    }
}

void SampleRing::Abort() {
    {
        std::lock_guard lock(mutex_);
        aborted_ = true;
    }
    spaceFreed_.notify_all();
}

bool SampleRing::Push(const float* samples, int frames, uint64_t generation) {
    std::unique_lock lock(mutex_);
    while (frames > 0) {
        spaceFreed_.wait(
            lock, [&] { return aborted_ || generation_ != generation || count_ < capacity_; });
        if (aborted_ || generation_ != generation)
            return false;
        const int writeIndex = (readIndex_ + count_) % capacity_;
        const int run = std::min({frames, capacity_ - count_, capacity_ - writeIndex});
        std::memcpy(&data_[static_cast<size_t>(writeIndex) * channels_], samples,
                    sizeof(float) * static_cast<size_t>(run) * channels_);
        count_ += run;
        frames -= run;
        samples += static_cast<size_t>(run) * channels_;
    }
    return true;
}

SampleRing::Popped SampleRing::Pop(float* out, int maxFrames, bool samples) {
    Popped popped;
    {
        std::lock_guard lock(mutex_);
        popped.startFrame = readFrame_;
        popped.generation = generation_;
        const int tailLeft = static_cast<int>(tail_.size()) / channels_ - tailRead_;
        popped.tailFrames = std::min(tailLeft, maxFrames);
        std::copy_n(tail_.begin() + static_cast<ptrdiff_t>(tailRead_) * channels_,
                    static_cast<size_t>(popped.tailFrames) * channels_, out);
        tailRead_ += popped.tailFrames;
        out += static_cast<size_t>(popped.tailFrames) * channels_;
        maxFrames -= popped.tailFrames;
        if (samples && maxFrames > 0) {
            primed_ = primed_ || complete_ || count_ >= std::min(maxFrames, capacity_);
        }
        while (samples && primed_ && popped.frames < maxFrames && count_ > 0) {
            const int run = std::min({maxFrames - popped.frames, count_, capacity_ - readIndex_});
            std::memcpy(out + static_cast<size_t>(popped.frames) * channels_,
                        &data_[static_cast<size_t>(readIndex_) * channels_],
                        sizeof(float) * static_cast<size_t>(run) * channels_);
            popped.frames += run;
            count_ -= run;
            readIndex_ = (readIndex_ + run) % capacity_;
        }
        readFrame_ += popped.frames;
    }
    if (popped.frames > 0)
        spaceFreed_.notify_all();
    return popped;
}

int SampleRing::BufferedFrames() const {
    std::lock_guard lock(mutex_);
    return count_;
}

}  // namespace tolvane::player
