#pragma once
// INI profile files with the rules of the classic private-profile functions:
// - section and key names match without regard to (ASCII) case;
// - a value is the text after the first "=", with surrounding blanks removed; a value
//   enclosed in a matching pair of quotes (' or ") loses them, so a text can keep blanks;
// - at most 999 characters (code points) of a value are used;
// - a missing file, section or key gives the default;
// - lines starting with ";" are comments; the first matching section and key win.
// Files are read as UTF-16LE with a byte-order mark, or as UTF-8 with or without one,
// and written back in the encoding they were read in (new files: UTF-8 without BOM).

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tolvane {

inline constexpr std::size_t kProfileValueMaxCharacters = 999;

enum class ProfileEncoding { Utf8, Utf8WithBom, Utf16LeWithBom };

// A whole profile file in memory: its lines (UTF-8, without line ends), its encoding and
// its line-end style. Lookups and edits follow the rules above.
class IniDocument {
  public:
    // Empty document (what a missing file reads as).
    IniDocument() = default;

    // Reads a file; nullopt when it cannot be read (missing, unreadable, not a file).
    static std::optional<IniDocument> Load(const std::filesystem::path& file);
    // Parses bytes as they would stand in a file (BOM detection included).
    static IniDocument Parse(std::string_view bytes);

    // The value, or nullopt when the section or key is missing. Already cut to 999
    // characters.
    std::optional<std::string> Find(std::string_view section, std::string_view key) const;
    std::string Get(std::string_view section, std::string_view key,
                    std::string_view defaultValue = {}) const;
    bool HasSection(std::string_view section) const;

    // Replaces the value of an existing key, or adds the key (and the section) as needed;
    // every other line stays as it was. False (and no change) for a name or value that
    // would break the file's structure: a line break in any of them, "=" in the key,
    // "]" in the section, or an empty section or key name; also for text that is not
    // UTF-8 when the document is UTF-16 (it could not be stored as given).
    bool Set(std::string_view section, std::string_view key, std::string_view value);

    // The bytes to store, in the document's encoding and line-end style.
    std::string Serialize() const;

    ProfileEncoding Encoding() const { return encoding_; }
    const std::vector<std::string>& Lines() const { return lines_; }

  private:
    struct SectionRange {
        std::size_t header;  // index of the "[name]" line
        std::size_t end;     // one past the last line of the section
    };
    std::optional<SectionRange> FindSection(std::string_view section) const;
    std::optional<std::size_t> FindKeyLine(const SectionRange& range, std::string_view key) const;

    std::vector<std::string> lines_;
    ProfileEncoding encoding_ = ProfileEncoding::Utf8;
    std::string lineEnd_ = "\n";
    bool endsWithLineEnd_ = true;
};

// Reads one text value of a profile file (missing file, section or key: the default).
std::string ReadProfileString(const std::filesystem::path& file, std::string_view section,
                              std::string_view key, std::string_view defaultValue = {});

// Writes one text value, creating file, section and key as needed. The file is replaced
// atomically (temporary file in the same folder, flushed, renamed over it, permissions
// kept). When the folder refuses the temporary file but the file itself may be written,
// the file is rewritten in place instead (space reserved first, flushed). A write that
// fails (read-only file, unwritable folder without the file, full disk, a value that
// cannot be stored) changes nothing on disk and is not reported, as the program
// expects; the result is only for tests and logs.
bool WriteProfileString(const std::filesystem::path& file, std::string_view section,
                        std::string_view key, std::string_view value);

// Stores bytes as the whole new content of `file`, atomically, as above, with no
// in-place fallback: either the whole new file or the old one. Used by the language
// refresh.
bool ReplaceFileAtomically(const std::filesystem::path& file, std::string_view bytes);

}  // namespace tolvane
