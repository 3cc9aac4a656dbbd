// Click to picture: the whole Connect command against a loopback lighttpd, until the picture
// area's first paint is over, beside a raw libcurl GET of the same URL plus the reference decode.
#include "bench/benches.h"

#include "bench/reference_decode.h"
#include "bench/timing.h"
#include "tests/support/lighttpd_server.h"
#include "picture/jpeg_image.h"
#include "platform/application.h"
#include "ui/Unit1.h"

#include <curl/curl.h>

#include <QApplication>
#include <QThread>
#include <QWindow>

#include <stdexcept>

namespace {

size_t Collect(char* data, size_t size, size_t count, void* out) {
    auto* body = static_cast<std::vector<std::uint8_t>*>(out);
    body->insert(body->end(), data, data + size * count);
    return size * count;
}

// A plain libcurl GET with a fresh handle, as a simple client would make it.
std::vector<std::uint8_t> RawGet(const std::string& url, bool digest) {
    std::vector<std::uint8_t> body;
    CURL* curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
    if (digest) {
        curl_easy_setopt(curl, CURLOPT_HTTPAUTH, CURLAUTH_DIGEST);
        curl_easy_setopt(curl, CURLOPT_USERPWD, "admin:secret");
    }
    const CURLcode result = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(curl);
    if (result != CURLE_OK || status != 200) throw std::runtime_error("raw GET failed");
    return body;
}

}  // namespace

void ShowExposed(TForm& form) {
    form.Show();
    // Until the window is on the screen, a repaint paints nothing and the decode would happen
    // later, outside the time measured.
    const double deadline = NowMs() + 5000;
    auto exposed = [&] { return form.Window()->windowHandle() && form.Window()->windowHandle()->isExposed(); };
    while (!exposed() && NowMs() < deadline) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    if (!exposed()) throw std::runtime_error("the window did not appear on the screen");
    QApplication::processEvents();
}

bool ShowsDecodedPicture(TImage& image) {
    const auto* jpeg = dynamic_cast<const TJPEGImage*>(image.Picture()->Graphic());
    return jpeg && jpeg->Bitmap();
}

void FetchBenches(const std::vector<Snapshot>& snapshots, std::vector<BenchRow>& rows) {
    for (bool digest : {false, true}) {
        for (const Snapshot& s : snapshots) {
            LighttpdServer::Options options;
            options.auth = digest ? LighttpdServer::Auth::Digest : LighttpdServer::Auth::None;
            options.files["/cgi-bin/viewer/video.jpg"] = std::string(s.jpeg.begin(), s.jpeg.end());
            LighttpdServer camera(options);

            TForm1 form(nullptr);
            ShowExposed(form);
            form.Edit1->SetText("127.0.0.1");
            form.Edit2->SetText(std::to_string(camera.Port()));
            form.Edit3->SetText(digest ? "admin" : "");
            form.Edit4->SetText(digest ? "secret" : "");
            std::vector<std::string> errors;
            auto sink = std::exchange(Application->MessageSink, [&](const std::string& m) { errors.push_back(m); });

            const std::string url = "http://127.0.0.1:" + std::to_string(camera.Port()) + "/cgi-bin/viewer/video.jpg";
            ReferenceDecoder reference;
            int unpainted = 0;
            // Where the time goes: the command (connect, GET, load) and the first paint in the
            // window, beside the raw GET and the reference decode.
            std::vector<double> command, paint, rawGet, rawDecode;
            auto [ours, ref] = MedianPair(
                RunsFor(s.Pixels()),
                [&] {
                    const double t0 = NowMs();
                    form.Button1->Click();
                    const double t1 = NowMs();
                    form.Image1->Widget()->repaint();  // the first paint decodes and stretches
                    paint.push_back(NowMs() - t1);
                    command.push_back(t1 - t0);
                    if (!ShowsDecodedPicture(*form.Image1)) ++unpainted;
                },
                [&] {
                    const double t0 = NowMs();
                    const std::vector<std::uint8_t> body = RawGet(url, digest);
                    const double t1 = NowMs();
                    reference.Decode(body);
                    rawDecode.push_back(NowMs() - t1);
                    rawGet.push_back(t1 - t0);
                });
            if (unpainted) throw std::runtime_error("a timed Connect ended without its first paint");
            // What the window system takes of every paint, the first included: the kept copy
            // painted into the window and sent to the display.
            const double windowRepaint = Median(RunsFor(s.Pixels()), [&] { form.Image1->Widget()->repaint(); });
            QApplication::processEvents();
            Application->MessageSink = sink;
            if (!errors.empty()) throw std::runtime_error("Connect failed: " + errors.front());
            const std::string name = digest ? "click to picture (digest)" : "click to picture";
            rows.push_back({name, s.Name(), ours, "ms", ref, "raw libcurl GET + reference decode", 1.25});
            rows.push_back({"  Connect command", s.Name(), MedianOf(command), "ms", MedianOf(rawGet), "raw libcurl GET", 0});
            rows.push_back({"  first paint in window", s.Name(), MedianOf(paint), "ms", MedianOf(rawDecode),
                            "reference decode", 0});
            if (!digest) rows.push_back({"repaint in the window", s.Name(), windowRepaint, "ms", 0, "", 0});
        }
    }
}
