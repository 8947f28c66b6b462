// The contrast figures that the data generator designs its images by and the data tests hold them to.
#pragma once

#include <cmath>

#include "tools/datagen.h"

// The colour distance between two colours, 0 to 1: the root of the mean of the channels' squared differences.
inline float contrast_Distance(const Colour& a, const Colour& b) {
    const float r = a.r - b.r, g = a.g - b.g, bl = a.b - b.b;
    return std::sqrt((r * r + g * g + bl * bl) / 3);
}

// The pixel of a picture that falls on pixel (x, y) of a picture of the given size, when stretched to it.
inline const Colour& contrast_Stretched(const Picture& picture, int x, int y, int width, int height) {
    return picture.at(x * picture.width / width, y * picture.height / height);
}

// The first picture laid over the second, stretched to its size, by the first's alpha: the objective as the eye
// sees it in front of a sky or a wall.
inline Picture contrast_Over(const Picture& top, const Picture& background) {
    Picture out(top.width, top.height, Colour{0, 0, 0, 1});
    for (int y = 0; y < top.height; ++y)
        for (int x = 0; x < top.width; ++x) {
            const Colour& t = top.at(x, y);
            const Colour& b = contrast_Stretched(background, x, y, top.width, top.height);
            out.at(x, y) = Colour{b.r + (t.r - b.r) * t.a, b.g + (t.g - b.g) * t.a, b.b + (t.b - b.b) * t.a, 1};
        }
    return out;
}

// How far apart two pictures look: the mean colour distance, 0 to 1, between each pixel of the first and the
// pixel of the second, stretched to the first's size, that falls on it.
inline float contrast_Between(const Picture& seen, const Picture& other) {
    double sum = 0;
    for (int y = 0; y < seen.height; ++y)
        for (int x = 0; x < seen.width; ++x)
            sum += contrast_Distance(seen.at(x, y), contrast_Stretched(other, x, y, seen.width, seen.height));
    return float(sum / (double(seen.width) * seen.height));
}

// How well a cube's outline reads: along each of the four edges of a square texture, the colour distance between
// the band on the edge (a thirty-second of the cell wide) and the band twice as wide just inside it, as a mean
// over the edges.
inline float contrast_Edge(const Picture& picture) {
    const int n = picture.width, band = n / 32;
    double sum = 0;
    for (int i = 0; i < n; ++i) {
        for (int edge = 0; edge < 4; ++edge) {
            // Texel k in from the edge, on line i across it.
            auto at = [&](int k) {
                const int depth = edge % 2 ? n - 1 - k : k;
                return edge < 2 ? picture.at(depth, i) : picture.at(i, depth);
            };
            Colour outer{0, 0, 0, 0}, inner{0, 0, 0, 0};
            for (int k = 0; k < band; ++k) {
                const Colour &o = at(k), &a = at(band + k), &b = at(2 * band + k);
                outer = Colour{outer.r + o.r / band, outer.g + o.g / band, outer.b + o.b / band, 0};
                inner = Colour{inner.r + (a.r + b.r) / (2 * band), inner.g + (a.g + b.g) / (2 * band),
                               inner.b + (a.b + b.b) / (2 * band), 0};
            }
            sum += contrast_Distance(outer, inner);
        }
    }
    return float(sum / (4 * n));
}

// The sky below the horizon: the lower halves of the four side faces, then the whole bottom face, one under the
// other. A floor must stand out from it, or a hole in the floor reads as one more tile.
inline Picture contrast_BelowHorizon(const Picture* const sides[4], const Picture& bottom) {
    const int w = bottom.width, half = bottom.height / 2;
    Picture out(w, 4 * half + bottom.height, Colour{0, 0, 0, 1});
    for (int face = 0; face < 4; ++face)
        for (int y = 0; y < half; ++y)
            for (int x = 0; x < w; ++x) out.at(x, face * half + y) = sides[face]->at(x, half + y);
    for (int y = 0; y < bottom.height; ++y)
        for (int x = 0; x < w; ++x) out.at(x, 4 * half + y) = bottom.at(x, y);
    return out;
}
