// The images: world textures and skyboxes per level, the objective, the text strip, the contact sheet.
#include "datagen.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>

#include "tools/contrast.h"
#include "world/tableworld.h"

using namespace irr;

namespace {

const float PI = 3.14159265f;
// A wall at arm's length fills the window's height with about two thirds of a cell: at this size a side's
// texel still covers no more than two or three pixels there. Tops and bottoms are seen from farther off and stay smaller,
// which keeps the level's textures within the memory a session may take; the engine's mipmaps keep the far
// view cheap.
const int SIDE_SIZE = 512;
const int FLAT_SIZE = 256;
// Each world texel is the mean of this many samples a side, so that cracks and lines have smooth edges.
const int SUPERSAMPLING = 2;
const int SKY_SIZE = 256;

// ---- colour and noise -------------------------------------------------------------------------

Colour rgb(int r, int g, int b) { return Colour{r / 255.0f, g / 255.0f, b / 255.0f, 1}; }

Colour mix(Colour a, Colour b, float t) {
    return Colour{a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t};
}

Colour scale(Colour c, float k) { return Colour{c.r * k, c.g * k, c.b * k, c.a}; }

Colour add(Colour a, Colour b, float k) { return Colour{a.r + b.r * k, a.g + b.g * k, a.b + b.b * k, a.a}; }

float clamp01(float v) { return std::max(0.0f, std::min(1.0f, v)); }

float smooth(float t) { return t * t * (3 - 2 * t); }

float fract(float v) { return v - std::floor(v); }

int wrap(int v, int period) { return ((v % period) + period) % period; }

float hash(int x, int y, int z, int seed) {
    uint32_t h = uint32_t(x) * 374761393u + uint32_t(y) * 668265263u + uint32_t(z) * 2147483647u + uint32_t(seed) * 144665u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return ((h ^ (h >> 16)) & 0xFFFFFF) / float(0x1000000);
}

// Value noise on a lattice that wraps every `px` by `py` cells, so a texture made of it tiles.
float tileNoise(float x, float y, int px, int py, int seed) {
    int xi = int(std::floor(x)), yi = int(std::floor(y));
    float fx = smooth(x - xi), fy = smooth(y - yi);
    auto h = [&](int dx, int dy) { return hash(wrap(xi + dx, px), wrap(yi + dy, py), 0, seed); };
    float top = h(0, 0) + (h(1, 0) - h(0, 0)) * fx;
    float bottom = h(0, 1) + (h(1, 1) - h(0, 1)) * fx;
    return top + (bottom - top) * fy;
}

// Fractal noise over the unit square, periodic in both directions; `sx`, `sy` stretch the grain.
float tileFbm(float u, float v, int period, int octaves, int seed, int sx = 1, int sy = 1) {
    float sum = 0, amplitude = 0.5f, total = 0;
    for (int o = 0; o < octaves; ++o) {
        int px = period * sx, py = period * sy;
        sum += amplitude * tileNoise(u * px, v * py, px, py, seed + o * 31);
        total += amplitude;
        amplitude *= 0.5f;
        period *= 2;
    }
    return sum / total;
}

// Cellular noise on a wrapping grid: distance to the nearest and second-nearest seed point.
struct Cells {
    float first, second;
    int id;
};

Cells tileCells(float u, float v, int grid, int seed) {
    float x = u * grid, y = v * grid;
    int xi = int(std::floor(x)), yi = int(std::floor(y));
    Cells c{1e9f, 1e9f, 0};
    for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
            int cx = xi + dx, cy = yi + dy;
            int wx = wrap(cx, grid), wy = wrap(cy, grid);
            float px = cx + 0.1f + 0.8f * hash(wx, wy, 1, seed);
            float py = cy + 0.1f + 0.8f * hash(wx, wy, 2, seed);
            float d = std::hypot(px - x, py - y);
            if (d < c.first) {
                c.second = c.first;
                c.first = d;
                c.id = wy * grid + wx;
            } else if (d < c.second) {
                c.second = d;
            }
        }
    }
    return c;
}

// Value noise in space, for the skies: a function of the view direction is seamless on the cube.
float spaceNoise(float x, float y, float z, int seed) {
    int xi = int(std::floor(x)), yi = int(std::floor(y)), zi = int(std::floor(z));
    float fx = smooth(x - xi), fy = smooth(y - yi), fz = smooth(z - zi);
    auto h = [&](int dx, int dy, int dz) { return hash(xi + dx, yi + dy, zi + dz, seed); };
    auto lerp = [](float a, float b, float t) { return a + (b - a) * t; };
    float a = lerp(lerp(h(0, 0, 0), h(1, 0, 0), fx), lerp(h(0, 1, 0), h(1, 1, 0), fx), fy);
    float b = lerp(lerp(h(0, 0, 1), h(1, 0, 1), fx), lerp(h(0, 1, 1), h(1, 1, 1), fx), fy);
    return lerp(a, b, fz);
}

float spaceFbm(core::vector3df d, float frequency, int octaves, int seed) {
    float sum = 0, amplitude = 0.5f, total = 0;
    for (int o = 0; o < octaves; ++o) {
        sum += amplitude * spaceNoise(d.X * frequency, d.Y * frequency, d.Z * frequency, seed + o * 17);
        total += amplitude;
        amplitude *= 0.5f;
        frequency *= 2;
    }
    return sum / total;
}

// ---- world textures ---------------------------------------------------------------------------

using Texel = std::function<Colour(float u, float v)>;

struct Palette {
    Colour light, dark, accent;
};

