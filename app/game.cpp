// The game: start-up and the command line, the level loop, one frame of play and the message screens.
#include "app/game.h"

#include <cstdio>
#include <cstring>

#include "app/receiver.h"
#include "app/util.h"
#include "level/level.h"
#include "player/player.h"
#include "settings/settings.h"
#include "sound/sound.h"

using namespace irr;

int lives = 3;
int level = 1;
bool tab_latch = false;

const wchar_t* const GAME_TITLE = L"Korvanix 2.0.0, a game by Ostravel";

core::stringw game_GetMessage(int screen, bool is_french) {
    switch (screen) {
    case MESSAGE_TITLE:
        return core::stringw(GAME_TITLE) +
               (is_french ? L". Appuyez sur Entree pour jouer." : L". Press Return Key to play.");
    case MESSAGE_LOST_ALL:
        return is_french ? L"Vous avez perdu toutes vos vies ! Appuyez sur Entree pour Reessayer."
                         : L"You lost all your lifes ! Press Return Key to retry.";
    case MESSAGE_PAUSE:
        return is_french ? L"Pour quitter le jeu, appuyez sur ECHAP. Pour continuer, pressez Entree."
                         : L"To quit the game, press ESCAPE. To continue, press Return.";
    default:
        return is_french ? L"Vous avez fini le jeu ! Appuyez sur Entree pour quitter."
                         : L"You finished the game ! Press Return Key to exit.";
    }
}

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

static void LoadSounds(int argc, char** argv) {
    sound_Init(argc, argv);
    sounds.push_back(sound_Load("data/jump.wav"));
    sounds.push_back(sound_Load("data/walk.wav"));
    sounds.push_back(sound_Load("data/alarm.wav"));
}

// A window manager that resizes the window all the same moves the bottom edge: the strip and its text keep their
// distance to it, as the engine's GUI root follows the window's size.
static void KeepToTheBottom(gui::IGUIElement* element) {
    element->setAlignment(gui::EGUIA_UPPERLEFT, gui::EGUIA_UPPERLEFT, gui::EGUIA_LOWERRIGHT, gui::EGUIA_LOWERRIGHT);
}

// The font, the dark strip along the bottom and the one line of text on it.
static gui::IGUIStaticText* CreateStatusText(bool is_french) {
    gui::IGUISkin* skin = guienv->getSkin();
    gui::IGUIFont* font = util_LoadFont("data/fontcourier.bmp");
    if (skin && font) skin->setFont(font, gui::EGDF_DEFAULT);
    video::ITexture* strip = util_LoadTexture("data/textback.bmp");
    // The window's bottom as it is: a window manager may have fitted the window and its frame to the screen
    // before the first frame.
    int bottom = (int)driver->getScreenSize().Height;
    gui::IGUIImage* image =
        guienv->addImage(core::rect<s32>(0, bottom - 30, 640, bottom), nullptr, -1, nullptr);
    if (image) {
        image->setImage(strip);
        KeepToTheBottom(image);
    }
    gui::IGUIStaticText* status_text =
        guienv->addStaticText(game_GetMessage(MESSAGE_TITLE, is_french).c_str(),
                              core::rect<s32>(10, bottom - 25, 600, bottom), false, true, nullptr,
                              -1, false);
    if (!status_text) util_CriticalError("Could not create the status text.");
    KeepToTheBottom(status_text);
    // The skin's text colour is black: the light glyphs must keep their own colours on the dark strip.
    status_text->setOverrideColor(video::SColor(255, 255, 255, 255));
    return status_text;
}

int game_Main(int argc, char** argv) {
    if (!ReadSettings(argc, argv)) return 1;
    static MyEventReceiver receiver;
    util_CreateDevice(&receiver);
    LoadSounds(argc, argv);
    mouse_wheel = 15.0f;
    bool is_french = settings_GetFlag("is_french");
    gui::IGUIStaticText* status_text = CreateStatusText(is_french);
    util_WaitForReturn();
    tab_latch = false;
    util_SetWindowCaption(GAME_TITLE);
    game_RunLevelLoop(status_text, is_french);
}

// The node on top is drawn again over the scene with its depth test off, so it stays visible through the cubes
// and the glass; the change of its materials lasts. Its buffers are drawn here with its own materials: outside
// the scene manager's passes the engine's mesh node draws only its solid buffers, and the objective is
// translucent.
static void DrawOnTop(scene::ISceneNode* node) {
    node->setVisible(true);
    // With the eye against the node, the near plane may cut away every face turned to it: the faces beyond,
    // seen from behind, still show it.
    bool against = level_IsCameraAgainst(node);
    for (u32 i = 0; i < node->getMaterialCount(); i++) {
        node->getMaterial(i).setFlag(video::EMF_ZBUFFER, false);
        node->getMaterial(i).BackfaceCulling = !against;
    }
    scene::IMesh* mesh = node->getType() == scene::ESNT_MESH ? static_cast<scene::IMeshSceneNode*>(node)->getMesh()
                                                              : nullptr;
    if (!mesh) {
        node->render();
        return;
    }
    driver->setTransform(video::ETS_WORLD, node->getAbsoluteTransformation());
    for (u32 i = 0; i < mesh->getMeshBufferCount() && i < node->getMaterialCount(); i++) {
        scene::IMeshBuffer* buffer = mesh->getMeshBuffer(i);
        if (!buffer) continue;
        driver->setMaterial(node->getMaterial(i));
        driver->drawMeshBuffer(buffer);
    }
}

