// korvanix_icon: the desktop icon, a few cubes and the glassy objective seen from above, as PNG and SVG.
#include "datagen.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

using namespace irr;

void datagen_Fail(const std::string& message) {
    std::fprintf(stderr, "korvanix_icon: %s\n", message.c_str());
    std::exit(1);
}

namespace {

const int ICON_SIZE = 128;
// Each pixel averages a 4x4 grid of samples, so the cube edges are smooth at 128 pixels.
const int SAMPLES = 4;

struct Point {
    float x, y;
};

// One flat face of a cube on screen; the PNG and the SVG both draw from this list, so they agree.
struct Face {
    Point corners[4];
    Colour fill;
    Colour edge;
    float edge_width;
};

Colour rgba(int r, int g, int b, float a = 1) { return Colour{r / 255.0f, g / 255.0f, b / 255.0f, a}; }

// Isometric projection of a cell corner: x runs to the lower right, z to the lower left, y straight up.
Point project(float x, float y, float z) { return Point{(x - z) * 0.8660254f, (x + z) * 0.5f - y}; }

// Scales and centres the drawing so that it fills the icon with a small margin.
void fit(std::vector<Face>& faces) {
    float left = 1e9f, right = -1e9f, top = 1e9f, bottom = -1e9f;
    for (const Face& face : faces) {
        for (const Point& p : face.corners) {
            left = std::min(left, p.x), right = std::max(right, p.x);
            top = std::min(top, p.y), bottom = std::max(bottom, p.y);
        }
    }
    const float margin = 4;
    float scale = (ICON_SIZE - 2 * margin) / std::max(right - left, bottom - top);
    float dx = (ICON_SIZE - (right - left) * scale) / 2, dy = (ICON_SIZE - (bottom - top) * scale) / 2;
    for (Face& face : faces) {
        for (Point& p : face.corners) p = Point{dx + (p.x - left) * scale, dy + (p.y - top) * scale};
    }
}

struct Shades {
    Colour top, right, left, edge;
};

// The three faces turned towards the viewer (+y, +x, +z), in the order they are painted.
void addCube(std::vector<Face>& faces, int x, int y, int z, const Shades& s, float edge_width) {
    float x1 = x + 1.0f, y1 = y + 1.0f, z1 = z + 1.0f;
    faces.push_back({{project(x, y1, z), project(x1, y1, z), project(x1, y1, z1), project(x, y1, z1)}, s.top, s.edge,
                     edge_width});
    faces.push_back({{project(x1, y1, z), project(x1, y1, z1), project(x1, y, z1), project(x1, y, z)}, s.right, s.edge,
                     edge_width});
    faces.push_back({{project(x, y1, z1), project(x1, y1, z1), project(x1, y, z1), project(x, y, z1)}, s.left, s.edge,
                     edge_width});
}

// The glass objective shows its hidden back faces through the front ones, as it does in the game.
void addObjective(std::vector<Face>& faces, int x, int y, int z) {
    float x1 = x + 1.0f, y1 = y + 1.0f, z1 = z + 1.0f;
    Colour glass = rgba(255, 214, 90, 0.35f), frame = rgba(255, 244, 190);
    faces.push_back({{project(x, y, z), project(x1, y, z), project(x1, y, z1), project(x, y, z1)}, glass, frame, 1.5f});
    faces.push_back({{project(x, y1, z), project(x, y1, z1), project(x, y, z1), project(x, y, z)}, glass, frame, 1.5f});
    faces.push_back({{project(x, y1, z), project(x1, y1, z), project(x1, y, z), project(x, y, z)}, glass, frame, 1.5f});
    addCube(faces, x, y, z, Shades{glass, glass, glass, frame}, 2.0f);
}

// Painted back to front: a cube nearer the viewer has a larger x + y + z.
std::vector<Face> iconFaces() {
    Shades stone{rgba(132, 178, 230), rgba(58, 92, 150), rgba(38, 62, 112), rgba(16, 26, 52)};
    const int cubes[][3] = {{-1, 0, -1}, {0, 0, -1}, {-1, 0, 0}, {-1, 1, -1}, {0, 0, 0}, {1, 0, 0}, {0, 0, 1}};
    std::vector<Face> faces;
    for (const auto& c : cubes) {
        addCube(faces, c[0], c[1], c[2], stone, 1.5f);
        // The objective rests on the back cube, behind the two front ones.
        if (c[0] == 0 && c[1] == 0 && c[2] == 0) addObjective(faces, 0, 1, -1);
    }
    fit(faces);
    return faces;
}

float cross(Point o, Point a, Point b) { return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x); }

