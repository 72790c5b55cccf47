#include "LanguageRefresh.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>

#include "IniTestFiles.h"
#include "LanguageTable.h"
#include "LoopbackHttpServer.h"
#include "MediaFixtures.h"
#include "ProgramFolder.h"
#include "TextEncoding.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::HttpResponse;
using testing::ReadBytes;

constexpr std::string_view kOldFile = "[APPLICATION]\nname=old copy\n";
// The shipped file: complete, every text the program reads in it.
const std::string kNewFile =
    ReadBytes(fs::path(TOLVANE_SOURCE_RESOURCES) / "languages" / "chinese.ini");

// The shipped file with one line changed (`from` replaced by `to`).
std::string WithLine(std::string_view from, std::string_view to) {
    std::string text = kNewFile;
    const auto at = text.find(from);
    return at == std::string::npos ? std::string() : text.replace(at, from.size(), to);
}

class LanguageRefresh : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server_.Listening());
        fs::create_directory(languages_);
        testing::WriteBytes(target_, kOldFile);
    }

    LanguageRefreshResult Refresh(const std::string& path, LanguageRefreshOptions options = {}) {
        options.timeout = 1500ms;
        return RefreshLanguageFile(server_.Url(path), target_, options);
    }

    void ExpectUntouched() {
        EXPECT_EQ(ReadBytes(target_), kOldFile);
        EXPECT_EQ(testing::FolderEntries(languages_).size(), 1u) << "temporary file left";
    }

    testing::LoopbackHttpServer server_;
    testing::TempDir dir_;
    fs::path languages_ = dir_ / "languages";
    fs::path target_ = languages_ / "chinese.ini";
};

TEST_F(LanguageRefresh, ASuccessfulDownloadReplacesTheFile) {
    server_.Serve("/chinese20212.ini", {200, "OK", kNewFile, "", true, {}});
    EXPECT_EQ(Refresh("/chinese20212.ini"), LanguageRefreshResult::Replaced);
    EXPECT_EQ(ReadBytes(target_), kNewFile);
    EXPECT_EQ(LanguageTable::Load(target_).Tishi("jqcg"), "剪切成功！新文件已保存到输出目录。");
    EXPECT_EQ(testing::FolderEntries(languages_).size(), 1u);
}

TEST_F(LanguageRefresh, AcceptsUtf16FilesAndBodiesWithoutLength) {
    const std::u16string text = Utf8ToUtf16(kNewFile);
    const std::string utf16 = testing::Utf16LeBytes(text);
    server_.Serve("/utf16.ini", {200, "OK", utf16, "", false, {}});
    EXPECT_EQ(Refresh("/utf16.ini"), LanguageRefreshResult::Replaced);
    EXPECT_EQ(ReadBytes(target_), utf16);
}

TEST_F(LanguageRefresh, FollowsARedirect) {
    server_.Serve("/chinese20212.ini", {200, "OK", kNewFile, "", true, {}});
    server_.Serve("/old", {302, "Found", "", "Location: /chinese20212.ini\r\n", true, {}});
    EXPECT_EQ(Refresh("/old"), LanguageRefreshResult::Replaced);
    EXPECT_EQ(ReadBytes(target_), kNewFile);
}

TEST_F(LanguageRefresh, AnErrorStatusLeavesTheFileUntouched) {
    // Even a body that looks like a language file is not taken from an error answer.
    server_.Serve("/gone.ini", {404, "Not Found", kNewFile, "", true, {}});
    EXPECT_EQ(Refresh("/gone.ini"), LanguageRefreshResult::HttpError);
    ExpectUntouched();
    server_.Serve("/broken.ini", {500, "Internal Server Error", "oops", "", true, {}});
    EXPECT_EQ(Refresh("/broken.ini"), LanguageRefreshResult::HttpError);
    ExpectUntouched();
}

TEST_F(LanguageRefresh, AnHtmlPageLeavesTheFileUntouched) {
    server_.Serve("/portal.ini", {200,
                                  "OK",
                                  "<!DOCTYPE html><html><body><h1>Log in</h1></body></html>\n",
                                  "Content-Type: text/html\r\n",
                                  true,
                                  {}});
    EXPECT_EQ(Refresh("/portal.ini"), LanguageRefreshResult::BadContent);
    ExpectUntouched();
}