void util_DrawFrame(video::SColor background, bool with_scene, scene::ISceneNode* on_top) {
    if (!driver) return;
    // Behind a level's cubes the sky paints every pixel: clearing the colour first would only cost time.
    driver->beginScene(!(with_scene && level_sky), true, background);
    if (with_scene && smgr) smgr->drawAll();
    if (on_top) DrawOnTop(on_top);
    if (guienv) guienv->drawAll();
    driver->endScene();
}

// A pad's Start is Escape and its B is Return on every message screen.
static bool IsEscapeDown() {
    return key_down[KEY_ESCAPE] || receiver_IsPadButtonDown(PAD_BUTTON_START);
}

static bool IsReturnDown() {
    return key_down[KEY_RETURN] || receiver_IsPadButtonDown(PAD_BUTTON_B);
}

bool util_WaitForReturn(bool pad_a_returns) {
    if (IsReturnDown()) return true;
    // A answers only when pressed on this screen, as A held for a jump when the pause began is no answer, and
    // only once let go, so that the press does not jump as well.
    bool a_was_up = !receiver_IsPadButtonDown(PAD_BUTTON_A), a_pressed = false;
    for (;;) {
        // The scene as it stands: empty between levels, frozen during the pause.
        util_DrawFrame(video::SColor(0, 0, 0, 0), true, nullptr);
        util_CountFrame();
        if (!util_RunDevice() || !driver) util_Quit();
        if (IsEscapeDown()) return false;
        const bool a_down = receiver_IsPadButtonDown(PAD_BUTTON_A);
        if (IsReturnDown() || (pad_a_returns && a_pressed && !a_down)) return true;
        a_pressed = a_pressed || (a_was_up && a_down);
        a_was_up = a_was_up || !a_down;
    }
}

[[noreturn]] static void QuitDuringPlay() {
    level_Remove();
    settings_Release();
    util_Quit();
}

static void ShowFinished(gui::IGUIStaticText* status_text, bool is_french) {
    status_text->setText(game_GetMessage(MESSAGE_FINISHED, is_french).c_str());
    util_WaitForReturn();
    settings_Release();
    util_Quit();
}

void game_RunLevelLoop(gui::IGUIStaticText* status_text, bool is_french) {
    for (;;) {
        if (level > LAST_LEVEL) ShowFinished(status_text, is_french);
        if (lives <= 0) {
            lives = 3;
            level = 1;
            status_text->setText(game_GetMessage(MESSAGE_LOST_ALL, is_french).c_str());
            util_WaitForReturn();
        }
        level_Create(level, status_text);
        while (game_PlayFrame(status_text, is_french) == FRAME_GOES_ON) {
        }
        level_Remove();
    }
}

FrameOutcome game_JudgeFrame(int result, int time_left) {
    if (result == -1) return FRAME_FELL;
    if (time_left != TIME_UNLIMITED && time_left < 0) return FRAME_TIMED_OUT;
    if (result == -2) return FRAME_OBJECTIVE;
    return FRAME_GOES_ON;
}

static FrameOutcome ApplyOutcome(FrameOutcome outcome) {
    if (outcome == FRAME_FELL || outcome == FRAME_TIMED_OUT) lives--;
    if (outcome == FRAME_OBJECTIVE) {
        lives++;
        level++;
    }
    return outcome;
}

// Escape pauses once it is released; on the pause screen Escape quits and Return resumes.
static void Pause(gui::IGUIStaticText* status_text, bool is_french) {
    while (IsEscapeDown())
        if (!util_RunDevice() || !driver) QuitDuringPlay();
    status_text->setText(game_GetMessage(MESSAGE_PAUSE, is_french).c_str());
    if (!util_WaitForReturn(true)) QuitDuringPlay();
}

// The pad's Back abandons the level once held a second, so that a stray press costs no life.
static bool back_is_held = false;
static u32 back_held_since = 0;

static bool IsBackHeldLong() {
    if (!receiver_IsPadButtonDown(PAD_BUTTON_BACK) || !timer) {
        back_is_held = false;
        return false;
    }
    const u32 now = timer->getTime();
    if (!back_is_held) back_held_since = now;
    back_is_held = true;
    return now - back_held_since >= 1000;
}

FrameOutcome game_PlayFrame(gui::IGUIStaticText* status_text, bool is_french) {
    if (!util_RunDevice() || !driver) QuitDuringPlay();
    int result = level_Update();
    util_ShowStatusLine(status_text, is_french, lives, level, result);
    util_DrawFrame(video::SColor(0, 0, 0, 0), true, objective_node);
    util_CountFrame();
    FrameOutcome outcome = ApplyOutcome(game_JudgeFrame(result, util_GetTimeLeft()));
    if (outcome != FRAME_GOES_ON) return outcome;
    const bool tab_down = key_down[KEY_TAB] || IsBackHeldLong();
    if (tab_down && !tab_latch) {
        player_FadeScreen(video::SColor(0));
        lives--;
        tab_latch = true;
        return FRAME_ABANDONED;
    }
    if (!tab_down) tab_latch = false;
    if (IsEscapeDown()) Pause(status_text, is_french);
    if (key_down[KEY_KEY_N]) is_mute = true;
    if (key_down[KEY_KEY_B]) is_mute = false;
    return FRAME_GOES_ON;
}
