#include "engine/naming/OutputNaming.h"

#include <cerrno>
#include <climits>
#include <sys/stat.h>

namespace tolvane {

namespace {

// Longest file name (one path component) the file systems we write to accept.
constexpr std::size_t kMaxFileNameBytes = NAME_MAX;
// Bound on "(n)" candidates, so a folder that answers "exists" for every name cannot
// keep the search going for ever.
constexpr int kMaxNumberedCandidates = 100000;

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

enum class NameState { Free, Taken, Unknown, TooLong };

// lstat, not stat: a dangling link is a name the output must not be opened through.
NameState StateOfName(const std::string& path) {
    struct stat info;
    if (lstat(path.c_str(), &info) == 0)
        return NameState::Taken;
    if (errno == ENOENT)
        return NameState::Free;
    if (errno == ENAMETOOLONG)
        return NameState::TooLong;
    return NameState::Unknown;
}

std::optional<std::string> Fail(OutputNamingError error, OutputNamingError* why) {
    if (why != nullptr)
        *why = error;
    return std::nullopt;
}

}  // namespace

const char* DescribeOutputNamingError(OutputNamingError error) {
    switch (error) {
        case OutputNamingError::None:
            return "no error";
        case OutputNamingError::NoExtension:
            return "the input's file name has no extension, so no output name can be made";
        case OutputNamingError::BadFormatEntry:
            return "the output format names no file extension";
        case OutputNamingError::NameTooLong:
            return "the output's file name would be too long for the file system";
        case OutputNamingError::FolderUnusable:
            return "the output folder cannot be searched for existing files";
        case OutputNamingError::NoFreeName:
            return "every numbered output name is taken in the output folder";
    }
    return "unknown naming error";
}

std::string_view InputFileName(std::string_view inputPath) {
    const std::size_t slash = inputPath.rfind('/');
    return slash == std::string_view::npos ? inputPath : inputPath.substr(slash + 1);
}

std::optional<std::string> OutputBaseName(std::string_view inputPath) {
    std::string_view name = InputFileName(inputPath);
    std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos)
        return std::nullopt;
    return std::string(name.substr(0, dot));
}

std::string MislabelledTrueExtension(std::string_view inputPath, const MislabelFlags& probeFlags) {
    std::string_view name = InputFileName(inputPath);
    std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || !EqualsIgnoringAsciiCase(name.substr(dot), ".mp3"))
        return {};
    std::string extension;
    if (probeFlags.aac)
        extension = ".aac";
    if (probeFlags.mp2)
        extension = ".mp2";
    if (probeFlags.wav)
        extension = ".wav";
    if (probeFlags.flac)
        extension = ".flac";
    return extension;
}

std::optional<std::string> CutOutputExtension(std::string_view inputPath,
                                              const MislabelFlags& probeFlags) {
    std::string_view name = InputFileName(inputPath);
    std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos)
        return std::nullopt;
    std::string trueExtension = MislabelledTrueExtension(inputPath, probeFlags);
    if (!trueExtension.empty())
        return trueExtension;
    return std::string(name.substr(dot));
}

std::optional<std::string> JoinOutputExtension(std::string_view formatEntry) {
    std::size_t star = formatEntry.rfind('*');
    if (star == std::string_view::npos)
        return std::nullopt;
    std::string_view rest = formatEntry.substr(star + 1);
    std::string_view extension = rest.substr(0, rest.find(')'));
    // Anything but ".something" would put the "(n)" and the name in the wrong place.
    if (extension.size() < 2 || extension.front() != '.' ||
        extension.find_first_of("/\\") != std::string_view::npos)
        return std::nullopt;
    return std::string(extension);
}

std::optional<std::string> FreeOutputPath(std::string_view folder, std::string_view base,
                                          std::string_view extension, OutputNamingError* why) {
    if (why != nullptr)
        *why = OutputNamingError::None;
    std::string prefix(folder);
    if (prefix.empty() || prefix.back() != '/')
        prefix += '/';
    const std::string first = prefix + std::string(base) + std::string(extension);
    // "(n)" goes before the candidate's last "."; the extension always holds one.
    const std::size_t insertAt = first.rfind('.');
    const std::size_t nameBytes = base.size() + extension.size();

    std::string candidate = first;
    for (int n = -1; n < kMaxNumberedCandidates; ++n) {
        if (n >= 0) {
            std::string number = "(" + std::to_string(n) + ")";
            if (nameBytes + number.size() > kMaxFileNameBytes)
                return Fail(OutputNamingError::NameTooLong, why);
            candidate = first.substr(0, insertAt) + number + first.substr(insertAt);
        } else if (nameBytes > kMaxFileNameBytes) {
            return Fail(OutputNamingError::NameTooLong, why);
        }
        switch (StateOfName(candidate)) {
            case NameState::Free:
                return candidate;
            case NameState::Taken:
                break;
            case NameState::TooLong:
                return Fail(OutputNamingError::NameTooLong, why);
            case NameState::Unknown:
                return Fail(OutputNamingError::FolderUnusable, why);
        }
    }
    return Fail(OutputNamingError::NoFreeName, why);
}

std::string NextOutputCandidate(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    const std::size_t nameAt = slash == std::string_view::npos ? 0 : slash + 1;
    std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || dot < nameAt)
        dot = path.size();
    const std::string_view stem = path.substr(0, dot);
    const std::string_view extension = path.substr(dot);
    int next = 0;
    std::string_view base = stem;
    const std::size_t open = stem.rfind('(');
    if (!stem.empty() && stem.back() == ')' && open != std::string_view::npos && open >= nameAt &&
        open + 2 < stem.size()) {
        const std::string_view digits = stem.substr(open + 1, stem.size() - open - 2);
        if (digits.size() <= 6 &&
            digits.find_first_not_of("0123456789") == std::string_view::npos) {
            next = std::stoi(std::string(digits)) + 1;
            base = stem.substr(0, open);
        }
    }
    return std::string(base) + "(" + std::to_string(next) + ")" + std::string(extension);
}

std::optional<std::string> MakeCutOutputPath(std::string_view folder, std::string_view inputPath,
                                             const MislabelFlags& probeFlags,
                                             OutputNamingError* why) {
    std::optional<std::string> base = OutputBaseName(inputPath);
    std::optional<std::string> extension = CutOutputExtension(inputPath, probeFlags);
    if (!base || !extension)
        return Fail(OutputNamingError::NoExtension, why);
    return FreeOutputPath(folder, *base, *extension, why);
}

std::optional<std::string> MakeJoinOutputPath(std::string_view folder,
                                              std::string_view firstInputPath,
                                              std::string_view formatEntry,
                                              OutputNamingError* why) {
    std::optional<std::string> base = OutputBaseName(firstInputPath);
    if (!base)
        return Fail(OutputNamingError::NoExtension, why);
    std::optional<std::string> extension = JoinOutputExtension(formatEntry);
    if (!extension)
        return Fail(OutputNamingError::BadFormatEntry, why);
    return FreeOutputPath(folder, *base, *extension, why);
}

}  // namespace tolvane
