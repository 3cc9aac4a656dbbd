// Where a picture's large buffers come from: the memory of the picture it replaces, so that a
// camera sending snapshots of about the same size does not pay for fresh pages every time, and
// back to the system when the next picture has no use for it.
#include "picture/block_cache.h"
#include "tests/support/jpeg_reference.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

const std::size_t kPage = std::size_t(sysconf(_SC_PAGESIZE));

long MinorFaults() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

// True when no page of `gone` is mapped any more, except where `now` lies (a new mapping
// may take the addresses of one just given back).
bool UnmappedOutside(BlockCache::Block gone, BlockCache::Block now) {
    unsigned char resident;
    for (std::uint8_t* page = gone.start; page < gone.start + gone.bytes; page += kPage) {
        const bool inNow = page >= now.start && page < now.start + now.bytes;
        if (!inNow && mincore(page, kPage, &resident) == 0) return false;
    }
    return true;
}

TEST(BlockCache, HandsTheBlockGivenBackToTheNextRequestOfAboutItsSize) {
    // The bitmaps of the usual snapshot sizes and their compressed sizes, each asked for again
    // as it was, a little smaller and a little larger.
    for (const std::size_t bytes : {std::size_t(95000), std::size_t(921600), std::size_t(1920220),
                                    std::size_t(6220800), std::size_t(24883200), std::size_t(99532800)}) {
        for (const double again : {1.0, 0.97, 1.02}) {
            SCOPED_TRACE(testing::Message() << bytes << " then " << again << " times as much");
            BlockCache cache;
            const BlockCache::Block first = cache.Take(bytes);
            ASSERT_NE(first.start, nullptr);
            EXPECT_GE(first.bytes, bytes);
            cache.Give(first);
            const BlockCache::Block second = cache.Take(std::size_t(double(bytes) * again));
            EXPECT_EQ(second.start, first.start);
            cache.Give(second);
        }
    }
}

TEST(BlockCache, UnmapsAKeptBlockThatDoesNotFitTheRequest) {
    for (const double next : {0.5, 2.0}) {
        SCOPED_TRACE(next);
        BlockCache cache;
        const BlockCache::Block kept = cache.Take(6220800);
        cache.Give(kept);
        const BlockCache::Block other = cache.Take(std::size_t(6220800 * next));
        ASSERT_NE(other.start, nullptr);
        EXPECT_TRUE(UnmappedOutside(kept, other));
        cache.Give(other);
    }
}

TEST(PictureMemory, ASnapshotOfTheSameSizeDecodesIntoThePagesOfTheOneItReplaced) {
    TJPEGImage::SetScreenDepthForOutput(24);
    // Below the huge-page size, so that fresh memory would cost a fault per page.
    const int width = 800, height = 600;
    const Bytes first = MakeJpeg({.width = width, .height = height});
    const Bytes second = MakeJpeg({.width = width, .height = height, .hSampling = 1, .vSampling = 1, .quality = 60});
    LoadJpeg(first)->MakeBitmap();

    auto image = LoadJpeg(second);
    const long before = MinorFaults();
    image->MakeBitmap();
    const long faults = MinorFaults() - before;
    const long pages = long(std::size_t(width) * height * 3 / kPage);
    EXPECT_LT(faults, pages / 8) << "of " << pages << " pages";
    EXPECT_EQ(FirstDifference(Decoded(*image), Djpeg(second, {"-dct", "float"})), "");
    TJPEGImage::SetScreenDepthForOutput(0);
}

TEST(PictureMemory, PicturesOfChangingSizesEachShowTheirOwnPixels) {
    // Memory handed on holds the picture before; every pixel of the next must be its own.
    TJPEGImage::SetScreenDepthForOutput(24);
    const JpegRecipe recipes[] = {
        {.width = 800, .height = 600},
        {.width = 400, .height = 300, .quality = 50},
        {.width = 801, .height = 600, .hSampling = 1, .vSampling = 1},
        {.width = 800, .height = 599, .colour = JpegColour::Grayscale},
        {.width = 800, .height = 600, .quality = 70},
    };
    for (const JpegRecipe& recipe : recipes) {
        SCOPED_TRACE(testing::Message() << recipe.width << "x" << recipe.height);
        const Bytes jpeg = MakeJpeg(recipe);
        auto image = LoadJpeg(jpeg);
        QStringList arguments{"-dct", "float"};
        if (recipe.colour == JpegColour::Grayscale) arguments << "-colors" << "236" << "-dither" << "fs" << "-onepass";
        EXPECT_EQ(FirstDifference(Decoded(*image), Djpeg(jpeg, arguments)), "");
    }
    TJPEGImage::SetScreenDepthForOutput(0);
}

}  // namespace
