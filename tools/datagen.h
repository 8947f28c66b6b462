// The data generator's shared declarations: each file family has its own writer.
#pragma once

#include <string>
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
