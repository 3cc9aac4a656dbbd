// The picture area of the main window: a loaded JPEG given to it as the Connect command gives
// one, stretched over the whole area, decoded once, errors shown once.
#include "picture/concurrent_stretch.h"
#include "platform/application.h"
#include "tests/support/jpeg_reference.h"
#include "tests/support/messages.h"
#include "ui/Unit1.h"

#include <jerror.h>

#include <QPainter>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <new>
#include <thread>

namespace {

// The picture as an exact area average: each output pixel is the mean of the source area it
// covers, partly covered source pixels counting by the part covered.
RgbPixels AreaAverage(const RgbPixels& source, int width, int height) {
    auto spans = [](int from, int to, int i) {
        std::vector<std::pair<int, double>> out;  // source index, weight
        const double lo = double(i) * from / to, hi = double(i + 1) * from / to;
        for (int k = int(lo); k < from && k < hi; ++k)
            out.push_back({k, std::min(hi, k + 1.0) - std::max(lo, double(k))});
        return out;
    };
    RgbPixels out{width, height, {}};
    for (int j = 0; j < height; ++j)
        for (int i = 0; i < width; ++i) {
            double sum[3] = {}, area = 0;
            for (const auto& [y, wy] : spans(source.height, height, j))
                for (const auto& [x, wx] : spans(source.width, width, i)) {
                    for (int c = 0; c < 3; ++c) sum[c] += wx * wy * source.rgb[3 * (std::size_t(y) * source.width + x) + c];
                    area += wx * wy;
                }
            for (int c = 0; c < 3; ++c) out.rgb.push_back(std::uint8_t(std::lround(sum[c] / area)));
        }
    return out;
}

// A smooth colour picture, on which interpolating and averaging differ little.
Bytes SmoothJpeg(int width, int height) {
    Bytes pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels.insert(pixels.end(), {std::uint8_t(x * 255 / (width - 1)), std::uint8_t(y * 255 / (height - 1)),
                                         std::uint8_t(128 + 60 * std::sin(x / 20.0))});
    return CompressPixels(pixels, {.width = width, .height = height, .hSampling = 1, .vSampling = 1, .quality = 95});
}

class PictureAreaTest : public ::testing::Test {
protected:
    void SetUp() override {
        form = std::make_unique<TForm1>(nullptr);
        form->Show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form->Window()));
        TakeMessages();
        blank = Grab();
    }

    // What the Connect command does with a response body, errors going to the reporter.
    void Show(const Bytes& body) {
        Application->Guard([&] {
            auto stream = std::make_unique<TMemoryStream>();
            auto jpeg = std::make_unique<TJPEGImage>();
            stream->Write(body.data(), body.size());
            stream->SetPosition(0);
            jpeg->LoadFromStream(*stream);
            form->Image1->SetStretch(true);
            form->Image1->Picture()->Assign(jpeg.get());
        });
    }

    // Paints the area as the screen would and returns what it shows.
    RgbPixels Grab() { return PixelsOf(form->Image1->Widget()->grab().toImage()); }

    TJPEGImage* Shown() { return dynamic_cast<TJPEGImage*>(form->Image1->Picture()->Graphic()); }

    // The shown graphic's decoded bitmap, averaged over the area.
    RgbPixels Expected() { return AreaAverage(PixelsOf(Shown()->Bitmap()->View()), 321, 241); }

    std::unique_ptr<TForm1> form;
    RgbPixels blank;
};

TEST_F(PictureAreaTest, SnapshotsFillTheWholeAreaShrunkOrEnlarged) {
    struct Case {
        const char* name;
        Bytes jpeg;
        int tolerance;
    } const cases[] = {
        {"640x480 shrunk", MakeJpeg({.width = 640, .height = 480}), 1},
        {"160x120 enlarged", SmoothJpeg(160, 120), 2},
        {"1000x100 shrunk across, enlarged down", SmoothJpeg(1000, 100), 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Show(c.jpeg);
        const RgbPixels shown = Grab();
        ASSERT_NE(Shown(), nullptr);
        EXPECT_EQ(FirstDifference(shown, Expected(), c.tolerance), "");
        EXPECT_TRUE(TakeMessages().empty());
    }
}

TEST_F(PictureAreaTest, RepaintsDrawTheKeptCopyWithoutDecodingOrScalingAgain) {
    Show(MakeJpeg({.width = 640, .height = 480}));
    const RgbPixels first = Grab();
    // Covered by another window and uncovered, repainted, hidden and shown again.
    QWidget cover;
    cover.setGeometry(form->Window()->geometry());
    cover.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&cover));
    cover.hide();
    form->Window()->repaint();
    form->Image1->Widget()->hide();
    form->Image1->Widget()->show();
    ProcessEvents(20);
    EXPECT_EQ(Grab(), first);
    EXPECT_EQ(Shown()->DecodeCount(), 1);
    EXPECT_EQ(Shown()->StretchCount(), 1);
}

TEST_F(PictureAreaTest, ANewPictureReplacesTheOldAndAFailedLoadKeepsIt) {
    Show(MakeJpeg({.width = 64, .height = 48}));
    Grab();
    Show(MakeJpeg({.width = 642, .height = 482, .colour = JpegColour::Grayscale}));
    const TJPEGImage* second = Shown();
    const RgbPixels secondShown = Grab();
    EXPECT_EQ(second->Width(), 642);
    EXPECT_EQ(FirstDifference(secondShown, Expected(), 1), "");
    for (std::size_t i = 0; i < secondShown.rgb.size(); i += 3)
        ASSERT_TRUE(secondShown.rgb[i] == secondShown.rgb[i + 1] && secondShown.rgb[i] == secondShown.rgb[i + 2])
            << "a grayscale JPEG is shown in grey";

    const std::string html = "<html><body>Not Found</body></html>";
    Show(Bytes(html.begin(), html.end()));
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{"JPEG error #" + std::to_string(JERR_NO_SOI)});
    EXPECT_EQ(Shown(), second);
    EXPECT_EQ(Grab(), secondShown);
    EXPECT_EQ(Shown()->DecodeCount(), 1);
}

