// The scaler behind the stretched picture area: exact area averages when shrinking, smooth
// interpolation when enlarging, fine patterns to an even grey.
#include "picture/concurrent_stretch.h"
#include "picture/stretch.h"
#include "picture/vector_units.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <cstdint>
#include <functional>
#include <random>
#include <thread>

namespace {

QImage Picture(int width, int height, const std::function<QRgb(int x, int y)>& pixel) {
    QImage image(width, height, QImage::Format_BGR888);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) image.setPixel(x, y, pixel(x, y));
    return image;
}

// The smallest and largest red value of the picture.
std::pair<int, int> RedRange(const QImage& image) {
    int lo = 255, hi = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const int r = qRed(image.pixel(x, y));
            lo = std::min(lo, r);
            hi = std::max(hi, r);
        }
    return {lo, hi};
}

QRgb Grey(int v) { return qRgb(v, v, v); }

TEST(Stretch, FineStripesShrinkToAnEvenGrey) {
    struct Case {
        const char* name;
        std::function<QRgb(int, int)> pixel;
    } const cases[] = {
        {"columns", [](int x, int) { return Grey(x % 2 ? 255 : 0); }},
        {"rows", [](int, int y) { return Grey(y % 2 ? 255 : 0); }},
        {"checkerboard", [](int x, int y) { return Grey((x + y) % 2 ? 255 : 0); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // About 2 and 4 source pixels to one: each output pixel covers about as much black as
        // white. (Point sampling would give only black or only white, or bands of both.)
        for (const QSize from : {QSize(640, 480), QSize(1280, 960)}) {
            const QImage out = StretchPicture(Picture(from.width(), from.height(), c.pixel), QSize(321, 241));
            const auto [lo, hi] = RedRange(out);
            EXPECT_GE(lo, 125) << from.width();
            EXPECT_LE(hi, 130) << from.width();
        }
    }
}

TEST(Stretch, ShrinkingByWholeFactorsGivesTheRoundedMeanOfEachBlock) {
    // 8x6 to 2x2: blocks of 4x3 pixels.
    const QImage source = Picture(8, 6, [](int x, int y) { return qRgb(x * 30 + y, y * 40, (x * y * 7) % 256); });
    const QImage out = StretchPicture(source, QSize(2, 2));
    for (int j = 0; j < 2; ++j)
        for (int i = 0; i < 2; ++i) {
            double sum[3] = {};
            for (int y = 3 * j; y < 3 * j + 3; ++y)
                for (int x = 4 * i; x < 4 * i + 4; ++x) {
                    const QRgb p = source.pixel(x, y);
                    sum[0] += qRed(p), sum[1] += qGreen(p), sum[2] += qBlue(p);
                }
            const QRgb p = out.pixel(i, j);
            EXPECT_EQ(qRed(p), std::lround(sum[0] / 12));
            EXPECT_EQ(qGreen(p), std::lround(sum[1] / 12));
            EXPECT_EQ(qBlue(p), std::lround(sum[2] / 12));
        }
}

TEST(Stretch, AnyScalingKeepsAFlatColourExactly) {
    const QImage flat = Picture(97, 61, [](int, int) { return qRgb(201, 13, 77); });
    for (const QSize to : {QSize(321, 241), QSize(40, 20), QSize(97, 300), QSize(500, 7), QSize(97, 61), QSize(1, 1)}) {
        const QImage out = StretchPicture(flat, to);
        ASSERT_EQ(out.size(), to);
        EXPECT_EQ(out.format(), QImage::Format_RGB32);
        for (int y = 0; y < to.height(); ++y)
            for (int x = 0; x < to.width(); ++x)
                ASSERT_EQ(out.pixel(x, y), qRgb(201, 13, 77)) << to.width() << "x" << to.height();
    }
}

TEST(Stretch, TheSameSizeIsAPlainCopy) {
    const QImage source = Picture(13, 7, [](int x, int y) { return qRgb(x * 19, y * 31, (x ^ y) * 9); });
    EXPECT_EQ(StretchPicture(source, source.size()), source.convertToFormat(QImage::Format_RGB32));
}

TEST(Stretch, EnlargingInterpolatesBetweenPixels) {
    // A black half and a white half: nearest-neighbour would give only black and white.
    const QImage edge = Picture(4, 1, [](int x, int) { return Grey(x < 2 ? 0 : 255); });
    const QImage out = StretchPicture(edge, QSize(321, 1));
    int between = 0;
    for (int x = 0; x < 321; ++x) {
        const int v = qRed(out.pixel(x, 0));
        if (v > 20 && v < 235) ++between;
        if (x > 0) {
            EXPECT_GE(v, qRed(out.pixel(x - 1, 0))) << "rises steadily, at " << x;
        }
    }
    EXPECT_GT(between, 60);  // the whole step between the centres of pixels 1 and 2
    EXPECT_EQ(qRed(out.pixel(0, 0)), 0);
    EXPECT_EQ(qRed(out.pixel(320, 0)), 255);
}

TEST(Stretch, ShrinkingByMoreThanTwoHundredRowsPerPixel) {
    // Rows 0..999 with value y % 256, 500 to each output row.
    const QImage tall = Picture(3, 1000, [](int, int y) { return Grey(y % 256); });
    const QImage out = StretchPicture(tall, QSize(3, 2));
    for (int j = 0; j < 2; ++j) {
        double sum = 0;
        for (int y = 500 * j; y < 500 * j + 500; ++y) sum += y % 256;
        EXPECT_EQ(qRed(out.pixel(1, j)), std::lround(sum / 500)) << j;
    }
}

TEST(Stretch, HundredsOfWhiteRowsToOneStayWhite) {
    // Each output row adds up 400 or more rows of 255: more than 16-bit sums hold.
    const QImage white = Picture(5, 2000, [](int, int) { return Grey(255); });
    const QImage out = StretchPicture(white, QSize(2, 5));
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 2; ++x) ASSERT_EQ(out.pixel(x, y), Grey(255)) << x << "," << y;
}

TEST(Stretch, IndexedPicturesScaleThroughTheirPalette) {
    QImage indexed(50, 30, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(255, 0, 0), qRgb(0, 0, 255), qRgb(10, 200, 30)});
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 50; ++x) indexed.setPixel(x, y, uint((x / 3 + y) % 3));
    for (const QSize to : {QSize(321, 241), QSize(17, 11)})
        EXPECT_EQ(StretchPicture(indexed, to), StretchPicture(indexed.convertToFormat(QImage::Format_BGR888), to));
}