// Blocks in rows, every other row shifted by half a block when staggered; bevelled edges and mortar.
Texel blocks(Palette p, int rows, int columns, float mortar, bool staggered, int seed) {
    return [=](float u, float v) {
        int row = int(v * rows);
        float shifted = u + ((staggered && row % 2) ? 0.5f / columns : 0.0f);
        int column = int(fract(shifted) * columns);
        float lx = fract(shifted * columns), ly = fract(v * rows);
        float ex = std::min(lx, 1 - lx) / columns, ey = std::min(ly, 1 - ly) / rows;
        float edge = std::min(ex, ey);
        float grain = tileFbm(u, v, 8, 4, seed);
        if (edge < mortar) return scale(p.accent, 0.7f + 0.5f * grain);
        Colour base = mix(p.dark, p.light, 0.3f + 0.6f * hash(wrap(column, columns), row, 3, seed));
        float bevel = clamp01((edge - mortar) / 0.012f);
        float light = (ly < 0.5f ? 1.08f : 0.92f);
        return scale(base, (0.75f + 0.5f * grain) * (0.7f + 0.3f * bevel) * (bevel < 1 ? light : 1.0f));
    };
}

// Steel plates with dark seams, brushed streaks and a rivet near each corner.
Texel plates(Palette p, int count, int seed) {
    return [=](float u, float v) {
        float lx = fract(u * count), ly = fract(v * count);
        float streak = tileFbm(u, v, 4, 4, seed, 1, 16);
        Colour c = mix(p.dark, p.light, 0.35f + 0.5f * streak);
        float seam = std::min(std::min(lx, 1 - lx), std::min(ly, 1 - ly));
        if (seam < 0.015f) return scale(p.dark, 0.4f);
        if (seam < 0.035f) c = scale(c, lx < 0.5f || ly < 0.5f ? 1.15f : 0.8f);
        for (float cx : {0.09f, 0.91f}) {
            for (float cy : {0.09f, 0.91f}) {
                float dx = lx - cx, dy = ly - cy, d = std::hypot(dx, dy);
                if (d < 0.04f) return scale(p.accent, 0.7f + 0.6f * clamp01(0.5f - (dx + dy) * 10));
                if (d < 0.05f) c = scale(c, 0.6f);
            }
        }
        return c;
    };
}

// Diamond tread plate: raised lozenges alternating direction on a darker sheet.
Texel tread(Palette p, int count, int seed) {
    return [=](float u, float v) {
        int cx = int(u * count), cy = int(v * count);
        float lx = fract(u * count) - 0.5f, ly = fract(v * count) - 0.5f;
        bool turned = (cx + cy) % 2;
        float a = turned ? (lx + ly) : (lx - ly), b = turned ? (lx - ly) : (lx + ly);
        float shine = tileFbm(u, v, 4, 3, seed);
        Colour base = mix(p.dark, p.light, 0.3f + 0.3f * shine);
        if (std::fabs(a) < 0.35f && std::fabs(b) < 0.09f) return scale(mix(p.light, p.accent, 0.3f), b < 0 ? 1.1f : 0.8f);
        return base;
    };
}

// Planks running across, with wavy grain, dark joints and staggered butt ends.
Texel planks(Palette p, int rows, int seed) {
    return [=](float u, float v) {
        int row = int(v * rows);
        float ly = fract(v * rows);
        float end = fract(u + hash(row, 0, 4, seed));
        float warp = tileFbm(u, v, 2, 4, seed, 2, 1);
        float grain = 0.5f + 0.5f * std::sin((v * rows * 6 + warp * 5) * 2 * PI + row);
        float fine = tileFbm(u, v, 4, 3, seed + 9, 8, 1);
        Colour c = mix(p.dark, p.light, 0.25f + 0.5f * grain * (0.6f + 0.4f * fine));
        c = scale(c, 0.85f + 0.3f * hash(row, 1, 4, seed));
        if (ly < 0.03f || ly > 0.97f || end < 0.006f) return scale(p.accent, 0.6f);
        return c;
    };
}

// Parquet: squares of short planks whose grain turns a quarter from one square to the next.
Texel parquet(Palette p, int count, int seed) {
    return [=](float u, float v) {
        int cx = int(u * count), cy = int(v * count);
        bool turned = (cx + cy) % 2;
        float along = turned ? v : u, across = turned ? u : v;
        float strip = fract(across * count * 3);
        float warp = tileFbm(u, v, 4, 3, seed);
        float grain = 0.5f + 0.5f * std::sin((across * count * 18 + warp * 4) * 2 * PI);
        Colour c = mix(p.dark, p.light, 0.3f + 0.45f * grain);
        c = scale(c, 0.85f + 0.3f * hash(cx * 3 + int(strip * 3), cy, 5, seed) + 0.05f * along);
        float lx = fract(u * count), ly = fract(v * count);
        if (strip < 0.05f || std::min(lx, 1 - lx) < 0.01f || std::min(ly, 1 - ly) < 0.01f) return scale(p.accent, 0.5f);
        return c;
    };
}

// Veined stone: a sine of a turbulent coordinate; veins where it crosses zero.
Texel marble(Palette p, int frequency, int seed) {
    return [=](float u, float v) {
        float turbulence = tileFbm(u, v, 4, 5, seed);
        float s = std::sin((u + v) * frequency * PI + turbulence * 9);
        float vein = std::pow(1 - std::fabs(s), 10.0f);
        float cloud = tileFbm(u, v, 2, 4, seed + 5);
        Colour c = mix(p.light, p.dark, 0.15f + 0.35f * cloud);
        return mix(c, p.accent, vein * 0.85f);
    };
}

// Checkerboard of two marbles, with thin joints.
Texel checker(Palette p, int count, int seed) {
    Texel light = marble(Palette{p.light, mix(p.light, p.dark, 0.3f), p.accent}, 2, seed);
    Texel dark = marble(Palette{p.dark, scale(p.dark, 0.6f), p.accent}, 2, seed + 1);
    return [=](float u, float v) {
        float lx = fract(u * count), ly = fract(v * count);
        if (std::min(lx, 1 - lx) < 0.008f || std::min(ly, 1 - ly) < 0.008f) return scale(p.dark, 0.4f);
        return ((int(u * count) + int(v * count)) % 2) ? light(u, v) : dark(u, v);
    };
}

