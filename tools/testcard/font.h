// A tiny built-in bitmap font for the test card's big digits, so the card needs no font files.
#pragma once

#include <string_view>

struct Canvas;
struct Rgb;

/// Width and height of one glyph cell in font pixels, and the gap after each glyph.
constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 7;
constexpr int kGlyphGap = 1;

/// Width in canvas pixels that DrawText takes for `text` at `scale`.
int TextWidth(std::string_view text, int scale);

/// Draws `text` with its top left corner at (x, y), each font pixel a `scale` by `scale`
/// square. Characters the font lacks are drawn as blanks; whatever falls off the canvas is cut.
void DrawText(Canvas& canvas, int x, int y, int scale, std::string_view text, Rgb colour);
