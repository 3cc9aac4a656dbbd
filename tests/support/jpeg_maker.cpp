#include "tests/support/jpeg_maker.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ostream>

#include <jpeglib.h>

namespace {

std::uint8_t Clamp(double v) { return std::uint8_t(v < 0 ? 0 : v > 255 ? 255 : std::lround(v)); }

int ComponentsOf(JpegColour colour) {
    switch (colour) {
    case JpegColour::Grayscale: return 1;
    case JpegColour::YCbCr: return 3;
    default: return 4;
    }
}

// Compression errors here are mistakes in a test, not cases under test: the library's default
// handler prints the message and ends the run.
struct Compressor {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr error{};
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    Compressor() {
        cinfo.err = jpeg_std_error(&error);
        jpeg_create_compress(&cinfo);
        jpeg_mem_dest(&cinfo, &buffer, &size);
    }
    ~Compressor() {
        jpeg_destroy_compress(&cinfo);
        std::free(buffer);
    }
};

void Put16(Bytes& out, int v) {
    out.push_back(std::uint8_t(v >> 8));
    out.push_back(std::uint8_t(v));
}

}  // namespace

void PrintTo(const JpegRecipe& recipe, std::ostream* out) {
    *out << (recipe.name.empty() ? "JPEG" : recipe.name) << " " << recipe.width << "x" << recipe.height;
}

Bytes TestPixels(int width, int height, int components) {
    Bytes out;
    out.reserve(std::size_t(width) * height * components);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double fx = width > 1 ? double(x) / (width - 1) : 0.5;
            const double fy = height > 1 ? double(y) / (height - 1) : 0.5;
            const double detail = 40 * std::sin(x * 0.7) * std::cos(y * 0.45);
            const double r = 255 * fx + detail, g = 255 * fy - detail,
                         b = 128 + 100 * std::sin(6 * fx + 4 * fy);
            if (components == 1) {
                out.push_back(Clamp(0.3 * r + 0.59 * g + 0.11 * b));
            } else if (components == 3) {
                out.insert(out.end(), {Clamp(r), Clamp(g), Clamp(b)});
            } else {
                // Ink amounts with some black in the darker parts.
                const double k = 120 * (1 - fx) * fy;
                out.insert(out.end(), {Clamp(255 - r - k / 2), Clamp(255 - g - k / 2),
                                       Clamp(255 - b - k / 2), Clamp(k)});
            }
        }
    }
    return out;
}

Bytes MakeJpeg(const JpegRecipe& recipe) {
    return CompressPixels(TestPixels(recipe.width, recipe.height, ComponentsOf(recipe.colour)), recipe);
}

Bytes CompressPixels(const Bytes& pixels, const JpegRecipe& recipe) {
    Compressor c;
    jpeg_compress_struct& cinfo = c.cinfo;
    const int components = ComponentsOf(recipe.colour);
    cinfo.image_width = JDIMENSION(recipe.width);
    cinfo.image_height = JDIMENSION(recipe.height);
    cinfo.input_components = components;
    cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 3 ? JCS_RGB : JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    if (recipe.colour == JpegColour::Ycck) jpeg_set_colorspace(&cinfo, JCS_YCCK);
    if (recipe.colour == JpegColour::Cmyk) cinfo.write_Adobe_marker = FALSE;
    if (recipe.colour == JpegColour::YCbCr) {
        cinfo.comp_info[0].h_samp_factor = recipe.hSampling;
        cinfo.comp_info[0].v_samp_factor = recipe.vSampling;
    }
    jpeg_set_quality(&cinfo, recipe.quality, TRUE);
    if (recipe.progressive) jpeg_simple_progression(&cinfo);
    cinfo.arith_code = recipe.arithmetic ? TRUE : FALSE;
    cinfo.restart_in_rows = recipe.restartRows;
    jpeg_start_compress(&cinfo, TRUE);
    const std::size_t stride = std::size_t(recipe.width) * components;
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(&pixels[cinfo.next_scanline * stride]);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    return Bytes(c.buffer, c.buffer + c.size);
}

std::size_t FindSegment(const Bytes& jpeg, std::uint8_t code) {
    std::size_t at = 2;  // after the start-of-image marker
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF) {
        if (jpeg[at + 1] == code) return at;
        if (jpeg[at + 1] == 0xDA) break;  // the scan's data follows; no more headers to walk
        at += 2 + (std::size_t(jpeg[at + 2]) << 8 | jpeg[at + 3]);
    }
    return std::string::npos;
}

