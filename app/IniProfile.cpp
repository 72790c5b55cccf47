#include "IniProfile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <system_error>

#include "TextEncoding.h"
#include "UniqueFd.h"

namespace tolvane {
namespace fs = std::filesystem;

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr std::string_view kBlanks = " \t\r\v\f";

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i]))
            return false;
    }
    return true;
}

// The name of a "[name]" line, or nullopt for any other line.
std::optional<std::string_view> SectionName(std::string_view line) {
    const std::string_view trimmed = Trim(line);
    if (trimmed.empty() || trimmed.front() != '[')
        return std::nullopt;
    const auto close = trimmed.find(']');
    if (close == std::string_view::npos)
        return std::nullopt;
    return Trim(trimmed.substr(1, close - 1));
}

struct KeyLine {
    std::string_view key;
    std::string_view rawValue;  // after the first "=", untrimmed
};

std::optional<KeyLine> ParseKeyLine(std::string_view line) {
    const std::string_view trimmed = Trim(line);
    if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '[')
        return std::nullopt;
    const auto equals = line.find('=');
    if (equals == std::string_view::npos)
        return std::nullopt;
    return KeyLine{Trim(line.substr(0, equals)), line.substr(equals + 1)};
}

bool IsQuote(char c) {
    return c == '"' || c == '\'';
}

// Trimmed, unquoted and cut to the value length the readers use.
std::string CleanValue(std::string_view raw) {
    std::string_view value = Trim(raw);
    if (value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return std::string(Utf8Prefix(value, kProfileValueMaxCharacters));
}

// The text to store so that reading it back gives `value` again: quoted when trimming or
// unquoting would change it.
std::string StoredValue(std::string_view value) {
    const bool loosesBlanks =
        !value.empty() && (kBlanks.find(value.front()) != std::string_view::npos ||
                           kBlanks.find(value.back()) != std::string_view::npos);
    const bool looksQuoted =
        value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front();
    if (loosesBlanks || looksQuoted)
        return "\"" + std::string(value) + "\"";
    return std::string(value);
}

bool HasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

std::string DecodeUtf16Le(std::string_view bytes) {
    std::u16string wide;
    wide.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        wide += static_cast<char16_t>(static_cast<std::uint8_t>(bytes[i]) |
                                      (static_cast<std::uint8_t>(bytes[i + 1]) << 8));
    }
    return Utf16ToUtf8(wide);
}

std::string EncodeUtf16Le(std::string_view utf8) {
    const std::u16string wide = Utf8ToUtf16(utf8);
    std::string bytes;
    bytes.reserve(wide.size() * 2);
    for (const char16_t unit : wide) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

void SyncFolder(const fs::path& folder) {
    const UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.valid())
        ::fsync(fd.get());
}

}  // namespace

std::optional<IniDocument> IniDocument::Load(const fs::path& file) {
    std::error_code ec;
    if (!fs::is_regular_file(file, ec))
        return std::nullopt;
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        return std::nullopt;
    return Parse(bytes);
}

IniDocument IniDocument::Parse(std::string_view bytes) {
    IniDocument document;
    std::string text;
    if (bytes.starts_with(kUtf16LeBom)) {
        document.encoding_ = ProfileEncoding::Utf16LeWithBom;
        text = DecodeUtf16Le(bytes.substr(kUtf16LeBom.size()));
    } else if (bytes.starts_with(kUtf8Bom)) {
        document.encoding_ = ProfileEncoding::Utf8WithBom;
        text = bytes.substr(kUtf8Bom.size());
    } else {
        text = bytes;
    }

    const auto firstBreak = text.find('\n');
    document.lineEnd_ =
        (firstBreak != std::string::npos && firstBreak > 0 && text[firstBreak - 1] == '\r') ? "\r\n"
                                                                                            : "\n";
    document.endsWithLineEnd_ = text.empty() || text.back() == '\n';

    std::size_t start = 0;
    while (start < text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        document.lines_.push_back(std::move(line));
        start = end + 1;
    }
    return document;
}

