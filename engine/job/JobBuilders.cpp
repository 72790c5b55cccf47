#include "engine/job/JobBuilders.h"

#include <algorithm>

namespace tolvane {

void PrepareCutJob(MediaJob& job, const std::string& input, const std::string& output,
                   double startSec, double endSec) {
    job.joinMode = false;
    job.reencode = false;
    job.removeStretch = false;
    job.fileCount = 1;
    job.displayCount = 0;
    job.progressPercent = -1;
    job.inputNames = {input};
    job.outputNames = {output};
    job.startSec[0] = startSec;
    job.endSec[0] = endSec;
    job.lengthSec[0] = endSec - startSec;
}

void PrepareJoinJob(MediaJob& job, std::span<const JoinRange> ranges, const std::string& output,
                    const JoinEncoding& encoding) {
    const int count = static_cast<int>(ranges.size());
    const std::size_t slots = std::min<std::size_t>(ranges.size(), kMaxJobInputs);
    job.joinMode = true;
    job.reencode = true;
    job.removeStretch = false;
    job.fileCount = count;
    job.displayCount = count;
    job.progressPercent = -1;
    job.inputNames.clear();
    for (const JoinRange& range : ranges)
        job.inputNames.push_back(range.input);
    job.outputNames.assign(ranges.size(), output);
    for (std::size_t k = 0; k < slots; ++k) {
        job.startSec[k] = ranges[k].startSec;
        job.endSec[k] = ranges[k].endSec;
    }
    job.totalLengthSec = JoinTotalLengthSec(std::span(job.startSec).first(slots),
                                            std::span(job.endSec).first(slots));
    job.audioCodecId = kMp3CodecId;
    job.audioBitRate = encoding.bitRate;
    job.audioSampleRate = encoding.sampleRate;
    job.audioChannels = encoding.channels;
}

void PrepareCopyJoinJob(MediaJob& job, std::span<const JoinRange> ranges,
                        const std::string& output) {
    PrepareJoinJob(job, ranges, output, JoinEncoding{});
    job.reencode = false;
    job.audioCodecId = 0;
}

void PrepareRemoveJob(MediaJob& job, const std::string& input, const std::string& output,
                      double startSec, double endSec, double lengthSec) {
    const bool atStart = !(startSec > 0);
    const bool atEnd = !(endSec < lengthSec - kRemoveEndSlackSec);
    if (atStart && atEnd) {
        PrepareCutJob(job, input, output, 0.0, 0.0);  // nothing would remain
    } else if (atStart || atEnd) {
        PrepareCutJob(job, input, output, atStart ? endSec : 0.0, atStart ? lengthSec : startSec);
    } else {
        PrepareCutJob(job, input, output, startSec, endSec);
        job.removeStretch = true;
        job.lengthSec[0] = startSec + (lengthSec - endSec);
    }
}

}  // namespace tolvane
