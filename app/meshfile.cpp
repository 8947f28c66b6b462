// The check that a 3DS file passes before the engine's loader sees it: the loader trusts every length,
// count and index in the file, and spins or reads out of bounds on a file cut short or damaged.
#include <strings.h>

#include <cstring>
#include <vector>

#include "app/util.h"

using namespace irr;

namespace {

// What the chunks read so far promise to the ones after them, within one mesh object.
struct MeshCounts {
    long vertices = -1;
    long faces = -1;
};

unsigned ReadU16(const unsigned char* p) { return p[0] | p[1] << 8; }
unsigned long ReadU32(const unsigned char* p) {
    return (unsigned long)p[0] | (unsigned long)p[1] << 8 | (unsigned long)p[2] << 16 | (unsigned long)p[3] << 24;
}

// A zero-terminated name at the start of the body; returns what follows it, or null.
const unsigned char* SkipName(const unsigned char* body, const unsigned char* end) {
    const void* zero = memchr(body, 0, end - body);
    return zero ? static_cast<const unsigned char*>(zero) + 1 : nullptr;
}

bool AreWholeChunks(unsigned parent, const unsigned char* begin, const unsigned char* end, int depth,
                    MeshCounts& counts);

// The list of vertices, then the mapping, then the faces with their material groups, all agreeing in count.
bool IsWholeVertexList(const unsigned char* body, const unsigned char* end, MeshCounts& counts) {
    if (end - body < 2) return false;
    counts.vertices = ReadU16(body);
    return end - body == 2 + 12 * counts.vertices;
}

bool IsWholeMapping(const unsigned char* body, const unsigned char* end, const MeshCounts& counts) {
    return end - body >= 2 && (long)ReadU16(body) == counts.vertices && end - body == 2 + 8 * counts.vertices;
}

bool IsWholeFaceList(const unsigned char* body, const unsigned char* end, int depth, MeshCounts& counts) {
    if (end - body < 2 || counts.vertices < 0) return false;
    long faces = ReadU16(body);
    if (end - body < 2 + 8 * faces) return false;
    for (long face = 0; face < faces; face++)
        for (int corner = 0; corner < 3; corner++)
            if ((long)ReadU16(body + 2 + 8 * face + 2 * corner) >= counts.vertices) return false;
    counts.faces = faces;
    return AreWholeChunks(0x4120, body + 2 + 8 * faces, end, depth + 1, counts);
}

bool IsWholeMaterialGroup(const unsigned char* body, const unsigned char* end, const MeshCounts& counts) {
    const unsigned char* list = SkipName(body, end);
    if (!list || end - list < 2 || counts.faces < 0) return false;
    long used = ReadU16(list);
    if (end - list != 2 + 2 * used) return false;
    for (long i = 0; i < used; i++)
        if ((long)ReadU16(list + 2 + 2 * i) >= counts.faces) return false;
    return true;
}

// The chunks that each kind of chunk may hold. The engine's loader walks into some chunks it does not know
// and spins there, so the game takes only what its own meshes hold.
bool MayHold(unsigned parent, unsigned id) {
    switch (parent) {
    case 0x4D4D: return id == 0x0002 || id == 0x3D3D;
    case 0x3D3D: return id == 0x3D3E || id == 0xAFFF || id == 0x4000;
    case 0xAFFF: return id == 0xA000 || id == 0xA010 || id == 0xA020 || id == 0xA030;
    case 0xA010: case 0xA020: case 0xA030: return id == 0x0010 || id == 0x0011;
    case 0x4000: return id == 0x4100;
    case 0x4100: return id == 0x4110 || id == 0x4140 || id == 0x4120;
    case 0x4120: return id == 0x4130;
    default: return false;
    }
}

// Chunks whose body is a list of chunks; the object starts with its name.
bool IsWholeBody(unsigned id, const unsigned char* body, const unsigned char* end, int depth, MeshCounts& counts) {
    switch (id) {
    case 0x4D4D: case 0x3D3D: case 0xAFFF: case 0xA010: case 0xA020: case 0xA030: case 0x4100:
        return AreWholeChunks(id, body, end, depth + 1, counts);
    case 0x4000: {
        const unsigned char* chunks = SkipName(body, end);
        MeshCounts object_counts;
        return chunks && AreWholeChunks(id, chunks, end, depth + 1, object_counts);
    }
    case 0x4110: return IsWholeVertexList(body, end, counts);
    case 0x4140: return IsWholeMapping(body, end, counts);
    case 0x4120: return IsWholeFaceList(body, end, depth, counts);
    case 0x4130: return IsWholeMaterialGroup(body, end, counts);
    case 0xA000: return SkipName(body, end) != nullptr;
    case 0x0010: return end - body == 12;
    case 0x0011: return end - body == 3;
    default: return true;  // a leaf that the loader skips by its length
    }
}

// The chunks between begin and end must tile it exactly, each at least its own header long and of a kind
// its parent may hold.
bool AreWholeChunks(unsigned parent, const unsigned char* begin, const unsigned char* end, int depth,
                    MeshCounts& counts) {
    if (depth > 8) return false;
    while (begin < end) {
        if (end - begin < 6) return false;
        unsigned id = ReadU16(begin);
        unsigned long length = ReadU32(begin + 2);
        if (!MayHold(parent, id) || length < 6 || length > (unsigned long)(end - begin)) return false;
        if (!IsWholeBody(id, begin + 6, begin + length, depth, counts)) return false;
        begin += length;
    }
    return true;
}

}  // namespace

bool util_IsWholeMeshFile(const unsigned char* bytes, size_t size) {
    if (size < 6 || ReadU16(bytes) != 0x4D4D) return false;
    unsigned long length = ReadU32(bytes + 2);
    MeshCounts counts;
    return length >= 6 && length <= size && AreWholeChunks(0x4D4D, bytes + 6, bytes + length, 0, counts);
}

// Only .3ds files are checked: they are the only meshes the game ships.
bool util_IsLoadableMeshFile(const char* path) {
    size_t name_length = strlen(path);
    if (name_length < 4 || strcasecmp(path + name_length - 4, ".3ds") != 0) return true;
    io::IFileSystem* files = device ? device->getFileSystem() : nullptr;
    io::IReadFile* file = files ? files->createAndOpenFile(path) : nullptr;
    if (!file) return false;
    long size = file->getSize();
    std::vector<unsigned char> bytes(size > 0 ? size : 0);
    bool whole = size > 0 && file->read(bytes.data(), (u32)size) == (s32)size &&
                 util_IsWholeMeshFile(bytes.data(), bytes.size());
    file->drop();
    return whole;
}