// Cracked surface: cells with cracks along their borders, which glow when `glow` is set.
Texel cracks(Palette p, int grid, float width, bool glow, int seed) {
    return [=](float u, float v) {
        Cells c = tileCells(u, v, grid, seed);
        float gap = c.second - c.first;
        float grain = tileFbm(u, v, 8, 4, seed + 3);
        Colour cell = mix(p.dark, p.light, 0.2f + 0.5f * grain + 0.3f * hash(c.id, 0, 6, seed));
        cell = scale(cell, 0.8f + 0.4f * clamp01(c.first));
        if (gap < width) {
            float t = 1 - gap / width;
            return glow ? mix(cell, p.accent, std::min(1.0f, t * 1.6f)) : mix(cell, p.accent, t * 0.9f);
        }
        return cell;
    };
}

// Plain fractal noise between two colours, with a sprinkle of the accent colour.
Texel mottled(Palette p, int period, int seed, int sx = 1, int sy = 1) {
    return [=](float u, float v) {
        float n = tileFbm(u, v, period, 5, seed, sx, sy);
        Colour c = mix(p.dark, p.light, clamp01((n - 0.25f) * 2));
        float speck = tileFbm(u, v, period * 8, 2, seed + 7);
        if (speck > 0.72f) c = mix(c, p.accent, clamp01((speck - 0.72f) * 8));
        return c;
    };
}

// Horizontal wind ripples, as on dunes.
Texel ripples(Palette p, int count, int seed) {
    return [=](float u, float v) {
        float warp = tileFbm(u, v, 2, 4, seed);
        float s = std::sin((v * count + warp * 3 + 0.3f * std::sin(u * 2 * PI * 2)) * 2 * PI);
        float grain = tileFbm(u, v, 32, 2, seed + 1);
        Colour c = mix(p.dark, p.light, 0.5f + 0.4f * s);
        return mix(c, p.accent, grain * 0.25f);
    };
}

// Layered rock: horizontal strata of varying tint, bent by noise.
Texel strata(Palette p, int layers, int seed) {
    return [=](float u, float v) {
        float bend = tileFbm(u, v, 2, 4, seed, 1, 1) * 0.6f;
        float band = v * layers + bend * 2;
        float tint = hash(wrap(int(std::floor(band)), layers), 0, 7, seed);
        float grain = tileFbm(u, v, 16, 3, seed + 2);
        Colour c = mix(p.dark, p.light, 0.3f + 0.5f * tint);
        if (fract(band) < 0.06f) c = mix(c, p.accent, 0.6f);
        return scale(c, 0.8f + 0.4f * grain);
    };
}

// A printed circuit: traces between the cells of a grid, pads at their ends, solder dots.
Texel circuit(Palette p, int grid, int seed) {
    return [=](float u, float v) {
        float x = u * grid, y = v * grid;
        int cx = int(x), cy = int(y);
        float lx = x - cx - 0.5f, ly = y - cy - 0.5f;
        auto east = [&](int i, int j) { return hash(wrap(i, grid), wrap(j, grid), 8, seed) < 0.45f; };
        auto south = [&](int i, int j) { return hash(wrap(i, grid), wrap(j, grid), 9, seed) < 0.45f; };
        int links = east(cx, cy) + east(cx - 1, cy) + south(cx, cy) + south(cx, cy - 1);
        const float w = 0.12f;
        bool trace = (std::fabs(ly) < w && ((lx >= 0 && east(cx, cy)) || (lx <= 0 && east(cx - 1, cy)))) ||
                     (std::fabs(lx) < w && ((ly >= 0 && south(cx, cy)) || (ly <= 0 && south(cx, cy - 1))));
        float d = std::hypot(lx, ly);
        Colour board = mix(p.dark, p.light, 0.25f * tileFbm(u, v, 8, 3, seed + 4));
        if (links == 1 && d < 0.3f) return d < 0.12f ? scale(p.accent, 0.5f) : p.accent;
        if (trace) return mix(p.light, p.accent, 0.25f);
        return board;
    };
}

// How a level's cubes show their outline. The texture repeats once per cell, so its border lies on the cell's
// edge: a darker band there, worn to an uneven width, and just inside it a slope lit along the upper and left
// edges and shaded along the others, as on a bevelled block. Where two faces go on in one plane the bands of
// both make one joint; where a face ends, its band outlines the cube. On the tops, which the additive ceiling
// tiles show over every level, and on the glass levels' bottoms the band is darker than the face: drawn
// additively it is a clear line, never a bright grid. A side's band may glow or shine.
struct Rim {
    Colour colour;   // the band's colour
    float width;     // the band's width on each side of the edge, as a share of the cell
    float bevel;     // the slope's width inside the band
    Colour shine;    // the light the lit slope adds at its brightest; the shaded slope loses as large a share
    float wear;      // how much the band's width wanders along the edge, as a share of it
};

Texel rimmed(Texel face, Rim rim, int seed) {
    return [=](float u, float v) {
        const float across_u = std::min(u, 1 - u), across_v = std::min(v, 1 - v);
        const float edge = std::min(across_u, across_v);
        const bool lit = across_u < across_v ? u < 0.5f : v < 0.5f;
        const float width = rim.width * (1 + rim.wear * (2 * tileFbm(u, v, 16, 3, seed) - 1));
        const float soft = 1.5f / SIDE_SIZE;
        const float band = 1 - clamp01((edge - width + soft) / (2 * soft));
        const float slope = (1 - band) * (1 - clamp01((edge - width) / rim.bevel));
        const float shade = (rim.shine.r + rim.shine.g + rim.shine.b) / 3;
        Colour c = lit ? add(face(u, v), rim.shine, slope) : scale(face(u, v), 1 - shade * slope);
        return mix(c, rim.colour, rim.colour.a * band);
    };
}

