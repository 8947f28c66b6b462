// The level benchmark: level creation on the null driver, a full turn of the view in every level drawn batched
// and node by node from the same worlds, and the peak memory of a session through every level.
#include <GL/gl.h>
#include <time.h>
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
#include "bench/offscreen.h"
#include "level/level.h"
#include "player/player.h"
#include "settings/settings.h"
#include "world/tableworld.h"

using namespace irr;

static const int CREATION_WORLDS = 20;
static const int TURN_WORLDS = 5;
static const int TURN_FRAMES = 120;
static const int WARM_UP_FRAMES = 10;
static const int SESSION_FRAMES_PER_LEVEL = 120;

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

// The value below which the given share of the values lie (0.5: the median).
static double bench_Quantile(std::vector<double> values, double share) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    double place = share * (values.size() - 1);
    size_t below = (size_t)place;
    if (below + 1 >= values.size()) return values.back();
    return values[below] + (place - below) * (values[below + 1] - values[below]);
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

// The worlds of a level: the same seeds for both ways of drawing and for every run.
static unsigned bench_Seed(int level_number, int world) {
    return 1000 * level_number + world;
}

struct TurnResult {
    std::vector<double> rates;  // one per frame, frames per second
    double calls = 0;           // draw calls per frame, on average
    double cpu_seconds = 0;     // processor time of every thread of the process over the timed frames
    int frames = 0;
};

// The processor time of the whole process, the renderer's threads included: unlike the frame rates, it hardly
// moves with what else the machine runs.
static double bench_CpuSeconds() {
    timespec now;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec + now.tv_nsec * 1e-9;
}

struct LevelRow {
    double clear_fps = 0;  // the clear-only program's rate, taken just before the level's frames
    double create_ms = 0;
    int cubes = 0;
    int nodes = 0;
    TurnResult batched, nodes_drawn;
};

