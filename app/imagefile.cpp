// The check that a BMP or PNG file passes before the engine decodes it, and the game's one way of loading an
// image, a texture or the font: the engine's image readers size their buffers from the header and trust it.
#include <cstdint>
#include <cstring>
#include <vector>

#include "app/util.h"

using namespace irr;

namespace {

// Wider than any image the game draws; four times this squared still fits the engine's 32-bit sizes.
const long MAX_IMAGE_SIDE = 4096;

uint32_t ReadLittle32(const unsigned char* p) {
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}
unsigned ReadLittle16(const unsigned char* p) { return p[0] | p[1] << 8; }
uint32_t ReadBig32(const unsigned char* p) {
    return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | (uint32_t)p[3];
}

bool IsSideInRange(long long side) { return side >= 1 && side <= MAX_IMAGE_SIDE; }

// The bytes of one row of pixels as the engine steps over them: padded to a multiple of four.
long long RowBytes(long long width, unsigned bits) { return (width * bits + 31) / 32 * 4; }

// The depths the engine decodes as they are stored. It steps from one 16-bit row to the next by twice its
// padding, which only rows of an even width have none of.
bool IsDecodedDepth(unsigned bits, long long width) {
    switch (bits) {
    case 1: case 4: case 8: case 24: case 32: return true;
    case 16: return width % 2 == 0;
    default: return false;
    }
}

// The engine looks every colour index of a 4- or 8-bit bitmap up in its palette without a bound.
bool AreIndicesInPalette(const unsigned char* pixels, long long width, long long height, unsigned bits,
                         long long colours) {
    if (colours >= 1LL << bits) return true;
    long long row = RowBytes(width, bits);
    for (long long y = 0; y < height; y++) {
        for (long long x = 0; x < width; x++) {
            unsigned byte = pixels[y * row + x * bits / 8];
            unsigned index = bits == 8 ? byte : x % 2 == 0 ? byte >> 4 : byte & 0x0F;
            if (index >= colours) return false;
        }
    }
    return true;
}

// The engine draws a 1-bit bitmap in black and white, whatever its two colours are.
bool IsBlackAndWhite(const unsigned char* palette) {
    static const unsigned char black[3] = {0, 0, 0}, white[3] = {0xFF, 0xFF, 0xFF};
    return memcmp(palette, black, 3) == 0 && memcmp(palette + 4, white, 3) == 0;
}

// An uncompressed bottom-up bitmap, read as the engine reads it. It reads a header of 40 bytes whatever the
// header says, takes all the bytes between that and the pixels for the palette, and reads as many rows as the
// header says whether the file holds them or not. The only compression it knows is RLE, whose decoders write out
// of bounds; a negative height (rows top-down) becomes four billion rows; a negative offset to the pixels, a
// negative palette.
bool IsWholeBitmap(const unsigned char* bytes, size_t size) {
    const size_t file_header = 14, info_header = 40;
    if (size < file_header + info_header || bytes[0] != 'B' || bytes[1] != 'M') return false;
    uint32_t declared_size = ReadLittle32(bytes + 2);
    uint32_t pixel_offset = ReadLittle32(bytes + 10);
    uint32_t header_size = ReadLittle32(bytes + 14);
    long long width = (int32_t)ReadLittle32(bytes + 18);
    long long height = (int32_t)ReadLittle32(bytes + 22);
    unsigned planes = ReadLittle16(bytes + 26);
    unsigned bits = ReadLittle16(bytes + 28);
    uint32_t compression = ReadLittle32(bytes + 30);
    uint32_t pixel_size = ReadLittle32(bytes + 34);
    if (declared_size > size || header_size < info_header || header_size > size) return false;
    if (!IsSideInRange(width) || !IsSideInRange(height) || planes != 1) return false;
    if (!IsDecodedDepth(bits, width) || compression != 0) return false;
    if (pixel_offset < file_header + header_size || pixel_offset > size) return false;
    long long available = (long long)size - pixel_offset;
    // A data size of 0 means "the rest of the file" to the engine.
    long long given = pixel_size == 0 ? available : (long long)pixel_size;
    if (given > available || given < RowBytes(width, bits) * height) return false;
    if (bits > 8) return true;
    // A longer header would be read as colours.
    if (header_size != info_header) return false;
    const unsigned char* palette = bytes + file_header + info_header;
    long long colours = (pixel_offset - file_header - info_header) / 4;
    if (bits == 1) return colours >= 2 && IsBlackAndWhite(palette);
    return AreIndicesInPalette(bytes + pixel_offset, width, height, bits, colours);
}

bool IsValidPngDepth(unsigned colour_type, unsigned depth) {
    switch (colour_type) {
    case 0: return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;  // grey
    case 3: return depth == 1 || depth == 2 || depth == 4 || depth == 8;                 // palette
    case 2: case 4: case 6: return depth == 8 || depth == 16;                           // colour, grey or colour + alpha
    default: return false;
    }
}

// The engine sizes its image from the header's width and height in 32 bits; libpng checks the rest (every
// chunk's checksum, the compressed data) and reports a damaged one as an error, which the engine handles.
// The chunk list must reach its end inside the file, with image data on the way.
bool IsWholePng(const unsigned char* bytes, size_t size) {
    static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    const size_t header_chunk = 8 + 13 + 4;
    if (size < sizeof signature + header_chunk || memcmp(bytes, signature, sizeof signature) != 0) return false;
    const unsigned char* header = bytes + sizeof signature;
    if (ReadBig32(header) != 13 || memcmp(header + 4, "IHDR", 4) != 0) return false;
    const unsigned char* fields = header + 8;
    if (!IsSideInRange(ReadBig32(fields)) || !IsSideInRange(ReadBig32(fields + 4))) return false;
    if (!IsValidPngDepth(fields[9], fields[8]) || fields[10] != 0 || fields[11] != 0 || fields[12] > 1) return false;
    bool has_data = false;
    for (size_t at = sizeof signature + header_chunk; size - at >= 12;) {
        uint64_t length = ReadBig32(bytes + at);
        if (length > size - at - 12) return false;
        const unsigned char* type = bytes + at + 4;
        if (memcmp(type, "IDAT", 4) == 0) has_data = true;
        if (memcmp(type, "IEND", 4) == 0) return has_data;
        at += 12 + length;
    }
    return false;
}

// The engine opens a font by its name, first as XML and then as an image. For that while its file system finds
// the checked bytes under the name before it looks on the disk; it owns the archive and drops it on removal.
class CheckedFileArchive : public io::IFileArchive {
public:
    // Takes the list, which names the one file.
    CheckedFileArchive(io::IFileSystem* files, io::IFileList* list, const char* path,
                       std::vector<unsigned char>& bytes)
        : files_(files), list_(list), path_(path), bytes_(bytes) {
        list_->addItem(path_, 0, static_cast<u32>(bytes_.size()), false);
    }
    ~CheckedFileArchive() override { list_->drop(); }
    io::IReadFile* createAndOpenFile(const io::path& filename) override {
        return filename == path_ ? createAndOpenFile(0u) : nullptr;
    }
    io::IReadFile* createAndOpenFile(u32 index) override {
        if (index != 0) return nullptr;
        return files_->createMemoryReadFile(bytes_.data(), static_cast<s32>(bytes_.size()), path_, false);
    }
    const io::IFileList* getFileList() const override { return list_; }

private:
    io::IFileSystem* files_;
    io::IFileList* list_;
    io::path path_;
    std::vector<unsigned char>& bytes_;
};

}  // namespace

