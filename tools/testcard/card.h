// The demo camera's picture: a test card that changes with every snapshot, so a viewer can
// tell a fresh picture from a stale one at a glance.
#pragma once

#include <cstdint>
#include <vector>

struct Rgb {
    std::uint8_t r, g, b;
};

/// An RGB picture, 3 bytes per pixel, rows top to bottom without padding.
struct Canvas {
    Canvas(int width, int height) : width(width), height(height), pixels(std::size_t(width) * height * 3) {}
    int width;
    int height;
    std::vector<std::uint8_t> pixels;
};

/// Fills the rectangle, cut to the canvas.
void FillRect(Canvas& canvas, int x, int y, int width, int height, Rgb colour);

/// What the card shows besides its fixed pattern.
struct CardState {
    unsigned long counter;  // the request's number, drawn big and moving the marker
    int hours, minutes, seconds, milliseconds;  // when the picture was taken
};

/// Draws the whole card over `canvas`: colour bars, a marker that steps along its track with
/// the counter, a grey ramp, and the counter and the time in big digits.
void DrawTestCard(Canvas& canvas, const CardState& state);
