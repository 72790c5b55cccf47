#pragma once
// The single output of a job: the muxer context over an exclusively created file.
// A job that fails discards it (the file is ours and is not a result); a job that
// ends or is cancelled finishes it, so it is always a valid file.

#include <memory>
#include <string>
#include <vector>

#include "engine/naming/ExclusiveOutputFile.h"
#include "engine/ffmpeg/FfmpegHolders.h"
#include "engine/job/FlacChecksum.h"

namespace tolvane {

class JobOutput {
  public:
    // Makes the muxer context; the container follows the extension of `path`.
    int Open(const std::string& path);
    // Whether a FLAC output's header states the MD5 of its samples, which takes decoding
    // every frame written (on by default).
    void SumFlacSamples(bool sum) { sumFlacSamples_ = sum; }
    bool IsOpen() const { return context_ != nullptr; }
    const std::string& path() const { return path_; }
    AVFormatContext* context() const { return context_.get(); }
    AVStream* AddStream();
    // Creates the file (never over an existing one: a name another writer took meanwhile
    // gives way to the next free one, see path()) and writes the container header.
    int WriteHeader();
    bool HeaderWritten() const { return headerWritten_; }
    // Writes one packet (ownership of its data passes to the muxer).
    int Write(AVPacket* packet);
    // True once a packet has been written.
    bool HasPackets() const { return packetsWritten_ > 0; }
    // Whether the container can hold stretches one after another as streams of their own,
    // each with its own headers, start and end (a chained Ogg file).
    bool CanChain() const;
    // Ends the running stream (its last page written) and begins another in the same
    // file: the caller adds the new stream's streams, WriteHeader() writes its headers.
    // Every stream of the file gets a serial number of its own. 0 or an FFmpeg error.
    int StartLink();
    // The length of the running stream's audio, when known before its header: a chained
    // file's pages are made short enough that each stream has several (a Vorbis reader
    // loses a stream of one audio page when another follows it).
    void SetLinkLength(double seconds) { linkSeconds_ = seconds; }
    // Writes the trailer and closes the file. On a failure the file is removed.
    int Finish();
    // Drops the output: the context is freed and the file we created removed.
    void Discard();

  private:
    void FixStreamHeaders();
    int RewriteFlacStreamInfo();
    int FixMp3InfoHeader();
    bool IsMp4() const;
    int FixMp4MovieDuration();
    // Options of the muxer's header; 0 or an FFmpeg error.
    int HeaderOptions(ff::Dictionary& options);

    std::string path_;
    ff::OutputFormatPtr context_;
    ExclusiveOutputFile file_;
    bool headerWritten_ = false;
    // Streams ended by StartLink(), and the serial numbers their streams took.
    int linksEnded_ = 0;
    std::vector<unsigned> serials_;
    double linkSeconds_ = 0.0;
    std::int64_t packetsWritten_ = 0;
    // Sum of packet durations per output stream, in that stream's time base.
    std::vector<std::int64_t> writtenDuration_;
    // Whether the first MP3 frame written carries a CRC (its header's protection bit).
    bool mp3CrcProtected_ = false;
    // The MD5 of a FLAC file's samples, summed up as its frames are written.
    bool sumFlacSamples_ = true;
    std::unique_ptr<FlacChecksum> flacChecksum_;
};

}  // namespace tolvane
