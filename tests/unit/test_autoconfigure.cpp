// Tests of the per-level configuration by difficulty.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "helpers.h"
#include "level/level.h"
#include "settings/settings.h"

namespace {

// What a level leaves in force; the time factor is given for difficulty 1.
struct LevelValues {
    int level;
    double size_x, size_y, size_z;
    double probability_cube;
    double is_subjective, is_glasses_world, is_fog_enable, quake_intensity;
    double time_at_difficulty_1;
};

const LevelValues LEVELS[] = {
    {1, 7, 7, 7, 0.5, 1, 0, 0, 0, 950},
    {2, 4, 20, 4, 0.5, 1, 1, 0, 0, 900},
    {3, 12, 12, 12, 0.15, 0, 0, 0, 0, 850},
    {4, 18, 18, 18, 0.02, 1, 0, 0, 0, 800},
    {5, 20, 20, 2, 0.5, 1, 0, 0, 0, 750},
    {6, 15, 3, 15, 0.3, 1, 0, 0, 0, 700},
    {7, 3, 10, 10, 0.7, 1, 0, 1, 0, 650},
    {8, 8, 8, 8, 0.7, 1, 0, 0, 0.5, 600},
    {9, 18, 3, 18, 0.2, 1, 1, 1, 0, 550},
    {10, 8, 8, 8, 0.5, 1, 0, 0, 0, 500},
    {11, 7, 7, 7, 0.2, 0, 1, 0, 0, 300},
};

const double DIFFICULTIES[] = {1, 2, 3.5, 5, 8};

class AutoConfigure : public testing::Test {
protected:
    void SetUp() override { helpers_LoadSettings(helpers_ShippedConfig()); }
    void TearDown() override { settings_Release(); }

    // Settings the level does not own, made different from anything the level could write.
    void Scramble() {
        settings_Set("size_x_world", 99);
        settings_Set("size_y_world", 99);
        settings_Set("size_z_world", 99);
        settings_Set("probability_cube", 0.99);
        settings_Set("is_subjective", 5);
        settings_Set("is_glasses_world", 5);
        settings_Set("is_fog_enable", 5);
        settings_Set("quake_intensity", 5);
        settings_Set("time_counter_speed", 12345);
        settings_Set("moving_cubes", 1);
    }
};

TEST_F(AutoConfigure, EveryLevelAtEveryDifficultyOfTheWizard) {
    for (double difficulty : DIFFICULTIES) {
        for (const LevelValues& row : LEVELS) {
            SCOPED_TRACE(testing::Message() << "level " << row.level << " difficulty " << difficulty);
            Scramble();
            settings_Set("difficulty_level", difficulty);
            testing::internal::CaptureStderr();
            level_AutoConfigure(row.level);
            EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
            EXPECT_EQ(settings_Get("size_x_world"), row.size_x);
            EXPECT_EQ(settings_Get("size_y_world"), row.size_y);
            EXPECT_EQ(settings_Get("size_z_world"), row.size_z);
            EXPECT_EQ(settings_Get("probability_cube"), row.probability_cube);
            EXPECT_EQ(settings_Get("is_subjective"), row.is_subjective);
            EXPECT_EQ(settings_Get("is_glasses_world"), row.is_glasses_world);
            EXPECT_EQ(settings_Get("is_fog_enable"), row.is_fog_enable);
            EXPECT_EQ(settings_Get("quake_intensity"), row.quake_intensity);
            EXPECT_NEAR(settings_Get("time_counter_speed"), row.time_at_difficulty_1 / difficulty, 1e-9);
            EXPECT_EQ(settings_Get("moving_cubes"), row.level == 1 ? 0 : 1);
            EXPECT_EQ(settings_Get("difficulty_level"), difficulty);
        }
    }
}

TEST_F(AutoConfigure, TimeFactorsOfTheFirstAndLastLevel) {
    const double first[] = {950, 475, 271.428571, 190, 118.75};
    const double last[] = {300, 150, 85.714286, 60, 37.5};
    for (int i = 0; i < 5; ++i) {
        settings_Set("difficulty_level", DIFFICULTIES[i]);
        level_AutoConfigure(1);
        EXPECT_NEAR(settings_Get("time_counter_speed"), first[i], 1e-6);
        level_AutoConfigure(11);
        EXPECT_NEAR(settings_Get("time_counter_speed"), last[i], 1e-6);
    }
}

TEST_F(AutoConfigure, UnknownLevelsWarnWithoutLineEndAndKeepThePlainWorld) {
    settings_Set("difficulty_level", 2);
    Scramble();
    testing::internal::CaptureStderr();
    level_AutoConfigure(12);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "WARNING : level unknown for autoConfiguration");
    EXPECT_EQ(settings_Get("size_x_world"), 7);
    EXPECT_EQ(settings_Get("size_y_world"), 7);
    EXPECT_EQ(settings_Get("size_z_world"), 7);
    EXPECT_EQ(settings_Get("probability_cube"), 0.5);
    EXPECT_EQ(settings_Get("is_subjective"), 1);
    EXPECT_EQ(settings_Get("is_glasses_world"), 0);
    EXPECT_EQ(settings_Get("is_fog_enable"), 0);
    EXPECT_EQ(settings_Get("quake_intensity"), 0);
    EXPECT_EQ(settings_Get("time_counter_speed"), 200);
    EXPECT_EQ(settings_Get("moving_cubes"), 1);