TEST_F(LanguageRefresh, EmptyOrBinaryBodiesLeaveTheFileUntouched) {
    server_.Serve("/empty.ini", {200, "OK", "", "", true, {}});
    EXPECT_EQ(Refresh("/empty.ini"), LanguageRefreshResult::BadContent);
    ExpectUntouched();
    server_.Serve("/binary.ini",
                  {200, "OK", std::string("[APPLICATION]\nname=\0\xC3(", 22), "", true, {}});
    EXPECT_EQ(Refresh("/binary.ini"), LanguageRefreshResult::BadContent);
    ExpectUntouched();
    server_.Serve("/other.ini", {200, "OK", "[TISHI]\njqcg=x\n", "", true, {}});
    EXPECT_EQ(Refresh("/other.ini"), LanguageRefreshResult::BadContent);
    ExpectUntouched();
}

// Answers that once replaced a good file and left the window without its tooltips and
// labels: none may touch the file, the one complete 200 answer replaces it.
TEST_F(LanguageRefresh, OnlyACompleteFileInAnOkAnswerReplacesTheFile) {
    const std::string half = kNewFile.substr(0, kNewFile.size() / 2);
    const std::string beforeHint = kNewFile.substr(0, kNewFile.find("[HINT]"));
    std::string binary = "\xFF\xFE";
    for (int i = 0; i < 512; ++i)
        binary += static_cast<char>((i * 73 + 11) % 256);
    const struct {
        const char* what;
        HttpResponse response;
        LanguageRefreshResult result;
    } cases[] = {
        {"body without a length, cut before [HINT]",
         {200, "OK", beforeHint, "", false, {}},
         LanguageRefreshResult::BadContent},
        {"206 with half the file",
         {206,
          "Partial Content",
          half,
          "Content-Range: bytes 0-" + std::to_string(half.size() - 1) + "/" +
              std::to_string(kNewFile.size()) + "\r\n",
          true,
          {}},
         LanguageRefreshResult::HttpError},
        {"203 with half the file",
         {203, "Non-Authoritative Information", half, "", true, {}},
         LanguageRefreshResult::HttpError},
        {"203 with the whole file",
         {203, "Non-Authoritative Information", kNewFile, "", true, {}},
         LanguageRefreshResult::HttpError},
        {"only [APPLICATION]",
         {200, "OK", "[APPLICATION]", "", true, {}},
         LanguageRefreshResult::BadContent},
        {"UTF-16 byte-order mark, then binary",
         {200, "OK", binary, "", true, {}},
         LanguageRefreshResult::BadContent},
        {"a key present but empty",
         {200, "OK", WithLine("\njqcg=", "\njqcg=\n;"), "", true, {}},
         LanguageRefreshResult::BadContent},
        {"a key of a dialog missing",
         {200, "OK", WithLine("\ntz=", "\nxx="), "", true, {}},
         LanguageRefreshResult::BadContent},
        {"a section missing",
         {200, "OK", WithLine("[JIEMIAN]", "[OTHER]"), "", true, {}},
         LanguageRefreshResult::BadContent},
        {"the complete file", {200, "OK", kNewFile, "", true, {}}, LanguageRefreshResult::Replaced},
    };
    for (const auto& [what, response, result] : cases) {
        SCOPED_TRACE(what);
        ASSERT_FALSE(response.body.empty());
        testing::WriteBytes(target_, kOldFile);
        server_.Serve("/answer.ini", response);
        EXPECT_EQ(Refresh("/answer.ini"), result);
        EXPECT_EQ(ReadBytes(target_),
                  result == LanguageRefreshResult::Replaced ? kNewFile : std::string(kOldFile));
        EXPECT_EQ(testing::FolderEntries(languages_).size(), 1u) << "temporary file left";
    }
}