bool util_IsWholeImage(const unsigned char* bytes, size_t size) {
    return IsWholeBitmap(bytes, size) || IsWholePng(bytes, size);
}

// The image is read once and checked; the engine decodes those very bytes, from memory, so a file changed in
// between is never decoded.
static bool ReadCheckedImage(const char* path, std::vector<unsigned char>& bytes) {
    return util_ReadDataFile(path, bytes) && util_IsWholeImage(bytes.data(), bytes.size());
}

video::IImage* util_LoadImage(const char* path) {
    std::vector<unsigned char> bytes;
    io::IFileSystem* files = device ? device->getFileSystem() : nullptr;
    if (!driver || !files || !ReadCheckedImage(path, bytes)) return nullptr;
    io::IReadFile* file = files->createMemoryReadFile(bytes.data(), static_cast<s32>(bytes.size()), path, false);
    if (!file) return nullptr;
    video::IImage* image = driver->createImageFromFile(file);
    file->drop();
    return image;
}

// The rounded mean of each of the four bytes of two texels.
static u32 MeanTexel(u32 a, u32 b) {
    return (a | b) - (((a ^ b) >> 1) & 0x7f7f7f7f);
}

static u32 Halve(u32 side) {
    return side > 1 ? side / 2 : 1;
}

// The levels below the texels, each down to one texel, every texel the mean of the means of its two pairs of
// texels above: the very bytes the renderer would draw into them.
static std::vector<u32> MakeSmallerLevels(const std::vector<u32>& texels, u32 width, u32 height) {
    size_t total = 0;
    for (u32 w = width, h = height; w > 1 || h > 1;) {
        w = Halve(w);
        h = Halve(h);
        total += (size_t)w * h;
    }
    std::vector<u32> levels(total);
    const u32* above = texels.data();
    u32* level = levels.data();
    for (; width > 1 || height > 1; width = Halve(width), height = Halve(height)) {
        const u32 next_width = Halve(width), next_height = Halve(height), right = width > 1 ? 1 : 0;
        for (u32 y = 0; y < next_height; y++) {
            const u32* top = above + 2 * y * width;
            const u32* bottom = height > 1 ? top + width : top;
            u32* row = level + y * next_width;
            for (u32 x = 0; x < next_width; x++)
                row[x] = MeanTexel(MeanTexel(top[2 * x], top[2 * x + right]),
                                   MeanTexel(bottom[2 * x], bottom[2 * x + right]));
        }
        above = level;
        level += (size_t)next_width * next_height;
    }
    return levels;
}