Picture texture(Texel texel, int size) {
    Picture picture(size, size, Colour{0, 0, 0, 1});
    const int samples = SUPERSAMPLING * SUPERSAMPLING;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            Colour sum{0, 0, 0, 0};
            for (int k = 0; k < samples; ++k) {
                const float sx = (k % SUPERSAMPLING + 0.5f) / SUPERSAMPLING, sy = (k / SUPERSAMPLING + 0.5f) / SUPERSAMPLING;
                Colour c = texel((x + sx) / size, (y + sy) / size);
                sum = add(sum, Colour{clamp01(c.r), clamp01(c.g), clamp01(c.b), 0}, 1.0f / samples);
            }
            picture.at(x, y) = Colour{sum.r, sum.g, sum.b, 1};
        }
    }
    return picture;
}

// Drawn additively (the glass, the ceiling), a top or bottom piece reaches past its cell by this share of it on
// every edge, into its neighbour, which shows the same texels there: a band of the texture this wide is black, so
// that the overlap adds no light twice.
void darkenOverlap(Picture& picture) {
    const int band = int(std::ceil((TABLEWORLD_PIECE_SCALE - 0.5f) * picture.width));
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x)
            if (std::min(std::min(x, picture.width - 1 - x), std::min(y, picture.height - 1 - y)) < band)
                picture.at(x, y) = Colour{0, 0, 0, 1};
}

struct WorldTheme {
    Texel side, top, bottom;
};

// Each level its own material; side, top and bottom differ so the cube reads from every angle.
WorldTheme worldFaces(int level) {
    const int s = level * 101;
    switch (level) {
    case 1:  // stone
        return {blocks({rgb(160, 160, 165), rgb(95, 95, 105), rgb(60, 58, 55)}, 4, 2, 0.008f, true, s),
                mottled({rgb(120, 150, 90), rgb(70, 85, 60), rgb(150, 150, 140)}, 4, s + 1),
                cracks({rgb(85, 80, 75), rgb(45, 42, 40), rgb(20, 18, 16)}, 6, 0.04f, false, s + 2)};
    case 2:  // brick
        return {blocks({rgb(190, 80, 55), rgb(120, 45, 35), rgb(200, 190, 170)}, 8, 4, 0.006f, true, s),
                blocks({rgb(215, 200, 160), rgb(170, 150, 115), rgb(90, 80, 70)}, 4, 4, 0.006f, false, s + 1),
                mottled({rgb(130, 95, 60), rgb(70, 50, 30), rgb(160, 150, 130)}, 4, s + 2)};
    case 3:  // metal
        return {plates({rgb(180, 190, 200), rgb(100, 110, 120), rgb(220, 225, 230)}, 2, s),
                tread({rgb(225, 205, 140), rgb(115, 100, 65), rgb(255, 250, 220)}, 8, s + 1),
                mottled({rgb(170, 90, 40), rgb(80, 45, 30), rgb(60, 60, 65)}, 4, s + 2)};
    case 4:  // ice
        return {cracks({rgb(190, 230, 250), rgb(120, 180, 220), rgb(245, 255, 255)}, 5, 0.05f, false, s),
                mottled({rgb(250, 252, 255), rgb(200, 215, 235), rgb(170, 200, 240)}, 4, s + 1),
                marble({rgb(60, 110, 180), rgb(20, 50, 110), rgb(170, 220, 255)}, 3, s + 2)};
    case 5:  // wood
        return {planks({rgb(200, 145, 85), rgb(120, 75, 40), rgb(50, 30, 15)}, 4, s),
                parquet({rgb(225, 180, 120), rgb(150, 100, 55), rgb(70, 45, 25)}, 4, s + 1),
                mottled({rgb(90, 65, 45), rgb(40, 28, 20), rgb(110, 100, 70)}, 2, s + 2, 1, 8)};
    case 6:  // lava
        return {cracks({rgb(70, 60, 60), rgb(25, 20, 22), rgb(255, 140, 20)}, 5, 0.09f, true, s),
                mottled({rgb(120, 30, 15), rgb(30, 10, 8), rgb(255, 200, 60)}, 4, s + 1),
                marble({rgb(255, 170, 40), rgb(200, 50, 10), rgb(255, 250, 180)}, 3, s + 2)};
    case 7:  // circuit
        return {circuit({rgb(40, 150, 70), rgb(10, 70, 35), rgb(230, 190, 70)}, 12, s),
                blocks({rgb(40, 40, 45), rgb(20, 20, 25), rgb(210, 170, 60)}, 4, 4, 0.012f, false, s + 1),
                circuit({rgb(30, 90, 140), rgb(10, 30, 60), rgb(190, 200, 210)}, 8, s + 2)};
    case 8:  // marble
        return {marble({rgb(240, 238, 232), rgb(190, 185, 180), rgb(90, 90, 100)}, 2, s),
                checker({rgb(235, 235, 230), rgb(40, 40, 45), rgb(150, 150, 150)}, 4, s + 1),
                marble({rgb(185, 210, 225), rgb(110, 140, 165), rgb(245, 250, 255)}, 2, s + 2)};
    case 9:  // sandstone
        return {strata({rgb(225, 180, 120), rgb(170, 110, 65), rgb(120, 70, 40)}, 8, s),
                ripples({rgb(240, 215, 160), rgb(190, 155, 100), rgb(255, 240, 200)}, 10, s + 1),
                cracks({rgb(165, 110, 70), rgb(120, 80, 50), rgb(50, 30, 20)}, 7, 0.035f, false, s + 2)};
    case 10:  // crystal
        return {cracks({rgb(170, 110, 220), rgb(80, 40, 130), rgb(240, 200, 255)}, 4, 0.06f, true, s),
                blocks({rgb(140, 100, 200), rgb(70, 45, 120), rgb(230, 210, 255)}, 6, 3, 0.01f, true, s + 1),
                mottled({rgb(70, 30, 110), rgb(15, 5, 35), rgb(200, 150, 255)}, 4, s + 2)};
    default:  // gold and obsidian
        return {plates({rgb(250, 210, 90), rgb(170, 120, 30), rgb(255, 245, 200)}, 2, s),
                marble({rgb(60, 50, 70), rgb(10, 8, 14), rgb(170, 100, 220)}, 3, s + 1),
                blocks({rgb(240, 200, 80), rgb(150, 100, 30), rgb(60, 40, 20)}, 8, 3, 0.007f, true, s + 2)};
    }
}

