// Korvanix's entry point.
#include "app/game.h"

int main(int argc, char** argv) {
    return game_Main(argc, argv);
}
