// Replays what the fuzzers found (tests/fixtures/fuzz/) and their seeds through the same code
// the fuzz targets run, in the ordinary and the sanitizer builds.
#define FUZZ_INPUTS_THROW
#include "tests/fuzz/fuzz_inputs.h"
#include "tests/fuzz/jpeg_seeds.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> FilesIn(const fs::path& folder) {
    std::vector<fs::path> files;
    if (fs::is_directory(folder))
        for (const auto& entry : fs::directory_iterator(folder))
            if (entry.is_regular_file()) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

void ReplayOne(const std::string& name, const std::string& bytes, void (*target)(const std::uint8_t*, std::size_t)) {
    SCOPED_TRACE(name);
    try {
        target(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    } catch (const fuzz::BrokenPromise& broken) {
        ADD_FAILURE() << broken.what();
    } catch (const std::exception& error) {
        ADD_FAILURE() << "escaped: " << error.what();
    }
}

void Replay(const std::vector<fs::path>& files, void (*target)(const std::uint8_t*, std::size_t)) {
    for (const fs::path& file : files) {
        std::ifstream in(file, std::ios::binary);
        ReplayOne(file.string(), {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()}, target);
    }
}

const fs::path kSource = CAMVIEW_SOURCE_DIR;

TEST(FuzzRegression, JpegFindingsAndSeedsLoadAndPaintWithoutHarm) {
    Replay(FilesIn(kSource / "tests/fixtures/fuzz/jpeg"), fuzz::FuzzJpeg);
    for (const auto& [name, jpeg] : JpegSeeds()) ReplayOne(name, std::string(jpeg.begin(), jpeg.end()), fuzz::FuzzJpeg);
}

TEST(FuzzRegression, HttpFindingsAndSeedsAreHandledWithoutHarm) {
    auto files = FilesIn(kSource / "tests/fixtures/fuzz/http");
    const auto seeds = FilesIn(kSource / "tests/fuzz/corpus/http");
    ASSERT_FALSE(seeds.empty());
    files.insert(files.end(), seeds.begin(), seeds.end());
    Replay(files, fuzz::FuzzHttp);
}

// A fuzz finding: libcurl decodes %XX in a host name, so a host with a percent sign would have
// been looked up under another name than the one the credentials were matched against. An
// IPv6 zone keeps its percent sign.
TEST(FuzzRegression, AUrlHostWithAPercentSignIsRefused) {
    EXPECT_THROW(http::ParseUrl("http://%63amera/cgi-bin/viewer/video.jpg", true), Exception);
    EXPECT_EQ(http::ParseUrl("http://fe80::1%eth0/cgi-bin/viewer/video.jpg", true).host, "fe80::1%eth0");
}

}  // namespace
