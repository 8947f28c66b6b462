// The level's shape, effects and time allowed, set from its number and the player's difficulty.
#include "level/level.h"

#include <cmath>
#include <cstdio>

#include "app/util.h"
#include "settings/settings.h"

static void level_SetSizes(double x, double y, double z) {
    settings_Set("size_x_world", x);
    settings_Set("size_y_world", y);
    settings_Set("size_z_world", z);
}

// The time factor divides by the difficulty: anything but a positive finite number has no sensible result.
static double level_GetDifficulty() {
    double difficulty = settings_Get("difficulty_level");
    if (!std::isfinite(difficulty) || difficulty <= 0.0) {
        fprintf(stderr, "%s :", "difficulty_level");
        util_CriticalError("must be a number greater than 0");
    }
    return difficulty;
}

// Every level starts from the same plain world, so nothing of the previous level carries over.
static void level_SetCommonValues(int level) {
    level_SetSizes(7, 7, 7);
    settings_Set("probability_cube", 0.5);
    settings_Set("is_subjective", 1);
    settings_Set("is_glasses_world", 0);
    settings_Set("is_fog_enable", 0);
    settings_Set("quake_intensity", 0);
    // Formed in 64 bits so that no level number can overflow the product.
    long long allowance = (20 - static_cast<long long>(level)) * 50;
    settings_Set("time_counter_speed", static_cast<double>(allowance) / level_GetDifficulty());
}

static void level_SetOwnValues(int level) {
    switch (level) {
    case 1:
        settings_Set("moving_cubes", 0);
        break;
    case 2:
        settings_Set("is_glasses_world", 1);
        level_SetSizes(4, 20, 4);
        break;
    case 3:
        level_SetSizes(12, 12, 12);
        settings_Set("probability_cube", 0.15);
        settings_Set("is_subjective", 0);
        break;
    case 4:
        level_SetSizes(18, 18, 18);
        settings_Set("probability_cube", 0.02);
        break;
    case 5:
        level_SetSizes(20, 20, 2);
        settings_Set("probability_cube", 0.5);
        break;
    case 6:
        level_SetSizes(15, 3, 15);
        settings_Set("probability_cube", 0.3);
        break;
    case 7:
        settings_Set("is_fog_enable", 1);
        level_SetSizes(3, 10, 10);
        settings_Set("probability_cube", 0.7);
        break;
    case 8:
        level_SetSizes(8, 8, 8);
        settings_Set("quake_intensity", 0.5);
        settings_Set("probability_cube", 0.7);
        break;
    case 9:
        settings_Set("is_glasses_world", 1);
        settings_Set("is_fog_enable", 1);
        level_SetSizes(18, 3, 18);
        settings_Set("probability_cube", 0.2);
        break;
    case 10:
        level_SetSizes(8, 8, 8);
        break;
    case 11:
        level_SetSizes(7, 7, 7);
        settings_Set("probability_cube", 0.2);
        settings_Set("is_subjective", 0);
        settings_Set("time_counter_speed", settings_Get("time_counter_speed") * 2 / 3);
        settings_Set("is_glasses_world", 1);
        break;
    default:
        fprintf(stderr, "WARNING : level unknown for autoConfiguration");
        break;
    }
}

void level_AutoConfigure(int level) {
    level_SetCommonValues(level);
    level_SetOwnValues(level);
}
