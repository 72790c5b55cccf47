// The job frame and the thread: statuses, currentIndex, cancel, and the runner that
// owns the worker thread.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <limits>
#include <span>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

extern "C" {
#include <libavutil/error.h>
}

#include "JobTestSupport.h"

namespace tolvane::testing {
namespace {

using namespace std::chrono_literals;

class MediaJobWorkerTest : public ::testing::Test {
  protected:
    TempDir dir;
    Fixtures fixtures{dir.path()};
    MediaJob job;
};

TEST_F(MediaJobWorkerTest, NewRecordHasItsInitialValues) {
    EXPECT_TRUE(job.probeFileName.empty());
    EXPECT_EQ(job.progressPercent, 0);
    EXPECT_EQ(job.currentIndex, -1);
    EXPECT_FALSE(job.cancelRequested);
    EXPECT_FALSE(job.mislabeled.aac || job.mislabeled.mp2 || job.mislabeled.wav ||
                 job.mislabeled.flac);
    for (const auto& status : job.fileStatus)
        EXPECT_EQ(status, kInputPending);
}

TEST_F(MediaJobWorkerTest, JobWithoutInputsEndsAtOnce) {
    job.fileCount = 0;
    job.fileStatus[0] = kInputDone;
    RunJob(job);
    EXPECT_EQ(job.currentIndex, 0);
    EXPECT_EQ(job.progressPercent, 0);
}

TEST_F(MediaJobWorkerTest, MissingNamesFailTheInput) {
    job.fileCount = 1;
    job.reencode = false;
    RunJob(job);
    EXPECT_EQ(job.fileStatus[0], kInputFailed);
    EXPECT_EQ(job.currentIndex, 0);
}

TEST_F(MediaJobWorkerTest, FinishedCutReportsDoneAndAdvances) {
    PrepareCut(job, fixtures.Mp3(3.0), dir / "done.mp3", 0.5, 2.5);
    RunJob(job);
    EXPECT_EQ(job.fileStatus[0], kInputDone);
    EXPECT_EQ(job.currentIndex, 1);
    EXPECT_GE(job.progressPercent, 95);
    EXPECT_LE(job.progressPercent, 100);
    // The output's time counts the frames before the start the decoder needs (up to
    // 4624 samples) and drops.
    EXPECT_GE(job.audioTime, 2.0 - 0.03);
    EXPECT_LE(job.audioTime, 2.0 + 4624 / 44100.0);
}

TEST_F(MediaJobWorkerTest, CancelBeforeTheFirstInputWritesNothing) {
    PrepareCut(job, fixtures.Mp3(3.0), dir / "never.mp3", 0.0, 2.0);
    job.cancelRequested = true;
    MediaJobWorker(job);
    EXPECT_EQ(job.fileStatus[0], kInputPending);
    EXPECT_FALSE(fs::exists(dir / "never.mp3"));
    EXPECT_EQ(job.cancelledOutput, kCancelledOutputEmpty);
    EXPECT_EQ(job.failureCode, 0);
}

// Feeds a file into a named pipe in two parts, so a test can cancel a job while it is
// provably in the middle of its input.
class SlowSource {
  public:
    SlowSource(const fs::path& file, const fs::path& pipe, size_t firstPart)
        : bytes_(ReadFileBytes(file)), pipe_(pipe), firstPart_(firstPart) {
        // The reader may stop early; the writer's broken pipe must not end the test.
        std::signal(SIGPIPE, SIG_IGN);
        mkfifo(pipe.c_str(), 0644);
        writer_ = std::thread([this] { Feed(); });
    }
    ~SlowSource() {
        Release();
        writer_.join();
    }
    void Release() { release_ = true; }

