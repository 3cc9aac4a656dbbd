// Decoded pixels: the graphic's bitmap against djpeg with the same settings, over JPEGs of every
// kind the tests can make, at 24-bit and at 8-bit output.
#include "tests/support/jpeg_reference.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

namespace {

// Sets the screen depth that picks the pixel format for as long as it lives.
struct ScreenDepth {
    explicit ScreenDepth(int depth) { TJPEGImage::SetScreenDepthForOutput(depth); }
    ~ScreenDepth() { TJPEGImage::SetScreenDepthForOutput(0); }
};

const JpegRecipe kRecipes[] = {
    {.hSampling = 1, .vSampling = 1, .name = "Baseline444"},
    {.hSampling = 2, .vSampling = 1, .name = "Baseline422"},
    {.name = "Baseline420"},
    {.colour = JpegColour::Grayscale, .name = "Grayscale"},
    {.progressive = true, .name = "Progressive"},
    {.colour = JpegColour::Grayscale, .progressive = true, .name = "ProgressiveGrayscale"},
    {.width = 100, .height = 70, .restartRows = 1, .name = "RestartIntervals"},
    {.arithmetic = true, .name = "Arithmetic"},
    {.progressive = true, .arithmetic = true, .name = "ArithmeticProgressive"},
    {.width = 1, .height = 1, .name = "OnePixel"},
    {.width = 17, .height = 9, .name = "Size17x9"},
    {.width = 4095, .height = 3, .name = "Size4095x3"},
    {.width = 37, .height = 29, .colour = JpegColour::CmykAdobe, .name = "AdobeCmyk"},
    {.width = 37, .height = 29, .colour = JpegColour::Ycck, .progressive = true, .name = "Ycck"},
};

class DecodeLikeDjpeg : public ::testing::TestWithParam<std::tuple<JpegRecipe, int>> {};

TEST_P(DecodeLikeDjpeg, PixelsEqualDjpegWithTheSameSettings) {
    const auto& [recipe, depth] = GetParam();
    ScreenDepth screen(depth);
    const Bytes jpeg = MakeJpeg(recipe);
    auto image = LoadJpeg(jpeg);
    const RgbPixels ours = Decoded(*image);

    // Grayscale JPEGs are always quantized to grey levels, four-component ones never, colour
    // ones when the screen has 8 bits or fewer.
    const bool grey = recipe.colour == JpegColour::Grayscale;
    const bool fourComponents = recipe.colour == JpegColour::CmykAdobe || recipe.colour == JpegColour::Ycck;
    const bool quantized = grey || (depth <= 8 && !fourComponents);
    QStringList arguments{"-dct", "float"};
    if (quantized) arguments << "-colors" << "236" << "-dither" << "fs";
    if (grey) arguments << "-onepass";

    EXPECT_EQ(image->Bitmap()->PixelFormat(),
              quantized ? TJPEGBitmap::Format::Indexed8 : TJPEGBitmap::Format::Bgr24);
    if (quantized) {
        EXPECT_LE(image->Bitmap()->Palette().size(), 236);
    }
    EXPECT_EQ(FirstDifference(ours, Djpeg(jpeg, arguments)), "");
}

INSTANTIATE_TEST_SUITE_P(Kinds, DecodeLikeDjpeg,
                         ::testing::Combine(::testing::ValuesIn(kRecipes), ::testing::Values(24, 8)),
                         [](const auto& info) {
                             return std::get<0>(info.param).name + "_" +
                                    std::to_string(std::get<1>(info.param)) + "bit";
                         });

TEST(JpegHeader, LoadReadsSizeGrayscaleAndScans) {
    struct Case {
        JpegRecipe recipe;
        bool grayscale, progressive;
    } const cases[] = {
        {{.width = 640, .height = 480}, false, false},
        {{.width = 17, .height = 9, .colour = JpegColour::Grayscale}, true, false},
        {{.width = 33, .height = 65, .progressive = true}, false, true},
        {{.width = 8, .height = 8, .colour = JpegColour::Cmyk}, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.recipe.width << "x" << c.recipe.height);
        auto image = LoadJpeg(MakeJpeg(c.recipe));
        EXPECT_EQ(image->Width(), c.recipe.width);
        EXPECT_EQ(image->Height(), c.recipe.height);
        EXPECT_EQ(image->Grayscale(), c.grayscale);
        EXPECT_EQ(image->ProgressiveEncoding(), c.progressive);
        EXPECT_FALSE(image->Empty());
        EXPECT_EQ(image->Bitmap(), nullptr) << "loading reads the header only";
    }
}

TEST(JpegHeader, ANewGraphicIsEmptyAZeroByteLoadIsNot) {
    TJPEGImage fresh;
    EXPECT_TRUE(fresh.Empty());
    auto zero = LoadJpeg({});
    EXPECT_FALSE(zero->Empty());
    EXPECT_EQ(zero->Width(), 0);
    EXPECT_EQ(zero->Height(), 0);
}

TEST(JpegHeader, TheScreenDepthPicksThePixelFormat) {
    for (const auto& [depth, format] : {std::pair{1, TJPEGPixelFormat::jf8Bit}, {8, TJPEGPixelFormat::jf8Bit},
                                        {15, TJPEGPixelFormat::jf24Bit}, {32, TJPEGPixelFormat::jf24Bit}}) {
        ScreenDepth screen(depth);
        EXPECT_EQ(TJPEGImage().PixelFormat(), format) << depth;
    }
    // The offscreen screen the tests run on has 32 bits per pixel.
    EXPECT_EQ(TJPEGImage().PixelFormat(), TJPEGPixelFormat::jf24Bit);
}

TEST(JpegClone, SharesTheDataAndTheBitmapAndOutlivesTheOriginal) {
    auto original = LoadJpeg(MakeJpeg({.width = 40, .height = 30}));
    auto before = original->Clone();
    const RgbPixels pixels = Decoded(*original);
    auto after = original->Clone();
    original.reset();

    auto* undecoded = dynamic_cast<TJPEGImage*>(before.get());
    auto* decoded = dynamic_cast<TJPEGImage*>(after.get());
    ASSERT_TRUE(undecoded && decoded);
    EXPECT_TRUE(undecoded->SharesDataWith(*decoded));
    EXPECT_EQ(undecoded->Bitmap(), nullptr);
    EXPECT_EQ(PixelsOf(decoded->Bitmap()->View()), pixels);
    EXPECT_EQ(Decoded(*undecoded), pixels);
    EXPECT_EQ(decoded->DecodeCount(), 0) << "the copy took the bitmap, it did not decode again";
}

// Four-component JPEGs are shown converted to red-green-blue: flat blocks of known ink amounts
// against the plain conversion R = 255 (1 - C/255)(1 - K/255), and likewise G from M, B from Y.
TEST(JpegCmyk, InkAmountsBecomeTheirColours) {
    const int kInks[][4] = {{0, 0, 0, 0},     {255, 0, 0, 0},   {0, 128, 255, 0},
                            {0, 0, 0, 255},   {40, 80, 120, 160}, {200, 30, 90, 60}};
    constexpr int kBlock = 16, kCount = 6;
    struct Case {
        JpegColour colour;
        bool storedInverted;  // Adobe-marked files store 255 - ink
        int tolerance;        // the YCCK transform rounds
    } const cases[] = {{JpegColour::Cmyk, false, 1}, {JpegColour::CmykAdobe, true, 1}, {JpegColour::Ycck, true, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.colour));
        Bytes pixels;
        for (int y = 0; y < kBlock; ++y)
            for (int x = 0; x < kBlock * kCount; ++x)
                for (int i = 0; i < 4; ++i) {
                    const int ink = kInks[x / kBlock][i];
                    pixels.push_back(std::uint8_t(c.storedInverted ? 255 - ink : ink));
                }
        const JpegRecipe recipe{.width = kBlock * kCount, .height = kBlock, .colour = c.colour, .quality = 100};
        auto image = LoadJpeg(CompressPixels(pixels, recipe));
        const RgbPixels ours = Decoded(*image);
        ASSERT_EQ(ours.width, recipe.width);
        // Away from the block edges, where smooth chroma upsampling blends neighbouring blocks.
        for (int y = 2; y < kBlock - 2; ++y)
            for (int x = 0; x < recipe.width; ++x) {
                if (x % kBlock < 2 || x % kBlock >= kBlock - 2) continue;
                const int* ink = kInks[x / kBlock];
                for (int i = 0; i < 3; ++i) {
                    const double expected = 255.0 * (1 - ink[i] / 255.0) * (1 - ink[3] / 255.0);
                    ASSERT_NEAR(ours.rgb[3 * (y * recipe.width + x) + i], expected, c.tolerance)
                        << "pixel (" << x << ", " << y << ") channel " << i;
                }
            }
    }
}

}  // namespace
