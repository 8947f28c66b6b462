// The level benchmark: level creation on the null driver, play frames in OpenGL, and a session's peak memory.
#include <GL/gl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/game.h"
#include "app/util.h"
#include "level/level.h"
#include "player/player.h"
#include "settings/settings.h"
#include "world/tableworld.h"

using namespace irr;

static const int WORLDS_PER_LEVEL = 20;
static const double PLAY_SECONDS = 5.0;
static const double SESSION_SECONDS_PER_LEVEL = 2.0;
static const int SESSION_LEVELS = 5;

// The table goes to the real standard output; the game's own progress lines go nowhere.
static FILE* table = stdout;

static void bench_SilenceGame() {
    table = fdopen(dup(fileno(stdout)), "w");
    if (!table) table = stderr;
    if (!freopen("/dev/null", "w", stdout)) table = stderr;
}

static double bench_Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

static double bench_Median(std::vector<double> values) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

static void bench_OpenDevice(video::E_DRIVER_TYPE type) {
    SIrrlichtCreationParameters parameters;
    parameters.DriverType = type;
    parameters.WindowSize = core::dimension2d<u32>(800, 600);
    parameters.Bits = 32;
    parameters.Stencilbuffer = false;
    parameters.Vsync = false;
    parameters.LoggingLevel = ELL_ERROR;
    device = createDeviceEx(parameters);
    if (!device) util_CriticalError("Could not create the benchmark's device.");
    driver = device->getVideoDriver();
    smgr = device->getSceneManager();
    guienv = device->getGUIEnvironment();
    timer = device->getTimer();
    if (!driver || !smgr || !guienv || !timer) util_CriticalError("The benchmark's device is incomplete.");
    window_width = 800;
    window_height = 600;
    fps_last_time = timer->getTime();
}

static void bench_CloseDevice() {
    device->drop();
    device = nullptr;
    driver = nullptr;
    smgr = nullptr;
    guienv = nullptr;
    timer = nullptr;
}

// The shipped settings, with every level configured from its number at the middle difficulty.
static void bench_LoadSettings() {
    settings_Allocate();
    settings_Load();
    settings_Set("is_autoconfigure", 1);
    settings_Set("difficulty_level", 2);
}

static int bench_CountNodes(scene::ISceneNode* node) {
    int count = 0;
    for (scene::ISceneNode* child : node->getChildren()) count += 1 + bench_CountNodes(child);
    return count;
}

static int bench_CountCubes() {
    int count = 0;
    for (int i = 0; i < tableworld_size_x * tableworld_size_y * tableworld_size_z; i++) count += tableworld_cells[i];
    return count;
}

struct LevelRow {
    double create_ms;
    int cubes;
    int nodes;
    double fps;
};

static void bench_MeasureCreation(std::vector<LevelRow>& rows) {
    bench_OpenDevice(video::EDT_NULL);
    for (int n = 1; n <= LAST_LEVEL; n++) {
        std::vector<double> times, cubes, nodes;
        for (int world = 0; world < WORLDS_PER_LEVEL; world++) {
            srand(1000 * n + world);
            double start = bench_Now();
            level_Create(n, nullptr);
            times.push_back((bench_Now() - start) * 1000);
            cubes.push_back(bench_CountCubes());
            nodes.push_back(bench_CountNodes(smgr->getRootSceneNode()));
            level_Remove();
        }
        rows[n].create_ms = bench_Median(times);
        rows[n].cubes = (int)bench_Median(cubes);
        rows[n].nodes = (int)bench_Median(nodes);
    }
    bench_CloseDevice();
}

// The font, the dark strip along the bottom and the status line, as the game shows them.
static gui::IGUIStaticText* bench_CreateStatusText() {
    gui::IGUISkin* skin = guienv->getSkin();
    gui::IGUIFont* font = guienv->getFont("data/fontcourier.bmp");
    if (skin && font) skin->setFont(font, gui::EGDF_DEFAULT);
    gui::IGUIImage* image =
        guienv->addImage(core::rect<s32>(0, window_height - 30, 640, window_height), nullptr, -1, nullptr);
    if (image) image->setImage(driver->getTexture("data/textback.bmp"));
    gui::IGUIStaticText* status_text = guienv->addStaticText(
        L"", core::rect<s32>(10, window_height - 25, 600, window_height), false, true, nullptr, -1, false);
    if (!status_text) util_CriticalError("Could not create the status text.");
    status_text->setOverrideColor(video::SColor(255, 255, 255, 255));
    return status_text;
}

// A figure that fell or reached the objective would end the level; it is put back on a cube instead.
static void bench_KeepPlaying(int result) {
    if (result >= 0) return;
    player->object->node->setPosition(tableworld_GetRandomPosition());
    player->vertical_speed = 0;
}

// One frame as the game loop draws it: the update, the status line, the scene, the objective on top, the GUI.
static void bench_PlayFrame(gui::IGUIStaticText* status_text) {
    device->run();
    int result = level_Update();
    util_ShowStatusLine(status_text, false, lives, level, result);
    driver->beginScene(true, true, video::SColor(0, 0, 0, 0));
    smgr->drawAll();
    objective_node->setVisible(true);
    for (u32 i = 0; i < objective_node->getMaterialCount(); i++)
        objective_node->getMaterial(i).setFlag(video::EMF_ZBUFFER, false);
    objective_node->render();
    guienv->drawAll();
    driver->endScene();
    util_CountFrame();
    bench_KeepPlaying(result);
}