namespace {
std::size_t SegmentEnd(const Bytes& jpeg, std::size_t at) {
    return at + 2 + (std::size_t(jpeg[at + 2]) << 8 | jpeg[at + 3]);
}
std::size_t Found(const Bytes& jpeg, std::uint8_t code) {
    const std::size_t at = FindSegment(jpeg, code);
    if (at == std::string::npos) {
        std::fprintf(stderr, "jpeg_maker: no segment FF %02X\n", code);
        std::abort();
    }
    return at;
}
}  // namespace

Bytes CutBefore(const Bytes& jpeg, std::uint8_t code) {
    return Bytes(jpeg.begin(), jpeg.begin() + std::ptrdiff_t(Found(jpeg, code)));
}

Bytes CutAfter(const Bytes& jpeg, std::uint8_t code) {
    return Bytes(jpeg.begin(), jpeg.begin() + std::ptrdiff_t(SegmentEnd(jpeg, Found(jpeg, code))));
}

std::size_t FindScan(const Bytes& jpeg, int scan) {
    // Compressed data never holds FF DA (an FF there is followed by 00 or a restart marker), so
    // the later scan headers are found by looking for it.
    std::size_t at = Found(jpeg, 0xDA);
    for (int i = 0; i < scan; ++i) {
        do ++at;
        while (at + 1 < jpeg.size() && !(jpeg[at] == 0xFF && jpeg[at + 1] == 0xDA));
        if (at + 1 >= jpeg.size()) {
            std::fprintf(stderr, "jpeg_maker: no scan %d\n", scan);
            std::abort();
        }
    }
    return at;
}

Bytes CutInScan(const Bytes& jpeg, std::size_t keep, int scan) {
    const std::size_t at = FindScan(jpeg, scan);
    const std::size_t data = SegmentEnd(jpeg, at);
    return Bytes(jpeg.begin(), jpeg.begin() + std::ptrdiff_t(std::min(jpeg.size(), data + keep)));
}

Bytes WithFrameType(Bytes jpeg, std::uint8_t code) {
    jpeg[Found(jpeg, 0xC0) + 1] = code;
    return jpeg;
}

Bytes WithPrecision(Bytes jpeg, int bits) {
    jpeg[Found(jpeg, 0xC0) + 4] = std::uint8_t(bits);
    return jpeg;
}

Bytes WithSize(Bytes jpeg, int width, int height) {
    const std::size_t at = Found(jpeg, 0xC0);
    jpeg[at + 5] = std::uint8_t(height >> 8);
    jpeg[at + 6] = std::uint8_t(height);
    jpeg[at + 7] = std::uint8_t(width >> 8);
    jpeg[at + 8] = std::uint8_t(width);
    return jpeg;
}

Bytes WithComponentCount(int components) {
    Bytes out = {0xFF, 0xD8, 0xFF, 0xC0};
    Put16(out, 8 + 3 * components);
    out.push_back(8);
    Put16(out, 16);
    Put16(out, 16);
    out.push_back(std::uint8_t(components));
    for (int i = 1; i <= components; ++i) out.insert(out.end(), {std::uint8_t(i), 0x11, 0});
    out.insert(out.end(), {0xFF, 0xDA, 0, 8, 1, 1, 0x00, 0, 63, 0});
    out.insert(out.end(), {0x00, 0x00, 0xFF, 0xD9});
    return out;
}

Bytes HugeGrayscaleHeader(int width, int height) {
    JpegRecipe recipe;
    recipe.width = 16;
    recipe.height = 16;
    recipe.colour = JpegColour::Grayscale;
    return WithSize(CutInScan(MakeJpeg(recipe), 8), width, height);
}

Bytes MakeLargeJpeg(int width, int height) {
    Compressor c;
    jpeg_compress_struct& cinfo = c.cinfo;
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 75, TRUE);
    cinfo.dct_method = JDCT_IFAST;
    jpeg_start_compress(&cinfo, TRUE);
    // One row of two periods more than needed; each picture row starts one pixel further on.
    Bytes ramp(std::size_t(width + 512) * 3);
    for (int x = 0; x < width + 512; ++x) {
        ramp[3 * x] = std::uint8_t(x % 256);
        ramp[3 * x + 1] = std::uint8_t(255 - x % 256);
        ramp[3 * x + 2] = 128;
    }
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = &ramp[3 * (cinfo.next_scanline % 256)];
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    return Bytes(c.buffer, c.buffer + c.size);
}
