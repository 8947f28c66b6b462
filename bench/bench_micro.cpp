// Micro-benchmarks of the cube world and the level update, with Google Benchmark.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/util.h"
#include "bench/offscreen.h"
#include "level/level.h"
#include "player/player.h"
#include "settings/settings.h"
#include "world/tableworld.h"

using namespace irr;

// The game prints progress lines while it builds a level; they would break up the table.
static void bench_Quiet(bool quiet) {
    static int saved = -1;
    fflush(stdout);
    if (quiet && saved < 0) {
        saved = dup(fileno(stdout));
        int null_file = open("/dev/null", O_WRONLY);
        if (null_file >= 0) dup2(null_file, fileno(stdout));
        if (null_file >= 0) close(null_file);
    } else if (!quiet && saved >= 0) {
        dup2(saved, fileno(stdout));
        close(saved);
        saved = -1;
    }
}

static void BM_TableworldCreate(benchmark::State& state) {
    srand(1);
    for (auto _ : state) {
        tableworld_Create(20, 20, 20, 0.5);
        benchmark::DoNotOptimize(tableworld_cells);
    }
    tableworld_Free();
}
BENCHMARK(BM_TableworldCreate)->Name("tableworld_Create 20x20x20")->Unit(benchmark::kMicrosecond);

// Every cell free and the target outside the table: the search must visit all 8000 cells and fail.
static void BM_TableworldTestMazeWorstCase(benchmark::State& state) {
    tableworld_Create(20, 20, 20, 0.0);
    tableworld_SetCell(0, 0, 0, 0);
    const int cells = 20 * 20 * 20;
    core::vector3df from(10, 10, 10), to(-30, 10, 10);
    for (auto _ : state) {
        memset(tableworld_visited, 0, cells);
        bool found = tableworld_TestMaze(from, to);
        if (found) state.SkipWithError("an unreachable target was found");
        benchmark::DoNotOptimize(found);
    }
    int visited = 0;
    for (int i = 0; i < cells; i++) visited += tableworld_visited[i];
    if (visited != cells) state.SkipWithError("the search did not visit every cell");
    tableworld_Free();
}
BENCHMARK(BM_TableworldTestMazeWorstCase)
    ->Name("tableworld_TestMaze 20x20x20 all free")
    ->Unit(benchmark::kMicrosecond);

static void BM_TableworldGetRandomPosition(benchmark::State& state) {
    srand(2);
    tableworld_Create(20, 20, 20, 0.5);
    for (auto _ : state) benchmark::DoNotOptimize(tableworld_GetRandomPosition());
    tableworld_Free();
}
BENCHMARK(BM_TableworldGetRandomPosition)
    ->Name("tableworld_GetRandomPosition 20x20x20")
    ->Unit(benchmark::kMicrosecond);

// The quake shakes every cube and the moving cube slides: level 8's whole update, with nothing drawn.
static void BM_LevelUpdateQuake(benchmark::State& state) {
    srand(8);
    bench_Quiet(true);
    level_Create(8, nullptr);
    bench_Quiet(false);
    for (auto _ : state) {
        int result = level_Update();
        // No clock runs here, so a fade would never end: a figure that fell is put back on a cube instead.
        if (result < 0) player->object->node->setPosition(tableworld_GetRandomPosition());
        benchmark::DoNotOptimize(result);
    }
    bench_Quiet(true);
    level_Remove();
    bench_Quiet(false);
}
BENCHMARK(BM_LevelUpdateQuake)->Name("level_Update level 8 (quake)")->Unit(benchmark::kMicrosecond);

// A quake frame of level 8 as the batch sees it: every cube shaken, then every merged piece rewritten to follow.
static void BM_BatchUpdateQuake(benchmark::State& state) {
    srand(8);
    bench_Quiet(true);
    level_Create(8, nullptr);
    bench_Quiet(false);
    for (auto _ : state) {
        tableworld_Quake(0.25);
        tableworld_UpdateBatch();
    }
    if (tableworld_CountBatchPieces() == 0) state.SkipWithError("the level has no batch");
    bench_Quiet(true);
    level_Remove();
    bench_Quiet(false);
}
BENCHMARK(BM_BatchUpdateQuake)->Name("tableworld_Quake + UpdateBatch level 8")->Unit(benchmark::kMicrosecond);

// One table row per benchmark: the median of the repetitions, in microseconds, against its budget.
class TableReporter : public benchmark::BenchmarkReporter {
public:
    bool ReportContext(const Context&) override { return true; }
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Aggregate || run.aggregate_name != "median") continue;
            const std::string& name = run.run_name.function_name;
            if (run.error_occurred) {
                printf("%-40s %s\n", name.c_str(), run.error_message.c_str());
                continue;
            }
            double us = run.GetAdjustedRealTime() * 1e6 / benchmark::GetTimeUnitMultiplier(run.time_unit);
            double budget = Budget(name);
            printf("%-40s %9.2f us %38s  %s\n", name.c_str(), us, "",
                   budget <= 0 ? "-" : us <= budget ? "ok" : "MISSED");
        }
        fflush(stdout);
    }

private:
    static double Budget(const std::string& name) {
        if (name.rfind("tableworld_TestMaze", 0) == 0) return 1000;
        if (name.rfind("level_Update", 0) == 0) return 200;
        if (name.rfind("tableworld_Quake + UpdateBatch", 0) == 0) return 1000;
        return 0;
    }
};

int main(int argc, char** argv) {
    bench_Quiet(true);
    offscreen_OpenDevice(video::EDT_NULL);
    settings_Allocate();
    settings_Load();
    settings_Set("is_autoconfigure", 1);
    settings_Set("difficulty_level", 2);
    bench_Quiet(false);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    settings_Release();
    device->drop();
    return 0;
}

// A settings file of 300,000 attributes (5 MB, under the size the game reads): the load must stay linear.
static void BM_SettingsLoadLong(benchmark::State& state) {
    char folder[] = "/tmp/korvanix-bench-XXXXXX";
    char previous[4096];
    if (!mkdtemp(folder) || !getcwd(previous, sizeof previous) || chdir(folder) != 0) {
        state.SkipWithError("no scratch folder");
        return;
    }
    std::string text = "<?xml version=\"1.0\"?>\r\n\t<config>\r\n\t\t<all_settings \r\n";
    char line[64];
    for (int i = 0; i < 300000; i++) {
        snprintf(line, sizeof line, "\t\t\tk%d=\"%d\"\r\n", i, i % 1000);
        text += line;
    }
    text += "\t\t/>\r\n\t</config>\r\n";
    FILE* file = fopen("config.xml", "wb");
    bool written = file && fwrite(text.data(), 1, text.size(), file) == text.size();
    if (file) fclose(file);
    for (auto _ : state) {
        if (!written) break;
        settings_Release();
        settings_Allocate();
        bench_Quiet(true);
        settings_Load();
        bench_Quiet(false);
        if (settings_count != 300000) state.SkipWithError("the settings did not all load");
    }
    if (!written) state.SkipWithError("config.xml could not be written");
    unlink("config.xml");
    if (chdir(previous) != 0 || rmdir(folder) != 0) state.SkipWithError("scratch folder left behind");
    // The other benchmarks read the game's own settings again.
    settings_Release();
    settings_Allocate();
    bench_Quiet(true);
    settings_Load();
    bench_Quiet(false);
    settings_Set("is_autoconfigure", 1);
    settings_Set("difficulty_level", 2);
}
BENCHMARK(BM_SettingsLoadLong)
    ->Name("settings_Load 300000 attributes")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
