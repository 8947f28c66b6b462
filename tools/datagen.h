// The data generator's shared declarations: each file family has its own writer.
#pragma once

#include <string>
#include <vector>
#include <irrlicht.h>

// Writes side.3ds, top.3ds, bottom.3ds, cube.3ds and blob.3ds into the folder.
void mesh_WriteAll(const std::string& folder);

// Writes every world texture, skybox, the objective, the text strip and the contact sheet.
void image_WriteAll(irr::video::IVideoDriver* video, const std::string& folder, const std::string& preview_file);

// Writes fontcourier.bmp in the engine's bitmap-font layout.
void font_Write(irr::video::IVideoDriver* video, const std::string& folder, const std::string& ttf_file);

// Writes jump.wav, walk.wav and alarm.wav.
void sound_WriteAll(const std::string& folder);

// Stops the generator with a message: a build that cannot make its data must fail loudly.
[[noreturn]] void datagen_Fail(const std::string& message);

// A picture in floating point, 0..1 per channel, which the engine's image writer saves.
struct Colour {
    float r, g, b, a;
};
struct Picture {
    int width = 0, height = 0;
    std::vector<Colour> pixels;
    Picture(int w, int h, Colour fill) : width(w), height(h), pixels(size_t(w) * h, fill) {}
    Colour& at(int x, int y) { return pixels[size_t(y) * width + x]; }
    const Colour& at(int x, int y) const { return pixels[size_t(y) * width + x]; }
};

// Saves a picture through the engine's writer, which picks BMP or PNG from the file name.
void picture_Save(irr::video::IVideoDriver* video, const Picture& picture, const std::string& file_name);

// Writes a line of text with its upper-left corner at (x, y), for the contact sheet's labels.
void font_DrawLabel(Picture& picture, int x, int y, const std::string& text, Colour colour);
