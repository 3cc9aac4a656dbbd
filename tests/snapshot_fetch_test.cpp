// The Connect command end to end: the real window on the offscreen platform, typed into and
// clicked as a user does, against the demo camera and scripted misbehaving cameras.
#include "tests/support/camera_window.h"
#include "tests/support/democam.h"
#include "tests/support/jpeg_maker.h"
#include "tests/support/jpeg_reference.h"
#include "tests/support/messages.h"
#include "tests/support/script_server.h"
#include "ui/Unit1.h"

#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>
#include <jerror.h>

#include <atomic>

namespace {

std::string AsText(const Bytes& b) { return std::string(b.begin(), b.end()); }

ScriptedReply JpegReply(const Bytes& jpeg) {
    return HttpReply("200 OK", AsText(jpeg), "Content-Type: image/jpeg\r\n");
}

// Area average of `src` to `w` x `h`, each output pixel the exact mean of the source area it
// covers: what the picture area must show, up to rounding.
RgbPixels AreaAverage(const RgbPixels& src, int w, int h) {
    RgbPixels out{w, h, Bytes(static_cast<std::size_t>(w) * h * 3)};
    const double sx = double(src.width) / w, sy = double(src.height) / h;
    for (int oy = 0; oy < h; ++oy)
        for (int ox = 0; ox < w; ++ox) {
            double sum[3] = {0, 0, 0}, area = 0;
            for (int y = int(oy * sy); y < std::min(src.height, int(std::ceil((oy + 1) * sy))); ++y) {
                const double wy = std::min<double>(y + 1, (oy + 1) * sy) - std::max<double>(y, oy * sy);
                for (int x = int(ox * sx); x < std::min(src.width, int(std::ceil((ox + 1) * sx))); ++x) {
                    const double wx = std::min<double>(x + 1, (ox + 1) * sx) - std::max<double>(x, ox * sx);
                    const std::uint8_t* p = &src.rgb[(std::size_t(y) * src.width + x) * 3];
                    for (int c = 0; c < 3; ++c) sum[c] += wx * wy * p[c];
                    area += wx * wy;
                }
            }
            for (int c = 0; c < 3; ++c)
                out.rgb[(std::size_t(oy) * w + ox) * 3 + c] = std::uint8_t(std::lround(sum[c] / area));
        }
    return out;
}

// Mean absolute difference per channel: small for the same picture, large for another.
double MeanDifference(const RgbPixels& a, const RgbPixels& b) {
    if (a.width != b.width || a.height != b.height) return 255;
    double total = 0;
    for (std::size_t i = 0; i < a.rgb.size(); ++i) total += std::abs(int(a.rgb[i]) - int(b.rgb[i]));
    return total / a.rgb.size();
}

class SnapshotFetchTest : public CameraWindowTest {
protected:
    RgbPixels Shown() { return PixelsOf(form->Image1->Widget()->grab().toImage()); }

    // Shows `jpeg` through a good camera, so that a failing command has a picture to keep.
    void ShowFirstPicture(const Bytes& jpeg) {
        ScriptServer good({JpegReply(jpeg)});
        TypeSettings("127.0.0.1", good.Port());
        ASSERT_EQ(Connect(), std::vector<std::string>{});
        ASSERT_NE(form->Image1->Picture()->Graphic(), nullptr);
    }
};

TEST_F(SnapshotFetchTest, JpegIsShownStretchedAfterOneGet) {
    const Bytes jpeg = MakeJpeg({.width = 640, .height = 480});
    ScriptServer camera({JpegReply(jpeg)});
    TypeSettings("127.0.0.1", camera.Port(), "user", "pass");
    EXPECT_EQ(Connect(), std::vector<std::string>{});

    const auto requests = camera.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].RequestLine(), "GET /cgi-bin/viewer/video.jpg HTTP/1.1");
    EXPECT_EQ(camera.Connections(), 1);
    EXPECT_TRUE(form->Button1->Enabled());
    EXPECT_TRUE(form->Image1->Stretch());
    const RgbPixels expected = AreaAverage(Djpeg(jpeg, {"-dct", "float"}), 321, 241);
    EXPECT_LT(MeanDifference(Shown(), expected), 2.0);
}

TEST_F(SnapshotFetchTest, ButtonIsDisabledWhileTheRequestRuns) {
    std::atomic<int> enabledDuringGet{-1};
    const Bytes jpeg = MakeJpeg({});
    ScriptServer camera([&](const ScriptedRequest&) {
        // The window's thread is blocked in the request until this reply is sent.
        enabledDuringGet = form->Button1->Enabled() ? 1 : 0;
        return JpegReply(jpeg);
    });
    TypeSettings("127.0.0.1", camera.Port());
    EXPECT_EQ(Connect(), std::vector<std::string>{});
    EXPECT_EQ(enabledDuringGet, 0);
    EXPECT_TRUE(form->Button1->Enabled());
}

