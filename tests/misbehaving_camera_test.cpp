// Cameras that misbehave, each met through the real Connect command of the window on Qt's
// offscreen platform: every one ends in its picture or in exactly one clear message, within
// the client's time-outs, with the window usable and the next camera working.
#include "tests/support/camera_window.h"
#include "tests/support/jpeg_maker.h"
#include "tests/support/lighttpd_server.h"
#include "tests/support/messages.h"
#include "tests/support/script_server.h"
#include "ui/Unit1.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>
#include <jerror.h>

#include <fnmatch.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>

namespace {

std::string AsText(const Bytes& b) { return std::string(b.begin(), b.end()); }

ScriptedReply JpegReply(const Bytes& jpeg) {
    return HttpReply("200 OK", AsText(jpeg), "Content-Type: image/jpeg\r\n");
}

ScriptServer::Responder Always(const ScriptedReply& reply) {
    return [reply](const ScriptedRequest&) { return reply; };
}

// The picture each misbehaving camera means to send, and the one the good camera sends after
// it: their sizes tell which one the window shows.
const Bytes kCameraJpeg = MakeJpeg({.width = 96, .height = 72});
const Bytes kGoodJpeg = MakeJpeg({.width = 64, .height = 48, .colour = JpegColour::Grayscale});

struct Behaviour {
    const char* name;
    ScriptServer::Responder respond;
    /// The one message the user sees, with '*' for any text; "" when the picture is shown.
    std::string message;
    int readTimeoutMs = 500;
    int maxRequests = 1;  // what the camera may see of one Connect: no loops
    bool pictureReplaced = false;  // the message comes from the new picture's first paint
};

// The process's peak resident memory (VmHWM) is reset to what it holds now (VmRSS); Growth()
// is how far the peak has risen above that since, in MiB.
class PeakMemory {
public:
    PeakMemory() {
        std::ofstream("/proc/self/clear_refs") << "5";
        start_ = StatusKiB("VmRSS:");
    }
    long long GrowthMiB() const { return (StatusKiB("VmHWM:") - start_) / 1024; }

private:
    static long long StatusKiB(const std::string& field) {
        std::ifstream status("/proc/self/status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind(field, 0) == 0) return std::stoll(line.substr(field.size()));
        return 0;
    }
    long long start_;
};

/// `jpeg` grown to about `size` bytes by comment segments after its start marker: still a
/// valid JPEG of the same picture.
Bytes PaddedJpeg(const Bytes& jpeg, std::size_t size) {
    Bytes out(jpeg.begin(), jpeg.begin() + 2);
    out.reserve(size + 65536);
    while (out.size() + jpeg.size() < size) {
        const std::size_t payload = std::min<std::size_t>(65533, size - out.size() - jpeg.size());
        out.insert(out.end(), {0xFF, 0xFE, std::uint8_t((payload + 2) >> 8), std::uint8_t(payload + 2)});
        out.resize(out.size() + payload, 'c');
    }
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}

std::string Chunked(const std::string& chunks) {
    return "HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\nTransfer-Encoding: chunked\r\n\r\n" + chunks;
}

std::vector<Behaviour> Behaviours() {
    const std::string jpeg = AsText(kCameraJpeg);
    const std::string length = std::to_string(jpeg.size());
    const std::string timedOut = "Read timed out: no data from the camera for 500 ms";
    const std::string broke = "The connection to 127.0.0.1 port * broke: ";
    const std::string badChunk = broke + "* in chunked-encoding";

    ScriptedReply trickled = JpegReply(kCameraJpeg);
    trickled.trickleMs = 1000;
    trickled.trickleFrom = trickled.bytes.size() - 3;

    std::string manyHeaders = "HTTP/1.1 200 OK\r\n";
    for (int i = 0; i < 10000; ++i) manyHeaders += "X-Header-" + std::to_string(i) + ": v\r\n";
    manyHeaders += "Content-Length: " + length + "\r\n\r\n" + jpeg;

    const std::string challenge =
        "WWW-Authenticate: Digest realm=\"camera\", nonce=\"5ca1ab1e\", qop=\"auth\", algorithm=MD5\r\n"
        "WWW-Authenticate: Basic realm=\"camera\"\r\n";

    return {
        {"accepts and never answers", Always({.bytes = "", .stall = true}), timedOut},
        {"the status line, then a stall", Always({.bytes = "HTTP/1.1 200 OK\r\n", .stall = true}), timedOut},
        {"half the body, then a stall",
         Always({.bytes = JpegReply(kCameraJpeg).bytes.substr(0, 100 + jpeg.size() / 2), .stall = true}), timedOut},
        {"the body's last bytes trickled one a second", Always(trickled), "", 1500},
        {"Content-Length larger than the body, then close",
         Always({.bytes = "HTTP/1.1 200 OK\r\nContent-Length: 50000\r\n\r\n" + jpeg, .close = true}),
         "Connection closed after " + length + " of 50000 bytes"},
        {"a header line of 1 MiB",
         Always({.bytes = "HTTP/1.1 200 OK\r\nX-Long: " + std::string(1 << 20, 'h') + "\r\n\r\n"}),
         "A response header line is longer than 16384 bytes"},
        {"10,000 headers", Always({.bytes = manyHeaders}), "The response headers are longer than 131072 bytes"},
        {"a chunk size that is not hexadecimal", Always({.bytes = Chunked("zz\r\n" + jpeg), .close = true}), badChunk},
        {"a chunk size past 64 bits", Always({.bytes = Chunked("1ffffffffffffffff\r\n" + jpeg), .close = true}), badChunk},
        {"a negative chunk size", Always({.bytes = Chunked("-10\r\n" + jpeg), .close = true}), badChunk},
        {"a chunk longer than its size", Always({.bytes = Chunked("5\r\n" + jpeg + "\r\n0\r\n\r\n"), .close = true}), badChunk},
        {"connection reset mid-body",
         Always({.bytes = "HTTP/1.1 200 OK\r\nContent-Length: 50000\r\n\r\n" + jpeg, .reset = true}),
         broke + "Recv failure: Connection reset by peer"},
        {"401 forever", Always(HttpReply("401 Unauthorized", "", challenge)), "HTTP/1.1 401 Unauthorized", 500, 2},
        {"a redirect loop", Always(HttpReply("302 Found", "", "Location: /cgi-bin/viewer/video.jpg\r\n")),
         "Too many redirects (more than 5)", 500, 6},
        {"HTTP/1.0 without Content-Length",
         Always({.bytes = "HTTP/1.0 200 OK\r\nContent-Type: image/jpeg\r\n\r\n" + jpeg, .close = true}), ""},
        {"bare LF line ends",
         Always({.bytes = "HTTP/1.1 200 OK\nContent-Type: image/jpeg\nContent-Length: " + length + "\n\n" + jpeg}), ""},
        {"blanks before the colons, then close",
         Always({.bytes = "HTTP/1.1 200 OK\r\nContent-Type : image/jpeg\r\nContent-Length : " + length + "\r\n\r\n" + jpeg,
                 .close = true}),
         ""},
        {"tabs and blanks around a value",
         Always({.bytes = "HTTP/1.1 200 OK\r\nContent-Length:\t  " + length + " \t\r\n\r\n" + jpeg}), ""},
        {"no Content-Type", Always(HttpReply("200 OK", jpeg)), ""},
        {"Content-Type with a charset", Always(HttpReply("200 OK", jpeg, "Content-Type: image/jpeg; charset=utf-8\r\n")), ""},
        {"gzip not asked for, on a plain JPEG", Always(HttpReply("200 OK", jpeg, "Content-Encoding: gzip\r\n")), ""},
        {"gzip not asked for, on gzip data",
         Always(HttpReply("200 OK", std::string("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10) + jpeg,
                          "Content-Encoding: gzip\r\n")),
         "JPEG error #" + std::to_string(JERR_NO_SOI)},
        {"a JPEG declaring 65000 x 65000", Always(JpegReply(WithSize(kCameraJpeg, 65000, 65000))),
         "The picture is too large to show (65000 x 65000 pixels; the limit is 268435456 pixels)", 500, 1, true},
    };
}

class MisbehavingCameraTest : public CameraWindowTest {
protected:
    void SetUp() override { ShowWindow(1000, 500); }

    void TypeSettings(int port) { CameraWindowTest::TypeSettings("127.0.0.1", port, "admin", "secret"); }
    int ShownWidth() const { return ShownGraphic() ? ShownGraphic()->Width() : -1; }
    // The good camera after a bad one: the window takes its picture without a message.
    void ExpectTheNextCameraWorks() {
        ScriptServer good(Always(JpegReply(kGoodJpeg)));
        TypeSettings(good.Port());
        EXPECT_EQ(Connect(), std::vector<std::string>{});
        EXPECT_EQ(ShownWidth(), 64);
    }

};

TEST_F(MisbehavingCameraTest, EachEndsInThePictureOrOneClearMessage) {
    std::string timings;
    qint64 longestHang = 0;
    for (const Behaviour& b : Behaviours()) {
        SCOPED_TRACE(b.name);
        ExpectTheNextCameraWorks();
        ScriptServer camera(b.respond);
        TypeSettings(camera.Port());
        form->IdHTTP1->ReadTimeout = b.readTimeoutMs;
        QElapsedTimer timer;
        timer.start();
        const auto messages = Connect();
        const qint64 elapsed = timer.elapsed();
        form->IdHTTP1->ReadTimeout = 500;

        if (b.message.empty()) {
            EXPECT_EQ(messages, std::vector<std::string>{});
            EXPECT_EQ(ShownWidth(), 96);
        } else {
            ASSERT_EQ(messages.size(), 1u) << (messages.empty() ? "" : messages[0]);
            EXPECT_EQ(fnmatch(b.message.c_str(), messages[0].c_str(), 0), 0) << messages[0];
            EXPECT_FALSE(messages[0].empty());
            EXPECT_EQ(std::count_if(messages[0].begin(), messages[0].end(), [](unsigned char c) { return c < ' '; }), 0)
                << messages[0];
            EXPECT_EQ(ShownWidth(), b.pictureReplaced ? 65000 : 64);
        }
        EXPECT_TRUE(form->Button1->Enabled());
        EXPECT_LE(static_cast<int>(camera.Requests().size()), b.maxRequests);
        if (b.message.rfind("Read timed out", 0) == 0) longestHang = std::max(longestHang, elapsed);
        timings += "  " + std::string(b.name) + ": " + std::to_string(elapsed) + " ms" +
                   (messages.empty() ? "" : " (" + messages[0] + ")") + "\n";
    }
    ExpectTheNextCameraWorks();
    std::printf("Connect against each behaviour (read time-out 500 ms, 1500 ms for the trickle):\n%s"
                "longest stall before the time-out message: %lld ms\n",
                timings.c_str(), static_cast<long long>(longestHang));
}

TEST_F(MisbehavingCameraTest, ACameraThatNeverAcceptsIsLeftAfterTheConnectTimeOut) {
    UnansweredPort unanswered;
    TypeSettings(unanswered.Port());
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(Connect(), std::vector<std::string>{"Connection to 127.0.0.1 port " + std::to_string(unanswered.Port()) +
                                                  " timed out after 1000 ms"});
    std::printf("connect time-out 1000 ms: the command ended after %lld ms\n", static_cast<long long>(timer.elapsed()));
    EXPECT_TRUE(form->Button1->Enabled());
    ExpectTheNextCameraWorks();
}

TEST_F(MisbehavingCameraTest, ARedirectToAnotherHostNeverCarriesTheCredentials) {
    struct Case {
        const char* name;
        ScriptedReply elsewhere;  // what the other host answers
        std::string message;
    } const cases[] = {
        {"the other host serves the picture", JpegReply(kCameraJpeg), ""},
        {"the other host asks for Basic credentials",
         HttpReply("401 Unauthorized", "", "WWW-Authenticate: Basic realm=\"other\"\r\n"), "HTTP/1.1 401 Unauthorized"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptServer other(Always(c.elsewhere));
        const std::string location = "http://localhost:" + std::to_string(other.Port()) + "/cgi-bin/viewer/video.jpg";
        // The camera itself wants the credentials before it redirects.
        ScriptServer camera([&](const ScriptedRequest& request) {
            if (request.Header("Authorization").empty())
                return HttpReply("401 Unauthorized", "", "WWW-Authenticate: Basic realm=\"camera\"\r\n");
            return HttpReply("302 Found", "", "Location: " + location + "\r\n");
        });
        TypeSettings(camera.Port());
        const auto messages = Connect();
        EXPECT_EQ(messages, c.message.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.message});
        ASSERT_EQ(camera.Requests().size(), 2u);
        EXPECT_NE(camera.Requests()[1].Header("Authorization"), "");
        ASSERT_EQ(other.Requests().size(), 1u);
        EXPECT_EQ(other.Requests()[0].Header("Authorization"), "");
        EXPECT_EQ(other.Requests()[0].RequestLine(), "GET /cgi-bin/viewer/video.jpg HTTP/1.1");
        EXPECT_TRUE(form->Button1->Enabled());
        ExpectTheNextCameraWorks();
    }
}

// The endless body and the large pictures also measure the memory they take.
TEST_F(MisbehavingCameraTest, AnEndlessBodyIsCutAtTheLimitInBoundedMemory) {
    ScriptServer camera(Always({.bytes = "HTTP/1.1 200 OK\r\n\r\n", .fill = std::size_t(1) << 40, .close = true}));
    TypeSettings(camera.Port());
    const PeakMemory peak;
    EXPECT_EQ(Connect(), std::vector<std::string>{"The response is larger than 64 MiB"});
    std::printf("endless body: peak memory rose by %lld MiB\n", peak.GrowthMiB());
    // The 64 MiB kept, and room for the allocator's own copies; not the endless rest.
    EXPECT_LT(peak.GrowthMiB(), 256);
    ExpectTheNextCameraWorks();
}

TEST_F(MisbehavingCameraTest, LargeValidJpegsFromARealServer) {
    struct Case {
        const char* name;
        std::size_t size;
        std::string message;  // "" when the picture is shown
        long long maxGrowthMiB;
    } const cases[] = {
        {"a 100 MB valid JPEG", 100'000'000, "The response is larger than 64 MiB", 64},
        // Held twice while it is loaded: the response buffer and the picture's own copy.
        {"a 60 MB valid JPEG, under the limit", 60'000'000, "", 3 * 60},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto server = std::make_unique<LighttpdServer>(LighttpdServer::Options{
            .files = {{"cgi-bin/viewer/video.jpg", AsText(PaddedJpeg(kCameraJpeg, c.size))}}});
        TypeSettings(server->Port());
        const int before = ShownWidth();
        const PeakMemory peak;
        const auto messages = Connect();
        std::printf("%s: peak memory rose by %lld MiB\n", c.name, peak.GrowthMiB());
        EXPECT_EQ(messages, c.message.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.message});
        EXPECT_EQ(ShownWidth(), c.message.empty() ? 96 : before);
        EXPECT_LT(peak.GrowthMiB(), c.maxGrowthMiB);
        server.reset();
        ExpectTheNextCameraWorks();
    }
}

}  // namespace
