#include "LanguageRefresh.h"

#include <gtest/gtest.h>

#include <chrono>

#include "IniTestFiles.h"
#include "LanguageTable.h"
#include "LoopbackHttpServer.h"
#include "MediaFixtures.h"
#include "ProgramFolder.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::HttpResponse;
using testing::ReadBytes;

constexpr std::string_view kOldFile = "[APPLICATION]\nname=old copy\n";
const std::string kNewFile =
    "[APPLICATION]\nname=Tolvane\nversion=1.0\nurl=https://tolvane.example/\n"
    "[TISHI]\njqcg=剪切成功！\n";

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
    EXPECT_EQ(LanguageTable::Load(target_).Tishi("jqcg"), "剪切成功！");
    EXPECT_EQ(testing::FolderEntries(languages_).size(), 1u);
}

TEST_F(LanguageRefresh, AcceptsUtf16FilesAndBodiesWithoutLength) {
    const std::string utf16 = testing::Utf16LeBytes(u"[APPLICATION]\r\nname=Tolvane\r\n");
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