static bool IsPowerOfTwo(u32 n) {
    return n && !(n & (n - 1));
}

// The image's texels as the texture will hold them, four bytes each, when the game can make its smaller levels
// as the renderer would: an image of three or four bytes a texel whose sides halve evenly down to one texel.
// Empty otherwise: the renderer makes them.
static std::vector<u32> ToTextureTexels(video::IImage* image) {
    core::dimension2du size = image->getDimension(), largest = driver->getMaxTextureSize();
    video::ECOLOR_FORMAT format = image->getColorFormat();
    std::vector<u32> texels;
    if ((format != video::ECF_R8G8B8 && format != video::ECF_A8R8G8B8) || !IsPowerOfTwo(size.Width) ||
        !IsPowerOfTwo(size.Height) || size.Width > largest.Width || size.Height > largest.Height ||
        !driver->getTextureCreationFlag(video::ETCF_CREATE_MIP_MAPS) ||
        !driver->getTextureCreationFlag(video::ETCF_ALWAYS_32_BIT))
        return texels;
    texels.resize((size_t)size.Width * size.Height);
    const u8* bytes = static_cast<const u8*>(image->lock());
    u32* texel = texels.data();
    const size_t count = texels.size();
    if (format == video::ECF_A8R8G8B8) memcpy(texel, bytes, count * 4);
    else
        for (size_t i = 0; i < count; i++)
            texel[i] = 0xff000000u | (u32)bytes[3 * i] << 16 | (u32)bytes[3 * i + 1] << 8 | bytes[3 * i + 2];
    image->unlock();
    return texels;
}

// The renderer would make a texture's smaller levels by drawing each into the next, and then hold the texture
// as a drawing target until it reuses those drawings: every frame that draws with it would stop there and wait
// for all drawn so far to be finished. Made here, the levels are the same bytes and the frames flow.
video::ITexture* util_AddTexture(const char* path, video::IImage* image) {
    if (!driver || !image) return nullptr;
    std::vector<u32> texels = ToTextureTexels(image);
    if (texels.empty()) return driver->addTexture(path, image);
    core::dimension2du size = image->getDimension();
    std::vector<u32> levels = MakeSmallerLevels(texels, size.Width, size.Height);
    return driver->addTexture(path, image, levels.empty() ? nullptr : levels.data());
}

// A texture in the cache was checked when it was made: the file is not read again.
video::ITexture* util_LoadTexture(const char* path) {
    video::ITexture* texture = driver ? driver->findTexture(path) : nullptr;
    if (texture) return texture;
    video::IImage* image = util_LoadImage(path);
    texture = util_AddTexture(path, image);
    if (image) image->drop();
    return texture;
}

video::ITexture* util_RequireTexture(const char* path) {
    util_RequireFile(path);
    return util_LoadTexture(path);
}

// The engine's XML reader stops at the first zero byte. A PNG's first zero comes before any '<' can; a bitmap's
// size field, which the engine's bitmap reader never reads, is given as zero, so that no '<' in it starts markup
// that the XML reader would follow past the end of the bytes.
gui::IGUIFont* util_LoadFont(const char* path) {
    std::vector<unsigned char> bytes;
    io::IFileSystem* files = device ? device->getFileSystem() : nullptr;
    if (!guienv || !files || !ReadCheckedImage(path, bytes)) return nullptr;
    bool is_bitmap = bytes[0] == 'B' && bytes[1] == 'M';
    if (is_bitmap) memset(&bytes[2], 0, 4);
    io::IFileList* list = files->createEmptyFileList("", false, false);
    if (!list) return nullptr;
    CheckedFileArchive* archive = new CheckedFileArchive(files, list, path, bytes);
    files->addFileArchive(archive);
    gui::IGUIFont* font = guienv->getFont(path);
    files->removeFileArchive(archive);
    return font;
}
