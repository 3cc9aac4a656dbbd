// The scaler behind the stretched picture area: exact area averages when shrinking, smooth
// interpolation when enlarging, fine patterns to an even grey.
#include "picture/stretch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

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

}  // namespace
