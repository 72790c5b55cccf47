// The join decodes on a second thread while the job's thread encodes. Compared with the
// one-thread join over a table of inputs: the same bytes, the same length, the same
// outcome of a cancel at any point, and the same failure of a bad input or a full output.
// The queue between the threads on its own: frames arrive whole and in order while their
// buffers go round, each side sleeps once per half a queue, and closing or stopping
// wakes the other side.

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <thread>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
}

#include "ChildProcess.h"
#include "engine/encode/FrameQueue.h"
#include "JobTestSupport.h"

namespace tolvane::testing {
namespace {

// Fills `frame` with `value` the way the decoding side does: into its own buffers when
// it has them unshared, else into new ones.
bool FillFrame(AVFrame* frame, int samples, float value) {
    if (frame->nb_samples != samples || !frame->buf[0]) {
        av_frame_unref(frame);
        frame->nb_samples = samples;
        frame->format = AV_SAMPLE_FMT_FLTP;
        frame->sample_rate = 44100;
        av_channel_layout_default(&frame->ch_layout, 2);
        if (av_frame_get_buffer(frame, 0) < 0)
            return false;
    } else if (av_frame_make_writable(frame) < 0) {
        return false;
    }
    for (int ch = 0; ch < 2; ++ch) {
        auto* data = reinterpret_cast<float*>(frame->extended_data[ch]);
        std::fill(data, data + samples, value);
    }
    return true;
}

bool HoldsOnly(const AVFrame& frame, float value) {
    for (int ch = 0; ch < 2; ++ch) {
        const auto* data = reinterpret_cast<const float*>(frame.extended_data[ch]);
        if (std::any_of(data, data + frame.nb_samples, [&](float v) { return v != value; }))
            return false;
    }
    return true;
}

// Keeps a thread busy for a while (no clock involved), to make one side the slower.
void Spin(int rounds) {
    volatile unsigned sink = 0;
    for (int i = 0; i < rounds * 1000; ++i)
        sink = sink + static_cast<unsigned>(i);
}

struct QueueCase {
    const char* name;
    std::size_t capacity;
    int producerSpin;
    int consumerSpin;
};

class FrameQueueTest : public ::testing::TestWithParam<QueueCase> {};

TEST_P(FrameQueueTest, PassesEveryFrameWholeInOrderAndWakesEachSideOncePerHalfQueue) {
    const QueueCase& c = GetParam();
    constexpr int kFrames = 600;
    constexpr int kSamples = 96;
    FrameQueue queue(c.capacity);
    std::atomic<int> produced{0};
    std::atomic<bool> fillFailed{false};
    std::thread producer([&] {
        ff::FramePtr frame(av_frame_alloc());
        for (int i = 0; i < kFrames; ++i) {
            Spin(c.producerSpin);
            // The last frame is shorter, as a job's last frame may be.
            if (!FillFrame(frame.get(), i + 1 < kFrames ? kSamples : kSamples / 3,
                           static_cast<float>(i))) {
                fillFailed = true;
                break;
            }
            if (queue.Take(frame.get()) != FrameSink::kTaken)
                break;
            ++produced;
        }
        queue.Close();
    });
    int received = 0;
    bool intact = true;
    while (ff::FramePtr frame = queue.Pop()) {
        Spin(c.consumerSpin);
        intact = intact && HoldsOnly(*frame, static_cast<float>(received));
        ++received;
        queue.Recycle(std::move(frame));
    }
    producer.join();
    EXPECT_FALSE(fillFailed);
    EXPECT_EQ(produced, kFrames);
    EXPECT_EQ(received, kFrames);
    EXPECT_TRUE(intact) << "a frame's samples changed after it was queued";

    const FrameQueue::Waits waits = queue.waits();
    EXPECT_EQ(waits.frames, static_cast<std::size_t>(kFrames));
    // A sleeping producer is woken only after the consumer has taken half a queue, a
    // sleeping consumer only once half a queue is there (or at the end).
    const std::size_t half = c.capacity - c.capacity / 2;
    EXPECT_LE(waits.producer, kFrames / (c.capacity / 2 > 0 ? c.capacity / 2 : 1) + 1);
    EXPECT_LE(waits.consumer, kFrames / half + 1);
    // The queued frames, the one being encoded and the one being filled: no more holders.
    EXPECT_LE(waits.allocated, c.capacity + 1);
}

INSTANTIATE_TEST_SUITE_P(
    Sides, FrameQueueTest,
    ::testing::Values(QueueCase{"slow_consumer", 16, 0, 40}, QueueCase{"slow_producer", 16, 40, 0},
                      QueueCase{"even", 8, 5, 5}, QueueCase{"one_slot", 1, 0, 10},
                      QueueCase{"two_slots", 2, 10, 0}),
    [](const ::testing::TestParamInfo<QueueCase>& info) { return info.param.name; });

TEST(FrameQueueEnds, CloseHandsOverFramesShortOfHalfAQueueThenEnds) {
    FrameQueue queue(16);
    std::vector<float> seen;
    std::thread consumer([&] {
        while (ff::FramePtr frame = queue.Pop())
            seen.push_back(reinterpret_cast<const float*>(frame->extended_data[0])[0]);
    });
    ff::FramePtr frame(av_frame_alloc());
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(FillFrame(frame.get(), 32, static_cast<float>(i)));
        ASSERT_EQ(queue.Take(frame.get()), FrameSink::kTaken);
    }
    queue.Close();
    consumer.join();
    EXPECT_EQ(seen, (std::vector<float>{0, 1, 2}));
}

TEST(FrameQueueEnds, StopWakesAProducerWaitingForRoomAndRefusesMore) {
    FrameQueue queue(4);
    std::atomic<int> taken{0};
    std::atomic<int> last{FrameSink::kTaken};
    std::thread producer([&] {
        ff::FramePtr frame(av_frame_alloc());
        // Far more than the queue holds: only a stop ends this loop.
        for (int i = 0; i < 1000; ++i) {
            if (!FillFrame(frame.get(), 32, static_cast<float>(i)))
                return;
            last = queue.Take(frame.get());
            if (last != FrameSink::kTaken)
                return;
            ++taken;
        }
    });
    ff::FramePtr first = queue.Pop();
    ASSERT_TRUE(first);
    queue.Stop();
    producer.join();
    EXPECT_EQ(last, FrameSink::kTakerStopped);
    EXPECT_LE(taken, 5);
    EXPECT_FALSE(queue.Pop()) << "a stopped queue gives nothing more";
}

struct InputSpec {
    const char* name;
    double seconds;
    int rate;
    int channels;
    const char* codecArgs;
};

struct PipelineCase {
    const char* name;
    std::vector<InputSpec> inputs;
    int outputRate = 44100;
    int outputChannels = 2;
};

// Everything a join leaves: its file and the record's fields the user is told from.
struct JoinOutcome {
    bool exists = false;
    std::string bytes;
    int currentIndex = 0;
    std::vector<int> statuses;
    int failureCode = 0;
    bool failureOnOutput = false;
    JobStep failureStep = JobStep::None;
    int cancelledOutput = 0;
    double audioTime = 0;
    int progressUpdates = 0;   // packets read
    int secondInputStart = 0;  // the progress update of the second input's first packet
};

void ExpectSameOutcome(const JoinOutcome& pipeline, const JoinOutcome& oneThread) {
    EXPECT_EQ(pipeline.exists, oneThread.exists);
    EXPECT_TRUE(pipeline.bytes == oneThread.bytes) << "outputs differ: " << pipeline.bytes.size()
                                                   << " and " << oneThread.bytes.size() << " bytes";
    EXPECT_EQ(pipeline.currentIndex, oneThread.currentIndex);
    EXPECT_EQ(pipeline.statuses, oneThread.statuses);
    EXPECT_EQ(pipeline.failureCode, oneThread.failureCode);
    EXPECT_EQ(pipeline.failureOnOutput, oneThread.failureOnOutput);
    EXPECT_EQ(pipeline.failureStep, oneThread.failureStep);
    EXPECT_EQ(pipeline.cancelledOutput, oneThread.cancelledOutput);
    EXPECT_EQ(pipeline.audioTime, oneThread.audioTime);
    EXPECT_EQ(pipeline.progressUpdates, oneThread.progressUpdates);
    EXPECT_EQ(pipeline.secondInputStart, oneThread.secondInputStart);
}

class JoinPipelineTest : public ::testing::TestWithParam<PipelineCase> {
  protected:
    void SetUp() override {
        for (const InputSpec& spec : GetParam().inputs) {
            inputs.push_back(MakeTone(dir.path(), spec.name, spec.seconds, spec.rate, spec.channels,
                                      spec.codecArgs));
            lengths.push_back(spec.seconds);
        }
    }