static void bench_MeasureCreation(std::vector<LevelRow>& rows) {
    offscreen_OpenDevice(video::EDT_NULL);
    for (int n = 1; n <= LAST_LEVEL; n++) {
        std::vector<double> times, cubes, nodes;
        for (int world = 0; world < CREATION_WORLDS; world++) {
            srand(bench_Seed(n, world));
            double start = bench_Now();
            level_Create(n, nullptr);
            times.push_back((bench_Now() - start) * 1000);
            cubes.push_back(bench_CountCubes());
            nodes.push_back(bench_CountNodes(smgr->getRootSceneNode()));
            level_Remove();
        }
        rows[n].create_ms = bench_Quantile(times, 0.5);
        rows[n].cubes = (int)bench_Quantile(cubes, 0.5);
        rows[n].nodes = (int)bench_Quantile(nodes, 0.5);
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

// One frame as the game loop draws it, with the figure turned to the heading: the update (which places the
// camera as the game does), the status line, the scene, the objective on top, the GUI.
static void bench_PlayFrame(gui::IGUIStaticText* status_text, float heading) {
    device->run();
    player->object->node->setRotation(core::vector3df(0, heading, 0));
    int result = level_Update();
    util_ShowStatusLine(status_text, false, lives, level, result);
    util_DrawFrame(video::SColor(0, 0, 0, 0), true, objective_node);
    util_CountFrame();
    bench_KeepPlaying(result);
}

static void bench_EmptyFrame() {
    device->run();
    driver->beginScene(true, true, video::SColor(0, 0, 0, 0));
    guienv->drawAll();
    driver->endScene();
    util_CountFrame();
}

// The level built from the seed and played standing while the view turns through a full circle, each frame
// timed on its own. The mouse is left out of it: the heading is the benchmark's, the view looks down as a new
// figure's does (on the glass levels the most costly way to look).
static void bench_Turn(int level_number, unsigned seed, bool draw_nodes, gui::IGUIStaticText* status_text,
                       TurnResult& result) {
    if (draw_nodes) setenv("KORVANIX_DRAW_NODES", "1", 1);
    else unsetenv("KORVANIX_DRAW_NODES");
    srand(seed);
    level = level_number;
    level_Create(level_number, status_text);
    player->cursor = nullptr;
    for (int i = 0; i < WARM_UP_FRAMES; i++) bench_PlayFrame(status_text, 0);
    long calls_before = offscreen_draw_calls;
    double cpu_before = bench_CpuSeconds();
    for (int i = 0; i < TURN_FRAMES; i++) {
        double start = bench_Now();
        bench_PlayFrame(status_text, 360.0f * i / TURN_FRAMES);
        result.rates.push_back(1.0 / (bench_Now() - start));
    }
    result.cpu_seconds += bench_CpuSeconds() - cpu_before;
    result.frames += TURN_FRAMES;
    result.calls += (double)(offscreen_draw_calls - calls_before) / TURN_FRAMES / TURN_WORLDS;
    level_Remove();
    unsetenv("KORVANIX_DRAW_NODES");
}

static double bench_MeasureEmptyScene() {
    std::vector<double> rates;
    for (int i = 0; i < WARM_UP_FRAMES; i++) bench_EmptyFrame();
    for (int i = 0; i < TURN_FRAMES; i++) {
        double start = bench_Now();
        bench_EmptyFrame();
        rates.push_back(1.0 / (bench_Now() - start));
    }
    return bench_Quantile(rates, 0.5);
}

// The clear-only program beside this one, on the same display: its median rate, or 0 when it gave none.
static double bench_MeasureClearOnly() {
    char self[4096];
    ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) return 0;
    self[length] = 0;
    std::string program(self);
    program = program.substr(0, program.rfind('/') + 1) + "korvanix_bench_clear";
    FILE* output = popen(("'" + program + "'").c_str(), "r");
    if (!output) return 0;
    char line[256];
    double rate = 0;
    while (fgets(line, sizeof line, output)) {
        const char* median = strstr(line, "median ");
        if (strstr(line, "clear-only") && median) rate = atof(median + 7);
    }
    pclose(output);
    return rate;
}

// Both ways of drawing take turns world by world, so that a change in the machine's load touches both alike.
// The clear-only rate is taken before each level: on a shared machine it jumps between two or three levels
// from one run to the next, and the median of the run's readings is the yardstick.
static double bench_MeasurePlay(std::vector<LevelRow>& rows, std::string& renderer) {
    offscreen_OpenDevice(video::EDT_OPENGL);
    renderer = core::stringc(driver->getName()).c_str();
    const GLubyte* gl_renderer = glGetString(GL_RENDERER);
    if (gl_renderer) renderer += std::string(", ") + reinterpret_cast<const char*>(gl_renderer);
    gui::IGUIStaticText* status_text = bench_CreateStatusText();
    status_text->setText(L"life=3, level=1, FPS=100, distance=0, time=100");
    double empty = bench_MeasureEmptyScene();
    for (int n = 1; n <= LAST_LEVEL; n++) {
        rows[n].clear_fps = bench_MeasureClearOnly();
        for (int world = 0; world < TURN_WORLDS; world++) {
            bench_Turn(n, bench_Seed(n, world), false, status_text, rows[n].batched);
            bench_Turn(n, bench_Seed(n, world), true, status_text, rows[n].nodes_drawn);
        }
    }
    bench_CloseDevice();
    return empty;
}

static const char* bench_Verdict(bool met) {
    return met ? "ok" : "MISSED";
}

// The budgets are shares of the clear-only rate: a level's batched median at least MEDIAN_SHARE of it, its p5
// at least P5_SHARE; its creation within CREATE_MS.
static const double MEDIAN_SHARE = 0.05;
static const double P5_SHARE = 0.03;
static const double CREATE_MS = 30;

static void bench_PrintLevels(const std::vector<LevelRow>& rows, double empty_fps, const std::string& renderer) {
    fprintf(table, "Play frames: %s, 800x600; per level %d worlds from fixed seeds, each a full turn of the view in "
                   "%d frames, drawn batched and node by node; level_Create: null driver, median of %d worlds\n",
            renderer.c_str(), TURN_WORLDS, TURN_FRAMES, CREATION_WORLDS);
    FILE* load = fopen("/proc/loadavg", "r");
    char line[128] = "?\n";
    if (!load || !fgets(line, sizeof line, load)) strcpy(line, "?\n");
    if (load) fclose(load);
    fprintf(table, "Load average after the play frames: %s", line);
    std::vector<double> clear_rates;
    for (int n = 1; n <= LAST_LEVEL; n++) clear_rates.push_back(rows[n].clear_fps);
    const double clear_fps = bench_Quantile(clear_rates, 0.5);
    fprintf(table, "clear-only GL program (glClear and swap, 800x600), before each level: median %.0f fps, "
                   "from %.0f to %.0f fps; budgets: median %.0f fps, p5 %.0f fps\n",
            clear_fps, bench_Quantile(clear_rates, 0), bench_Quantile(clear_rates, 1), MEDIAN_SHARE * clear_fps,
            P5_SHARE * clear_fps);
    fprintf(table, "%-9s %9s %6s %6s | %-52s | %-34s | %8s  %s\n", "row", "create", "cubes", "nodes",
            "batched: calls, median (of clear-only), p5", "node by node: calls, median, p5", "speed-up", "budget");
    fprintf(table, "%-32s | calls      median %6.1f fps\n", "empty scene (clear, GUI, end)", empty_fps);
    for (int n = 1; n <= LAST_LEVEL; n++) {
        const LevelRow& row = rows[n];
        char name[32], create[32], batched[96], nodes[64];
        snprintf(name, sizeof name, "level %d", n);
        snprintf(create, sizeof create, "%.2f ms", row.create_ms);
        double median = bench_Quantile(row.batched.rates, 0.5), p5 = bench_Quantile(row.batched.rates, 0.05);
        double nodes_median = bench_Quantile(row.nodes_drawn.rates, 0.5);
        double nodes_p5 = bench_Quantile(row.nodes_drawn.rates, 0.05);
        double clear = clear_fps > 0 ? clear_fps : 1;
        snprintf(batched, sizeof batched, "%5.0f median %6.1f fps (%.3f) p5 %5.1f fps (%.3f)", row.batched.calls,
                 median, median / clear, p5, p5 / clear);
        snprintf(nodes, sizeof nodes, "%5.0f median %6.1f fps p5 %5.1f fps", row.nodes_drawn.calls, nodes_median,
                 nodes_p5);
        bool met = clear_fps > 0 && median >= MEDIAN_SHARE * clear && p5 >= P5_SHARE * clear &&
                   row.create_ms <= CREATE_MS;
        fprintf(table, "%-9s %9s %6d %6d | %-52s | %-34s | %7.2fx  %s\n", name, create, row.cubes, row.nodes, batched,
                nodes, nodes_median > 0 ? median / nodes_median : 0.0, bench_Verdict(met));
    }
}

// A value of /proc/self/status in kB, -1 when it can't be read.
static long bench_StatusKb(const char* key) {
    FILE* status = fopen("/proc/self/status", "r");
    if (!status) return -1;
    char line[256];
    long kb = -1;
    size_t length = strlen(key);
    while (fgets(line, sizeof line, status))
        if (strncmp(line, key, length) == 0 && line[length] == ':') kb = strtol(line + length + 1, nullptr, 10);
    fclose(status);
    return kb;
}

// Levels 1 to 11 built, played and removed in one process, as a player going through them would; the
// anonymous and file-backed parts are sampled as it goes, the high-water mark is the kernel's.
static void bench_MeasureSession() {
    offscreen_OpenDevice(video::EDT_OPENGL);
    gui::IGUIStaticText* status_text = bench_CreateStatusText();
    long anonymous = 0, file = 0;
    for (int n = 1; n <= LAST_LEVEL; n++) {
        srand(bench_Seed(n, 0));
        level = n;
        level_Create(n, status_text);
        player->cursor = nullptr;
        for (int i = 0; i < SESSION_FRAMES_PER_LEVEL; i++) {
            bench_PlayFrame(status_text, 360.0f * i / SESSION_FRAMES_PER_LEVEL);
            if (i % 20 != 19) continue;
            anonymous = std::max(anonymous, bench_StatusKb("RssAnon"));
            file = std::max(file, bench_StatusKb("RssFile"));
        }
        level_Remove();
    }
    long peak = bench_StatusKb("VmHWM");
    bench_CloseDevice();
    fprintf(table, "peak RSS, levels 1-11 session: VmHWM %.1f MiB (at most RssAnon %.1f MiB + RssFile %.1f MiB)  %s\n",
            peak / 1024.0, anonymous / 1024.0, file / 1024.0, bench_Verdict(peak >= 0 && peak <= 120 * 1024));
}

// For a profiler: the turns of one level's worlds, drawn one way only.
static void bench_Profile(int level_number, bool draw_nodes, int turns) {
    offscreen_OpenDevice(video::EDT_OPENGL);
    gui::IGUIStaticText* status_text = bench_CreateStatusText();
    TurnResult result;
    for (int i = 0; i < turns; i++) bench_Turn(level_number, bench_Seed(level_number, i % TURN_WORLDS), draw_nodes,
                                               status_text, result);
    bench_CloseDevice();
    fprintf(table, "level %d %s: median %.1f fps, p5 %.1f fps, %.0f calls, %.2f processor ms a frame\n", level_number,
            draw_nodes ? "node by node" : "batched", bench_Quantile(result.rates, 0.5),
            bench_Quantile(result.rates, 0.05), result.calls * TURN_WORLDS / turns,
            1000 * result.cpu_seconds / result.frames);
}

// Every setting as the level configures it, one "key value" a line: the play rows give them to the real game.
static void bench_PrintLevelSettings(int level_number) {
    level_AutoConfigure(level_number);
    for (int i = 0; i < settings_count; i++)
        fprintf(table, "%s %.6f\n", settings_table[i].name, settings_table[i].value);
}

// No argument: the table. "session": the memory row. "create": the creation times alone. "profile LEVEL
// nodes|batched TURNS": frames to profile. "settings LEVEL": the level's settings.
int main(int argc, char** argv) {
    bench_SilenceGame();
    bool session = argc > 1 && strcmp(argv[1], "session") == 0;
    if (argc == 5 && strcmp(argv[1], "profile") == 0) {
        offscreen_OpenDevice(video::EDT_NULL);
        bench_LoadSettings();
        bench_CloseDevice();
        bench_Profile(atoi(argv[2]), strcmp(argv[3], "nodes") == 0, atoi(argv[4]));
        fflush(table);
        return 0;
    }
    // The settings file is read through a windowless device, as the game does at start-up.
    offscreen_OpenDevice(video::EDT_NULL);
    bench_LoadSettings();
    bench_CloseDevice();
    if (session) {
        bench_MeasureSession();
    } else if (argc == 3 && strcmp(argv[1], "settings") == 0) {
        bench_PrintLevelSettings(atoi(argv[2]));
    } else if (argc > 1 && strcmp(argv[1], "create") == 0) {
        std::vector<LevelRow> rows(LAST_LEVEL + 1);
        bench_MeasureCreation(rows);
        for (int n = 1; n <= LAST_LEVEL; n++)
            fprintf(table, "level %d: level_Create %.2f ms, %d cubes, %d nodes\n", n, rows[n].create_ms, rows[n].cubes,
                    rows[n].nodes);
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