static void bench_EmptyFrame(gui::IGUIStaticText*) {
    device->run();
    driver->beginScene(true, true, video::SColor(0, 0, 0, 0));
    guienv->drawAll();
    driver->endScene();
    util_CountFrame();
}

// Frames for the given time; the rate is the median of its one-second windows.
static double bench_MeasureRate(void (*frame)(gui::IGUIStaticText*), gui::IGUIStaticText* status_text,
                                double seconds) {
    for (int i = 0; i < 10; i++) frame(status_text);
    std::vector<double> rates;
    double start = bench_Now(), window_start = start;
    int frames = 0;
    for (;;) {
        frame(status_text);
        frames++;
        double now = bench_Now();
        if (now - window_start >= 1.0) {
            rates.push_back(frames / (now - window_start));
            frames = 0;
            window_start = now;
            if (now - start >= seconds - 0.01) break;
        }
    }
    return bench_Median(rates);
}

static double bench_MeasurePlay(std::vector<LevelRow>& rows, std::string& renderer) {
    bench_OpenDevice(video::EDT_OPENGL);
    renderer = core::stringc(driver->getName()).c_str();
    const GLubyte* gl_renderer = glGetString(GL_RENDERER);
    if (gl_renderer) renderer += std::string(", ") + reinterpret_cast<const char*>(gl_renderer);
    gui::IGUIStaticText* status_text = bench_CreateStatusText();
    status_text->setText(L"life=3, level=1, FPS=100, distance=0, time=100");
    double empty = bench_MeasureRate(bench_EmptyFrame, status_text, PLAY_SECONDS);
    for (int n = 1; n <= LAST_LEVEL; n++) {
        srand(1000 * n);
        level = n;
        level_Create(n, status_text);
        rows[n].fps = bench_MeasureRate(bench_PlayFrame, status_text, PLAY_SECONDS);
        level_Remove();
    }
    bench_CloseDevice();
    return empty;
}

static const char* bench_Verdict(bool met) {
    return met ? "ok" : "MISSED";
}

static void bench_PrintLevels(const std::vector<LevelRow>& rows, double empty_fps, const std::string& renderer) {
    fprintf(table, "Play frames: %s, 800x600, %.0f s per level; level_Create: null driver, median of %d worlds\n",
            renderer.c_str(), PLAY_SECONDS, WORLDS_PER_LEVEL);
    fprintf(table, "%-40s %12s %7s %7s %13s %8s  %s\n", "row", "create", "cubes", "nodes", "rate", "share",
            "budget");
    fprintf(table, "%-40s %12s %7s %7s %9.1f fps %7.1f%%  %s\n", "empty scene (clear, GUI, end)", "-", "-", "-",
            empty_fps, 100.0, "-");
    for (int n = 1; n <= LAST_LEVEL; n++) {
        const LevelRow& row = rows[n];
        char name[32], create[32];
        snprintf(name, sizeof name, "level %d", n);
        snprintf(create, sizeof create, "%.2f ms", row.create_ms);
        bool met = row.fps >= 60 && row.create_ms <= 30;
        fprintf(table, "%-40s %12s %7d %7d %9.1f fps %7.1f%%  %s\n", name, create, row.cubes, row.nodes, row.fps,
                empty_fps > 0 ? 100 * row.fps / empty_fps : 0.0, bench_Verdict(met));
    }
}

static long bench_PeakResidentKb() {
    FILE* status = fopen("/proc/self/status", "r");
    if (!status) return -1;
    char line[256];
    long kb = -1;
    while (fgets(line, sizeof line, status))
        if (strncmp(line, "VmHWM:", 6) == 0) kb = strtol(line + 6, nullptr, 10);
    fclose(status);
    return kb;
}

// Levels 1 to 5 built, played and removed in one process, as a player going through them would.
static void bench_MeasureSession() {
    bench_OpenDevice(video::EDT_OPENGL);
    gui::IGUIStaticText* status_text = bench_CreateStatusText();
    for (int n = 1; n <= SESSION_LEVELS; n++) {
        level = n;
        level_Create(n, status_text);
        double start = bench_Now();
        while (bench_Now() - start < SESSION_SECONDS_PER_LEVEL) bench_PlayFrame(status_text);
        level_Remove();
    }
    long kb = bench_PeakResidentKb();
    bench_CloseDevice();
    fprintf(table, "%-40s %12s %7s %7s %9.1f MB %8s  %s\n", "peak RSS, levels 1-5 session", "-", "-", "-",
            kb / 1024.0, "", bench_Verdict(kb >= 0 && kb <= 150 * 1024));
}

int main(int argc, char** argv) {
    bench_SilenceGame();
    bool session = argc > 1 && strcmp(argv[1], "session") == 0;
    // The settings file is read through a windowless device, as the game does at start-up.
    bench_OpenDevice(video::EDT_NULL);
    bench_LoadSettings();
    bench_CloseDevice();
    if (session) {
        bench_MeasureSession();
    } else {
        std::vector<LevelRow> rows(LAST_LEVEL + 1);
        bench_MeasureCreation(rows);
        std::string renderer;
        double empty_fps = bench_MeasurePlay(rows, renderer);
        bench_PrintLevels(rows, empty_fps, renderer);
    }
    fflush(table);
    settings_Release();
    return 0;
}