    // Runs the join of `files`; with `cancelAtUpdate` > 0 the job is cancelled from
    // inside that progress update (counted from 1).
    JoinOutcome Join(const std::vector<fs::path>& files, const std::string& outName, bool oneThread,
                     int cancelAtUpdate = 0) {
        const PipelineCase& c = GetParam();
        const fs::path out = dir / outName;
        MediaJob job;
        PrepareJoin(job, files, out, lengths, 128000, c.outputRate, c.outputChannels);
        job.reencodeOnOneThread = oneThread;
        std::atomic<int> updates{0};
        std::atomic<int> secondInputStart{0};
        job.progressUpdated = [&](MediaJob& running) {
            if (++updates == cancelAtUpdate)
                running.cancelRequested = true;
            if (running.currentIndex == 1 && secondInputStart == 0)
                secondInputStart = updates.load();
        };
        RunJob(job);
        JoinOutcome outcome;
        outcome.exists = fs::exists(out);
        outcome.bytes = ReadFileBytes(out);
        outcome.currentIndex = job.currentIndex;
        for (int k = 0; k < job.fileCount; ++k)
            outcome.statuses.push_back(job.fileStatus[k]);
        outcome.failureCode = job.failureCode;
        outcome.failureOnOutput = job.failureOnOutput;
        outcome.failureStep = job.failureStep;
        outcome.cancelledOutput = job.cancelledOutput;
        outcome.audioTime = job.audioTime;
        outcome.progressUpdates = updates;
        outcome.secondInputStart = secondInputStart;
        // Reading an input ends at a cancel: no packet is read after the one it came in.
        if (cancelAtUpdate > 0) {
            EXPECT_EQ(outcome.progressUpdates, cancelAtUpdate) << (oneThread ? "one thread" : "");
        }
        return outcome;
    }