TEST(Stretch, NothingToScaleGivesANullImage) {
    EXPECT_TRUE(StretchPicture(QImage(), QSize(321, 241)).isNull());
    EXPECT_TRUE(StretchPicture(Picture(4, 4, [](int, int) { return 0u; }), QSize(0, 241)).isNull());
}

// Noise: every pixel its own, so that any weight or column out of place shows.
QImage Noise(int width, int height, unsigned seed) {
    std::mt19937 random(seed);
    QImage image(width, height, QImage::Format_BGR888);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = image.scanLine(y);
        for (int x = 0; x < 3 * width; ++x) row[x] = std::uint8_t(random());
    }
    return image;
}

// How much of source sample k an output sample i covers, in units of 1 / (src * dst) of the
// whole length: output i spans [i * src, (i + 1) * src), sample k spans [k * dst, (k + 1) * dst).
std::int64_t Overlap(std::int64_t i, std::int64_t k, std::int64_t src, std::int64_t dst) {
    return std::max<std::int64_t>(0, std::min((i + 1) * src, (k + 1) * dst) - std::max(i * src, k * dst));
}

// The exact area average of the output pixel (i, j), rounded half up, worked out directly in
// two dimensions.
QRgb AreaAverage(const QImage& source, QSize size, int i, int j) {
    const std::int64_t sw = source.width(), sh = source.height(), dw = size.width(), dh = size.height();
    const std::int64_t total = sw * sh;
    std::int64_t sum[3] = {};
    for (std::int64_t y = j * sh / dh; y < std::min(sh, ((j + 1) * sh + dh - 1) / dh); ++y)
        for (std::int64_t x = i * sw / dw; x < std::min(sw, ((i + 1) * sw + dw - 1) / dw); ++x) {
            const std::int64_t weight = Overlap(i, x, sw, dw) * Overlap(j, y, sh, dh);
            const QRgb p = source.pixel(int(x), int(y));
            sum[0] += weight * qRed(p), sum[1] += weight * qGreen(p), sum[2] += weight * qBlue(p);
        }
    auto rounded = [&](std::int64_t v) { return int((v + total / 2) / total); };
    return qRgb(rounded(sum[0]), rounded(sum[1]), rounded(sum[2]));
}

// Runs each test twice where the processor has vector units: with them and with the plain
// loops only, which must give the same pixels.
class StretchBothWays : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { AllowVectorUnits(GetParam()); }
    void TearDown() override { AllowVectorUnits(true); }
};

TEST_P(StretchBothWays, ShrinkingGivesTheExactAreaAverageOfEveryPixel) {
    struct Case {
        QSize from, to;
    } const cases[] = {
        {{640, 480}, {321, 241}},  // the usual snapshot: two or three samples to one
        {{1001, 703}, {321, 241}},  // odd factors
        {{400, 300}, {100, 75}},    // four to one exactly
        {{50, 9}, {49, 8}},         // barely shrinking
        {{700, 100}, {100, 30}},    // seven columns and three or four rows to one
        {{200, 700}, {30, 100}},    // seven or eight rows to one
        {{300, 1000}, {50, 110}},   // ten or eleven rows to one
        {{37, 2000}, {5, 7}},       // hundreds of rows to one
        {{49, 3000}, {17, 3000}},   // a total weight of 49: see AveragesRoundHalfUpAtEveryBoundary
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.from.width() << "x" << c.from.height() << " to " << c.to.width()
                                        << "x" << c.to.height());
        const QImage source = Noise(c.from.width(), c.from.height(), unsigned(c.from.width()));
        const QImage out = StretchPicture(source, c.to);
        ASSERT_EQ(out.size(), c.to);
        for (int j = 0; j < c.to.height(); ++j)
            for (int i = 0; i < c.to.width(); ++i)
                ASSERT_EQ(out.pixel(i, j), AreaAverage(source, c.to, i, j)) << "at " << i << "," << j;
    }
}