// Each level's rims in its own material, for the side, top and bottom faces; the colour's alpha is how far
// the band's texels go to it.
struct LevelRims {
    Rim side, top, bottom;
};

Colour rgba(int r, int g, int b, float a) { return Colour{r / 255.0f, g / 255.0f, b / 255.0f, a}; }

LevelRims levelRims(int level) {
    switch (level) {
    case 1:  // worn stone
        return {{rgba(35, 33, 32, 0.8f), 0.03f, 0.035f, rgb(50, 50, 50), 0.5f},
                {rgba(30, 35, 22, 0.8f), 0.03f, 0.03f, rgb(40, 45, 30), 0.6f},
                {rgba(10, 9, 8, 0.9f), 0.03f, 0.035f, rgb(110, 105, 100), 0.5f}};
    case 2:  // mortar, and the glass's clear edge
        return {{rgba(45, 25, 20, 0.8f), 0.03f, 0.035f, rgb(70, 50, 40), 0.3f},
                {rgba(40, 34, 28, 0.85f), 0.05f, 0.03f, rgb(40, 38, 30), 0.2f},
                {rgba(25, 18, 10, 0.85f), 0.03f, 0.03f, rgb(60, 50, 35), 0.3f}};
    case 3:  // machined steel
        return {{rgba(25, 28, 32, 0.85f), 0.022f, 0.04f, rgb(80, 80, 85), 0},
                {rgba(30, 26, 18, 0.85f), 0.025f, 0.04f, rgb(70, 65, 45), 0},
                {rgba(20, 12, 8, 0.85f), 0.025f, 0.04f, rgb(120, 85, 55), 0.3f}};
    case 4:  // deep ice
        return {{rgba(20, 60, 110, 0.7f), 0.03f, 0.035f, rgb(50, 60, 70), 0.4f},
                {rgba(40, 80, 140, 0.7f), 0.03f, 0.03f, rgb(40, 45, 50), 0.4f},
                {rgba(5, 15, 40, 0.85f), 0.03f, 0.03f, rgb(60, 90, 120), 0.4f}};
    case 5:  // dark wood
        return {{rgba(30, 18, 8, 0.8f), 0.025f, 0.03f, rgb(50, 35, 20), 0.3f},
                {rgba(35, 20, 10, 0.8f), 0.025f, 0.03f, rgb(50, 35, 20), 0.3f},
                {rgba(8, 5, 3, 0.9f), 0.03f, 0.035f, rgb(110, 85, 55), 0.3f}};
    case 6:  // glowing edges on the rock, cooled crust on the floor
        return {{rgba(255, 140, 30, 0.9f), 0.03f, 0.035f, rgb(60, 30, 20), 0.6f},
                {rgba(10, 5, 4, 0.9f), 0.035f, 0.04f, rgb(170, 70, 25), 0.6f},
                {rgba(90, 20, 5, 0.85f), 0.035f, 0.035f, rgb(40, 35, 20), 0.6f}};
    case 7:  // board edges
        return {{rgba(190, 150, 60, 0.85f), 0.025f, 0.035f, rgb(40, 60, 30), 0},
                {rgba(5, 5, 8, 0.9f), 0.035f, 0.04f, rgb(170, 140, 70), 0},
                {rgba(5, 10, 20, 0.85f), 0.03f, 0.035f, rgb(50, 70, 90), 0}};
    case 8:  // polished marble
        return {{rgba(70, 68, 72, 0.7f), 0.025f, 0.03f, rgb(30, 30, 30), 0.2f},
                {rgba(110, 110, 118, 0.9f), 0.025f, 0.03f, rgb(40, 40, 40), 0.2f},
                {rgba(250, 252, 255, 0.8f), 0.025f, 0.03f, rgb(30, 35, 40), 0.2f}};
    case 9:  // weathered sandstone
        return {{rgba(70, 40, 20, 0.8f), 0.03f, 0.035f, rgb(50, 40, 25), 0.6f},
                {rgba(45, 28, 12, 0.9f), 0.045f, 0.035f, rgb(60, 50, 30), 0.6f},
                {rgba(40, 22, 10, 0.85f), 0.03f, 0.035f, rgb(60, 45, 30), 0.6f}};
    case 10:  // crystal
        return {{rgba(235, 215, 255, 0.8f), 0.025f, 0.035f, rgb(30, 20, 40), 0.2f},
                {rgba(25, 8, 45, 0.8f), 0.03f, 0.035f, rgb(40, 30, 55), 0.2f},
                {rgba(5, 2, 12, 0.9f), 0.03f, 0.035f, rgb(110, 80, 150), 0.2f}};
    default:  // gold and obsidian
        return {{rgba(60, 40, 10, 0.8f), 0.025f, 0.035f, rgb(60, 50, 30), 0},
                {rgba(5, 4, 8, 0.9f), 0.03f, 0.04f, rgb(150, 120, 180), 0.1f},
                {rgba(50, 30, 10, 0.85f), 0.03f, 0.035f, rgb(60, 50, 30), 0}};
    }
}