    TempDir dir;
    std::vector<fs::path> inputs;
    std::vector<double> lengths;
};

TEST_P(JoinPipelineTest, GivesTheOneThreadJoinByteForByteAndEverySample) {
    const JoinOutcome pipeline = Join(inputs, "pipeline.mp3", false);
    const JoinOutcome oneThread = Join(inputs, "one.mp3", true);
    ASSERT_EQ(pipeline.currentIndex, static_cast<int>(inputs.size()));
    EXPECT_EQ(pipeline.statuses, std::vector<int>(inputs.size(), kInputDone));
    ASSERT_FALSE(pipeline.bytes.empty());
    ExpectSameOutcome(pipeline, oneThread);

    // Every decoded sample, at the output's rate; a resampler may round by a sample.
    const PipelineCase& c = GetParam();
    double expected = 0;
    for (size_t k = 0; k < inputs.size(); ++k)
        expected += static_cast<double>(FrameSamples(inputs[k])) * c.outputRate / c.inputs[k].rate;
    EXPECT_NEAR(static_cast<double>(FrameSamples(dir / "pipeline.mp3")), expected,
                2.0 * static_cast<double>(inputs.size()));
}

TEST_P(JoinPipelineTest, CancelAtAnyPointEndsLikeTheOneThreadJoin) {
    const JoinOutcome whole = Join(inputs, "whole.mp3", true);
    const int updates = whole.progressUpdates;
    ASSERT_GT(updates, 4);
    ASSERT_GT(whole.secondInputStart, 1);
    // Early, in the middle, at the end of the first input (the second is then never
    // opened), at the first packet of the second input, and at the last packet.
    const std::vector<int> points = {
        1,      2, whole.secondInputStart / 2, whole.secondInputStart - 1, whole.secondInputStart,
        updates};
    for (int at : points) {
        SCOPED_TRACE("cancel at progress update " + std::to_string(at) + " of " +
                     std::to_string(updates));
        const std::string name = "cancel" + std::to_string(at);
        const JoinOutcome pipeline = Join(inputs, name + "p.mp3", false, at);
        const JoinOutcome oneThread = Join(inputs, name + "o.mp3", true, at);
        ExpectSameOutcome(pipeline, oneThread);
        EXPECT_EQ(pipeline.failureCode, 0) << "a cancel is not a failure";
        // Nothing written is removed; what is kept is a finished file FFmpeg reads.
        EXPECT_EQ(pipeline.exists, pipeline.cancelledOutput == kCancelledOutputKept);
        if (pipeline.exists) {
            EXPECT_TRUE(Ffprobe(dir / (name + "p.mp3")).ok);
        }
    }
}

TEST_P(JoinPipelineTest, BadInputInTheMiddleFailsLikeTheOneThreadJoin) {
    const fs::path garbage = dir / "garbage.mp3";
    RunCommand("head -c 20000 /dev/urandom > " + ShellQuote(garbage.string()));
    const fs::path silentVideo = dir / "video.mp4";
    ASSERT_TRUE(
        RunFfmpeg("-f lavfi -i testsrc=size=64x48:rate=5 -t 1 -an -c:v mpeg4", silentVideo));
    for (const fs::path& bad : {garbage, silentVideo}) {
        SCOPED_TRACE(bad.filename().string());
        std::vector<fs::path> files = inputs;
        files.insert(files.begin() + 1, bad);
        const JoinOutcome pipeline = Join(files, "bad_p.mp3", false);
        const JoinOutcome oneThread = Join(files, "bad_o.mp3", true);
        ExpectSameOutcome(pipeline, oneThread);
        EXPECT_FALSE(pipeline.exists) << "a failed join leaves no output";
        EXPECT_EQ(pipeline.currentIndex, 1);
        EXPECT_EQ(pipeline.statuses[1], kInputFailed);
        EXPECT_LT(pipeline.failureCode, 0);
        EXPECT_NE(pipeline.failureCode, AVERROR_UNKNOWN);
        EXPECT_FALSE(pipeline.failureOnOutput);
    }
}

TEST_P(JoinPipelineTest, FileSizeLimitFailsLikeTheOneThreadJoin) {
    // The output fails part way while the decoding thread runs ahead: it must be woken
    // and the job must fail as the one-thread join does, in a child under the limit.
    const fs::path folder = dir / "limited";
    fs::create_directory(folder);
    const int status = RunInChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        limit.rlim_cur = limit.rlim_max = 20 * 1024;
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return 10;
        const JoinOutcome pipeline = Join(inputs, "limited/p.mp3", false);
        const JoinOutcome oneThread = Join(inputs, "limited/o.mp3", true);
        ExpectSameOutcome(pipeline, oneThread);
        if (pipeline.failureCode != AVERROR(EFBIG) || !pipeline.failureOnOutput)
            return 11;
        return ::testing::Test::HasFailure() ? 12 : 0;
    });
    EXPECT_EQ(status, 0) << "10: no limit, 11: not failed with EFBIG on the output, "
                            "12: the two joins differ";
    EXPECT_TRUE(FolderEntries(folder).empty()) << "partial outputs are removed";
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, JoinPipelineTest,
    ::testing::Values(PipelineCase{"mixed_rates_and_channels",
                                   {{"mono48.wav", 3.0, 48000, 1, "-c:a pcm_s16le"},
                                    {"stereo22.mp3", 2.0, 22050, 2, "-c:a libmp3lame -b:a 64k"},
                                    {"stereo44.flac", 2.5, 44100, 2, "-c:a flac"}}},
                      PipelineCase{"mono_then_stereo",
                                   {{"mono.flac", 3.0, 44100, 1, "-c:a flac"},
                                    {"stereo.ogg", 3.0, 44100, 2, "-c:a libvorbis"}}},
                      PipelineCase{"one_short_file",
                                   {{"long1.wav", 2.0, 44100, 2, "-c:a pcm_s16le"},
                                    {"short.wav", 0.05, 32000, 1, "-c:a pcm_s16le"},
                                    {"long2.m4a", 2.0, 44100, 2, "-c:a aac"}}},
                      PipelineCase{"mono_output",
                                   {{"stereo48.wav", 2.0, 48000, 2, "-c:a pcm_s16le"},
                                    {"mono22.mp3", 2.0, 22050, 1, "-c:a libmp3lame -b:a 64k"}},
                                   22050,
                                   1}),
    [](const ::testing::TestParamInfo<PipelineCase>& info) { return info.param.name; });

}  // namespace
}  // namespace tolvane::testing
