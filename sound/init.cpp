// Starting ALUT: its result is not examined, since a game without an audio device simply runs silent.
#include "sound/sound.h"

#include <AL/alut.h>

void sound_Init(int argc, char** argv) {
    int argument_count = argc;
    alutInit(&argument_count, argv);
}
