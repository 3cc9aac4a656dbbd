// camview-decode [--8bit | --depth N] [--area AREA.ppm] IN.jpg [OUT.ppm]
//
// Loads IN.jpg as the Connect command does and draws it once into a picture area of the main
// window's size, which decodes it with the window's settings. Writes the decoded bitmap to
// OUT.ppm (standard output without it) as a binary PPM, palette expanded, and with --area the
// stretched picture as the area shows it. When loading or decoding fails, prints the message
// the window would show and exits with 1. The screen depth that chooses 8-bit output is 24
// unless given (--8bit is --depth 8).
#include "picture/jpeg_image.h"

#include <QImage>
#include <QPainter>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <new>
#include <string>
#include <vector>

namespace {

constexpr int kAreaWidth = 321;
constexpr int kAreaHeight = 241;

int Usage() {
    std::fprintf(stderr, "usage: camview-decode [--8bit | --depth N] [--area AREA.ppm] IN.jpg [OUT.ppm]\n");
    return 2;
}

std::vector<char> Ppm(const QImage& image) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    const std::string header = "P6\n" + std::to_string(rgb.width()) + " " +
                               std::to_string(rgb.height()) + "\n255\n";
    std::vector<char> out(header.begin(), header.end());
    for (int y = 0; y < rgb.height(); ++y) {
        const char* row = reinterpret_cast<const char*>(rgb.constScanLine(y));
        out.insert(out.end(), row, row + 3 * rgb.width());
    }
    return out;
}

bool Write(const char* path, const std::vector<char>& bytes) {
    std::FILE* file = path ? std::fopen(path, "wb") : stdout;
    if (!file) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return (path ? std::fclose(file) == 0 : std::fflush(file) == 0) && ok;
}

}  // namespace

int main(int argc, char** argv) {
    int depth = 24;
    const char* areaPath = nullptr;
    std::vector<const char*> files;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--8bit")) depth = 8;
        else if (!std::strcmp(argv[i], "--depth") && i + 1 < argc) depth = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--area") && i + 1 < argc) areaPath = argv[++i];
        else if (argv[i][0] == '-' && argv[i][1]) return Usage();
        else files.push_back(argv[i]);
    }
    if (files.empty() || files.size() > 2 || depth <= 0) return Usage();

    std::ifstream in(files[0], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "camview-decode: cannot read %s\n", files[0]);
        return 2;
    }
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
    TJPEGImage::SetScreenDepthForOutput(depth);

    QImage area(kAreaWidth, kAreaHeight, QImage::Format_RGB32);
    area.fill(Qt::white);
    TJPEGImage jpeg;
    try {
        TMemoryStream stream;
        stream.Write(bytes.data(), bytes.size());
        stream.SetPosition(0);
        jpeg.LoadFromStream(stream);
        QPainter painter(&area);
        jpeg.Draw(painter, QRect(0, 0, kAreaWidth, kAreaHeight));
    } catch (const Exception& error) {
        std::fprintf(stderr, "%s\n", error.Message().c_str());
        return 1;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "Out of memory\n");
        return 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    const bool written = Write(files.size() > 1 ? files[1] : nullptr, Ppm(jpeg.Bitmap()->View())) &&
                         (!areaPath || Write(areaPath, Ppm(area)));
    if (!written) {
        std::fprintf(stderr, "camview-decode: cannot write the output\n");
        return 2;
    }
    return 0;
}
