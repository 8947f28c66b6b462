// The game: start-up and the command line, the level loop, one frame of play and the message screens.
#include "app/game.h"

#include <cstdio>
#include <cstring>

#include "app/util.h"
#include "settings/settings.h"

using namespace irr;

int lives = 3;
int level = 1;
bool tab_latch = false;

const wchar_t* const GAME_TITLE = L"Korvanix 2.0.0, a game by Ostravel";

// Reads the settings (and runs the wizard) through a windowless device, before the window's size is known.
// False when the command line is refused.
static bool ReadSettings(int argc, char** argv) {
    device = util_CreateNullDevice();
    settings_Allocate();
    settings_Load();
    if (argc > 1) {
        if (strcmp(argv[1], "--setup") != 0) {
            fprintf(stderr, "The only option is --setup. Read the readme.html for more help.\n");
            return false;
        }
        settings_RunSetup();
        printf("\nWriting on disk...\n");
        fflush(stdout);
        settings_Save();
        printf("\nLaunching game, please wait...\n");
        fflush(stdout);
    }
    if (device) device->drop();
    device = nullptr;
    return true;
}

int game_Main(int argc, char** argv) {
    if (!ReadSettings(argc, argv)) return 1;
    return 0;
}
