// The links of a chained Ogg file: the page walk's table of them, and each opened as a
// file of its own, checked against the files the chain was made of.

#include <gtest/gtest.h>

#include <limits>

#include "CutPrecision.h"
#include "MediaFixtures.h"
#include "engine/copy/LinkStretches.h"
#include "engine/ffmpeg/FfmpegHolders.h"
#include "engine/probe/OggLinkInput.h"

namespace tolvane::testing {
namespace {

// The decoder that plays each codec's files exactly (FFmpeg plays a short Vorbis file a
// short block too long).
Decoder ReferenceDecoder(const OggCodec& codec) {
    return codec.extension == "opus" ? Decoder::Opusdec : Decoder::Oggdec;
}

class OggLinks : public ::testing::TestWithParam<OggCodec> {
  protected:
    void SetUp() override {
        if (!DecoderInstalled(ReferenceDecoder(GetParam())))
            GTEST_SKIP() << DecoderName(ReferenceDecoder(GetParam())) << " is not installed";
    }
    ChainedOgg Chain(const std::vector<double>& seconds) {
        return MakeChainedOgg(dir.path(), "chain", GetParam().extension, GetParam().codecArgs,
                              seconds);
    }
    std::vector<OggLink> Links(const fs::path& file) {
        ff::InputFormatPtr input;
        if (ff::OpenInput(file.c_str(), input) < 0 ||
            avformat_find_stream_info(input.get(), nullptr) < 0)
            return {};
        return ReadOggLinks(*input, *input->streams[0]).value_or(std::vector<OggLink>{});
    }
    TempDir dir;
};

TEST_P(OggLinks, TableHoldsEachPartsBytesAndPlayedLength) {
    const ChainedOgg chain = Chain({1.1, 0.7, 1.6});
    const std::vector<OggLink> links = Links(chain.file);
    ASSERT_EQ(links.size(), chain.parts.size());
    std::int64_t begin = 0;
    for (std::size_t i = 0; i < links.size(); ++i) {
        SCOPED_TRACE(i);
        const auto size = static_cast<std::int64_t>(fs::file_size(chain.parts[i]));
        EXPECT_EQ(links[i].begin, begin);
        EXPECT_EQ(links[i].end, begin + size);
        EXPECT_EQ(links[i].samples,
                  static_cast<std::int64_t>(
                      Decode(chain.parts[i], ReferenceDecoder(GetParam())).samples.size()));
        begin += size;
    }
}

TEST_P(OggLinks, AnOrdinaryFileIsOneLinkAndNoChain) {
    const ChainedOgg single = Chain({1.3});
    const std::vector<OggLink> links = Links(single.file);
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(links[0].begin, 0);
    EXPECT_EQ(links[0].end, static_cast<std::int64_t>(fs::file_size(single.file)));
    ff::InputFormatPtr input;
    ASSERT_GE(ff::OpenInput(single.file.c_str(), input), 0);
    ASSERT_GE(avformat_find_stream_info(input.get(), nullptr), 0);
    EXPECT_TRUE(ChainedOggLinks(*input, *input->streams[0]).empty());
}

// A stretch of the file's timeline as stretches of links of 1 s, 2 s and 1 s (48 kHz).
TEST(LinkStretches, CoverTheLinksTheStretchCrosses) {
    constexpr double kEnd = std::numeric_limits<double>::infinity();
    const std::vector<OggLink> links = {
        {0, 10, 48000, 312, 48000}, {10, 20, 96000, 312, 48000}, {20, 30, 48000, 312, 48000}};
    struct Case {
        const char* name;
        double start;
        double end;
        std::vector<LinkStretch> expected;
    };
    const Case cases[] = {
        {"inside one link", 1.25, 2.5, {{1, 0.25, 1.5}}},
        {"across a seam", 0.5, 1.5, {{0, 0.5, kEnd}, {1, 0.0, 0.5}}},
        {"a whole link and around it", 0.5, 3.5, {{0, 0.5, kEnd}, {1, 0.0, kEnd}, {2, 0.0, 0.5}}},
        {"from a seam to the end", 3.0, kEnd, {{2, 0.0, kEnd}}},
        {"up to a seam", 0.0, 1.0, {{0, 0.0, kEnd}}},
        {"past the end", 4.5, kEnd, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<LinkStretch> got = LinkStretches(links, c.start, c.end);
        ASSERT_EQ(got.size(), c.expected.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].link, c.expected[i].link);
            EXPECT_DOUBLE_EQ(got[i].startSec, c.expected[i].startSec);
            EXPECT_EQ(got[i].endSec, c.expected[i].endSec);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Codecs, OggLinks, ::testing::ValuesIn(kOggCodecs),
                         [](const auto& info) { return info.param.extension; });

}  // namespace
}  // namespace tolvane::testing
