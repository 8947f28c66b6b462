// The check that a 3DS file passes before the engine's loader sees it: the loader trusts every length,
// count and index in the file, and spins or reads out of bounds on a file cut short or damaged.
#include <strings.h>

#include <cstring>
#include <vector>

#include "app/util.h"

using namespace irr;

namespace {

// The loader reads a chunk in one of three ways, whatever chunk holds it: the main chunk and the editor
// chunk (whose children it reads as if they were its siblings), a material, or a mesh object with its
// triangle mesh and face list.
enum ChunkContext { TOP_CHUNKS, MATERIAL_CHUNKS, OBJECT_CHUNKS };

// A chunk id that the loader knows in no context, so it skips the chunk by its length.
const unsigned SKIPPED_CHUNK = 0xFFFF;

// What the chunks read so far promise to the ones after them, within one mesh object.
struct MeshCounts {
    long vertices = -1;
    long faces = -1;
    bool has_mapping = false;
    bool has_smoothing = false;
};

unsigned ReadU16(const unsigned char* p) { return p[0] | p[1] << 8; }
unsigned long ReadU32(const unsigned char* p) {
    return (unsigned long)p[0] | (unsigned long)p[1] << 8 | (unsigned long)p[2] << 16 | (unsigned long)p[3] << 24;
}

// A zero-terminated name at the start of the body; returns what follows it, or null.
unsigned char* SkipName(unsigned char* body, const unsigned char* end) {
    void* zero = memchr(body, 0, end - body);
    return zero ? static_cast<unsigned char*>(zero) + 1 : nullptr;
}

bool AreWholeChunks(ChunkContext context, unsigned char* begin, unsigned char* end, int depth,
                    MeshCounts& counts);

// The vertices, their mapping and the faces with their material groups and smoothing groups, all agreeing
// in count; the loader allocates by the counts it reads and indexes by the ones read before.
bool IsWholeVertexList(const unsigned char* body, const unsigned char* end, MeshCounts& counts) {
    if (end - body < 2 || counts.vertices >= 0) return false;
    counts.vertices = ReadU16(body);
    return end - body == 2 + 12 * counts.vertices;
}

bool IsWholeMapping(const unsigned char* body, const unsigned char* end, MeshCounts& counts) {
    if (counts.has_mapping) return false;
    counts.has_mapping = true;
    return end - body >= 2 && (long)ReadU16(body) == counts.vertices && end - body == 2 + 8 * counts.vertices;
}

bool IsWholeFaceList(unsigned char* body, unsigned char* end, int depth, MeshCounts& counts) {
    if (end - body < 2 || counts.vertices < 0 || counts.faces >= 0) return false;
    long faces = ReadU16(body);
    if (end - body < 2 + 8 * faces) return false;
    for (long face = 0; face < faces; face++)
        for (int corner = 0; corner < 3; corner++)
            if ((long)ReadU16(body + 2 + 8 * face + 2 * corner) >= counts.vertices) return false;
    counts.faces = faces;
    return AreWholeChunks(OBJECT_CHUNKS, body + 2 + 8 * faces, end, depth + 1, counts);
}

bool IsWholeMaterialGroup(unsigned char* body, unsigned char* end, const MeshCounts& counts) {
    const unsigned char* list = SkipName(body, end);
    if (!list || end - list < 2 || counts.faces < 0) return false;
    long used = ReadU16(list);
    if (end - list != 2 + 2 * used) return false;
    for (long i = 0; i < used; i++)
        if ((long)ReadU16(list + 2 + 2 * i) >= counts.faces) return false;
    return true;
}

bool IsWholeSmoothing(const unsigned char* body, const unsigned char* end, MeshCounts& counts) {
    if (counts.faces < 0 || counts.has_smoothing) return false;
    counts.has_smoothing = true;
    return end - body == 4 * counts.faces;
}

bool IsWholePointFlags(const unsigned char* body, const unsigned char* end) {
    return end - body >= 2 && end - body == 2 + 2 * (long)ReadU16(body);
}

bool IsSafeObjectChunk(unsigned id, unsigned char* body, unsigned char* end, int depth, MeshCounts& counts) {
    switch (id) {
    case 0x4100: return AreWholeChunks(OBJECT_CHUNKS, body, end, depth + 1, counts);
    case 0x4110: return IsWholeVertexList(body, end, counts);
    case 0x4111: return IsWholePointFlags(body, end);
    case 0x4120: return IsWholeFaceList(body, end, depth, counts);
    case 0x4130: return IsWholeMaterialGroup(body, end, counts);
    case 0x4140: return IsWholeMapping(body, end, counts);
    case 0x4150: return IsWholeSmoothing(body, end, counts);
    case 0x4160: return end - body == 48;  // the local axes: read as twelve floats whatever the length says
    case 0x4165: return end - body == 1;
    default: return true;
    }
}

// A colour or percentage chunk holds one value chunk, and the loader reads that one only: its length, not the
// holder's, says where the next chunk starts. A value it knows it reads whole, whatever its length says.
bool IsSingleValue(const unsigned char* body, const unsigned char* end) {
    if (end - body < 6 || ReadU32(body + 2) != (unsigned long)(end - body)) return false;
    switch (ReadU16(body)) {
    case 0x0010: case 0x0013: return end - body == 6 + 12;  // colour in floats
    case 0x0011: case 0x0012: return end - body == 6 + 3;   // colour in bytes
    case 0x0030: return end - body == 6 + 2;                // percentage as a short
    case 0x0031: return end - body == 6 + 4;                // percentage as a float
    default: return true;
    }
}

bool IsSafeMaterialChunk(unsigned char* chunk, unsigned id, unsigned char* body, unsigned char* end) {
    switch (id) {
    case 0xA000: return end > body && memchr(body, 0, end - body) != nullptr;
    case 0xA010: case 0xA020: case 0xA030: case 0xA040: case 0xA050: return IsSingleValue(body, end);
    case 0xA081: case 0xA085: return end == body;
    case 0xA100: return end - body == 2;
    // Texture maps name image files that the engine would decode unchecked; the game textures every mesh
    // itself, so the loader skips them.
    case 0xA200: case 0xA204: case 0xA210: case 0xA220: case 0xA230:
    case 0xA300: case 0xA351: case 0xA354: case 0xA356: case 0xA358: case 0xA35A:
        chunk[0] = chunk[1] = SKIPPED_CHUNK & 0xFF;
        return true;
    default: return true;
    }
}

bool IsSafeTopChunk(unsigned char* chunk, unsigned id, unsigned char* body, unsigned char* end, int depth) {
    switch (id) {
    case 0x0002: return end - body >= 2;
    case 0x0001: case 0x3D3E: return end - body == 4;
    case 0x3D3D: {
        MeshCounts unused;
        return AreWholeChunks(TOP_CHUNKS, body, end, depth + 1, unused);
    }
    case 0xAFFF: {
        MeshCounts unused;
        return AreWholeChunks(MATERIAL_CHUNKS, body, end, depth + 1, unused);
    }
    case 0x4000: {
        unsigned char* chunks = SkipName(body, end);
        MeshCounts object_counts;
        return chunks && AreWholeChunks(OBJECT_CHUNKS, chunks, end, depth + 1, object_counts);
    }
    // The loader miscounts the keyframer's header by two bytes and then reads past the chunk; nothing of the
    // keyframer changes the mesh it builds, so the loader skips it.
    case 0xB000:
        chunk[0] = chunk[1] = SKIPPED_CHUNK & 0xFF;
        return true;
    default: return true;
    }
}

// The chunks between begin and end must tile it exactly, each at least its own header long and readable
// the way the loader reads it in this context; chunks it does not know it skips by their length.
bool AreWholeChunks(ChunkContext context, unsigned char* begin, unsigned char* end, int depth,
                    MeshCounts& counts) {
    if (depth > 8) return false;
    while (begin < end) {
        if (end - begin < 6) return false;
        unsigned id = ReadU16(begin);
        unsigned long length = ReadU32(begin + 2);
        if (length < 6 || length > (unsigned long)(end - begin)) return false;
        unsigned char* body = begin + 6;
        unsigned char* chunk_end = begin + length;
        bool safe = context == TOP_CHUNKS        ? IsSafeTopChunk(begin, id, body, chunk_end, depth)
                    : context == MATERIAL_CHUNKS ? IsSafeMaterialChunk(begin, id, body, chunk_end)
                                                 : IsSafeObjectChunk(id, body, chunk_end, depth, counts);
        if (!safe) return false;
        begin = chunk_end;
    }
    return true;
}

}  // namespace

bool util_PrepareMeshBytes(unsigned char* bytes, size_t size) {
    if (size < 6 || ReadU16(bytes) != 0x4D4D) return false;
    unsigned long length = ReadU32(bytes + 2);
    MeshCounts counts;
    return length >= 6 && length <= size && AreWholeChunks(TOP_CHUNKS, bytes + 6, bytes + length, 0, counts);
}

// Only .3ds files are checked: they are the only meshes the game ships.
bool util_PrepareMeshFile(const char* path, std::vector<unsigned char>& bytes) {
    size_t name_length = strlen(path);
    if (name_length < 4 || strcasecmp(path + name_length - 4, ".3ds") != 0) return true;
    return util_PrepareMeshBytes(bytes.data(), bytes.size());
}