    testing::internal::CaptureStderr();
    level_AutoConfigure(20);
    level_AutoConfigure(25);
    level_AutoConfigure(0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "WARNING : level unknown for autoConfigurationWARNING : level unknown for autoConfiguration"
              "WARNING : level unknown for autoConfiguration");
    EXPECT_EQ(settings_Get("time_counter_speed"), 500);
    testing::internal::CaptureStderr();
    level_AutoConfigure(25);
    EXPECT_EQ(settings_Get("time_counter_speed"), -125);
    level_AutoConfigure(20);
    EXPECT_EQ(settings_Get("time_counter_speed"), 0);
    testing::internal::GetCapturedStderr();
}

TEST_F(AutoConfigure, ExtremeLevelNumbersDoNotOverflowTheTimeFactor) {
    settings_Set("difficulty_level", 1);
    testing::internal::CaptureStderr();
    level_AutoConfigure(std::numeric_limits<int>::min());
    level_AutoConfigure(std::numeric_limits<int>::max());
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(settings_Get("time_counter_speed"), (20.0 - std::numeric_limits<int>::max()) * 50);
}

TEST_F(AutoConfigure, EachLevelStartsFromThePlainWorld) {
    settings_Set("difficulty_level", 1);
    level_AutoConfigure(9);
    ASSERT_EQ(settings_Get("is_fog_enable"), 1);
    ASSERT_EQ(settings_Get("is_glasses_world"), 1);
    level_AutoConfigure(8);
    EXPECT_EQ(settings_Get("is_fog_enable"), 0);
    EXPECT_EQ(settings_Get("is_glasses_world"), 0);
    EXPECT_EQ(settings_Get("quake_intensity"), 0.5);
    level_AutoConfigure(10);
    EXPECT_EQ(settings_Get("quake_intensity"), 0);
    level_AutoConfigure(11);
    EXPECT_EQ(settings_Get("time_counter_speed"), 300);
    level_AutoConfigure(11);
    EXPECT_EQ(settings_Get("time_counter_speed"), 300);
}

TEST_F(AutoConfigure, DifficultyWithoutAFiniteQuotientIsRefused) {
    const double refused[] = {0.0, -0.0, -1.0, std::nan(""), std::numeric_limits<double>::infinity()};
    for (double difficulty : refused) {
        SCOPED_TRACE(difficulty);
        settings_Set("difficulty_level", difficulty);
        EXPECT_EXIT(level_AutoConfigure(1), testing::ExitedWithCode(1),
                    "difficulty_level :CRITICAL ERROR : must be a number greater than 0");
    }
}

TEST_F(AutoConfigure, MissingDifficultyIsAnUnknownSetting) {
    helpers_LoadSettings("<?xml version=\"1.0\"?>\r\n<config><all_settings size_x_world=\"7\" size_y_world=\"7\" "
                         "size_z_world=\"7\" probability_cube=\"0.5\" is_subjective=\"1\" is_glasses_world=\"0\" "
                         "is_fog_enable=\"0\" quake_intensity=\"0\" time_counter_speed=\"1\" "
                         "moving_cubes=\"1\"/></config>\r\n");
    EXPECT_EXIT(level_AutoConfigure(1), testing::ExitedWithCode(1), "difficulty_level.*setting unknown");
}

}  // namespace