  private:
    void Feed() {
        int fd = ::open(pipe_.c_str(), O_WRONLY);
        if (fd < 0)
            return;
        WriteAll(fd, 0, firstPart_);
        while (!release_)
            std::this_thread::sleep_for(5ms);
        WriteAll(fd, firstPart_, bytes_.size() - firstPart_);
        ::close(fd);
    }
    void WriteAll(int fd, size_t from, size_t count) {
        while (count > 0) {
            ssize_t n = ::write(fd, bytes_.data() + from, count);
            if (n <= 0)
                return;
            from += static_cast<size_t>(n);
            count -= static_cast<size_t>(n);
        }
    }
    std::string bytes_;
    fs::path pipe_;
    size_t firstPart_;
    std::atomic<bool> release_{false};
    std::thread writer_;
};

bool WaitFor(const std::function<bool()>& condition) {
    for (int i = 0; i < 1000; ++i) {
        if (condition())
            return true;
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

TEST_F(MediaJobWorkerTest, CancelMidCutLeavesAValidShorterFile) {
    fs::path source = fixtures.Wav(10.0);
    fs::path pipe = dir / "source.wav";
    fs::path out = dir / "cancelled.wav";
    SlowSource feed(source, pipe, 600 * 1000);  // about 3.4 s of audio
    MediaJobRunner runner;
    PrepareCut(job, pipe, out, 0.0, 10.0);
    ASSERT_EQ(runner.StartMediaJob(job, false), JobStartResult::Started);
    ASSERT_TRUE(WaitFor([&] { return job.audioTime > 1.0; }));
    job.cancelRequested = true;
    feed.Release();
    runner.WaitForWorker();
    EXPECT_FALSE(runner.IsRunning());
    EXPECT_EQ(job.fileStatus[0], kInputPending);
    EXPECT_EQ(job.currentIndex, 1);
    EXPECT_EQ(job.cancelledOutput, kCancelledOutputKept);
    ProbeInfo info = Ffprobe(out);
    ASSERT_TRUE(info.ok);
    EXPECT_GT(info.durationSec, 1.0);
    EXPECT_LT(info.durationSec, 9.0);
}

TEST_F(MediaJobWorkerTest, CancelMidJoinLeavesAValidShorterFile) {
    fs::path source = fixtures.Wav(10.0);
    fs::path pipe = dir / "first.wav";
    fs::path out = dir / "cancelled.mp3";
    SlowSource feed(source, pipe, 600 * 1000);
    MediaJobRunner runner;
    PrepareJoin(job, {pipe, fixtures.Wav(3.0)}, out, {10.0, 3.0});
    ASSERT_EQ(runner.StartMediaJob(job, true), JobStartResult::Started);
    ASSERT_TRUE(WaitFor([&] { return job.audioTime > 1.0; }));
    job.cancelRequested = true;
    feed.Release();
    runner.WaitForWorker();
    EXPECT_EQ(job.fileStatus[0], kInputPending);
    EXPECT_EQ(job.fileStatus[1], kInputPending);
    ProbeInfo info = Ffprobe(out);
    ASSERT_TRUE(info.ok);
    EXPECT_EQ(info.codecName, "mp3");
    EXPECT_GT(info.durationSec, 1.0);
    EXPECT_LT(info.durationSec, 9.0);
}

TEST_F(MediaJobWorkerTest, ThreeInputJobWithGarbageInTheMiddleOnAThread) {
    MediaJobRunner runner;
    PrepareJoin(job, {fixtures.Mp3(1.0), fixtures.Garbage(), fixtures.Wav(1.0)}, dir / "j.mp3",
                {1.0, 1.0, 1.0});
    ASSERT_EQ(runner.StartMediaJob(job, true), JobStartResult::Started);
    runner.WaitForWorker();
    EXPECT_EQ(job.fileStatus[0], kInputDone);
    EXPECT_EQ(job.fileStatus[1], kInputFailed);
    EXPECT_EQ(job.fileStatus[2], kInputPending);
    EXPECT_EQ(job.currentIndex, 1);
    EXPECT_LT(job.failureCode, 0);
    EXPECT_NE(job.failureCode, AVERROR_UNKNOWN) << "the demuxer's own error is kept";
    EXPECT_FALSE(job.failureOnOutput) << "the damaged input is to blame";
}

TEST_F(MediaJobWorkerTest, TruncatedInputsOfEveryFormatNeverCrash) {
    int index = 0;
    for (const fs::path& whole : {fixtures.Mp3(2.0), fixtures.Wav(2.0), fixtures.Flac(2.0),
                                  fixtures.Ogg(2.0), fixtures.M4a(2.0), fixtures.AacNamedMp3()}) {
        const std::string bytes = ReadFileBytes(whole);
        for (size_t size : {size_t{0}, size_t{100}, size_t{1500}, bytes.size() / 2}) {
            SCOPED_TRACE(whole.filename().string() + " cut to " + std::to_string(size));
            fs::path part = dir / ("part" + std::to_string(index) + whole.extension().string());
            std::ofstream(part, std::ios::binary) << bytes.substr(0, size);
            MediaJob probe;
            ProbeFile(probe, part);

            MediaJob cut;
            fs::path cutOut = dir / ("cut" + std::to_string(index) + whole.extension().string());
            PrepareCut(cut, part, cutOut, 0.5, 1.5);
            RunJob(cut);
            EXPECT_NE(cut.fileStatus[0], kInputPending);
            EXPECT_EQ(cut.fileStatus[0] == kInputFailed, !fs::exists(cutOut));

            MediaJob join;
            fs::path joinOut = dir / ("join" + std::to_string(index) + ".mp3");
            PrepareJoin(join, {part, part}, joinOut, {2.0, 2.0});
            RunJob(join);
            const bool failed =
                join.fileStatus[0] == kInputFailed || join.fileStatus[1] == kInputFailed;
            EXPECT_EQ(failed, !fs::exists(joinOut));
            ++index;
        }
    }
}

// The running total of a join over the first n ranges.
std::vector<std::int32_t> RunningTotals(const std::vector<double>& start,
                                        const std::vector<double>& end) {
    std::vector<std::int32_t> totals;
    for (std::size_t n = 1; n <= start.size(); ++n)
        totals.push_back(JoinTotalLengthSec(std::span(start).first(n), std::span(end).first(n)));
    return totals;
}

TEST(JoinTotalLength, AddsWholeSecondsRangeByRange) {
    EXPECT_EQ(JoinTotalLengthSec({}, {}), 0);
    EXPECT_EQ(RunningTotals({0, 0, 0}, {2, 2, 2}), (std::vector<std::int32_t>{2, 4, 6}));
    // Ranges that do not start at zero count by their length.
    EXPECT_EQ(RunningTotals({10, 1.5}, {12, 4.5}), (std::vector<std::int32_t>{2, 5}));
    // The total is cut to whole seconds after each range, so fractions carry over only
    // into the next addition: 1.5 -> 1, 1 + 1.5 -> 2, 2 + 1.5 -> 3.
    EXPECT_EQ(RunningTotals({0, 0, 0}, {1.5, 1.5, 1.5}), (std::vector<std::int32_t>{1, 2, 3}));
    // Ranges under a second never add up.
    EXPECT_EQ(RunningTotals({0, 0, 0}, {0.9, 0.9, 0.9}), (std::vector<std::int32_t>{0, 0, 0}));
    // A range ending before its start takes away, cut toward zero.
    EXPECT_EQ(RunningTotals({0, 5, 0}, {3, 3.5, 0.4}), (std::vector<std::int32_t>{3, 1, 1}));
    EXPECT_EQ(RunningTotals({2.5}, {0}), (std::vector<std::int32_t>{-2}));
    // Only ranges with both ends count.
    EXPECT_EQ(JoinTotalLengthSec(std::vector<double>{0, 0}, std::vector<double>{2}), 2);
}

TEST(JoinTotalLength, StaysWithinItsTypeAndIgnoresNonNumbers) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(RunningTotals({0, nan, 0}, {2, 1, 3}), (std::vector<std::int32_t>{2, 2, 5}));
    EXPECT_EQ(JoinTotalLengthSec(std::vector<double>{0, 0}, std::vector<double>{1e12, 5}),
              std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(JoinTotalLengthSec(std::vector<double>{1e12}, std::vector<double>{0}),
              std::numeric_limits<std::int32_t>::min());
}

class MediaJobRunnerTest : public MediaJobWorkerTest {};

TEST_F(MediaJobRunnerTest, StartResetsTheRecordAndRunsTheJob) {
    MediaJobRunner runner;
    PrepareCut(job, fixtures.Mp3(2.0), dir / "r.mp3", 0.0, 1.0);
    job.cancelRequested = true;
    job.currentIndex = 7;
    ASSERT_EQ(runner.StartMediaJob(job, false), JobStartResult::Started);
    runner.WaitForWorker();
    EXPECT_FALSE(runner.IsRunning());
    EXPECT_FALSE(job.joinMode);
    EXPECT_EQ(job.currentIndex, 1);
    EXPECT_EQ(job.fileStatus[0], kInputDone);
}

TEST_F(MediaJobRunnerTest, TooManyInputsAreRefusedBeforeTheStart) {
    MediaJobRunner runner;
    job.fileCount = kMaxJobInputs + 1;
    job.currentIndex = 5;
    EXPECT_EQ(runner.StartMediaJob(job, true), JobStartResult::TooManyInputs);
    EXPECT_FALSE(runner.IsRunning());
    EXPECT_EQ(job.currentIndex, 5);
}

TEST_F(MediaJobRunnerTest, ProbeAndNextJobWaitForTheWorker) {
    MediaJobRunner runner;
    PrepareJoin(job, {fixtures.Wav(3.0), fixtures.Wav(3.0)}, dir / "first.mp3", {3.0, 3.0});
    ASSERT_EQ(runner.StartMediaJob(job, true), JobStartResult::Started);
    MediaJob other;
    other.probeFileName = fixtures.Mp3(1.0).string();
    EXPECT_EQ(runner.Probe(other), ProbeResult::Usable);
    // The probe ran only after the job had ended.
    EXPECT_FALSE(runner.IsRunning());
    EXPECT_EQ(job.currentIndex, 2);

    PrepareCut(job, fixtures.Mp3(1.0), dir / "second.mp3", 0.0, 0.5);
    ASSERT_EQ(runner.StartMediaJob(job, false), JobStartResult::Started);
    ASSERT_EQ(runner.StartMediaJob(job, false), JobStartResult::Started);
    runner.WaitForWorker();
    // The second start waited for the first, then found its name taken and took the
    // next free one.
    EXPECT_EQ(job.fileStatus[0], kInputDone);
    EXPECT_EQ(job.outputNames[0], (dir / "second(0).mp3").string());
    EXPECT_TRUE(fs::exists(dir / "second.mp3"));
}

TEST_F(MediaJobRunnerTest, AnEmptyRangeIsRefusedBeforeTheStart) {
    MediaJobRunner runner;
    PrepareCut(job, fixtures.Wav(2.0), dir / "empty.wav", 1.0, 1.0);
    EXPECT_EQ(runner.StartMediaJob(job, false), JobStartResult::EmptyRange);
    EXPECT_FALSE(runner.IsRunning());
    EXPECT_FALSE(fs::exists(dir / "empty.wav"));
}

TEST_F(MediaJobRunnerTest, DestructionJoinsARunningWorker) {
    {
        MediaJobRunner runner;
        PrepareJoin(job, {fixtures.Wav(3.0)}, dir / "d.mp3", {3.0});
        ASSERT_EQ(runner.StartMediaJob(job, true), JobStartResult::Started);
    }
    EXPECT_EQ(job.currentIndex, 1);
    EXPECT_EQ(job.fileStatus[0], kInputDone);
}

}  // namespace
}  // namespace tolvane::testing