TEST_F(SnapshotFetchTest, FailedFetchKeepsThePreviousPictureAndTheNextConnectWorks) {
    const Bytes first = MakeJpeg({.width = 160, .height = 120});
    RefusingPort refused;
    struct Case {
        const char* name;
        std::vector<ScriptedReply> replies;
        std::string message;  // the whole message, or its start when it ends in '*'
    };
    const Case cases[] = {
        {"html page", {HttpReply("200 OK", "<html><body>login</body></html>", "Content-Type: text/html\r\n")},
         "JPEG error #" + std::to_string(JERR_NO_SOI)},
        {"not found", {HttpReply("404 Not Found", "")}, "HTTP/1.1 404 Not Found"},
        {"stalled camera", {ScriptedReply{.bytes = "", .stall = true}}, "Read timed out*"},
        {"refused port", {}, "Connection refused*"},
    };
    ShowFirstPicture(first);
    const TGraphic* before = form->Image1->Picture()->Graphic();
    const RgbPixels shownBefore = Shown();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptServer camera(c.replies);
        TypeSettings("127.0.0.1", c.replies.empty() ? refused.Port() : camera.Port());
        const auto messages = Connect();
        ASSERT_EQ(messages.size(), 1u);
        if (c.message.back() == '*')
            EXPECT_EQ(messages[0].substr(0, c.message.size() - 1), c.message.substr(0, c.message.size() - 1)) << messages[0];
        else
            EXPECT_EQ(messages[0], c.message);
        EXPECT_TRUE(form->Button1->Enabled());
        EXPECT_EQ(form->Image1->Picture()->Graphic(), before);
        EXPECT_EQ(MeanDifference(Shown(), shownBefore), 0.0);
    }
    const Bytes next = MakeJpeg({.width = 320, .height = 240, .colour = JpegColour::Grayscale});
    ScriptServer good({JpegReply(next)});
    TypeSettings("127.0.0.1", good.Port());
    EXPECT_EQ(Connect(), std::vector<std::string>{});
    EXPECT_NE(form->Image1->Picture()->Graphic(), before);
}

TEST_F(SnapshotFetchTest, EmptyBodyReplacesThePictureAndFailsOnceAtItsFirstPaint) {
    ShowFirstPicture(MakeJpeg({}));
    ScriptServer camera({HttpReply("200 OK", "", "Content-Type: image/jpeg\r\n")});
    TypeSettings("127.0.0.1", camera.Port());
    QTest::mouseClick(form->Button1->Widget(), Qt::LeftButton);
    EXPECT_TRUE(form->Button1->Enabled());
    form->Image1->Widget()->repaint();
    form->Image1->Widget()->repaint();
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{"JPEG error #" + std::to_string(JERR_INPUT_EMPTY)});
    // The area shows no picture: only the window's background.
    const QImage area = form->Image1->Widget()->grab().toImage();
    const QColor background = form->Window()->palette().color(QPalette::Window);
    EXPECT_EQ(area.pixelColor(160, 120), background);
    EXPECT_EQ(area.pixelColor(5, 5), background);
}

TEST_F(SnapshotFetchTest, EmptyAddressAsksForAUrlWithoutHost) {
    TypeSettings("", 0);
    const auto messages = Connect();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("http:///cgi-bin/viewer/video.jpg"), std::string::npos) << messages[0];
    EXPECT_TRUE(form->Button1->Enabled());
}

TEST_F(SnapshotFetchTest, ConnectTwiceShowsTwoPictures) {
    const Bytes a = MakeJpeg({.width = 64, .height = 48}), b = MakeJpeg({.width = 64, .height = 48, .colour = JpegColour::Grayscale});
    ScriptServer camera({JpegReply(a), JpegReply(b)});
    TypeSettings("127.0.0.1", camera.Port());
    EXPECT_EQ(Connect(), std::vector<std::string>{});
    const RgbPixels first = Shown();
    EXPECT_EQ(Connect(), std::vector<std::string>{});
    EXPECT_EQ(camera.Requests().size(), 2u);
    EXPECT_GT(MeanDifference(Shown(), first), 1.0);
}

TEST_F(SnapshotFetchTest, DemoCameraWithDigestShowsItsTestCard) {
    DemoCamera camera;
    ASSERT_TRUE(camera.Started()) << camera.announcement;
    form->IdHTTP1->ReadTimeout = 5000;  // the server answers a wrong password after a pause
    TypeSettings("127.0.0.1", camera.port, camera.user, camera.password + "x");
    EXPECT_EQ(Connect(), std::vector<std::string>{"HTTP/1.1 401 Unauthorized"});
    EXPECT_EQ(form->Image1->Picture()->Graphic(), nullptr);

    TypeSettings("127.0.0.1", camera.port, camera.user, camera.password);
    EXPECT_EQ(Connect(), std::vector<std::string>{});
    const TGraphic* shown = form->Image1->Picture()->Graphic();
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->Width(), 640);
    EXPECT_EQ(shown->Height(), 480);
    EXPECT_TRUE(form->Button1->Enabled());
}

}  // namespace