std::optional<IniDocument::SectionRange> IniDocument::FindSection(std::string_view section) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const auto name = SectionName(lines_[i]);
        if (name && EqualNoCase(*name, section)) {
            std::size_t end = i + 1;
            while (end < lines_.size() && !SectionName(lines_[end]))
                ++end;
            return SectionRange{i, end};
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> IniDocument::FindKeyLine(const SectionRange& range,
                                                    std::string_view key) const {
    for (std::size_t i = range.header + 1; i < range.end; ++i) {
        const auto keyLine = ParseKeyLine(lines_[i]);
        if (keyLine && EqualNoCase(keyLine->key, key))
            return i;
    }
    return std::nullopt;
}

bool IniDocument::HasSection(std::string_view section) const {
    return FindSection(section).has_value();
}

std::optional<std::string> IniDocument::Find(std::string_view section, std::string_view key) const {
    const auto range = FindSection(section);
    if (!range)
        return std::nullopt;
    const auto line = FindKeyLine(*range, key);
    if (!line)
        return std::nullopt;
    return CleanValue(ParseKeyLine(lines_[*line])->rawValue);
}

std::string IniDocument::Get(std::string_view section, std::string_view key,
                             std::string_view defaultValue) const {
    auto value = Find(section, key);
    return value ? std::move(*value)
                 : std::string(Utf8Prefix(defaultValue, kProfileValueMaxCharacters));
}

bool IniDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
    const std::string_view cleanSection = Trim(section);
    const std::string_view cleanKey = Trim(key);
    if (cleanSection.empty() || cleanKey.empty() || HasLineBreak(section) || HasLineBreak(key) ||
        HasLineBreak(value) || cleanSection.find(']') != std::string_view::npos ||
        cleanKey.find('=') != std::string_view::npos || cleanKey.front() == ';' ||
        cleanKey.front() == '[') {
        return false;
    }
    // A UTF-16 file holds only characters: bytes that are not UTF-8 would come back as
    // U+FFFD, a different name or value from the one written.
    if (encoding_ == ProfileEncoding::Utf16LeWithBom &&
        (!IsValidUtf8(section) || !IsValidUtf8(key) || !IsValidUtf8(value))) {
        return false;
    }

    const auto range = FindSection(cleanSection);
    if (!range) {
        if (!lines_.empty() && !Trim(lines_.back()).empty())
            lines_.emplace_back();
        lines_.push_back("[" + std::string(cleanSection) + "]");
        lines_.push_back(std::string(cleanKey) + "=" + StoredValue(value));
        endsWithLineEnd_ = true;
        return true;
    }

    if (const auto line = FindKeyLine(*range, cleanKey)) {
        // Keep the key as it is spelled in the file.
        const std::string existingKey(ParseKeyLine(lines_[*line])->key);
        lines_[*line] = existingKey + "=" + StoredValue(value);
        return true;
    }

    // A new key goes after the section's last key (comments and blank lines that follow it
    // stay in front of the next section).
    std::size_t insertAt = range->header + 1;
    for (std::size_t i = range->header + 1; i < range->end; ++i) {
        if (ParseKeyLine(lines_[i]))
            insertAt = i + 1;
    }
    if (insertAt == lines_.size())
        endsWithLineEnd_ = true;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt),
                  std::string(cleanKey) + "=" + StoredValue(value));
    return true;
}

std::string IniDocument::Serialize() const {
    std::string text;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        text += lines_[i];
        if (i + 1 < lines_.size() || endsWithLineEnd_)
            text += lineEnd_;
    }
    switch (encoding_) {
        case ProfileEncoding::Utf16LeWithBom:
            return std::string(kUtf16LeBom) + EncodeUtf16Le(text);
        case ProfileEncoding::Utf8WithBom:
            return std::string(kUtf8Bom) + text;
        case ProfileEncoding::Utf8:
            break;
    }
    return text;
}

std::string ReadProfileString(const fs::path& file, std::string_view section, std::string_view key,
                              std::string_view defaultValue) {
    const auto document = IniDocument::Load(file);
    return document ? document->Get(section, key, defaultValue)
                    : IniDocument().Get(section, key, defaultValue);
}