// The replace is a rename: a reader holding the old file keeps reading the old bytes to
// the end, and the name always holds one whole file, never a part of the new one.
TEST_F(LanguageRefresh, TheReplaceIsAtomic) {
    const auto inodeOf = [](const fs::path& file) {
        struct stat info {};
        return ::stat(file.c_str(), &info) == 0 ? info.st_ino : ino_t{0};
    };
    const ino_t before = inodeOf(target_);
    const int reader = ::open(target_.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    server_.Serve("/chinese20212.ini", {200, "OK", kNewFile, "", true, {}});
    EXPECT_EQ(Refresh("/chinese20212.ini"), LanguageRefreshResult::Replaced);
    EXPECT_NE(inodeOf(target_), before) << "written in place";
    std::string seen(kOldFile.size() + 16, '\0');
    const ssize_t got = ::pread(reader, seen.data(), seen.size(), 0);
    ::close(reader);
    ASSERT_GE(got, 0);
    seen.resize(static_cast<std::size_t>(got));
    EXPECT_EQ(seen, kOldFile);
    EXPECT_EQ(ReadBytes(target_), kNewFile);
}

TEST_F(LanguageRefresh, AHugeBodyWithoutLengthIsStopped) {
    std::string huge = kNewFile;
    huge += "; " + std::string(300 * 1024, 'x') + "\n";
    server_.Serve("/huge.ini", {200, "OK", huge, "", false, {}});
    LanguageRefreshOptions options;
    options.maxBytes = 64 * 1024;
    EXPECT_EQ(Refresh("/huge.ini", options), LanguageRefreshResult::TooLarge);
    ExpectUntouched();
}

TEST_F(LanguageRefresh, ACompressedBodyThatExpandsPastTheLimitIsStopped) {
    std::string expanded = kNewFile;
    expanded += "; " + std::string(2 * 1024 * 1024, 'x') + "\n";
    const fs::path plain = dir_ / "plain";
    testing::WriteBytes(plain, expanded);
    ASSERT_EQ(testing::RunCommand("gzip -9 -n " + testing::ShellQuote(plain.string())), 0);
    const std::string gzipped = ReadBytes(dir_ / "plain.gz");
    ASSERT_LT(gzipped.size(), 64u * 1024);
    server_.Serve("/zipped.ini", {200, "OK", gzipped, "Content-Encoding: gzip\r\n", true, {}});
    LanguageRefreshOptions options;
    options.maxBytes = 64 * 1024;
    EXPECT_EQ(Refresh("/zipped.ini", options), LanguageRefreshResult::TooLarge);
    ExpectUntouched();
}

TEST_F(LanguageRefresh, ASlowDripIsCutOffByTheTimeOut) {
    server_.Serve("/slow.ini", {200, "OK", kNewFile, "", true, 100ms});
    LanguageRefreshOptions options;
    options.timeout = 300ms;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(RefreshLanguageFile(server_.Url("/slow.ini"), target_, options),
              LanguageRefreshResult::NetworkError);
    // Bounded: far less than the drip's ten seconds (a generous margin, not a speed check).
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    ExpectUntouched();
}

TEST_F(LanguageRefresh, ARefusedConnectionLeavesTheFileUntouched) {
    const std::string url =
        "http://127.0.0.1:" + std::to_string(testing::UnusedLoopbackPort()) + "/chinese20212.ini";
    EXPECT_EQ(RefreshLanguageFile(url, target_), LanguageRefreshResult::NetworkError);
    ExpectUntouched();
}

TEST_F(LanguageRefresh, OtherSchemesAreNotFetched) {
    const fs::path local = dir_ / "local.ini";
    testing::WriteBytes(local, kNewFile);
    EXPECT_EQ(RefreshLanguageFile("file://" + local.string(), target_),
              LanguageRefreshResult::NetworkError);
    ExpectUntouched();
}

TEST_F(LanguageRefresh, AMissingLanguagesFolderIsAWriteError) {
    server_.Serve("/chinese20212.ini", {200, "OK", kNewFile, "", true, {}});
    EXPECT_EQ(RefreshLanguageFile(server_.Url("/chinese20212.ini"), dir_ / "none" / "chinese.ini"),
              LanguageRefreshResult::WriteError);
    EXPECT_FALSE(fs::exists(dir_ / "none"));
}

TEST_F(LanguageRefresh, NoAddressMeansNoRefresh) {
    EXPECT_EQ(RefreshLanguageFile("", target_), LanguageRefreshResult::NotConfigured);
    ExpectUntouched();
}

TEST_F(LanguageRefresh, StartUpRefreshUsesTheBuiltInAddressAndTheProgramFolder) {
    OverrideProgramFolder(dir_.path());
    const auto result = RefreshChineseLanguageFile();
    OverrideProgramFolder({});
    if (LanguageRefreshUrl().empty()) {
        EXPECT_EQ(result, LanguageRefreshResult::NotConfigured);
        ExpectUntouched();
    } else {
        EXPECT_NE(result, LanguageRefreshResult::NotConfigured);
    }
}

}  // namespace
}  // namespace tolvane
