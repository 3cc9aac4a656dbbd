// Decode, first paint and repaint of each snapshot size, each beside its reference.
#include "bench/benches.h"

#include "bench/reference_decode.h"
#include "bench/timing.h"
#include "picture/jpeg_image.h"
#include "picture/stretch.h"

#include <QImage>
#include <QPainter>

#include <stdexcept>

namespace {

const QSize kArea(321, 241);

// The snapshot as the HTTP client leaves it: made once, outside the timings, as the
// reference's input is.
std::unique_ptr<TMemoryStream> Received(const Snapshot& s) {
    auto stream = std::make_unique<TMemoryStream>();
    stream->Write(s.jpeg.data(), s.jpeg.size());
    return stream;
}

std::unique_ptr<TJPEGImage> Loaded(TMemoryStream& stream) {
    stream.SetPosition(0);
    auto jpeg = std::make_unique<TJPEGImage>();
    jpeg->LoadFromStream(stream);
    return jpeg;
}

}  // namespace

void DecodeBenches(const std::vector<Snapshot>& snapshots, std::vector<BenchRow>& rows) {
    for (const Snapshot& s : snapshots) {
        const int runs = RunsFor(s.Pixels());
        ReferenceDecoder reference;
        if (!reference.Decode(s.jpeg)) throw std::runtime_error("reference decode failed");
        const auto received = Received(s);
        auto load = [&] { return Loaded(*received); };

        // 1. Load plus decode into the bitmap, a fresh graphic each time as each Connect has.
        auto [ours, ref] = MedianPair(
            runs, [&] { load()->MakeBitmap(); }, [&] { reference.Decode(s.jpeg); });
        rows.push_back({"decode", s.Name(), ours, "ms", ref, "libjpeg-turbo decode, reused buffer", 1.10});

        // 2. First paint (decode and stretch into the area) and the stretch alone.
        QImage target(kArea, QImage::Format_RGB32);
        const double firstPaint = Median(runs, [&] {
            auto jpeg = load();
            QPainter painter(&target);
            jpeg->Draw(painter, QRect(QPoint(0, 0), kArea));
        });
        rows.push_back({"first paint", s.Name(), firstPaint, "ms", ref, "reference decode", 0});
        auto decoded = load();
        decoded->MakeBitmap();
        const QImage view = decoded->Bitmap()->View();
        const double stretch = Median(runs, [&] { (void)StretchPicture(view, kArea); });
        rows.push_back({"stretch alone", s.Name(), stretch, "ms", ours, "our decode", s.width >= 7680 ? 0.15 : 0});

        // 3. A repaint after the first: the kept 321x241 copy drawn again.
        {
            QPainter painter(&target);
            decoded->Draw(painter, QRect(QPoint(0, 0), kArea));
        }
        const double repaint = Median(runs * 5, [&] {
            QPainter painter(&target);
            decoded->Draw(painter, QRect(QPoint(0, 0), kArea));
        });
        BenchRow row{"repaint", s.Name(), repaint, "ms", 0, "", 1.0};
        row.limitIsRatio = false;
        rows.push_back(row);
    }
}