namespace {

// Holds an exclusive lock on a folder while a profile file in it is read, changed and
// replaced, so two instances of the program writing at once do not lose each other's key.
class FolderLock {
  public:
    explicit FolderLock(const fs::path& file) {
        const fs::path folder = file.parent_path().empty() ? fs::path(".") : file.parent_path();
        fd_.Reset(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (fd_.valid()) {
            while (::flock(fd_.get(), LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }

  private:
    UniqueFd fd_;  // closing it releases the lock
};

}  // namespace

namespace {

enum class ReplaceOutcome {
    Replaced,
    Refused,          // not a regular file, or one its own permissions protect
    NoTemporaryFile,  // the folder would not take the temporary file (errno kept)
    Failed,           // writing, flushing or renaming failed; nothing changed
};

// The file the replace acts on: the target of a symbolic link, else the file itself.
std::optional<fs::path> ReplaceTarget(const fs::path& file) {
    std::error_code ec;
    if (!fs::is_symlink(file, ec))
        return file;
    fs::path target = fs::canonical(file, ec);
    if (ec)
        return std::nullopt;
    return target;
}

ReplaceOutcome ReplaceAtomically(const fs::path& target, std::string_view bytes) {
    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    if (exists) {
        // The rename would replace a read-only file too; refuse as the file's own
        // protection asks (root passes access(), so look at the mode bits as well).
        if (!S_ISREG(existing.st_mode) || ::access(target.c_str(), W_OK) != 0 ||
            (existing.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
            return ReplaceOutcome::Refused;
        }
    }

    fs::path folder = target.parent_path();
    if (folder.empty())
        folder = ".";
    std::string pattern = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    UniqueFd fd(::mkostemp(pattern.data(), O_CLOEXEC));
    if (!fd.valid())
        return ReplaceOutcome::NoTemporaryFile;

    bool ok = WriteAll(fd.get(), bytes);
    if (ok) {
        if (exists) {
            ok = ::fchmod(fd.get(), existing.st_mode & 07777) == 0;
            // Keeping the owner needs privileges; without them the file becomes ours.
            [[maybe_unused]] const int ignored =
                ::fchown(fd.get(), existing.st_uid, existing.st_gid);
        } else {
            ok = ::fchmod(fd.get(), 0644) == 0;
        }
    }
    ok = ok && ::fsync(fd.get()) == 0;
    ok = fd.Close() && ok;
    ok = ok && ::rename(pattern.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(pattern.c_str());
        return ReplaceOutcome::Failed;
    }
    SyncFolder(folder);
    return ReplaceOutcome::Replaced;
}

// Rewrites an existing, writable file through its own inode, for a folder that takes
// no new file. The space is reserved first, so a full disk fails before any byte
// changes; the bytes are flushed before the call returns.
bool RewriteInPlace(const fs::path& target, std::string_view bytes) {
    UniqueFd fd(::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!fd.valid())
        return false;
    struct stat info {};
    bool ok = ::fstat(fd.get(), &info) == 0 && S_ISREG(info.st_mode);
    const auto size = static_cast<off_t>(bytes.size());
    if (ok && size > info.st_size)
        ok = ::posix_fallocate(fd.get(), 0, size) == 0;
    ok = ok && WriteAll(fd.get(), bytes) && ::ftruncate(fd.get(), size) == 0 &&
         ::fsync(fd.get()) == 0;
    ok = fd.Close() && ok;
    return ok;
}

}  // namespace

bool WriteProfileString(const fs::path& file, std::string_view section, std::string_view key,
                        std::string_view value) {
    const FolderLock lock(file);
    std::error_code ec;
    IniDocument document;
    if (fs::exists(fs::symlink_status(file, ec))) {
        auto loaded = IniDocument::Load(file);
        if (!loaded) {
            return false;  // there but unreadable: never replace what we cannot keep
        }
        document = std::move(*loaded);
    }
    if (!document.Set(section, key, value))
        return false;
    const auto target = ReplaceTarget(file);
    if (!target)
        return false;
    const std::string bytes = document.Serialize();
    switch (ReplaceAtomically(*target, bytes)) {
        case ReplaceOutcome::Replaced:
            return true;
        case ReplaceOutcome::NoTemporaryFile:
            // A writable file in a folder the user may not write: the only way to keep
            // the setting is to write the file itself.
            if ((errno == EACCES || errno == EPERM) && fs::is_regular_file(*target, ec))
                return RewriteInPlace(*target, bytes);
            return false;
        case ReplaceOutcome::Refused:
        case ReplaceOutcome::Failed:
            return false;
    }
    return false;
}

bool ReplaceFileAtomically(const fs::path& file, std::string_view bytes) {
    const auto target = ReplaceTarget(file);
    return target && ReplaceAtomically(*target, bytes) == ReplaceOutcome::Replaced;
}

}  // namespace tolvane
