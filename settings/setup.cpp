// The console setup wizard: seven one-letter questions, in English or French, stored in the settings.
#include "settings/settings.h"

#include <cstdio>
#include <cstring>
#include <iostream>
#include <langinfo.h>
#include <locale.h>
#include <string>
#include <strings.h>
#include <unistd.h>

// One row of a question: the answer letter and the values stored for it, in order.
struct Choice {
    char letter;
    double values[3];
};

// One answer variable serves every question: when input ends, the last answer stays and is used again.
static char answer = 0;

// The texts are Latin-1, as the game's French texts have always been written. A terminal whose locale speaks UTF-8
// would show their accents as garbage: for it alone they are converted on the way out; a pipe, a file or any other
// locale gets the bytes as they are.
static bool is_utf8_terminal = false;

// The codeset that the locale's name spells ("en_US.UTF-8", "fr_FR.utf8@euro"), from the first of LC_ALL, LC_CTYPE
// and LANG that is set, as the C library would pick it.
static bool NameSaysUtf8() {
    const char* name = nullptr;
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        name = getenv(variable);
        if (name && *name) break;
    }
    const char* dot = name ? strrchr(name, '.') : nullptr;
    if (!dot) return false;
    std::string codeset(dot + 1, strcspn(dot + 1, "@"));
    return strcasecmp(codeset.c_str(), "UTF-8") == 0 || strcasecmp(codeset.c_str(), "utf8") == 0;
}

static bool IsUtf8Terminal() {
    if (!isatty(STDOUT_FILENO)) return false;
    // The environment's locale is asked without making it the process's own. A locale that is named but not
    // installed (common in containers) gives none: then its name tells what the terminal speaks.
    locale_t environment = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0));
    if (!environment) return NameSaysUtf8();
    bool utf8 = strcmp(nl_langinfo_l(CODESET, environment), "UTF-8") == 0;
    freelocale(environment);
    return utf8;
}

static void Say(const char* text) {
    if (!is_utf8_terminal) {
        fputs(text, stdout);
        return;
    }
    for (; *text; text++) {
        unsigned char c = static_cast<unsigned char>(*text);
        if (c < 0x80) {
            putchar(c);
            continue;
        }
        putchar(0xC0 | c >> 6);
        putchar(0x80 | (c & 0x3F));
    }
}

static void ReadAnswer() {
    std::cin >> answer;
}

// Stores the values of the chosen row; false when the player asked to quit.
static bool Store(const char* const* keys, int key_count, const Choice* choices, int choice_count) {
    if (answer == 'q') return false;
    for (int i = 0; i < choice_count; i++) {
        if (choices[i].letter != answer) continue;
        for (int k = 0; k < key_count; k++) settings_Set(keys[k], choices[i].values[k]);
    }
    return true;
}

static bool AskLanguage() {
    Say("\n#################\n");
    Say("Application setup\n");
    Say("#################\n");
    Say("\nPlease select your language :\n\n");
    Say(" (a) English\n (b) Francais\n (q) quit setup (and save)\n (otherKey) skip this choice\n\n");
    ReadAnswer();
    static const char* const keys[] = {"is_french"};
    static const Choice choices[] = {{'a', {0}}, {'b', {1}}};
    return Store(keys, 1, choices, 2);
}

static bool AskDifficulty(bool french) {
    if (french) {
        Say("\nVeuillez choisir le niveau de difficult\xE9.\n\n");
        Say(" (a) facile\n (b) moyen\n (c) avanc\xE9\n (d) difficile\n (e) transcendant\n\n");
    } else {
        Say("\nPlease select the difficulty level :\n\n");
        Say(" (a) easy\n (b) medium\n (c) advanced\n (d) difficult\n (e) transcendant\n");
    }
    ReadAnswer();
    static const char* const keys[] = {"difficulty_level", "time_counter_speed"};
    static const Choice choices[] = {
        {'a', {1, 800}}, {'b', {2, 350}}, {'c', {3.5, 180}}, {'d', {5, 100}}, {'e', {8, 60}}};
    return Store(keys, 2, choices, 5);
}

