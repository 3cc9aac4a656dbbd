#include "font.h"

#include "card.h"

namespace {

struct Glyph {
    char character;
    const char* rows[kGlyphHeight];
};

// Digits and the few signs and letters the card writes; '#' marks a lit font pixel.
const Glyph kGlyphs[] = {
    {'0', {" ### ", "#   #", "#  ##", "# # #", "##  #", "#   #", " ### "}},
    {'1', {"  #  ", " ##  ", "  #  ", "  #  ", "  #  ", "  #  ", " ### "}},
    {'2', {" ### ", "#   #", "    #", "   # ", "  #  ", " #   ", "#####"}},
    {'3', {"#####", "   # ", "  #  ", "   # ", "    #", "#   #", " ### "}},
    {'4', {"   # ", "  ## ", " # # ", "#  # ", "#####", "   # ", "   # "}},
    {'5', {"#####", "#    ", "#### ", "    #", "    #", "#   #", " ### "}},
    {'6', {"  ## ", " #   ", "#    ", "#### ", "#   #", "#   #", " ### "}},
    {'7', {"#####", "    #", "   # ", "  #  ", " #   ", " #   ", " #   "}},
    {'8', {" ### ", "#   #", "#   #", " ### ", "#   #", "#   #", " ### "}},
    {'9', {" ### ", "#   #", "#   #", " ####", "    #", "   # ", " ##  "}},
    {':', {"     ", "  #  ", "  #  ", "     ", "  #  ", "  #  ", "     "}},
    {'.', {"     ", "     ", "     ", "     ", "     ", " ##  ", " ##  "}},
    {'#', {" # # ", " # # ", "#####", " # # ", "#####", " # # ", " # # "}},
    {'A', {" ### ", "#   #", "#   #", "#####", "#   #", "#   #", "#   #"}},
    {'C', {" ### ", "#   #", "#    ", "#    ", "#    ", "#   #", " ### "}},
    {'D', {"#### ", "#   #", "#   #", "#   #", "#   #", "#   #", "#### "}},
    {'E', {"#####", "#    ", "#    ", "#### ", "#    ", "#    ", "#####"}},
    {'I', {" ### ", "  #  ", "  #  ", "  #  ", "  #  ", "  #  ", " ### "}},
    {'M', {"#   #", "## ##", "# # #", "# # #", "#   #", "#   #", "#   #"}},
    {'O', {" ### ", "#   #", "#   #", "#   #", "#   #", "#   #", " ### "}},
    {'V', {"#   #", "#   #", "#   #", "#   #", "#   #", " # # ", "  #  "}},
    {'W', {"#   #", "#   #", "#   #", "# # #", "# # #", "# # #", " # # "}},
};

const Glyph* Find(char c) {
    for (const Glyph& glyph : kGlyphs)
        if (glyph.character == c) return &glyph;
    return nullptr;
}

}  // namespace

int TextWidth(std::string_view text, int scale) {
    if (text.empty()) return 0;
    return (static_cast<int>(text.size()) * (kGlyphWidth + kGlyphGap) - kGlyphGap) * scale;
}

void DrawText(Canvas& canvas, int x, int y, int scale, std::string_view text, Rgb colour) {
    for (char c : text) {
        if (const Glyph* glyph = Find(c)) {
            for (int row = 0; row < kGlyphHeight; ++row)
                for (int column = 0; column < kGlyphWidth; ++column)
                    if (glyph->rows[row][column] == '#')
                        FillRect(canvas, x + column * scale, y + row * scale, scale, scale, colour);
        }
        x += (kGlyphWidth + kGlyphGap) * scale;
    }
}
