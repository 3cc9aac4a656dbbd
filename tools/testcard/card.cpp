#include "card.h"

#include "font.h"

#include <algorithm>
#include <cstdio>

namespace {

// The classic 75% bars, so a viewer's colour handling can be judged by eye.
const Rgb kBars[] = {{191, 191, 191}, {191, 191, 0}, {0, 191, 191}, {0, 191, 0},
                     {191, 0, 191},   {191, 0, 0},   {0, 0, 191}};

constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kTrack{48, 48, 48};
constexpr int kMarkerSteps = 16;

void DrawBars(Canvas& canvas, int top, int height) {
    const int count = static_cast<int>(std::size(kBars));
    for (int i = 0; i < count; ++i) {
        const int left = canvas.width * i / count;
        FillRect(canvas, left, top, canvas.width * (i + 1) / count - left, height, kBars[i]);
    }
}

void DrawMarker(Canvas& canvas, int top, int height, unsigned long counter) {
    FillRect(canvas, 0, top, canvas.width, height, kTrack);
    const int step = canvas.width / kMarkerSteps;
    FillRect(canvas, static_cast<int>(counter % kMarkerSteps) * step, top, step, height, kWhite);
}

void DrawRamp(Canvas& canvas, int top, int height) {
    for (int x = 0; x < canvas.width; ++x) {
        const auto level = static_cast<std::uint8_t>(255 * x / std::max(1, canvas.width - 1));
        FillRect(canvas, x, top, 1, height, {level, level, level});
    }
}

void DrawCentred(Canvas& canvas, int top, int scale, const char* text, Rgb colour) {
    DrawText(canvas, (canvas.width - TextWidth(text, scale)) / 2, top, scale, text, colour);
}

}  // namespace

void FillRect(Canvas& canvas, int x, int y, int width, int height, Rgb colour) {
    const int left = std::max(x, 0), right = std::min(x + width, canvas.width);
    const int top = std::max(y, 0), bottom = std::min(y + height, canvas.height);
    for (int row = top; row < bottom; ++row) {
        std::uint8_t* pixel = &canvas.pixels[(std::size_t(row) * canvas.width + left) * 3];
        for (int column = left; column < right; ++column, pixel += 3) {
            pixel[0] = colour.r;
            pixel[1] = colour.g;
            pixel[2] = colour.b;
        }
    }
}

void DrawTestCard(Canvas& canvas, const CardState& state) {
    // Proportions of a 640x480 card; other sizes scale along.
    const int h = canvas.height;
    FillRect(canvas, 0, 0, canvas.width, h, kBlack);
    DrawBars(canvas, 0, h / 2);
    DrawMarker(canvas, h / 2, h / 16, state.counter);
    DrawRamp(canvas, h / 2 + h / 16, h / 16);

    const int scale = std::max(1, h / 60);
    char counter[16], time[16];
    std::snprintf(counter, sizeof counter, "#%06lu", state.counter % 1000000);
    std::snprintf(time, sizeof time, "%02d:%02d:%02d.%03d", state.hours, state.minutes,
                  state.seconds, state.milliseconds);
    const int panel = h / 2 + h / 8;
    DrawCentred(canvas, panel + h / 48, scale, counter, kWhite);
    DrawCentred(canvas, panel + h / 48 + 9 * scale, scale * 3 / 4, time, kWhite);
    DrawCentred(canvas, h - 9 * std::max(1, scale / 4), std::max(1, scale / 4), "CAMVIEW DEMO",
                {160, 160, 160});
}