WorldTheme worldTheme(int level) {
    const WorldTheme faces = worldFaces(level);
    const LevelRims rims = levelRims(level);
    const int seed = level * 101 + 50;
    return {rimmed(faces.side, rims.side, seed), rimmed(faces.top, rims.top, seed + 1),
            rimmed(faces.bottom, rims.bottom, seed + 2)};
}

// ---- skies ------------------------------------------------------------------------------------

struct SkyTheme {
    Colour zenith, horizon, nadir;
    core::vector3df sun;       // direction; zero for no sun
    Colour sun_colour;
    float sun_size;            // the larger, the wider the glow
    float clouds;              // cover, 0 for a clear sky
    Colour cloud_colour;
    float stars;               // density, 0 for none
    float nebula;              // strength, 0 for none
    Colour nebula_a, nebula_b;
    float aurora;              // strength, 0 for none
};

SkyTheme skyTheme(int level) {
    SkyTheme t{};
    t.sun_size = 1;
    switch (level) {
    case 1:  // dawn
        t = {rgb(60, 90, 170), rgb(250, 170, 110), rgb(5, 20, 125), core::vector3df(1, 0.12f, 0.3f), rgb(255, 230, 170), 1.2f,
             0.3f, rgb(255, 190, 170), 0, 0, {}, {}, 0};
        break;
    case 2:  // cloud bands
        t = {rgb(40, 100, 200), rgb(170, 210, 245), rgb(8, 18, 80), core::vector3df(-0.4f, 0.8f, 0.4f), rgb(255, 255, 230), 0.6f,
             0.6f, rgb(250, 250, 255), 0, 0, {}, {}, 0};
        break;
    case 3:  // sunset
        t = {rgb(70, 40, 110), rgb(250, 110, 60), rgb(8, 18, 80), core::vector3df(0.2f, 0.05f, -1), rgb(255, 200, 90), 1.8f,
             0.35f, rgb(200, 90, 110), 0, 0, {}, {}, 0};
        break;
    case 4:  // polar night and aurora
        t = {rgb(5, 10, 30), rgb(20, 40, 70), rgb(8, 18, 80), core::vector3df(), {}, 0,
             0, {}, 0.6f, 0, {}, {}, 1};
        break;
    case 5:  // overcast
        t = {rgb(120, 125, 135), rgb(180, 180, 185), rgb(8, 18, 80), core::vector3df(), {}, 0,
             0.9f, rgb(215, 215, 220), 0, 0, {}, {}, 0};
        break;
    case 6:  // volcanic smoke
        t = {rgb(30, 10, 10), rgb(200, 60, 20), rgb(0, 20, 130), core::vector3df(0.5f, 0.3f, 0.5f), rgb(255, 120, 40), 2.5f,
             0.7f, rgb(50, 35, 35), 0, 0, {}, {}, 0};
        break;
    case 7:  // starfield
        t = {rgb(2, 4, 15), rgb(15, 25, 60), rgb(0, 12, 160), core::vector3df(), {}, 0,
             0, {}, 1, 0, {}, {}, 0};
        break;
    case 8:  // pastel
        t = {rgb(150, 180, 240), rgb(250, 200, 220), rgb(8, 18, 80), core::vector3df(-0.6f, 0.4f, -0.5f), rgb(255, 250, 230), 1,
             0.45f, rgb(255, 235, 245), 0, 0, {}, {}, 0};
        break;
    case 9:  // desert noon
        t = {rgb(60, 130, 220), rgb(220, 225, 215), rgb(8, 18, 80), core::vector3df(0.2f, 1, 0.1f), rgb(255, 255, 240), 0.8f,
             0.08f, rgb(255, 255, 255), 0, 0, {}, {}, 0};
        break;
    case 10:  // nebula
        t = {rgb(8, 5, 25), rgb(30, 15, 50), rgb(6, 12, 80), core::vector3df(), {}, 0,
             0, {}, 0.8f, 1, rgb(200, 60, 180), rgb(50, 120, 230), 0};
        break;
    default:  // deep space, golden nebula
        t = {rgb(3, 3, 8), rgb(40, 34, 60), rgb(0, 22, 165), core::vector3df(-0.3f, 0.2f, 0.9f), rgb(255, 240, 200), 0.5f,
             0, {}, 1, 0.8f, rgb(240, 170, 60), rgb(120, 40, 20), 0};
        break;
    }
    if (t.sun.getLengthSQ() > 0) t.sun.normalize();
    return t;
}

// Stars sit at a random point of some cells of a fine grid in space; the point keeps clear of the
// cell's walls, so a star never straddles two cells and stays whole across two sky faces.
float starLight(core::vector3df d, float density, int seed) {
    const float cells = 120;
    core::vector3df p = d * cells;
    int x = int(std::floor(p.X)), y = int(std::floor(p.Y)), z = int(std::floor(p.Z));
    if (hash(x, y, z, seed) > 0.25f * density) return 0;
    core::vector3df star(x + 0.3f + 0.4f * hash(x, y, z, seed + 1), y + 0.3f + 0.4f * hash(x, y, z, seed + 2),
                         z + 0.3f + 0.4f * hash(x, y, z, seed + 3));
    float size = 0.12f + 0.18f * hash(x, y, z, seed + 4);
    return clamp01(1 - p.getDistanceFrom(star) / size) * (0.5f + 0.8f * hash(x, y, z, seed + 5));
}

