// The descriptor holder and the output-folder write test, against real descriptors, a
// real descriptor limit and real folders; the MP3 bit rates of each sample rate.

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FolderWriteTest.h"
#include "MediaFixtures.h"
#include "Mp3BitRates.h"
#include "UniqueFd.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

bool IsOpen(int fd) {
    return ::fcntl(fd, F_GETFD) != -1;
}

int OpenNull() {
    return ::open("/dev/null", O_RDONLY | O_CLOEXEC);
}

TEST(UniqueFd, ClosesOnceWhenTheLastOwnerGoes) {
    int fd = -1;
    {
        UniqueFd first(OpenNull());
        fd = first.get();
        ASSERT_TRUE(IsOpen(fd));
        UniqueFd second(std::move(first));
        EXPECT_FALSE(first.valid());
        UniqueFd third;
        third = std::move(second);
        EXPECT_EQ(third.get(), fd);
        EXPECT_TRUE(IsOpen(fd));
    }
    EXPECT_FALSE(IsOpen(fd));
}

TEST(UniqueFd, ReleaseHandsOverAndCloseReports) {
    UniqueFd held(OpenNull());
    const int fd = held.Release();
    EXPECT_FALSE(held.valid());
    EXPECT_TRUE(IsOpen(fd));
    held.Reset(fd);
    EXPECT_TRUE(held.Close());
    EXPECT_FALSE(IsOpen(fd));
    EXPECT_TRUE(held.Close()) << "closing an empty holder is no failure";
}

// Restores the descriptor limit a test lowered.
class DescriptorLimit {
  public:
    explicit DescriptorLimit(rlim_t soft) {
        ::getrlimit(RLIMIT_NOFILE, &saved_);
        rlimit lowered = saved_;
        lowered.rlim_cur = soft;
        ok_ = ::setrlimit(RLIMIT_NOFILE, &lowered) == 0;
    }
    ~DescriptorLimit() { ::setrlimit(RLIMIT_NOFILE, &saved_); }
    bool ok() const { return ok_; }

  private:
    rlimit saved_{};
    bool ok_ = false;
};

// The lowest free descriptor number: what the next open gets.
int NextDescriptor() {
    UniqueFd probe(OpenNull());
    return probe.get();
}

TEST(FolderWriteError, LeaksNoDescriptorUnderATightLimit) {
    TempDir out;
    {
        // Only the lowest free descriptor number is left: a leak fails the next round.
        DescriptorLimit limit(static_cast<rlim_t>(NextDescriptor() + 1));
        ASSERT_TRUE(limit.ok());
        for (int round = 0; round < 64; ++round)
            ASSERT_EQ(FolderWriteError(out.path().string(), "probe.mp3"), 0) << "round " << round;
        UniqueFd last(OpenNull());
        ASSERT_TRUE(last.valid());
        EXPECT_EQ(FolderWriteError(out.path().string(), "probe.mp3"), EMFILE);
    }
    EXPECT_TRUE(fs::is_empty(out.path()));
}

struct FolderCase {
    const char* name;
    const char* probe;
    const char* folderBelowTemp;  // empty: the temporary folder itself
    bool probeNameTaken;
    int expectedError;
};

class FolderWriteErrorCases : public ::testing::TestWithParam<FolderCase> {};

TEST_P(FolderWriteErrorCases, ReportsTheCreationErrorAndKeepsWhatWasThere) {
    const FolderCase& c = GetParam();
    TempDir out;
    std::ofstream(out / "a-file") << "not a folder";
    const fs::path taken = out / c.probe;
    if (c.probeNameTaken)
        std::ofstream(taken) << "a user's own file";
    const fs::path folder =
        std::string(c.folderBelowTemp).empty() ? out.path() : out / c.folderBelowTemp;

    EXPECT_EQ(FolderWriteError(folder.string(), c.probe), c.expectedError);

    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(out.path()))
        left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    std::vector<std::string> expected = {"a-file"};
    if (c.probeNameTaken)
        expected.push_back(c.probe);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(left, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Folders, FolderWriteErrorCases,
    ::testing::Values(FolderCase{"Writable", "probe.mp3", "", false, 0},
                      FolderCase{"UniqueName", ".write-test-XXXXXX", "", false, 0},
                      FolderCase{"ProbeNameTaken", "probe.mp3", "", true, EEXIST},
                      FolderCase{"TemplateNameTakenLiterally", ".write-test-XXXXXX", "", true, 0},
                      FolderCase{"MissingFolder", "probe.mp3", "missing", false, ENOENT},
                      FolderCase{"AFileNotAFolder", "probe.mp3", "a-file", false, ENOTDIR}),
    [](const auto& info) { return std::string(info.param.name); });

// The encoder writes at most 160 kbit/s below 32 kHz: the lists and the tool offer
// no more there, and a wish moves to the nearest rate there is.
TEST(Mp3BitRates, EachSampleRateHasItsOwnRangeAndTheNearestIsTaken) {
    const struct {
        std::int32_t sampleRate, wantedKbps, nearestKbps;
        std::size_t rates;
    } cases[] = {
        {44100, 320, 320, 14}, {48000, 8, 32, 14}, {32000, 100, 96, 14},  {22050, 320, 160, 14},
        {24000, 192, 160, 14}, {8000, 8, 8, 14},   {16000, 150, 144, 14}, {11025, 36, 32, 14},
        {44000, 320, 320, 0},  {0, 128, 128, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sampleRate);
        EXPECT_EQ(Mp3BitRatesKbps(c.sampleRate).size(), c.rates);
        EXPECT_EQ(NearestMp3BitRateKbps(c.sampleRate, c.wantedKbps), c.nearestKbps);
    }
    EXPECT_EQ(Mp3BitRatesKbps(22050).back(), 160);
    EXPECT_EQ(Mp3BitRatesKbps(44100).front(), 32);
}

}  // namespace
}  // namespace tolvane
