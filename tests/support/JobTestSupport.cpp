#include "JobTestSupport.h"

#include "engine/job/JobBuilders.h"

#include <sstream>

extern "C" {
#include <libavutil/log.h>
}

namespace tolvane::testing {

namespace {
// The library's stream descriptions would drown the test output.
const bool kQuietLog = [] {
    av_log_set_level(AV_LOG_ERROR);
    return true;
}();
}  // namespace

void PrepareCut(MediaJob& job, const fs::path& input, const fs::path& output, double startSec,
                double endSec) {
    (void)kQuietLog;
    PrepareCutJob(job, input.string(), output.string(), startSec, endSec);
}

void PrepareJoin(MediaJob& job, const std::vector<fs::path>& inputs, const fs::path& output,
                 const std::vector<double>& lengths, int bitRate, int sampleRate, int channels) {
    std::vector<JoinRange> ranges;
    for (std::size_t k = 0; k < inputs.size(); ++k)
        ranges.push_back({inputs[k].string(), 0.0, k < lengths.size() ? lengths[k] : 0.0});
    PrepareJoinJob(job, ranges, output.string(), {bitRate, sampleRate, channels});
}

void RunJob(MediaJob& job) {
    job.currentIndex = -1;
    job.cancelRequested = false;
    job.progressPercent = 0;
    MediaJobWorker(job);
}

ProbeResult ProbeFile(MediaJob& job, const fs::path& file) {
    (void)kQuietLog;
    job.probeFileName = file.string();
    return ProbeMedia(job);
}

std::vector<std::string> PacketHashes(const fs::path& file, int count) {
    std::string out;
    RunCommand(
        "ffprobe -v error -select_streams a:0 -show_data_hash MD5 "
        "-show_entries packet=data_hash -of csv=p=0 " +
            ShellQuote(file.string()),
        &out);
    std::vector<std::string> hashes;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        if (count >= 0 && static_cast<int>(hashes.size()) >= count)
            break;
        if (!line.empty())
            hashes.push_back(line);
    }
    return hashes;
}

std::string FfmpegRawSamples(const fs::path& file, const std::string& format) {
    std::string samples;
    RunCommand("ffmpeg -nostdin -v error -i " + ShellQuote(file.string()) + " -map 0:a:0 -f " +
                   format + " -",
               &samples);
    return samples;
}

std::optional<std::string> FlacToolRawSamples(const fs::path& file, long skip, long until) {
    std::string command = "flac -d -s -c --force-raw-format --endian=little --sign=signed";
    if (skip > 0)
        command += " --skip=" + std::to_string(skip);
    if (until > 0)
        command += " --until=" + std::to_string(until);
    std::string samples;
    if (RunCommand(command + " " + ShellQuote(file.string()) + " 2>/dev/null", &samples) != 0)
        return std::nullopt;
    return samples;
}

}  // namespace tolvane::testing
