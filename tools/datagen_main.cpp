// korvanix_datagen: makes every file of the game's data/ folder from our own code.
#include "datagen.h"

#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>

using namespace irr;

void datagen_Fail(const std::string& message) {
    std::fprintf(stderr, "korvanix_datagen: %s\n", message.c_str());
    std::exit(1);
}

namespace {

void makeFolder(const std::string& path) {
    if (mkdir(path.c_str(), 0755) != 0) {
        struct stat info;
        if (stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) datagen_Fail("cannot create " + path);
    }
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
    if (argc != 4) {
        std::fprintf(stderr, "usage: korvanix_datagen DATA_FOLDER PREVIEW_PNG FONT_TTF\n");
        return 1;
    }
    const std::string folder = argv[1];
    makeFolder(folder);
    for (int level = 1; level <= 11; ++level) makeFolder(folder + "/" + std::to_string(level));
    mesh_WriteAll(folder);
    sound_WriteAll(folder);
    IrrlichtDevice* null_device = createNullDevice();
    video::IVideoDriver* video = null_device->getVideoDriver();
    font_Write(video, folder, argv[3]);
    image_WriteAll(video, folder, argv[2]);
    null_device->drop();
    return 0;
}