Colour skyColour(const SkyTheme& t, core::vector3df d, int seed) {
    d.normalize();
    const float e = d.Y;
    // Below the horizon the sky falls away fast to a dark, cold depth that no floor shares: a hole reads as a drop.
    Colour c = e >= 0 ? mix(t.horizon, t.zenith, std::pow(e, 0.6f)) : mix(t.horizon, t.nadir, std::pow(-e, 0.3f));
    // The lights of the sky (the sun's glow, a nebula) stay above the depth.
    const float above = clamp01(1 + 4 * e);
    if (t.clouds > 0) {
        // Bands: the noise is stretched horizontally and fades towards the zenith and below the horizon.
        core::vector3df q(d.X, d.Y * 3, d.Z);
        float n = spaceFbm(q, 3, 6, seed);
        float cover = clamp01((n - (0.62f - 0.3f * t.clouds)) * 4) * clamp01(e * 6 + 0.3f) * (0.4f + 0.6f * clamp01(1.2f - e));
        c = mix(c, t.cloud_colour, cover * 0.9f);
    }
    if (t.nebula > 0) {
        float n = spaceFbm(d, 2, 6, seed + 50), m = spaceFbm(d, 3, 5, seed + 70);
        float glow = clamp01((n - 0.45f) * 3) * t.nebula;
        c = add(c, mix(t.nebula_a, t.nebula_b, m), glow * 0.8f * above);
    }
    if (t.aurora > 0) {
        float wave = std::sin(std::atan2(d.Z, d.X) * 3 + spaceFbm(d, 2, 4, seed + 90) * 8);
        float ribbon = std::exp(-std::pow((e - 0.35f - 0.1f * wave) * 9, 2.0f)) * spaceFbm(d * core::vector3df(6, 1, 6), 2, 3, seed + 95);
        c = add(c, rgb(60, 255, 140), ribbon * t.aurora * 1.2f * clamp01(e * 5));
    }
    if (t.stars > 0 && e > -0.2f) {
        c = add(c, rgb(255, 250, 235), starLight(d, t.stars, seed + 130));
    }
    if (t.sun.getLengthSQ() > 0) {
        float a = clamp01(d.dotProduct(t.sun));
        float halo = std::pow(a, 40.0f / t.sun_size) * 0.6f + std::pow(a, 6.0f / t.sun_size) * 0.25f;
        float disc = a > 0.9985f ? 1.0f : 0.0f;
        c = add(c, t.sun_colour, (halo + disc) * above);
    }
    return Colour{clamp01(c.r), clamp01(c.g), clamp01(c.b), 1};
}

// The engine's sky box lays each face out this way: the direction seen through texel (u, v).
core::vector3df skyDirection(int face, float u, float v) {
    const float a = 1 - 2 * u, b = 1 - 2 * v;
    switch (face) {
    case 0: return core::vector3df(2 * v - 1, 1, a);   // top
    case 1: return core::vector3df(b, -1, a);          // bottom
    case 2: return core::vector3df(1, b, a);           // left
    case 3: return core::vector3df(-1, b, -a);         // right
    case 4: return core::vector3df(a, b, -1);          // front
    default: return core::vector3df(-a, b, 1);         // back
    }
}

const char* const SKY_FACES[6] = {"sky_top", "sky_bottom", "sky_left", "sky_right", "sky_front", "sky_back"};

Picture skyFace(const SkyTheme& theme, int face, int seed) {
    Picture picture(SKY_SIZE, SKY_SIZE, Colour{0, 0, 0, 1});
    for (int y = 0; y < SKY_SIZE; ++y)
        for (int x = 0; x < SKY_SIZE; ++x)
            picture.at(x, y) = skyColour(theme, skyDirection(face, (x + 0.5f) / SKY_SIZE, (y + 0.5f) / SKY_SIZE), seed);
    return picture;
}

// ---- objective, text strip, contact sheet -----------------------------------------------------

// A glassy face with a frame that stands out from every sky and wall: a black outer band and a bright ridge
// of the objective's colour fading to white, so that either its dark or its bright part differs from whatever
// lies behind; the middle is see-through, tinted, glowing towards the frame and the centre.
Picture objective(Colour frame, Colour glow) {
    const int size = 128;
    Picture picture(size, size, Colour{0, 0, 0, 0});
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            float u = (x + 0.5f) / size, v = (y + 0.5f) / size;
            float edge = std::min(std::min(u, 1 - u), std::min(v, 1 - v));
            float centre = std::hypot(u - 0.5f, v - 0.5f);
            Colour c;
            if (edge < 0.035f) {
                c = rgb(10, 8, 16);
            } else if (edge < 0.11f) {
                float ridge = 1 - std::fabs(edge - 0.0725f) / 0.0375f;
                c = mix(frame, Colour{1, 1, 1, 1}, ridge * 0.6f);
                c.a = 1;
            } else if (edge < 0.125f) {
                c = rgb(10, 8, 16);
            } else {
                float rim = clamp01(1 - (edge - 0.125f) / 0.2f);
                float spark = std::pow(clamp01(1 - centre * 2.2f), 3.0f);
                c = mix(glow, Colour{1, 1, 1, 1}, spark * 0.6f);
                c.a = 0.22f + 0.4f * rim * rim + 0.3f * spark;
            }
            picture.at(x, y) = Colour{clamp01(c.r), clamp01(c.g), clamp01(c.b), clamp01(c.a)};
        }
    }
    return picture;
}

Picture textStrip() {
    Picture picture(640, 30, Colour{0, 0, 0, 1});
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 640; ++x) {
            Colour c = mix(rgb(28, 30, 44), rgb(8, 8, 14), y / 29.0f);
            if (y == 0) c = rgb(90, 95, 130);
            picture.at(x, y) = c;
        }
    }
    return picture;
}

