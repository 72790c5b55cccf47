#pragma once
// The refresh of the Chinese language file from the maker's web address at start-up.
// Blocking but bounded; the result is only for tests and logs, the program ignores it.
// The file is replaced only by a 200 answer that is a complete language file (every
// text the program reads, none empty) of sane size, through an atomic rename; every
// failure leaves the existing copy byte for byte as it was.

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string>

namespace tolvane {

enum class LanguageRefreshResult {
    Replaced,       // the target now holds the downloaded file
    NotConfigured,  // no address was built in: nothing done
    NetworkError,   // refused, unreachable or timed out
    HttpError,      // the server answered with a status other than 200
    TooLarge,       // the body grew past the size limit (download aborted)
    BadContent,     // empty, not text, or a section or text missing or empty
    WriteError,     // the file could not be replaced
};

struct LanguageRefreshOptions {
    std::chrono::milliseconds timeout{4000};      // whole transfer, connection included
    std::size_t maxBytes = std::size_t{1} << 20;  // a language file is a few kilobytes
};

// Downloads `url` and, when it is a language file, stores it as `target`.
LanguageRefreshResult RefreshLanguageFile(const std::string& url,
                                          const std::filesystem::path& target,
                                          const LanguageRefreshOptions& options = {});

// The start-up refresh: the built-in address (empty: NotConfigured) into
// <program folder>/languages/chinese.ini.
LanguageRefreshResult RefreshChineseLanguageFile();

// The built-in address: the TOLVANE_LANGUAGE_URL build setting, the full address of the
// file on the server (e.g. "https://tolvane.example/languages/chinese20212.ini"); empty
// when the build sets none.
std::string LanguageRefreshUrl();

}  // namespace tolvane
