#pragma once
// Test helpers: a temporary folder, media fixtures made with the ffmpeg command,
// and ffprobe read-outs of outputs. Nothing is downloaded; every file is made at
// run time.

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace tolvane::testing {

namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder, removed with its content.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }

  private:
    fs::path path_;
};

// Runs a shell command; returns its exit status and, if wanted, its standard output.
int RunCommand(const std::string& command, std::string* output = nullptr);
// Quotes a text for the shell.
std::string ShellQuote(const std::string& text);

// Makes `path` with `ffmpeg -y -hide_banner -loglevel error <args> path`.
// Aborts the test (ADD_FAILURE) and returns false when ffmpeg fails.
bool RunFfmpeg(const std::string& args, const fs::path& path);

// A sine tone (two tones, one per channel for stereo) of `seconds` at `rate` Hz with
// `channels` channels, encoded with `codecArgs` (e.g. "-c:a libmp3lame -b:a 128k").
// The container follows the file extension unless codecArgs holds "-f".
fs::path MakeTone(const fs::path& dir, const std::string& name, double seconds, int rate = 44100,
                  int channels = 2, const std::string& codecArgs = "");

// A chained Ogg file made by writing `seconds.size()` Ogg files (band-limited noise, each its own
// seed, stream serial and loudness, quieter link by link, encoded with `codecArgs`) one after
// another: `file` and the `parts` it is made of, each a file of its own. `extension` is "opus" or
// "ogg".
// The codecs a chained Ogg file is made of in the tests, as ffmpeg encodes them.
struct OggCodec {
    std::string extension;  // "opus" or "ogg"
    std::string codecArgs;
};
inline const OggCodec kOggCodecs[] = {{"opus", "-c:a libopus -b:a 96k"},
                                      {"ogg", "-c:a libvorbis -q:a 4"}};
inline void PrintTo(const OggCodec& codec, std::ostream* os) {
    *os << codec.extension;
}

struct ChainedOgg {
    fs::path file;
    std::vector<fs::path> parts;
};
ChainedOgg MakeChainedOgg(const fs::path& dir, const std::string& name,
                          const std::string& extension, const std::string& codecArgs,
                          const std::vector<double>& seconds, int rate = 48000);

// Ready-made fixtures, each made on first use in the given folder.
struct Fixtures {
    explicit Fixtures(fs::path dir) : dir(std::move(dir)) {}
    fs::path dir;

    fs::path Mp3(double seconds = 3.0);   // 44.1 kHz stereo 128k MP3 "tone.mp3"
    fs::path Wav(double seconds = 3.0);   // 44.1 kHz stereo s16 "tone.wav"
    fs::path Flac(double seconds = 3.0);  // "tone.flac"
    fs::path Ogg(double seconds = 3.0);   // Vorbis "tone.ogg"
    fs::path M4a(double seconds = 3.0);   // AAC in MP4 "tone.m4a"
    // Streams of another codec in a file named ".mp3" (upper-case name for ".MP3").
    fs::path AacNamedMp3(bool upperCase = false);   // ADTS AAC
    fs::path Mp2NamedMp3(bool upperCase = false);   // MPEG-1 Layer II
    fs::path PcmNamedMp3(bool upperCase = false);   // WAV, s16le
    fs::path FlacNamedMp3(bool upperCase = false);  // FLAC
    fs::path Mp3WithCover();                        // MP3 with an attached PNG picture
    fs::path Mp3WithJpegCover();                    // MP3 with an attached MJPEG picture
    fs::path VideoFile();                           // MP4 with a real video stream and audio
    fs::path UnknownDuration();                     // Vorbis in Matroska without a duration
    fs::path Truncated();                           // first 3000 bytes of an MP3
    fs::path Empty();                               // zero bytes, named "empty.mp3"
    fs::path Garbage();                             // random bytes named "garbage.mp3"
};

// What ffprobe says of a file.
struct ProbeInfo {
    bool ok = false;          // ffprobe ran and found a stream
    std::string formatName;   // format_name
    double durationSec = -1;  // format duration, -1 when absent
    int streamCount = 0;
    std::string codecName;  // first audio stream
    int sampleRate = 0;
    int channels = 0;
    long bitRate = 0;         // first audio stream bit rate, 0 when absent
    double startTimeSec = 0;  // first audio stream start_time
    bool hasTags = false;     // the container carries any tag
};
ProbeInfo Ffprobe(const fs::path& file);

// Presentation times (seconds) and durations of every audio packet, in file order.
struct PacketTimes {
    std::vector<double> pts;
    std::vector<double> duration;
};
PacketTimes FfprobePackets(const fs::path& file);

// Reads a whole file into a string (binary); empty when it cannot be read.
std::string ReadFileBytes(const fs::path& file);
// Samples of every frame FFmpeg's decoder gives for a file (ffprobe), damaged frames
// left out. Unlike a decode to raw samples, no packet is dropped for its time stamps.
long FrameSamples(const fs::path& file);

// Names of the entries of a folder, sorted (to see what a job or a write left there).
std::vector<std::string> FolderEntries(const fs::path& folder);

}  // namespace tolvane::testing
