#include "tests/support/jpeg_reference.h"

#include <QProcess>
#include <QTemporaryFile>

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>

RgbPixels Djpeg(const Bytes& jpeg, const QStringList& arguments) {
    QTemporaryFile file;
    if (!file.open()) {
        ADD_FAILURE() << "cannot make a temporary file";
        return {};
    }
    file.write(reinterpret_cast<const char*>(jpeg.data()), qint64(jpeg.size()));
    file.flush();
    QProcess djpeg;
    djpeg.start("djpeg", arguments + QStringList{file.fileName()});
    if (!djpeg.waitForFinished(20000)) {
        djpeg.kill();
        djpeg.waitForFinished(1000);
        ADD_FAILURE() << "djpeg did not finish";
        return {};
    }
    if (djpeg.exitStatus() != QProcess::NormalExit || (djpeg.exitCode() != 0 && djpeg.exitCode() != 2)) {
        ADD_FAILURE() << "djpeg failed: " << djpeg.readAllStandardError().toStdString();
        return {};
    }
    RgbPixels pixels = ParsePnm(djpeg.readAllStandardOutput());
    if (pixels.rgb.empty()) ADD_FAILURE() << "djpeg wrote no picture";
    return pixels;
}

RgbPixels ParsePnm(const QByteArray& pnm) {
    // Header: magic, width, height, maximum value, each after white space, then one white space.
    qsizetype at = 0;
    auto field = [&]() -> QByteArray {
        while (at < pnm.size() && std::isspace(static_cast<unsigned char>(pnm[at]))) ++at;
        const qsizetype start = at;
        while (at < pnm.size() && !std::isspace(static_cast<unsigned char>(pnm[at]))) ++at;
        return pnm.mid(start, at - start);
    };
    const QByteArray magic = field();
    const int width = field().toInt(), height = field().toInt(), maximum = field().toInt();
    ++at;
    const int channels = magic == "P6" ? 3 : magic == "P5" ? 1 : 0;
    const qsizetype bytes = qsizetype(width) * height * channels;
    if (!channels || maximum != 255 || width <= 0 || height <= 0 || pnm.size() - at < bytes) return {};
    RgbPixels out{width, height, {}};
    out.rgb.reserve(std::size_t(width) * height * 3);
    for (qsizetype i = 0; i < bytes; ++i) {
        const auto v = static_cast<std::uint8_t>(pnm[at + i]);
        out.rgb.insert(out.rgb.end(), channels == 3 ? 1 : 3, v);
    }
    return out;
}

RgbPixels PixelsOf(const QImage& image) {
    if (image.isNull()) return {};
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    RgbPixels out{rgb.width(), rgb.height(), {}};
    for (int y = 0; y < rgb.height(); ++y)
        out.rgb.insert(out.rgb.end(), rgb.constScanLine(y), rgb.constScanLine(y) + 3 * rgb.width());
    return out;
}

std::string FirstDifference(const RgbPixels& a, const RgbPixels& b, int tolerance) {
    if (a.width != b.width || a.height != b.height)
        return "sizes differ: " + std::to_string(a.width) + "x" + std::to_string(a.height) + " and " +
               std::to_string(b.width) + "x" + std::to_string(b.height);
    for (std::size_t i = 0; i < a.rgb.size(); ++i) {
        if (std::abs(int(a.rgb[i]) - int(b.rgb[i])) > tolerance) {
            const std::size_t pixel = i / 3;
            return "pixel (" + std::to_string(pixel % a.width) + ", " + std::to_string(pixel / a.width) +
                   ") channel " + std::to_string(i % 3) + ": " + std::to_string(a.rgb[i]) + " and " +
                   std::to_string(b.rgb[i]);
        }
    }
    return "";
}

std::unique_ptr<TJPEGImage> LoadJpeg(const Bytes& jpeg) {
    TMemoryStream stream;
    stream.Write(jpeg.data(), jpeg.size());
    stream.SetPosition(0);
    auto image = std::make_unique<TJPEGImage>();
    image->LoadFromStream(stream);
    return image;
}

RgbPixels Decoded(TJPEGImage& image) {
    image.MakeBitmap();
    return PixelsOf(image.Bitmap()->View());
}
