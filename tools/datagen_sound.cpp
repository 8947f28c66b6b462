// Not yet generated: this family of files comes in a later commit.
#include "datagen.h"
void sound_WriteAll(const std::string&) {}