static bool AskScreenMode(bool french) {
    if (french)
        Say("\nVeuillez choisir la resolution d'ecran que vous voulez utiliser :\n(i) est conseille.\n"
            "Si le jeu rame, reduisez la resolution et/ou selectionnez un mode fenetre (windowed).\n\n");
    else
        Say("\nPlease select the screen mode you want to use :\n(i) is advised.\n"
            "If the game is too slow, reduce screen mode or select a windowed mode.\n\n");
    Say(" (a) 400x300 windowed\n (b) 640x480 windowed\n (c) 800x600 windowed\n (d) 1024x768 windowed\n"
        " (e) 1152x864 windowed\n (f) 1280x1024 windowed\n (g) 640x480 fullscreen\n (h) 800x600 fullscreen\n"
        " (i) 1024x768 fullscreen\n (j) 1152x864 fullscreen\n (k) 1280x960 fullscreen\n"
        " (l) 1280x1024 fullscreen\n\n");
    ReadAnswer();
    static const char* const keys[] = {"window_size_x", "window_size_y", "is_fullscreen"};
    static const Choice choices[] = {
        {'a', {400, 300, 0}},   {'b', {640, 480, 0}},   {'c', {800, 600, 0}},   {'d', {1024, 768, 0}},
        {'e', {1152, 864, 0}},  {'f', {1280, 1024, 0}}, {'g', {640, 480, 1}},   {'h', {800, 600, 1}},
        {'i', {1024, 768, 1}},  {'j', {1152, 864, 1}},  {'k', {1280, 960, 1}},  {'l', {1280, 1024, 1}}};
    return Store(keys, 3, choices, 12);
}

// No typed answer holds this many NUL characters: an endless stream of them (a device of zeros) is taken as the end of
// the input instead of being discarded for ever.
static const int MAX_DISCARDED_NULS = 4096;

// Throws away what follows the screen-mode answer (normally its line end) before the driver answer.
static void DiscardBeforeDriver() {
    for (int discarded = 0; discarded < MAX_DISCARDED_NULS; discarded++) {
        answer = static_cast<char>(std::cin.get());
        if (answer != 0) return;
    }
    answer = static_cast<char>(std::char_traits<char>::eof());
}

static bool AskDriver(bool french) {
    if (french)
        Say("\nVeuillez choisir le pilote voulu :\n(a) est conseille.\n\n");
    else
        Say("\nPlease select the driver you want :\n(a) is advised.\n\n");
    Say(" (a) Direct3D 9.0c (Windows) | OpenGL 1.2 (Linux)\n (b) OpenGL 1.2 \n"
        " (c) Software Renderer (not advised/deconseille)\n\n");
    DiscardBeforeDriver();
    ReadAnswer();
    static const char* const keys[] = {"driver_type"};
    static const Choice choices[] = {{'a', {6}}, {'b', {2}}, {'c', {1}}};
    return Store(keys, 1, choices, 3);
}

static bool AskMouseSpeed(bool french) {
    if (french)
        Say("\nVeuillez choisir la vitesse de rotation de la souris :\n(b) est conseille.\n\n");
    else
        Say("\nPlease select the mouse rotation speed you want :\n(b) is advised.\n\n");
    Say(" (a) 2\n (b) 4\n (c) 8\n\n");
    ReadAnswer();
    static const char* const keys[] = {"mouse_rotation_speed"};
    static const Choice choices[] = {{'a', {2}}, {'b', {4}}, {'c', {8}}};
    return Store(keys, 1, choices, 3);
}

static bool AskDisplayBits(bool french) {
    if (french)
        Say("\nVeuillez choisir la qualite de couleur :\n"
            "(Cela ne changera quelque chose que si le jeu est en plein ecran)\n(c) est conseille.\n\n");
    else
        Say("\nPlease select the display bits you want :\n"
            "(It will change something only if you selected a fullscreen mode)\n(c) is advised.\n\n");
    Say(" (a) 8\n (b) 16\n (c) 32\n\n");
    ReadAnswer();
    static const char* const keys[] = {"display_bits"};
    static const Choice choices[] = {{'a', {8}}, {'b', {16}}, {'c', {32}}};
    return Store(keys, 1, choices, 3);
}

static void AskMovingCubes(bool french) {
    if (french)
        Say("\nVeuillez choisir si vous voulez que les cubes se d\xE9placent. Choisissez (b) si vous rencontrez "
            "des probl\xE8mes de collision ou des erreurs de segmentation.\n\n");
    else
        Say("\nPlease select if you want to see the cubes move. Select (b) if you experiment problems like "
            "collision error or segmentation faults.\n\n");
    Say(" (a) on\n (b) off\n\n");
    ReadAnswer();
    static const char* const keys[] = {"moving_cubes"};
    static const Choice choices[] = {{'a', {1}}, {'b', {0}}};
    Store(keys, 1, choices, 2);
}

void settings_RunSetup() {
    answer = 0;
    is_utf8_terminal = IsUtf8Terminal();
    if (!AskLanguage()) return;
    bool french = settings_GetFlag("is_french");
    if (!AskDifficulty(french)) return;
    if (!AskScreenMode(french)) return;
    if (!AskDriver(french)) return;
    if (!AskMouseSpeed(french)) return;
    if (!AskDisplayBits(french)) return;
    AskMovingCubes(french);
    fflush(stdout);
}
