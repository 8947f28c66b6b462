// The meshes: a small 3DS writer, the cube pieces of the world and the player's figure.
#include "datagen.h"
#include "world/tableworld.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <vector>

using irr::core::vector2df;
using irr::core::vector3df;

namespace {

struct Rgb {
    uint8_t r, g, b;
};

// One material and the triangles drawn with it; the engine gives its vertices the diffuse colour.
struct Group {
    std::string name;
    Rgb colour;
    std::vector<uint16_t> faces;
};

// A mesh in the engine's own axes (Y up); the writer turns it into the file's Z-up.
struct Mesh {
    std::vector<vector3df> positions;
    std::vector<vector2df> uvs;
    std::vector<uint16_t> triangles;
    std::vector<Group> groups;
};

// The 3DS file is a tree of chunks: a 16-bit id, then a 32-bit length that counts the header.
class Chunk {
public:
    explicit Chunk(uint16_t id) { put16(id); put32(0); }
    void put8(uint8_t v) { bytes_.push_back(v); }
    void put16(uint16_t v) { put8(v & 0xFF); put8(v >> 8); }
    void put32(uint32_t v) { put16(v & 0xFFFF); put16(v >> 16); }
    void putFloat(float f) { uint32_t v; std::memcpy(&v, &f, 4); put32(v); }
    void putString(const std::string& s) { for (char c : s) put8(c); put8(0); }
    void put(const Chunk& child) { const auto& b = child.bytes(); bytes_.insert(bytes_.end(), b.begin(), b.end()); }
    const std::vector<uint8_t>& bytes() const {
        uint32_t size = bytes_.size();
        for (int i = 0; i < 4; ++i) bytes_[2 + i] = (size >> (8 * i)) & 0xFF;
        return bytes_;
    }
private:
    mutable std::vector<uint8_t> bytes_;
};

Chunk colourChunk(uint16_t id, Rgb c) {
    Chunk chunk(id);
    Chunk rgb(0x0011);
    rgb.put8(c.r);
    rgb.put8(c.g);
    rgb.put8(c.b);
    chunk.put(rgb);
    return chunk;
}

Chunk materialChunk(const Group& group) {
    Chunk material(0xAFFF);
    Chunk name(0xA000);
    name.putString(group.name);
    material.put(name);
    material.put(colourChunk(0xA010, group.colour));
    material.put(colourChunk(0xA020, group.colour));
    material.put(colourChunk(0xA030, Rgb{0, 0, 0}));
    return material;
}

// The engine's loader swaps the file's Y and Z, which mirrors the mesh, so it reverses each
// triangle and flips V; the writer does the inverse so that what we build is what it loads.
Chunk triangleMeshChunk(const Mesh& mesh) {
    Chunk vertices(0x4110);
    vertices.put16(mesh.positions.size());
    for (const vector3df& p : mesh.positions) {
        vertices.putFloat(p.X);
        vertices.putFloat(p.Z);
        vertices.putFloat(p.Y);
    }
    Chunk mapping(0x4140);
    mapping.put16(mesh.uvs.size());
    for (const vector2df& uv : mesh.uvs) {
        mapping.putFloat(uv.X);
        mapping.putFloat(1.0f - uv.Y);
    }
    Chunk faces(0x4120);
    faces.put16(mesh.triangles.size() / 3);
    for (size_t i = 0; i + 2 < mesh.triangles.size(); i += 3) {
        faces.put16(mesh.triangles[i]);
        faces.put16(mesh.triangles[i + 2]);
        faces.put16(mesh.triangles[i + 1]);
        faces.put16(0x0007);
    }
    for (const Group& group : mesh.groups) {
        Chunk used(0x4130);
        used.putString(group.name);
        used.put16(group.faces.size());
        for (uint16_t f : group.faces) used.put16(f);
        faces.put(used);
    }
    Chunk trimesh(0x4100);
    trimesh.put(vertices);
    trimesh.put(mapping);
    trimesh.put(faces);
    return trimesh;
}

void writeMesh(const std::string& file_name, const std::string& object_name, const Mesh& mesh) {
    if (mesh.positions.size() > 65535) datagen_Fail(file_name + ": too many vertices for 3DS");
    Chunk version(0x0002);
    version.put32(3);
    Chunk editor(0x3D3D);
    for (const Group& group : mesh.groups) editor.put(materialChunk(group));
    Chunk object(0x4000);
    object.putString(object_name);
    object.put(triangleMeshChunk(mesh));
    editor.put(object);
    Chunk main(0x4D4D);
    main.put(version);
    main.put(editor);
    std::ofstream out(file_name, std::ios::binary);
    const auto& bytes = main.bytes();
    out.write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (!out) datagen_Fail("cannot write " + file_name);
}

uint16_t addVertex(Mesh& mesh, vector3df position, vector2df uv) {
    mesh.positions.push_back(position);
    mesh.uvs.push_back(uv);
    return mesh.positions.size() - 1;
}

void addTriangle(Mesh& mesh, Group& group, uint16_t a, uint16_t b, uint16_t c) {
    group.faces.push_back(mesh.triangles.size() / 3);
    mesh.triangles.insert(mesh.triangles.end(), {a, b, c});
}

// A square face of the cube seen from outside: `up` is the texture's up, the image reads upright.
// Corners go clockwise from the upper left, the engine's front-facing order. The image spans the texture
// coordinates 0.5 - reach to 0.5 + reach: 0 to 1 shows it once on the face.
void addCubeFace(Mesh& mesh, Group& group, vector3df normal, vector3df up, float reach) {
    const float half = 20.0f;
    const float low = 0.5f - reach, high = 0.5f + reach;
    vector3df right = normal.crossProduct(up);
    vector3df centre = normal * half;
    uint16_t tl = addVertex(mesh, centre + (up - right) * half, vector2df(low, low));
    uint16_t tr = addVertex(mesh, centre + (up + right) * half, vector2df(high, low));
    uint16_t br = addVertex(mesh, centre + (right - up) * half, vector2df(high, high));
    uint16_t bl = addVertex(mesh, centre - (up + right) * half, vector2df(low, high));
    addTriangle(mesh, group, tl, tr, br);
    addTriangle(mesh, group, tl, br, bl);
}

Mesh cubeMesh(bool sides, bool top, bool bottom, float reach) {
    Mesh mesh;
    mesh.groups.push_back(Group{"cube", Rgb{255, 255, 255}, {}});
    Group& group = mesh.groups.back();
    const vector3df up(0, 1, 0);
    if (sides) {
        addCubeFace(mesh, group, vector3df(-1, 0, 0), up, reach);
        addCubeFace(mesh, group, vector3df(0, 0, 1), up, reach);
        addCubeFace(mesh, group, vector3df(1, 0, 0), up, reach);
        addCubeFace(mesh, group, vector3df(0, 0, -1), up, reach);
    }
    if (top) addCubeFace(mesh, group, vector3df(0, 1, 0), vector3df(0, 0, 1), reach);
    if (bottom) addCubeFace(mesh, group, vector3df(0, -1, 0), vector3df(0, 0, 1), reach);
    return mesh;
}

// An ellipsoid with the given radii, its rings shaded from `bright` at the top to `dark` at
// the bottom: the figure is drawn unlit, so the bands are what gives it volume.
void addEllipsoid(Mesh& mesh, vector3df centre, vector3df radii, Rgb bright, Rgb dark,
                  const std::string& name, int rings, int segments) {
    const float pi = 3.14159265f;
    std::vector<std::vector<uint16_t>> grid(rings + 1);
    for (int i = 0; i <= rings; ++i) {
        float polar = pi * i / rings;
        for (int j = 0; j <= segments; ++j) {
            float azimuth = 2 * pi * j / segments;
            vector3df p(std::sin(polar) * std::cos(azimuth), std::cos(polar), std::sin(polar) * std::sin(azimuth));
            p = centre + p * radii;
            grid[i].push_back(addVertex(mesh, p, vector2df(float(j) / segments, float(i) / rings)));
        }
    }
    const int bands = rings < 6 ? rings : 6;
    size_t first = mesh.groups.size();
    for (int b = 0; b < bands; ++b) {
        float t = bands == 1 ? 0.0f : float(b) / (bands - 1);
        Rgb c{uint8_t(bright.r + (dark.r - bright.r) * t), uint8_t(bright.g + (dark.g - bright.g) * t),
              uint8_t(bright.b + (dark.b - bright.b) * t)};
        mesh.groups.push_back(Group{name + std::to_string(b), c, {}});
    }
    for (int i = 0; i < rings; ++i) {
        Group& group = mesh.groups[first + i * bands / rings];
        for (int j = 0; j < segments; ++j) {
            uint16_t a = grid[i][j], b = grid[i][j + 1], c = grid[i + 1][j + 1], d = grid[i + 1][j];
            // Seen from outside, azimuth grows to the right and rings go down: a b over d c.
            if (i != rings - 1) addTriangle(mesh, group, a, c, d);
            if (i != 0) addTriangle(mesh, group, a, b, c);
        }
    }
}

// The player's figure: a rounded body 60 across and 120 high, looking along -X with two eyes
// on the upper front and a nose that sticks out, so the view from above shows its heading.
Mesh blobMesh() {
    Mesh mesh;
    addEllipsoid(mesh, vector3df(0, 0, 0), vector3df(30, 60, 30), Rgb{120, 230, 110}, Rgb{30, 110, 40}, "body", 16, 24);
    for (float side : {-1.0f, 1.0f}) {
        addEllipsoid(mesh, vector3df(-14, 46, 12 * side), vector3df(10, 10, 10), Rgb{255, 255, 255}, Rgb{200, 200, 210},
                     side < 0 ? "eyel" : "eyer", 8, 12);
        addEllipsoid(mesh, vector3df(-21, 50, 13 * side), vector3df(5, 6, 5), Rgb{20, 20, 40}, Rgb{10, 10, 20},
                     side < 0 ? "pupl" : "pupr", 6, 10);
    }
    addEllipsoid(mesh, vector3df(-30, 22, 0), vector3df(10, 7, 7), Rgb{255, 150, 40}, Rgb{200, 80, 20}, "nose", 8, 12);
    return mesh;
}

}  // namespace

// Neighbouring cube pieces overlap by a strip where their faces lie in one plane. Their textures repeat once
// per cell in world space (they wrap), so that both faces show the same texel there and the depth test's
// choice between them cannot be seen. The objective's cube shows its image once, frame and all.
void mesh_WriteAll(const std::string& folder) {
    const float piece = TABLEWORLD_PIECE_SCALE;
    writeMesh(folder + "/side.3ds", "side", cubeMesh(true, false, false, piece));
    writeMesh(folder + "/top.3ds", "top", cubeMesh(false, true, false, piece));
    writeMesh(folder + "/bottom.3ds", "bottom", cubeMesh(false, false, true, piece));
    writeMesh(folder + "/cube.3ds", "cube", cubeMesh(true, true, true, 0.5f));
    writeMesh(folder + "/blob.3ds", "blob", blobMesh());
}