// The mean of the image's pixels that fall on one pixel of a smaller copy, so that thin lines stay in it.
Colour shrunk(const Picture& image, int x, int y, int size) {
    const int left = x * image.width / size, right = std::max(left + 1, (x + 1) * image.width / size);
    const int top = y * image.height / size, bottom = std::max(top + 1, (y + 1) * image.height / size);
    Colour sum{0, 0, 0, 0};
    const float share = 1.0f / ((right - left) * (bottom - top));
    for (int j = top; j < bottom; ++j) {
        for (int i = left; i < right; ++i) {
            const Colour& c = image.at(i, j);
            sum = Colour{sum.r + c.r * share, sum.g + c.g * share, sum.b + c.b * share, sum.a + c.a * share};
        }
    }
    return sum;
}

void paste(Picture& sheet, const Picture& image, int left, int top, int size) {
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const Colour c = shrunk(image, x, y, size);
            // Translucent images sit on a grey check so their alpha shows.
            Colour under = ((x / 8 + y / 8) % 2) ? rgb(90, 90, 90) : rgb(150, 150, 150);
            Colour out = mix(under, c, c.a);
            out.a = 1;
            sheet.at(left + x, top + y) = out;
        }
    }
}

struct Sheet {
    static const int THUMB = 96, GAP = 6, LABEL = 16, MARGIN = 40;
    Picture picture;
    Sheet(int columns, int rows)
        : picture(MARGIN + columns * (THUMB + GAP), LABEL + rows * (THUMB + GAP + LABEL), rgb(30, 30, 34)) {}
    int left(int column) const { return MARGIN + column * (THUMB + GAP); }
    int top(int row) const { return LABEL + row * (THUMB + GAP + LABEL) + LABEL; }
    void put(int row, int column, const Picture& image, const std::string& label) {
        paste(picture, image, left(column), top(row), THUMB);
        font_DrawLabel(picture, left(column), top(row) - LABEL + 2, label, rgb(230, 230, 230));
    }
};

std::string percent(float share) { return std::to_string(int(std::lround(share * 100))) + "%"; }

}  // namespace

void picture_Save(video::IVideoDriver* video, const Picture& picture, const std::string& file_name) {
    video::IImage* image = video->createImage(video::ECF_A8R8G8B8, core::dimension2d<u32>(picture.width, picture.height));
    if (!image) datagen_Fail("cannot create an image for " + file_name);
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            const Colour& c = picture.at(x, y);
            auto byte = [](float v) { return u32(std::lround(clamp01(v) * 255)); };
            image->setPixel(x, y, video::SColor(byte(c.a), byte(c.r), byte(c.g), byte(c.b)));
        }
    }
    bool written = video->writeImageToFile(image, file_name.c_str());
    image->drop();
    if (!written) datagen_Fail("cannot write " + file_name);
}

// Each level's row of the contact sheet shows its world textures labelled with their rims' contrast, its sky
// with the contrast of the sky below the horizon against the floor (under the bottom face), and ends with the
// objective over the level's side texture and over the sky face it stands out least from, each
// labelled with its contrast.
void image_WriteAll(video::IVideoDriver* video, const std::string& folder, const std::string& preview_file) {
    Sheet sheet(11, 12);
    Picture first = objective(rgb(255, 40, 190), rgb(255, 60, 200));
    Picture second = objective(rgb(255, 215, 0), rgb(255, 190, 30));
    for (int level = 1; level <= 11; ++level) {
        const std::string dir = folder + "/" + std::to_string(level) + "/";
        const int row = level - 1;
        font_DrawLabel(sheet.picture, 6, sheet.top(row) + Sheet::THUMB / 2 - 6, std::to_string(level), rgb(255, 220, 120));
        WorldTheme world = worldTheme(level);
        const char* names[3] = {"side", "top", "bottom"};
        Picture side = texture(world.side, SIDE_SIZE);
        Picture flats[2] = {texture(world.top, FLAT_SIZE), texture(world.bottom, FLAT_SIZE)};
        for (Picture& flat : flats) darkenOverlap(flat);
        const Picture* pictures[3] = {&side, &flats[0], &flats[1]};
        for (int i = 0; i < 3; ++i) {
            picture_Save(video, *pictures[i], dir + names[i] + ".bmp");
            sheet.put(row, i, *pictures[i], names[i] + std::string(" rim ") + percent(contrast_Edge(*pictures[i])));
        }
        SkyTheme sky = skyTheme(level);
        std::vector<Picture> faces;
        int faintest_face = 0;
        float faintest = 2;
        for (int face = 0; face < 6; ++face) {
            faces.push_back(skyFace(sky, face, level * 7));
            picture_Save(video, faces[face], dir + SKY_FACES[face] + ".bmp");
            float contrast = contrast_Between(contrast_Over(first, faces[face]), faces[face]);
            if (contrast < faintest) faintest = contrast, faintest_face = face;
        }
        const Picture* sides[4] = {&faces[2], &faces[3], &faces[4], &faces[5]};
        const float drop = contrast_Between(contrast_BelowHorizon(sides, faces[1]), flats[0]);
        for (int face = 0; face < 6; ++face)
            sheet.put(row, 3 + face, faces[face], face == 1 ? "drop " + percent(drop) : std::string(SKY_FACES[face]));
        sheet.put(row, 9, contrast_Over(first, side), "obj " + percent(contrast_Between(contrast_Over(first, side), side)));
        sheet.put(row, 10, contrast_Over(first, faces[faintest_face]), "obj " + percent(faintest));
    }
    Picture strip = textStrip();
    picture_Save(video, first, folder + "/objectiv.png");
    picture_Save(video, second, folder + "/objectiv2.png");
    picture_Save(video, strip, folder + "/textback.bmp");
    sheet.put(11, 0, first, "objectiv");
    sheet.put(11, 1, second, "objectiv2");
    sheet.put(11, 2, strip, "textback");
    picture_Save(video, sheet.picture, preview_file);
}
