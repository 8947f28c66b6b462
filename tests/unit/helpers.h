// Test helpers: a scratch working folder and a null-driver device filling the engine globals.
#pragma once

#include <string>
#include <vector>
#include <irrlicht.h>

// Moves into a fresh folder for the life of the object; data/ links to the built game's data.
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    const std::string& path() const { return path_; }
    void write(const std::string& name, const std::string& bytes) const;  // a file in the folder
    std::string read(const std::string& name) const;                     // a file's bytes, "" when missing
private:
    std::string path_;
    std::string previous_;
};

// A null-driver device in device, driver, smgr, guienv and timer, with the given window size.
class NullDevice {
public:
    explicit NullDevice(int width = 800, int height = 600);
    ~NullDevice();
};

// Loads settings from the XML text (through a null device) into a fresh store.
void helpers_LoadSettings(const std::string& xml);

// The shipped config.xml as text.
std::string helpers_ShippedConfig();

// Hands the receiver a pad's whole state as the engine sends it at each run: buttons held, axes from 0 on (-1 to 1).
void helpers_PostPad(irr::u32 buttons, const std::vector<double>& axes = {}, irr::u8 pad = 0);
