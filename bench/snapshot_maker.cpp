#include "bench/snapshot_maker.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>

namespace {

// A small deterministic generator for the noise, so every run measures the same bytes.
struct Noise {
    std::uint32_t state;
    int Next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return static_cast<int>(state % 25) - 12;
    }
};

std::uint8_t Clamp(int v) { return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

// One RGB row of the scene: sky gradient, "buildings" of varying colour, a textured ground and
// a few hard edges, plus per-pixel noise.
void SceneRow(int y, int width, int height, Noise& noise, std::uint8_t* row) {
    const double fy = static_cast<double>(y) / height;
    for (int x = 0; x < width; ++x) {
        const double fx = static_cast<double>(x) / width;
        int r, g, b;
        const int block = static_cast<int>(fx * 23);
        const double roof = 0.35 + 0.15 * std::sin(block * 1.7);
        if (fy < roof) {
            r = 110 + static_cast<int>(80 * fy);
            g = 150 + static_cast<int>(60 * fy);
            b = 230 - static_cast<int>(40 * fy);
        } else if (fy < 0.75) {
            const int window = ((x / std::max(1, width / 160)) % 3 == 0) && ((y / std::max(1, height / 90)) % 2 == 0);
            r = 60 + (block * 37) % 120 + window * 90;
            g = 55 + (block * 53) % 110 + window * 80;
            b = 50 + (block * 71) % 100 + window * 40;
        } else {
            const double t = std::sin(x * 0.31) * std::cos(y * 0.27) + std::sin((x + y) * 0.05);
            r = 90 + static_cast<int>(40 * t);
            g = 100 + static_cast<int>(35 * t);
            b = 70 + static_cast<int>(25 * t);
        }
        const int n = noise.Next();
        row[3 * x + 0] = Clamp(r + n);
        row[3 * x + 1] = Clamp(g + n);
        row[3 * x + 2] = Clamp(b + noise.Next() / 2);
    }
}

}  // namespace

std::vector<std::uint8_t> MakeCameraSnapshot(int width, int height, int quality) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);  // our own inputs: a failure here is a bug, exit is fine
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = width;
    cinfo.image_height = height;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    cinfo.comp_info[0].h_samp_factor = 2;  // 4:2:0, as cameras send
    cinfo.comp_info[0].v_samp_factor = 2;
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(width) * 3);
    Noise noise{0x9e3779b9u};
    while (cinfo.next_scanline < cinfo.image_height) {
        SceneRow(static_cast<int>(cinfo.next_scanline), width, height, noise, row.data());
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::vector<std::uint8_t> jpeg(buffer, buffer + size);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return jpeg;
}