bool inside(const Face& face, Point p) {
    bool positive = false, negative = false;
    for (int i = 0; i < 4; ++i) {
        float side = cross(face.corners[i], face.corners[(i + 1) % 4], p);
        positive |= side > 0;
        negative |= side < 0;
    }
    return !(positive && negative);
}

float segmentDistance(Point a, Point b, Point p) {
    float dx = b.x - a.x, dy = b.y - a.y;
    float t = std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / (dx * dx + dy * dy), 0.0f, 1.0f);
    return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}

float edgeDistance(const Face& face, Point p) {
    float nearest = 1e9f;
    for (int i = 0; i < 4; ++i) nearest = std::min(nearest, segmentDistance(face.corners[i], face.corners[(i + 1) % 4], p));
    return nearest;
}

// "Over" onto a premultiplied colour: what lies beneath shows through as much as the new colour lets it.
void blend(Colour& under, Colour over) {
    float a = over.a;
    under.r = over.r * a + under.r * (1 - a);
    under.g = over.g * a + under.g * (1 - a);
    under.b = over.b * a + under.b * (1 - a);
    under.a = a + under.a * (1 - a);
}

Colour sample(const std::vector<Face>& faces, Point p) {
    Colour c{0, 0, 0, 0};
    for (const Face& face : faces) {
        if (inside(face, p)) blend(c, face.fill);
        if (edgeDistance(face, p) <= face.edge_width / 2) blend(c, face.edge);
    }
    return c;
}

Picture renderIcon(const std::vector<Face>& faces) {
    Picture picture(ICON_SIZE, ICON_SIZE, Colour{0, 0, 0, 0});
    for (int y = 0; y < ICON_SIZE; ++y) {
        for (int x = 0; x < ICON_SIZE; ++x) {
            Colour sum{0, 0, 0, 0};
            for (int sy = 0; sy < SAMPLES; ++sy) {
                for (int sx = 0; sx < SAMPLES; ++sx) {
                    Colour c = sample(faces, Point{x + (sx + 0.5f) / SAMPLES, y + (sy + 0.5f) / SAMPLES});
                    sum.r += c.r;
                    sum.g += c.g;
                    sum.b += c.b;
                    sum.a += c.a;
                }
            }
            // Back to straight alpha, which the image writer stores, so a half-covered edge keeps its colour.
            float n = float(SAMPLES * SAMPLES);
            picture.at(x, y) = sum.a > 0 ? Colour{sum.r / sum.a, sum.g / sum.a, sum.b / sum.a, sum.a / n} : sum;
        }
    }
    return picture;
}

std::string svgColour(Colour c) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", int(std::lround(c.r * 255)), int(std::lround(c.g * 255)),
                  int(std::lround(c.b * 255)));
    return text;
}

std::string renderSvg(const std::vector<Face>& faces) {
    std::ostringstream svg;
    svg << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << ICON_SIZE << "\" height=\"" << ICON_SIZE
        << "\" viewBox=\"0 0 " << ICON_SIZE << ' ' << ICON_SIZE << "\">\n"
        << "  <title>Korvanix</title>\n";
    for (const Face& face : faces) {
        svg << "  <polygon points=\"";
        for (int i = 0; i < 4; ++i) svg << (i ? " " : "") << face.corners[i].x << ',' << face.corners[i].y;
        svg << "\" fill=\"" << svgColour(face.fill) << "\" fill-opacity=\"" << face.fill.a << "\" stroke=\""
            << svgColour(face.edge) << "\" stroke-width=\"" << face.edge_width << "\" stroke-linejoin=\"round\"/>\n";
    }
    svg << "</svg>\n";
    return svg.str();
}

IrrlichtDevice* createNullDevice() {
    SIrrlichtCreationParameters parameters;
    parameters.DriverType = video::EDT_NULL;
    parameters.LoggingLevel = ELL_ERROR;
    IrrlichtDevice* null_device = createDeviceEx(parameters);
    if (!null_device || !null_device->getVideoDriver()) datagen_Fail("no null device");
    return null_device;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: korvanix_icon ICON_PNG ICON_SVG\n");
        return 1;
    }
    const std::vector<Face> faces = iconFaces();
    IrrlichtDevice* null_device = createNullDevice();
    picture_Save(null_device->getVideoDriver(), renderIcon(faces), argv[1]);
    null_device->drop();
    std::ofstream svg(argv[2], std::ios::binary);
    svg << renderSvg(faces);
    if (!svg.flush()) datagen_Fail(std::string("cannot write ") + argv[2]);
    return 0;
}
