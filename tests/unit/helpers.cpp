// Test helpers: scratch folders, null devices and settings from text.
#include "helpers.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

#include "app/receiver.h"
#include "app/util.h"
#include "settings/settings.h"

using namespace irr;

ScratchDirectory::ScratchDirectory() {
    char buffer[4096];
    previous_ = getcwd(buffer, sizeof buffer) ? buffer : ".";
    char pattern[] = "/tmp/korvanix-test-XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp");
    path_ = pattern;
    std::string data = std::string(KORVANIX_GAME_DIR) + "/data";
    if (symlink(data.c_str(), (path_ + "/data").c_str()) != 0) throw std::runtime_error("symlink");
    if (chdir(path_.c_str()) != 0) throw std::runtime_error("chdir");
}

ScratchDirectory::~ScratchDirectory() {
    if (chdir(previous_.c_str()) != 0) return;
    std::string command = "rm -rf '" + path_ + "'";
    if (system(command.c_str()) != 0) return;
}

void ScratchDirectory::write(const std::string& name, const std::string& bytes) const {
    std::ofstream file(path_ + "/" + name, std::ios::binary);
    file << bytes;
}

std::string ScratchDirectory::read(const std::string& name) const {
    std::ifstream file(path_ + "/" + name, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

NullDevice::NullDevice(int width, int height) {
    SIrrlichtCreationParameters parameters;
    parameters.DriverType = video::EDT_NULL;
    parameters.WindowSize = core::dimension2d<u32>(width, height);
    parameters.LoggingLevel = ELL_ERROR;
    device = createDeviceEx(parameters);
    if (!device) throw std::runtime_error("no null device");
    driver = device->getVideoDriver();
    smgr = device->getSceneManager();
    guienv = device->getGUIEnvironment();
    timer = device->getTimer();
    window_width = width;
    window_height = height;
}

NullDevice::~NullDevice() {
    device->drop();
    device = nullptr;
    driver = nullptr;
    smgr = nullptr;
    guienv = nullptr;
    timer = nullptr;
}

void helpers_LoadSettings(const std::string& xml) {
    ScratchDirectory scratch;
    scratch.write("config.xml", xml);
    settings_Release();
    settings_Allocate();
    bool own_device = device == nullptr;
    NullDevice* null_device = own_device ? new NullDevice() : nullptr;
    settings_Load();
    delete null_device;
}

std::string helpers_ShippedConfig() {
    std::ifstream file(std::string(KORVANIX_GAME_DIR) + "/config.xml", std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

void helpers_PostPad(u32 buttons, const std::vector<double>& axes, u8 pad) {
    SEvent event{};
    event.EventType = EET_JOYSTICK_INPUT_EVENT;
    event.JoystickEvent.ButtonStates = buttons;
    event.JoystickEvent.Joystick = pad;
    for (size_t axis = 0; axis < axes.size(); axis++) event.JoystickEvent.Axis[axis] = (s16)(axes[axis] * 32767);
    MyEventReceiver().OnEvent(event);
}
