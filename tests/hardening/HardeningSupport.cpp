#include "HardeningSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

namespace tolvane::testing {

namespace {
// The library's stream descriptions and complaints about damaged files would bury the
// test output. Set once all static set-up (the job helpers' own log level included) is
// done, before the first test.
class QuietLibraryLog : public ::testing::Environment {
  public:
    void SetUp() override { av_log_set_level(AV_LOG_QUIET); }
};
const auto* const kQuietLog = ::testing::AddGlobalTestEnvironment(new QuietLibraryLog);

void PutLe16(std::string& out, std::uint16_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8);
}
void PutLe32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
}
}  // namespace

bool JobFailed(const MediaJob& job) {
    for (int i = 0; i < job.fileCount; ++i)
        if (job.fileStatus[static_cast<std::size_t>(i)] == kInputFailed)
            return true;
    return false;
}

bool JobDone(const MediaJob& job) {
    for (int i = 0; i < job.fileCount; ++i)
        if (job.fileStatus[static_cast<std::size_t>(i)] != kInputDone)
            return false;
    return job.currentIndex == job.fileCount;
}

void WriteBytes(const fs::path& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

std::string WavBytes(int channels, int sampleRate, std::uint32_t dataSizeField,
                     std::size_t dataBytes, std::uint32_t byteRateField) {
    std::string out = "RIFF";
    PutLe32(out, static_cast<std::uint32_t>(36 + dataBytes));
    out += "WAVEfmt ";
    PutLe32(out, 16);
    PutLe16(out, 1);  // PCM
    PutLe16(out, static_cast<std::uint16_t>(channels));
    PutLe32(out, static_cast<std::uint32_t>(sampleRate));
    // Unsigned: a hostile rate times the frame size may pass 32 bits, and wraps as a
    // header field would.
    const std::uint32_t impliedByteRate =
        static_cast<std::uint32_t>(sampleRate) * static_cast<std::uint32_t>(channels) * 2u;
    PutLe32(out, byteRateField != 0 ? byteRateField : impliedByteRate);
    PutLe16(out, static_cast<std::uint16_t>(channels * 2));
    PutLe16(out, 16);
    out += "data";
    PutLe32(out, dataSizeField);
    for (std::size_t i = 0; i < dataBytes / 2; ++i) {
        const double phase = 2 * M_PI * 440.0 * static_cast<double>(i) / 44100.0;
        PutLe16(out, static_cast<std::uint16_t>(static_cast<std::int16_t>(8000 * std::sin(phase))));
    }
    return out;
}

bool OpensAsMedia(const fs::path& file) {
    AVFormatContext* raw = nullptr;
    const std::string url = "file:" + file.string();
    if (avformat_open_input(&raw, url.c_str(), nullptr, nullptr) < 0)
        return false;
    const bool ok = avformat_find_stream_info(raw, nullptr) >= 0 && raw->nb_streams > 0;
    avformat_close_input(&raw);
    return ok;
}

void ExpectFailedCleanlyOrValid(const MediaJob& job, const fs::path& output, double minSeconds) {
    std::error_code ec;
    if (JobFailed(job)) {
        EXPECT_FALSE(fs::exists(output, ec)) << "a failed job left " << output;
        return;
    }
    EXPECT_TRUE(JobDone(job)) << "the job neither failed nor finished";
    ASSERT_TRUE(fs::exists(output, ec)) << "a finished job wrote no " << output;
    EXPECT_TRUE(OpensAsMedia(output)) << output << " does not open";
    ProbeInfo info = Ffprobe(output);
    EXPECT_TRUE(info.ok) << "ffprobe cannot read " << output;
    if (minSeconds >= 0) {
        EXPECT_GE(info.durationSec, minSeconds) << output;
    }
}

int OpenFileDescriptors() {
    int count = 0;
    std::error_code ec;
    for (auto it = fs::directory_iterator("/proc/self/fd", ec);
         !ec && it != fs::directory_iterator(); it.increment(ec))
        ++count;
    return count;
}

}  // namespace tolvane::testing
