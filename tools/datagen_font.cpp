// The bitmap font: FreeType renders a free monospace font into the engine's glyph-sheet layout.
#include "datagen.h"

#include <algorithm>
#include <ft2build.h>
#include FT_FREETYPE_H

namespace {

// The status line holds about 67 characters in 590 pixels, so a glyph box is the bare advance
// (8 pixels) and the outline of the widest letters is clipped rather than widening every box.
const int PIXEL_SIZE = 14;
const int FIRST_CHAR = 32;
const int LAST_CHAR = 255;
const int GLYPHS_PER_ROW = 32;

// The engine finds glyphs by these exact colours; no glyph pixel may take one of them.
const Colour UPPER_LEFT{1, 1, 0, 1};
const Colour LOWER_RIGHT{1, 0, 0, 1};
const Colour BACKGROUND{0, 0, 0, 1};
const Colour FILL{1, 1, 0.92f, 1};
const Colour OUTLINE{0.08f, 0.08f, 0.12f, 1};

std::string font_file;

struct Face {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    explicit Face(const std::string& file, int pixels) {
        if (FT_Init_FreeType(&library) != 0) datagen_Fail("FreeType does not start");
        if (FT_New_Face(library, file.c_str(), 0, &face) != 0) datagen_Fail("cannot open the font " + file);
        if (FT_Set_Pixel_Sizes(face, 0, pixels) != 0) datagen_Fail("the font has no size " + std::to_string(pixels));
    }
    ~Face() {
        FT_Done_Face(face);
        FT_Done_FreeType(library);
    }
    int ascender() const { return face->size->metrics.ascender >> 6; }
    int descender() const { return -(face->size->metrics.descender >> 6); }
    int advance() const { return (face->size->metrics.max_advance + 32) >> 6; }
    // Renders the character and returns its coverage bitmap, or null when the font lacks it.
    const FT_Bitmap* render(unsigned long code) {
        if (FT_Get_Char_Index(face, code) == 0) return nullptr;
        if (FT_Load_Char(face, code, FT_LOAD_RENDER | FT_LOAD_TARGET_NORMAL) != 0) return nullptr;
        return &face->glyph->bitmap;
    }
};

Colour mix(Colour a, Colour b, float t) {
    return Colour{a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, 1};
}

// Draws the current glyph's coverage with a one-pixel dark outline, clipped to the box.
void drawGlyph(Face& face, Picture& picture, int box_x, int box_y, int box_w, int box_h, int baseline) {
    const FT_Bitmap& bitmap = face.face->glyph->bitmap;
    const int left = box_x + face.face->glyph->bitmap_left;
    const int top = box_y + baseline - face.face->glyph->bitmap_top;
    auto coverage = [&](int x, int y) -> float {
        int bx = x - left, by = y - top;
        if (bx < 0 || by < 0 || bx >= int(bitmap.width) || by >= int(bitmap.rows)) return 0;
        return bitmap.buffer[by * bitmap.pitch + bx] / 255.0f;
    };
    for (int y = box_y; y < box_y + box_h; ++y) {
        for (int x = box_x; x < box_x + box_w; ++x) {
            float c = coverage(x, y);
            float near = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) near = std::max(near, coverage(x + dx, y + dy));
            if (c > 0.02f) picture.at(x, y) = mix(OUTLINE, FILL, c);
            else if (near > 0.25f) picture.at(x, y) = OUTLINE;
        }
    }
}

}  // namespace

void font_Write(irr::video::IVideoDriver* video, const std::string& folder, const std::string& ttf_file) {
    font_file = ttf_file;
    Face face(ttf_file, PIXEL_SIZE);
    const int box_w = face.advance();
    const int box_h = face.ascender() + face.descender() + 2;
    const int baseline = face.ascender() + 1;
    const int count = LAST_CHAR - FIRST_CHAR + 1;
    const int rows = (count + GLYPHS_PER_ROW - 1) / GLYPHS_PER_ROW;
    Picture sheet(GLYPHS_PER_ROW * (box_w + 1), rows * (box_h + 1), BACKGROUND);
    for (int i = 0; i < count; ++i) {
        const int x = (i % GLYPHS_PER_ROW) * (box_w + 1);
        const int y = (i / GLYPHS_PER_ROW) * (box_h + 1);
        // Control codes 127..159 keep empty boxes so that the Latin-1 letters after them keep their codes.
        if (face.render(FIRST_CHAR + i)) drawGlyph(face, sheet, x, y, box_w, box_h, baseline);
        sheet.at(x, y) = UPPER_LEFT;
        sheet.at(x + box_w, y + box_h) = LOWER_RIGHT;
    }
    // The first box is the space: its top row carries the two marker colours and the background.
    sheet.at(1, 0) = LOWER_RIGHT;
    sheet.at(2, 0) = BACKGROUND;
    picture_Save(video, sheet, folder + "/fontcourier.bmp");
}

void font_DrawLabel(Picture& picture, int x, int y, const std::string& text, Colour colour) {
    Face face(font_file, 12);
    int pen = x;
    const int baseline = y + face.ascender();
    for (unsigned char ch : text) {
        if (face.render(ch)) {
            const FT_Bitmap& bitmap = face.face->glyph->bitmap;
            const int left = pen + face.face->glyph->bitmap_left;
            const int top = baseline - face.face->glyph->bitmap_top;
            for (int by = 0; by < int(bitmap.rows); ++by) {
                for (int bx = 0; bx < int(bitmap.width); ++bx) {
                    int px = left + bx, py = top + by;
                    if (px < 0 || py < 0 || px >= picture.width || py >= picture.height) continue;
                    float c = bitmap.buffer[by * bitmap.pitch + bx] / 255.0f;
                    picture.at(px, py) = mix(picture.at(px, py), colour, c);
                }
            }
        }
        pen += face.face->glyph->advance.x >> 6;
    }
}