TEST_F(PictureAreaTest, AnEmptyBodyShowsTheInputEmptyErrorOnceAndNoPicture) {
    Show(MakeJpeg({.width = 64, .height = 48}));
    Grab();
    Show({});
    // Loading raised nothing; the first paint did.
    EXPECT_EQ(Grab(), blank);
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{"JPEG error #" + std::to_string(JERR_INPUT_EMPTY)});
    form->Window()->repaint();
    EXPECT_EQ(Grab(), blank);
    EXPECT_TRUE(TakeMessages().empty());
}

TEST_F(PictureAreaTest, AnErrorAfterTheRowsShowsThePictureAndTheMessageOnce) {
    const Bytes good = MakeJpeg({.width = 800, .height = 600});
    Bytes jpeg(good.begin(), good.end() - 2);
    const Bytes frame = CutAfter(good, 0xC0);
    jpeg.insert(jpeg.end(), frame.begin() + std::ptrdiff_t(FindSegment(good, 0xC0)), frame.end());
    Show(jpeg);
    const RgbPixels shown = Grab();
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{"JPEG error #" + std::to_string(JERR_SOF_DUPLICATE)});
    EXPECT_EQ(FirstDifference(shown, AreaAverage(Decoded(*LoadJpeg(good)), 321, 241), 1), "");
    EXPECT_EQ(Grab(), shown);
    EXPECT_TRUE(TakeMessages().empty());
}

TEST_F(PictureAreaTest, AJpegCutInItsDataIsShownWholeWithoutAMessage) {
    const Bytes good = MakeJpeg({.width = 640, .height = 480});
    Show(Bytes(good.begin(), good.begin() + std::ptrdiff_t(good.size() / 3)));
    const RgbPixels shown = Grab();
    EXPECT_TRUE(TakeMessages().empty());
    EXPECT_EQ(Shown()->Bitmap()->Height(), 480);
    EXPECT_EQ(FirstDifference(shown, Expected(), 1), "");
    EXPECT_NE(shown, blank);
}

TEST(PictureDraw, ADrawThatCannotScaleCountsAsNothingPainted) {
    // The area then paints its background there, not leave what was on the screen before.
    auto stream = std::make_unique<TMemoryStream>();
    const Bytes jpeg = MakeJpeg({.width = 64, .height = 48});
    stream->Write(jpeg.data(), jpeg.size());
    stream->SetPosition(0);
    TJPEGImage image;
    image.LoadFromStream(*stream);
    QImage target(321, 241, QImage::Format_RGB32);
    QPainter painter(&target);
    image.Draw(painter, QRect(0, 0, 321, 241));
    EXPECT_TRUE(image.Painted());
    EXPECT_THROW(image.Draw(painter, QRect(0, 0, 20000, 20000)), std::bad_alloc);
    EXPECT_FALSE(image.Painted());
    image.Draw(painter, QRect(0, 0, 321, 241));
    EXPECT_TRUE(image.Painted());
    EXPECT_EQ(image.DecodeCount(), 1);
}

TEST(PictureDraw, ScalingBesideTheDecodeGivesWhatScalingAfterItGives) {
    struct Case {
        JpegRecipe recipe;
        int screenDepth = 24;
        std::size_t cut = 0;  // bytes kept, when not all
    } const cases[] = {
        {{.width = 640, .height = 480, .name = "colour"}},
        {{.width = 100, .height = 75, .name = "enlarged"}},
        {{.width = 640, .height = 480, .colour = JpegColour::Grayscale, .name = "grey"}},
        {{.width = 640, .height = 480, .name = "8-bit screen"}, 8},
        {{.width = 400, .height = 300, .colour = JpegColour::CmykAdobe, .name = "cmyk"}},
        {{.width = 640, .height = 480, .progressive = true, .name = "progressive"}},
        {{.width = 640, .height = 480, .name = "cut in its data"}, 24, 20000},
    };
    // Puts the process-wide settings back however the test ends.
    struct Settings {
        ~Settings() {
            ConcurrentStretch::Allow(true);
            TJPEGImage::SetScreenDepthForOutput(0);
        }
    } const restore;
    const bool twoProcessors = std::thread::hardware_concurrency() > 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.recipe.name);
        Bytes jpeg = MakeJpeg(c.recipe);
        if (c.cut) jpeg.resize(c.cut);
        TJPEGImage::SetScreenDepthForOutput(c.screenDepth);
        QImage shown[2];
        for (const bool beside : {true, false}) {
            ConcurrentStretch::Allow(beside);
            TMemoryStream stream;
            stream.Write(jpeg.data(), jpeg.size());
            stream.SetPosition(0);
            TJPEGImage image;
            image.LoadFromStream(stream);
            QImage target(321, 241, QImage::Format_RGB32);
            target.fill(Qt::black);
            QPainter painter(&target);
            const long started = ConcurrentStretch::StartCount();
            image.Draw(painter, QRect(0, 0, 321, 241));
            EXPECT_EQ(ConcurrentStretch::StartCount() - started, beside && twoProcessors ? 1 : 0);
            EXPECT_EQ(image.StretchCount(), 1);
            EXPECT_EQ(image.Stretched(), StretchPicture(image.Bitmap()->View(), QSize(321, 241)));
            shown[beside] = target;
        }
        EXPECT_EQ(shown[0], shown[1]);
    }
}

}  // namespace
