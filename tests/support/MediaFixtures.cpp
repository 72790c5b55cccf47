#include "MediaFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace tolvane::testing {

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "tolvane-test-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr)
        ADD_FAILURE() << "cannot make a temporary folder";
    path_ = buffer.data();
}

TempDir::~TempDir() {
    std::error_code ec;
    // Tests may leave read-only folders behind; make them removable first.
    for (auto it = fs::recursive_directory_iterator(path_, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(path_, ec);
}

std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

int RunCommand(const std::string& command, std::string* output) {
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return -1;
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        text.append(buffer, n);
    int status = pclose(pipe);
    if (output != nullptr)
        *output = std::move(text);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool RunFfmpeg(const std::string& args, const fs::path& path) {
    std::string command = "ffmpeg -nostdin -y -hide_banner -loglevel error " + args + " " +
                          ShellQuote(path.string()) + " 2>&1";
    std::string output;
    int status = RunCommand(command, &output);
    if (status != 0) {
        ADD_FAILURE() << "ffmpeg failed (" << status << "): " << command << "\n" << output;
        return false;
    }
    return true;
}

static std::string ToneSource(double seconds, int rate, int channels) {
    std::ostringstream s;
    s << "-f lavfi -i \"sine=frequency=440:sample_rate=" << rate << ":duration=" << seconds
      << "\" ";
    if (channels >= 2) {
        s << "-f lavfi -i \"sine=frequency=660:sample_rate=" << rate << ":duration=" << seconds
          << "\" -filter_complex \"[0:a][1:a]amerge=inputs=2";
        if (channels > 2)
            s << ",pan=" << channels << "c|"
              << "c0=c0|c1=c1";
        if (channels > 2)
            for (int c = 2; c < channels; ++c)
                s << "|c" << c << "=0.5*c0+0.5*c1";
        s << "\" ";
    }
    return s.str();
}

fs::path MakeTone(const fs::path& dir, const std::string& name, double seconds, int rate,
                  int channels, const std::string& codecArgs) {
    fs::path path = dir / name;
    RunFfmpeg(ToneSource(seconds, rate, channels) + "-map_metadata -1 " + codecArgs, path);
    return path;
}

ChainedOgg MakeChainedOgg(const fs::path& dir, const std::string& name,
                          const std::string& extension, const std::string& codecArgs,
                          const std::vector<double>& seconds, int rate) {
    ChainedOgg chained{dir / (name + "." + extension), {}};
    std::ofstream out(chained.file, std::ios::binary);
    for (std::size_t i = 0; i < seconds.size(); ++i) {
        const fs::path part = dir / (name + ".part" + std::to_string(i) + "." + extension);
        RunFfmpeg("-f lavfi -i \"anoisesrc=seed=" + std::to_string(i + 1) +
                      ":amplitude=" + std::to_string(0.6 / static_cast<double>(i + 1)) +
                      ":sample_rate=" + std::to_string(rate) +
                      ":duration=" + std::to_string(seconds[i]) +
                      ",lowpass=f=" + std::to_string(rate / 8) + "\" -ac 2 -map_metadata -1 " +
                      codecArgs + " -serial_offset " + std::to_string(1000 * (i + 1)),
                  part);
        out << ReadFileBytes(part);
        chained.parts.push_back(part);
    }
    return chained;
}

static fs::path Once(const fs::path& path, const std::function<void(const fs::path&)>& make) {
    if (!fs::exists(path))
        make(path);
    return path;
}

fs::path Fixtures::Mp3(double s) {
    return Once(dir / ("tone" + std::to_string(int(s * 1000)) + ".mp3"), [&](const fs::path& p) {
        MakeTone(dir, p.filename().string(), s, 44100, 2, "-c:a libmp3lame -b:a 128k");
    });
}
fs::path Fixtures::Wav(double s) {
    return Once(dir / ("tone" + std::to_string(int(s * 1000)) + ".wav"), [&](const fs::path& p) {
        MakeTone(dir, p.filename().string(), s, 44100, 2, "-c:a pcm_s16le");
    });
}
fs::path Fixtures::Flac(double s) {
    return Once(dir / ("tone" + std::to_string(int(s * 1000)) + ".flac"), [&](const fs::path& p) {
        MakeTone(dir, p.filename().string(), s, 44100, 2, "-c:a flac");
    });
}
fs::path Fixtures::Ogg(double s) {
    return Once(dir / ("tone" + std::to_string(int(s * 1000)) + ".ogg"), [&](const fs::path& p) {
        MakeTone(dir, p.filename().string(), s, 44100, 2, "-c:a libvorbis -q:a 4");
    });
}
fs::path Fixtures::M4a(double s) {
    return Once(dir / ("tone" + std::to_string(int(s * 1000)) + ".m4a"), [&](const fs::path& p) {
        MakeTone(dir, p.filename().string(), s, 44100, 2, "-c:a aac -b:a 128k");
    });
}

static std::string Mp3Name(const std::string& stem, bool upperCase) {
    return stem + (upperCase ? ".MP3" : ".mp3");
}

fs::path Fixtures::AacNamedMp3(bool up) {
    return Once(dir / Mp3Name("aac_inside", up), [&](const fs::path& p) {
        MakeTone(dir, p.filename().string(), 3.0, 44100, 2, "-c:a aac -b:a 128k -f adts");
    });
}
fs::path Fixtures::Mp2NamedMp3(bool up) {
    return Once(dir / Mp3Name("mp2_inside", up), [&](const fs::path& p) {
        MakeTone(dir, p.filename().string(), 3.0, 44100, 2, "-c:a mp2 -b:a 192k -f mp2");
    });
}
fs::path Fixtures::PcmNamedMp3(bool up) {
    return Once(dir / Mp3Name("pcm_inside", up), [&](const fs::path& p) {
        MakeTone(dir, p.filename().string(), 3.0, 44100, 2, "-c:a pcm_s16le -f wav");
    });
}
fs::path Fixtures::FlacNamedMp3(bool up) {
    return Once(dir / Mp3Name("flac_inside", up), [&](const fs::path& p) {
        MakeTone(dir, p.filename().string(), 3.0, 44100, 2, "-c:a flac -f flac");
    });
}

fs::path Fixtures::Mp3WithCover() {
    return Once(dir / "cover_png.mp3", [&](const fs::path& p) {
        RunFfmpeg(ToneSource(3.0, 44100, 2) +
                      "-f lavfi -i \"color=c=blue:s=64x64:d=1\" -frames:v 1 -map 0:a "
                      "-map 2:v -c:a libmp3lame -b:a 128k -c:v png -disposition:v attached_pic "
                      "-id3v2_version 3",
                  p);
    });
}
fs::path Fixtures::Mp3WithJpegCover() {
    return Once(dir / "cover_jpg.mp3", [&](const fs::path& p) {
        RunFfmpeg(ToneSource(3.0, 44100, 2) +
                      "-f lavfi -i \"color=c=red:s=64x64:d=1\" -frames:v 1 -map 0:a "
                      "-map 2:v -c:a libmp3lame -b:a 128k -c:v mjpeg -pix_fmt yuvj420p "
                      "-disposition:v attached_pic -id3v2_version 3",
                  p);
    });
}
fs::path Fixtures::VideoFile() {
    return Once(dir / "video.mp4", [&](const fs::path& p) {
        RunFfmpeg(
            "-f lavfi -i \"testsrc=size=160x120:rate=25:duration=2\" -f lavfi -i "
            "\"sine=frequency=440:sample_rate=44100:duration=2\" -c:v mpeg4 -c:a aac",
            p);
    });
}
fs::path Fixtures::UnknownDuration() {
    // Matroska written to a pipe has no Duration element, and FFmpeg cannot estimate
    // one for Vorbis, so the container duration stays unknown.
    fs::path path = dir / "unknown_duration.mka";
    if (!fs::exists(path)) {
        std::string command =
            "ffmpeg -nostdin -v error -f lavfi -i "
            "sine=frequency=440:sample_rate=44100:duration=3 -c:a libvorbis "
            "-f matroska pipe:1 > " +
            ShellQuote(path.string());
        if (RunCommand(command) != 0)
            ADD_FAILURE() << "cannot make " << path;
    }
    return path;
}
fs::path Fixtures::Truncated() {
    return Once(dir / "truncated.mp3", [&](const fs::path& p) {
        std::string bytes = ReadFileBytes(Mp3(3.0));
        std::ofstream(p, std::ios::binary) << bytes.substr(0, 3000);
    });
}
fs::path Fixtures::Empty() {
    return Once(dir / "empty.mp3", [&](const fs::path& p) { std::ofstream(p, std::ios::binary); });
}
fs::path Fixtures::Garbage() {
    return Once(dir / "garbage.mp3", [&](const fs::path& p) {
        std::mt19937 random(12345);
        std::string bytes(20000, '\0');
        for (auto& b : bytes)
            b = static_cast<char>(random() & 0xFF);
        std::ofstream(p, std::ios::binary) << bytes;
    });
}

long FrameSamples(const fs::path& file) {
    std::string output;
    RunCommand("ffprobe -v error -select_streams a:0 -show_entries frame=nb_samples -of csv=p=0 " +
                   ShellQuote(file.string()) + " | awk '{s += $1} END {print s + 0}'",
               &output);
    return std::atol(output.c_str());
}

std::string ReadFileBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return {};
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> FolderEntries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

static std::string Unquote(std::string value) {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    return value;
}

ProbeInfo Ffprobe(const fs::path& file) {
    ProbeInfo info;
    std::string output;
    std::string command =
        "ffprobe -v error -show_format -show_streams -of flat " + ShellQuote(file.string());
    if (RunCommand(command, &output) != 0)
        return info;
    int audioIndex = -1;
    std::istringstream lines(output);
    std::string line;
    std::vector<std::pair<std::string, std::string>> entries;
    while (std::getline(lines, line)) {
        auto eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        entries.emplace_back(line.substr(0, eq), Unquote(line.substr(eq + 1)));
    }
    for (auto& [key, value] : entries) {
        if (key.rfind("streams.stream.", 0) == 0 && key.ends_with(".codec_type")) {
            ++info.streamCount;
            if (value == "audio" && audioIndex < 0)
                audioIndex = std::stoi(key.substr(15, key.find('.', 15) - 15));
        }
    }
    std::string prefix = "streams.stream." + std::to_string(audioIndex) + ".";
    for (auto& [key, value] : entries) {
        if (key == "format.format_name")
            info.formatName = value;
        if (key == "format.duration" && value != "N/A")
            info.durationSec = std::atof(value.c_str());
        if (key.rfind("format.tags.", 0) == 0)
            info.hasTags = true;
        if (audioIndex >= 0 && key.rfind(prefix, 0) == 0) {
            std::string field = key.substr(prefix.size());
            if (field == "codec_name")
                info.codecName = value;
            if (field == "sample_rate")
                info.sampleRate = std::atoi(value.c_str());
            if (field == "channels")
                info.channels = std::atoi(value.c_str());
            if (field == "bit_rate" && value != "N/A")
                info.bitRate = std::atol(value.c_str());
            if (field == "start_time" && value != "N/A")
                info.startTimeSec = std::atof(value.c_str());
        }
    }
    info.ok = info.streamCount > 0;
    return info;
}

PacketTimes FfprobePackets(const fs::path& file) {
    PacketTimes times;
    std::string output;
    std::string command =
        "ffprobe -v error -select_streams a:0 -show_entries packet=pts_time,duration_time -of "
        "csv=p=0 " +
        ShellQuote(file.string());
    if (RunCommand(command, &output) != 0)
        return times;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        auto comma = line.find(',');
        if (comma == std::string::npos)
            continue;
        std::string pts = line.substr(0, comma), duration = line.substr(comma + 1);
        times.pts.push_back(pts == "N/A" ? -1.0 : std::atof(pts.c_str()));
        times.duration.push_back(duration == "N/A" ? 0.0 : std::atof(duration.c_str()));
    }
    return times;
}

}  // namespace tolvane::testing
