#include "LanguageRefresh.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>
#include <string_view>

#include "IniProfile.h"
#include "LanguageTable.h"
#include "ProgramFolder.h"
#include "TextEncoding.h"

#ifndef TOLVANE_LANGUAGE_URL
#define TOLVANE_LANGUAGE_URL ""
#endif

namespace tolvane {

namespace {

struct CurlDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using CurlHandle = std::unique_ptr<CURL, CurlDeleter>;

struct Download {
    std::string body;
    std::size_t maxBytes = 0;
    bool tooLarge = false;
};

// Counts the bytes as they arrive (after any content decoding), so a body without a
// Content-Length or a compressed one that expands is stopped all the same.
std::size_t CollectBody(char* data, std::size_t size, std::size_t count, void* userData) {
    auto* download = static_cast<Download*>(userData);
    const std::size_t bytes = size * count;
    if (bytes > download->maxBytes - download->body.size()) {
        download->tooLarge = true;
        return 0;  // makes curl abort the transfer
    }
    download->body.append(data, bytes);
    return bytes;
}

void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// UTF-16LE text (after its byte-order mark): whole code units, no NUL, every surrogate
// in a pair.
bool IsCleanUtf16Le(std::string_view bytes) {
    if (bytes.size() % 2 != 0)
        return false;
    bool expectLow = false;
    for (std::size_t at = 0; at < bytes.size(); at += 2) {
        const auto unit = static_cast<char16_t>(static_cast<unsigned char>(bytes[at]) |
                                                (static_cast<unsigned char>(bytes[at + 1]) << 8));
        const bool high = unit >= 0xD800 && unit <= 0xDBFF;
        const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
        if (unit == 0 || low != expectLow || (expectLow && high))
            return false;
        expectLow = high;
    }
    return !expectLow;
}

// A complete language file: text in one of the profile encodings (UTF-16 that decodes
// without a lone surrogate or a NUL), with every text the program reads. A body cut
// short, or one of another kind, would leave the window without its texts.
bool IsLanguageFile(std::string_view body) {
    if (body.empty())
        return false;
    if (body.starts_with("\xFF\xFE")) {
        if (!IsCleanUtf16Le(body.substr(2)))
            return false;
    } else if (!IsValidUtf8(body) || body.find('\0') != std::string_view::npos) {
        return false;
    }
    return HoldsEveryLanguageText(IniDocument::Parse(body));
}

}  // namespace

std::string LanguageRefreshUrl() {
    return TOLVANE_LANGUAGE_URL;
}

LanguageRefreshResult RefreshLanguageFile(const std::string& url,
                                          const std::filesystem::path& target,
                                          const LanguageRefreshOptions& options) {
    if (url.empty())
        return LanguageRefreshResult::NotConfigured;
    InitCurlOnce();
    CurlHandle curl(curl_easy_init());
    if (!curl)
        return LanguageRefreshResult::NetworkError;

    Download download;
    download.maxBytes = options.maxBytes;
    const long timeoutMs = static_cast<long>(options.timeout.count());
    CURL* handle = curl.get();
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(handle, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, timeoutMs);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, timeoutMs);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &CollectBody);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &download);

    const CURLcode code = curl_easy_perform(handle);
    if (download.tooLarge)
        return LanguageRefreshResult::TooLarge;
    if (code != CURLE_OK)
        return LanguageRefreshResult::NetworkError;
    // curl calls any answer a success. Only 200 carries the whole file: 206 is a part of
    // it, 203 a copy a proxy may have changed.
    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    if (status != 200)
        return LanguageRefreshResult::HttpError;
    if (!IsLanguageFile(download.body))
        return LanguageRefreshResult::BadContent;
    return ReplaceFileAtomically(target, download.body) ? LanguageRefreshResult::Replaced
                                                        : LanguageRefreshResult::WriteError;
}

LanguageRefreshResult RefreshChineseLanguageFile() {
    return RefreshLanguageFile(LanguageRefreshUrl(), LanguageFilePath(kRefreshedLanguageFile));
}

}  // namespace tolvane