TEST_P(StretchBothWays, AveragesRoundHalfUpAtEveryBoundary) {
    // `width` pixels to one, their values adding up to every possible sum: the average is
    // sum / width, rounded half up, also where it lies exactly on a whole number or a half.
    // (With 49, x * (1 / 49) in doubles falls just below x / 49 for every multiple x of 49.)
    for (const int width : {2, 3, 5, 6, 7, 11, 49}) {
        for (int sum = 0; sum <= 255 * width; ++sum) {
            const QImage row = Picture(width, 1, [&](int x, int) { return Grey(std::clamp(sum - 255 * x, 0, 255)); });
            const int expected = (sum + width / 2) / width;
            ASSERT_EQ(qRed(StretchPicture(row, QSize(1, 1)).pixel(0, 0)), expected) << width << " pixels adding up to " << sum;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Loops, StretchBothWays, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Vector" : "Plain"; });

TEST(Stretch, VectorAndPlainLoopsAgreeForEveryKindOfAxis) {
    // Each direction shrinking, growing or keeping its size.
    const QSize froms[] = {{97, 61}, {640, 61}, {61, 640}, {321, 500}, {321, 241}, {1920, 1080}, {7, 3000}};
    for (const QSize from : froms) {
        SCOPED_TRACE(testing::Message() << from.width() << "x" << from.height());
        const QImage source = Noise(from.width(), from.height(), unsigned(from.height()));
        const QImage vector = StretchPicture(source, QSize(321, 241));
        AllowVectorUnits(false);
        const QImage plain = StretchPicture(source, QSize(321, 241));
        AllowVectorUnits(true);
        EXPECT_EQ(vector, plain);
    }
}

// Scaling beside a decode: the test thread plays the decoder, writing the rows of a picture
// into memory that held another one, a few at a time with pauses between, and telling the
// scaling thread as it goes. A row read before it was finished would show the old picture.
TEST(ConcurrentStretch, ReadsEachRowOnlyOnceItIsFinished) {
    struct Case {
        QSize from;
        bool indexed = false;
        int stopAt = -1;  // a decoder that fails there: the rows from there on are cleared
    } const cases[] = {
        {{640, 480}},          // a few rows to each output row
        {{120, 90}},           // enlarging: two rows to each
        {{300, 4000}},         // many rows to each, summed in batches
        {{640, 480}, true},    // palette indexes
        {{640, 480}, false, 203},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.from.width() << "x" << c.from.height() << (c.indexed ? " indexed" : "")
                                        << " stopping at " << c.stopAt);
        QImage finished = Noise(c.from.width(), c.from.height(), 7);
        if (c.indexed) {
            finished = finished.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
            ASSERT_EQ(finished.format(), QImage::Format_Indexed8);
        }
        QImage memory = finished.copy();
        memory.fill(c.indexed ? 0u : qRgb(255, 0, 255));
        // A view of the memory being written, as the decoded bitmap gives.
        QImage shown(memory.constBits(), memory.width(), memory.height(), memory.bytesPerLine(), memory.format());
        if (c.indexed) shown.setColorTable(finished.colorTable());

        ConcurrentStretch alongside;
        if (!alongside.Start(shown, QSize(321, 241))) GTEST_SKIP() << "a single processor: nothing runs beside";
        const int rows = c.stopAt < 0 ? finished.height() : c.stopAt;
        for (int y = 0; y < rows; ++y) {
            std::memcpy(memory.scanLine(y), finished.constScanLine(y), std::size_t(finished.bytesPerLine()));
            if (y % 8 == 7) {
                alongside.Rows().Publish(std::uint32_t(y + 1));
                if (y % 64 == 63) std::this_thread::sleep_for(std::chrono::microseconds(150));
            }
        }
        for (int y = rows; y < finished.height(); ++y) std::memset(memory.scanLine(y), 0, std::size_t(memory.bytesPerLine()));
        EXPECT_EQ(alongside.Finish(), StretchPicture(shown, QSize(321, 241)));
        if (c.stopAt < 0) {
            EXPECT_EQ(shown, finished);
        }
    }
}

TEST(ConcurrentStretch, RaisesWhatTheScalingRaisedAndWaitsForOneLeftUnfinished) {
    const QImage source = Noise(64, 48, 3);
    {
        ConcurrentStretch alongside;
        if (!alongside.Start(source, QSize(70000, 70000))) GTEST_SKIP() << "a single processor";
        EXPECT_THROW(alongside.Finish(), std::bad_alloc);
    }
    {
        // Dropped with no row told finished: the rows are then taken as they are.
        ConcurrentStretch alongside;
        ASSERT_TRUE(alongside.Start(source, QSize(321, 241)));
    }
    ConcurrentStretch next;
    ASSERT_TRUE(next.Start(source, QSize(321, 241)));
    EXPECT_EQ(next.Finish(), StretchPicture(source, QSize(321, 241)));
}

}  // namespace
